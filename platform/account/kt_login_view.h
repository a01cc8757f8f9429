// KTLoginView: the login card of the login window. One view with five
// styles: the login form (0), account registration (1), phone registration
// (2), and two waiting styles with the progress dialog, logging in (3) and
// registering (4). It checks what the player typed, asks for SMS codes with
// a 30-second countdown, offers the saved accounts in a drop-down list,
// registers new accounts and logs in.
//
// A login does not end with the server's answer: the card stores the
// login values, waits 1.5 s (a delayed call on the card, which the
// change-account button and a touch outside the card cancel), asks for
// real-name verification when the server demands it, shows the platform's
// notice once per notice, lets the player choose a sub-account and only
// then reports the chosen sub-account's login to its delegate
// (kt_login_chain.cc).
//
// The card's layout is the login window's scene: make() builds it with its
// outlets, and the height constraints below hold the values the style
// switch sets; layoutSubviews stacks the panels by them. Main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/table_view.h"
#include "kit/ui/text_field.h"
#include "kit/ui/view.h"
#include "kit/ui/view_controller.h"
#include "platform/account/account_table_view.h"
#include "platform/account/cxr_real_name_view.h"
#include "platform/account/cxr_sub_name_vc.h"
#include "platform/account/jx_count_down_button.h"
#include "platform/account/kt_base_response.h"
#include "platform/account/kt_login_api.h"
#include "ui/widgets/kt_progress_dp.h"
#include "ui/widgets/ph_progress_hud.h"

class KTLoginViewDelegate {
 public:
  virtual ~KTLoginViewDelegate() = default;
  // The chosen sub-account's login time, user name and sign, with the
  // login result of the main account.
  virtual void ktLoginViewLoginSuccessLogintime(const kit::Ref<kit::String>& loginTime,
                                                const kit::Ref<kit::String>& userName,
                                                const kit::Ref<kit::String>& sign,
                                                const kit::Ref<LoginResult>& loginData) = 0;
  // A failed login ("z" of the server, or "501") or registration ("-8").
  virtual void ktLoginViewLoginFaildeMessage(const kit::Ref<kit::String>& message,
                                             const kit::Ref<kit::String>& code) = 0;
};

