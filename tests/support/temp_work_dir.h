// A fresh, empty working directory for one test: entered on construction,
// left and removed with everything in it on destruction.
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
