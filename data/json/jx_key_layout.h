// JXKeyLayout: the keys of a parsed dictionary and the hash table they form.
// Dictionaries whose keys come in the same order in the text (the records of
// one array, most often) share one layout and keep only their values, one
// slot per key in the layout's order. The table is the one the dictionary's
// table form (jx_hash_table.h) builds by inserting the pairs in text order,
// a repeated key replacing the earlier pair, so capacity, lookups and the
// enumeration order (table order) are the same in both forms.
//
// A layout also carries the value cache of the documents it serves
// (jx_value_cache.h), so its dictionaries need no pointer of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "data/json/jx_slot.h"
#include "kit/foundation/object.h"

class JXArena;
class JXValueCache;

// A key and its value as the parser reads them, before their dictionary.
struct JXPendingPair {
  uint64_t keyHash;
  kit::Id key;
  JXValue value;
};

class JXKeyLayout {
  struct Key {
    explicit Key() = default;
  };

 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // A table entry while a layout is built.
  struct BuildEntry {
    uint64_t keyHash = 0;
    kit::Id key;
    uint32_t pair = 0;
  };

  // Use build(); public for the arena. `*storage` is room for the arrays.
  JXKeyLayout(Key, void* const* storage, size_t count, size_t pairCount, size_t capacity, uint64_t signature,
              bool repeatedKeys, std::shared_ptr<JXValueCache> cache);
  ~JXKeyLayout();
  JXKeyLayout(const JXKeyLayout&) = delete;
  JXKeyLayout& operator=(const JXKeyLayout&) = delete;

  // Equal key sequences have equal signatures.
  static uint64_t signatureOf(const JXPendingPair* pairs, size_t count);
  // The layout of `count` pairs in text order, made in `arena`; `scratch`
  // is working room kept by the caller.
  static std::shared_ptr<JXKeyLayout> build(JXArena& arena, const JXPendingPair* pairs, size_t count,
                                            uint64_t signature, std::shared_ptr<JXValueCache> cache,
                                            std::vector<BuildEntry>& scratch);
  // True when `pairs` have exactly this layout's keys in its text order, so
  // their dictionary can share it. A layout with a repeated key is never
  // shared.
  bool fits(const JXPendingPair* pairs, size_t count, uint64_t signature) const;

  size_t count() const { return count_; }  // distinct keys
  size_t capacity() const { return capacity_; }
  const kit::Id& keyAt(size_t position) const { return keys_[position]; }
  uint64_t hashAt(size_t position) const { return hashes_[position]; }
  // The key's position in table order, or kNone.
  size_t find(const kit::Id& key) const;
  size_t find(std::string_view key) const;
  // The position that takes the value of the text's `pair`-th pair, or
  // kNone when a later pair with the same key replaced it.
  uint32_t positionOfPair(size_t pair) const { return pairPositions_[pair]; }
  // The position held in table slot `slot`, or kNone.
  uint32_t positionAtSlot(size_t slot) const { return positionAt_[slot]; }
  JXValueCache* cache() const { return cache_.get(); }
  const std::shared_ptr<JXValueCache>& sharedCache() const { return cache_; }

 private:
  size_t nextSlot(size_t slot) const { return slot + 1 == capacity_ ? 0 : slot + 1; }

  size_t capacity_;
  uint32_t count_;
  uint32_t pairCount_;
  uint64_t signature_;
  bool repeatedKeys_;
  std::shared_ptr<JXValueCache> cache_;
  kit::Id* keys_;            // count_, in table order
  uint64_t* hashes_;         // count_
  uint32_t* positionAt_;     // capacity_
  uint32_t* pairPositions_;  // pairCount_
};
