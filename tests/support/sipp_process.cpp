#include "sipp_process.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "child_process.h"
#include "polling.h"

namespace {

// The process's descriptors include the socket with this inode.
bool holdsSocket(const std::string &pid, const std::string &inode) {
  std::string fdDir = "/proc/" + pid + "/fd";
  DIR *dir = opendir(fdDir.c_str());
  if (!dir)
    return false;
  const std::string wanted = "socket:[" + inode + "]";
  bool found = false;
  while (dirent *entry = readdir(dir)) {
    char target[64];
    ssize_t n = readlink((fdDir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, n) == wanted) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

// The line of sipp's screen output that says why it quit.
std::string sippComplaint(const std::string &logFile) {
  std::ifstream in(logFile);
  std::string line;
  while (std::getline(in, line))
    if (line.find("Unable") != std::string::npos || line.find("rror") != std::string::npos)
      return line.substr(line.find(": ") == std::string::npos ? 0 : line.find(": ") + 2);
  return "no reason given";
}

} // namespace

std::string udpPortHolder(const std::string &ip) {
  std::string inode = udpInode(ip);
  if (inode.empty())
    return "";
  if (DIR *proc = opendir("/proc")) {
    while (dirent *entry = readdir(proc)) {
      std::string pid = entry->d_name;
      if (pid.find_first_not_of("0123456789") != std::string::npos || !holdsSocket(pid, inode))
        continue;
      closedir(proc);
      std::string name;
      std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
      return "pid " + pid + " (" + name + ")";
    }
    closedir(proc);
  }
  return "something";
}

bool SippProcess::spawn(const std::string &ip, const std::vector<std::string> &args,
                        const std::string &workDir, const std::string &logFile) {
  std::vector<std::string> all = {"sipp", "-i", ip, "-mi", ip, "-p", "5060"};
  all.insert(all.end(), args.begin(), args.end());
  pid_t child = spawnLogged(all, logFile, workDir);
  if (child < 0)
    return false;
  pid = child;
  return true;
}

int SippProcess::run(const std::string &ip, const std::vector<std::string> &args,
                     const std::string &workDir, const std::string &logFile, int timeoutMs) {
  stop();
  if (!spawn(ip, args, workDir, logFile))
    return -1;
  return finish(timeoutMs);
}

::testing::AssertionResult SippProcess::start(const std::string &ip,
                                              const std::vector<std::string> &args,
                                              const std::string &workDir,
                                              const std::string &logFile) {
  stop();
  const std::string address = ip + ":5060";
  std::string holder = udpPortHolder(ip);
  if (!holder.empty())
    return ::testing::AssertionFailure()
           << address << " is already taken by " << holder
           << ", so no peer of this test can listen there (left behind by an earlier run?)";

  if (!spawn(ip, args, workDir, logFile))
    return ::testing::AssertionFailure() << "no process for the peer on " << address;

  int status = 0;
  bool quit = false;
  const std::string ownPid = std::to_string(pid);
  bool listening = waitUntil([&] {
    quit = waitpid(pid, &status, WNOHANG) == pid;
    return quit || holdsSocket(ownPid, udpInode(ip));
  });
  if (quit) {
    pid = -1;
    return ::testing::AssertionFailure()
           << "sipp quit (exit code " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1)
           << ") before listening on " << address << ": " << sippComplaint(logFile) << " (see "
           << logFile << ")";
  }
  if (!listening) {
    stop();
    return ::testing::AssertionFailure() << "sipp never listened on " << address;
  }
  return ::testing::AssertionSuccess();
}

int SippProcess::finish(int timeoutMs) {
  if (pid <= 0)
    return -1;
  int status = 0;
  if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs)) {
    stop();
    return -1;
  }
  pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SippProcess::stop() {
  if (pid <= 0)
    return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

std::vector<std::string> sippReceived(const std::string &traceFile) {
  // Each message follows a line of dashes with its time and a line saying
  // "UDP message received [n] bytes :" (or "message sent").
  std::ifstream in(traceFile);
  std::vector<std::string> found;
  std::string line, message;
  bool inMessage = false;
  auto keep = [&] {
    if (inMessage && !message.empty())
      found.push_back(message);
    message.clear();
  };
  while (std::getline(in, line)) {
    bool received = line.find("message received") != std::string::npos;
    if (received || line.compare(0, 5, "-----") == 0 ||
        line.find("message sent") != std::string::npos) {
      keep();
      inMessage = received;
    } else if (inMessage && (!message.empty() || !line.empty())) {
      message += line + "\n";
    }
  }
  keep();
  return found;
}

std::string sipHeader(const std::string &message, const std::string &name) {
  size_t at = message.find("\n" + name + ":");
  if (at == std::string::npos)
    return "";
  at = message.find_first_not_of(' ', at + name.size() + 2);
  return message.substr(at, message.find('\r', at) - at);
}
