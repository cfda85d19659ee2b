// How often the running program iterates its SIP core. Every call of the
// core's iteration is counted here (the link routes it through the wrapper
// below), while the program runs logged in and idle.
#include <gtest/gtest.h>
#include <linphone/core.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "program_driver.h"
#include "winapi_test.h"

namespace {
std::atomic<long> iterations{0};
}

extern "C" void __real_linphone_core_iterate(LinphoneCore *core);
extern "C" void __wrap_linphone_core_iterate(LinphoneCore *core) {
  ++iterations;
  __real_linphone_core_iterate(core);
}

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

using winapi_test::closeWindow;

class Worker : public ProgramTest {};

// Each cycle is an iteration followed by a pause of 10 ms measured from its
// end, so cycles can never start closer than 10 ms apart: the upper bound is
// exact. The lower bound leaves each cycle 30 ms on average, room for a slow
// iteration on a loaded machine, which a pause of 40 ms can never meet.
TEST_F(Worker, IteratesTheCoreEveryTenMillisecondsWhileTheProgramRuns) {
  grant("127.0.0.29", {{"ATENDIMENTO", "a01"}});
  runLoggedIn({
      [] {
        // The worker is running once the core has been iterated past the
        // set-up's own iteration.
        ASSERT_TRUE(waitUntil([] { return iterations >= 3; }));
        Clock::time_point start = Clock::now();
        long first = iterations;
        std::this_thread::sleep_for(std::chrono::seconds(3));
        long counted = iterations - first;
        double elapsed = Ms(Clock::now() - start).count();
        printf("%ld iterations in %.0f ms: one every %.2f ms\n", counted, elapsed,
               elapsed / counted);
        EXPECT_LE(counted, elapsed / 10 + 2) << "cycles shorter than 10 ms";
        EXPECT_GE(counted, elapsed / 30) << "cycles far longer than 10 ms";
        closeWindow(mainWindow());
      },
  });
}

} // namespace
