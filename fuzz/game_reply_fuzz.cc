// Fuzz target for the channel game server's answers as the channel core
// reads them: success, the server menu, goods lists and the merge of a
// claim-status answer into them (the input serves as both the goods answer
// and the status answer). None of it may fail; the merge keeps one list per
// category and only item objects in them.

#include <cstdint>
#include <cstdlib>

#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_log.h"
#include "kit/foundation/values.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kit::Id answer = NUVAChannelReply::parse(kit::Data::make(data, size));
  NUVAGameReply::isSuccess(answer);
  auto menu = NUVAGameReply::menu(answer);
  check(menu.ids != nullptr);
  if (menu.hasTimes) {
    check(menu.levelList != nullptr);
    NUVAGameReply::seconds(menu.time_shop_refresh);
    NUVAGameReply::seconds(menu.shop_time);
  }
  NUVAChannelReply::hasEntries(answer["data"]);
  auto goods = NUVAGameReply::listOf(answer["data"]["list"]);
  for (bool vip : {false, true}) {
    auto merged = NUVAGameReply::mergedClaimStatus(goods, answer, vip);
    check(merged->count() == goods->count());
    for (const auto& category : *merged) {
      auto items = kit::as<kit::Array>(category);
      check(items != nullptr);
      for (const auto& item : *items) check(kit::isKind<kit::Dictionary>(item));
    }
    NUVALog::describe(merged);
  }
  return 0;
}
