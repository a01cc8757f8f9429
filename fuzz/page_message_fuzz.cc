// Fuzz target for the game page's script messages: whatever the page posts
// is read as the bridge reads it, turned into the role and order texts the
// channel core gets, and answered. Every text the bridge builds must parse
// back as JSON, and every answer script must keep its text inside its
// string literal.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/page_message.h"
#include "data/json/json_text.h"
#include "kit/foundation/values.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// True when a single-quoted literal body holds no raw quote or line break.
bool staysInsideTheLiteral(const std::string& body) {
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '\n' || c == '\r') return false;
    if (body.compare(i, 3, "\xE2\x80\xA8") == 0 || body.compare(i, 3, "\xE2\x80\xA9") == 0) return false;
    if (c == '\\') {
      ++i;  // the escaped character is part of the literal
      continue;
    }
    if (c == '\'') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data), size);
  auto text = kit::String::fromUTF8Bytes(body);
  if (!text) text = kit::str("");
  PageMessage message = PageMessage::parse(text);
  check(message.action() != nullptr);

  auto superUserId = kit::str("99");
  if (auto role = message.roleJSON(superUserId)) check(objectFromJSONString(*role) != nullptr);
  auto order = message.orderJSON(superUserId);
  check(order && objectFromJSONString(*order) != nullptr);

  // Echo what the page sent back to it, as the answers do with page values.
  auto answer = kit::dict({{"action", message.action()},
                           {"data", kit::dict({{"cp_order", message.field("game_order_sn")},
                                               {"order_id", message.field("role_name")}})}});
  auto script = PageMessage::callbackScript(answer)->utf8();
  check(script.starts_with("CallbackFromIOS('") && script.ends_with("')"));
  check(staysInsideTheLiteral(script.substr(17, script.size() - 19)));
  return 0;
}
