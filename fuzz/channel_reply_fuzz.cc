// Fuzz target for the channel server's replies as the channel core reads
// them: the body parsed as JSON, its code, refusal text, login, role and
// order fields, its log text, and its values sent on in a form body. None
// of it may fail, and an accepted login always has a user and a token of
// at least six characters.

#include <cstdint>
#include <cstdlib>

#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "kit/foundation/values.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto body = kit::Data::make(data, size);
  kit::Id reply = NUVAChannelReply::parse(body);
  NUVAChannelReply::isSuccess(reply);
  check(NUVAChannelReply::refusalText(reply) != nullptr);
  if (auto login = NUVAChannelReply::acceptedLogin(reply)) {
    check(kit::isSet(login->superUserId));
    check(login->token->length() >= NUVAChannelReply::kMinimumTokenLength);
  }
  check(NUVAChannelReply::roleId(reply) != nullptr);
  check(NUVAChannelReply::orderId(reply) != nullptr);
  NUVALog::describe(reply);
  if (auto dictionary = kit::as<kit::Dictionary>(reply)) {
    NUVADealNull::deleteNull(*dictionary);
    check(NUVANetworkManager::formBodyWithParam(dictionary) != nullptr);
  }
  return 0;
}
