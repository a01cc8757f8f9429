// JXKeyLayout: building a layout with the dictionaries' own table, sharing
// checks and lookups.

#include "data/json/jx_key_layout.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "data/json/jx_arena.h"
#include "data/json/jx_hash_table.h"
#include "data/json/jx_value_cache.h"
#include "kit/foundation/string.h"

namespace {

// Bytes of the arrays that follow a layout, each 8-byte aligned.
size_t storageBytes(size_t count, size_t pairCount, size_t capacity) {
  auto aligned = [](size_t n) { return (n + 7) & ~size_t{7}; };
  return count * sizeof(kit::Id) + count * sizeof(uint64_t) + aligned(capacity * sizeof(uint32_t)) +
         aligned(pairCount * sizeof(uint32_t));
}

}  // namespace

JXKeyLayout::JXKeyLayout(Key, void* const* storage, size_t count, size_t pairCount, size_t capacity,
                         uint64_t signature, bool repeatedKeys, std::shared_ptr<JXValueCache> cache)
    : capacity_(capacity),
      count_(static_cast<uint32_t>(count)),
      pairCount_(static_cast<uint32_t>(pairCount)),
      signature_(signature),
      repeatedKeys_(repeatedKeys),
      cache_(std::move(cache)) {
  auto* p = static_cast<char*>(*storage);
  keys_ = reinterpret_cast<kit::Id*>(p);
  hashes_ = reinterpret_cast<uint64_t*>(p + count * sizeof(kit::Id));
  positionAt_ = reinterpret_cast<uint32_t*>(hashes_ + count);
  pairPositions_ = reinterpret_cast<uint32_t*>(p + storageBytes(count, 0, capacity));
  std::uninitialized_value_construct_n(keys_, count);
}

JXKeyLayout::~JXKeyLayout() { std::destroy_n(keys_, count_); }

uint64_t JXKeyLayout::signatureOf(const JXPendingPair* pairs, size_t count) {
  uint64_t h = count * 0x9E3779B97F4A7C15ULL;
  for (size_t i = 0; i < count; ++i) {
    h = (h ^ pairs[i].keyHash) * 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 31;
  }
  return h;
}

std::shared_ptr<JXKeyLayout> JXKeyLayout::build(JXArena& arena, const JXPendingPair* pairs, size_t count,
                                                uint64_t signature, std::shared_ptr<JXValueCache> cache,
                                                std::vector<BuildEntry>& scratch) {
  // Insert the pairs as the table form would.
  const size_t capacity = jxCapacityForCount(count);
  scratch.clear();
  scratch.resize(capacity);
  JXHashTable<BuildEntry> table{scratch.data(), capacity, 0};
  bool repeated = false;
  for (size_t i = 0; i < count; ++i) {
    table.insert(BuildEntry{pairs[i].keyHash, pairs[i].key, static_cast<uint32_t>(i)},
                 [&repeated](BuildEntry&&) { repeated = true; });
  }

  void* storage = nullptr;
  auto layout = arena.makeWithTrailing<JXKeyLayout>(storageBytes(table.count, count, capacity), &storage, Key(),
                                                    &storage, table.count, count, capacity, signature, repeated,
                                                    std::move(cache));
  std::fill_n(layout->pairPositions_, count, kNone);
  uint32_t position = 0;
  for (size_t slot = 0; slot < capacity; ++slot) {
    BuildEntry& e = scratch[slot];
    if (!e.key) {
      layout->positionAt_[slot] = kNone;
      continue;
    }
    layout->keys_[position] = std::move(e.key);
    layout->hashes_[position] = e.keyHash;
    layout->positionAt_[slot] = position;
    layout->pairPositions_[e.pair] = position;
    ++position;
  }
  scratch.clear();
  return layout;
}

bool JXKeyLayout::fits(const JXPendingPair* pairs, size_t count, uint64_t signature) const {
  if (signature != signature_ || count != pairCount_ || repeatedKeys_) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t position = pairPositions_[i];
    const kit::Id& key = keys_[position];
    if (key != pairs[i].key && (hashes_[position] != pairs[i].keyHash || !key->isEqual(*pairs[i].key))) return false;
  }
  return true;
}

size_t JXKeyLayout::find(const kit::Id& key) const {
  if (!key || capacity_ == 0) return kNone;
  const uint64_t h = key->hash();
  for (size_t i = 0, slot = jxHomeSlot(h, capacity_); i < capacity_; ++i, slot = nextSlot(slot)) {
    const uint32_t position = positionAt_[slot];
    if (position == kNone) return kNone;
    if (hashes_[position] == h && jxSameKey(keys_[position], key)) return position;
  }
  return kNone;
}

size_t JXKeyLayout::find(std::string_view key) const {
  if (capacity_ == 0) return kNone;
  const uint64_t h = kit::String::hashOf(key);
  for (size_t i = 0, slot = jxHomeSlot(h, capacity_); i < capacity_; ++i, slot = nextSlot(slot)) {
    const uint32_t position = positionAt_[slot];
    if (position == kNone) return kNone;
    // Keys read from text are always strings.
    if (hashes_[position] == h && static_cast<const kit::String&>(*keys_[position]).utf8() == key) return position;
  }
  return kNone;
}
