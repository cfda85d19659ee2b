// A fresh, empty working directory for one test: entered on construction,
// left and removed with everything in it on destruction. Also the small file
// helpers that tests of files in it need.
#pragma once

#include <string>

class TempWorkDir {
public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir &) = delete;
  TempWorkDir &operator=(const TempWorkDir &) = delete;
  const std::string &path() const { return dir; }

private:
  std::string dir, previous;
};

// The whole content of a file, read as bytes; empty when it cannot be read.
std::string fileText(const std::string &path);
// Creates or replaces a file with exactly these bytes.
void writeFile(const std::string &path, const std::string &text);
