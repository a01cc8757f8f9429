// Decimal number objects and their behaviours.

#include "kit/foundation/decimal_number.h"

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"

namespace kit {

// ---- Behaviours

KIT_DEFINE_CLASS_NAMED(DecimalNumberHandler, Object, "NSDecimalNumberHandler") {}

DecimalNumberHandler::DecimalNumberHandler(RoundingMode mode, short scale, bool exactness, bool overflow,
                                           bool underflow, bool divideByZero)
    : mode_(mode),
      scale_(scale),
      raiseOnExactness_(exactness),
      raiseOnOverflow_(overflow),
      raiseOnUnderflow_(underflow),
      raiseOnDivideByZero_(divideByZero) {}

Ref<DecimalNumberHandler> DecimalNumberHandler::defaultDecimalNumberHandler() {
  static const auto handler =
      std::make_shared<DecimalNumberHandler>(RoundingMode::Plain, DecimalNoScale, false, true, true, true);
  return handler;
}

Ref<DecimalNumberHandler> DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(
    RoundingMode mode, short scale, bool raiseOnExactness, bool raiseOnOverflow, bool raiseOnUnderflow,
    bool raiseOnDivideByZero) {
  return std::make_shared<DecimalNumberHandler>(mode, scale, raiseOnExactness, raiseOnOverflow, raiseOnUnderflow,
                                                raiseOnDivideByZero);
}

Ref<DecimalNumber> DecimalNumberHandler::exceptionDuringOperation(std::string_view operation, CalculationError error,
                                                                  const DecimalNumber*, const DecimalNumber*) const {
  const std::string where = " (" + std::string(operation) + ")";
  switch (error) {
    case CalculationError::NoError: break;
    case CalculationError::LossOfPrecision:
      if (raiseOnExactness_) raise(DecimalNumberExactnessException, "NSDecimalNumber exactness exception" + where);
      break;
    case CalculationError::Overflow:
      if (raiseOnOverflow_) raise(DecimalNumberOverflowException, "NSDecimalNumber overflow exception" + where);
      break;
    case CalculationError::Underflow:
      if (raiseOnUnderflow_) raise(DecimalNumberUnderflowException, "NSDecimalNumber underflow exception" + where);
      break;
    case CalculationError::DivideByZero:
      if (raiseOnDivideByZero_) {
        raise(DecimalNumberDivideByZeroException, "NSDecimalNumber divide by zero exception" + where);
      }
      break;
  }
  return nullptr;
}

// ---- Decimal numbers

KIT_DEFINE_CLASS_NAMED(DecimalNumber, Number, "NSDecimalNumber") {}

DecimalNumber::DecimalNumber(const Decimal& value)
    : Number(Kind::Double, 'd', 0, 0, decimalDoubleValue(value)), value_(value) {}

Ref<DecimalNumber> DecimalNumber::decimalNumberWithDecimal(const Decimal& value) {
  return std::make_shared<DecimalNumber>(value);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberWithMantissa(unsigned long long mantissa, short exponent,
                                                            bool isNegative) {
  return decimalNumberWithDecimal(makeDecimal(std::to_string(mantissa), exponent, isNegative));
}

Ref<DecimalNumber> DecimalNumber::decimalNumberWithString(std::string_view text) {
  std::optional<Decimal> value = scanDecimal(text);
  return decimalNumberWithDecimal(value ? *value : Decimal::notANumber());
}

Ref<DecimalNumber> DecimalNumber::decimalNumberWithCanonicalText(std::string_view text) {
  size_t consumed = 0;
  std::optional<Decimal> value = text == "NaN" ? Decimal::notANumber() : scanDecimal(text, &consumed);
  if (!value || (text != "NaN" && consumed != text.size()) || decimalString(*value) != text) return nullptr;
  return decimalNumberWithDecimal(*value);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberWithNumber(const Number& number) {
  if (auto* decimal = dynamic_cast<const DecimalNumber*>(&number)) {
    return std::static_pointer_cast<DecimalNumber>(std::const_pointer_cast<Object>(decimal->shared_from_this()));
  }
  if (number.kind() == Kind::Double && number.doubleValue() != number.doubleValue()) return notANumber();
  return decimalNumberWithString(number.stringValue());  // "inf" reads as no number: NaN
}

Ref<DecimalNumber> DecimalNumber::zero() {
  static const NoDestructor value(decimalNumberWithDecimal(Decimal{}));
  return *value;
}

Ref<DecimalNumber> DecimalNumber::one() {
  static const NoDestructor value(decimalNumberWithMantissa(1, 0, false));
  return *value;
}

Ref<DecimalNumber> DecimalNumber::notANumber() {
  static const NoDestructor value(decimalNumberWithDecimal(Decimal::notANumber()));
  return *value;
}

Ref<DecimalNumber> DecimalNumber::maximumDecimalNumber() {
  static const auto value =
      decimalNumberWithDecimal(makeDecimal(std::string(DecimalMaxDigits, '9'), DecimalMaxExponent, false));
  return value;
}

Ref<DecimalNumber> DecimalNumber::minimumDecimalNumber() {
  static const auto value =
      decimalNumberWithDecimal(makeDecimal(std::string(DecimalMaxDigits, '9'), DecimalMaxExponent, true));
  return value;
}

Ref<DecimalNumber> DecimalNumber::apply(std::string_view name, Operation operation, const DecimalNumber& other,
                                        const DecimalNumberBehaviors* behavior) const {
  if (!behavior) behavior = DecimalNumberHandler::defaultDecimalNumberHandler().get();
  Decimal result;
  CalculationError error = operation(result, value_, other.value_, behavior->roundingMode());
  if (error != CalculationError::NoError) {
    if (auto instead = behavior->exceptionDuringOperation(name, error, this, &other)) return instead;
  }
  // Rounding to the behaviour's scale is asked for, so it reports nothing.
  Decimal rounded;
  decimalRound(rounded, result, behavior->scale(), behavior->roundingMode());
  return decimalNumberWithDecimal(rounded);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberByAdding(const DecimalNumber& other,
                                                        const DecimalNumberBehaviors* behavior) const {
  return apply("decimalNumberByAdding:withBehavior:", decimalAdd, other, behavior);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberBySubtracting(const DecimalNumber& other,
                                                             const DecimalNumberBehaviors* behavior) const {
  return apply("decimalNumberBySubtracting:withBehavior:", decimalSubtract, other, behavior);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberByMultiplyingBy(const DecimalNumber& other,
                                                               const DecimalNumberBehaviors* behavior) const {
  return apply("decimalNumberByMultiplyingBy:withBehavior:", decimalMultiply, other, behavior);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberByDividingBy(const DecimalNumber& other,
                                                            const DecimalNumberBehaviors* behavior) const {
  return apply("decimalNumberByDividingBy:withBehavior:", decimalDivide, other, behavior);
}

Ref<DecimalNumber> DecimalNumber::decimalNumberByRoundingAccordingToBehavior(
    const DecimalNumberBehaviors* behavior) const {
  if (!behavior) behavior = DecimalNumberHandler::defaultDecimalNumberHandler().get();
  Decimal rounded;
  decimalRound(rounded, value_, behavior->scale(), behavior->roundingMode());
  return decimalNumberWithDecimal(rounded);
}

bool DecimalNumber::isEqual(const Object& other) const {
  if (auto* decimal = dynamic_cast<const DecimalNumber*>(&other)) return compareDecimal(*decimal) == 0;
  return Number::isEqual(other);
}

}  // namespace kit
