// Display links as repeating run loop timers.
#include "kit/ui/display_link.h"

#include "kit/dispatch/clock.h"

namespace kit {

DisplayLink::~DisplayLink() {
  if (timer_) timer_->invalidate();
}

void DisplayLink::addToRunLoop(RunLoop& loop, const std::string& mode) {
  if (!callback_) return;
  loop_ = &loop;
  mode_ = mode;
  schedule();
}

void DisplayLink::schedule() {
  if (timer_) timer_->invalidate();
  if (!loop_ || !callback_) return;
  Weak<DisplayLink> weak = std::static_pointer_cast<DisplayLink>(weak_from_this().lock());
  timer_ = Timer::create(duration() * frameInterval_, true, [weak](Timer&) {
    auto self = weak.lock();
    if (!self || !self->callback_ || self->paused_) return;
    self->timestamp_ = Clock::now();
    ++self->frames_;
    Callback call = self->callback_;
    call(*self);
  });
  loop_->addTimer(timer_, mode_);
}

void DisplayLink::setPreferredFramesPerSecond(int fps) {
  fps_ = fps < 0 ? 0 : fps;
  if (timer_) schedule();
}

void DisplayLink::setFrameInterval(int interval) {
  interval = interval < 1 ? 1 : interval;
  if (interval == frameInterval_) return;
  frameInterval_ = interval;
  if (timer_) schedule();
}

void DisplayLink::invalidate() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  callback_ = nullptr;
  loop_ = nullptr;
}

}  // namespace kit
