// JXValueCache: the kit objects read out of slots (jx_slot.h). Reading a
// number or a short string from a parsed container makes a kit::Number or a
// kit::String; the cache, shared by every document a decoder made until its
// cache was cleared, hands out the object made last for an equal value
// instead. Repeated reads of one value, and reads of equal values anywhere in
// those documents, therefore give one object while it stays cached, as the
// decoder shares equal values it made as objects. The cache starts with a
// few entries and grows to 1024 as reads need them; entries are replaced,
// never searched for long. Reads may come from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "data/json/jx_slot.h"
#include "kit/foundation/object.h"

class JXValueCache {
 public:
  static constexpr size_t kMaxEntries = 1024;

  JXValueCache() = default;
  JXValueCache(const JXValueCache&) = delete;
  JXValueCache& operator=(const JXValueCache&) = delete;

  // The object for a number or short string slot.
  kit::Id objectFor(const JXSlot& slot, uint8_t tag);
  // Entries in use now: for tests.
  size_t entryCount() const;

 private:
  struct Entry {
    kit::Id object;  // nil: unused
    JXSlot value;
    uint8_t tag = 0;
  };
  void grow();

  mutable std::mutex mutex_;
  std::unique_ptr<Entry[]> entries_;
  size_t size_ = 0;
  size_t fillsSinceGrowth_ = 0;
};

// The object a caller reads from a slot: the object itself, the shared true,
// false and null objects and empty string, or, for a number or a short
// string, the cache's object (a new one without a cache).
kit::Id jxSlotObject(const JXSlot& slot, uint8_t tag, JXValueCache* cache);
