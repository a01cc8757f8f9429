// The JSON writer's output buffer: a 4096-byte array inside the buffer for
// small texts, moved to the heap when it must grow. The heap storage is the
// storage of the result object (a std::string for a string result, a byte
// vector for data), so a large result is handed over without a copy.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class JXOutputBuffer {
 public:
  explicit JXOutputBuffer(bool resultIsString) : resultIsString_(resultIsString) {}
  JXOutputBuffer(const JXOutputBuffer&) = delete;
  JXOutputBuffer& operator=(const JXOutputBuffer&) = delete;

  size_t size() const { return at_; }
  const char* data() const { return base_; }

  // Room for `extra` more bytes; returns where they go. Commit them with
  // advance().
  char* reserve(size_t extra) {
    if (capacity_ - at_ < extra) grow(at_ + extra);
    return base_ + at_;
  }
  void advance(size_t written) { at_ += written; }
  void setSize(size_t size) { at_ = size; }

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

  std::string takeString() {
    if (base_ == inline_) return std::string(inline_, at_);
    string_.resize(at_);
    return std::move(string_);
  }
  std::vector<uint8_t> takeBytes() {
    if (base_ == inline_) return std::vector<uint8_t>(inline_, inline_ + at_);
    bytes_.resize(at_);
    return std::move(bytes_);
  }

 private:
  static constexpr size_t kGranule = 32768;

  void grow(size_t needed) {
    size_t capacity = std::max(needed, capacity_ * 2);
    capacity = (capacity + kGranule - 1) / kGranule * kGranule;
    const bool wasInline = base_ == inline_;
    if (resultIsString_) {
      if (wasInline) string_.reserve(capacity);
      string_.resize(capacity);
      base_ = string_.data();
    } else {
      if (wasInline) bytes_.reserve(capacity);
      bytes_.resize(capacity);
      base_ = reinterpret_cast<char*>(bytes_.data());
    }
    if (wasInline) std::memcpy(base_, inline_, at_);
    capacity_ = capacity;
  }

  const bool resultIsString_;
  char inline_[4096];
  char* base_ = inline_;
  size_t capacity_ = sizeof inline_;
  size_t at_ = 0;
  std::string string_;
  std::vector<uint8_t> bytes_;
};
