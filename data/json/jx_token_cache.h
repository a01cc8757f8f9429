// JXTokenCache: the decoder's cache of the string objects it made: every
// key, and string values too long to sit in a slot (jx_slot.h). They are
// kept in 1024 slots, found again by the string's hash and bytes, so that
// equal strings share one object. A string is probed in up to four slots;
// an empty slot ends the search and receives a new object, otherwise the
// first slot probed is replaced.
//
// What probing and filling touch lives in compact arrays (tags: the hash
// with its low bit set, 0 for an empty slot; types; objects); a string's
// bytes, a slot's reference and a key's hash sit in a per-slot record.
//
// While a parse runs, the slots it fills only borrow their objects: the
// document being built holds them, so replacing such a slot costs no
// reference-count update on an object made long ago. A borrowed object
// that is found again is retained from then on, and when the parse ends
// the cache retains every borrowed object still in a slot, or, after a
// failed parse whose objects are gone, forgets them.
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

// The parts of a slot read only on a tag match or to retain.
struct JXTokenCacheRecord {
  static constexpr size_t kShortLength = 16;

  kit::Id held;          // the cache's reference, unless the object is borrowed
  uint64_t keyHash = 0;  // the object's hash() as a dictionary key, once computed
  bool hasKeyHash = false;
  uint32_t length = 0;  // of a string's bytes
  // A string's bytes: here when short, else in a heap block that starts
  // with its capacity and is kept for reuse.
  uint8_t shortBytes[kShortLength];
  std::unique_ptr<uint64_t[]> longBlock;

  const uint8_t* bytes() const {
    return length <= kShortLength ? shortBytes : reinterpret_cast<const uint8_t*>(longBlock.get() + 1);
  }
  bool holds(const uint8_t* valueBytes, size_t valueLength) const;
  void setBytes(const uint8_t* valueBytes, size_t valueLength);
};

class JXTokenCache {
 public:
  static constexpr size_t kSize = 1024;
  static constexpr size_t kMiss = kSize;

  JXTokenCache() = default;
  JXTokenCache(const JXTokenCache&) = delete;
  JXTokenCache& operator=(const JXTokenCache&) = delete;

  // The slot holding a value equal to (type, bytes) under `hash`, or kMiss;
  // then `fill` is where an object made for the value goes.
  size_t find(uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length, size_t& fill);
  // Puts `object`, made for the value just looked up, into `slot`. The cache
  // borrows it until endParse().
  void store(size_t slot, uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length,
             kit::Object* object);
  // A reference to a slot's object. A borrowed object found again is
  // retained from then on, as it is likely to be found once more.
  kit::Id objectAt(size_t slot);
  // The slot's record (a string key's hash is kept there).
  JXTokenCacheRecord& recordAt(size_t slot) { return records_[slot]; }

  // Called when a parse ends. `objectsLive`: every object the parse made is
  // still alive (it succeeded), so the borrowed ones are retained; otherwise
  // their slots are emptied.
  void endParse(bool objectsLive);
  // Empties every slot.
  void clear();

 private:
  bool isHeld(size_t slot) const { return heldMask_[slot / 64] >> (slot % 64) & 1; }
  void setHeld(size_t slot) { heldMask_[slot / 64] |= uint64_t{1} << (slot % 64); }
  void clearHeld(size_t slot) { heldMask_[slot / 64] &= ~(uint64_t{1} << (slot % 64)); }
  void empty(size_t slot);

  uint64_t tags_[kSize] = {};
  JXValueType types_[kSize] = {};
  kit::Object* objects_[kSize] = {};
  uint64_t heldMask_[kSize / 64] = {};  // slots whose record holds a reference
  JXTokenCacheRecord records_[kSize];
  // Slots filled during the current parse, until there are too many to
  // list; then endParse looks at every slot.
  std::vector<uint16_t> borrowed_;
  bool borrowedOverflow_ = false;
};

inline bool JXTokenCacheRecord::holds(const uint8_t* valueBytes, size_t valueLength) const {
  if (length != valueLength) return false;
  if (valueLength > kShortLength) return std::memcmp(bytes(), valueBytes, valueLength) == 0;
  // Short strings (most keys) as two overlapping words.
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

inline size_t JXTokenCache::find(uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length,
                                 size_t& fill) {
  const uint64_t tag = hash | 1;
  const uint64_t step = length + static_cast<uint64_t>(type) + 3;
  size_t replace = kMiss;
  for (uint64_t i = 0; i < 4; ++i) {
    const size_t probe = (hash + step * i) & (kSize - 1);
    const uint64_t probeTag = tags_[probe];
    if (!probeTag) {
      fill = probe;
      return kMiss;
    }
    if (probeTag == tag && types_[probe] == type && records_[probe].holds(bytes, length)) {
      return probe;
    }
    if (replace == kMiss) replace = probe;
  }
  fill = replace;
  return kMiss;
}

inline void JXTokenCache::store(size_t slot, uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length,
                                kit::Object* object) {
  if (isHeld(slot)) {
    // A reference kept from an earlier parse (or a found-again value); a
    // borrowed object is simply dropped.
    records_[slot].held.reset();
    clearHeld(slot);
  }
  tags_[slot] = hash | 1;
  types_[slot] = type;
  objects_[slot] = object;
  JXTokenCacheRecord& record = records_[slot];
  record.hasKeyHash = false;
  record.setBytes(bytes, length);
  if (!borrowedOverflow_) {
    if (borrowed_.size() < kSize) {
      borrowed_.push_back(static_cast<uint16_t>(slot));
    } else {
      borrowedOverflow_ = true;
      borrowed_.clear();
    }
  }
}

inline kit::Id JXTokenCache::objectAt(size_t slot) {
  JXTokenCacheRecord& record = records_[slot];
  if (!isHeld(slot)) {
    record.held = objects_[slot]->self();
    setHeld(slot);
  }
  return record.held;
}
