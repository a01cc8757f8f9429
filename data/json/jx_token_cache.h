// JXTokenCache: the decoder's value cache. Strings and numbers made during
// the decoder's life are kept in 1024 slots, found again by the value's
// hash, type and bytes, so that equal values share one object. A value is
// probed in up to four slots; an empty slot ends the search and receives a
// new object, otherwise the first slot probed is replaced.
//
// Probing reads a compact array of tags (the hash with its low bit set, 0
// for an empty slot) and touches a slot itself only on a tag match or a
// fill. While a parse runs, the slots it fills only borrow their objects:
// the document being built holds them, so replacing such a slot costs no
// reference-count update on an object made long ago (in a document of
// numbers that rarely repeat, that update is a cache miss per number). A
// borrowed object that is found again is retained from then on, and when
// the parse ends the cache retains every borrowed object still in a slot,
// or, after a failed parse whose objects are gone, forgets them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "kit/foundation/object.h"

enum class JXValueType : uint8_t {
  None = 0,
  String = 5,
  LongLong = 7,
  UnsignedLongLong = 11,
  Double = 13,
};

// One slot, one cache line.
struct alignas(64) JXTokenCacheItem {
  static constexpr size_t kShortLength = 16;

  kit::Object* object = nullptr;  // the value; null for an empty slot
  kit::Id held;                   // the cache's reference, unless the object is borrowed
  uint64_t keyHash = 0;           // the object's hash() as a dictionary key, once computed
  uint32_t length = 0;            // of the value bytes
  JXValueType type = JXValueType::None;
  bool hasKeyHash = false;
  // The value bytes the object was made from: here when short, else in a
  // heap block that starts with its capacity and is kept for reuse.
  uint8_t shortBytes[kShortLength];
  std::unique_ptr<uint64_t[]> longBlock;

  const uint8_t* bytes() const {
    return length <= kShortLength ? shortBytes : reinterpret_cast<const uint8_t*>(longBlock.get() + 1);
  }
  bool holds(JXValueType t, const uint8_t* valueBytes, size_t valueLength) const;
  void setBytes(const uint8_t* valueBytes, size_t valueLength);
};

class JXTokenCache {
 public:
  static constexpr size_t kSize = 1024;

  JXTokenCache() = default;
  JXTokenCache(const JXTokenCache&) = delete;
  JXTokenCache& operator=(const JXTokenCache&) = delete;

  // The item holding a value equal to (type, bytes) under `hash`, or null;
  // then `slot` is where an object made for the value goes.
  JXTokenCacheItem* find(uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length, size_t& slot);
  // Puts `object`, made for the value just looked up, into `slot`. The cache
  // borrows it until endParse().
  JXTokenCacheItem& store(size_t slot, uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length,
                          kit::Object* object);
  // A reference to an item's object. A borrowed object found again is
  // retained from then on, as it is likely to be found once more.
  static kit::Id objectOf(JXTokenCacheItem& item) {
    if (!item.held) item.held = item.object->self();
    return item.held;
  }

  // Called when a parse ends. `objectsLive`: every object the parse made is
  // still alive (it succeeded), so the borrowed ones are retained; otherwise
  // their slots are emptied.
  void endParse(bool objectsLive);
  // Empties every slot.
  void clear();

 private:
  void empty(size_t slot);

  uint64_t tags_[kSize] = {};
  JXTokenCacheItem items_[kSize];
  // Slots filled during the current parse, until there are too many to
  // list; then endParse looks at every slot.
  std::vector<uint16_t> borrowed_;
  bool borrowedOverflow_ = false;
};

inline bool JXTokenCacheItem::holds(JXValueType t, const uint8_t* valueBytes, size_t valueLength) const {
  if (type != t || length != valueLength) return false;
  if (valueLength > kShortLength) return std::memcmp(bytes(), valueBytes, valueLength) == 0;
  // Short values (every number, most keys) as two overlapping words.
  auto load64 = [](const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  };
  auto load32 = [](const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  };
  if (valueLength >= 8) {
    return ((load64(shortBytes) ^ load64(valueBytes)) |
            (load64(shortBytes + valueLength - 8) ^ load64(valueBytes + valueLength - 8))) == 0;
  }
  if (valueLength >= 4) {
    return ((load32(shortBytes) ^ load32(valueBytes)) |
            (load32(shortBytes + valueLength - 4) ^ load32(valueBytes + valueLength - 4))) == 0;
  }
  return std::memcmp(shortBytes, valueBytes, valueLength) == 0;
}

inline JXTokenCacheItem* JXTokenCache::find(uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length,
                                            size_t& slot) {
  const uint64_t tag = hash | 1;
  const uint64_t step = length + static_cast<uint64_t>(type) + 3;
  size_t replace = kSize;
  for (uint64_t i = 0; i < 4; ++i) {
    const size_t probe = (hash + step * i) & (kSize - 1);
    const uint64_t probeTag = tags_[probe];
    if (!probeTag) {
      slot = probe;
      __builtin_prefetch(&items_[probe], 1);
      return nullptr;
    }
    if (probeTag == tag && items_[probe].holds(type, bytes, length)) return &items_[probe];
    if (replace == kSize) replace = probe;
  }
  slot = replace;
  // The slot is written once the new object is made: start loading it now.
  __builtin_prefetch(&items_[replace], 1);
  return nullptr;
}
