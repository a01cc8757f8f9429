// Number formatting and parsing in one fixed, locale-independent syntax:
// an optional minus sign, ASCII digits, "." before the fraction and, when
// grouping is on, "," between groups of three. Formatting rounds half to
// even on the shortest decimal text of the value (2.675 → "2.68" at two
// digits); parsing is strict and accepts nothing but that syntax.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/number.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

enum class NumberFormatterStyle {
  None,     // whole numbers: no fraction digits unless asked for
  Decimal,  // up to three fraction digits
};

class NumberFormatter : public Object {
 public:
  NumberFormatter() = default;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  NumberFormatterStyle numberStyle() const { return style_; }
  // Also resets the fraction digits to the style's defaults (None: 0-0,
  // Decimal: 0-3).
  void setNumberStyle(NumberFormatterStyle style);
  unsigned minimumFractionDigits() const { return minFraction_; }
  void setMinimumFractionDigits(unsigned digits);  // raises the maximum if needed
  unsigned maximumFractionDigits() const { return maxFraction_; }
  void setMaximumFractionDigits(unsigned digits);  // lowers the minimum if needed
  unsigned minimumIntegerDigits() const { return minInteger_; }
  void setMinimumIntegerDigits(unsigned digits) { minInteger_ = digits > 40 ? 40 : digits; }
  bool usesGroupingSeparator() const { return grouping_; }
  void setUsesGroupingSeparator(bool on) { grouping_ = on; }

  // nil for nil. Infinities read "∞" / "-∞" and NaN "NaN".
  Ref<String> stringFromNumber(const Ref<Number>& number) const;
  std::string format(double value) const;
  std::string format(long long value) const;
  // A whole number (within 64 bits) gives an integer Number, anything else
  // a double; nil when the text is not exactly a number.
  Ref<Number> numberFromString(std::string_view text) const;

  Id copy() const override;

 private:
  std::string formatDigits(bool negative, std::string intDigits, std::string fracDigits) const;

  NumberFormatterStyle style_ = NumberFormatterStyle::None;
  unsigned minFraction_ = 0;
  unsigned maxFraction_ = 0;
  unsigned minInteger_ = 1;
  bool grouping_ = false;
};

}  // namespace kit
