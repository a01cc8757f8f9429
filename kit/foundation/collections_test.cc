// Arrays, dictionaries, numbers and data: equality, copying, ordering,
// enumeration and the platform's exceptions.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <limits>
#include <vector>

#include "kit/foundation/values.h"

namespace kit {
namespace {

// An element whose "value" key mutates the array it sits in.
class MutatingHolder : public Object {
 public:
  Ref<MutableArray> owner;
  Id valueForKey(const std::string&) override {
    if (owner) owner->addObject(num(0));
    return num(1);
  }
};

TEST(Collections, MutatingWhileEnumeratingRaises) {
  auto a = mutableArray({1, 2, 3});
  try {
    for (const Id& v : *a) {
      if (describe(v) == "2") a->addObject(num(4));
    }
    FAIL() << "mutation during enumeration must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), GenericException);
    EXPECT_NE(e.reason().find("was mutated while being enumerated"), std::string::npos);
  }

  auto d = mutableDict({{"a", 1}, {"b", 2}});
  EXPECT_THROW(d->enumerateKeysAndObjects([&](const Id&, const Id&, bool*) { d->setObject(num(3), "c"); }),
               Exception);

  // Enumerating a snapshot while mutating the original is fine.
  auto snapshot = as<Array>(a->copy());
  for (const Id& v : *snapshot) a->removeObject(v);
  EXPECT_TRUE(a->empty());
}

TEST(Collections, ArrayBoundsAndNil) {
  auto a = mutableArray({"x"});
  EXPECT_THROW(a->objectAtIndex(1), Exception);
  EXPECT_THROW(a->addObject(nullptr), Exception);
  EXPECT_THROW(a->insertObject(num(1), 5), Exception);
  EXPECT_EQ(a->objectAtIndexOrNil(7), nullptr);
  a->insertObject(num(0), 0);
  EXPECT_EQ(describe(a->componentsJoinedByString(",")), "0,x");
  a->removeObjectsInRange({0, 2});
  EXPECT_TRUE(a->empty());
  try {
    a->objectAtIndex(0);
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), RangeException);
    EXPECT_NE(e.reason().find("empty array"), std::string::npos);
  }
}

TEST(Collections, DictionaryKeepsInsertionOrderThroughRemovals) {
  auto d = mutableDict();
  for (int i = 0; i < 100; ++i) d->setObject(num(i), describe(num(i)));
  for (int i = 0; i < 100; i += 3) d->removeObjectForKey(describe(num(i)));
  d->setObject(num(-1), "5");  // replacing keeps the position
  std::vector<std::string> keys;
  for (const Id& k : d->keys()) keys.push_back(describe(k));
  ASSERT_EQ(keys.size(), 66u);
  EXPECT_EQ(keys[0], "1");
  EXPECT_EQ(keys[1], "2");
  EXPECT_EQ(keys[2], "4");
  EXPECT_EQ(keys[3], "5");
  EXPECT_EQ(describe((*d)["5"]), "-1");
  EXPECT_EQ((*d)["3"], nullptr);
  for (int i = 1; i < 100; ++i) {
    if (i % 3) {
      EXPECT_TRUE((*d)[describe(num(i))]) << i;
    }
  }
}

TEST(Collections, DictionaryChurnMatchesAReferenceModel) {
  // Random sets, replacements and removals over a small key space, so holes
  // pile up and get compacted many times; order, count and contents must
  // match a plain insertion-ordered list after every step. Keys come as
  // immutable and mutable strings.
  std::mt19937 rng(3);
  auto d = mutableDict();
  std::vector<std::pair<int, int>> model;  // key, value in insertion order
  auto keyObject = [&](int k) -> Id {
    std::string text = "k" + std::to_string(k);
    if (rng() % 2) return MutableString::make(text);  // copied on insertion
    return str(text);
  };
  for (int step = 0; step < 30000; ++step) {
    int k = static_cast<int>(rng() % 97);
    auto at = std::find_if(model.begin(), model.end(), [&](const auto& e) { return e.first == k; });
    if (rng() % 5 < 3) {
      int v = step;
      d->setObject(num(v), keyObject(k));
      if (at == model.end()) model.emplace_back(k, v);
      else at->second = v;
    } else {
      d->removeObjectForKey(keyObject(k));
      if (at != model.end()) model.erase(at);
    }
    ASSERT_EQ(d->count(), model.size());
    int probe = static_cast<int>(rng() % 97);
    auto expected = std::find_if(model.begin(), model.end(), [&](const auto& e) { return e.first == probe; });
    Id found = (*d)["k" + std::to_string(probe)];
    if (expected == model.end()) {
      ASSERT_EQ(found, nullptr);
    } else {
      ASSERT_EQ(describe(found), std::to_string(expected->second));
    }
    if (step % 500 == 0 || step == 29999) {
      auto keys = d->keys();
      ASSERT_EQ(keys.size(), model.size());
      for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(describe(keys[i]), "k" + std::to_string(model[i].first));
    }
  }
  // Numbers equal across kinds are one key through any amount of churn.
  auto numbers = mutableDict();
  for (int round = 0; round < 200; ++round) {
    for (int i = 0; i < 40; ++i) numbers->setObject(num(round), Id(i % 2 ? Id(num(i)) : Id(num(static_cast<double>(i)))));
    for (int i = 0; i < 40; i += 2) numbers->removeObjectForKey(Id(num(static_cast<long long>(i))));
    ASSERT_EQ(numbers->count(), 20u);
  }
  EXPECT_EQ(describe((*numbers)[Id(num(true))]), "199");
}

