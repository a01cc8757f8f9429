// Reading the store tabs' answers. See nuva_store_replies.h.

#include "channel/store/nuva_store_replies.h"

#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/store/nuva_store_support.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"

namespace {

std::optional<NUVAStoreReplies::PackList> packList(const kit::Id& answer, bool named) {
  if (!NUVAGameReply::isSuccess(answer)) return std::nullopt;
  kit::Id data = answer["data"];
  if (!NUVAChannelReply::hasEntries(data)) return std::nullopt;
  NUVAStoreReplies::PackList packs;
  if (named) packs.name = NUVAStoreReplies::labelText(data["gift_no_name"]);
  packs.notice = NUVAStoreReplies::labelText(data["notice_content"]);
  auto list = kit::as<kit::Array>(data["list"]);
  packs.list = list ? list : kit::Array::make();
  return packs;
}

}  // namespace

std::optional<double> NUVAStoreReplies::refreshSeconds(const kit::Id& menuAnswer) {
  if (!NUVAGameReply::isSuccess(menuAnswer)) return std::nullopt;
  kit::Id time = menuAnswer["time"];
  if (NUVADataFormat::isBlankDictionary(time)) return std::nullopt;
  return NUVAStoreSupport::doubleOf(time["time_shop_refresh"]);
}

std::optional<NUVAStoreReplies::PackList> NUVAStoreReplies::timeStorePacks(const kit::Id& answer) {
  return packList(answer, true);
}

std::optional<NUVAStoreReplies::PackList> NUVAStoreReplies::levelStorePacks(const kit::Id& answer) {
  return packList(answer, false);
}

kit::Ref<kit::String> NUVAStoreReplies::labelText(const kit::Id& value) {
  return kit::str(kit::shownText(value));
}
