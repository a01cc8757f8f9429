// Reading the channel server's replies. See nuva_channel_reply.h.

#include "channel/core/nuva_channel_reply.h"

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_network_manager.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"

kit::Id NUVAChannelReply::parse(const kit::Ref<kit::Data>& body) {
  if (!body) return nullptr;
  return kit::JSONSerialization::JSONObjectWithData(body, kit::JSONReadingMutableContainers);
}

bool NUVAChannelReply::isSuccess(const kit::Id& reply) { return kit::describe(reply["code"]) == "200"; }

bool NUVAChannelReply::hasEntries(const kit::Id& value) {
  if (auto dictionary = kit::as<kit::Dictionary>(value)) return dictionary->count() > 0;
  if (auto array = kit::as<kit::Array>(value)) return array->count() > 0;
  return false;
}

kit::Ref<kit::String> NUVAChannelReply::refusalText(const kit::Id& reply) {
  const std::string message = kit::readableText(reply["msg"]);
  if (!message.empty()) return kit::str(message);
  return NUVANetworkManager::showErrorInfoWithStatusCode(500);
}

std::optional<NUVAChannelReply::Login> NUVAChannelReply::acceptedLogin(const kit::Id& reply) {
  kit::Id data = reply["data"];
  if (!kit::isSet(data["super_user_id"]) || !kit::isSet(data["token"])) return std::nullopt;
  auto token = kit::text(data["token"]);
  if (token->length() < kMinimumTokenLength) return std::nullopt;
  return Login{kit::text(data["super_user_id"]), token};
}

bool NUVAChannelReply::hasRoleId(const kit::Id& reply) { return kit::isSet(reply["data"]["role_id"]); }

bool NUVAChannelReply::hasOrderId(const kit::Id& reply) { return NUVADataFormat::isUsableId(reply["data"]["order_id"]); }

kit::Ref<kit::String> NUVAChannelReply::roleId(const kit::Id& reply) {
  return NUVADataFormat::textOfValue(reply["data"]["role_id"]);
}

kit::Ref<kit::String> NUVAChannelReply::orderId(const kit::Id& reply) {
  return NUVADataFormat::textOfValue(reply["data"]["order_id"]);
}
