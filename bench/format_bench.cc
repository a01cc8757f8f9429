// kit::format and kit::describe against snprintf on the same work: the
// product formats every callback script and log line through them.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/bench_support.h"
#include "kit/foundation/values.h"

namespace {

void BM_KitFormat(benchmark::State& state) {
  auto name = kit::str("player");
  for (auto _ : state) {
    std::string s = kit::formatString("role %@ level %d money %.2f id %lld", name, 42, 12.5, 1234567890123LL);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_KitFormat);

void BM_Snprintf(benchmark::State& state) {
  const char* name = "player";
  for (auto _ : state) {
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, "role %s level %d money %.2f id %lld", name, 42, 12.5, 1234567890123LL);
    std::string s(buf, static_cast<size_t>(n));
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_Snprintf);

void BM_KitDescribeNumber(benchmark::State& state) {
  auto n = kit::num(1234567);
  for (auto _ : state) {
    std::string s = kit::describe(n);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_KitDescribeNumber);

void BM_SnprintfNumber(benchmark::State& state) {
  long long v = 1234567;
  for (auto _ : state) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%lld", v);
    std::string s(buf, static_cast<size_t>(n));
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_SnprintfNumber);

void BM_KitDescribeDictionary(benchmark::State& state) {
  auto d = kit::dict({{"code", 200}, {"msg", "ok"}, {"token", "abcdef"}});
  for (auto _ : state) {
    std::string s = kit::describe(d);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_KitDescribeDictionary);

void BM_SnprintfDictionaryText(benchmark::State& state) {
  for (auto _ : state) {
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, "{\n    %s = %d;\n    %s = %s;\n    %s = %s;\n}", "code", 200, "msg",
                          "ok", "token", "abcdef");
    std::string s(buf, static_cast<size_t>(n));
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_SnprintfDictionaryText);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Goal: within half again of snprintf doing the same formatting.
  constexpr double kGoal = 1.5;
  bench::reportRatio("kit_format/snprintf", reporter.cpuTime("BM_KitFormat"), reporter.cpuTime("BM_Snprintf"), kGoal);
  bench::reportRatio("describe_number/snprintf", reporter.cpuTime("BM_KitDescribeNumber"),
                     reporter.cpuTime("BM_SnprintfNumber"), kGoal);
  bench::reportRatio("describe_dictionary/snprintf", reporter.cpuTime("BM_KitDescribeDictionary"),
                     reporter.cpuTime("BM_SnprintfDictionaryText"), kGoal);
  benchmark::Shutdown();
  return 0;
}
