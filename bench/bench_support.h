// Shared by the benchmark programs: a console reporter that also remembers
// every run's time and counters, so a program can print how it compares
// with its peer after the run.
#pragma once

#include <benchmark/benchmark.h>

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
      for (const auto& [key, counter] : run.counters) counters_[name + "|" + key] = counter.value;
    }
  }

  // The CPU time per iteration of a benchmark; 0 when it did not run. With
  // repetitions, the median is preferred.
  double cpuTime(const std::string& name) const { return find(cpuTime_, name); }
  // A counter of a benchmark (bytes_per_second, items_per_second, ...).
  double counter(const std::string& name, const std::string& key) const {
    double median = find(counters_, name + "_median|" + key);
    return median > 0 ? median : find(counters_, name + "|" + key);
  }

 private:
  static double find(const std::map<std::string, double>& values, const std::string& key) {
    auto it = values.find(key);
    return it == values.end() ? 0 : it->second;
  }
  std::map<std::string, double> cpuTime_;
  std::map<std::string, double> counters_;
};

// "ratio <what> <how> = 1.23x", skipped when either side did not run.
inline void printRatio(const char* what, const char* how, double ours, double peer) {
  if (ours > 0 && peer > 0) std::printf("ratio %-24s %s = %.2fx\n", what, how, ours / peer);
}

}  // namespace bench
