// Encoded bytes as image readers see them: an immutable snapshot that may
// share its storage with a buffer still growing past the snapshot's end, so
// that data arriving in pieces is copied once, not once per piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kit {

// A run of bytes that never changes while the snapshot lives. It keeps its
// storage alive; bytes written later past its end are not part of it.
class ByteSnapshot {
 public:
  explicit ByteSnapshot(std::vector<uint8_t> bytes);
  ByteSnapshot(std::shared_ptr<const uint8_t[]> storage, size_t size) : data_(storage.get()), size_(size) {
    storage_ = std::move(storage);
  }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }
  const uint8_t& operator[](size_t i) const { return data_[i]; }
  std::span<const uint8_t> span() const { return {data_, size_}; }

 private:
  std::shared_ptr<const void> storage_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

using Bytes = std::shared_ptr<const ByteSnapshot>;

Bytes makeBytes(std::vector<uint8_t> bytes);
Bytes makeBytes(std::span<const uint8_t> bytes);

// A byte buffer that grows by appending and hands out snapshots of what it
// holds. Appending writes only past every snapshot's end while the storage
// has room, and moves to storage half as large again when it has not, the
// snapshots keeping the old storage; so appending n bytes in pieces copies
// O(n) bytes in all. Not thread-safe: its owner serialises the calls, while
// snapshots may be read on any thread meanwhile.
class GrowingBytes {
 public:
  // Replaces the contents with a copy of `bytes`, in new storage.
  void assign(std::span<const uint8_t> bytes);
  void append(std::span<const uint8_t> bytes);
  // The last `n` bytes held (fewer when fewer are held).
  std::span<const uint8_t> tail(size_t n) const;
  size_t size() const { return size_; }
  // The contents now; later appends do not show in it.
  Bytes snapshot() const;
  // Every byte copied into storage so far, moves included.
  uint64_t copiedBytes() const { return copied_; }

 private:
  void moveTo(size_t capacity);

  std::shared_ptr<uint8_t[]> storage_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  uint64_t copied_ = 0;
};

}  // namespace kit
