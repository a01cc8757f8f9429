// Universally unique identifiers: random (version 4) UUIDs from the strong
// random source, and UUID text in the platform's upper-case form
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/object.h"

namespace kit {

class UUID : public Object {
 public:
  // A new random UUID.
  UUID();
  explicit UUID(const std::array<uint8_t, 16>& bytes) : bytes_(bytes) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<UUID> make() { return std::make_shared<UUID>(); }
  // nil unless the text is 8-4-4-4-12 hexadecimal digits (either case).
  static Ref<UUID> fromString(std::string_view text);

  const std::array<uint8_t, 16>& bytes() const { return bytes_; }
  std::string UUIDString() const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

 private:
  std::array<uint8_t, 16> bytes_{};
};

// A fresh random UUID as text.
inline std::string makeUUIDString() { return UUID().UUIDString(); }

}  // namespace kit
