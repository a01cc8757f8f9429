// Fuzz target for the pay sheet's money arithmetic: two texts of any bytes
// and a way go through the decimal parser and calculateMoney, and every text
// through the coin conversion. A result is "(null)" for a way other than
// "-" and "*", else "NaN" or a number with at most two decimals; coins are
// whatever an int holds, never undefined. An order amount the sheet's entry
// accepts never comes out as "NaN".
//
// Input: <money> NUL <money1> NUL <way>
#include <cstdint>
#include <cstdlib>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  const std::string money = field(text, at), money1 = field(text, at), way = field(text, at);
  const std::string result =
      kit::describe(KTNewPayVC::calculateMoney(kit::str(money), kit::str(money1), way));
  if (way != "-" && way != "*") {
    check(result == "(null)");
  } else if (result != "NaN") {
    const size_t point = result.find('.');
    check(point == std::string::npos || result.size() - point - 1 <= 2);
  }
  for (const std::string* amount : {&money, &money1, &result}) (void)KTNewPayVC::coinsOf(kit::str(*amount));
  // An order amount the entry lets through makes a number on the sheet:
  // its amount to pay at any discount, and after any coupon.
  if (KTNewPayVC::isOrderAmount(kit::str(money))) {
    check(kit::describe(KTNewPayVC::calculateMoney(kit::str(money), kit::str("1.000000"), "*")) != "NaN");
    if (KTNewPayVC::isOrderAmount(kit::str(money1))) {
      check(kit::describe(KTNewPayVC::calculateMoney(kit::str(money), kit::str(money1), "-")) != "NaN");
    }
  }
  return 0;
}
