// Figures both benchmark programs take the same way.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>

using BenchClock = std::chrono::steady_clock;

inline double msSince(BenchClock::time_point start) {
  return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

inline double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double residentMb() {
  FILE *status = fopen("/proc/self/status", "r");
  if (!status)
    return 0;
  char line[256];
  double kb = 0;
  while (fgets(line, sizeof line, status))
    if (strncmp(line, "VmRSS:", 6) == 0)
      sscanf(line + 6, "%lf", &kb);
  fclose(status);
  return kb / 1024;
}

// One line on standard error: set-up ms, registration ms, call set-up ms,
// idle CPU % of a core, resident MB. Standard output carries the library's
// log.
inline void reportFigures(double setupMs, double registerMs, double callMs, double idlePct,
                          double rssMb) {
  fprintf(stderr, "%.2f %.2f %.2f %.3f %.1f\n", setupMs, registerMs, callMs, idlePct, rssMb);
}
