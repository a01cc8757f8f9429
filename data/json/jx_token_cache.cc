// JXTokenCache: probing, filling, and what happens to borrowed objects when
// a parse ends.

#include "data/json/jx_token_cache.h"

#include <cstring>

namespace {

// Equal value bytes; short values (all numbers, most keys) without a call.
inline bool sameBytes(const std::string& stored, const uint8_t* bytes, size_t length) {
  if (stored.size() != length) return false;
  const char* a = stored.data();
  if (length > 16 || length < 8) return std::memcmp(a, bytes, length) == 0;
  uint64_t x1, y1, x2, y2;
  std::memcpy(&x1, a, 8);
  std::memcpy(&y1, bytes, 8);
  std::memcpy(&x2, a + length - 8, 8);
  std::memcpy(&y2, bytes + length - 8, 8);
  return ((x1 ^ y1) | (x2 ^ y2)) == 0;
}

}  // namespace

JXTokenCacheItem* JXTokenCache::find(uint64_t hash, JXValueType type, const uint8_t* bytes, size_t length,
                                     size_t& slot) {
  const uint64_t tag = hash | 1;
  const uint64_t step = length + static_cast<uint64_t>(type) + 3;
  size_t replace = kSize;
  for (uint64_t i = 0; i < 4; ++i) {
    const size_t probe = (hash + step * i) & (kSize - 1);
    const uint64_t probeTag = tags_[probe];
    if (!probeTag) {
      slot = probe;
      return nullptr;
    }
    if (probeTag == tag) {
      JXTokenCacheItem& item = items_[probe];
      if (item.type == type && sameBytes(item.bytes, bytes, length)) return &item;
    }
    if (replace == kSize) replace = probe;
  }
  slot = replace;
  return nullptr;
}

JXTokenCacheItem& JXTokenCache::store(size_t slot, uint64_t hash, JXValueType type, const uint8_t* bytes,
                                      size_t length, kit::Object* object) {
  JXTokenCacheItem& item = items_[slot];
  item.held.reset();  // a reference from an earlier parse; a borrowed object is simply dropped
  item.object = object;
  item.hasKeyHash = false;
  item.type = type;
  item.bytes.assign(reinterpret_cast<const char*>(bytes), length);
  tags_[slot] = hash | 1;
  if (!borrowedOverflow_) {
    if (borrowed_.size() < kSize) {
      borrowed_.push_back(static_cast<uint16_t>(slot));
    } else {
      borrowedOverflow_ = true;
      borrowed_.clear();
    }
  }
  return item;
}

void JXTokenCache::endParse(bool objectsLive) {
  auto settle = [&](size_t slot) {
    JXTokenCacheItem& item = items_[slot];
    if (!item.object || item.held) return;
    if (objectsLive) {
      item.held = item.object->self();
    } else {
      empty(slot);
    }
  };
  if (borrowedOverflow_) {
    for (size_t slot = 0; slot < kSize; ++slot) settle(slot);
  } else {
    for (uint16_t slot : borrowed_) settle(slot);
  }
  borrowed_.clear();
  borrowedOverflow_ = false;
}

void JXTokenCache::empty(size_t slot) {
  tags_[slot] = 0;
  JXTokenCacheItem& item = items_[slot];
  item.object = nullptr;
  item.held.reset();
  item.type = JXValueType::None;
  if (item.bytes.capacity() > 256) {
    std::string().swap(item.bytes);
  } else {
    item.bytes.clear();
  }
}

void JXTokenCache::clear() {
  for (size_t slot = 0; slot < kSize; ++slot) {
    if (tags_[slot]) empty(slot);
  }
  borrowed_.clear();
  borrowedOverflow_ = false;
}
