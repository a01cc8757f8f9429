// NUVATurnCellView: one position of a prize wheel, 80 x 133 as the wheels
// make it: the prize icon, "×<amount>" in white with a black shadow, and
// over both a button whose selected state ("turnablechoose") is the
// highlight a running draw moves from cell to cell. A tap on the button
// shows the prize name in a tip for at most a second, placed from the
// button's window position (160 left and 20 above it in landscape, 20 left
// and 160 above in portrait) on the wheel face that holds the cells.
#pragma once

#include <vector>

#include "channel/hall/nuva_hall_records.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class NUVATurnCellView : public kit::View {
 public:
  static kit::Ref<NUVATurnCellView> initWithFrame(const kit::Rect& frame);
  explicit NUVATurnCellView(const kit::Rect& frame) : kit::View(frame) {}

  // Stores the prize, reads its icon and shows its amount.
  void setModel(kit::Ref<NUVATurnTableModel> model);
  const kit::Ref<NUVATurnTableModel>& model() const { return model_; }

  // The button's action: the prize name's tip.
  void tapCellView();
  // Takes this cell's tips off the screen.
  void removeTips();

  const kit::Ref<kit::ImageView>& icon() const { return icon_; }
  const kit::Ref<kit::Label>& num() const { return num_; }
  const kit::Ref<kit::Button>& selectBtn() const { return selectBtn_; }
  const std::vector<kit::Ref<kit::Label>>& tipsArray() const { return tipsArray_; }

  // The name tip's look (shared with the wheels' centre tips): white system
  // font 10 on black at alpha 0.5, corner radius 4, its fitted size plus
  // 10 x 5.
  static kit::Ref<kit::Label> tipLabel(const kit::Id& name);

 private:
  void commonInit();

  kit::Ref<NUVATurnTableModel> model_;
  kit::Ref<kit::ImageView> icon_;
  kit::Ref<kit::Label> num_;
  kit::Ref<kit::Button> selectBtn_;
  std::vector<kit::Ref<kit::Label>> tipsArray_;
};
