// JXArray and JXDictionary as the parser hands them out: capacities and
// growth, immutability, bounds, colliding keys, copies, enumeration and the
// refused public creation path.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/json/json_decoder.h"
#include "data/json/jx_array.h"
#include "data/json/jx_dictionary.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/number.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace {

kit::Id parse(const std::string& text, bool isMutable = false) {
  auto decoder = JSONDecoder::decoder();
  kit::Ref<kit::Error> error;
  kit::Id v = isMutable ? decoder->mutableObjectWithUTF8String(text.data(), text.size(), &error)
                        : decoder->objectWithUTF8String(text.data(), text.size(), &error);
  EXPECT_TRUE(v) << text << ": " << (error ? error->localizedDescription() : "");
  return v;
}

kit::Ref<JXDictionary> parseObject(const std::string& text, bool isMutable = false) {
  return kit::as<JXDictionary>(parse(text, isMutable));
}

kit::Ref<JXArray> parseArray(const std::string& text, bool isMutable = false) {
  return kit::as<JXArray>(parse(text, isMutable));
}

// Runs `f` and returns the exception it raises ("" name when none).
template <class F>
kit::Exception raised(F&& f) {
  try {
    f();
  } catch (const kit::Exception& e) {
    return e;
  }
  return kit::Exception("", "");
}

std::string objectText(const std::vector<std::string>& keys) {
  std::string text = "{";
  for (size_t i = 0; i < keys.size(); ++i) {
    text += (i ? "," : "") + std::string("\"") + keys[i] + "\":" + std::to_string(i);
  }
  return text + "}";
}

TEST(JXDictionary, CapacitiesFollowThePrimeTable) {
  EXPECT_EQ(JXDictionary::capacityForCount(0), 0u);
  for (size_t n : {1, 2, 3}) EXPECT_EQ(JXDictionary::capacityForCount(n), 3u) << n;
  for (size_t n : {4, 5, 6}) EXPECT_EQ(JXDictionary::capacityForCount(n), 7u) << n;
  for (size_t n : {7, 8, 9, 10}) EXPECT_EQ(JXDictionary::capacityForCount(n), 13u) << n;
  EXPECT_EQ(JXDictionary::capacityForCount(11), 23u);
  EXPECT_EQ(JXDictionary::capacityForCount(355000000), 472907251u);
  EXPECT_GE(JXDictionary::capacityForCount(400000000), 532000000u);

  auto empty = parseObject("{}", true);
  EXPECT_EQ(empty->capacity(), 0u);
  EXPECT_EQ(empty->objectForKey("a"), nullptr);
  EXPECT_EQ(empty->objectForKey(kit::Id(kit::str("a"))), nullptr);
  empty->setObject(kit::num(1), "a");
  EXPECT_EQ(empty->capacity(), 3u);
  EXPECT_EQ(kit::describe(empty->objectForKey("a")), "1");

  auto three = parseObject(R"({"a":1,"b":2,"c":3})", true);
  EXPECT_EQ(three->capacity(), 3u);
  EXPECT_EQ(three->count(), 3u);
  three->setObject(kit::num(4), "d");
  EXPECT_EQ(three->capacity(), 7u);
  EXPECT_EQ(three->count(), 4u);
  for (const char* k : {"a", "b", "c", "d"}) EXPECT_TRUE(three->objectForKey(k)) << k;

  // Replacing a value keeps the count.
  three->setObject(kit::str("x"), "a");
  EXPECT_EQ(three->count(), 4u);
  EXPECT_EQ(kit::describe(three->objectForKey("a")), "x");
}

TEST(JXDictionary, RemovalKeepsCollidingKeysFindable) {
  const size_t capacity = 13;
  // Keys grouped by home slot.
  std::map<size_t, std::vector<std::string>> byHome;
  for (int i = 0; i < 2000; ++i) {
    std::string k = "key" + std::to_string(i);
    byHome[JXDictionary::homeSlot(kit::String::hashOf(k), capacity)].push_back(k);
  }
  // A cluster of four at one home, and a run that wraps past the last slot.
  std::vector<std::string> cluster(byHome[5].begin(), byHome[5].begin() + 4);
  std::vector<std::string> wrapping(byHome[12].begin(), byHome[12].begin() + 3);
  std::vector<std::string> keys = cluster;
  keys.insert(keys.end(), wrapping.begin(), wrapping.end());
  keys.push_back(byHome[0][0]);
  ASSERT_EQ(JXDictionary::capacityForCount(keys.size()), capacity);

  for (size_t victim = 0; victim < keys.size(); ++victim) {
    auto d = parseObject(objectText(keys), true);
    ASSERT_EQ(d->capacity(), capacity);
    d->removeObjectForKey(keys[victim]);
    EXPECT_EQ(d->count(), keys.size() - 1);
    EXPECT_EQ(d->objectForKey(keys[victim]), nullptr);
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i == victim) continue;
      EXPECT_EQ(kit::describe(d->objectForKey(keys[i])), std::to_string(i)) << "after removing " << keys[victim];
      EXPECT_TRUE(d->objectForKey(kit::Id(kit::str(keys[i])))) << keys[i];
    }
    // Removing a missing key changes nothing, not even the mutation count.
    uint64_t mutations = d->mutationCount();
    d->removeObjectForKey("absent");
    EXPECT_EQ(d->mutationCount(), mutations);
  }
}

