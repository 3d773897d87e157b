// Small helpers shared by the benchmarks: timing, heap use and reporting.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

namespace varnoke::bench {

using TClock = std::chrono::steady_clock;

// The milliseconds from start to now.
inline double MsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// Prints one figure as "name: value".
inline void Report(std::string_view name, double value) {
  std::printf("%.*s: %.3f\n", static_cast<int>(name.size()), name.data(), value);
  std::fflush(stdout);
}

// The fastest of several runs of work, in milliseconds. The minimum is the
// figure least disturbed by whatever else the machine is doing.
template <typename Work>
double BestMs(int runs, Work&& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
  }
  return best;
}

// The value below which share (0 to 1) of values lie; values must not be
// empty.
inline double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

// The median of some figures.
inline double MedianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Makes the compiler treat value as used, so that the work computing it
// is not optimised away.
template <typename T>
inline void KeepValue(const T& value) {
  asm volatile("" : : "r,m"(value) : "memory");
}

}  // namespace varnoke::bench
