// The whole program in one process, on a real display (FLTK under Xvfb),
// against the demo service and SIP peer: times from start to the login
// window, from Enter to the call screen and to the registered account, and
// from "Sim" to the connected call.
// Usage: app_bench SERVICE_HOST   (one line of figures on standard error)
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <thread>
#include <unistd.h>

#include "app_state.h"
#include "main_window.h"
#include "service.h"
#include "sip_internal.h"
#include "winapi_test.h"

namespace {
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

bool pollUntil(const std::function<bool()> &done) {
  auto limit = Clock::now() + std::chrono::seconds(20);
  while (!done() && Clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  return done();
}

bool callConnected() {
  std::lock_guard<std::mutex> lock(coreMutex);
  if (!app.currentCall)
    return false;
  LinphoneCallState state = linphone_call_get_state(app.currentCall);
  return state == LinphoneCallConnected || state == LinphoneCallStreamsRunning;
}

HWND mainWindow() {
  for (HWND w : winapi_test::topLevelWindows())
    if (winapi_test::windowText(w) == "Dravik Tirn 1.1")
      return w;
  return nullptr;
}
} // namespace

int main(int argc, char **argv) {
  auto start = Clock::now();
  if (argc != 2)
    return 2;
  setServiceHostForTests(argv[1]);
  Clock::time_point shown, enter, callScreen, registered, sim, connected;
  bool ok = true;
  std::deque<std::function<void()>> steps = {
      [&] {
        shown = Clock::now();
        winapi_test::typeText(app.codeEdit, "1001");
        winapi_test::typeText(app.passwordEdit, "demo123");
        enter = Clock::now();
        winapi_test::pressKey(VK_RETURN);
      },
      [&] {
        callScreen = Clock::now();
        ok = ok && app.loggedIn && pollUntil([] { return app.registered.load(); });
        registered = Clock::now();
        winapi_test::queueBoxAnswer(IDYES);
        sim = Clock::now();
        winapi_test::click(app.callButton);
      },
      [&] {
        ok = ok && pollUntil(callConnected);
        connected = Clock::now();
        winapi_test::queueBoxAnswer(IDYES);
        winapi_test::click(app.hangUpButton);
      },
      [&] {
        winapi_test::queueBoxAnswer(IDOK);
        winapi_test::closeWindow(mainWindow());
      },
  };
  winapi_test::setIdleScript([&] {
    if (steps.empty())
      return;
    auto step = steps.front();
    steps.pop_front();
    step();
  });
  char commandLine[] = "";
  int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
  if (result != 0 || !ok)
    return 1;
  fprintf(stderr, "%.2f %.2f %.2f %.2f\n", msBetween(start, shown), msBetween(enter, callScreen),
          msBetween(enter, registered), msBetween(sim, connected));
  fflush(stderr);
  _exit(0); // the SIP worker runs on; nothing to tear down
}
