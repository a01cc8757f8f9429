// The platform's decimal number object: a kit::Number holding an exact
// decimal (see decimal.h), for money and other values that must not pick up
// binary rounding. Read from text with decimalNumberWithString (a text that
// does not start with a number is NaN), combined with add, subtract,
// multiply and divide under a behaviour (rounding mode, scale, and which
// calculation errors raise), and printed as the platform prints it: "8.49",
// "10", "0", "-2", "NaN".
//
//   auto handler = kit::DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(
//       kit::RoundingMode::Down, 2, false, false, false, true);
//   auto price = kit::DecimalNumber::decimalNumberWithString("8.499");
//   price->decimalNumberByRoundingAccordingToBehavior(handler.get());   // 8.49
//
// As a Number it answers objCType "d" and the nearest double, and equals a
// plain number of the same value; two decimal numbers compare exactly. The
// keyed archiver keeps it exactly, as a decimal number.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/decimal.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/number.h"

namespace kit {

inline constexpr const char* DecimalNumberExactnessException = "NSDecimalNumberExactnessException";
inline constexpr const char* DecimalNumberOverflowException = "NSDecimalNumberOverflowException";
inline constexpr const char* DecimalNumberUnderflowException = "NSDecimalNumberUnderflowException";
inline constexpr const char* DecimalNumberDivideByZeroException = "NSDecimalNumberDivideByZeroException";

class DecimalNumber;

// How an operation rounds its result and what it does about errors.
class DecimalNumberBehaviors {
 public:
  virtual ~DecimalNumberBehaviors() = default;
  virtual RoundingMode roundingMode() const = 0;
  // Digits kept after the decimal point; DecimalNoScale keeps all.
  virtual short scale() const = 0;
  // Called when an operation meets `error`: raise, or answer the result to
  // use instead (nil: the operation's own result, NaN for overflow,
  // underflow and division by zero, the rounded value for lost precision).
  virtual Ref<DecimalNumber> exceptionDuringOperation(std::string_view operation, CalculationError error,
                                                      const DecimalNumber* left, const DecimalNumber* right) const = 0;
};

class DecimalNumberHandler : public Object, public DecimalNumberBehaviors {
 public:
  // Plain rounding, no scale; raises on overflow, underflow and division
  // by zero, not on lost precision (the platform's default behaviour).
  static Ref<DecimalNumberHandler> defaultDecimalNumberHandler();
  static Ref<DecimalNumberHandler> decimalNumberHandlerWithRoundingMode(RoundingMode mode, short scale,
                                                                        bool raiseOnExactness, bool raiseOnOverflow,
                                                                        bool raiseOnUnderflow,
                                                                        bool raiseOnDivideByZero);
  DecimalNumberHandler(RoundingMode mode, short scale, bool exactness, bool overflow, bool underflow,
                       bool divideByZero);  // use the factories

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  RoundingMode roundingMode() const override { return mode_; }
  short scale() const override { return scale_; }
  Ref<DecimalNumber> exceptionDuringOperation(std::string_view operation, CalculationError error,
                                              const DecimalNumber* left, const DecimalNumber* right) const override;

 private:
  RoundingMode mode_;
  short scale_;
  bool raiseOnExactness_, raiseOnOverflow_, raiseOnUnderflow_, raiseOnDivideByZero_;
};

class DecimalNumber : public Number {
 public:
  // Use the factories; public for make_shared and creation by name (zero).
  explicit DecimalNumber(const Decimal& value = Decimal{});
  // The number of the exact text decimalString() writes, or nil.
  static Ref<DecimalNumber> decimalNumberWithCanonicalText(std::string_view text);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<DecimalNumber> decimalNumberWithDecimal(const Decimal& value);
  // mantissa × 10^exponent, negated when asked.
  static Ref<DecimalNumber> decimalNumberWithMantissa(unsigned long long mantissa, short exponent, bool isNegative);
  // The number at the start of the text; NaN when there is none or it is
  // out of range.
  static Ref<DecimalNumber> decimalNumberWithString(std::string_view text);
  // The decimal of a number's own text (exact for integers, the shortest
  // text that reads back as the same double otherwise); the same object
  // for a decimal number.
  static Ref<DecimalNumber> decimalNumberWithNumber(const Number& number);
  static Ref<DecimalNumber> zero();
  static Ref<DecimalNumber> one();
  static Ref<DecimalNumber> notANumber();
  static Ref<DecimalNumber> maximumDecimalNumber();
  static Ref<DecimalNumber> minimumDecimalNumber();

  const Decimal& decimalValue() const { return value_; }
  bool isNaN() const { return value_.nan; }

  // nil behaviour: defaultDecimalNumberHandler().
  Ref<DecimalNumber> decimalNumberByAdding(const DecimalNumber& other,
                                           const DecimalNumberBehaviors* behavior = nullptr) const;
  Ref<DecimalNumber> decimalNumberBySubtracting(const DecimalNumber& other,
                                                const DecimalNumberBehaviors* behavior = nullptr) const;
  Ref<DecimalNumber> decimalNumberByMultiplyingBy(const DecimalNumber& other,
                                                  const DecimalNumberBehaviors* behavior = nullptr) const;
  Ref<DecimalNumber> decimalNumberByDividingBy(const DecimalNumber& other,
                                               const DecimalNumberBehaviors* behavior = nullptr) const;
  Ref<DecimalNumber> decimalNumberByRoundingAccordingToBehavior(const DecimalNumberBehaviors* behavior) const;

  // -1, 0 or 1, exactly (NaN below every number).
  int compareDecimal(const DecimalNumber& other) const { return decimalCompare(value_, other.value_); }

  std::string description() const override { return decimalString(value_); }
  bool isEqual(const Object& other) const override;
  Id copy() const override { return self(); }

 private:
  using Operation = CalculationError (*)(Decimal&, const Decimal&, const Decimal&, RoundingMode);
  Ref<DecimalNumber> apply(std::string_view name, Operation operation, const DecimalNumber& other,
                           const DecimalNumberBehaviors* behavior) const;
  Decimal value_;
};

}  // namespace kit
