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
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::getWithQuery(
      gameURL(kit::str("levelstore/report")),
      {{"server_id", service_id_}, {"role_id", roleid_}, {"platform_id", platform_id_}, {"game_id", nuvagameid_},
       {"level", role_level_}},
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
