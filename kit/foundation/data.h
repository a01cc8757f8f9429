// Byte buffers: immutable Data and MutableData.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

class Data : public Object {
 public:
  Data() = default;
  explicit Data(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<Data> make(std::vector<uint8_t> bytes = {}) { return std::make_shared<Data>(std::move(bytes)); }
  static Ref<Data> make(std::string_view bytes) {
    return make(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  static Ref<Data> make(const void* bytes, size_t length) {
    auto* p = static_cast<const uint8_t*>(bytes);
    return make(std::vector<uint8_t>(p, p + length));
  }

  size_t length() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  const uint8_t* bytes() const { return bytes_.data(); }
  const std::vector<uint8_t>& vector() const { return bytes_; }
  std::span<const uint8_t> span() const { return bytes_; }
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()}; }
  std::string toString() const { return std::string(view()); }
  Ref<Data> subdataWithRange(Range range) const;  // raises the range exception
  bool isEqualToData(const Data& other) const { return bytes_ == other.bytes_; }

  // "<0a1b2c3d 4e>" as the platform prints data.
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override;
  Id mutableCopy() const override;

 protected:
  std::vector<uint8_t> bytes_;
};

class MutableData : public Data {
 public:
  using Data::Data;
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<MutableData> make(std::vector<uint8_t> bytes = {}) {
    return std::make_shared<MutableData>(std::move(bytes));
  }

  uint8_t* mutableBytes() { return bytes_.data(); }
  std::vector<uint8_t>& mutableVector() { return bytes_; }
  void appendBytes(const void* bytes, size_t length);
  void appendData(const Data& other) { appendBytes(other.bytes(), other.length()); }
  void appendString(std::string_view s) { appendBytes(s.data(), s.size()); }
  void setLength(size_t length) { bytes_.resize(length); }
  void replaceBytesInRange(Range range, const void* bytes, size_t length);
  void resetBytesInRange(Range range);

  Id copy() const override;
};

}  // namespace kit
