#pragma once
// The pairing every benchmark here uses: Snipora's way (A) and the bare
// platform doing the same job (B) take turns in one run, A B B A A B ..., so a
// change in how busy the machine is touches both alike. A row gives the
// median time of each side and the median of the pairwise ratios A/B.
//
// Rows go to standard output as
//   ROW<TAB>case<TAB>median A ms<TAB>median B ms<TAB>ratio<TAB>goal
// (goal "-" when the case is only reported); scripts/bench.sh makes the
// table from them. Anything else a benchmark prints is left out of it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace snipora::bench {

inline double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / frequency;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Pairs {
  std::vector<double> a, b;  // milliseconds, round by round
};

// One side of a pair: does the job once and returns how long the part that
// counts took, in milliseconds, or a negative value when the job failed.
using Side = std::function<double()>;

// `warmUp` rounds first, not counted; false when a side failed. The side that
// goes first changes every round (A B C, B C A, C A B, ...): what one run
// leaves behind (a connection still closing, a process still exiting) then
// weighs on every side alike. times[i] holds side i's counted rounds.
inline bool RunSides(int rounds, int warmUp, const std::vector<Side>& sides, std::vector<std::vector<double>>& times) {
  const std::size_t n = sides.size();
  times.assign(n, {});
  for (int round = 0; round < warmUp + rounds; ++round) {
    std::vector<double> took(n);
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t side = (std::size_t(round) + k) % n;
      took[side] = sides[side]();
      if (took[side] < 0) return false;
    }
    if (round < warmUp) continue;
    for (std::size_t side = 0; side < n; ++side) times[side].push_back(took[side]);
  }
  return true;
}

inline bool RunPairs(int rounds, int warmUp, const Side& a, const Side& b, Pairs& pairs) {
  std::vector<std::vector<double>> times;
  if (!RunSides(rounds, warmUp, {a, b}, times)) return false;
  pairs.a = times[0];
  pairs.b = times[1];
  return true;
}

inline void PrintRow(const char* name, const Pairs& pairs, std::optional<double> goal) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < pairs.a.size(); ++i) ratios.push_back(pairs.b[i] > 0 ? pairs.a[i] / pairs.b[i] : 0);
  char goalText[16] = "-";
  if (goal) std::snprintf(goalText, sizeof goalText, "%.2f", *goal);
  std::printf("ROW\t%s\t%.2f\t%.2f\t%.3f\t%s\n", name, Median(pairs.a), Median(pairs.b), Median(ratios), goalText);
  std::fflush(stdout);
}

}  // namespace snipora::bench
