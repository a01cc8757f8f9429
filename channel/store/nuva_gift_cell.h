// One row of the time store's pack table: the pack's name, a "私人定制"
// badge (hidden for a fixed pack), a strip of prop tiles and a buy button.
// NUVAGiftCell is the landscape row, NUVAVerticalGiftCell the portrait one;
// both are NUVAGiftRow built from a table of measures.
//
// A fixed pack ("is_all_fixed" "2") shows its fixed items and the first
// optional_num optional ones. A custom pack ("1") shows its fixed items, a
// plus sign and optional_num empty slots; a slot's tap opens the optional
// item chooser (NUVAOptionalGiftView), and the chosen item fills the slot.
// The row keeps the choosable list (the pack's optional items not in a
// slot, given-back items at the end) and the chosen list (one item per
// filled slot, in order of choice). Every configuration rebuilds the row
// from its pack: an open chooser is dismissed and the choices are cleared.
//
// The buy button places a signed "charge/order" (NUVAStoreOrder) whose
// remark is the pack id and its item ids, padded to five fields; a custom
// pack must have every slot filled ("请选择定制礼包" otherwise). A bought
// pack's button ("giftget") takes no touches.
//
//   auto row = NUVAGiftCell::make(kit::TableViewCellStyle::Default, "cell{...}");
//   row->setUserInfo(userInfo);
//   row->setModel(pack);
#pragma once

#include <vector>

#include "channel/store/nuva_fix_btn.h"
#include "channel/store/nuva_optional_gift_view.h"
#include "channel/store/nuva_store_pack_records.h"
#include "kit/foundation/array.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"

// What tells the landscape row from the portrait one. Frames made from
// the screen's size S_w x S_h and the row's height at creation, 44.
struct NUVAGiftRowLayout {
  double nameFontSize;
  kit::TextAlignment nameAlignment;
  kit::Rect (*nameFrame)(double SW, double SH, double h0);
  kit::Rect nameFrameFixedPack, nameFrameOtherPack;  // set at each configuration
  kit::Rect badge;
  kit::Rect (*arrowFrame)(double SW, double SH, double h0);
  kit::Rect (*buyFrame)(double SW, double SH, double h0);
  kit::Rect (*stripFrame)(double SW, double SH, double h0);
  double gap;         // G: the fixed tiles sit at (H + G)·i + G
  double slotOffset;  // an optional slot sits at (H + G)·i + this
  double plusGap;     // the plus sign's distance from the last fixed tile
  double plusSide;

  static const NUVAGiftRowLayout& landscape();
  static const NUVAGiftRowLayout& portrait();
};

class NUVAGiftRow : public kit::TableViewCell {
 public:
  // Custom packs show at most this many slots, whatever optional_num says.
  static constexpr long kMaxSlots = 64;
  // The row's height before the table sizes it.
  static constexpr double kInitialHeight = 44;

  // ---- Inputs (the table gives the description first, then the pack)
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  const kit::Ref<NUVATimeStoreModel>& model() const { return model_; }
  // Rebuilds the row for the pack.
  void setModel(kit::Ref<NUVATimeStoreModel> model);

  // ---- Actions
  // A slot's tap: opens the chooser for that slot.
  void clickFixBtn(NUVAFixBtn& slot);
  // The buy button's tap: places the order.
  void toCharge();
  // The order's remark for the row as it stands: the pack id, then the
  // fixed items and the choices of a custom pack (nil while a slot is
  // empty), or the items shown of any other pack, padded to five fields.
  kit::Ref<kit::String> orderRemark();

  // ---- Parts and state
  const kit::Ref<kit::Label>& nameLabel() const { return nameLabel_; }
  const kit::Ref<kit::ImageView>& fixImage() const { return fixImage_; }
  const kit::Ref<kit::Button>& buyBtn() const { return buyBtn_; }
  const kit::Ref<kit::View>& fixView() const { return fixView_; }
  const kit::Ref<kit::ImageView>& plusImage() const { return plusImage_; }
  bool showPlus() const { return showPlus_; }
  // The tiles of the strip, in order (fixed items, then slots).
  const std::vector<kit::Ref<NUVAFixBtn>>& tiles() const { return tiles_; }
  // The chooser opened last (nil before the first).
  const kit::Ref<NUVAOptionalGiftView>& alert() const { return alert_; }
  const kit::Ref<kit::MutableArray>& giftModelArray();
  const kit::Ref<kit::MutableArray>& chooseModelArray() const { return chooseModelArray_; }
  const kit::Ref<kit::MutableArray>& fixDataArray() const { return fixDataArray_; }
  const NUVAGiftRowLayout& layout() const { return layout_; }

  // Use NUVAGiftCell or NUVAVerticalGiftCell.
  NUVAGiftRow(const NUVAGiftRowLayout& layout, kit::TableViewCellStyle style, std::string reuseIdentifier);

 protected:
  // Builds the parts (the platform's initWithStyle:reuseIdentifier:).
  void setupUI();

 private:
  kit::Ref<NUVAFixBtn> addTile(double x, bool slot);
  void showCustomPack();
  // False, and nothing shown, when the pack includes no item.
  bool showFixedPack();
  // The chooser's answer for a slot.
  void choose(const kit::Ref<NUVAFixedGiftModel>& item, NUVAFixBtn& slot);

  const NUVAGiftRowLayout& layout_;
  kit::Ref<NUVATimeStoreModel> model_;
  kit::Ref<kit::String> userInfo_;
  kit::Ref<kit::Label> nameLabel_;
  kit::Ref<kit::ImageView> fixImage_;
  kit::Ref<kit::ImageView> arrow_;
  kit::Ref<kit::Button> buyBtn_;
  kit::Ref<kit::View> fixView_;
  kit::Ref<kit::ImageView> plusImage_;
  bool showPlus_ = false;
  std::vector<kit::Ref<NUVAFixBtn>> tiles_;
  kit::Ref<NUVAOptionalGiftView> alert_;
  kit::Ref<kit::MutableArray> giftModelArray_;
  kit::Ref<kit::MutableArray> chooseModelArray_ = kit::MutableArray::make();
  kit::Ref<kit::MutableArray> fixDataArray_ = kit::MutableArray::make();
};

// The landscape row.
class NUVAGiftCell : public NUVAGiftRow {
 public:
  static kit::Ref<NUVAGiftCell> make(kit::TableViewCellStyle style = kit::TableViewCellStyle::Default,
                                     std::string reuseIdentifier = "");
  NUVAGiftCell(kit::TableViewCellStyle style, std::string reuseIdentifier)
      : NUVAGiftRow(NUVAGiftRowLayout::landscape(), style, std::move(reuseIdentifier)) {}
};

// The portrait row.
class NUVAVerticalGiftCell : public NUVAGiftRow {
 public:
  static kit::Ref<NUVAVerticalGiftCell> make(kit::TableViewCellStyle style = kit::TableViewCellStyle::Default,
                                             std::string reuseIdentifier = "");
  NUVAVerticalGiftCell(kit::TableViewCellStyle style, std::string reuseIdentifier)
      : NUVAGiftRow(NUVAGiftRowLayout::portrait(), style, std::move(reuseIdentifier)) {}
};
