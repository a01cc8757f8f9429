// Decimal arithmetic on digit strings: operands are widened to exact
// decimal digit strings, combined exactly, then fitted back into 38 digits
// and the exponent range with one rounding step.

#include "kit/foundation/decimal.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

namespace kit {

namespace {

// Magnitudes as decimal digit strings, most significant first, without
// leading zeros ("" is zero).
using Digits = std::string;

Digits stripped(Digits d) {
  size_t first = d.find_first_not_of('0');
  return first == Digits::npos ? Digits() : d.substr(first);
}

int compareMagnitude(const Digits& a, const Digits& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Digits addMagnitude(const Digits& a, const Digits& b) {
  Digits out;
  int carry = 0;
  for (size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int sum = carry;
    if (i < a.size()) sum += a[a.size() - 1 - i] - '0';
    if (i < b.size()) sum += b[b.size() - 1 - i] - '0';
    out += static_cast<char>('0' + sum % 10);
    carry = sum / 10;
  }
  std::reverse(out.begin(), out.end());
  return stripped(out);
}

// a - b for a >= b.
Digits subtractMagnitude(const Digits& a, const Digits& b) {
  Digits out;
  int borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int d = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
    borrow = d < 0;
    out += static_cast<char>('0' + (d + 10) % 10);
  }
  std::reverse(out.begin(), out.end());
  return stripped(out);
}

Digits multiplyMagnitude(const Digits& a, const Digits& b) {
  if (a.empty() || b.empty()) return {};
  std::vector<int> sums(a.size() + b.size(), 0);
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = 0; j < b.size(); ++j) {
      sums[a.size() - 1 - i + b.size() - 1 - j] += (a[i] - '0') * (b[j] - '0');
    }
  }
  Digits out;
  int carry = 0;
  for (int sum : sums) {
    sum += carry;
    out += static_cast<char>('0' + sum % 10);
    carry = sum / 10;
  }
  while (carry) {
    out += static_cast<char>('0' + carry % 10);
    carry /= 10;
  }
  std::reverse(out.begin(), out.end());
  return stripped(out);
}

// Quotient and remainder of a / b, b not zero.
std::pair<Digits, Digits> divideMagnitude(const Digits& a, const Digits& b) {
  Digits quotient, remainder;
  for (char digit : a) {
    remainder = stripped(remainder + digit);
    int q = 0;
    while (compareMagnitude(remainder, b) >= 0) {
      remainder = subtractMagnitude(remainder, b);
      ++q;
    }
    quotient += static_cast<char>('0' + q);
  }
  return {stripped(quotient), remainder};
}

// Drops the last `drop` digits of `kept`, rounding the rest in `mode`.
// Sets `inexact` when a dropped digit was not zero.
Digits roundOff(const Digits& digits, int64_t drop, bool negative, RoundingMode mode, bool& inexact) {
  if (drop <= 0) return digits;
  const size_t n = digits.size();
  Digits kept = static_cast<size_t>(drop) >= n ? Digits() : digits.substr(0, n - static_cast<size_t>(drop));
  int first = 0;  // the first dropped digit
  bool restNonZero = false;
  if (static_cast<size_t>(drop) <= n) {
    size_t at = n - static_cast<size_t>(drop);
    first = digits[at] - '0';
    restNonZero = digits.find_first_not_of('0', at + 1) != Digits::npos;
  } else {
    restNonZero = !digits.empty();  // everything dropped lies below the first dropped place
  }
  inexact = first != 0 || restNonZero;
  if (!inexact) return kept;
  bool up = false;
  switch (mode) {
    case RoundingMode::Plain: up = first >= 5; break;
    case RoundingMode::Bankers: {
      bool lastOdd = !kept.empty() && ((kept.back() - '0') & 1);
      up = first > 5 || (first == 5 && (restNonZero || lastOdd));
      break;
    }
    case RoundingMode::Down: up = negative; break;
    case RoundingMode::Up: up = !negative; break;
  }
  return up ? addMagnitude(kept, "1") : kept;
}

CalculationError worse(CalculationError a, CalculationError b) { return a != CalculationError::NoError ? a : b; }

Decimal fromMagnitude(const Digits& digits, int64_t exponent, bool negative) {
  Decimal d;
  for (char c : digits) d.mantissa = d.mantissa * 10 + static_cast<unsigned>(c - '0');
  d.exponent = static_cast<int>(exponent);
  d.negative = negative && !digits.empty();
  return d;
}

