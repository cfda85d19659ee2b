// A detached thread that calls one function for ever, pausing a fixed number
// of milliseconds after each call returns (fixed delay, not fixed rate).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

class PeriodicWorker {
public:
  PeriodicWorker(std::function<void()> function, uint32_t intervalMs)
      : function(std::move(function)), intervalMs(intervalMs) {}

  // Runs on the worker thread; never returns.
  [[noreturn]] void run();

  // When the pause after a call that returned at `now` ends. An interval of 0
  // gives a deadline already passed: the pause then only yields the processor.
  static std::chrono::steady_clock::time_point
  pauseDeadline(uint32_t intervalMs, std::chrono::steady_clock::time_point now);

  std::function<void()> function;
  uint32_t intervalMs;
};

// Starts a worker on a copy of `function` and returns once the new thread has
// taken that copy over; the caller may drop its own function object at once.
// Returns false (and starts nothing) when the function is empty or no thread
// can be created.
bool startPeriodicWorker(const std::function<void()> &function, uint32_t intervalMs);
