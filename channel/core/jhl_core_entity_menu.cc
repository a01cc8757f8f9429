// The channel core's server menu: fetching and keeping it, the time-store
// timers it feeds ("twoTimer" once a day, the repeating "upDown" refresh),
// what a successful role report starts (the once-a-day menu, the first
// report's menu and lucky timer, the level check), and two time texts. See
// jhl_core_entity.h.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "kit/foundation/calendar.h"
#include "kit/foundation/date.h"
#include "kit/foundation/date_formatter.h"
#include "kit/foundation/log.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"

// ---- The menu ------------------------------------------------------------------------------

void JHLCoreEntity::showMenu(AnswerBlock callback) {
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::getWithQuery(
      gameURL(kit::str("menu/new")), {{"game_id", nuvagameid_}, {"server_id", service_id_}},
      [weak, callback](kit::Id answer) {
        auto self = weak.lock();
        if (!self) return;
        kit::log("server menu: %@", NUVALog::describe(answer));
        if (!NUVAGameReply::isSuccess(answer)) return;
        self->storeMenuAnswer(answer);
        if (callback) callback(answer);
      },
      [](kit::Ref<kit::String> error) { kit::log("server menu failed: %@", error); });
}

void JHLCoreEntity::storeMenuAnswer(const kit::Id& answer) {
  auto menu = NUVAGameReply::menu(answer);
  menuArray_ = menu.ids;
  if (!menu.hasTimes) return;
  time_shop_refresh_ = menu.time_shop_refresh;
  luck_time_ = menu.luck_time;
  day_time_ = menu.day_time;
  active_time_ = menu.active_time;
  shop_time_ = menu.shop_time;
  // Level ranges given as text keep the previous list; a missing list, or
  // one of any other kind, empties it.
  if (menu.replacesLevelList) levelListArray_ = menu.levelList;
}

bool JHLCoreEntity::menuListsTimeStore() {
  for (const auto& entry : *menuArray()) {
    if (kit::describe(entry) == "3") return true;
  }
  return false;
}

// ---- The refresh timer ----------------------------------------------------------------------

void JHLCoreEntity::popViewPoint() {
  // A menu without a usable interval would refresh without pause.
  double interval = NUVAGameReply::seconds(time_shop_refresh_);
  if (interval <= 0) interval = kMinimumMenuRefresh;
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVACountdown::shareInstance()->time(
      interval, [](double) {},
      [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->showMenu([weak](const kit::Id&) {
          auto self = weak.lock();
          if (!self || !self->menuListsTimeStore()) return;
          self->isTimeStore_ = true;
          self->popViewPoint();
        });
        // The banner does not wait for the menu; it checks its own
        // conditions.
        if (!NUVADataFormat::isBlankString(self->roleid_)) self->popViewanimate();
      },
      kit::str("upDown"));
}

// ---- After a role report --------------------------------------------------------------------

void JHLCoreEntity::startOffersAfterRoleReport() {
  auto today = kit::DateFormatter::make("yyyy-MM-dd")->stringFromDate(kit::Date::now());
  auto dayKey = kit::format("%@%@", today, super_user_id_);
  auto defaults = kit::UserDefaults::standardUserDefaults();
  auto stored = kit::as<kit::String>(defaults->objectForKey(kNowDateKey));
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  if (!stored || !stored->isEqualToString(dayKey->utf8())) {
    showMenu([weak, dayKey](const kit::Id&) {
      auto self = weak.lock();
      if (!self || !self->menuListsTimeStore()) return;
      self->isTimeStore_ = true;
      auto defaults = kit::UserDefaults::standardUserDefaults();
      defaults->setObject(dayKey, kNowDateKey);
      defaults->synchronize();
      NUVACountdown::shareInstance()->time(
          NUVAGameReply::seconds(self->shop_time_), [](double) {},
          [weak] {
            if (auto self = weak.lock()) self->popViewanimate();
          },
          kit::str("twoTimer"));
    });
  } else {
    kit::log("server menu: shown once a day (%@)", dayKey);
  }

  if (isRunLogic_) {
    isRunLogic_ = false;
    showMenu([weak](const kit::Id&) {
      auto self = weak.lock();
      if (!self) return;
      self->runLevelCheck();
      self->addPlayerGiftLogicWithTime(NUVAGameReply::seconds(self->luck_time_), kit::str("luck"));
    });
  } else {
    runLevelCheck();
  }
}

void JHLCoreEntity::runLevelCheck() {
  long level = role_level_ ? role_level_->integerValue() : 0;
  for (const auto& entry : *levelListArray()) {
    auto bounds = kit::text(entry)->componentsSeparatedByString(",");
    if (bounds->count() != 2) continue;
    long lowest = kit::text(bounds->objectAtIndex(0))->integerValue();
    long highest = kit::text(bounds->objectAtIndex(1))->integerValue();
    if (level >= lowest && level <= highest && !isHallOpen_) levelstoreReport([](const kit::Id&) {});
  }
}

// ---- Time texts -------------------------------------------------------------------------------

kit::Ref<kit::String> JHLCoreEntity::getNowTimeTimestamp() const {
  return kit::format("%ld", static_cast<long>(kit::Date::now()->timeIntervalSince1970()));
}

kit::Ref<kit::String> JHLCoreEntity::getNowTimeWithString() const {
  auto calendar = kit::Calendar::currentCalendar();
  auto now = kit::Date::now();
  auto hour = calendar->components(
      kit::CalendarUnitYear | kit::CalendarUnitMonth | kit::CalendarUnitDay | kit::CalendarUnitHour, *now);
  auto startOfHour = calendar->dateFromComponents(hour);
  long nextHour = static_cast<long>(startOfHour->timeIntervalSince1970()) + 3600;
  return kit::format("%ld", nextHour - getNowTimeTimestamp()->integerValue());
}