TEST(Collections, EveryEnumerationPathDetectsMutation) {
  auto raisesMutation = [](const std::function<void()>& body) {
    try {
      body();
    } catch (const Exception& e) {
      return e.name() == GenericException && e.reason().find("mutated while being enumerated") != std::string::npos;
    }
    return false;
  };
  auto a = mutableArray({1, 2, 3});
  EXPECT_TRUE(raisesMutation([&] {
    for (const Id& v : *a) {
      if (describe(v) == "3") a->removeLastObject();  // even on the last element
    }
  }));
  a = mutableArray({1, 2, 3});
  EXPECT_TRUE(raisesMutation([&] { a->enumerateObjects([&](const Id&, size_t, bool*) { a->addObject(num(9)); }); }));
  a = mutableArray({1, 2, 3});
  EXPECT_TRUE(raisesMutation([&] {
    a->filtered([&](const Id&) {
      a->replaceObjectAtIndex(0, num(0));
      return true;
    });
  }));
  auto holder = make<MutatingHolder>();
  holder->owner = mutableArray({holder, make<MutatingHolder>()});
  EXPECT_TRUE(raisesMutation([&] { holder->owner->valueForKey("value"); }));
  holder->owner = nullptr;

  auto d = mutableDict({{"a", 1}, {"b", 2}});
  EXPECT_TRUE(raisesMutation([&] { d->enumerateKeysAndObjects([&](const Id&, const Id&, bool*) { d->setObject(num(3), "a"); }); }));
  d = mutableDict({{"a", 1}, {"b", 2}});
  EXPECT_TRUE(raisesMutation([&] {
    d->enumerateKeysAndObjects([&](const Id& k, const Id&, bool*) {
      if (describe(k) == "b") d->removeObjectForKey("a");  // after the last entry
    });
  }));
  // Stopping early after a mutation is not an error; neither is mutating
  // through a copy.
  d = mutableDict({{"a", 1}, {"b", 2}});
  d->enumerateKeysAndObjects([&](const Id&, const Id&, bool* stop) {
    d->setObject(num(3), "c");
    *stop = true;
  });
  EXPECT_EQ(d->count(), 3u);
  auto snapshot = as<Dictionary>(d->copy());
  snapshot->enumerateKeysAndObjects([&](const Id& k, const Id&, bool*) { d->removeObjectForKey(k); });
  EXPECT_TRUE(d->empty());
}

TEST(Collections, KeysAreCopiedAndCompareByValue) {
  auto key = MutableString::make("k");
  auto d = mutableDict();
  d->setObject(num(1), Id(key));
  key->appendString("2");
  EXPECT_EQ(describe((*d)["k"]), "1");
  EXPECT_EQ((*d)["k2"], nullptr);
  // Numbers are equal across types, so @1 and @1.0 are one key.
  d->setObject(str("int"), Id(num(1)));
  d->setObject(str("double"), Id(num(1.0)));
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(describe((*d)[Id(num(true))]), "double");
}

TEST(Collections, NumbersCompareByValue) {
  EXPECT_TRUE(isEqual(num(1), num(1.0)));
  EXPECT_EQ(num(1)->hash(), num(1.0)->hash());
  EXPECT_FALSE(isEqual(num(1), num(1.5)));
  auto big = num(18446744073709551615ull);
  EXPECT_EQ(big->unsignedLongLongValue(), 18446744073709551615ull);
  EXPECT_EQ(big->compare(*num(-1)), 1);
  EXPECT_EQ(big->compare(*num(9223372036854775807LL)), 1);
  EXPECT_EQ(std::string(num(3)->objCType()), "i");
  EXPECT_EQ(std::string(num(3LL)->objCType()), "q");
  EXPECT_EQ(std::string(num(2.5)->objCType()), "d");
  EXPECT_EQ(std::string(num(true)->objCType()), "c");
  EXPECT_EQ(num(true), Number::yes());  // bools are singletons
  EXPECT_FALSE(isEqual(str("1"), num(1)));
}

