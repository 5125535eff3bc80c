#pragma once

// What the benchmarks share: the clock they time with, the rounds they run their
// contenders in, and the spread of ratios they report.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The middle value (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs every contender once per round, the order rotated each round, so that drift on
// a shared machine (load, frequency, caches) falls on all of them alike. Each
// contender returns the time it measured; result[c][round].
inline std::vector<std::vector<double>> InRounds(int rounds,
                                                 const std::vector<std::function<double()>>& run) {
  std::vector<std::vector<double>> times(run.size());
  for (int r = 0; r < rounds; ++r)
    for (size_t k = 0; k < run.size(); ++k) {
      const size_t c = (k + static_cast<size_t>(r)) % run.size();
      times[c].push_back(run[c]());
    }
  return times;
}

struct TSpread {
  double Min = 0, Median = 0, Max = 0;
};

// min / median / max of a[i] / b[i], round by round.
inline TSpread RatioSpread(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> r;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (b[i] > 0) r.push_back(a[i] / b[i]);
  if (r.empty()) return {};
  return {*std::min_element(r.begin(), r.end()), ::Median(r),
          *std::max_element(r.begin(), r.end())};
}

inline void PrintSpread(const char* label, const TSpread& s) {
  std::printf("%-44s %6.2f / %6.2f / %6.2f\n", label, s.Min, s.Median, s.Max);
}
