#pragma once

// What the benchmarks read about their own process on Linux: memory from /proc/self/status and
// the time the calling thread ran.

#include <ctime>
#include <fstream>
#include <string>

namespace bench {

// A field of /proc/self/status in MiB ("VmHWM" the peak, "VmRSS" the current resident memory);
// -1 where it is missing.
inline double StatusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string wanted = std::string(field) + ':';
  std::string name;
  while (status >> name) {
    if (name == wanted) {
      double kib = 0;
      status >> kib;
      return kib / 1024;
    }
  }
  return -1;
}

// The time the calling thread has run, less disturbed by other programs than the wall clock.
inline double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace bench
