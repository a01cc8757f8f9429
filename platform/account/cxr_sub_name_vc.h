// CXRSubNameVC: the sub-account chooser shown after every login. It lists
// the account's sub-accounts ("login/iosxiaohao"), lets the player add one
// under a nickname of 1 to 8 characters, one of them visible
// ("login/iosaddxiaohao"; the add
// button goes when the list holds exactly 10) and hands the chosen one to
// its delegate once the page is dismissed; a sub-account without a user
// name is never handed on. It also logs out and links to the platform's
// game-box app, or its web page when the app is not there. Its toasts show
// on the page itself, over whatever window it was presented in. Scene
// "CXRSubNameVC" of the storyboard "KTUserShow". Main thread.
//
//   auto chooser = CXRSubNameVC::instantiate();
//   chooser->delegate = card;
//   root->presentViewController(chooser, true);
#pragma once

#include "kit/foundation/array.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/table_view.h"
#include "platform/account/cxr_sub_name_model.h"
#include "platform/account/kt_base_vc.h"
#include "ui/widgets/ph_progress_hud.h"

class CXRSubNameVCDelegate {
 public:
  virtual ~CXRSubNameVCDelegate() = default;
  // Whether the delegate takes a chosen sub-account (the platform's
  // responds-to test): without it a row tap does nothing.
  virtual bool takesSubNameSelection() const { return false; }
  // The chosen sub-account, after the page has been dismissed.
  virtual void didSelectedCXRSubNameVCTableViewWithResponse(const kit::Ref<CXRSubNameModel>& /*model*/) {}
  // The player logged out, after the page has been dismissed.
  virtual void CXRSubNameVCLoginOut() {}
};

class CXRSubNameVC : public KTBaseVC, public kit::TableViewDataSource, public kit::TableViewDelegate {
 public:
  static constexpr const char* Storyboard = "KTUserShow";
  static constexpr const char* Identifier = "CXRSubNameVC";
  // The scene from its storyboard.
  static kit::Ref<CXRSubNameVC> instantiate();
  // Registers the scene with the scene registry (once; also done when the
  // program starts).
  static void registerScene();

  kit::Weak<CXRSubNameVCDelegate> delegate;

  // The sub-accounts shown, CXRSubNameModel each (made empty on first use).
  kit::Ref<kit::MutableArray> dataSource();
  // The progress HUD while an add request runs.
  const kit::Ref<PHProgressHUD>& hud() const { return hud_; }

  // The scene's outlets.
  kit::Ref<kit::Label> nameL() const { return nameL_.lock(); }
  kit::Ref<kit::TableView> tableView() const { return tableView_.lock(); }
  kit::Ref<kit::Button> addBtn() const { return addBtn_.lock(); }
  kit::Ref<kit::View> viewTop() const { return viewTop_.lock(); }
  kit::Ref<kit::View> viewMid() const { return viewMid_.lock(); }
  // The middle section's left inset.
  kit::Ref<kit::LayoutConstraint> midLeft() const { return midLeft_.lock(); }
  // The scene's other buttons: log out, the box activity and the rebates.
  kit::Ref<kit::Button> loginOutBtn() const { return loginOutBtn_.lock(); }
  kit::Ref<kit::Button> activityBtn() const { return activityBtn_.lock(); }
  kit::Ref<kit::Button> fanliBtn() const { return fanliBtn_.lock(); }

  // The scene: the top section with the account name and logout, the
  // middle section with the list and the add button, the two links.
  void loadView() override;
  // Moves the middle section in on a notched landscape screen, colours the
  // page, sets up the list and asks for the sub-accounts.
  void viewDidLoad() override;
  bool shouldAutorotate() const override { return false; }

  long numberOfRowsInSection(kit::TableView& table, long section) override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  // With a delegate that takes it: dismisses the page, then reports the
  // row. A row without a user name logs nobody in: the page stays and
  // toasts NoUserNameMessage.
  void didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  // The alert asking for a nickname.
  void addSubName();
  // Adds the sub-account with a HUD on the page; the reply's list replaces
  // the shown one.
  void addSubNameWithNickName(const kit::Ref<kit::String>& nickName);
  // Dismisses the page, then tells the delegate.
  void loginOut();
  // "vexoBox://activityURL", or the box page on the platform's web host.
  void goToBoxActivity();
  // "vexoBox://fanliURL", or the box page.
  void goToFanli();

  static constexpr size_t MaxSubAccounts = 10;
  static constexpr long MaxNickNameLength = 8;  // UTF-16 units
  static constexpr double RowHeight = 50;
  static constexpr double NotchedMidLeft = 20;
  static constexpr const char* BoxScheme = "vexoBox://";
  static constexpr const char* BoxPagePath = "cdcloud/welcome/box";
  static constexpr const char* NoUserNameMessage = "小号缺少用户名，无法登录";

 private:
  void showList(const kit::Ref<kit::Array>& list);
  // A toast over the page.
  void toast(const kit::Ref<kit::String>& message);
  void openBox(const char* link);

  kit::Ref<kit::MutableArray> dataSource_;
  kit::Ref<PHProgressHUD> hud_;
  kit::Weak<kit::Label> nameL_;
  kit::Weak<kit::TableView> tableView_;
  kit::Weak<kit::Button> addBtn_, loginOutBtn_, activityBtn_, fanliBtn_;
  kit::Weak<kit::View> viewTop_, viewMid_;
  kit::Weak<kit::LayoutConstraint> midLeft_;
};
