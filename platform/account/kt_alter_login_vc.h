// KTAlterLoginVC: the login window, the platform SDK's first screen. For
// every login request the facade opens it: a full-screen window of its own,
// dimmed, whose navigation stack holds this controller and its login card
// (KTLoginView). On load it asks once whether the game's speed-up tool is
// on ("pay/getjiasu") and shows the tool's button when it is, loads the
// logo, and acts on the stored login style (log in at once, prefill the
// saved name, or the empty form). When the card reports a login the
// controller toasts, stores the real-name state, calls the success block,
// starts the floating ball and closes the window; a failure goes to the
// failure block and the window stays for another try. Scene
// "KTAlterLoginVC" of the storyboard "KTUserShow". Main thread.
//
//   KTAlterLoginVC::loadAlterLoginVCResultSuccess(
//       [](auto& time, auto& name, auto& sign, auto& realName) { ... },
//       [](auto& message, auto& code) { ... });
#pragma once

#include <functional>

#include "kit/ui/window.h"
#include "platform/account/kt_base_vc.h"
#include "platform/account/kt_login_view.h"

class KTAlterLoginVC : public KTBaseVC, public KTLoginViewDelegate {
 public:
  // (login time, user name, sign, real-name status)
  using SuccessBlock = std::function<void(const kit::Ref<kit::String>& loginTime, const kit::Ref<kit::String>& userName,
                                          const kit::Ref<kit::String>& sign, const kit::Ref<kit::String>& rzStatus)>;
  // (message, code)
  using FailedBlock = std::function<void(const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code)>;

  static constexpr const char* Storyboard = "KTUserShow";
  static constexpr const char* Identifier = "KTAlterLoginVC";
  static constexpr const char* Version = "vexo SDK版本 2.2";
  static constexpr const char* LogoPath = "appview/kefu/sdk_logo?ag=%@&time=%@";
  static constexpr const char* SpeedUpPath = "pay/getjiasu";
  static constexpr double CardDrop = 600;          // points above its place at the start
  static constexpr double CardCornerRadius = 8;
  static constexpr double DimAlpha = 0.5;
  static constexpr double FadeDuration = 0.5;      // the window dims in and clears out
  static constexpr double DropDuration = 0.5, DropDamping = 0.6, DropVelocity = 0.8;

  // Opens the login window. The success block is called once, after which
  // the window closes; the failure block once per failed attempt.
  static void loadAlterLoginVCResultSuccess(SuccessBlock success, FailedBlock failed);
  // The scene from its storyboard.
  static kit::Ref<KTAlterLoginVC> instantiate();
  // Registers the scene, and the agreement and forgotten-password pages its
  // navigation stack shows, with the scene registry (idempotent; also done
  // when the program starts).
  static void registerScene();

  ~KTAlterLoginVC() override;

  // The scene: a clear full-screen view with the card in its centre.
  void loadView() override;
  // Keeps the card in the middle of the page.
  void viewDidLayoutSubviews() override;
  void viewWillAppear(bool animated) override;
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  // A touch outside the card ends editing and cancels the card's pending
  // login step.
  void touchesBegan(const kit::TouchSet& touches, const kit::Event* event) override;

  void ktLoginViewLoginSuccessLogintime(const kit::Ref<kit::String>& loginTime, const kit::Ref<kit::String>& userName,
                                        const kit::Ref<kit::String>& sign,
                                        const kit::Ref<LoginResult>& loginData) override;
  void ktLoginViewLoginFaildeMessage(const kit::Ref<kit::String>& message,
                                     const kit::Ref<kit::String>& code) override;
  // Fades the window to clear, then hides and releases it (and with it the
  // navigation stack and this controller).
  void goBackToPreviousWindow();

  kit::Ref<KTLoginView> loginView() const { return loginView_.lock(); }
  const kit::Ref<kit::Window>& keyWindow() const { return keyWindow_; }
  void setKeyWindow(kit::Ref<kit::Window> window) { keyWindow_ = std::move(window); }
  const SuccessBlock& successBlock() const { return successBlock_; }
  void setSuccessBlock(SuccessBlock block) { successBlock_ = std::move(block); }
  const FailedBlock& failedBlock() const { return failedBlock_; }
  void setFailedBlock(FailedBlock block) { failedBlock_ = std::move(block); }

 private:
  void askSpeedUp();
  void applyLoginStyle();

  kit::Weak<KTLoginView> loginView_;
  kit::Ref<kit::Window> keyWindow_;
  SuccessBlock successBlock_;
  FailedBlock failedBlock_;
};
