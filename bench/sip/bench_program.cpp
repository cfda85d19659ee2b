// The program's own SIP code: set-up, registration, idle, one call.
// Usage: sip_bench_program DOMAIN USER PASSWORD IDLE_SECONDS [HOLD_SECONDS [noec]]
// (HOLD_SECONDS: the call is held that long before it is ended, for the
// voice benchmark, which listens to it; noec: without the echo canceller,
// for the benchmark to compare)
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app_state.h"
#include "bench_measure.h"
#include "sip.h"
#include "sip_internal.h"

int main(int argc, char **argv) {
  if (argc < 5 || argc > 7 || (argc == 7 && strcmp(argv[6], "noec") != 0))
    return 2;
  const char *domain = argv[1];
  double idleSeconds = atof(argv[4]);
  auto pollUntil = [](auto done) {
    auto limit = BenchClock::now() + std::chrono::seconds(20);
    while (!done() && BenchClock::now() < limit)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    return done();
  };

  auto start = BenchClock::now();
  setupSipAccount(argv[2], argv[3], domain);
  if (argc == 7) {
    std::lock_guard<std::mutex> lock(coreMutex);
    linphone_core_enable_echo_cancellation(app.core, FALSE);
  }
  double setupMs = msSince(start);
  if (!pollUntil([] { return app.registered.load(); }))
    return 1;
  double registerMs = msSince(start);

  // Registered and idle, before any call, as the floor measures it.
  double cpuBefore = cpuSeconds();
  auto idleStart = BenchClock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  double idlePct = 100 * (cpuSeconds() - cpuBefore) / (msSince(idleStart) / 1000);
  double idleRssMb = residentMb();

  textCopy(app.calleeUser, "fila");
  auto invited = BenchClock::now();
  placeCall(domain);
  auto connected = [] {
    std::lock_guard<std::mutex> lock(coreMutex);
    if (!app.currentCall)
      return false;
    LinphoneCallState state = linphone_call_get_state(app.currentCall);
    return state == LinphoneCallConnected || state == LinphoneCallStreamsRunning;
  };
  if (!pollUntil(connected))
    return 1;
  double callMs = msSince(invited);
  if (argc >= 6)
    std::this_thread::sleep_for(std::chrono::duration<double>(atof(argv[5])));
  terminateCall();
  auto released = [] {
    std::lock_guard<std::mutex> lock(coreMutex);
    return linphone_core_get_calls_nb(app.core) == 0;
  };
  pollUntil(released);

  reportFigures(setupMs, registerMs, callMs, idlePct, idleRssMb);
  fflush(stdout);
  _exit(0); // the worker iterates until the very end, as in the program
}