TEST(JXContainers, ImmutableParsesRefuseMutation) {
  auto d = parseObject(R"({"a":1})");
  kit::Exception e = raised([&] { d->setObject(kit::num(2), "b"); });
  EXPECT_EQ(e.name(), kit::InternalInconsistencyException);
  EXPECT_EQ(e.reason(), "*** -[JXDictionary setObject:forKey:]: mutating method sent to immutable object");
  EXPECT_EQ(raised([&] { d->removeObjectForKey("a"); }).reason(),
            "*** -[JXDictionary removeObjectForKey:]: mutating method sent to immutable object");
  EXPECT_EQ(d->count(), 1u);

  auto a = parseArray("[1,2]");
  EXPECT_EQ(raised([&] { a->addObject(kit::num(3)); }).reason(),
            "*** -[JXArray insertObject:atIndex:]: mutating method sent to immutable object");
  EXPECT_EQ(raised([&] { a->removeObjectAtIndex(0); }).reason(),
            "*** -[JXArray removeObjectAtIndex:]: mutating method sent to immutable object");
  EXPECT_EQ(raised([&] { a->replaceObjectAtIndex(0, kit::num(9)); }).reason(),
            "*** -[JXArray replaceObjectAtIndex:withObject:]: mutating method sent to immutable object");
  EXPECT_EQ(a->count(), 2u);
  EXPECT_EQ(a->mutationCount(), 0u);
}

TEST(JXArray, MutatesWithinBounds) {
  auto a = parseArray("[1,2,3]", true);
  EXPECT_EQ(a->capacity(), 3u);
  a->insertObject(kit::num(4), 3);  // at the count: appends
  EXPECT_EQ(a->capacity(), 19u);
  EXPECT_EQ(kit::describe(a->lastObject()), "4");

  kit::Exception beyond = raised([&] { a->insertObject(kit::num(9), 5); });
  EXPECT_EQ(beyond.name(), kit::RangeException);
  EXPECT_EQ(beyond.reason(), "*** -[JXArray insertObject:atIndex:]: index (5) beyond bounds (5)");
  EXPECT_EQ(raised([&] { a->objectAtIndex(4); }).reason(), "*** -[JXArray objectAtIndex:]: index (4) beyond bounds (4)");
  EXPECT_EQ(raised([&] { a->insertObject(nullptr, 0); }).reason(),
            "*** -[JXArray insertObject:atIndex:]: attempt to insert nil");
  EXPECT_EQ(raised([&] { a->replaceObjectAtIndex(0, nullptr); }).name(), kit::InvalidArgumentException);
  EXPECT_EQ(raised([&] { a->removeObjectAtIndex(4); }).reason(),
            "*** -[JXArray removeObjectAtIndex:]: index (4) beyond bounds (4)");

  a->insertObject(kit::str("front"), 0);
  a->removeObjectAtIndex(2);
  a->replaceObjectAtIndex(1, kit::str("one"));
  EXPECT_EQ(kit::describe(a->componentsJoinedByString(",")), "front,one,3,4");
  EXPECT_EQ(a->mutationCount(), 5u);  // 1 for a mutable parse, then four mutations

  kit::Id buffer[2];
  a->getObjects(buffer, {1, 2});
  EXPECT_EQ(kit::describe(buffer[0]), "one");
  EXPECT_EQ(kit::describe(buffer[1]), "3");
  EXPECT_EQ(raised([&] { a->getObjects(nullptr, {0, 1}); }).reason(),
            "*** -[JXArray getObjects:range:]: pointer to objects array is NULL but range length is 1");
  EXPECT_EQ(raised([&] { a->getObjects(buffer, {3, 2}); }).reason(),
            "*** -[JXArray getObjects:range:]: index (5) beyond bounds (4)");
  EXPECT_NO_THROW(a->getObjects(nullptr, {0, 0}));
}

