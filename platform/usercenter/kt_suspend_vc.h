// KTSuspendVC: the user centre, presented by the awake floating ball over
// the game. A panel at the left of the screen (the view with tag 1000, over
// which pages slide in their sub-pages) holds the page area and a bar of
// five buttons (tags 10 to 14: home, server openings, welfare, account
// trade, customer service), each switching to its child controller. Red
// dots on the home and welfare buttons show when the server counts more
// news, gift packs or coupon records than the player has seen. Closing
// shows the ball again; the home page's account switch goes through
// `loginOutBlock` to the ball. Main thread.
//
// Its pages are scenes of the storyboard "KTSuspendVC"; the home page
// implements KTSuLoginOutPage, through which the container hands it the
// account switch.
#pragma once

#include <array>
#include <functional>

#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/view_controller.h"
#include "net/http_session_manager.h"
#include "platform/usercenter/kt_su_red_counts.h"

// A page that can ask for an account switch (the home page).
class KTSuLoginOutPage {
 public:
  virtual ~KTSuLoginOutPage() = default;
  virtual void setLoginOutBlock(std::function<void()> block) = 0;
};

class KTSuspendVC : public kit::ViewController {
 public:
  static constexpr const char* Storyboard = "KTSuspendVC";
  static constexpr const char* Identifier = "KTSuspendVC";
  static constexpr const char* RedCountPath = "Home/number";
  // The pages by button tag (10 + index), in the order they are added.
  static constexpr std::array<const char*, 5> PageIdentifiers = {"KTSuHomeVC", "KTSuKaiFuVC", "KTSuWelfareVC",
                                                                 "KTSuTradeVC", "KTSuServiceVC"};
  static constexpr std::array<const char*, 5> PageTitles = {"首页", "开服", "福利", "交易", "客服"};
  static constexpr std::array<const char*, 5> PageIcons = {"KT_su_home.png", "KT_su_kaifu.png", "KT_su_welfare.png",
                                                           "KT_su_trade.png", "KT_su_service.png"};
  static constexpr const char* RedDotIcon = "KT_su_red.png";
  static constexpr long FirstTag = 10;
  static constexpr long SlideAreaTag = 1000;
  static constexpr double ImageTitleSpace = 10;

  // Registers the container's scene and its pages (idempotent; the ball
  // does it before it opens the user centre, the program when it starts).
  static void registerScene();

  // Ends the red-dot client's session (a session keeps its client alive).
  ~KTSuspendVC() override;
  void loadView() override;
  void viewDidLoad() override;
  void viewWillTransitionToSize(kit::Size size) override;
  bool shouldAutorotate() const override { return false; }

  // The five bar buttons' action.
  void btnClick(const kit::Ref<kit::Button>& sender);
  void addChildVcs();
  void recordScreenStatus();
  void setScreenFlag(int flag);
  // The close action: the ball shown again, the container dismissed.
  void goBackGameVC();
  void hiddenHelperVC();
  // Asks the server for the red-dot counts.
  void showRedCount();
  // What a red-dot reply does to the dots.
  void applyRedCounts(const kit::Id& reply);

  const kit::Ref<SDPHTTPSessionManager>& manager();
  bool isX() const { return isX_; }
  int screenFlag() const { return screenFlag_; }
  const std::function<void()>& loginOutBlock() const { return loginOutBlock_; }
  void setLoginOutBlock(std::function<void()> block) { loginOutBlock_ = std::move(block); }

  // Outlets.
  kit::Ref<kit::LayoutConstraint> top() const { return top_.lock(); }
  kit::Ref<kit::LayoutConstraint> left() const { return left_.lock(); }
  kit::Ref<kit::LayoutConstraint> width() const { return width_.lock(); }
  kit::Ref<kit::LayoutConstraint> bottomH() const { return bottomH_.lock(); }
  kit::Ref<kit::View> tempView() const { return tempView_.lock(); }
  kit::Ref<kit::View> bottomView() const { return bottomView_.lock(); }
  kit::Ref<kit::Button> homeBtn() const { return homeBtn_.lock(); }
  kit::Ref<kit::ImageView> homeRed() const { return homeRed_.lock(); }
  kit::Ref<kit::ImageView> welfareRed() const { return welfareRed_.lock(); }
  kit::Ref<kit::Button> closeBtn() const { return closeBtn_.lock(); }
  const kit::Ref<kit::Button>& chooseBtn() const { return chooseBtn_; }
  const kit::Ref<kit::View>& addView() const { return addView_; }
  // The bar button of a tag (10 to 14), or nil.
  kit::Ref<kit::Button> barButton(long tag) const;
  long suHomeCount() const { return suHomeCount_; }
  long suGiftCount() const { return suGiftCount_; }
  long suCouponCount() const { return suCouponCount_; }
  // How many red-dot requests have come back (answered or failed).
  int redCountAnswers() const { return redCountAnswers_; }

 private:
  bool isX_ = false;
  int screenFlag_ = 1;
  std::function<void()> loginOutBlock_;
  kit::Weak<kit::LayoutConstraint> top_, left_, width_, bottomH_;
  kit::Weak<kit::View> tempView_, bottomView_;
  kit::Weak<kit::Button> homeBtn_, closeBtn_;
  kit::Weak<kit::ImageView> homeRed_, welfareRed_;
  kit::Ref<kit::Button> chooseBtn_;
  kit::Ref<SDPHTTPSessionManager> manager_;
  long suHomeCount_ = 0, suGiftCount_ = 0, suCouponCount_ = 0;
  int redCountAnswers_ = 0;
  kit::Ref<kit::View> addView_;
};
