// Fuzz target for the vouchers tab's page messages: the bytes are split
// into a message body and a role description. The tab reads the body as
// the page posts it (text, or the value it parses to) and never fails; the
// "get_remark" answer for the description is "{}" or compact JSON without
// tabs, line feeds, spaces or carriage returns, and the script that carries
// it reads back as one CallbackFromIOS call with exactly that text.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "channel/store/nuva_voucher_view.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/web/script_call.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

NUVAVoucherView& tab() {
  static auto* made = new kit::Ref<NUVAVoucherView>(NUVAVoucherView::init());
  return **made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t cut = bytes.find('\0');
  const std::string body = bytes.substr(0, cut);
  const std::string description = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);

  // The page posts a text, or whatever its JSON reads as.
  tab().didReceiveEventComplete(kit::str(body));
  if (auto value = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(body), kit::JSONReadingFragmentsAllowed)) {
    tab().didReceiveEventComplete(value);
  }
  NUVAVoucherView::dictionaryWithJsonString(kit::str(body));
  NUVAVoucherView::arrayWithJsonString(kit::str(body));

  const std::string answer = NUVAVoucherView::remarkAnswer(kit::str(description));
  check(answer.find_first_of("\t\n \r") == std::string::npos);
  check(kit::as<kit::Dictionary>(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(answer))) != nullptr);
  const kit::ScriptCallParse parse = kit::parseScriptCalls(kit::scriptCall("CallbackFromIOS", answer));
  check(parse.ok() && parse.calls.size() == 1);
  check(parse.calls[0].firstString() == kit::replacingInvalidUTF8(answer));
  return 0;
}
