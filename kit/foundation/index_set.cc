// Index sets as sorted runs of ranges.

#include "kit/foundation/index_set.h"

#include <algorithm>
#include <cstdio>

#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(IndexSet, Object, "NSIndexSet") {}
KIT_DEFINE_CLASS_NAMED(MutableIndexSet, IndexSet, "NSMutableIndexSet") {}

namespace {

void checkRange(Range range) {
  if (range.location >= NotFound || range.length > NotFound - range.location) {
    raise(RangeException, "*** -[NSMutableIndexSet addIndexesInRange:]: Range {" + std::to_string(range.location) +
                              ", " + std::to_string(range.length) + "} exceeds maximum index value of NSNotFound - 1");
  }
}

// The first range whose end is after `index`.
std::vector<Range>::const_iterator rangeEndingAfter(const std::vector<Range>& ranges, size_t index) {
  return std::upper_bound(ranges.begin(), ranges.end(), index, [](size_t i, const Range& r) { return i < r.end(); });
}

}  // namespace

IndexSet::IndexSet(const std::vector<Range>& ranges) {
  for (const Range& r : ranges) add(r);
}

Ref<IndexSet> IndexSet::indexSetWithIndex(size_t index) { return indexSetWithIndexesInRange({index, 1}); }

Ref<IndexSet> IndexSet::indexSetWithIndexesInRange(Range range) {
  auto set = std::make_shared<IndexSet>();
  set->add(range);
  return set;
}

size_t IndexSet::count() const {
  size_t total = 0;
  for (const Range& r : ranges_) total += r.length;
  return total;
}

bool IndexSet::containsIndex(size_t index) const {
  auto it = rangeEndingAfter(ranges_, index);
  return it != ranges_.end() && it->location <= index;
}

bool IndexSet::containsIndexesInRange(Range range) const {
  if (range.length == 0) return false;
  auto it = rangeEndingAfter(ranges_, range.location);
  return it != ranges_.end() && it->location <= range.location && it->end() >= range.end();
}

bool IndexSet::containsIndexes(const IndexSet& other) const {
  for (const Range& r : other.ranges_) {
    if (!containsIndexesInRange(r)) return false;
  }
  return true;
}

bool IndexSet::intersectsIndexesInRange(Range range) const { return countOfIndexesInRange(range) > 0; }

size_t IndexSet::countOfIndexesInRange(Range range) const {
  size_t total = 0;
  const size_t end = range.location + std::min(range.length, NotFound - std::min(range.location, NotFound));
  for (auto it = rangeEndingAfter(ranges_, range.location); it != ranges_.end() && it->location < end; ++it) {
    total += std::min(it->end(), end) - std::max(it->location, range.location);
  }
  return total;
}

size_t IndexSet::indexGreaterThanOrEqualToIndex(size_t index) const {
  auto it = rangeEndingAfter(ranges_, index);
  if (it == ranges_.end()) return NotFound;
  return std::max(it->location, index);
}

size_t IndexSet::indexGreaterThanIndex(size_t index) const {
  return index >= NotFound - 1 ? NotFound : indexGreaterThanOrEqualToIndex(index + 1);
}

size_t IndexSet::indexLessThanOrEqualToIndex(size_t index) const {
  // The last range that starts at or before `index`.
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), index,
                             [](size_t i, const Range& r) { return i < r.location; });
  if (it == ranges_.begin()) return NotFound;
  --it;
  return std::min(it->end() - 1, index);
}

size_t IndexSet::indexLessThanIndex(size_t index) const {
  return index == 0 ? NotFound : indexLessThanOrEqualToIndex(index - 1);
}

void IndexSet::enumerateIndexes(const std::function<void(size_t, bool*)>& block, bool reverse) const {
  const std::vector<Range> snapshot = ranges_;  // the block may change a mutable set
  bool stop = false;
  auto visit = [&](const Range& r) {
    for (size_t k = 0; k < r.length && !stop; ++k) block(reverse ? r.end() - 1 - k : r.location + k, &stop);
  };
  if (reverse) {
    for (auto it = snapshot.rbegin(); it != snapshot.rend() && !stop; ++it) visit(*it);
  } else {
    for (auto it = snapshot.begin(); it != snapshot.end() && !stop; ++it) visit(*it);
  }
}

