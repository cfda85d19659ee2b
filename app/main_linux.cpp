// Entry point where the system starts programs at main: straight on to
// WinMain, as Windows would call it for a window shown normally.
#include <windows.h>

#include "main_window.h"

int main() {
  char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
}