// Brings a magnitude into 38 digits and the exponent range.
Decimal fit(Digits digits, int64_t exponent, bool negative, RoundingMode mode, CalculationError& error) {
  error = CalculationError::NoError;
  digits = stripped(std::move(digits));
  if (digits.empty()) return Decimal{};
  bool inexact = false;
  if (digits.size() > DecimalMaxDigits) {
    int64_t drop = static_cast<int64_t>(digits.size()) - DecimalMaxDigits;
    digits = roundOff(digits, drop, negative, mode, inexact);
    exponent += drop;
    if (digits.size() > DecimalMaxDigits) {  // 999...9 rounded up: one more (zero) digit goes
      digits.pop_back();
      ++exponent;
    }
    if (inexact) error = CalculationError::LossOfPrecision;
  }
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  if (exponent < DecimalMinExponent) {
    digits = roundOff(digits, DecimalMinExponent - exponent, negative, mode, inexact);
    exponent = DecimalMinExponent;
    if (digits.empty()) {
      error = CalculationError::Underflow;
      return Decimal::notANumber();
    }
    if (inexact) error = worse(error, CalculationError::LossOfPrecision);
    while (digits.size() > 1 && digits.back() == '0') {
      digits.pop_back();
      ++exponent;
    }
  }
  // A large exponent can be traded for zeros in the mantissa while they fit.
  while (exponent > DecimalMaxExponent && digits.size() < DecimalMaxDigits) {
    digits += '0';
    --exponent;
  }
  if (exponent > DecimalMaxExponent) {
    error = CalculationError::Overflow;
    return Decimal::notANumber();
  }
  return fromMagnitude(digits, exponent, negative);
}

// The magnitude of `d` scaled to `exponent` (which is at most d's).
Digits scaledTo(const Decimal& d, int exponent) {
  Digits digits = stripped(d.mantissaDigits());
  if (digits.empty()) return digits;
  return digits + Digits(static_cast<size_t>(d.exponent - exponent), '0');
}

CalculationError addSigned(Decimal& result, const Decimal& left, const Decimal& right, bool negateRight,
                           RoundingMode mode) {
  if (left.nan || right.nan) {
    result = Decimal::notANumber();  // NaN in, NaN out: nothing went wrong here
    return CalculationError::NoError;
  }
  const bool rightNegative = negateRight ? !right.negative : right.negative;
  const int exponent = std::min(left.exponent, right.exponent);
  Digits a = scaledTo(left, exponent), b = scaledTo(right, exponent);
  Digits sum;
  bool negative;
  if (left.negative == rightNegative) {
    sum = addMagnitude(a, b);
    negative = left.negative;
  } else if (compareMagnitude(a, b) >= 0) {
    sum = subtractMagnitude(a, b);
    negative = left.negative;
  } else {
    sum = subtractMagnitude(b, a);
    negative = rightNegative;
  }
  CalculationError error;
  result = fit(sum, exponent, negative, mode, error);
  return error;
}

}  // namespace

std::string Decimal::mantissaDigits() const {
  if (mantissa == 0) return "0";
  std::string out;
  for (unsigned __int128 m = mantissa; m; m /= 10) out += static_cast<char>('0' + static_cast<int>(m % 10));
  std::reverse(out.begin(), out.end());
  return out;
}

Decimal makeDecimal(std::string_view digits, int64_t exponent, bool negative, RoundingMode mode,
                    CalculationError* error) {
  CalculationError e;
  Decimal d = fit(Digits(digits), exponent, negative, mode, e);
  if (error) *error = e;
  return d;
}

CalculationError decimalAdd(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode) {
  return addSigned(result, left, right, false, mode);
}

CalculationError decimalSubtract(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode) {
  return addSigned(result, left, right, true, mode);
}

CalculationError decimalMultiply(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode) {
  if (left.nan || right.nan) {
    result = Decimal::notANumber();  // NaN in, NaN out: nothing went wrong here
    return CalculationError::NoError;
  }
  CalculationError error;
  result = fit(multiplyMagnitude(stripped(left.mantissaDigits()), stripped(right.mantissaDigits())),
               static_cast<int64_t>(left.exponent) + right.exponent, left.negative != right.negative, mode, error);
  return error;
}

CalculationError decimalDivide(Decimal& result, const Decimal& left, const Decimal& right, RoundingMode mode) {
  if (left.nan || right.nan) {
    result = Decimal::notANumber();  // NaN in, NaN out: nothing went wrong here
    return CalculationError::NoError;
  }
  if (right.isZero()) {
    result = Decimal::notANumber();
    return CalculationError::DivideByZero;
  }
  if (left.isZero()) {
    result = Decimal{};
    return CalculationError::NoError;
  }
  Digits a = stripped(left.mantissaDigits()), b = stripped(right.mantissaDigits());
  // Enough digits that the quotient has two beyond what is kept; a nonzero
  // remainder becomes one more digit so rounding sees the result is inexact.
  int64_t shift = std::max<int64_t>(0, DecimalMaxDigits + 2 + static_cast<int64_t>(b.size()) -
                                           static_cast<int64_t>(a.size()));
  auto [quotient, remainder] = divideMagnitude(a + Digits(static_cast<size_t>(shift), '0'), b);
  int64_t exponent = static_cast<int64_t>(left.exponent) - right.exponent - shift;
  if (!remainder.empty()) {
    quotient += '1';
    --exponent;
  }
  CalculationError error;
  result = fit(quotient, exponent, left.negative != right.negative, mode, error);
  return error;
}

