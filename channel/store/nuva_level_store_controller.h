// The level store's table: one section per level pack, each row a
// NUVALevelCell (landscape, 60 high) or NUVAVerLevelCell (portrait, 80
// high). A pack on sale ("is_buy" "0") counts its "lost_time" down in its
// row ("hh:mm:ss", hours not capped) on NUVACountdown under the row's key;
// at "00:00:00" the table reads the pack list again.
//
// Those reads are at most one per 5 seconds: the first at once, later ones
// within the window folded into one read at its end. A countdown that ends
// after the table is gone still reads the list once, and touches nothing
// that is gone.
//
//   auto table = kit::make<NUVALevelStoreController>();
//   table->setUserInfo(userInfo);
//   table->setGiftArray(answer["data"]["list"]);
#pragma once

#include <functional>
#include <optional>

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_store_pack_records.h"
#include "channel/store/nuva_store_table_controller.h"
#include "kit/foundation/array.h"

class NUVALevelTableController : public NUVAStoreTableController {
 public:
  // The shortest time between two reads of the list caused by countdowns.
  static constexpr double kRefetchInterval = 5;

  explicit NUVALevelTableController(NUVAOverlayForm form) : form_(form) {}
  NUVAOverlayForm form() const { return form_; }

  const kit::Ref<kit::MutableArray>& giftModelArray();
  // Makes one record per pack object and reloads the table; anything but
  // a list, and an empty list, empty it.
  void setGiftArray(const kit::Ref<kit::Array>& packs);
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setUserInfo(const kit::Ref<kit::String>& userInfo);

  // Reads the pack list and shows it (the notice is the tab's).
  void refreshData();
  // A row's countdown reached 0: reads the list, at most once per 5 s.
  void countdownEnded();

  // "hh:mm:ss" of the whole seconds a text holds ("3725.000000" gives
  // "01:02:05"); hours are not capped.
  static kit::Ref<kit::String> getMMSSFromSS(const kit::Ref<kit::String>& seconds);

  // "levelstore/goodsnew?server_id=..&role_id=..&platform_id=..&game_id=..&level=.."
  // from the role description's service_id, super_role_id, channel_id,
  // game_id and role_level.
  static kit::Ref<kit::String> packListURL(const kit::Ref<kit::String>& userInfo);
  // Reads the pack list; `answered` (may be empty) gets the answer on the
  // main queue.
  static void requestPackList(const kit::Ref<kit::String>& userInfo, std::function<void(const kit::Id&)> answered);

 protected:
  long recordCount() const override;
  double rowHeight() const override;
  kit::Ref<kit::TableViewCell> makeRow(const std::string& key) override;
  void configureRow(kit::TableViewCell& row, const kit::IndexPath& indexPath, const std::string& key) override;

 private:
  NUVAOverlayForm form_;
  kit::Ref<kit::MutableArray> giftModelArray_;
  kit::Ref<kit::String> userInfo_;
  std::optional<double> lastRefetch_;
  bool refetchPending_ = false;
};

class NUVALevelStoreController : public NUVALevelTableController {
 public:
  NUVALevelStoreController() : NUVALevelTableController(NUVAOverlayForm::Landscape) {}
};

class NUVAVerLevelStoreController : public NUVALevelTableController {
 public:
  NUVAVerLevelStoreController() : NUVALevelTableController(NUVAOverlayForm::Portrait) {}
};
