// Mapping on several threads at once: different classes mapped in parallel
// while other threads keep setting classes up (which drops the cached
// property lists) give the same results as on one thread.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "data/model/mx_class.h"
#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "data/model/mx_property.h"
#include "kit/foundation/values.h"

namespace {

#define MX_ROW_CLASS(N)                                                                            \
  class MXRow##N : public kit::Object {                                                            \
    KIT_OBJECT(MXRow##N)                                                                           \
   public:                                                                                         \
    kit::Ref<kit::String> title;                                                                   \
    double amount = 0;                                                                             \
    long long count = 0;                                                                           \
    bool on = false;                                                                               \
    kit::Ref<kit::Array> items;                                                                    \
  };                                                                                               \
  KIT_DEFINE_CLASS(MXRow##N, kit::Object) {                                                        \
    cls.property("title", &MXRow##N::title, "C");                                                  \
    cls.property("amount", &MXRow##N::amount);                                                     \
    cls.property("count", &MXRow##N::count);                                                       \
    cls.property("on", &MXRow##N::on);                                                             \
    cls.property("items", &MXRow##N::items);                                                       \
    mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, [] { return kit::dict({{"title", "t" #N}}); }); \
    mx_answer(cls, MXHooks::mx_objectClassInArray, [] { return kit::dict({{"items", "MXRow" #N}}); });       \
  }

MX_ROW_CLASS(0)
MX_ROW_CLASS(1)
MX_ROW_CLASS(2)
MX_ROW_CLASS(3)
MX_ROW_CLASS(4)
MX_ROW_CLASS(5)
MX_ROW_CLASS(6)
MX_ROW_CLASS(7)

class MXSetupTarget : public kit::Object {
  KIT_OBJECT(MXSetupTarget)
 public:
  kit::Ref<kit::String> value;
};
KIT_DEFINE_CLASS(MXSetupTarget, kit::Object) { cls.property("value", &MXSetupTarget::value, "C"); }

template <class Row>
bool mapsCorrectly(int n, int round) {
  const std::string key = "t" + std::to_string(n);
  kit::Id input = kit::dict({{key, "row" + std::to_string(round)},
                             {"amount", "2.5"},
                             {"count", round},
                             {"on", "YES"},
                             {"items", kit::array({kit::dict({{key, "inner"}})})}});
  auto row = mx_objectWithKeyValues<Row>(input);
  if (!row || kit::describe(row->title) != "row" + std::to_string(round) || row->amount != 2.5 ||
      row->count != round || !row->on || !row->items || row->items->count() != 1) {
    return false;
  }
  auto inner = kit::as<Row>(row->items->objectAtIndex(0));
  if (!inner || kit::describe(inner->title) != "inner") return false;
  kit::Id back = mx_keyValues(row);
  return kit::describe(back[key]) == "row" + std::to_string(round) && kit::describe(back["count"]) ==
                                                                           std::to_string(round);
}

TEST(MXConcurrency, EightThreadsMapDifferentClassesWhileSetupsDropTheCaches) {
  constexpr int kRounds = 300;
  std::atomic<int> failures{0};
  std::atomic<bool> mapping{true};
  std::vector<std::thread> threads;
  auto run = [&](auto probe, int n) {
    threads.emplace_back([&failures, probe, n] {
      for (int round = 0; round < kRounds; ++round) {
        if (!probe(n, round)) ++failures;
      }
    });
  };
  run([](int n, int r) { return mapsCorrectly<MXRow0>(n, r); }, 0);
  run([](int n, int r) { return mapsCorrectly<MXRow1>(n, r); }, 1);
  run([](int n, int r) { return mapsCorrectly<MXRow2>(n, r); }, 2);
  run([](int n, int r) { return mapsCorrectly<MXRow3>(n, r); }, 3);
  run([](int n, int r) { return mapsCorrectly<MXRow4>(n, r); }, 4);
  run([](int n, int r) { return mapsCorrectly<MXRow5>(n, r); }, 5);
  run([](int n, int r) { return mapsCorrectly<MXRow6>(n, r); }, 6);
  run([](int n, int r) { return mapsCorrectly<MXRow7>(n, r); }, 7);

  // Meanwhile setups on another class drop every class's property list and
  // name totals again and again.
  std::thread setups([&] {
    int i = 0;
    while (mapping.load()) {
      mx_setupReplacedKeyFromPropertyName(MXSetupTarget::staticClass(),
                                          [i] { return kit::dict({{"value", "v" + std::to_string(i)}}); });
      mx_setupIgnoredPropertyNames(MXSetupTarget::staticClass(), [] { return kit::array({"none"}); });
      auto target = mx_objectWithKeyValues<MXSetupTarget>(kit::dict({{"v" + std::to_string(i), "x"}}));
      if (!target || kit::describe(target->value) != "x") ++failures;
      ++i;
    }
  });
  for (auto& t : threads) t.join();
  mapping = false;
  setups.join();
  EXPECT_EQ(failures.load(), 0);
  for (const kit::Class* cls : {&MXRow0::staticClass(), &MXRow7::staticClass()}) {
    EXPECT_EQ(mx_error(*cls), nullptr) << cls->name();
  }
}

}  // namespace