CalculationError decimalRound(Decimal& result, const Decimal& number, int scale, RoundingMode mode) {
  if (number.nan || scale == DecimalNoScale || number.exponent >= -scale) {
    result = number;
    return CalculationError::NoError;
  }
  bool inexact = false;
  Digits digits = roundOff(stripped(number.mantissaDigits()), static_cast<int64_t>(-scale) - number.exponent,
                           number.negative, mode, inexact);
  CalculationError error;
  result = fit(digits, -scale, number.negative, mode, error);
  return error;
}

int decimalCompare(const Decimal& left, const Decimal& right) {
  if (left.nan || right.nan) return left.nan == right.nan ? 0 : (left.nan ? -1 : 1);
  if (left.isZero() && right.isZero()) return 0;
  const int sign = left.negative ? -1 : 1;
  if (left.negative != right.negative || left.isZero() || right.isZero()) {
    auto signOf = [](const Decimal& d) { return d.isZero() ? 0 : (d.negative ? -1 : 1); };
    return signOf(left) < signOf(right) ? -1 : 1;
  }
  const int exponent = std::min(left.exponent, right.exponent);
  return sign * compareMagnitude(scaledTo(left, exponent), scaledTo(right, exponent));
}

std::string decimalString(const Decimal& value) {
  if (value.nan) return "NaN";
  if (value.isZero()) return "0";
  std::string digits = value.mantissaDigits();
  std::string out = value.negative ? "-" : "";
  if (value.exponent >= 0) return out + digits + std::string(static_cast<size_t>(value.exponent), '0');
  int64_t point = static_cast<int64_t>(digits.size()) + value.exponent;
  if (point > 0) return out + digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
  return out + "0." + std::string(static_cast<size_t>(-point), '0') + digits;
}

std::optional<Decimal> scanDecimal(std::string_view text, size_t* consumed) {
  size_t i = 0;
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                             text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') negative = text[i++] == '-';

  Digits digits;       // significant digits kept (at most 38)
  int64_t exponent = 0;
  bool sawDigit = false;
  for (; at(i) >= '0' && at(i) <= '9'; ++i) {
    sawDigit = true;
    if (digits.empty() && text[i] == '0') continue;
    if (digits.size() < DecimalMaxDigits) digits += text[i];
    else ++exponent;  // an integer digit past the 38th still counts its place
  }
  if (at(i) == '.') {
    size_t fraction = i + 1;
    bool fractionDigit = false;
    for (; at(fraction) >= '0' && at(fraction) <= '9'; ++fraction) {
      fractionDigit = true;
      if (digits.empty() && text[fraction] == '0') {
        --exponent;
        continue;
      }
      if (digits.size() < DecimalMaxDigits) {
        digits += text[fraction];
        --exponent;
      }
    }
    if (sawDigit || fractionDigit) {
      sawDigit = true;
      i = fraction;
    }
  }
  if (!sawDigit) return std::nullopt;

  if (at(i) == 'e' || at(i) == 'E') {
    size_t e = i + 1;
    bool expNegative = false;
    if (at(e) == '+' || at(e) == '-') expNegative = text[e++] == '-';
    if (at(e) >= '0' && at(e) <= '9') {
      int64_t value = 0;
      for (; at(e) >= '0' && at(e) <= '9'; ++e) value = std::min<int64_t>(value * 10 + (text[e] - '0'), 100000);
      exponent += expNegative ? -value : value;
      i = e;
    }
  }
  if (consumed) *consumed = i;
  if (digits.empty()) return Decimal{};
  CalculationError error;
  // Digits past the 38th were dropped as read: what is out of range is cut
  // towards zero too, so a number too small to keep comes out NaN.
  return fit(digits, exponent, negative, negative ? RoundingMode::Up : RoundingMode::Down, error);
}

double decimalDoubleValue(const Decimal& value) {
  if (value.nan) return std::numeric_limits<double>::quiet_NaN();
  std::string text = (value.negative ? "-" : "") + value.mantissaDigits() + "e" + std::to_string(value.exponent);
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace kit
