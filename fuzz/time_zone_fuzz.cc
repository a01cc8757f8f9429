// Feeds arbitrary bytes to the time-zone file reader and the POSIX rule
// reader, then asks the rules for offsets across the whole range of dates.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kit/foundation/tz_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kit::tz;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  auto probe = [](const Rules& rules) {
    for (int64_t t : {int64_t{-100'000'000'000'000}, int64_t{-2'000'000'000}, int64_t{0}, int64_t{1'715'731'200},
                      int64_t{4'000'000'000}, int64_t{100'000'000'000'000}}) {
      const int32_t offset = rules.offsetAt(t);
      if (offset <= -200 * 3600 || offset >= 200 * 3600) __builtin_trap();
      rules.utcFromLocal(t);
    }
  };
  if (auto rules = Rules::fromTZif(input)) probe(*rules);
  if (auto rule = parsePosixRule(input)) probe(Rules::fromPosix(*rule));
  return 0;
}