TEST(Collections, NumbersCompareExactlyAcrossTypes) {
  // Boundary values of every kind. long double holds each of them exactly,
  // so it gives the expected order; NaN sorts below everything.
  std::vector<Ref<Number>> values = {
      num(0), num(-0.0), num(true), num(false), num(1.0), num(1.5), num(-1), num(-1.5),
      num(9223372036854775807LL), num(-9223372036854775807LL - 1), num(9223372036854775808.0),
      num(-9223372036854775808.0), num(9223372036854774784.0), num(9223372036854775808ull),
      num(18446744073709551615ull), num(18446744073709551616.0), num(18446744073709549568.0),
      num(9007199254740993LL), num(9007199254740992.0), num(1e300), num(-1e300),
      num(std::numeric_limits<double>::infinity()), num(-std::numeric_limits<double>::infinity()),
      num(std::nan("")), num(-std::nan("1")), num(4294967295u), num(2.5f)};
  auto exact = [](const Number& n) -> long double {
    switch (n.kind()) {
      case Number::Kind::Unsigned: return static_cast<long double>(n.unsignedLongLongValue());
      case Number::Kind::Double: return static_cast<long double>(n.doubleValue());
      default: return static_cast<long double>(n.longLongValue());
    }
  };
  for (const auto& a : values) {
    for (const auto& b : values) {
      long double x = exact(*a), y = exact(*b);
      int expected = std::isnan(x) ? (std::isnan(y) ? 0 : -1) : std::isnan(y) ? 1 : (x < y ? -1 : x > y ? 1 : 0);
      SCOPED_TRACE(describe(a) + " vs " + describe(b));
      EXPECT_EQ(a->compare(*b), expected);
      EXPECT_EQ(a->isEqual(*b), expected == 0);
      if (expected == 0) {
        EXPECT_EQ(a->hash(), b->hash());
      }
    }
  }
  // A dictionary keyed by one spelling finds every equal spelling.
  auto d = mutableDict();
  d->setObject(str("top"), Id(num(9223372036854775808ull)));
  d->setObject(str("nan"), Id(num(std::nan(""))));
  EXPECT_EQ(describe((*d)[Id(num(9223372036854775808.0))]), "top");
  EXPECT_EQ(describe((*d)[Id(num(-std::nan("2")))]), "nan");
}

TEST(Collections, CopiesFollowMutability) {
  auto a = mutableArray({1});
  Id frozen = a->copy();
  a->addObject(num(2));
  EXPECT_EQ(as<Array>(frozen)->count(), 1u);
  EXPECT_FALSE(isKind<MutableArray>(frozen));
  auto s = str("x");
  EXPECT_EQ(s->copy(), Id(s));  // immutable copy is the same object
  auto fixed = array({1, "x"});
  EXPECT_EQ(fixed->copy(), Id(fixed));
  auto fixedDict = dict({{"a", 1}});
  EXPECT_EQ(fixedDict->copy(), Id(fixedDict));
  auto thawed = as<MutableDictionary>(fixedDict->mutableCopy());
  thawed->setObject(num(2), "b");
  EXPECT_EQ(fixedDict->count(), 1u);
  auto frozenDict = thawed->copy();
  EXPECT_NE(frozenDict, Id(thawed));
  EXPECT_FALSE(isKind<MutableDictionary>(frozenDict));
  thawed->removeAllObjects();
  EXPECT_EQ(as<Dictionary>(frozenDict)->count(), 2u);
  EXPECT_TRUE(isKind<MutableString>(s->mutableCopy()));
  EXPECT_THROW(make<Object>()->copy(), Exception);

  auto data = MutableData::make();
  data->appendString("ab");
  Id d2 = data->copy();
  data->appendString("c");
  EXPECT_EQ(as<Data>(d2)->toString(), "ab");
  EXPECT_THROW(data->subdataWithRange({2, 5}), Exception);
}

TEST(Collections, EqualityIsDeep) {
  EXPECT_TRUE(isEqual(dict({{"a", array({1, "x"})}}), mutableDict({{"a", mutableArray({1.0, "x"})}})));
  EXPECT_FALSE(isEqual(dict({{"a", 1}}), dict({{"a", 2}})));
  EXPECT_FALSE(isEqual(array({1, 2}), array({2, 1})));
}

}  // namespace
}  // namespace kit
