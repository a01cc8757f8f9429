// RecordingHelperBtn: a stand-in for the floating ball that records every
// call made through CXRHelperBtnPort, in order (taking the ball through
// CXRHelperBtnPort::shared() is a lookup of the port, not a call on the
// ball, and is not recorded), keeps the failure
// block so that a test can call it as the user centre would, and keeps a
// timer that behaves as the ball's (cancellable, settable).
//
//   auto ball = RecordingHelperBtn::install();   // uninstalled when `ball` goes
//   ... open the login window, log in ...
//   EXPECT_EQ(ball->calls(), (std::vector<std::string>{"isCreate", "hide"}));
//   ball->failedBlock()(kit::str("注销"), kit::str("-9"));
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/account/cxr_helper_btn_port.h"

class RecordingHelperBtn : public CXRHelperBtnPort {
 public:
  // Installs a new stand-in as the ball; the returned handle uninstalls it
  // (putting back the one it replaced) when it goes.
  static std::shared_ptr<RecordingHelperBtn> install();

  bool isCreate() override;
  void create() override;
  void hide() override;
  void show() override;
  void setFailedBlock(FailedBlock block) override;
  void setLoginData(const kit::Ref<LoginResult>& data) override;
  void startTimer() override;
  kit::Ref<kit::TimerSource> timer() override;
  void setTimer(const kit::Ref<kit::TimerSource>& timer) override;

  // The calls so far, by name.
  const std::vector<std::string>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // What isCreate answers (false until create() or a test sets it).
  bool created = false;
  // Whether the ball is shown (create and show show it, hide hides it).
  bool visible = false;
  const FailedBlock& failedBlock() const { return failedBlock_; }
  const kit::Ref<LoginResult>& loginData() const { return loginData_; }

 private:
  std::vector<std::string> calls_;
  FailedBlock failedBlock_;
  kit::Ref<LoginResult> loginData_;
  kit::Ref<kit::TimerSource> timer_;
};
