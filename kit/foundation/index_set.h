// Sets of indexes: IndexSet and MutableIndexSet, stored as sorted,
// disjoint, non-touching ranges, so a set of a million consecutive indexes
// is one range. Indexes run from 0 to NotFound - 1; adding beyond that
// raises the platform's range exception.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

class IndexSet : public Object {
 public:
  IndexSet() = default;
  // The union of the ranges; a range past the last index raises.
  explicit IndexSet(const std::vector<Range>& ranges);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<IndexSet> make() { return std::make_shared<IndexSet>(); }
  static Ref<IndexSet> indexSetWithIndex(size_t index);
  static Ref<IndexSet> indexSetWithIndexesInRange(Range range);

  size_t count() const;
  bool empty() const { return ranges_.empty(); }
  bool containsIndex(size_t index) const;
  bool containsIndexesInRange(Range range) const;
  bool containsIndexes(const IndexSet& other) const;
  bool intersectsIndexesInRange(Range range) const;
  size_t countOfIndexesInRange(Range range) const;

  // NotFound when there is no such index.
  size_t firstIndex() const { return ranges_.empty() ? NotFound : ranges_.front().location; }
  size_t lastIndex() const { return ranges_.empty() ? NotFound : ranges_.back().end() - 1; }
  size_t indexGreaterThanIndex(size_t index) const;
  size_t indexGreaterThanOrEqualToIndex(size_t index) const;
  size_t indexLessThanIndex(size_t index) const;
  size_t indexLessThanOrEqualToIndex(size_t index) const;

  // Every index in order (or in reverse); set *stop to end early.
  void enumerateIndexes(const std::function<void(size_t index, bool* stop)>& block, bool reverse = false) const;
  void enumerateRanges(const std::function<void(Range range, bool* stop)>& block, bool reverse = false) const;
  const std::vector<Range>& ranges() const { return ranges_; }
  std::vector<size_t> indexes() const;

  bool isEqualToIndexSet(const IndexSet& other) const { return ranges_ == other.ranges_; }
  // "<NSIndexSet: 0x...>[number of indexes: 3 (in 2 ranges), indexes: (1-2 5)]"
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override;
  Id mutableCopy() const override;

 protected:
  void add(Range range);
  void remove(Range range);

  std::vector<Range> ranges_;
};

class MutableIndexSet : public IndexSet {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<MutableIndexSet> make() { return std::make_shared<MutableIndexSet>(); }

  void addIndex(size_t index) { add({index, 1}); }
  void addIndexesInRange(Range range) { add(range); }
  void addIndexes(const IndexSet& other);
  void removeIndex(size_t index) { remove({index, 1}); }
  void removeIndexesInRange(Range range) { remove(range); }
  void removeIndexes(const IndexSet& other);
  void removeAllIndexes() { ranges_.clear(); }
  // Moves every index at or after `index` by `delta`; moving down drops
  // the indexes that the shift passes over, as the platform does.
  void shiftIndexesStartingAtIndex(size_t index, long delta);

  Id copy() const override;
};

}  // namespace kit
