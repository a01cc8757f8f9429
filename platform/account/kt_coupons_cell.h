// KTCouponsCell: one coupon of the picker as a card: its value and least
// order amount on the left, a tag saying whether it is for every game
// ("通用券") or one game ("专用券"), its name and validity, and the use
// button, enabled only when the server says the coupon can be used for this
// order ("av" "1"). The button hands the cell's model to couponsBlock.
//
// Loaded from its interface scene "KTCouponsCell" (registered with kit's
// scene registry), 100 points high; the card keeps 10 points of margin and
// is at most 460 wide. Main thread.
#pragma once

#include <functional>

#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"
#include "platform/account/kt_coupons_model.h"

class KTCouponsCell : public kit::TableViewCell {
 public:
  using CouponsBlock = std::function<void(const kit::Ref<KTCouponsModel>& model)>;

  static constexpr const char* kSceneName = "KTCouponsCell";
  static constexpr const char* kUseTitle = "立即使用";
  static constexpr double CellH = 100;

  // The cell as its scene builds it (before awakeFromNib).
  static kit::Ref<KTCouponsCell> make();
  // Registers the nib "KTCouponsCell" (idempotent).
  static void registerNib();
  explicit KTCouponsCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  // Clear background, a word-wrapping button title, rounded card and
  // button, the button's blue and grey backgrounds.
  void awakeFromNib() override;
  // Shows the coupon.
  void setModel(const kit::Ref<KTCouponsModel>& model);
  // The use button: the model to couponsBlock, when one is set.
  void btnClick();

  const kit::Ref<KTCouponsModel>& model() const { return model_; }
  const CouponsBlock& couponsBlock() const { return couponsBlock_; }
  void setCouponsBlock(CouponsBlock v) { couponsBlock_ = std::move(v); }

  kit::Ref<kit::Label> nameL() const { return nameL_.lock(); }
  kit::Ref<kit::Label> couponsL() const { return couponsL_.lock(); }
  kit::Ref<kit::Label> moneyL() const { return moneyL_.lock(); }
  kit::Ref<kit::Label> timeL() const { return timeL_.lock(); }
  kit::Ref<kit::Label> showL() const { return showL_.lock(); }
  kit::Ref<kit::Button> btn() const { return btn_.lock(); }
  kit::Ref<kit::View> bgView() const { return bgView_.lock(); }

  void layoutSubviews() override;

 private:
  void buildScene();

  kit::Ref<KTCouponsModel> model_;
  CouponsBlock couponsBlock_;
  kit::Weak<kit::Label> nameL_, couponsL_, moneyL_, timeL_, showL_;
  kit::Weak<kit::Button> btn_;
  kit::Weak<kit::View> bgView_;
};
