// Random UUIDs and their text form.

#include "kit/foundation/uuid.h"

#include <cstring>

#include "kit/foundation/random.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(UUID, Object, "NSUUID") {}

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

UUID::UUID() {
  randomCopyBytes(bytes_.data(), bytes_.size());
  bytes_[6] = static_cast<uint8_t>((bytes_[6] & 0x0f) | 0x40);  // version 4
  bytes_[8] = static_cast<uint8_t>((bytes_[8] & 0x3f) | 0x80);  // RFC 4122 variant
}

Ref<UUID> UUID::fromString(std::string_view text) {
  if (text.size() != 36) return nullptr;
  std::array<uint8_t, 16> bytes{};
  size_t out = 0;
  for (size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return nullptr;
      ++i;
      continue;
    }
    const int high = hexValue(text[i]), low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) return nullptr;
    bytes[out++] = static_cast<uint8_t>(high << 4 | low);
    i += 2;
  }
  return std::make_shared<UUID>(bytes);
}

std::string UUID::UUIDString() const {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(36);
  for (size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += digits[bytes_[i] >> 4];
    out += digits[bytes_[i] & 15];
  }
  return out;
}

std::string UUID::description() const { return defaultDescription() + " " + UUIDString(); }

bool UUID::isEqual(const Object& other) const {
  auto* u = dynamic_cast<const UUID*>(&other);
  return u && u->bytes_ == bytes_;
}

size_t UUID::hash() const {
  size_t h;
  std::memcpy(&h, bytes_.data(), sizeof h);
  return h;
}

}  // namespace kit
