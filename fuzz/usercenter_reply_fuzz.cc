// Fuzzes what the user centre reads from outside: the red-dot reply
// ("Home/number", any JSON value) and the addresses its web pages are asked
// to load (the copy links' text and the QQ-link test). Counts are only read
// from a reply whose "a" is the text "1"; a copied text is always a suffix
// of the link.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/string.h"
#include "platform/usercenter/kt_su_red_counts.h"
#include "platform/usercenter/kt_su_service_vc.h"
#include "platform/usercenter/kt_su_web_vc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);

  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(bytes, size));
  if (auto counts = KTSuRedCounts::fromReply(reply)) {
    auto dictionary = kit::as<kit::Dictionary>(reply);
    if (!dictionary) std::abort();
    auto code = kit::as<kit::String>(dictionary->objectForKey("a"));
    if (!code || code->utf8() != "1") std::abort();
  }

  const std::string copied = KTSuServiceVC::copiedText(text);
  if (copied.size() > text.size() || text.compare(text.size() - copied.size(), copied.size(), copied) != 0) {
    std::abort();
  }
  if (copied.find('?') != std::string::npos) std::abort();
  (void)KTSuWebPages::isQQLink(text);
  return 0;
}
