// JXValueCache: objects for slot values, a small direct-mapped table that
// grows by four while most reads miss it.

#include "data/json/jx_value_cache.h"

#include <utility>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"

namespace {

constexpr size_t kFirstSize = 16;

// Every byte of the value and its tag counts.
uint64_t hashOf(const JXSlot& slot, uint8_t tag) {
  uint64_t low, high;
  std::memcpy(&low, slot.bytes, 8);
  std::memcpy(&high, slot.bytes + 8, 8);
  const unsigned __int128 product =
      static_cast<unsigned __int128>(low ^ (high * 0xBF58476D1CE4E5B9ULL) ^ tag) * 0x9E3779B97F4A7C15ULL;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

bool sameValue(const JXSlot& a, uint8_t aTag, const JXSlot& b, uint8_t bTag) {
  return aTag == bTag && std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

kit::Id makeObject(const JXSlot& slot, uint8_t tag) {
  using Kind = kit::Number::Kind;
  switch (tag) {
    case kJXSlotSigned: return std::make_shared<kit::Number>(Kind::Signed, 'q', slot.signedValue(), 0, 0.0);
    case kJXSlotUnsigned: return std::make_shared<kit::Number>(Kind::Unsigned, 'Q', 0, slot.unsignedValue(), 0.0);
    case kJXSlotDouble: return std::make_shared<kit::Number>(Kind::Double, 'd', 0, 0, slot.doubleValue());
    default: return kit::String::make(slot.text(tag));
  }
}

}  // namespace

kit::Id JXValueCache::objectFor(const JXSlot& slot, uint8_t tag) {
  const uint64_t hash = hashOf(slot, tag);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!entries_) {
    entries_ = std::make_unique<Entry[]>(kFirstSize);
    size_ = kFirstSize;
  }
  Entry* e = &entries_[hash & (size_ - 1)];
  if (e->object && sameValue(e->value, e->tag, slot, tag)) return e->object;
  if (e->object && size_ < kMaxEntries && ++fillsSinceGrowth_ > size_) {
    grow();
    e = &entries_[hash & (size_ - 1)];
  }
  e->object = makeObject(slot, tag);
  e->value = slot;
  e->tag = tag;
  return e->object;
}

void JXValueCache::grow() {
  const size_t size = size_ * 4;
  auto grown = std::make_unique<Entry[]>(size);
  for (size_t i = 0; i < size_; ++i) {
    Entry& old = entries_[i];
    if (!old.object) continue;
    Entry& e = grown[hashOf(old.value, old.tag) & (size - 1)];
    e = std::move(old);
  }
  entries_ = std::move(grown);
  size_ = size;
  fillsSinceGrowth_ = 0;
}

size_t JXValueCache::entryCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (size_t i = 0; i < size_; ++i) n += entries_[i].object ? 1 : 0;
  return n;
}

kit::Id jxSlotObject(const JXSlot& slot, uint8_t tag, JXValueCache* cache) {
  // Another thread may still read while the process exits.
  static const kit::NoDestructor<kit::Id> yes(kit::Number::yes());
  static const kit::NoDestructor<kit::Id> no(kit::Number::no());
  static const kit::NoDestructor<kit::Id> null(kit::Null::null());
  static const kit::NoDestructor<kit::Id> emptyString(kit::String::make(""));
  switch (tag) {
    case kJXSlotObject: return slot.object();
    case kJXSlotTrue: return *yes;
    case kJXSlotFalse: return *no;
    case kJXSlotNull: return *null;
    case kJXSlotString: return *emptyString;
    default: return cache ? cache->objectFor(slot, tag) : makeObject(slot, tag);
  }
}
