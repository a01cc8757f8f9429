// One row of the level store's table: a white card on a #F1F1F1 frame with
// the pack's name, its remaining sale time (written by the table's
// countdown), its reward items as prop tiles and a price button
// "%@元购买": #11CCB1 and tappable while on sale, #B5B5B5 and untouchable
// once bought. NUVALevelCell is the landscape row (60 high), NUVAVerLevelCell
// the portrait one (80 high); both are NUVALevelRow built from a table of
// measures taken from the screen's width.
//
// The button places a signed "charge/levelorder" (NUVAStoreOrder); every
// tap sends an order.
//
//   auto row = NUVALevelCell::make(kit::TableViewCellStyle::Default, key);
//   row->setUserInfo(userInfo);
//   row->setModel(pack);
#pragma once

#include <vector>

#include "channel/store/nuva_fix_btn.h"
#include "channel/store/nuva_store_pack_records.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"

// What tells the landscape row from the portrait one; SW is the screen's
// width.
struct NUVALevelRowLayout {
  double rowHeight;
  double frameInset;           // the outer frame is SW - this wide
  kit::Rect nameLabel, timeLabel;
  double arrowY;
  kit::Rect (*buyFrame)(double cardWidth);
  double stripY, stripHeight;
  double stripRightMargin;     // the strip ends this far before the card's right edge
  double gap;                  // G: tile i sits at G + i·(h + G)

  static const NUVALevelRowLayout& landscape();
  static const NUVALevelRowLayout& portrait();
};

class NUVALevelRow : public kit::TableViewCell {
 public:
  // The button's colours while on sale and once bought.
  static kit::Ref<kit::Color> onSaleColor();
  static kit::Ref<kit::Color> boughtColor();

  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  const kit::Ref<NUVALevelModel>& model() const { return model_; }
  // Shows the pack: title and colour of the button, name, and the tiles
  // made anew from the pack's items.
  void setModel(kit::Ref<NUVALevelModel> model);
  // The button's tap: places the level order.
  void toCharge();

  const kit::Ref<kit::Label>& nameLabel() const { return nameLabel_; }
  const kit::Ref<kit::Label>& timeLabel() const { return timeLabel_; }
  const kit::Ref<kit::Button>& buyBtn() const { return buyBtn_; }
  const kit::Ref<kit::View>& fixView() const { return fixView_; }
  const kit::Ref<kit::View>& card() const { return card_; }
  const std::vector<kit::Ref<NUVAFixBtn>>& tiles() const { return tiles_; }
  const NUVALevelRowLayout& layout() const { return layout_; }

  // Use NUVALevelCell or NUVAVerLevelCell.
  NUVALevelRow(const NUVALevelRowLayout& layout, kit::TableViewCellStyle style, std::string reuseIdentifier);

 protected:
  void setupUI();

 private:
  const NUVALevelRowLayout& layout_;
  kit::Ref<NUVALevelModel> model_;
  kit::Ref<kit::String> userInfo_;
  kit::Ref<kit::View> outer_, card_;
  kit::Ref<kit::Label> nameLabel_, timeLabel_;
  kit::Ref<kit::ImageView> arrow_;
  kit::Ref<kit::Button> buyBtn_;
  kit::Ref<kit::View> fixView_;
  std::vector<kit::Ref<NUVAFixBtn>> tiles_;
};

class NUVALevelCell : public NUVALevelRow {
 public:
  static kit::Ref<NUVALevelCell> make(kit::TableViewCellStyle style = kit::TableViewCellStyle::Default,
                                      std::string reuseIdentifier = "");
  NUVALevelCell(kit::TableViewCellStyle style, std::string reuseIdentifier)
      : NUVALevelRow(NUVALevelRowLayout::landscape(), style, std::move(reuseIdentifier)) {}
};

class NUVAVerLevelCell : public NUVALevelRow {
 public:
  static kit::Ref<NUVAVerLevelCell> make(kit::TableViewCellStyle style = kit::TableViewCellStyle::Default,
                                         std::string reuseIdentifier = "");
  NUVAVerLevelCell(kit::TableViewCellStyle style, std::string reuseIdentifier)
      : NUVALevelRow(NUVALevelRowLayout::portrait(), style, std::move(reuseIdentifier)) {}
};
