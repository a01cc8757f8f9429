// Shared by the benchmark programs: a console reporter that also remembers
// every run's times and counters, so a program can say how it compares with
// its peer after the run, and the one line format those comparisons take.
//
// scripts/run-benchmarks.sh runs every program with five repetitions and
// aggregates only, so the figures a program reads here are medians of five
// ("<name>_median"); a program run by hand without repetitions reads its
// single run instead.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.benchmark_name();
      cpuTime_[name] = run.GetAdjustedCPUTime();
      realTime_[name] = run.GetAdjustedRealTime();
      for (const auto& [key, counter] : run.counters) counters_[name + "|" + key] = counter.value;
    }
  }

  // The CPU time per iteration of a benchmark, in its display unit; 0 when
  // it did not run. With repetitions, the median.
  double cpuTime(const std::string& name) const { return preferMedian(cpuTime_, name, ""); }
  // The wall time per iteration, for work done on other threads.
  double realTime(const std::string& name) const { return preferMedian(realTime_, name, ""); }
  // A counter of a benchmark (bytes_per_second, items_per_second, ...).
  double counter(const std::string& name, const std::string& key) const {
    return preferMedian(counters_, name, "|" + key);
  }

 private:
  static double preferMedian(const std::map<std::string, double>& values, const std::string& name,
                             const std::string& suffix) {
    double median = find(values, name + "_median" + suffix);
    return median > 0 ? median : find(values, name + suffix);
  }
  static double find(const std::map<std::string, double>& values, const std::string& key) {
    auto it = values.find(key);
    return it == values.end() ? 0 : it->second;
  }
  std::map<std::string, double> cpuTime_;
  std::map<std::string, double> realTime_;
  std::map<std::string, double> counters_;
};

// The middle value (the upper middle of an even count); 0 for none.
inline double medianOf(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// "ratio <what> <how> = 1.23x", skipped when either side did not run.
inline void printRatio(const char* what, const char* how, double ours, double peer) {
  if (ours > 0 && peer > 0) std::printf("ratio %-24s %s = %.2fx\n", what, how, ours / peer);
}

// The comparison line scripts/run-benchmarks.sh collects into its table:
//   RATIO <name> <ours/peer> goal <= <goal> <met|not met>
// `name` is one word (no spaces); the ratio is of times (or of any cost),
// so lower is better and the goal is an upper bound. When either side did
// not run the ratio reads "n/a" and the verdict "not run".
inline void reportRatio(const char* name, double ours, double peer, double goal) {
  if (ours > 0 && peer > 0) {
    // The verdict is on the figure printed, so the two always agree.
    const double ratio = std::round(ours / peer * 100) / 100;
    std::printf("RATIO %s %.2f goal <= %.2f %s\n", name, ratio, goal, ratio <= goal ? "met" : "not met");
  } else {
    std::printf("RATIO %s n/a goal <= %.2f not run\n", name, goal);
  }
  std::fflush(stdout);
}

}  // namespace bench
