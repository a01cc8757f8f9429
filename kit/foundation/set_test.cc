// Object sets (membership by value, order, mutation during enumeration)
// and index sets (range merging, neighbours, shifting).

#include <gtest/gtest.h>

#include "kit/foundation/index_set.h"
#include "kit/foundation/set.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

TEST(Set, MembershipIsByValue) {
  auto set = Set::make({str("a"), num(1), str("a"), num(1.0), num(true), null()});
  // "a" twice is one member; 1, 1.0 and YES are equal numbers.
  EXPECT_EQ(set->count(), 3u);
  EXPECT_TRUE(set->containsObject(str("a")));
  EXPECT_TRUE(set->containsObject(num(1LL)));
  EXPECT_TRUE(set->containsObject(null()));
  EXPECT_FALSE(set->containsObject(str("b")));
  EXPECT_FALSE(set->containsObject(Id()));
  // The member kept is the first one added.
  Id first = str("x");
  auto s2 = MutableSet::make({first});
  s2->addObject(str("x"));
  EXPECT_EQ(s2->member(str("x")), first);
  EXPECT_EQ(s2->member(str("y")), nullptr);
  EXPECT_THROW(s2->addObject(Id()), Exception);
  // Mutable containers are members by their contents.
  auto withArrays = Set::make({array({1, 2}), array({1, 2}), array({2, 1})});
  EXPECT_EQ(withArrays->count(), 2u);
}

TEST(Set, OrderDescriptionAndEquality) {
  auto set = Set::make({str("b"), str("a b"), num(3)});
  EXPECT_EQ(describe(set->allObjects()), "(\n    b,\n    \"a b\",\n    3\n)");
  EXPECT_EQ(set->description(), "{(\n    b,\n    \"a b\",\n    3\n)}");
  EXPECT_EQ(describe(Set::make()), "{(\n)}");
  EXPECT_EQ(describe(set->anyObject()), "b");
  EXPECT_EQ(Set::make()->anyObject(), nullptr);
  EXPECT_TRUE(isEqual(set, Set::make({num(3), str("a b"), str("b")})));  // order does not matter
  EXPECT_FALSE(isEqual(set, Set::make({num(3), str("b")})));
  EXPECT_FALSE(isEqual(set, set->allObjects()));
  EXPECT_EQ(set->hash(), Set::make({num(3), str("a b"), str("b")})->hash());
  EXPECT_EQ(set->copy(), Id(set));
  auto mutableCopy = as<MutableSet>(set->mutableCopy());
  ASSERT_TRUE(mutableCopy);
  mutableCopy->removeObject(str("b"));
  EXPECT_EQ(set->count(), 3u);
  auto frozen = mutableCopy->copy();
  mutableCopy->removeAllObjects();
  EXPECT_EQ(as<Set>(frozen)->count(), 2u);
  EXPECT_EQ(as<MutableSet>(frozen), nullptr);
  EXPECT_EQ(set->className(), "NSSet");
  EXPECT_EQ(mutableCopy->className(), "NSMutableSet");
}

TEST(Set, Algebra) {
  auto a = MutableSet::make({num(1), num(2), num(3)});
  auto b = Set::make({num(2), num(3), num(4)});
  EXPECT_TRUE(a->intersectsSet(*b));
  EXPECT_FALSE(a->isSubsetOfSet(*b));
  EXPECT_TRUE(Set::make({num(2)})->isSubsetOfSet(*a));
  EXPECT_FALSE(Set::make({num(9)})->intersectsSet(*a));
  a->unionSet(*b);
  EXPECT_EQ(describe(a->allObjects()), "(\n    1,\n    2,\n    3,\n    4\n)");
  a->minusSet(*Set::make({num(1), num(4)}));
  EXPECT_TRUE(a->isEqualToSet(*Set::make({num(2), num(3)})));
  a->addObjectsFromArray(*array({5, 6}));
  a->intersectSet(*Set::make({num(3), num(5), num(7)}));
  EXPECT_TRUE(a->isEqualToSet(*Set::make({num(3), num(5)})));
  a->setSet(*a);  // setting a set to itself keeps it
  EXPECT_EQ(a->count(), 2u);
  auto bigger = b->setByAddingObjectsFromArray(*array({4, 5}))->setByAddingObject(num(6));
  EXPECT_EQ(bigger->count(), 5u);
  EXPECT_EQ(b->count(), 3u);
  auto evens = bigger->objectsPassingTest([](const Id& v) { return as<Number>(v)->intValue() % 2 == 0; });
  EXPECT_TRUE(evens->isEqualToSet(*Set::make({num(2), num(4), num(6)})));
  EXPECT_EQ(Set::setWithArray(*array({1, 1, 2}))->count(), 2u);
}

TEST(Set, MutatingWhileEnumeratingRaises) {
  auto set = MutableSet::make({num(1), num(2), num(3)});
  int seen = 0;
  for (const Id& v : *set) {
    (void)v;
    ++seen;
  }
  EXPECT_EQ(seen, 3);
  EXPECT_THROW(
      {
        for (const Id& v : *set) set->removeObject(v);
      },
      Exception);
  EXPECT_THROW(set->enumerateObjects([&](const Id&, bool*) { set->addObject(num(99)); }), Exception);
  // Adding a member that is already there changes nothing and is allowed.
  int visits = 0;
  set->enumerateObjects([&](const Id& v, bool* stop) {
    set->addObject(v);
    if (++visits == 1) *stop = true;
  });
  EXPECT_EQ(visits, 1);
}

