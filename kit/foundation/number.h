// Boxed numbers and the null object.
//
// A Number remembers the C type it was made from (its objCType: "c" for the
// bool singletons, "i", "q", "Q", "f", "d", ...) and keeps unsigned 64-bit
// values exact. Numbers compare by value across types, so @1, @1.0 and @YES
// are equal and hash alike.
#pragma once

#include <cstdint>
#include <string>

#include "kit/foundation/object.h"

namespace kit {

class Number : public Object {
 public:
  enum class Kind : uint8_t { Bool, Signed, Unsigned, Double };

  static Ref<Number> yes();
  static Ref<Number> no();
  static Ref<Number> fromBool(bool v) { return v ? yes() : no(); }
  static Ref<Number> fromChar(char v);
  static Ref<Number> fromInt(int v);
  static Ref<Number> fromLong(long v);
  static Ref<Number> fromLongLong(long long v);
  static Ref<Number> fromUnsignedLongLong(unsigned long long v);
  static Ref<Number> fromUnsignedInt(unsigned v);
  static Ref<Number> fromFloat(float v);
  static Ref<Number> fromDouble(double v);

  // Use the factories; public for make_shared.
  Number(Kind kind, char objCType, int64_t i, uint64_t u, double d);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  Kind kind() const { return kind_; }
  // The platform's type code: "c" (bool and char), "i", "q", "Q", "f", "d", ...
  const char* objCType() const { return type_; }
  bool isBool() const { return kind_ == Kind::Bool; }

  bool boolValue() const;
  char charValue() const { return static_cast<char>(longLongValue()); }
  int intValue() const { return static_cast<int>(longLongValue()); }
  long integerValue() const { return static_cast<long>(longLongValue()); }
  long long longLongValue() const;
  unsigned unsignedIntValue() const { return static_cast<unsigned>(unsignedLongLongValue()); }
  unsigned long long unsignedLongLongValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  double doubleValue() const;

  // Decimal text as "%@" prints it: integers exactly, doubles with the
  // fewest digits that read back as the same value, laid out as "%.16g"
  // lays them out ("0.0001", "2.5", "1e+16"), bools "1" / "0".
  std::string stringValue() const;
  std::string description() const override { return stringValue(); }

  // -1, 0 or 1, by numeric value.
  int compare(const Number& other) const;
  bool isEqualToNumber(const Number& other) const { return compare(other) == 0; }
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

 private:
  Kind kind_;
  char type_[2];
  int64_t i_ = 0;
  uint64_t u_ = 0;
  double d_ = 0;
};

// The null object: a placeholder for "no value" inside containers.
class Null : public Object {
 public:
  static Ref<Null> null();
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();
  std::string description() const override { return "<null>"; }
  bool isEqual(const Object& other) const override { return dynamic_cast<const Null*>(&other) != nullptr; }
  size_t hash() const override { return 0x6e756c6cu; }
  Id copy() const override { return self(); }
};

// Short spellings for product code.
inline Ref<Number> num(bool v) { return Number::fromBool(v); }
inline Ref<Number> num(int v) { return Number::fromInt(v); }
inline Ref<Number> num(long v) { return Number::fromLong(v); }
inline Ref<Number> num(long long v) { return Number::fromLongLong(v); }
inline Ref<Number> num(unsigned v) { return Number::fromUnsignedInt(v); }
inline Ref<Number> num(unsigned long v) { return Number::fromUnsignedLongLong(v); }
inline Ref<Number> num(unsigned long long v) { return Number::fromUnsignedLongLong(v); }
inline Ref<Number> num(float v) { return Number::fromFloat(v); }
inline Ref<Number> num(double v) { return Number::fromDouble(v); }
inline Ref<Null> null() { return Null::null(); }
inline bool isNull(const Id& v) { return dynamic_cast<const Null*>(v.get()) != nullptr; }

}  // namespace kit
