// Byte snapshots and the growing buffer behind incremental image sources.
#include "kit/graphics/byte_snapshot.h"

#include <algorithm>
#include <cstring>

namespace kit {

ByteSnapshot::ByteSnapshot(std::vector<uint8_t> bytes) {
  auto owned = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
  data_ = owned->data();
  size_ = owned->size();
  storage_ = std::move(owned);
}

Bytes makeBytes(std::vector<uint8_t> bytes) { return std::make_shared<const ByteSnapshot>(std::move(bytes)); }

Bytes makeBytes(std::span<const uint8_t> bytes) {
  return makeBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void GrowingBytes::assign(std::span<const uint8_t> bytes) {
  // Snapshots may cover any of the bytes held, so nothing is overwritten.
  storage_.reset();
  size_ = 0;
  capacity_ = 0;
  append(bytes);
}

void GrowingBytes::append(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  if (bytes.size() > capacity_ - size_) moveTo(std::max(size_ + bytes.size(), capacity_ + capacity_ / 2));
  std::memcpy(storage_.get() + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
  copied_ += bytes.size();
}

void GrowingBytes::moveTo(size_t capacity) {
  std::shared_ptr<uint8_t[]> moved(new uint8_t[capacity]);
  if (size_ > 0) std::memcpy(moved.get(), storage_.get(), size_);
  copied_ += size_;
  storage_ = std::move(moved);
  capacity_ = capacity;
}

std::span<const uint8_t> GrowingBytes::tail(size_t n) const {
  n = std::min(n, size_);
  return {storage_.get() + size_ - n, n};
}

Bytes GrowingBytes::snapshot() const {
  return std::make_shared<const ByteSnapshot>(std::shared_ptr<const uint8_t[]>(storage_), size_);
}

}  // namespace kit
