// The model mapper against a hand-written conversion of the same class:
// 10,000 reply dictionaries of 10 keys of mixed types (text, numbers given
// as numbers and as text, a boolean word, a URL, an array and a dictionary)
// become model objects. The ratio is the cost of mapping by reflection.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/number_formatter.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"

namespace {

class BenchRow : public kit::Object {
  KIT_OBJECT(BenchRow)
 public:
  kit::Ref<kit::String> name;
  kit::Ref<kit::String> title;
  double amount = 0;
  long long count = 0;
  int level = 0;
  bool vip = false;
  double ratio = 0;
  kit::Ref<kit::URL> icon;
  kit::Ref<kit::Array> tags;
  kit::Ref<kit::Dictionary> extra;
};
KIT_DEFINE_CLASS(BenchRow, kit::Object) {
  cls.property("name", &BenchRow::name, "C");
  cls.property("title", &BenchRow::title, "C");
  cls.property("amount", &BenchRow::amount);
  cls.property("count", &BenchRow::count);
  cls.property("level", &BenchRow::level);
  cls.property("vip", &BenchRow::vip);
  cls.property("ratio", &BenchRow::ratio);
  cls.property("icon", &BenchRow::icon);
  cls.property("tags", &BenchRow::tags);
  cls.property("extra", &BenchRow::extra);
}

constexpr int kRows = 10000;

const std::vector<kit::Id>& replies() {
  static const std::vector<kit::Id> rows = [] {
    std::vector<kit::Id> out;
    out.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
      out.push_back(kit::dict({
          {"name", "player" + std::to_string(i)},
          {"title", i},
          {"amount", std::to_string(i) + ".5"},
          {"count", static_cast<long long>(i) * 1000},
          {"level", i % 100},
          {"vip", i % 2 ? "YES" : "no"},
          {"ratio", i / 7.0},
          {"icon", "http://img.test/icons/" + std::to_string(i) + ".png"},
          {"tags", kit::array({"a", "b"})},
          {"extra", kit::dict({{"k", i}})},
      }));
    }
    return out;
  }();
  return rows;
}

// What a developer writes by hand for the same replies and the same results.
kit::Ref<BenchRow> convertByHand(const kit::Id& reply, const kit::NumberFormatter& formatter) {
  auto row = kit::make<BenchRow>();
  row->name = kit::as<kit::String>(reply["name"]);
  if (auto title = reply["title"]) row->title = kit::text(title);
  if (auto amount = kit::as<kit::String>(reply["amount"])) {
    if (auto n = formatter.numberFromString(amount->utf8())) row->amount = n->doubleValue();
  }
  if (auto count = kit::as<kit::Number>(reply["count"])) row->count = count->longLongValue();
  if (auto level = kit::as<kit::Number>(reply["level"])) row->level = level->intValue();
  if (auto vip = kit::as<kit::String>(reply["vip"])) {
    std::string word = vip->lowercaseString()->utf8();
    row->vip = word == "yes" || word == "true";
  }
  if (auto ratio = kit::as<kit::Number>(reply["ratio"])) row->ratio = ratio->doubleValue();
  if (auto icon = kit::as<kit::String>(reply["icon"])) row->icon = kit::URL::URLWithString(icon);
  row->tags = kit::as<kit::Array>(reply["tags"]);
  row->extra = kit::as<kit::Dictionary>(reply["extra"]);
  return row;
}

void BM_MapperDictionariesToModels(benchmark::State& state) {
  const auto& rows = replies();
  for (auto _ : state) {
    for (const kit::Id& reply : rows) {
      kit::Id model = mx_objectWithKeyValues(BenchRow::staticClass(), reply);
      benchmark::DoNotOptimize(model);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_MapperDictionariesToModels)->Unit(benchmark::kMillisecond);

void BM_HandWrittenDictionariesToModels(benchmark::State& state) {
  const auto& rows = replies();
  kit::NumberFormatter formatter;
  for (auto _ : state) {
    for (const kit::Id& reply : rows) {
      kit::Ref<BenchRow> model = convertByHand(reply, formatter);
      benchmark::DoNotOptimize(model);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_HandWrittenDictionariesToModels)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Both conversions must agree before they are timed.
  kit::NumberFormatter formatter;
  for (int i : {0, 1, 4999, kRows - 1}) {
    auto mapped = kit::as<BenchRow>(mx_objectWithKeyValues(BenchRow::staticClass(), replies()[i]));
    auto byHand = convertByHand(replies()[i], formatter);
    if (!mapped || !kit::isEqual(mx_keyValues(mapped), mx_keyValues(byHand))) {
      std::fprintf(stderr, "the mapper and the hand-written conversion disagree on row %d\n", i);
      return 1;
    }
  }
  benchmark::Initialize(&argc, argv);
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Goal: mapping by reflection costs at most two and a half times the
  // hand-written conversion.
  bench::reportRatio("10000_rows_to_models/hand_written", reporter.cpuTime("BM_MapperDictionariesToModels"),
                     reporter.cpuTime("BM_HandWrittenDictionariesToModels"), 2.5);
  benchmark::Shutdown();
  return 0;
}
