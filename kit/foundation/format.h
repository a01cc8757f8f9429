// kit::format implements the platform's format directives in a type-safe
// way: every argument carries its type, so a mismatched directive prints a
// sensible text instead of reading garbage. kit::describe is the text of
// "%@" for any value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <initializer_list>
#include <span>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

// The "%@" text: nil "(null)", Null "<null>", numbers as decimal text, bools
// "1"/"0", strings as they are, containers in the platform's description
// format.
std::string describe(const Id& value);
std::string describe(const Object* value);

// One argument of a format call.
class FormatArg {
 public:
  enum class Type { Signed, Unsigned, Double, CString, Text, Object, Pointer };

  template <class T>
    requires(std::is_integral_v<T> && std::is_signed_v<T>)
  FormatArg(T v) : type_(Type::Signed), i_(v) {}
  template <class T>
    requires(std::is_integral_v<T> && std::is_unsigned_v<T>)
  FormatArg(T v) : type_(Type::Unsigned), u_(v) {}
  FormatArg(bool v) : type_(Type::Signed), i_(v ? 1 : 0) {}
  FormatArg(double v) : type_(Type::Double), d_(v) {}
  FormatArg(float v) : type_(Type::Double), d_(v), single_(true) {}
  FormatArg(const char* v) : type_(Type::CString), text_(v) {}
  FormatArg(const std::string& v) : type_(Type::Text), text_(v.c_str()), len_(v.size()) {}
  FormatArg(std::string_view v) : type_(Type::Text), text_(v.data()), len_(v.size()) {}
  FormatArg(const Id& v) : type_(Type::Object), obj_(v.get()) {}
  template <class T>
    requires std::is_base_of_v<Object, T>
  FormatArg(const std::shared_ptr<T>& v) : type_(Type::Object), obj_(v.get()) {}
  FormatArg(std::nullptr_t) : type_(Type::Object), obj_(nullptr) {}
  FormatArg(const void* p) : type_(Type::Pointer), p_(p) {}

  Type type() const { return type_; }
  long long asSigned() const;
  unsigned long long asUnsigned() const;
  double asDouble() const;
  std::string asText() const;  // %s / %@ text
  // Appends the %s / %@ text without a temporary copy.
  void appendText(std::string& out) const;
  const Object* object() const { return type_ == Type::Object ? obj_ : nullptr; }
  const void* pointer() const;

 private:
  Type type_;
  union {
    long long i_;
    unsigned long long u_;
    double d_;
    const Object* obj_;
    const void* p_;
  };
  const char* text_ = nullptr;
  size_t len_ = static_cast<size_t>(-1);
  bool single_ = false;  // a float: "%@" prints its own shortest digits
};

// Formats into a std::string.
std::string formatText(std::string_view fmt, std::span<const FormatArg> args);
inline std::string formatText(std::string_view fmt, std::initializer_list<FormatArg> args) {
  return formatText(fmt, std::span<const FormatArg>(args.begin(), args.size()));
}

// stringWithFormat: returns a String object.
template <class... Args>
Ref<String> format(std::string_view fmt, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
  return String::make(formatText(fmt, std::span<const FormatArg>(list, sizeof...(Args))));
}
// The same, as plain text.
template <class... Args>
std::string formatString(std::string_view fmt, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
  return formatText(fmt, std::span<const FormatArg>(list, sizeof...(Args)));
}

}  // namespace kit
