// The JSON writer's output buffer: a 4096-byte array inside the buffer for
// small texts, moved to the heap when it must grow and grown with realloc,
// which moves large blocks without copying them. The finished text is copied
// once into the result's own storage: growing a std::string in place would
// zero-fill and copy on every doubling instead, which measured slower.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

class JXOutputBuffer {
 public:
  JXOutputBuffer() = default;
  JXOutputBuffer(const JXOutputBuffer&) = delete;
  JXOutputBuffer& operator=(const JXOutputBuffer&) = delete;
  ~JXOutputBuffer() {
    if (base_ != inline_) std::free(base_);
  }

  size_t size() const { return at_; }
  const char* data() const { return base_; }

  // Room for `extra` more bytes; returns where they go. Commit them with
  // advance().
  char* reserve(size_t extra) {
    if (capacity_ - at_ < extra) grow(at_ + extra);
    return base_ + at_;
  }
  void advance(size_t written) { at_ += written; }

  void append(const char* bytes, size_t length) {
    std::memcpy(reserve(length), bytes, length);
    at_ += length;
  }
  void put(char c) {
    if (at_ == capacity_) grow(at_ + 1);
    base_[at_++] = c;
  }

  // Copies `length` bytes already written at `offset` to the end.
  void repeat(size_t offset, size_t length) {
    reserve(length);
    std::memcpy(base_ + at_, base_ + offset, length);
    at_ += length;
  }

  std::string toString() const { return std::string(base_, at_); }
  std::vector<uint8_t> toBytes() const {
    auto* p = reinterpret_cast<const uint8_t*>(base_);
    return std::vector<uint8_t>(p, p + at_);
  }

 private:
  static constexpr size_t kGranule = 32768;

  void grow(size_t needed) {
    size_t capacity = std::max(needed, capacity_ * 2);
    capacity = (capacity + kGranule - 1) / kGranule * kGranule;
    const bool wasInline = base_ == inline_;
    void* heap = wasInline ? std::malloc(capacity) : std::realloc(base_, capacity);
    if (!heap) throw std::bad_alloc();
    if (wasInline) std::memcpy(heap, inline_, at_);
    base_ = static_cast<char*>(heap);
    capacity_ = capacity;
  }

  char inline_[4096];
  char* base_ = inline_;
  size_t capacity_ = sizeof inline_;
  size_t at_ = 0;
};
