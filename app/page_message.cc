// The script bridge's texts. See page_message.h.

#include "app/page_message.h"

#include "channel/core/nuva_data_format.h"
#include "data/json/json_text.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/web/script_call.h"

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
  if (!body) {
    kit::log("eventComplete: message not read: it has no body");
  } else {
    kit::Ref<kit::Error> error;
    message.object_ = objectFromJSONStringWithParseOptions(*kit::text(body), kLooseUnicode, &error);
    if (!message.object_) {
      kit::log("eventComplete: message not read: %@", error ? error->localizedDescription() : "not a JSON text");
    }
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

kit::Ref<kit::String> PageMessage::callbackScript(const kit::Ref<kit::Dictionary>& message) {
  auto json = message ? JSONString(*message) : nullptr;
  std::string body = json ? json->utf8() : "{}";
  return kit::str(kit::scriptCall("CallbackFromIOS", body));
}
