// Decimal values as the platform keeps them: a sign, a mantissa of up to 38
// decimal digits and a power-of-ten exponent from -128 to 127, or NaN
// ("not a number"). Arithmetic is exact while the result fits in 38 digits
// and rounds (in the mode given) beyond; a result whose exponent cannot be
// brought into range is NaN, reported as overflow or underflow. Values are
// kept compact (no trailing zeros in the mantissa), so equal values have
// equal representations.
//
// These are the value-level operations; kit::DecimalNumber (decimal_number.h)
// is the object with behaviours and exceptions around them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

// How a result that needs more digits than it may keep loses them.
enum class RoundingMode {
  Plain,    // to nearest, halves away from zero
  Down,     // towards negative infinity
  Up,       // towards positive infinity
  Bankers,  // to nearest, halves to the even digit
};

enum class CalculationError { NoError, LossOfPrecision, Underflow, Overflow, DivideByZero };

inline constexpr int DecimalMaxDigits = 38;
inline constexpr int DecimalMaxExponent = 127;
inline constexpr int DecimalMinExponent = -128;
// A scale that means "do not round".
inline constexpr short DecimalNoScale = 32767;

struct Decimal {
  // The value is (negative ? -1 : 1) * mantissa * 10^exponent.
  unsigned __int128 mantissa = 0;
  int exponent = 0;
  bool negative = false;
  bool nan = false;

  static Decimal notANumber() { return Decimal{0, 0, false, true}; }
  bool isNaN() const { return nan; }
  bool isZero() const { return !nan && mantissa == 0; }
  // The mantissa's decimal digits ("0" for zero).
  std::string mantissaDigits() const;
};

// A compact decimal for ± mantissa × 10^exponent, or NaN when it cannot be
// represented. The mantissa may have any number of digits; more than 38 are
// rounded in `mode`.
Decimal makeDecimal(std::string_view digits, int64_t exponent, bool negative, RoundingMode mode = RoundingMode::Plain,
                    CalculationError* error = nullptr);

CalculationError decimalAdd(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode);
CalculationError decimalSubtract(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode);
CalculationError decimalMultiply(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode);
CalculationError decimalDivide(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode);
// Keeps `scale` digits after the decimal point (a negative scale rounds to
// tens, hundreds, ...); DecimalNoScale keeps the value as it is.
CalculationError decimalRound(Decimal& result, const Decimal& number, int scale, RoundingMode mode);
// -1, 0 or 1; NaN sorts below every number and equals NaN.
int decimalCompare(const Decimal& left, const Decimal& right);

// The platform's text: "8.49", "10", "0", "-2", "0.05", "NaN"; never an
// exponent, never trailing zeros after the point.
std::string decimalString(const Decimal& value);

// Reads a decimal at the start of `text` (after spaces and line breaks): an
// optional sign, digits with an optional "." and fraction, and an optional
// exponent ("e" or "E", optional sign, digits). Digits past the 38th are
// dropped. nullopt when the text does not start with a number; NaN when the
// number is out of range. `consumed` receives the length read.
std::optional<Decimal> scanDecimal(std::string_view text, size_t* consumed = nullptr);

// The nearest double.
double decimalDoubleValue(const Decimal& value);

}  // namespace kit
