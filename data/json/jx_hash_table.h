// JXHashTable: the open-addressing table of the parser's dictionaries, with
// prime capacities (jxCapacityForCount), a home slot scaled from the key's
// hash and linear probing; removals re-seat the rest of their cluster so no
// deleted-slot markers are needed. JXDictionary's table form keeps its
// entries in one, and a key layout (jx_key_layout.h) is built with one, so
// both place keys alike and enumerate in the same table order.
//
// An Entry has `uint64_t keyHash` and `kit::Id key` (nil: an empty slot),
// and a default-constructed Entry is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "kit/foundation/object.h"

// The table capacity for `count` entries: the first prime of the capacity
// table that is at least floor(count × 1.33).
size_t jxCapacityForCount(size_t count);

// Where probing for a key with this hash starts in a table of `capacity`
// slots; probing then moves one slot on, wrapping at the end.
inline size_t jxHomeSlot(uint64_t hash, size_t capacity) {
  // Spread the hash over all 64 bits, then scale it to the capacity.
  const uint64_t mixed = hash * 0x9E3779B97F4A7C15ULL;
  return static_cast<size_t>((static_cast<unsigned __int128>(mixed) * capacity) >> 64);
}

inline bool jxSameKey(const kit::Id& stored, const kit::Id& key) {
  return stored == key || stored->isEqual(*key);
}

template <class Entry>
struct JXHashTable {
  Entry* entries;
  size_t capacity;
  size_t count;

  // Drops a removed entry.
  struct Discard {
    void operator()(Entry&&) const {}
  };

  size_t nextSlot(size_t slot) const { return slot + 1 == capacity ? 0 : slot + 1; }

  // The slot of the entry whose key equals `key` (hash `hash`), or capacity.
  size_t find(uint64_t hash, const kit::Id& key) const {
    for (size_t i = 0, slot = capacity ? jxHomeSlot(hash, capacity) : 0; i < capacity; ++i, slot = nextSlot(slot)) {
      const Entry& e = entries[slot];
      if (!e.key) break;
      if (e.keyHash == hash && jxSameKey(e.key, key)) return slot;
    }
    return capacity;
  }

  // Stores `entry`; an entry with an equal key already present is removed
  // first and handed to `removed`. Drops the entry when the table is full
  // (the callers size the table first).
  template <class Removed>
  void insert(Entry&& entry, Removed&& removed) {
    for (size_t i = 0, slot = capacity ? jxHomeSlot(entry.keyHash, capacity) : 0; i < capacity;
         ++i, slot = nextSlot(slot)) {
      Entry& e = entries[slot];
      if (e.key && e.keyHash == entry.keyHash && jxSameKey(e.key, entry.key)) removeSlot(slot, removed);
      if (!e.key) {
        e = std::move(entry);
        ++count;
        return;
      }
    }
  }

  // Empties `slot`, handing its entry to `removed`, and re-seats the rest of
  // the cluster so every key stays reachable from its home slot.
  template <class Removed>
  void removeSlot(size_t slot, Removed&& removed) {
    Entry gone = std::move(entries[slot]);  // handed over once the table is consistent
    entries[slot] = Entry();
    --count;
    for (size_t i = nextSlot(slot); entries[i].key; i = nextSlot(i)) {
      Entry moved = std::move(entries[i]);
      entries[i] = Entry();
      --count;
      insert(std::move(moved), Discard());  // keys are distinct: nothing is removed
    }
    removed(std::move(gone));
  }
};
