// Entry point on Linux: hands over to the program's WinMain as Windows would.
#include <string>

#include <windows.h>

int main(int argc, char **argv) {
  std::string cmdLine; // the command line without the program name
  for (int i = 1; i < argc; ++i)
    cmdLine += (i > 1 ? " " : "") + std::string(argv[i]);
  return WinMain(GetModuleHandleA(nullptr), nullptr, &cmdLine[0], SW_SHOWDEFAULT);
}
