#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "periodic_worker.h"
#include "sip_test_support.h"

namespace {
std::atomic<long> yields{0};
}

// Every yield of the processor made here goes through this wrapper.
extern "C" int __real_sched_yield();
extern "C" int __wrap_sched_yield() {
  ++yields;
  return __real_sched_yield();
}

namespace {

using Clock = std::chrono::steady_clock;

TEST(PeriodicWorker, ReturnsOnceTheThreadHoldsItsCopyBeforeTheFirstCall) {
  auto token = std::make_shared<int>(0);
  auto firstCallMayRun = std::make_shared<std::atomic<bool>>(false);
  auto calls = std::make_shared<std::atomic<int>>(0);
  std::function<void()> function = [token, firstCallMayRun, calls] {
    while (!*firstCallMayRun) // the first call waits for the test
      std::this_thread::yield();
    ++*calls;
  };
  // Would never return if the start waited for the first call to finish.
  ASSERT_TRUE(startPeriodicWorker(function, 1000));
  // This test's token, the caller's function and the worker's own copy:
  // nothing else in transit.
  EXPECT_EQ(token.use_count(), 3);
  *firstCallMayRun = true;
  EXPECT_TRUE(waitUntil([&] { return *calls >= 1; }));
}

TEST(PeriodicWorker, KeepsCallingItsOwnCopyAfterTheCallersIsGone) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  std::weak_ptr<std::atomic<int>> alive = calls;
  {
    std::function<void()> function = [calls] { ++*calls; };
    ASSERT_TRUE(startPeriodicWorker(function, 1));
  }
  std::shared_ptr<std::atomic<int>> seen = alive.lock();
  ASSERT_TRUE(seen);
  calls.reset();
  int before = *seen;
  EXPECT_TRUE(waitUntil([&] { return *seen >= before + 5; }));
}

TEST(PeriodicWorker, ZeroIntervalOnlyYields) {
  auto now = Clock::now();
  EXPECT_LE(PeriodicWorker::pauseDeadline(0, now), now);
  EXPECT_EQ(PeriodicWorker::pauseDeadline(10, now), now + std::chrono::milliseconds(10));
  auto calls = std::make_shared<std::atomic<int>>(0);
  long yieldsBefore = yields;
  ASSERT_TRUE(startPeriodicWorker([calls] { ++*calls; }, 0));
  EXPECT_TRUE(waitUntil([&] { return *calls >= 10000; }));
  // One yield after each call: nothing else here yields.
  EXPECT_GE(yields - yieldsBefore, 9999);
}

TEST(PeriodicWorker, PauseIsMeasuredFromTheEndOfEachCall) {
  // Each call lasts 30 ms and is followed by a 20 ms pause, so calls start at
  // least 50 ms apart (a fixed rate would start the next one at once).
  struct Starts {
    std::mutex mutex;
    std::vector<Clock::time_point> at;
  };
  auto starts = std::make_shared<Starts>();
  ASSERT_TRUE(startPeriodicWorker(
      [starts] {
        {
          std::lock_guard<std::mutex> lock(starts->mutex);
          starts->at.push_back(Clock::now());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
      },
      20));
  ASSERT_TRUE(waitUntil([&] {
    std::lock_guard<std::mutex> lock(starts->mutex);
    return starts->at.size() >= 4;
  }));
  std::lock_guard<std::mutex> lock(starts->mutex);
  for (size_t i = 1; i < starts->at.size(); ++i)
    EXPECT_GE(starts->at[i] - starts->at[i - 1], std::chrono::milliseconds(50));
}

TEST(PeriodicWorker, EmptyFunctionStartsNothing) {
  EXPECT_FALSE(startPeriodicWorker(std::function<void()>(), 10));
}

} // namespace
