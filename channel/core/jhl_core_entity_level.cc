// The channel core's level store report: when a reported role's level lies
// in one of the menu's level ranges, the game server hears of it and may
// answer with an offer, shown in the level pop-up, whose button opens the
// store hub on the level gifts tab. See jhl_core_entity.h.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/core/nuva_store_overlays.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"

void JHLCoreEntity::levelstoreReport(AnswerBlock callback) {
  auto url = gameURL(kit::format("levelstore/report?server_id=%@&role_id=%@&platform_id=%@&game_id=%@&level=%@",
                                 service_id_, roleid_, platform_id_, nuvagameid_, role_level_));
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::getWithURL(
      url, nullptr,
      [weak, callback](kit::Id answer) {
        auto self = weak.lock();
        if (!self) return;
        kit::log("level store report: %@", NUVALog::describe(answer));
        if (!NUVAGameReply::isSuccess(answer)) return;
        kit::Id offer = answer["data"];
        if (NUVAChannelReply::hasEntries(offer)) {
          auto overlays = NUVAStoreOverlays::installed();
          auto popUp = overlays ? overlays->makeLevelPopView() : nullptr;
          if (popUp) {
            popUp->setAdPic(kit::text(offer["ads_pic"]));
            popUp->setItems(kit::text(offer["items"]));
            popUp->setCloseBlock([weak] {
              auto self = weak.lock();
              if (!self) return;
              self->shop_type_ = kit::str("1");
              self->openActivityHall();
            });
            popUp->show();
          } else {
            kit::log("level store: no level pop-up is installed; the offer is not shown");
          }
        }
        if (callback) callback(answer);
      },
      [](kit::Ref<kit::String> error) { kit::log("level store report failed: %@", error); });
}
