// Fuzzes reading decimal numbers from text. Whatever is read writes back as
// text that reads as the same value (and is its own written form), and
// arithmetic on it under a quiet behaviour gives a number or NaN.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kit/foundation/decimal_number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace kit;
  std::string_view text(reinterpret_cast<const char*>(bytes), size);
  size_t consumed = 0;
  std::optional<Decimal> scanned = scanDecimal(text, &consumed);
  if (consumed > text.size()) std::abort();
  auto number = DecimalNumber::decimalNumberWithString(text);
  if (!scanned && !number->isNaN()) std::abort();  // no leading number is NaN

  const std::string written = number->description();
  auto again = DecimalNumber::decimalNumberWithCanonicalText(written);
  if (!again || again->compareDecimal(*number) != 0) std::abort();
  if (!number->isNaN() && number->decimalValue().mantissaDigits().size() > DecimalMaxDigits) std::abort();

  auto quiet = DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(RoundingMode::Bankers, 4, false, false,
                                                                          false, false);
  auto half = DecimalNumber::decimalNumberWithString("0.5");
  for (const auto& result : {number->decimalNumberByAdding(*number, quiet.get()),
                             number->decimalNumberBySubtracting(*half, quiet.get()),
                             number->decimalNumberByMultiplyingBy(*number, quiet.get()),
                             number->decimalNumberByDividingBy(*number, quiet.get()),
                             half->decimalNumberByDividingBy(*number, quiet.get())}) {
    if (!result) std::abort();
    if (!DecimalNumber::decimalNumberWithCanonicalText(result->description())) std::abort();
  }
  return 0;
}
