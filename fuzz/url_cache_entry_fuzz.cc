// Fuzzes the readers of what kit networking keeps between runs: URL cache
// entry files and download resume data. The first byte picks the reader.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/net/session_events.h"
#include "kit/net/url_cache.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    auto entry = kit::URLCache::decodeEntry(input, "http://cache.test/entry", 1 << 20);
    if (entry) {
      // What decodes encodes back to the same bytes.
      std::string again = kit::URLCache::encodeEntry("http://cache.test/entry", *entry);
      auto second = kit::URLCache::decodeEntry(again, "http://cache.test/entry", 1 << 20);
      check(second && second->data()->isEqualToData(*entry->data()));
      kit::URLCache::isFresh(*entry, 0);
    }
  } else {
    auto state = kit::netdetail::decodeResumeData(kit::Data::make(input));
    if (state) check(state->url && !state->path.empty() && state->offset >= 0);
  }
  return 0;
}
