// KTSuCouponCell: one voucher of the coupon page, 93 points high: the game,
// the value, the least payment it applies to, its validity and a state
// stamp ("KT_suCouponState_end.png" for an ended voucher, else
// "KT_suCouponState_<use>.png"), from its scene "KTSuCouponCell" of the
// scene registry. A stamp the bundle lacks leaves the stamp empty. Main
// thread.
#pragma once

#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuCouponCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTSuCouponCell";
  static constexpr const char* EndedStamp = "KT_suCouponState_end.png";

  static kit::Ref<KTSuCouponCell> make();
  // Registers the nib "KTSuCouponCell" (idempotent).
  static void registerNib();
  explicit KTSuCouponCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuCouponModel>& model() const { return model_; }
  void setModel(const kit::Ref<KTSuCouponModel>& model);
  // The stamp's picture name for a voucher.
  static std::string stampName(const KTSuCouponModel& model);

  kit::Ref<kit::Label> nameL() const { return nameL_.lock(); }
  kit::Ref<kit::Label> couponL() const { return couponL_.lock(); }
  kit::Ref<kit::Label> moneyL() const { return moneyL_.lock(); }
  kit::Ref<kit::Label> timeL() const { return timeL_.lock(); }
  kit::Ref<kit::ImageView> stateImageView() const { return stateImageView_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuCouponModel> model_;
  kit::Weak<kit::Label> nameL_, couponL_, moneyL_, timeL_;
  kit::Weak<kit::ImageView> stateImageView_;
};
