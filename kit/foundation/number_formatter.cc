// Number formatting with half-even rounding on decimal digits, and strict
// parsing.

#include "kit/foundation/number_formatter.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(NumberFormatter, Object, "NSNumberFormatter") {}

namespace {

constexpr unsigned MaxFractionDigits = 40;

// Adds one to a string of decimal digits; true when it carried out of the
// first digit.
bool incrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return false;
    }
  }
  return true;
}

bool allZero(std::string_view digits) { return digits.find_first_not_of('0') == std::string_view::npos; }

}  // namespace

void NumberFormatter::setNumberStyle(NumberFormatterStyle style) {
  style_ = style;
  minFraction_ = 0;
  maxFraction_ = style == NumberFormatterStyle::Decimal ? 3 : 0;
}

void NumberFormatter::setMinimumFractionDigits(unsigned digits) {
  minFraction_ = std::min(digits, MaxFractionDigits);
  if (maxFraction_ < minFraction_) maxFraction_ = minFraction_;
}

void NumberFormatter::setMaximumFractionDigits(unsigned digits) {
  maxFraction_ = std::min(digits, MaxFractionDigits);
  if (minFraction_ > maxFraction_) minFraction_ = maxFraction_;
}

std::string NumberFormatter::formatDigits(bool negative, std::string intDigits, std::string fracDigits) const {
  // Round half to even at the maximum number of fraction digits.
  if (fracDigits.size() > maxFraction_) {
    const char first = fracDigits[maxFraction_];
    const std::string_view rest = std::string_view(fracDigits).substr(maxFraction_ + 1);
    const char kept = maxFraction_ ? fracDigits[maxFraction_ - 1] : (intDigits.empty() ? '0' : intDigits.back());
    const bool up = first > '5' || (first == '5' && (!allZero(rest) || (kept - '0') % 2 == 1));
    fracDigits.resize(maxFraction_);
    if (up) {
      bool carry = fracDigits.empty() || incrementDigits(fracDigits);
      if (carry && incrementDigits(intDigits)) intDigits.insert(0, "1");
    }
  }
  while (fracDigits.size() > minFraction_ && fracDigits.back() == '0') fracDigits.pop_back();
  if (fracDigits.size() < minFraction_) fracDigits.append(minFraction_ - fracDigits.size(), '0');

  size_t firstNonZero = intDigits.find_first_not_of('0');
  intDigits = firstNonZero == std::string::npos ? std::string() : intDigits.substr(firstNonZero);
  if (intDigits.size() < minInteger_) intDigits.insert(0, minInteger_ - intDigits.size(), '0');
  if (grouping_ && intDigits.size() > 3) {
    std::string grouped;
    const size_t lead = intDigits.size() % 3;
    for (size_t i = 0; i < intDigits.size(); ++i) {
      if (i && (i - lead) % 3 == 0) grouped += ',';
      grouped += intDigits[i];
    }
    intDigits = std::move(grouped);
  }
  std::string out;
  if (negative && !(allZero(intDigits.empty() ? "0" : intDigits) && allZero(fracDigits))) out = "-";
  out += intDigits;
  if (!fracDigits.empty()) out += "." + fracDigits;
  return out;
}

std::string NumberFormatter::format(double value) const {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-∞" : "∞";
  // The shortest digits that read back as the same double, in scientific
  // form: d.ddde±x.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  const size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (c != '.') digits += c;
  }
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  const long intLength = exponent + 1;
  std::string intDigits, fracDigits;
  if (intLength <= 0) {
    fracDigits = std::string(static_cast<size_t>(-intLength), '0') + digits;
  } else if (static_cast<size_t>(intLength) >= digits.size()) {
    intDigits = digits + std::string(static_cast<size_t>(intLength) - digits.size(), '0');
  } else {
    intDigits = digits.substr(0, static_cast<size_t>(intLength));
    fracDigits = digits.substr(static_cast<size_t>(intLength));
  }
  return formatDigits(std::signbit(value), std::move(intDigits), std::move(fracDigits));
}

std::string NumberFormatter::format(long long value) const {
  const unsigned long long magnitude =
      value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  return formatDigits(value < 0, std::to_string(magnitude), {});
}

Ref<String> NumberFormatter::stringFromNumber(const Ref<Number>& number) const {
  if (!number) return nullptr;
  switch (number->kind()) {
    case Number::Kind::Double: return String::make(format(number->doubleValue()));
    case Number::Kind::Unsigned: return String::make(formatDigits(false, std::to_string(number->unsignedLongLongValue()), {}));
    default: return String::make(format(number->longLongValue()));
  }
}

Ref<Number> NumberFormatter::numberFromString(std::string_view text) const {
  size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++pos;
  std::string intDigits;
  // Integer part: plain digits, or with grouping on, groups of three after
  // a lead group of one to three.
  size_t groupLength = 0;
  bool sawSeparator = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c >= '0' && c <= '9') {
      intDigits += c;
      ++groupLength;
      if (sawSeparator && groupLength > 3) return nullptr;
    } else if (c == ',' && grouping_) {
      if (groupLength == 0 || (sawSeparator ? groupLength != 3 : groupLength > 3)) return nullptr;
      sawSeparator = true;
      groupLength = 0;
    } else {
      break;
    }
  }
  if (sawSeparator && groupLength != 3) return nullptr;
  std::string fracDigits;
  if (pos < text.size() && text[pos] == '.') {
    for (++pos; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) fracDigits += text[pos];
  }
  if (pos != text.size() || (intDigits.empty() && fracDigits.empty())) return nullptr;

  // A whole value within 64 bits is an integer number.
  if (allZero(fracDigits)) {
    long long whole = 0;
    const std::string signedDigits = (negative ? "-" : "") + (intDigits.empty() ? std::string("0") : intDigits);
    auto [end, ec] = std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), whole);
    if (ec == std::errc() && end == signedDigits.data() + signedDigits.size() && !(negative && whole == 0)) {
      return Number::fromLongLong(whole);
    }
  }
  const std::string normalized =
      (negative ? "-" : "") + (intDigits.empty() ? std::string("0") : intDigits) + "." + fracDigits + "0";
  double value = 0;
  auto [end, ec] = std::from_chars(normalized.data(), normalized.data() + normalized.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large is infinite; too small is zero.
    value = allZero(intDigits) ? 0.0 : HUGE_VAL;
    if (negative) value = -value;
  } else if (ec != std::errc() || end != normalized.data() + normalized.size()) {
    return nullptr;
  }
  return Number::fromDouble(value);
}

Id NumberFormatter::copy() const {
  auto f = std::make_shared<NumberFormatter>();
  f->style_ = style_;
  f->minFraction_ = minFraction_;
  f->maxFraction_ = maxFraction_;
  f->minInteger_ = minInteger_;
  f->grouping_ = grouping_;
  return f;
}

}  // namespace kit
