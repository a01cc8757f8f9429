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
// numbers that rarely repeat, that update is a cache miss per number). When
// the parse ends the cache takes a reference to every borrowed object still
// in a slot, or, after a failed parse whose objects are gone, forgets them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

enum class JXValueType : uint8_t {
  None = 0,
  String = 5,
  LongLong = 7,
  UnsignedLongLong = 11,
  Double = 13,
};

struct JXTokenCacheItem {
  kit::Object* object = nullptr;  // the value; null for an empty slot
  kit::Id held;                   // the cache's reference, unless the object is borrowed
  uint64_t keyHash = 0;           // the object's hash() as a dictionary key, once computed
  bool hasKeyHash = false;
  JXValueType type = JXValueType::None;
  std::string bytes;  // the value bytes the object was made from
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
  // A reference to an item's object.
  static kit::Id objectOf(const JXTokenCacheItem& item) { return item.held ? item.held : item.object->self(); }

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
