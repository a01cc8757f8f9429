// KTSuHomeVC: the first page of the user centre (scene "KTSuHomeVC" of the
// storyboard "KTSuspendVC"): the player's name, avatar, platform coins and
// vouchers ("Home/index"), the activity text, the game's rebate text
// (collapsed to 47 points when longer), the three newest messages
// ("News/lists" with "num" "3", asked after the home reply), the real-name
// button and form, the game-box links, the account page, the full message
// list and the account switch. A finished real-name verification reported
// by a web page ("KT_RZ_NOTIFI") disables the real-name button. Main
// thread.
#pragma once

#include <functional>

#include "kit/foundation/notification_center.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/table_view.h"
#include "kit/ui/view_controller.h"
#include "net/http_session_manager.h"
#include "platform/account/cxr_real_name_view.h"
#include "platform/usercenter/kt_su_models.h"
#include "platform/usercenter/kt_suspend_vc.h"

class KTSuHomeVC : public kit::ViewController,
                   public kit::TableViewDataSource,
                   public kit::TableViewDelegate,
                   public CXRRealNameDelegate,
                   public KTSuLoginOutPage {
 public:
  static constexpr const char* Identifier = "KTSuHomeVC";
  static constexpr const char* HomePath = "Home/index";
  static constexpr const char* NewsPath = "News/lists";
  static constexpr const char* NewsCount = "3";
  static constexpr const char* UserIcon = "KT_Helper_UserIcon.png";
  static constexpr const char* UserPage = "appview/User/sdkuser";
  static constexpr const char* ActivityTitle = "专属活动";
  static constexpr const char* MessageTitle = "消息详情";
  static constexpr const char* SwitchTitle = "切换账号";
  static constexpr const char* RealNameTitle = "实名认证";
  // The rebate text's collapsed height and the boxes it sits in.
  static constexpr double FoldedH = 47, MidH = 160, ContentH = 597, RebateW = 270, RebateFontSize = 13;
  static constexpr double NewsRowH = 40;
  // Points between the title and the image right of it on 更多 and 展开.
  static constexpr double ImageTitleSpace = 5;
  static void registerScene();

  ~KTSuHomeVC() override;
  void loadView() override;
  void viewDidLoad() override;

  // ---- Requests.
  void loadData();
  void loadMsgData();
  void initUIWithData(const kit::Id& data);
  const kit::Ref<SDPHTTPSessionManager>& manager();

  // ---- Actions.
  void checkFanli(kit::Button& button);
  void doRzBtnClick();
  void goToGoldStore() { goToBoxWithKey("goldStoreURL"); }
  void goToFanli() { goToBoxWithKey("fanliURL"); }
  void getGoldCoin() { goToBoxWithKey("scoreMissionURL"); }
  void goToBoxWithKey(const std::string& key);
  void goToActivityVC();
  void doMore() { loadMsgVC(); }
  void changeUser();
  void goToUserVC();
  void loadWebVcWithUrl(const std::string& url, const kit::Ref<kit::String>& name);
  void loadMsgVC();
  // A web page reported a finished real-name verification.
  void RzUpdated(const kit::Ref<kit::Notification>& notification);

  // ---- The real-name form's report.
  bool takesRealNameResponse() const override { return true; }
  void CXRRealNameView(::CXRRealNameView& view, const kit::Ref<LoginResult>& response) override;

  // ---- News table.
  long numberOfRowsInSection(kit::TableView&, long) override { return static_cast<long>(msgData()->count()); }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  void didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  void setLoginOutBlock(std::function<void()> block) override { loginOutBlock_ = std::move(block); }
  const std::function<void()>& loginOutBlock() const { return loginOutBlock_; }

  float realHeight() const { return realHeight_; }
  const kit::Ref<kit::MutableArray>& msgData();
  const kit::Ref<kit::TableView>& tableView();
  const kit::Ref<kit::View>& coverView();
  const kit::Ref<::CXRRealNameView>& rzView();
  const kit::Id& data() const { return data_; }
  // How many Home/index and News/lists requests have come back.
  int homeReplies() const { return homeReplies_; }
  int newsReplies() const { return newsReplies_; }

  // Outlets.
  kit::Ref<kit::ScrollView> scrollView() const { return scrollView_.lock(); }
  kit::Ref<kit::View> bottomView() const { return bottomView_.lock(); }
  kit::Ref<kit::Label> nameL() const { return nameL_.lock(); }
  kit::Ref<kit::Label> ptbL() const { return ptbL_.lock(); }
  kit::Ref<kit::Label> djqL() const { return djqL_.lock(); }
  kit::Ref<kit::Label> activityL() const { return activityL_.lock(); }
  kit::Ref<kit::Label> fanliL() const { return fanliL_.lock(); }
  kit::Ref<kit::Button> userBtn() const { return userBtn_.lock(); }
  kit::Ref<kit::LayoutConstraint> fanH() const { return fanH_.lock(); }
  kit::Ref<kit::LayoutConstraint> midViewH() const { return midViewH_.lock(); }
  kit::Ref<kit::Button> checkBtn() const { return checkBtn_.lock(); }
  kit::Ref<kit::Button> moreBtn() const { return moreBtn_.lock(); }
  kit::Ref<kit::Button> rzBtn() const { return rzBtn_.lock(); }

 private:
  void setRebate(double fan, double mid, double content);

  float realHeight_ = 0;
  std::function<void()> loginOutBlock_;
  kit::Weak<kit::ScrollView> scrollView_;
  kit::Weak<kit::View> bottomView_, contentView_;
  kit::Weak<kit::Label> nameL_, ptbL_, djqL_, activityL_, fanliL_;
  kit::Weak<kit::Button> userBtn_, checkBtn_, moreBtn_, rzBtn_;
  kit::Weak<kit::LayoutConstraint> fanH_, midViewH_;
  kit::Ref<kit::TableView> tableView_;
  kit::Ref<SDPHTTPSessionManager> manager_;
  kit::Id data_;
  kit::Ref<kit::MutableArray> msgData_;
  kit::Ref<kit::View> coverView_;
  kit::Ref<::CXRRealNameView> rzView_;
  int homeReplies_ = 0, newsReplies_ = 0;
  kit::Id rzObserver_;
};
