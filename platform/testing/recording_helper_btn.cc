// The recording floating ball. See recording_helper_btn.h.
#include "platform/testing/recording_helper_btn.h"

std::shared_ptr<RecordingHelperBtn> RecordingHelperBtn::install() {
  auto ball = std::make_shared<RecordingHelperBtn>();
  std::shared_ptr<CXRHelperBtnPort> replaced = CXRHelperBtnPort::install(ball);
  // The handle puts back the ball it replaced, unless another one was
  // installed after it.
  RecordingHelperBtn* raw = ball.get();
  return std::shared_ptr<RecordingHelperBtn>(ball.get(), [keep = ball, replaced, raw](RecordingHelperBtn*) mutable {
    if (CXRHelperBtnPort::shared() == raw) CXRHelperBtnPort::install(replaced);
    keep.reset();
  });
}

bool RecordingHelperBtn::isCreate() {
  calls_.push_back("isCreate");
  return created;
}

void RecordingHelperBtn::create() {
  calls_.push_back("create");
  created = true;
  visible = true;
}

void RecordingHelperBtn::hide() {
  calls_.push_back("hide");
  visible = false;
}

void RecordingHelperBtn::show() {
  calls_.push_back("show");
  visible = true;
}

void RecordingHelperBtn::setFailedBlock(FailedBlock block) {
  calls_.push_back("setFailedBlock");
  failedBlock_ = std::move(block);
}

void RecordingHelperBtn::setLoginData(const kit::Ref<LoginResult>& data) {
  calls_.push_back("setLoginData");
  loginData_ = data;
}

void RecordingHelperBtn::startTimer() { calls_.push_back("startTimer"); }

kit::Ref<kit::TimerSource> RecordingHelperBtn::timer() {
  calls_.push_back("timer");
  return timer_;
}

void RecordingHelperBtn::setTimer(const kit::Ref<kit::TimerSource>& timer) {
  calls_.push_back("setTimer");
  timer_ = timer;
}
