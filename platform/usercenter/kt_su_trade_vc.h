// KTSuTradeVC: the user centre's account-trade page (scene "KTSuTradeVC" of
// the storyboard "KTSuspendVC"): the offers of the platform's trading
// market ("Transaction/lists" with "type" "ios"), paged as every
// user-centre list, under a fixed head row whose button opens the market.
// An offer or the market opens in the game-box app when it is installed,
// else the box web page opens in the browser. Main thread.
#pragma once

#include "platform/usercenter/kt_paged_list.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuTradeVC : public KTPagedListVC {
 public:
  static constexpr const char* Identifier = "KTSuTradeVC";
  static constexpr const char* Path = "Transaction/lists";
  static constexpr const char* NoMoreText = "—— 我是有底线的 ——";
  static constexpr const char* OfferLink = "tradeDetail_";
  static constexpr double HeadH = 82, OfferH = 125, DefaultRowH = 145, BottomInset = 8;
  static void registerScene();

  void loadView() override;
  void viewDidLoad() override;
  void initTableView();

  std::string listPath() const override { return Path; }
  kit::Ref<kit::Dictionary> listParameters() const override;
  const kit::Class& recordClass() const override { return KTSuTradeModel::staticClass(); }
  std::string noMoreText() const override { return NoMoreText; }

  kit::Ref<kit::TableView> tableView() override { return tableView_.lock(); }
  long numberOfSectionsInTableView(kit::TableView&) override { return 2; }
  long numberOfRowsInSection(kit::TableView& table, long section) override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  void didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

 private:
  kit::Weak<kit::TableView> tableView_;
};
