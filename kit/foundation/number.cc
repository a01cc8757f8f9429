// Numbers and the null object.

#include "kit/foundation/number.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Number, Object, "NSNumber") {}
KIT_DEFINE_CLASS_NAMED(Null, Object, "NSNull") {}

Number::Number(Kind kind, char objCType, int64_t i, uint64_t u, double d)
    : kind_(kind), type_{objCType, 0}, i_(i), u_(u), d_(d) {}

Ref<Number> Number::yes() {
  static const Ref<Number> v = std::make_shared<Number>(Kind::Bool, 'c', 1, 1, 1.0);
  return v;
}

Ref<Number> Number::no() {
  static const Ref<Number> v = std::make_shared<Number>(Kind::Bool, 'c', 0, 0, 0.0);
  return v;
}

Ref<Number> Number::fromChar(char v) { return std::make_shared<Number>(Kind::Signed, 'c', v, 0, 0); }
Ref<Number> Number::fromInt(int v) { return std::make_shared<Number>(Kind::Signed, 'i', v, 0, 0); }
Ref<Number> Number::fromLong(long v) { return std::make_shared<Number>(Kind::Signed, 'q', v, 0, 0); }
Ref<Number> Number::fromLongLong(long long v) { return std::make_shared<Number>(Kind::Signed, 'q', v, 0, 0); }
Ref<Number> Number::fromUnsignedInt(unsigned v) { return std::make_shared<Number>(Kind::Signed, 'I', v, 0, 0); }
Ref<Number> Number::fromUnsignedLongLong(unsigned long long v) {
  if (v <= static_cast<unsigned long long>(INT64_MAX)) {
    return std::make_shared<Number>(Kind::Signed, 'Q', static_cast<int64_t>(v), 0, 0);
  }
  return std::make_shared<Number>(Kind::Unsigned, 'Q', 0, v, 0);
}
Ref<Number> Number::fromFloat(float v) { return std::make_shared<Number>(Kind::Double, 'f', 0, 0, v); }
Ref<Number> Number::fromDouble(double v) { return std::make_shared<Number>(Kind::Double, 'd', 0, 0, v); }

bool Number::boolValue() const {
  switch (kind_) {
    case Kind::Bool:
    case Kind::Signed: return i_ != 0;
    case Kind::Unsigned: return u_ != 0;
    case Kind::Double: return d_ != 0;
  }
  return false;
}

long long Number::longLongValue() const {
  switch (kind_) {
    case Kind::Bool:
    case Kind::Signed: return i_;
    case Kind::Unsigned: return static_cast<long long>(u_);
    case Kind::Double:
      if (std::isnan(d_)) return 0;
      if (d_ >= 9223372036854775807.0) return std::numeric_limits<long long>::max();
      if (d_ <= -9223372036854775808.0) return std::numeric_limits<long long>::min();
      return static_cast<long long>(d_);
  }
  return 0;
}

unsigned long long Number::unsignedLongLongValue() const {
  switch (kind_) {
    case Kind::Bool:
    case Kind::Signed: return static_cast<unsigned long long>(i_);
    case Kind::Unsigned: return u_;
    case Kind::Double:
      if (std::isnan(d_) || d_ <= 0) return d_ <= -1 ? static_cast<unsigned long long>(longLongValue()) : 0;
      if (d_ >= 18446744073709551615.0) return std::numeric_limits<unsigned long long>::max();
      return static_cast<unsigned long long>(d_);
  }
  return 0;
}

double Number::doubleValue() const {
  switch (kind_) {
    case Kind::Bool:
    case Kind::Signed: return static_cast<double>(i_);
    case Kind::Unsigned: return static_cast<double>(u_);
    case Kind::Double: return d_;
  }
  return 0;
}

std::string Number::stringValue() const {
  char buf[40];
  switch (kind_) {
    case Kind::Bool:
    case Kind::Signed: {
      auto r = std::to_chars(buf, buf + sizeof buf, i_);
      return std::string(buf, r.ptr);
    }
    case Kind::Unsigned: {
      auto r = std::to_chars(buf, buf + sizeof buf, u_);
      return std::string(buf, r.ptr);
    }
    case Kind::Double: {
      if (std::isnan(d_)) return "nan";
      if (std::isinf(d_)) return d_ > 0 ? "inf" : "-inf";
      // Shortest text that reads back as the same value, as "%@" prints
      // doubles ("2.5", "0.1", "100").
      double v = type_[0] == 'f' ? static_cast<double>(static_cast<float>(d_)) : d_;
      std::to_chars_result r;
      if (type_[0] == 'f') {
        r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
      } else {
        r = std::to_chars(buf, buf + sizeof buf, v);
      }
      std::string s(buf, r.ptr);
      // to_chars may choose exponent form for large integers; print those in
      // full like the platform does up to 1e16.
      if (s.find('e') != std::string::npos && std::fabs(v) < 1e16 && v == std::floor(v)) {
        std::snprintf(buf, sizeof buf, "%.0f", v);
        s = buf;
      }
      return s;
    }
  }
  return "0";
}

int Number::compare(const Number& o) const {
  auto cmp = [](auto a, auto b) { return a < b ? -1 : (a > b ? 1 : 0); };
  bool aInt = kind_ != Kind::Double, bInt = o.kind_ != Kind::Double;
  if (aInt && bInt) {
    bool aU = kind_ == Kind::Unsigned, bU = o.kind_ == Kind::Unsigned;
    if (aU && bU) return cmp(u_, o.u_);
    if (aU) return 1;   // above INT64_MAX, so above any signed value
    if (bU) return -1;
    return cmp(i_, o.i_);
  }
  double a = doubleValue(), b = o.doubleValue();
  if (a == b && aInt != bInt) {
    // Equal as doubles; look closer when the integer is large.
    const Number& in = aInt ? *this : o;
    const Number& dn = aInt ? o : *this;
    if (dn.d_ >= 9223372036854775808.0 || dn.d_ < -9223372036854775808.0) return aInt ? -cmp(dn.d_, 0.0) : 0;
    long long di = static_cast<long long>(dn.d_);
    int c = in.kind_ == Kind::Unsigned ? 1 : cmp(in.i_, di);
    return aInt ? c : -c;
  }
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : (std::isnan(a) ? -1 : 1);
  return cmp(a, b);
}

bool Number::isEqual(const Object& other) const {
  auto* n = dynamic_cast<const Number*>(&other);
  return n && compare(*n) == 0;
}

size_t Number::hash() const {
  std::hash<long long> hi;
  switch (kind_) {
    case Kind::Bool:
    case Kind::Signed: return hi(i_);
    case Kind::Unsigned: return std::hash<unsigned long long>()(u_);
    case Kind::Double:
      if (d_ == std::floor(d_) && d_ >= -9223372036854775808.0 && d_ < 9223372036854775808.0) {
        return hi(static_cast<long long>(d_));
      }
      if (d_ == std::floor(d_) && d_ >= 9223372036854775808.0 && d_ < 18446744073709551616.0) {
        return std::hash<unsigned long long>()(static_cast<unsigned long long>(d_));
      }
      return std::hash<double>()(d_);
  }
  return 0;
}

Ref<Null> Null::null() {
  static const Ref<Null> v = std::make_shared<Null>();
  return v;
}

}  // namespace kit
