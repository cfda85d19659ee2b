// The program exactly as shipped, except that the web service it talks to is
// the test's own, named in DRAVIK_TIRN_TEST_SERVICE (host:port): the shipped
// program has its service host compiled in and reads no environment. With
// DRAVIK_WINAPI_PROBE set it also answers the window probe (SIGUSR1).
#include <cstdlib>

#include "main_window.h"
#include "service.h"
#include "winapi_probe.h"

int main() {
  if (const char *host = getenv("DRAVIK_TIRN_TEST_SERVICE"))
    setServiceHostForTests(host);
  winapiProbeInstallFromEnvironment();
  char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
}
