// Fuzz target for the game page's script messages: whatever the page posts
// is read as the bridge reads it, turned into the role and order texts the
// channel core gets, and answered. A message that does not read leaves
// exactly one log line, one that reads none. Every text the bridge builds
// must parse back as JSON, and every answer script, echoing the message's
// values and its raw bytes (as a server's reply may carry bytes that are
// not UTF-8), must read in the page driver as one call whose argument is
// the answer's JSON text with each ill-formed UTF-8 sequence replaced.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/page_message.h"
#include "data/json/json_text.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/web/script_call.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Counts log lines instead of printing them.
struct CountingSink : kit::LogSink {
  size_t lines = 0;
  void write(const kit::LogRecord&) override { ++lines; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto sink = [] {
    auto counting = std::make_shared<CountingSink>();
    kit::setLogSink(counting);
    return counting;
  }();
  std::string body(reinterpret_cast<const char*>(data), size);
  auto text = kit::String::fromUTF8Bytes(body);
  if (!text) text = kit::str("");
  const size_t linesBefore = sink->lines;
  PageMessage message = PageMessage::parse(text);
  check(message.action() != nullptr);
  check(sink->lines - linesBefore == (message.object() ? 0u : 1u));

  auto superUserId = kit::str("99");
  if (auto role = message.roleJSON(superUserId)) check(objectFromJSONString(*role) != nullptr);
  auto order = message.orderJSON(superUserId);
  check(order && objectFromJSONString(*order) != nullptr);

  // Echo what the page sent back to it, as the answers do with page values.
  auto answer = kit::dict({{"action", message.action()},
                           {"data", kit::dict({{"cp_order", message.field("game_order_sn")},
                                               {"order_id", message.field("role_name")},
                                               {"token", kit::str(body)}})}});
  auto script = PageMessage::callbackScript(answer)->utf8();
  check(script.starts_with("CallbackFromIOS('") && script.ends_with("')"));
  const kit::ScriptCallParse parse = kit::parseScriptCalls(script);
  check(parse.ok() && parse.calls.size() == 1 && parse.calls[0].arguments.size() == 1);
  const auto received = parse.calls[0].firstString();
  const auto json = JSONString(*answer);
  check(json != nullptr);
  const std::string sent = json->utf8();
  check(received && kit::utf8ToUTF16(*received) == kit::utf8ToUTF16(kit::replacingInvalidUTF8(sent)));
  check(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(*received)) != nullptr);
  return 0;
}
