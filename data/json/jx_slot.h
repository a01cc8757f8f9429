// JXSlot: one value as the parser's arrays and dictionaries hold it, in 16
// bytes beside a tag byte that says what the bytes are. Numbers, true,
// false, null and strings of up to 16 UTF-8 bytes sit in the slot itself;
// anything else (a container, a longer string, an object a mutation put in)
// is a kit::Id placed in the slot. A document of numbers or of small records
// then costs a slot per value instead of an object per value.
//
// The kit object a caller reads is made from a slot on demand
// (jx_value_cache.h). A slot's unused bytes are zero, so that equal values
// have equal slots.
//
// JXValue is one owning slot and tag, for the parser's stacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "kit/foundation/object.h"

enum : uint8_t {
  kJXSlotObject = 0,    // a kit::Id
  kJXSlotSigned = 1,    // an int64_t, read as a number of objCType "q"
  kJXSlotUnsigned = 2,  // a uint64_t above INT64_MAX, objCType "Q"
  kJXSlotDouble = 3,    // a double, objCType "d"
  kJXSlotTrue = 4,
  kJXSlotFalse = 5,
  kJXSlotNull = 6,
  kJXSlotString = 16,   // plus the length (0 to 16): the UTF-8 bytes
};
inline constexpr size_t kJXShortStringMax = 16;

inline bool jxIsShortString(uint8_t tag) { return tag >= kJXSlotString; }
// Numbers and non-empty short strings: the values read through a value cache.
inline bool jxReadsThroughCache(uint8_t tag) {
  return (tag >= kJXSlotSigned && tag <= kJXSlotDouble) || tag > kJXSlotString;
}
inline size_t jxShortStringLength(uint8_t tag) { return tag - kJXSlotString; }

struct JXSlot {
  alignas(8) unsigned char bytes[16];

  kit::Id& object() { return *std::launder(reinterpret_cast<kit::Id*>(bytes)); }
  const kit::Id& object() const { return *std::launder(reinterpret_cast<const kit::Id*>(bytes)); }
  uint64_t bits() const {
    uint64_t v;
    std::memcpy(&v, bytes, 8);
    return v;
  }
  int64_t signedValue() const { return static_cast<int64_t>(bits()); }
  uint64_t unsignedValue() const { return bits(); }
  double doubleValue() const {
    double v;
    std::memcpy(&v, bytes, 8);
    return v;
  }
  std::string_view text(uint8_t tag) const {
    return {reinterpret_cast<const char*>(bytes), jxShortStringLength(tag)};
  }

  // Each of these starts the slot's lifetime and returns its tag.
  uint8_t setObject(kit::Id o) {
    new (bytes) kit::Id(std::move(o));
    return kJXSlotObject;
  }
  uint8_t setNumber(uint8_t tag, uint64_t valueBits) {
    std::memcpy(bytes, &valueBits, 8);
    std::memset(bytes + 8, 0, 8);
    return tag;
  }
  uint8_t setEmpty(uint8_t tag) {
    std::memset(bytes, 0, sizeof bytes);
    return tag;
  }
  // `length` at most kJXShortStringMax.
  uint8_t setString(const void* utf8, size_t length) {
    std::memset(bytes, 0, sizeof bytes);
    std::memcpy(bytes, utf8, length);
    return static_cast<uint8_t>(kJXSlotString + length);
  }
};
static_assert(sizeof(kit::Id) == sizeof(JXSlot) && alignof(kit::Id) <= alignof(JXSlot),
              "a slot holds a kit::Id in place");

// Ends a slot's lifetime.
inline void jxDestroySlot(JXSlot& slot, uint8_t tag) noexcept {
  if (tag == kJXSlotObject) slot.object().~Id();
}

// Moves a value from `from` into `to`, whose lifetime has not started;
// `from`'s lifetime ends.
inline void jxRelocateSlot(JXSlot& to, JXSlot& from, uint8_t tag) noexcept {
  if (tag == kJXSlotObject) {
    new (to.bytes) kit::Id(std::move(from.object()));
    from.object().~Id();
  } else {
    to = from;
  }
}

// An owning slot and its tag.
class JXValue {
 public:
  JXValue() { tag_ = slot_.setEmpty(kJXSlotNull); }
  explicit JXValue(kit::Id object) { tag_ = slot_.setObject(std::move(object)); }
  JXValue(uint8_t numberTag, uint64_t valueBits) { tag_ = slot_.setNumber(numberTag, valueBits); }
  JXValue(const void* utf8, size_t length) { tag_ = slot_.setString(utf8, length); }
  // Takes over the value in `from`, whose lifetime ends.
  static JXValue takeFrom(JXSlot& from, uint8_t tag) noexcept {
    JXValue v;
    v.tag_ = tag;
    jxRelocateSlot(v.slot_, from, tag);
    return v;
  }
  static JXValue literal(uint8_t tag) {
    JXValue v;
    v.tag_ = tag;
    return v;
  }

  // A value moved from is null (its bytes are never read).
  JXValue(JXValue&& other) noexcept : tag_(std::exchange(other.tag_, kJXSlotNull)) {
    jxRelocateSlot(slot_, other.slot_, tag_);
  }
  JXValue& operator=(JXValue&& other) noexcept {
    if (this != &other) {
      jxDestroySlot(slot_, tag_);
      tag_ = std::exchange(other.tag_, kJXSlotNull);
      jxRelocateSlot(slot_, other.slot_, tag_);
    }
    return *this;
  }
  JXValue(const JXValue&) = delete;
  JXValue& operator=(const JXValue&) = delete;
  ~JXValue() { jxDestroySlot(slot_, tag_); }

  uint8_t tag() const { return tag_; }
  const JXSlot& slot() const { return slot_; }
  bool isObject() const { return tag_ == kJXSlotObject; }
  // Moves the value into `to`, whose lifetime has not started, and returns
  // its tag; this value becomes null.
  uint8_t relocateTo(JXSlot& to) noexcept {
    const uint8_t tag = std::exchange(tag_, kJXSlotNull);
    jxRelocateSlot(to, slot_, tag);
    return tag;
  }
  // The object, when the value is one (this value becomes null), else nil.
  kit::Id takeObject() noexcept {
    if (tag_ != kJXSlotObject) return nullptr;
    kit::Id object = std::move(slot_.object());
    slot_.object().~Id();
    tag_ = kJXSlotNull;
    return object;
  }

 private:
  JXSlot slot_;
  uint8_t tag_;
};
