// Numbers and the null object.

#include "kit/foundation/number.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Number, Object, "NSNumber") {}
KIT_DEFINE_CLASS_NAMED(Null, Object, "NSNull") {}

Number::Number(Kind kind, char objCType, int64_t i, uint64_t u, double d)
    : kind_(kind), type_{objCType, 0}, i_(i), u_(u), d_(d) {}

Ref<Number> Number::yes() {
  static const NoDestructor<Ref<Number>> v(std::make_shared<Number>(Kind::Bool, 'c', 1, 1, 1.0));
  return *v;
}

Ref<Number> Number::no() {
  static const NoDestructor<Ref<Number>> v(std::make_shared<Number>(Kind::Bool, 'c', 0, 0, 0.0));
  return *v;
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

namespace {

// The shortest digits that read back as the same value ("0.1", not
// "0.10000000000000001"), laid out as printf's "%.16g" lays out a number:
// fixed notation for decimal exponents from -4 up to 15, exponent form
// ("1e+16", "2.5e-07") outside that. A value that needs 17 digits gets the
// layout of "%.17g", whose fixed range reaches one exponent further.
std::string shortestText(double v, bool single) {
  char sci[40];
  std::to_chars_result r = single ? std::to_chars(sci, sci + sizeof sci, static_cast<float>(v),
                                                  std::chars_format::scientific)
                                  : std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific);
  // sci holds "[-]d[.ddd]e[+-]xx".
  const char* p = sci;
  char out[48];
  size_t n = 0;
  if (*p == '-') out[n++] = *p++;
  char digits[24];
  size_t count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  ++p;
  if (*p == '+') ++p;
  int exponent = 0;
  std::from_chars(p, r.ptr, exponent);
  const int precision = count > 16 ? 17 : 16;
  if (exponent < -4 || exponent >= precision) {
    out[n++] = digits[0];
    if (count > 1) {
      out[n++] = '.';
      for (size_t i = 1; i < count; ++i) out[n++] = digits[i];
    }
    out[n++] = 'e';
    out[n++] = exponent < 0 ? '-' : '+';
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) out[n++] = '0';
    n = static_cast<size_t>(std::to_chars(out + n, out + sizeof out, magnitude).ptr - out);
  } else if (exponent < 0) {
    out[n++] = '0';
    out[n++] = '.';
    for (int i = -1; i > exponent; --i) out[n++] = '0';
    for (size_t i = 0; i < count; ++i) out[n++] = digits[i];
  } else {
    const auto whole = static_cast<size_t>(exponent) + 1;
    for (size_t i = 0; i < whole; ++i) out[n++] = i < count ? digits[i] : '0';
    if (count > whole) {
      out[n++] = '.';
      for (size_t i = whole; i < count; ++i) out[n++] = digits[i];
    }
  }
  return std::string(out, n);
}

}  // namespace

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
      return shortestText(d_, type_[0] == 'f');
    }
  }
  return "0";
}

namespace {

int sign(auto a, auto b) { return a < b ? -1 : (a > b ? 1 : 0); }

// The order of an integer (signed, or unsigned above INT64_MAX) against a
// double, exactly: converting either side would round near 2^63 and 2^64.
// NaN sorts below every number.
int compareIntegerWithDouble(bool isUnsigned, int64_t i, uint64_t u, double d) {
  if (std::isnan(d)) return 1;
  if (d >= 18446744073709551616.0) return -1;
  if (d < -9223372036854775808.0) return 1;
  if (d >= 9223372036854775808.0) {  // an integral double in [2^63, 2^64)
    return isUnsigned ? sign(u, static_cast<uint64_t>(d)) : -1;
  }
  if (isUnsigned) return 1;
  auto whole = static_cast<int64_t>(d);  // toward zero, exact in this range
  if (i != whole) return sign(i, whole);
  double fraction = d - static_cast<double>(whole);
  return fraction > 0 ? -1 : (fraction < 0 ? 1 : 0);
}

}  // namespace

int Number::compare(const Number& o) const {
  bool aInt = kind_ != Kind::Double, bInt = o.kind_ != Kind::Double;
  if (aInt && bInt) {
    bool aU = kind_ == Kind::Unsigned, bU = o.kind_ == Kind::Unsigned;
    if (aU && bU) return sign(u_, o.u_);
    if (aU) return 1;   // above INT64_MAX, so above any signed value
    if (bU) return -1;
    return sign(i_, o.i_);
  }
  if (aInt) return compareIntegerWithDouble(kind_ == Kind::Unsigned, i_, u_, o.d_);
  if (bInt) return -compareIntegerWithDouble(o.kind_ == Kind::Unsigned, o.i_, o.u_, d_);
  if (std::isnan(d_) || std::isnan(o.d_)) return std::isnan(d_) && std::isnan(o.d_) ? 0 : (std::isnan(d_) ? -1 : 1);
  return sign(d_, o.d_);
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
      if (std::isnan(d_)) return 0x6e616eu;  // every NaN is equal to every other
      return std::hash<double>()(d_);
  }
  return 0;
}

Ref<Null> Null::null() {
  static const NoDestructor<Ref<Null>> v(std::make_shared<Null>());
  return *v;
}

}  // namespace kit
