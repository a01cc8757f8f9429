// The level store's table. See nuva_level_store_controller.h.

#include "channel/store/nuva_level_store_controller.h"

#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_level_cell.h"
#include "channel/store/nuva_store_replies.h"
#include "channel/store/nuva_store_support.h"
#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"

const kit::Ref<kit::MutableArray>& NUVALevelTableController::giftModelArray() {
  if (!giftModelArray_) giftModelArray_ = kit::MutableArray::make();
  return giftModelArray_;
}

void NUVALevelTableController::setGiftArray(const kit::Ref<kit::Array>& packs) {
  KIT_CHECK_MAIN_THREAD();
  giftModelArray()->removeAllObjects();
  if (packs) {
    for (const kit::Id& pack : *packs) giftModelArray()->addObject(NUVALevelModel::withValues(pack));
  }
  tableView()->reloadData();
}

void NUVALevelTableController::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

long NUVALevelTableController::recordCount() const {
  return giftModelArray_ ? static_cast<long>(giftModelArray_->count()) : 0;
}

double NUVALevelTableController::rowHeight() const {
  return form_ == NUVAOverlayForm::Portrait ? NUVALevelRowLayout::portrait().rowHeight
                                            : NUVALevelRowLayout::landscape().rowHeight;
}

kit::Ref<kit::TableViewCell> NUVALevelTableController::makeRow(const std::string& key) {
  if (form_ == NUVAOverlayForm::Portrait) return NUVAVerLevelCell::make(kit::TableViewCellStyle::Default, key);
  return NUVALevelCell::make(kit::TableViewCellStyle::Default, key);
}

void NUVALevelTableController::configureRow(kit::TableViewCell& cell, const kit::IndexPath& indexPath,
                                            const std::string& key) {
  auto* row = dynamic_cast<NUVALevelRow*>(&cell);
  if (!row) return;
  auto pack = kit::as<NUVALevelModel>(giftModelArray()->objectAtIndexOrNil(static_cast<size_t>(indexPath.section)));
  row->setUserInfo(userInfo_);
  row->setModel(pack);
  if (!pack || !pack->isOnSale()) return;

  kit::Weak<NUVALevelRow> weakRow = row->selfAs<NUVALevelRow>();
  kit::Weak<NUVALevelTableController> weak = weakSelf<NUVALevelTableController>();
  kit::Ref<kit::String> description = userInfo_;
  NUVACountdown::shareInstance()->time(
      NUVAStoreSupport::doubleOf(pack->lost_time()),
      [weakRow](double left) {
        if (auto row = weakRow.lock()) row->timeLabel()->setText(getMMSSFromSS(kit::format("%f", left))->utf8());
      },
      [weakRow, weak, description] {
        if (auto row = weakRow.lock()) row->timeLabel()->setText("00:00:00");
        if (auto self = weak.lock()) {
          self->countdownEnded();
        } else {
          // The table is gone: the list is read once all the same, and the
          // answer goes nowhere.
          requestPackList(description, nullptr);
        }
      },
      kit::str(key));
}

void NUVALevelTableController::countdownEnded() {
  KIT_CHECK_MAIN_THREAD();
  const double now = kit::Clock::now();
  if (!lastRefetch_ || now - *lastRefetch_ >= kRefetchInterval) {
    lastRefetch_ = now;
    refreshData();
    return;
  }
  // Within the window: one read at its end stands for every countdown that
  // ends meanwhile.
  if (refetchPending_) return;
  refetchPending_ = true;
  kit::Weak<NUVALevelTableController> weak = weakSelf<NUVALevelTableController>();
  kit::Queue::main().after(*lastRefetch_ + kRefetchInterval - now, [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->refetchPending_ = false;
    self->lastRefetch_ = kit::Clock::now();
    self->refreshData();
  });
}

void NUVALevelTableController::refreshData() {
  KIT_CHECK_MAIN_THREAD();
  kit::Weak<NUVALevelTableController> weak = weakSelf<NUVALevelTableController>();
  requestPackList(userInfo_, [weak](const kit::Id& answer) {
    auto self = weak.lock();
    if (!self) return;
    if (auto packs = NUVAStoreReplies::levelStorePacks(answer)) self->setGiftArray(packs->list);
  });
}

kit::Ref<kit::String> NUVALevelTableController::getMMSSFromSS(const kit::Ref<kit::String>& seconds) {
  const long n = seconds ? seconds->integerValue() : 0;
  const long hours = n / 3600;
  const long minutes = (n - 3600 * hours) / 60;
  const long rest = n - 60 * (n / 60);
  return kit::format("%@:%@:%@", kit::formatString("%02ld", hours), kit::formatString("%02ld", minutes),
                     kit::formatString("%02ld", rest));
}

kit::Ref<kit::String> NUVALevelTableController::packListURL(const kit::Ref<kit::String>& userInfo) {
  kit::Id role = NUVADataFormat::dictionaryWithJsonString(userInfo);
  return NUVANetworkManager::queryURL(NUVAStoreSupport::gameURL("levelstore/goodsnew"),
                                     {{"server_id", role["service_id"]},
                                      {"role_id", role["super_role_id"]},
                                      {"platform_id", role["channel_id"]},
                                      {"game_id", role["game_id"]},
                                      {"level", role["role_level"]}});
}

void NUVALevelTableController::requestPackList(const kit::Ref<kit::String>& userInfo,
                                               std::function<void(const kit::Id&)> answered) {
  // GET answers come in on the main queue.
  NUVANetworkManager::getWithURL(
      packListURL(userInfo), nullptr,
      [answered = std::move(answered)](kit::Id answer) {
        kit::log("level store packs: %@", NUVALog::describe(answer));
        if (answered) answered(answer);
      },
      [](kit::Ref<kit::String> error) { kit::log("level store packs failed: %@", error); });
}
