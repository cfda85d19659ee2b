// The installation key: 20 characters kept in key.txt in the working
// directory, made once and sent with every login.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

#include "service.h"

namespace fs = std::filesystem;

namespace {

const char KEY_FILE[] = "key.txt";
const char KEY_ALPHABET[] =
    "0123456789!@#$%^&*ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
enum { KEY_LENGTH = 20, ALPHABET_SIZE = sizeof KEY_ALPHABET - 1, KEY_TEXT_CAP = 200 };

// False once the program found itself in its installation folder and could
// not leave it: no key is made there.
bool keyFolderUsable = true;

// The folder the executable is in.
fs::path programFolder() {
#ifdef _WIN32
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path)
    return {};
  return fs::path(std::string(path, length)).parent_path();
#else
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path();
#endif
}

// The customer's own folder, the one the shortcuts (Windows) and the
// launcher (Linux) start the program in.
fs::path customersFolder() {
#ifdef _WIN32
  const char *appData = std::getenv("APPDATA");
  return appData && *appData ? fs::path(appData) / "Dravik Tirn" : fs::path();
#else
  const char *dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/')
    return fs::path(dataHome) / "dravik-tirn";
  const char *home = std::getenv("HOME");
  return home && *home ? fs::path(home) / ".local/share/dravik-tirn" : fs::path();
#endif
}

// A real random source, so that installations started in the same second do
// not share a key. Falls back to a clock-seeded generator where the platform
// has no random device.
std::mt19937 seededGenerator() {
  try {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937(seed);
  } catch (...) {
    auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    return std::mt19937(static_cast<unsigned>(now));
  }
}

// Writes the key to a temporary file first, so key.txt appears whole or not
// at all, and links it into place without replacing a key.txt that another
// instance may have made meanwhile.
void writeKeyFile(const char *key, std::mt19937 &random) {
  std::string tmp = std::string(KEY_FILE) + "." + std::to_string(random()) + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(key, KEY_LENGTH);
    out.close();
    if (out.fail()) {
      std::error_code ignored;
      fs::remove(tmp, ignored);
      return;
    }
  }
  std::error_code ec;
  fs::create_hard_link(tmp, KEY_FILE, ec);
  if (ec && ec != std::errc::file_exists) { // file systems without hard links
    std::error_code statusError;
    if (fs::symlink_status(KEY_FILE, statusError).type() == fs::file_type::not_found)
      fs::rename(tmp, KEY_FILE, ec);
  }
  fs::remove(tmp, ec);
}

} // namespace

bool leaveInstallationFolder() {
  try {
    std::error_code ec;
    fs::path program = programFolder();
    if (program.empty() || !fs::equivalent(fs::current_path(ec), program, ec))
      return true;
    fs::path own = customersFolder();
    if (!own.empty()) {
      fs::create_directories(own, ec);
      fs::current_path(own, ec);
      if (!ec)
        return true;
    }
  } catch (...) {
  }
  keyFolderUsable = false;
  return false;
}

void ensureInstallKey() {
  try {
    if (!keyFolderUsable)
      return;
    // Anything named key.txt, readable or not, is the installation's key.
    std::error_code ec;
    if (fs::symlink_status(KEY_FILE, ec).type() != fs::file_type::not_found)
      return;

    std::mt19937 random = seededGenerator();
    std::uniform_int_distribution<int> pick(0, ALPHABET_SIZE - 1);
    char key[KEY_LENGTH + 1];
    for (int i = 0; i < KEY_LENGTH; ++i)
      key[i] = KEY_ALPHABET[pick(random)];
    key[KEY_LENGTH] = '\0';
    textCopy(app.installKey, key);
    writeKeyFile(key, random);
  } catch (...) {
    // Without a key file the login goes out with an empty key.
  }
}

std::string readInstallKey() {
  try {
    std::ifstream in(KEY_FILE);
    if (!in.good())
      return "";
    std::string line;
    for (int c = in.get(); c != EOF && c != '\n'; c = in.get()) {
      line += static_cast<char>(c);
      if (line.size() > KEY_TEXT_CAP) // longer than any key: refused, not cut
        return "";
    }
    if (in.bad()) // for instance a directory named key.txt
      return "";
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.size() >= KEY_TEXT_CAP)
      return "";
    return line;
  } catch (...) {
    return "";
  }
}
