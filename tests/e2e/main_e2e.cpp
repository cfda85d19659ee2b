// The program exactly as shipped, except that the web service it talks to is
// the test's own, named in DRAVIK_TIRN_TEST_SERVICE (host:port): the shipped
// program has its service host compiled in and reads no environment.
#include <cstdlib>

#include "commands.h"
#include "service.h"

int main() {
  if (const char *host = getenv("DRAVIK_TIRN_TEST_SERVICE"))
    setServiceHostForTests(host);
  char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
}
