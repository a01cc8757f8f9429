// KTSuCouponVC: the player's vouchers, paged as every user-centre list: a
// bar of two titles chooses the usable vouchers ("home/getCoupons", tag
// 100) or the record of all vouchers ("home/getCouponsLog", tag 101); the
// chosen title is disabled and underlined by an orange indicator that
// moves to the other title when it is tapped, and the list then reloads
// from page 1. Built complete; the user centre's bar does not open it (a
// container can host it as a child page). Main thread.
#pragma once

#include "kit/ui/button.h"
#include "platform/usercenter/kt_paged_list.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuCouponVC : public KTPagedListVC {
 public:
  static constexpr const char* UsablePath = "home/getCoupons";
  static constexpr const char* RecordPath = "home/getCouponsLog";
  static constexpr const char* UsableTitle = "可用代金券";
  static constexpr const char* RecordTitle = "全部记录";
  static constexpr long UsableTag = 100, RecordTag = 101;
  static constexpr double BarH = 40, IndicatorH = 2, MoveDuration = 0.25, RowH = 93;
  static kit::Ref<KTSuCouponVC> make() { return kit::make<KTSuCouponVC>(); }

  void viewDidLoad() override;
  // The switch bar, made on first use.
  const kit::Ref<kit::View>& midView();
  // A title's action: switches to it unless it is the chosen one.
  void btnClick(kit::Button& button);

  std::string listPath() const override;
  kit::Ref<kit::Dictionary> listParameters() const override;
  const kit::Class& recordClass() const override { return KTSuCouponModel::staticClass(); }

  kit::Ref<kit::TableView> tableView() override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  kit::Ref<kit::View> indicator() const { return indicator_.lock(); }
  kit::Ref<kit::Button> chooseBtn() const { return chooseBtn_.lock(); }

 private:
  kit::Ref<kit::View> midView_;
  kit::Ref<kit::TableView> tableView_;
  kit::Weak<kit::View> indicator_;
  kit::Weak<kit::Button> chooseBtn_;
};
