// The countdown button. See jx_count_down_button.h.
#include "platform/account/jx_count_down_button.h"

#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/format.h"

JXCountDownButton::~JXCountDownButton() {
  if (timer_) timer_->invalidate();
}

void JXCountDownButton::addToucheHandler(TouchedBlock block) {
  touchedDownBlock_ = std::move(block);
  if (touchWired_) return;
  touchWired_ = true;
  kit::Weak<JXCountDownButton> weak = std::static_pointer_cast<JXCountDownButton>(shared_from_this());
  addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->touched();
  });
}

void JXCountDownButton::touched() {
  if (touchedDownBlock_) touchedDownBlock_(*this, tag());
}

void JXCountDownButton::startWithSecond(int second) {
  KIT_CHECK_MAIN_THREAD();
  totalSecond_ = second_ = second;
  if (timer_) timer_->invalidate();
  kit::Weak<JXCountDownButton> weak = std::static_pointer_cast<JXCountDownButton>(shared_from_this());
  timer_ = kit::Timer::create(1.0, true, [weak](kit::Timer&) {
    if (auto self = weak.lock()) self->timerStart();
  });
  kit::RunLoop::current().addTimer(timer_, kit::DefaultRunLoopMode);
}

void JXCountDownButton::timerStart() {
  if (second_ == 1) {
    stop();
    return;
  }
  --second_;
  setTitle(didChangeBlock_ ? didChangeBlock_(*this, second_) : kit::formatString("%d秒", second_),
           kit::ControlStateNormal);
}

void JXCountDownButton::stop() {
  if (!timer_ || !timer_->isValid()) return;
  timer_->invalidate();
  second_ = totalSecond_;
  setTitle(didFinishedBlock_ ? didFinishedBlock_(*this, totalSecond_) : std::string("重新获取"),
           kit::ControlStateNormal);
}
