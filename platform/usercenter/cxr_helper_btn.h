// CXRHelperBtn: the floating ball. After a platform login it floats above
// the game in a window of its own (registered in CXRWindowManager under the
// ball's md5Key, at twice the alert level), follows the finger, docks half
// hidden at the nearest edge when released, comes out 50 points when
// tapped, and when tapped while out hides itself and presents the user
// centre (KTSuspendVC) from the registry's top window. It also runs the
// play-time countdown of players under the real-name rules and keeps the
// login window's failure block, through which the user centre asks for an
// account switch ("注销", "-9").
//
// The account and pay screens reach it through CXRHelperBtnPort; the
// application installs the shared ball as that port at launch. Main thread
// (the countdown ticks on a global queue and hops to the main queue).
//
//   auto ball = CXRHelperBtn::shared();
//   if (CXRHelperBtn::isCreate()) CXRHelperBtn::show(); else ball->create();
//   ball->setLoginData(result);
//   ball->startTimer();
#pragma once

#include <string>

#include "kit/dispatch/timer_source.h"
#include "kit/ui/button.h"
#include "kit/ui/view_controller.h"
#include "platform/account/cxr_helper_btn_port.h"

// The root controller of the ball's window: a view as large as the screen.
class CXRSuspensionViewController : public kit::ViewController {
 public:
  void loadView() override;
  bool prefersStatusBarHidden() const override { return false; }
};

class CXRHelperBtn : public kit::Button, public CXRHelperBtnPort {
 public:
  // Docking directions (btnAnimations).
  enum Direction : int { Left = 0, Top = 1, Right = 2, Bottom = 3, None = 4 };
  static constexpr double Side = 60;          // the ball is 60 x 60
  static constexpr double ComeOut = 50;       // how far a woken ball stands inside an edge
  static constexpr double Speed = 600;        // points per second of every animated move
  static constexpr double DeadZone = 30;      // a drag starts this far from the centre
  static constexpr double DockDuration = 0.1;
  static constexpr double TickInterval = 10;     // seconds of one countdown tick
  static constexpr double ReportInterval = 900;  // an online-time report every 900 s of play
  static constexpr const char* IconPath = "appview/kefu/sdk_floaticon";
  static constexpr const char* StopIcon = "KT_HelpBtn_StopIcon.png";

  CXRHelperBtn();
  ~CXRHelperBtn() override;

  // ---- Class operations
  // The one ball, made on first use (main thread).
  static kit::Ref<CXRHelperBtn> shared();
  // The account screens' port to the shared ball; the ball is made by the
  // first call that needs it.
  static std::shared_ptr<CXRHelperBtnPort> sharedPort();
  static bool hasShared();
  // Show, hide or destroy the shared ball's window through the registry.
  static void showBall();
  static void hideBall();
  static void distory();
  // Whether the shared ball's window is registered (NO before the ball
  // exists; asking does not make it).
  static bool isCreateBall();
  // Drops the shared ball, destroying its window and stopping its
  // countdown (tests).
  static void resetShared();

  // ---- CXRHelperBtnPort
  bool isCreate() override { return isCreateBall(); }
  void create() override;
  void hide() override { hideBall(); }
  void show() override { showBall(); }
  void setFailedBlock(FailedBlock block) override { failedBlock_ = std::move(block); }
  void setLoginData(const kit::Ref<LoginResult>& data) override { loginData_ = data; }
  void startTimer() override;
  kit::Ref<kit::TimerSource> timer() override { return timer_; }
  void setTimer(const kit::Ref<kit::TimerSource>& timer) override { timer_ = timer; }

  // ---- The ball
  int status() const { return status_; }
  void setStatus(int status);
  int btnAnimations() const { return btnAnimations_; }
  int screenFlag() const { return screenFlag_; }
  bool isMoving() const { return isMoving_; }
  int touchCount() const { return touchCount_; }
  const FailedBlock& failedBlock() const { return failedBlock_; }
  const kit::Ref<LoginResult>& loginData() const { return loginData_; }
  // The registry key of the ball's window: the MD5 of the ball's first
  // description, 32 upper-case hex digits, fixed for the ball's life.
  const std::string& md5Key();
  std::string getCurrentMd5Key() const;
  // The icon's address: "<web host>appview/kefu/sdk_floaticon?ag=<channel>&time+<seconds>".
  static std::string iconURL();

  // Release and tap (the touch-up-inside action).
  void endDo();
  // Hides the ball's window and presents the user centre.
  void doShowHelperVC();
  void startAnimation(int direction);
  int checkingDirection();
  void recordScreenStatus();
  void moveWhenTouchToChangesStatus();
  void starMoveToCenter(kit::Point point);
  // The countdown over `total` seconds, measured on the boot clock, so
  // that neither a stalled process nor a sleeping machine pushes its end
  // back.
  void loadTimerWithTotal(double total);

  void touchesMoved(const kit::TouchSet& touches, const kit::Event* event) override;

 private:
  // A drag that ended outside the ball or was cancelled.
  void endDrag();
  kit::Ref<kit::Window> ballWindow();
  // Runs on the main queue if `source` is still the ball's countdown.
  static void onMainIfCurrent(const kit::Weak<CXRHelperBtn>& ball, const kit::Weak<kit::TimerSource>& source,
                              std::function<void(CXRHelperBtn&)> work);
  void showGameOver();
  void stopTimer();

  int status_ = 0;
  int btnAnimations_ = None;
  int screenFlag_ = 1;
  bool isMoving_ = false;
  int touchCount_ = 0;
  kit::Ref<kit::TimerSource> timer_;
  FailedBlock failedBlock_;
  kit::Ref<LoginResult> loginData_;
  std::string md5Key_;
};
