// Test support (header only, for *_test.cc): a floating ball that records
// what the account and pay screens ask of it, installed for the lifetime of
// the object.
#pragma once

#include <memory>

#include "platform/account/cxr_helper_btn_port.h"

class RecordingHelperBtn : public CXRHelperBtnPort {
 public:
  int hides = 0, shows = 0, creates = 0, timerStarts = 0;
  bool created = false;
  FailedBlock failedBlock;
  kit::Ref<LoginResult> loginData;
  kit::Ref<kit::TimerSource> timer_;

  bool isCreate() override { return created; }
  void create() override {
    ++creates;
    created = true;
  }
  void hide() override { ++hides; }
  void show() override { ++shows; }
  void setFailedBlock(FailedBlock block) override { failedBlock = std::move(block); }
  void setLoginData(const kit::Ref<LoginResult>& data) override { loginData = data; }
  void startTimer() override { ++timerStarts; }
  kit::Ref<kit::TimerSource> timer() override { return timer_; }
  void setTimer(const kit::Ref<kit::TimerSource>& timer) override { timer_ = timer; }
};

// Installs a recording ball and removes it again.
struct RecordingHelperBtnScope {
  std::shared_ptr<RecordingHelperBtn> ball = std::make_shared<RecordingHelperBtn>();
  RecordingHelperBtnScope() { CXRHelperBtnPort::install(ball); }
  ~RecordingHelperBtnScope() { CXRHelperBtnPort::install(nullptr); }
};
