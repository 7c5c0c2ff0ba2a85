// What the benchmarks time with, and how they report a set of samples.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

inline double now_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The median and the extremes of samples, in milliseconds, after what.
inline void report(const char* what, std::vector<double> samples) {
  if (samples.empty()) {
    std::printf("%-52s no samples\n", what);
    return;
  }
  std::sort(samples.begin(), samples.end());
  std::printf("%-52s median %7.2f ms, min %7.2f, max %7.2f (%zu samples)\n", what,
              samples[samples.size() / 2], samples.front(), samples.back(), samples.size());
}