void IndexSet::enumerateRanges(const std::function<void(Range, bool*)>& block, bool reverse) const {
  const std::vector<Range> snapshot = ranges_;
  bool stop = false;
  if (reverse) {
    for (auto it = snapshot.rbegin(); it != snapshot.rend() && !stop; ++it) block(*it, &stop);
  } else {
    for (auto it = snapshot.begin(); it != snapshot.end() && !stop; ++it) block(*it, &stop);
  }
}

std::vector<size_t> IndexSet::indexes() const {
  std::vector<size_t> out;
  enumerateIndexes([&](size_t i, bool*) { out.push_back(i); });
  return out;
}

void IndexSet::add(Range range) {
  checkRange(range);
  if (range.length == 0) return;
  // Merge with every range that overlaps or touches [location, end].
  size_t start = range.location, end = range.end();
  auto first = std::lower_bound(ranges_.begin(), ranges_.end(), start,
                                [](const Range& r, size_t s) { return r.end() < s; });
  auto last = first;
  while (last != ranges_.end() && last->location <= end) {
    start = std::min(start, last->location);
    end = std::max(end, last->end());
    ++last;
  }
  first = ranges_.erase(first, last);
  ranges_.insert(first, Range{start, end - start});
}

void IndexSet::remove(Range range) {
  if (range.length == 0 || range.location >= NotFound) return;
  const size_t start = range.location;
  const size_t end = range.location + std::min(range.length, NotFound - range.location);
  std::vector<Range> kept;
  kept.reserve(ranges_.size() + 1);
  for (const Range& r : ranges_) {
    if (r.end() <= start || r.location >= end) {
      kept.push_back(r);
      continue;
    }
    if (r.location < start) kept.push_back({r.location, start - r.location});
    if (r.end() > end) kept.push_back({end, r.end() - end});
  }
  ranges_ = std::move(kept);
}

std::string IndexSet::description() const {
  std::string list;
  for (const Range& r : ranges_) {
    if (!list.empty()) list += ' ';
    list += std::to_string(r.location);
    if (r.length > 1) list += "-" + std::to_string(r.end() - 1);
  }
  return defaultDescription() + "[number of indexes: " + std::to_string(count()) + " (in " +
         std::to_string(ranges_.size()) + (ranges_.size() == 1 ? " range" : " ranges") + "), indexes: (" + list + ")]";
}

bool IndexSet::isEqual(const Object& other) const {
  auto* s = dynamic_cast<const IndexSet*>(&other);
  return s && isEqualToIndexSet(*s);
}

size_t IndexSet::hash() const { return ranges_.empty() ? 0 : ranges_.front().location ^ count(); }

Id IndexSet::copy() const { return self(); }

Id IndexSet::mutableCopy() const {
  auto out = std::make_shared<MutableIndexSet>();
  out->addIndexes(*this);
  return out;
}

void MutableIndexSet::addIndexes(const IndexSet& other) {
  const std::vector<Range> ranges = other.ranges();  // `other` may be this set
  for (const Range& r : ranges) add(r);
}

void MutableIndexSet::removeIndexes(const IndexSet& other) {
  const std::vector<Range> ranges = other.ranges();
  for (const Range& r : ranges) remove(r);
}

void MutableIndexSet::shiftIndexesStartingAtIndex(size_t index, long delta) {
  if (delta == 0 || index >= NotFound) return;
  std::vector<Range> below, moved;
  for (const Range& r : ranges_) {
    if (r.end() <= index) {
      below.push_back(r);
    } else if (r.location >= index) {
      moved.push_back(r);
    } else {
      below.push_back({r.location, index - r.location});
      moved.push_back({index, r.end() - index});
    }
  }
  ranges_ = std::move(below);
  if (delta < 0) {
    // Shifting down first clears the indexes the group moves over.
    const size_t distance = static_cast<size_t>(-(delta + 1)) + 1;
    const size_t from = distance > index ? 0 : index - distance;
    remove({from, index - from});
    for (const Range& r : moved) {
      if (r.end() <= distance) continue;  // shifted below zero
      const size_t location = r.location > distance ? r.location - distance : 0;
      add({location, r.end() - distance - location});
    }
  } else {
    const size_t distance = static_cast<size_t>(delta);
    for (const Range& r : moved) {
      if (r.location >= NotFound - std::min(distance, NotFound)) continue;  // shifted past the last index
      const size_t location = r.location + distance;
      add({location, std::min(r.length, NotFound - location)});
    }
  }
}

Id MutableIndexSet::copy() const { return std::make_shared<IndexSet>(ranges_); }

}  // namespace kit
