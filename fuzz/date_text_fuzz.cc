// Feeds arbitrary text to the date and number parsers, and arbitrary
// patterns to the date formatter: they must answer nil or a value, never
// crash, hang or read out of bounds, and whatever parses must format again.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kit/foundation/date_formatter.h"
#include "kit/foundation/number_formatter.h"
#include "kit/foundation/uuid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kit;
  static const Ref<TimeZone> zone = TimeZone::timeZoneForSecondsFromGMT(8 * 3600);
  std::string_view input(reinterpret_cast<const char*>(data), size);

  for (const char* pattern : {"yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "yyyyMMddHHmmss", "EEE, d MMM yyyy h:mm a",
                              "yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ", "yy-M-d D"}) {
    auto formatter = DateFormatter::make(pattern, zone);
    if (Ref<Date> date = formatter->dateFromString(input)) {
      if (!formatter->stringFromDate(*date)) __builtin_trap();
    }
  }
  // The first line is a pattern, the rest a text to read with it.
  const size_t newline = input.find('\n');
  auto custom = DateFormatter::make(input.substr(0, newline), zone);
  custom->stringFromDate(*Date::dateWithTimeIntervalSince1970(1715731200.5));
  if (newline != std::string_view::npos) custom->dateFromString(input.substr(newline + 1));

  NumberFormatter numbers;
  numbers.setUsesGroupingSeparator(size % 2 == 0);
  if (Ref<Number> n = numbers.numberFromString(input)) numbers.stringFromNumber(n);
  UUID::fromString(input);
  return 0;
}
