// The time store's pack table: one section per time-limited pack, each row
// a NUVAGiftCell (landscape, (S_h - 170) / 4 high) or NUVAVerticalGiftCell
// (portrait, 80 high). Every time the table asks for a row, the row gets
// the role description and then its pack, which rebuilds it.
//
//   auto packs = kit::make<NUVAGiftViewController>();
//   packs->setUserInfo(userInfo);
//   packs->setGiftArray(answer["data"]["list"]);
#pragma once

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_store_pack_records.h"
#include "channel/store/nuva_store_table_controller.h"
#include "kit/foundation/array.h"

class NUVAGiftTableController : public NUVAStoreTableController {
 public:
  // The portrait row height.
  static constexpr double kPortraitRowHeight = 80;

  explicit NUVAGiftTableController(NUVAOverlayForm form) : form_(form) {}
  NUVAOverlayForm form() const { return form_; }

  // The pack objects as received, and one record per pack.
  const kit::Ref<kit::Array>& giftArray() const { return giftArray_; }
  // Keeps the packs (anything but a list counts as none), makes their
  // records and reloads the table: an empty list empties it.
  void setGiftArray(kit::Ref<kit::Array> packs);
  const kit::Ref<kit::MutableArray>& giftModelArray();

  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setUserInfo(const kit::Ref<kit::String>& userInfo);

 protected:
  long recordCount() const override;
  double rowHeight() const override;
  kit::Ref<kit::TableViewCell> makeRow(const std::string& key) override;
  void configureRow(kit::TableViewCell& row, const kit::IndexPath& indexPath, const std::string& key) override;

 private:
  NUVAOverlayForm form_;
  kit::Ref<kit::Array> giftArray_;
  kit::Ref<kit::MutableArray> giftModelArray_;
  kit::Ref<kit::String> userInfo_;
};

class NUVAGiftViewController : public NUVAGiftTableController {
 public:
  NUVAGiftViewController() : NUVAGiftTableController(NUVAOverlayForm::Landscape) {}
};

class NUVAVerticalGiftViewController : public NUVAGiftTableController {
 public:
  NUVAVerticalGiftViewController() : NUVAGiftTableController(NUVAOverlayForm::Portrait) {}
};
