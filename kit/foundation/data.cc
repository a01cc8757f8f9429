// Byte buffers.

#include "kit/foundation/data.h"

#include <cstring>

#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Data, Object, "NSData") {}
KIT_DEFINE_CLASS_NAMED(MutableData, Data, "NSMutableData") {}

namespace {

void checkRange(Range r, size_t length, const char* op) {
  if (r.location > length || r.length > length - r.location) {
    raise(RangeException, std::string("-[NSData ") + op + "]: range {" + std::to_string(r.location) + ", " +
                              std::to_string(r.length) + "} exceeds data length " + std::to_string(length));
  }
}

}  // namespace

Ref<Data> Data::subdataWithRange(Range r) const {
  checkRange(r, length(), "subdataWithRange:");
  return make(std::vector<uint8_t>(bytes_.begin() + static_cast<ptrdiff_t>(r.location),
                                   bytes_.begin() + static_cast<ptrdiff_t>(r.end())));
}

std::string Data::description() const {
  static const char* hex = "0123456789abcdef";
  std::string out = "<";
  for (size_t i = 0; i < bytes_.size(); ++i) {
    if (i && i % 4 == 0) out += ' ';
    out += hex[bytes_[i] >> 4];
    out += hex[bytes_[i] & 15];
  }
  return out + ">";
}

bool Data::isEqual(const Object& other) const {
  auto* d = dynamic_cast<const Data*>(&other);
  return d && d->bytes_ == bytes_;
}

size_t Data::hash() const { return std::hash<std::string_view>()(view().substr(0, 80)); }

Id Data::copy() const { return self(); }

Id Data::mutableCopy() const { return MutableData::make(bytes_); }

Id MutableData::copy() const { return Data::make(bytes_); }

void MutableData::appendBytes(const void* bytes, size_t length) {
  auto* p = static_cast<const uint8_t*>(bytes);
  bytes_.insert(bytes_.end(), p, p + length);
}

void MutableData::replaceBytesInRange(Range r, const void* bytes, size_t length) {
  checkRange(r, bytes_.size(), "replaceBytesInRange:withBytes:length:");
  auto* p = static_cast<const uint8_t*>(bytes);
  std::vector<uint8_t> out(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(r.location));
  out.insert(out.end(), p, p + length);
  out.insert(out.end(), bytes_.begin() + static_cast<ptrdiff_t>(r.end()), bytes_.end());
  bytes_ = std::move(out);
}

void MutableData::resetBytesInRange(Range r) {
  checkRange(r, bytes_.size(), "resetBytesInRange:");
  std::memset(bytes_.data() + r.location, 0, r.length);
}

}  // namespace kit