class KTLoginView : public kit::View,
                    public kit::TableViewDelegate,
                    public kit::TextFieldDelegate,
                    public CXRRealNameDelegate,
                    public CXRSubNameVCDelegate {
 public:
  enum Style : long { Login = 0, AccountRegister = 1, PhoneRegister = 2, LoggingIn = 3, Registering = 4 };

  // The card of the login window's scene, with its outlets and actions.
  static kit::Ref<KTLoginView> make();
  explicit KTLoginView(const kit::Rect& frame) : kit::View(frame) {}

  kit::Weak<KTLoginViewDelegate> delegate;

  // ---- Styles and input (kt_login_view.cc)
  long UsingStyle() const { return usingStyle_; }
  // Stores the style and stops the countdown; 0 to 4 also set the heights
  // and texts of that style, larger values nothing else.
  void setUsingStyle(long style);
  // Whether the fields of the current style are acceptable; the first
  // problem shows as a toast on the card.
  bool check();

  // Actions.
  void gotoLoginAndQuickRegister();  // the main button
  void sendCode();                   // the countdown button
  void regist();
  void phoneRegister();
  void accountRegister();
  void backLogin();
  // The change-account button of the logging-in style: back to the form,
  // the HUD goes and the login stops wherever it is: a login answer still
  // on its way is dropped (nothing stored, no account saved), the pending
  // step after the pause is cancelled, and a notice answer is ignored.
  void changeBtn();
  void btnUpOrDown();              // the saved-account list
  void btnShowOrHidden();          // shows or hides the password
  void btnSelectedOrUnselected();  // the agreement box
  // The agreement link next to the box and the forgotten-password button of
  // the login form: each pushes its page (KTShowHTMLVC,
  // KTForgetPasswordVC, from the login window's storyboard) on the
  // navigation stack the card is in. The card stays below it as it is, so
  // back returns to the fields as they were.
  void protocalBtnClick();
  void forgetPwdBtnClick();

  // What the registration's answer does: a registered account logs in a
  // second later with the name and password of the answer, or with those
  // the player typed where the answer leaves them out; a refusal is
  // toasted and the card returns to the form of `formStyle`.
  void registered(const kit::Ref<RegisterResult>& result);
  void registrationFailed(const kit::Ref<kit::String>& message, long formStyle);

  // ---- The login chain (kt_login_chain.cc)
  // Logs in with currentUserName and currenPwd.
  void postLogin();
  // After the 1.5 s pause: the real-name prompt or the notice step.
  void initGameView(const kit::Ref<LoginResult>& result);
  void setUpRealNameViewWithResponse(const kit::Ref<LoginResult>& result);
  void goNoticeViewWithResponse(const kit::Ref<LoginResult>& result);
  void initSubNameVC();
  void loginFailedMessage(const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code);
  // Finishes without the chooser, reporting the login result itself.
  void goToGameWithResponse(const kit::Ref<LoginResult>& result);
  // The nearest view controller above the card, or nil.
  kit::Ref<kit::ViewController> viewController() const;

  // CXRRealNameDelegate: the form finished or was skipped.
  bool takesRealNameResponse() const override { return true; }
  void CXRRealNameView(::CXRRealNameView& view, const kit::Ref<LoginResult>& response) override;
  // CXRSubNameVCDelegate. A sub-account without a user name logs nobody
  // in: the chooser shows again with the reason.
  bool takesSubNameSelection() const override { return true; }
  void didSelectedCXRSubNameVCTableViewWithResponse(const kit::Ref<CXRSubNameModel>& model) override;
  void CXRSubNameVCLoginOut() override;

  // TableViewDelegate (the saved-account list): fills the login form.
  void didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  // TextFieldDelegate: the return key moves to the next field.
  bool textFieldShouldReturn(kit::TextField& field) override;
  // A touch on the card ends editing.
  void touchesBegan(const kit::TouchSet& touches, const kit::Event* event) override;
  void layoutSubviews() override;

  // ---- State
  const kit::Ref<kit::String>& currentUserName() const { return currentUserName_; }
  void setCurrentUserName(const kit::Ref<kit::String>& name) { currentUserName_ = name; }
  const kit::Ref<kit::String>& currenPwd() const { return currenPwd_; }
  void setCurrenPwd(const kit::Ref<kit::String>& pwd) { currenPwd_ = pwd; }
  kit::Ref<KTProgressDP> dp() const { return dp_.lock(); }
  kit::Ref<AccountTableView> tableView() const { return tableView_.lock(); }
  const kit::Ref<PHProgressHUD>& hud() const { return hud_; }
  const kit::Ref<LoginResult>& loginData() const { return loginData_; }

  // ---- Outlets
  struct Outlets {
    kit::Weak<kit::ImageView> loginPic;
    kit::Weak<kit::TextField> loginName, loginPwd;
    kit::Weak<kit::View> LoginNameView, LoginPwdView;
    kit::Weak<kit::Button> accuntChange, showOrHiddenBtn;
    kit::Weak<kit::Label> state;
    kit::Weak<kit::TextField> registerName, registerpwd, signCode;
    kit::Weak<kit::View> registerNameView, registerPwdView, iphoneCodeView;
    kit::Weak<kit::ImageView> registerNameIconView;
    kit::Weak<JXCountDownButton> sendCodeBtn;
    kit::Weak<kit::Button> selectBtn, protocalbtn;
    kit::Weak<kit::View> progressView;
    kit::Weak<kit::Label> tishiTitle;
    // The panels the heights belong to, and the scene's buttons.
    kit::Weak<kit::View> loginPanel, registerPanel, accountView, iphoneView;
    kit::Weak<kit::Button> loginBtn, registerBtn, changeButton, forgetPwdBtn;
  };
  // Strong: the constraints are held by the card, not by the views.
  struct Constraints {
    kit::Ref<kit::LayoutConstraint> loginViewH, registerH, signCodeH, distace, accountViewH, iphoneViewH,
        progressH, changeBtnH, welcomeTitleH;
  };
  const Outlets& outlets() const { return outlets_; }
  const Constraints& constraints() const { return constraints_; }
  template <class T>
  static kit::Ref<T> get(const kit::Weak<T>& outlet) {
    return outlet.lock();
  }

  // The scene's measures.
  static constexpr double Width = 300, Height = 370;
  static constexpr double LogoH = 60;      // the logo band above the panels
  static constexpr double PanelH = 310;    // a form panel
  static constexpr kit::Rect AccountListFrame{18, 116, 264, 126};
  static constexpr kit::Size ProgressSize{144, 85};
  static constexpr double LoginPause = 1.5;         // seconds from the reply to the next step
  static constexpr double RegisterLoginDelay = 1.0; // from a registration to its login
  static constexpr int CodeSeconds = 30;
  static constexpr long RealNameTag = 1000;
  static constexpr double SlideOut = 600;           // points down at the end
  static constexpr const char* InitGameViewSelector = "initGameView:";
  // The logging-in style's greeting, after the user name when one is known.
  static constexpr const char* WelcomeBack = "欢迎回来";

 private:
  friend class KTLoginViewScene;
  void showProgress(const char* title);
  void dismissProgress();
  void dropHUD();
  // Drops the answer of a login still on its way, and ends the notice
  // step's wait (its HUD goes, its answer will be ignored).
  void stopLogin();
  void removeAccountList();
  void slideOut(std::function<void()> then);
  void showNotice(const kit::Ref<GetNotice>& notice);
  // Pushes the page's scene on the card's navigation stack (nothing
  // without a stack or a scene of that class).
  template <class Page>
  void pushPage();

  long usingStyle_ = Login;
  kit::Ref<kit::String> currentUserName_, currenPwd_;
  kit::Weak<KTProgressDP> dp_;
  kit::Weak<AccountTableView> tableView_;
  kit::Ref<PHProgressHUD> hud_;
  kit::Ref<LoginResult> loginData_;
  // The login whose answer is awaited, and the count of logins started or
  // stopped: an answer of the notice step counts only for the login that
  // asked for it.
  std::shared_ptr<KTLoginAPI::LoginRequest> login_;
  unsigned long chain_ = 0;
  // The login (its chain_ count) whose notice step has started.
  std::optional<unsigned long> noticeChain_;
  Outlets outlets_;
  Constraints constraints_;
};
