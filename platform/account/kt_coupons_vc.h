// KTCouponsVC: the coupon picker the pay sheet opens. It asks the platform
// which of the player's coupons exist for the order amount
// ("pay/getcoupons"), lists them as cards (KTCouponsCell) and hands the one
// the player chooses to couponsBlock, then closes. Whether a coupon can be
// used for the amount is the server's word ("av"); the picker only shows it.
// A refused or failed request leaves the list as it was, without a message;
// the player closes the picker. A link at the bottom leads to the game box
// (its app when installed, else its web page).
//
// Scene "KTCouponsVC" of the storyboard "KTNewPayVC" (kit's scene
// registry): over a dimmed screen, the panel `couponsView` (75 points from
// the top and the bottom, `left` points from either side) with its title,
// the close button, the list and the game-box link. Main thread.
//
//   auto picker = std::dynamic_pointer_cast<KTCouponsVC>(
//       kit::Storyboard::named("KTNewPayVC")->instantiateViewController("KTCouponsVC"));
//   picker->setMoney(kit::str("30"));
//   picker->setCouponsBlock([](const kit::Ref<KTCouponsModel>& coupon) { ... });
//   sheet->presentViewController(picker, true);
#pragma once

#include <functional>

#include "kit/foundation/array.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/table_view.h"
#include "kit/ui/view_controller.h"
#include "net/network_manager.h"
#include "platform/account/kt_coupons_cell.h"
#include "platform/account/kt_coupons_model.h"

class KTCouponsVC : public kit::ViewController, public kit::TableViewDataSource, public kit::TableViewDelegate {
 public:
  using CouponsBlock = std::function<void(const kit::Ref<KTCouponsModel>& model)>;

  static constexpr const char* kStoryboard = "KTNewPayVC";
  static constexpr const char* kIdentifier = "KTCouponsVC";
  static constexpr const char* kCellIdentifier = "KTCouponsCell";
  static constexpr const char* kEndpoint = "pay/getcoupons";
  static constexpr const char* kBoxAppURL = "vexoBox://";
  static constexpr const char* kBoxPath = "cdcloud/welcome/box";
  static constexpr double RowHeight = 100;

  // Registers the picker's scene and the nib of its rows (idempotent).
  static void registerScene();

  // The scene: the dimmed screen, the panel and its fixed parts.
  void loadView() override;
  // The list into the panel, the panel's inset, then loadData.
  void viewDidLoad() override;

  // Made on first use.
  kit::Ref<NetWorkManager> manager();
  // The game box's app when it can be opened, else its web page with the
  // channel; the picker closes either way.
  void goToGameBox();
  // Asks for the player's coupons for `money`.
  void loadData();
  // What loadData does with a reply (logged; "code" 1 appends one model per
  // dictionary of "data", in order, and reloads the list; anything else
  // changes nothing).
  void handleCouponsReply(const kit::Id& reply);
  const kit::Ref<kit::MutableArray>& dataSource();
  const kit::Ref<kit::TableView>& tableView();
  // Closes the picker without choosing.
  void doCancel();
  bool shouldAutorotate() const override { return false; }

  // ---- List
  long numberOfRowsInSection(kit::TableView& table, long section) override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  const kit::Ref<kit::String>& money() const { return money_; }
  void setMoney(const kit::Ref<kit::String>& v) { money_ = v ? kit::str(v->utf8()) : nullptr; }
  const CouponsBlock& couponsBlock() const { return couponsBlock_; }
  void setCouponsBlock(CouponsBlock v) { couponsBlock_ = std::move(v); }
  kit::Ref<kit::View> couponsView() const { return couponsView_.lock(); }
  kit::Ref<kit::LayoutConstraint> left() const { return left_.lock(); }

  // The scene's close button and game-box link (for tests and pictures).
  kit::Ref<kit::Button> closeButton() const { return closeButton_.lock(); }
  kit::Ref<kit::Button> boxButton() const { return boxButton_.lock(); }

 private:
  // The chosen coupon: to the block, then close.
  void choose(const kit::Ref<KTCouponsModel>& model);

  kit::Ref<kit::String> money_;
  CouponsBlock couponsBlock_;
  kit::Weak<kit::View> couponsView_;
  kit::Weak<kit::LayoutConstraint> left_;
  kit::Weak<kit::Button> closeButton_, boxButton_;
  kit::Ref<kit::MutableArray> dataSource_;
  kit::Ref<kit::TableView> tableView_;
  kit::Ref<NetWorkManager> manager_;
};
