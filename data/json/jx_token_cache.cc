// JXTokenCache: string bytes, and what happens to borrowed objects when a
// parse ends.

#include "data/json/jx_token_cache.h"

void JXTokenCacheRecord::setBytes(const uint8_t* valueBytes, size_t valueLength) {
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

void JXTokenCache::endParse(bool objectsLive) {
  auto settle = [&](size_t slot) {
    if (!objects_[slot] || isHeld(slot)) return;
    if (objectsLive) {
      records_[slot].held = objects_[slot]->self();
      setHeld(slot);
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
  types_[slot] = JXValueType::None;
  objects_[slot] = nullptr;
  JXTokenCacheRecord& record = records_[slot];
  if (isHeld(slot)) {
    record.held.reset();
    clearHeld(slot);
  }
  record.length = 0;
  if (record.longBlock && record.longBlock[0] > 256) record.longBlock.reset();
}

void JXTokenCache::clear() {
  for (size_t slot = 0; slot < kSize; ++slot) {
    if (tags_[slot]) empty(slot);
  }
  borrowed_.clear();
  borrowedOverflow_ = false;
}