TEST(IndexSet, RangesMergeAndSplit) {
  auto set = MutableIndexSet::make();
  set->addIndex(5);
  set->addIndexesInRange({1, 2});  // 1-2
  set->addIndex(3);                // touches 1-2: 1-3
  EXPECT_EQ(set->ranges().size(), 2u);
  set->addIndex(4);                // joins everything: 1-5
  ASSERT_EQ(set->ranges().size(), 1u);
  EXPECT_EQ(set->ranges()[0], (Range{1, 5}));
  set->addIndexesInRange({10, 0});  // empty: nothing
  set->addIndexesInRange({8, 3});   // 8-10
  EXPECT_EQ(set->count(), 8u);
  set->removeIndex(3);              // 1-2 4-5 8-10
  set->removeIndexesInRange({9, 100});
  EXPECT_EQ(set->indexes(), (std::vector<size_t>{1, 2, 4, 5, 8}));
  EXPECT_EQ(set->description().substr(set->description().find('[')),
            "[number of indexes: 5 (in 3 ranges), indexes: (1-2 4-5 8)]");
  set->removeIndexes(*IndexSet::indexSetWithIndexesInRange({0, 5}));
  EXPECT_EQ(set->indexes(), (std::vector<size_t>{5, 8}));
  set->addIndexes(*set);
  EXPECT_EQ(set->count(), 2u);
  set->removeAllIndexes();
  EXPECT_TRUE(set->empty());
  EXPECT_EQ(set->firstIndex(), NotFound);
  EXPECT_THROW(set->addIndexesInRange({NotFound - 1, 2}), Exception);
  EXPECT_THROW(set->addIndex(NotFound), Exception);
  set->addIndex(NotFound - 1);
  EXPECT_EQ(set->lastIndex(), NotFound - 1);
}

TEST(IndexSet, QueriesAndNeighbours) {
  IndexSet set({{2, 3}, {10, 1}, {20, 5}});  // 2-4 10 20-24
  EXPECT_EQ(set.count(), 9u);
  EXPECT_TRUE(set.containsIndex(2));
  EXPECT_TRUE(set.containsIndex(4));
  EXPECT_FALSE(set.containsIndex(5));
  EXPECT_TRUE(set.containsIndexesInRange({20, 5}));
  EXPECT_FALSE(set.containsIndexesInRange({19, 2}));
  EXPECT_FALSE(set.containsIndexesInRange({20, 0}));
  EXPECT_TRUE(set.containsIndexes(IndexSet({{3, 2}, {21, 1}})));
  EXPECT_FALSE(set.containsIndexes(IndexSet({{3, 3}})));
  EXPECT_EQ(set.countOfIndexesInRange({3, 20}), 2u + 1 + 3);
  EXPECT_EQ(set.countOfIndexesInRange({0, NotFound}), 9u);
  EXPECT_TRUE(set.intersectsIndexesInRange({8, 3}));
  EXPECT_FALSE(set.intersectsIndexesInRange({11, 9}));
  EXPECT_EQ(set.firstIndex(), 2u);
  EXPECT_EQ(set.lastIndex(), 24u);
  EXPECT_EQ(set.indexGreaterThanIndex(4), 10u);
  EXPECT_EQ(set.indexGreaterThanIndex(3), 4u);
  EXPECT_EQ(set.indexGreaterThanOrEqualToIndex(10), 10u);
  EXPECT_EQ(set.indexGreaterThanIndex(24), NotFound);
  EXPECT_EQ(set.indexLessThanIndex(20), 10u);
  EXPECT_EQ(set.indexLessThanIndex(2), NotFound);
  EXPECT_EQ(set.indexLessThanOrEqualToIndex(15), 10u);
  EXPECT_EQ(set.indexLessThanOrEqualToIndex(100), 24u);
  EXPECT_EQ(set.indexLessThanIndex(0), NotFound);

  std::vector<size_t> backwards;
  set.enumerateIndexes(
      [&](size_t i, bool* stop) {
        backwards.push_back(i);
        if (i == 10) *stop = true;
      },
      true);
  EXPECT_EQ(backwards, (std::vector<size_t>{24, 23, 22, 21, 20, 10}));
  std::vector<Range> ranges;
  set.enumerateRanges([&](Range r, bool*) { ranges.push_back(r); });
  EXPECT_EQ(ranges.size(), 3u);

  auto shared = std::make_shared<IndexSet>(set.ranges());
  EXPECT_TRUE(isEqual(shared, shared->mutableCopy()));
  EXPECT_FALSE(isEqual(shared, IndexSet::indexSetWithIndex(2)));
}

TEST(IndexSet, Shifting) {
  auto set = MutableIndexSet::make();
  set->addIndexes(IndexSet({{1, 2}, {5, 2}, {9, 1}}));  // 1-2 5-6 9
  set->shiftIndexesStartingAtIndex(5, 3);               // 1-2 8-9 12
  EXPECT_EQ(set->indexes(), (std::vector<size_t>{1, 2, 8, 9, 12}));
  set->shiftIndexesStartingAtIndex(8, -6);  // clears 2-7, moves 8.. down by 6: 1 2-3 6
  EXPECT_EQ(set->indexes(), (std::vector<size_t>{1, 2, 3, 6}));
  set->shiftIndexesStartingAtIndex(2, -10);  // everything from 2 falls below zero or onto 0
  EXPECT_EQ(set->indexes(), (std::vector<size_t>{}));
  set->addIndexesInRange({NotFound - 3, 2});
  set->shiftIndexesStartingAtIndex(0, 5);  // pushed past the last index: dropped
  EXPECT_TRUE(set->empty());
  auto frozen = as<IndexSet>(MutableIndexSet::make()->copy());
  EXPECT_EQ(frozen->className(), "NSIndexSet");
}

}  // namespace
}  // namespace kit
