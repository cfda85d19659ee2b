#include "test_sound.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "child_process.h"
#include "polling.h"
#include "temp_work_dir.h"

namespace {
// Something takes connections on the unix socket at path.
bool acceptsConnections(const std::string &path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path)
    return false;
  std::strcpy(address.sun_path, path.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0)
    return false;
  bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

void restore(const char *name, bool had, const std::string &value) {
  if (had)
    setenv(name, value.c_str(), 1);
  else
    unsetenv(name);
}
} // namespace

void TestSound::keepEnvironment() {
  if (saved)
    return;
  saved = true;
  const char *pulse = getenv("PULSE_SERVER");
  const char *alsa = getenv("ALSA_CONFIG_PATH");
  hadPulseServer = pulse != nullptr;
  hadAlsaConfig = alsa != nullptr;
  pulseServer = pulse ? pulse : "";
  alsaConfig = alsa ? alsa : "";
}

TestSound::~TestSound() {
  if (server > 0)
    finishChild(server, 0);
  if (saved) {
    restore("PULSE_SERVER", hadPulseServer, pulseServer);
    restore("ALSA_CONFIG_PATH", hadAlsaConfig, alsaConfig);
  }
}

::testing::AssertionResult TestSound::startServer(const std::string &dir, std::string &address) {
  std::string home = dir + "/pulse", socketPath = home + "/native", log = home + ".log";
  server = spawnLogged({NULL_SOUND_SCRIPT, home}, log);
  if (server < 0)
    return ::testing::AssertionFailure() << "pulseaudio could not be started";
  // The socket comes after the null sink, so a connection finds the card.
  bool ended = false;
  bool up = waitUntil(
      [&] {
        ended = waitpid(server, nullptr, WNOHANG) == server;
        return ended || acceptsConnections(socketPath);
      },
      10000);
  if (ended)
    server = -1; // reaped: nothing to stop
  if (!up || ended)
    return ::testing::AssertionFailure() << "no PulseAudio server: " << fileText(log);
  address = "unix:" + socketPath;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestSound::startNullSink(const std::string &dir) {
  keepEnvironment();
  std::string address;
  ::testing::AssertionResult started = startServer(dir, address);
  if (started)
    setenv("PULSE_SERVER", address.c_str(), 1);
  return started;
}

::testing::AssertionResult TestSound::removeAll(const std::string &dir) {
  keepEnvironment();
  std::string cards = fileText("/proc/asound/cards");
  if (!cards.empty() && cards.find("no soundcards") == std::string::npos)
    return ::testing::AssertionFailure() << "this machine has sound cards: " << cards;
  ownAlsaConfig = dir + "/alsa.conf";
  std::ofstream(ownAlsaConfig).flush();
  // An hour old, so that plugIn's file differs in time even to the second.
  timeval anHourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  utimes(ownAlsaConfig.c_str(), anHourAgo);
  setenv("PULSE_SERVER", ("unix:" + dir + "/no-sound-server").c_str(), 1);
  setenv("ALSA_CONFIG_PATH", ownAlsaConfig.c_str(), 1);
  return ::testing::AssertionSuccess();
}

// ALSA reads its configuration again when the file changed (another file,
// or another time of change). Its PulseAudio plugin connects at each opening.
::testing::AssertionResult TestSound::plugIn(const std::string &dir) {
  std::string address;
  ::testing::AssertionResult started = startServer(dir, address);
  if (!started)
    return started;
  std::string next = ownAlsaConfig + ".new";
  std::ofstream(next) << "pcm.!default { type pulse server \"" << address << "\" }\n"
                      << "ctl.!default { type pulse server \"" << address << "\" }\n";
  if (rename(next.c_str(), ownAlsaConfig.c_str()) != 0)
    return ::testing::AssertionFailure() << "no new ALSA configuration";
  return ::testing::AssertionSuccess();
}
