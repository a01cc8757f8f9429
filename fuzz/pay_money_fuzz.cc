// Fuzz target for the pay sheet's money arithmetic: two texts of any bytes
// and a way go through the decimal parser and calculateMoney, and every text
// through the coin conversion. A result is "(null)" for a way other than
// "-" and "*", else "NaN" or a number with at most two decimals; coins are
// whatever an int holds, never undefined. An order amount the sheet's entry
// accepts is charged as the order says: its amount to pay, at any discount
// the sheet can print and after any coupon, is the exact sum cut down to
// cents, and its platform coins the exact amount × 10 rounded up, worked
// out here digit by digit.
//
// Input: <money> NUL <money1> NUL <way>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/values.h"
#include "platform/account/kt_new_pay_vc.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::string field(const std::string& text, size_t& at) {
  const size_t end = text.find('\0', at);
  std::string out = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  at = end == std::string::npos ? text.size() : end + 1;
  return out;
}

// A non-negative exact decimal: its digits, `places` of them after the point.
struct Exact {
  std::string digits;
  size_t places = 0;
};

// A plain decimal text ("6", "8.49", ".5", "007.50").
Exact exactOf(const std::string& text) {
  const size_t point = text.find('.');
  if (point == std::string::npos) return {text, 0};
  return {text.substr(0, point) + text.substr(point + 1), text.size() - point - 1};
}

Exact times(const Exact& a, const Exact& b) {
  std::vector<int> sum(a.digits.size() + b.digits.size() + 1, 0);
  for (size_t i = 0; i < a.digits.size(); ++i) {
    for (size_t j = 0; j < b.digits.size(); ++j) {
      sum[i + j] += (a.digits[a.digits.size() - 1 - i] - '0') * (b.digits[b.digits.size() - 1 - j] - '0');
    }
  }
  std::string digits;
  int carry = 0;
  for (int value : sum) {
    value += carry;
    digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
    carry = value / 10;
  }
  return {digits, a.places + b.places};
}

// Both with the same number of places (the larger), padded with zeros.
void align(Exact& a, Exact& b) {
  const size_t places = std::max(a.places, b.places);
  for (Exact* e : {&a, &b}) {
    e->digits.append(places - e->places, '0');
    e->places = places;
  }
  const size_t width = std::max(a.digits.size(), b.digits.size());
  for (Exact* e : {&a, &b}) e->digits.insert(0, width - e->digits.size(), '0');
}

// a − b, or nothing when b is larger.
std::optional<Exact> minus(Exact a, Exact b) {
  align(a, b);
  if (a.digits < b.digits) return std::nullopt;  // same width: text order is number order
  std::string digits = a.digits;
  int borrow = 0;
  for (size_t i = digits.size(); i-- > 0;) {
    int value = (a.digits[i] - '0') - (b.digits[i] - '0') - borrow;
    borrow = value < 0;
    digits[i] = static_cast<char>('0' + (value + 10) % 10);
  }
  return Exact{digits, a.places};
}

// Cut down to two places and written as the decimal writes it: "8.49",
// "10", "0.5", "0".
std::string cutToCents(Exact e) {
  if (e.places > 2) {
    e.digits.resize(e.digits.size() - (e.places - 2));
  } else {
    e.digits.append(2 - e.places, '0');
  }
  std::string whole = e.digits.substr(0, e.digits.size() - 2);
  std::string cents = e.digits.substr(e.digits.size() - 2);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  cents.erase(cents.find_last_not_of('0') + 1);
  return (whole.empty() ? "0" : whole) + (cents.empty() ? "" : "." + cents);
}

std::string calculated(const std::string& money, const std::string& money1, std::string_view way) {
  return kit::describe(KTNewPayVC::calculateMoney(kit::str(money), kit::str(money1), way));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  const std::string money = field(text, at), money1 = field(text, at), way = field(text, at);
  const std::string result = calculated(money, money1, way);
  if (way != "-" && way != "*") {
    check(result == "(null)");
  } else if (result != "NaN") {
    const size_t point = result.find('.');
    check(point == std::string::npos || result.size() - point - 1 <= 2);
  }
  for (const std::string* amount : {&money, &money1, &result}) (void)KTNewPayVC::coinsOf(kit::str(*amount));
  if (!KTNewPayVC::isOrderAmount(kit::str(money))) return 0;
  // The amount to pay at the discounts the sheet prints ("%f" of the
  // server's discount, a float in (0, 1]); at "1.000000" it is the order's
  // amount itself, cut to cents.
  std::vector<std::string> discounts = {"1.000000", "0.850000", "0.990000", "0.000001", "0.123457"};
  const float asked = std::strtof(money1.c_str(), nullptr);
  if (asked > 0 && asked <= 1) discounts.push_back(kit::format("%f", asked)->utf8());
  for (const std::string& discount : discounts) {
    check(calculated(money, discount, "*") == cutToCents(times(exactOf(money), exactOf(discount))));
  }
  // In platform coins: the amount × 10 rounded up, when an int holds it.
  Exact tenfold = times(exactOf(money), Exact{"10", 0});
  std::string coins = tenfold.digits.substr(0, tenfold.digits.size() - tenfold.places);
  const bool fraction = tenfold.digits.find_first_not_of('0', coins.size()) != std::string::npos;
  coins.erase(0, std::min(coins.find_first_not_of('0'), coins.size()));
  const long long whole = coins.size() > 10 ? -1 : std::atoll(coins.c_str()) + (fraction ? 1 : 0);
  check(KTNewPayVC::coinsOf(kit::str(money)) == (whole >= 0 && whole <= 2147483647 ? whole : 0));
  // After a coupon the entry would take as an amount: what is left, cut to
  // cents, or a negative number when the coupon is worth more.
  if (KTNewPayVC::isOrderAmount(kit::str(money1))) {
    const std::string left = calculated(money, money1, "-");
    if (auto exact = minus(exactOf(money), exactOf(money1))) {
      check(left == cutToCents(*exact));
    } else {
      check(left.starts_with("-"));
    }
  }
  return 0;
}
