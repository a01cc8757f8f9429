// The script bridge's texts. See page_message.h.

#include "app/page_message.h"

#include "channel/core/nuva_data_format.h"
#include "data/json/json_text.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"

namespace {

// The JSON codec's loose-Unicode parse option.
constexpr unsigned long kLooseUnicode = 4;

kit::Ref<kit::String> prettyJSON(const kit::Ref<kit::Dictionary>& dictionary) {
  auto data = kit::JSONSerialization::dataWithJSONObject(dictionary, kit::JSONWritingPrettyPrinted);
  return data ? kit::str(data->toString()) : nullptr;
}

}  // namespace

PageMessage PageMessage::parse(const kit::Id& body) {
  PageMessage message;
  if (body) {
    auto text = kit::text(body);
    message.object_ = objectFromJSONStringWithParseOptions(*text, kLooseUnicode);
  }
  message.action_ = kit::text(message.object_["action"]);
  return message;
}

kit::Ref<kit::String> PageMessage::field(const char* key) const {
  return NUVADataFormat::textOfValue(object_["data"][key]);
}

kit::Ref<kit::String> PageMessage::orderJSON(const kit::Ref<kit::String>& superUserId) const {
  return prettyJSON(kit::dict({{"good_id", field("good_id")},
                               {"good_name", field("good_name")},
                               {"game_order_sn", field("game_order_sn")},
                               {"role_level", field("role_level")},
                               {"super_user_id", superUserId},
                               {"money", field("money")},
                               {"service_id", field("service_id")},
                               {"service_name", field("service_name")},
                               {"role_id", field("role_id")},
                               {"role_name", field("role_name")},
                               {"remark", field("remark")}}));
}

kit::Ref<kit::String> PageMessage::roleJSON(const kit::Ref<kit::String>& superUserId) const {
  for (const char* required : {"role_id", "service_id", "service_name", "role_name"}) {
    if (!kit::isSet(field(required))) return nullptr;
  }
  return prettyJSON(kit::dict({{"super_user_id", superUserId},
                               {"service_id", field("service_id")},
                               {"service_name", field("service_name")},
                               {"role_id", field("role_id")},
                               {"role_name", field("role_name")},
                               {"role_level", field("role_level")},
                               {"power_value", field("power_value")},
                               {"describe", ""},
                               {"money", "金币"},
                               {"experience", ""}}));
}

std::string PageMessage::javaScriptStringBody(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '\'': out += "\\'"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      default: break;
    }
    // U+2028 and U+2029 (E2 80 A8 / E2 80 A9) end a line inside a literal.
    if (static_cast<unsigned char>(c) == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
      continue;
    }
    out += c;
  }
  return out;
}

kit::Ref<kit::String> PageMessage::callbackScript(const kit::Ref<kit::Dictionary>& message) {
  auto json = message ? JSONString(*message) : nullptr;
  std::string body = json ? json->utf8() : "{}";
  return kit::str("CallbackFromIOS('" + javaScriptStringBody(body) + "')");
}
