// What the account and payment screens use of the floating ball: the login
// window starts it after a login, the pay sheet hides and shows it, the
// facade's logout hides it and stops its play-time timer. The ball itself
// (`CXRHelperBtn`, with its window, the user centre and the countdown) lives
// above this folder, in platform/usercenter; it implements this port and the
// application installs it at start-up. Tests install a recording stand-in.
//
// Every call is made on the main thread.
#pragma once

#include <functional>
#include <memory>

#include "kit/dispatch/timer_source.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/object.h"
#include "platform/account/kt_base_response.h"

class CXRHelperBtnPort {
 public:
  // The login failure block the ball keeps: (message, code text). The ball
  // calls it with "注销" and "-9" when the player switches account in the
  // user centre.
  using FailedBlock = std::function<void(const kit::Id& message, const kit::Id& code)>;

  virtual ~CXRHelperBtnPort() = default;

  // Whether the ball's window exists.
  virtual bool isCreate() = 0;
  // Builds the ball's window, registers it under the ball's key and shows it.
  virtual void create() = 0;
  // Hide the ball's window and show it again; nothing else.
  virtual void hide() = 0;
  virtual void show() = 0;
  virtual void setFailedBlock(FailedBlock block) = 0;
  // The login whose real-name state and play-time limit drive the countdown.
  virtual void setLoginData(const kit::Ref<LoginResult>& data) = 0;
  // Starts the play-time countdown.
  virtual void startTimer() = 0;
  // The play-time timer, or nil; the facade's logout cancels it and clears it.
  virtual kit::Ref<kit::TimerSource> timer() = 0;
  virtual void setTimer(const kit::Ref<kit::TimerSource>& timer) = 0;

  // The installed ball; nullptr until one is installed (callers then do
  // nothing with the ball).
  static CXRHelperBtnPort* shared() { return installed().get(); }
  // Installs the ball (nullptr removes it). Returns the one it replaces.
  static std::shared_ptr<CXRHelperBtnPort> install(std::shared_ptr<CXRHelperBtnPort> ball) {
    std::swap(installed(), ball);
    return ball;
  }

 private:
  static std::shared_ptr<CXRHelperBtnPort>& installed() {
    static kit::NoDestructor<std::shared_ptr<CXRHelperBtnPort>> ball;
    return *ball;
  }
};