TEST(JXContainers, CopiesShareImmutablesAndSnapshotMutables) {
  auto a = parseArray("[1,\"x\"]");
  EXPECT_EQ(a->copy(), kit::Id(a));
  auto d = parseObject(R"({"k":"v"})");
  EXPECT_EQ(d->copy(), kit::Id(d));

  auto ma = parseArray("[1,\"x\"]", true);
  kit::Id ca = ma->copy();
  EXPECT_NE(ca, kit::Id(ma));
  EXPECT_FALSE(kit::isKind<kit::MutableArray>(ca));
  EXPECT_TRUE(kit::isEqual(ca, ma));
  ma->addObject(kit::num(3));
  EXPECT_EQ(kit::as<kit::Array>(ca)->count(), 2u);

  auto md = parseObject(R"({"k":"v"})", true);
  kit::Id cd = md->copy();
  EXPECT_FALSE(kit::isKind<kit::MutableDictionary>(cd));
  EXPECT_TRUE(kit::isEqual(cd, md));

  auto mc = kit::as<kit::MutableArray>(a->mutableCopy());
  ASSERT_TRUE(mc);
  mc->addObject(kit::num(5));
  EXPECT_EQ(a->count(), 2u);
  EXPECT_TRUE(kit::isKind<kit::MutableDictionary>(d->mutableCopy()));
}

TEST(JXContainers, EnumerationNoticesMutation) {
  auto a = parseArray("[1,2,3]", true);
  kit::Exception e = raised([&] {
    for (const kit::Id& item : *a) {
      if (kit::describe(item) == "2") a->addObject(kit::num(9));
    }
  });
  EXPECT_EQ(e.name(), kit::GenericException);

  auto d = parseObject(R"({"a":1,"b":2})", true);
  EXPECT_EQ(raised([&] {
              d->enumerateKeysAndObjects([&](const kit::Id&, const kit::Id&, bool*) { d->setObject(kit::num(0), "z"); });
            }).name(),
            kit::GenericException);

  // Immutable containers enumerate plainly.
  size_t seen = 0;
  auto fixed = parseArray("[1,2,3]");
  for (const kit::Id& item : *fixed) seen += item ? 1 : 0;
  EXPECT_EQ(seen, 3u);
}

TEST(JXDictionary, EnumeratorWalksKeysInTableOrder) {
  auto d = parseObject(R"({"a":1,"b":2,"c":3,"d":4,"e":5})");
  std::vector<kit::Id> keys = d->keys();
  ASSERT_EQ(keys.size(), 5u);

  auto e = d->keyEnumerator();
  EXPECT_EQ(e->nextObject(), keys[0]);
  auto rest = e->allObjects();
  ASSERT_EQ(rest->count(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(rest->objectAtIndex(i), keys[i + 1]);
  EXPECT_EQ(e->nextObject(), nullptr);

  kit::Id objects[5], keyBuffer[5];
  d->getObjects(objects, keyBuffer);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(keyBuffer[i], keys[i]);
    EXPECT_EQ(objects[i], d->objectForKey(keys[i]));
  }
  d->getObjects(nullptr, keyBuffer);  // either buffer may be left out
}

TEST(JXContainers, PublicCreationIsRefused) {
  kit::Exception e = raised([] { JXArray::allocWithZone(); });
  EXPECT_EQ(e.name(), kit::InvalidArgumentException);
  EXPECT_EQ(e.reason(),
            "*** - [JXArray allocWithZone:]: The JXArray class is private to Corvane and should not be used in this "
            "fashion.");
  EXPECT_EQ(raised([] { JXDictionary::allocWithZone(); }).name(), kit::InvalidArgumentException);

  const kit::Class* cls = kit::Class::named("JXArray");
  ASSERT_TRUE(cls);
  EXPECT_FALSE(cls->canCreate());
  EXPECT_TRUE(cls->isSubclassOf(kit::MutableArray::staticClass()));
  ASSERT_TRUE(kit::Class::named("JXDictionary"));
  EXPECT_FALSE(kit::Class::named("JXDictionary")->canCreate());
}

TEST(JXDictionary, MutableParseRejectsNilsAndCopiesKeys) {
  auto d = parseObject("{}", true);
  EXPECT_EQ(raised([&] { d->setObject(kit::num(1), kit::Id()); }).reason(),
            "*** -[JXDictionary setObject:forKey:]: attempt to insert nil key");
  EXPECT_EQ(raised([&] { d->setObject(nullptr, "k"); }).reason(),
            "*** -[JXDictionary setObject:forKey:]: attempt to insert nil value (key: k)");
  EXPECT_EQ(raised([&] { d->removeObjectForKey(kit::Id()); }).reason(),
            "*** -[JXDictionary removeObjectForKey:]: attempt to remove nil key");

  auto key = kit::MutableString::make("name");
  d->setObject(kit::num(1), kit::Id(key));
  key->setString("other");  // the dictionary kept a copy
  EXPECT_TRUE(d->objectForKey("name"));
  EXPECT_FALSE(d->objectForKey("other"));

  // Non-string keys work through hash and equality.
  d->setObject(kit::str("seven"), kit::Id(kit::num(7)));
  EXPECT_EQ(kit::describe(d->objectForKey(kit::Id(kit::num(7.0)))), "seven");
}

}  // namespace
