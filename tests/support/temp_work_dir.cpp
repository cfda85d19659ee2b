#include "temp_work_dir.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

TempWorkDir::TempWorkDir() {
  std::string pattern = (fs::temp_directory_path() / "workdir-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data()))
    throw std::runtime_error("cannot create a temporary directory");
  dir = name.data();
  previous = fs::current_path().string();
  fs::current_path(dir);
}

TempWorkDir::~TempWorkDir() {
  std::error_code ec;
  fs::current_path(previous, ec);
  fs::remove_all(dir, ec);
}

std::string fileText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}
