#include "periodic_worker.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

std::chrono::steady_clock::time_point
PeriodicWorker::pauseDeadline(uint32_t intervalMs, std::chrono::steady_clock::time_point now) {
  if (intervalMs == 0)
    return std::chrono::steady_clock::time_point::min();
  return now + std::chrono::milliseconds(intervalMs);
}

void PeriodicWorker::run() {
  for (;;) {
    function();
    // Measured after the call: a slow call still gets the whole pause. A
    // deadline already passed only yields; sleeping until it would return at
    // once without even that.
    if (intervalMs == 0)
      std::this_thread::yield();
    else
      std::this_thread::sleep_until(pauseDeadline(intervalMs, std::chrono::steady_clock::now()));
  }
}

namespace {
struct LaunchHandshake {
  std::mutex mutex;
  std::condition_variable cond;
  bool started = false;
};
} // namespace

bool startPeriodicWorker(const std::function<void()> &function, uint32_t intervalMs) {
  if (!function)
    return false;
  LaunchHandshake handshake;
  PeriodicWorker offered(function, intervalMs);
  try {
    std::thread thread([&handshake, &offered] {
      // Take the worker over before telling the starter: after the
      // handshake nothing on the starter's stack is touched again.
      PeriodicWorker own(std::move(offered));
      {
        // Signalled under the lock: once it is released the starter may
        // return and take the handshake with it.
        std::lock_guard<std::mutex> lock(handshake.mutex);
        handshake.started = true;
        handshake.cond.notify_one();
      }
      own.run();
    });
    {
      std::unique_lock<std::mutex> lock(handshake.mutex);
      handshake.cond.wait(lock, [&handshake] { return handshake.started; });
    }
    thread.detach();
  } catch (const std::system_error &) {
    return false; // no thread could be created
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}
