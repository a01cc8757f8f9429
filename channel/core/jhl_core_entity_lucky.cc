// The channel core's lucky-player flow: after the first role report the
// core waits, asks the game server whether the player has a reward of the
// current type ("luck", then "day", then "active"), shows it, claims it or
// leads the player into the store hub, and goes on with the next type. See
// jhl_core_entity.h.
//
// Lookups, claims and countdowns all answer on the main queue; the flow
// keeps no state of its own beyond the custom luck picture and its cover.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"

namespace {

// The type whose lookup follows a type's, or nil at the end of the chain.
kit::Ref<kit::String> nextLuckyType(const kit::Ref<kit::String>& type) {
  const std::string name = kit::describe(type);
  if (name == "luck") return kit::str("day");
  if (name == "day") return kit::str("active");
  return nullptr;
}

}  // namespace

void JHLCoreEntity::addPlayerGiftLogicWithTime(double, const kit::Ref<kit::String>& timetype) {
  double delay = kit::describe(timetype) == "luck" ? NUVAGameReply::seconds(luck_time_) : kLuckyFollowUpDelay;
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  auto type = copied(timetype);
  NUVACountdown::shareInstance()->time(
      delay, [](double) {},
      [weak, type] {
        auto self = weak.lock();
        if (!self) return;
        self->getLuckyPlayerDataWithTime(type, [weak, type](const kit::Id& answer) {
          if (auto self = weak.lock()) self->showLuckyPlayer(type, answer);
        });
      },
      type);
}

void JHLCoreEntity::getLuckyPlayerDataWithTime(const kit::Ref<kit::String>& type, AnswerBlock sucessData) {
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::getWithQuery(
      gameURL(kit::str("luck/index")),
      {{"game_id", nuvagameid_}, {"role_id", roleid_}, {"server_id", service_id_}, {"time", type}},
      [weak, type, sucessData](kit::Id answer) {
        auto self = weak.lock();
        if (!self) return;
        kit::log("lucky player %@: %@", type, NUVALog::describe(answer));
        if (NUVAGameReply::isSuccess(answer)) {
          if (sucessData) sucessData(answer);
          return;
        }
        if (auto next = nextLuckyType(type)) self->addPlayerGiftLogicWithTime(0, next);
      },
      [type](kit::Ref<kit::String> error) { kit::log("lucky player %@ lookup failed: %@", type, error); });
}

void JHLCoreEntity::luckyPlayerClosed(const kit::Ref<kit::String>& type, const kit::Id& data) {
  if (kit::describe(type) == "day") {
    addPlayerGiftLogicWithTime(0, kit::str("active"));
    if (isHallOpen_) return;
    shop_type_ = kit::str("2");
    openActivityHall();
    // The hub reads it when it is shown, after its loading.
    playerDic_ = kit::as<kit::Dictionary>(data);
    return;
  }
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  claimLuckyReward(type, [weak, type](bool answered) {
    auto self = weak.lock();
    if (!self || !answered) return;
    if (kit::describe(type) == "luck") self->addPlayerGiftLogicWithTime(0, kit::str("day"));
  });
}

void JHLCoreEntity::claimLuckyReward(const kit::Ref<kit::String>& type, std::function<void(bool answered)> done) {
  NUVANetworkManager::getWithQuery(
      gameURL(kit::str("luck/get")),
      {{"game_id", nuvagameid_}, {"role_id", roleid_}, {"server_id", service_id_}, {"time", type}},
      [type, done](kit::Id answer) {
        if (NUVAGameReply::isSuccess(answer)) kit::log("领取成功");
        else kit::log("lucky player %@ claim refused: %@", type, NUVALog::describe(answer));
        if (done) done(true);
      },
      [type, done](kit::Ref<kit::String> error) {
        kit::log("lucky player %@ claim failed: %@", type, error);
        if (done) done(false);
      });
}

void JHLCoreEntity::addGestureluckyGiftView() {
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  kit::Weak<kit::ImageView> claimed = luckyGiftView_;
  claimLuckyReward(kit::str("luck"), [weak, claimed](bool answered) {
    auto self = weak.lock();
    if (!self) return;
    // The claimed picture goes; one that replaced it while the claim was
    // under way stays for its own button.
    auto picture = claimed.lock();
    if (picture && picture == self->luckyGiftView_) self->removeCustomLuckPicture();
    if (answered) self->addPlayerGiftLogicWithTime(0, kit::str("day"));
  });
}
