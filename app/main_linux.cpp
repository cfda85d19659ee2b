// Entry point where the system starts programs at main: straight on to
// WinMain, as Windows would call it for a window shown normally.
#include <windows.h>

#include "main_window.h"
#include "sip.h"

int main() {
  char commandLine[] = "";
  int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
  holdSipCoreForGood();
  return result;
}
