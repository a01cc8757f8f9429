// JXTokenCache: probing, filling, and what happens to borrowed objects when
// a parse ends.

#include "data/json/jx_token_cache.h"

void JXTokenCacheItem::setBytes(const uint8_t* valueBytes, size_t valueLength) {
  length = static_cast<uint32_t>(valueLength);
  if (valueLength <= kShortLength) {
    std::memcpy(shortBytes, valueBytes, valueLength);
    return;
  }
  if (!longBlock || longBlock[0] < valueLength) {
    const size_t words = (valueLength + 7) / 8;
    longBlock = std::make_unique_for_overwrite<uint64_t[]>(words + 1);
    longBlock[0] = words * 8;
  }
  std::memcpy(longBlock.get() + 1, valueBytes, valueLength);
}

JXTokenCacheItem& JXTokenCache::store(size_t slot, uint64_t hash, JXValueType type, const uint8_t* bytes,
                                      size_t length, kit::Object* object) {
  JXTokenCacheItem& item = items_[slot];
  item.held.reset();  // a reference from an earlier parse; a borrowed object is simply dropped
  item.object = object;
  item.hasKeyHash = false;
  item.type = type;
  item.setBytes(bytes, length);
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
  item.length = 0;
  if (item.longBlock && item.longBlock[0] > 256) item.longBlock.reset();
}

void JXTokenCache::clear() {
  for (size_t slot = 0; slot < kSize; ++slot) {
    if (tags_[slot]) empty(slot);
  }
  borrowed_.clear();
  borrowedOverflow_ = false;
}
