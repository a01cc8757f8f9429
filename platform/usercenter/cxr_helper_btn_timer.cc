// The floating ball's play-time countdown. See cxr_helper_btn.h.
//
// The remaining time is measured on every tick against a deadline on the
// boot clock, never by counting ticks: a process that stalled gets its
// missed ticks in one call, and timers stand still while the machine
// sleeps, but the boot clock keeps counting through both, so the limit
// comes at the first tick past it however long the ticks stopped.
//
// The tick runs on a global queue and is the only writer of its schedule;
// what it does on screen or on the network is sent to the main queue, where
// it runs only while its timer is still the ball's countdown, so that a
// countdown replaced by a new login or stopped by a logout leaves nothing
// behind.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "kit/dispatch/clock.h"
#include "kit/foundation/format.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/ui/screen.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/account/kt_game_over_view.h"
#include "platform/account/kt_login_api.h"
#include "platform/usercenter/cxr_helper_btn.h"

namespace {

struct Countdown {
  double deadline = 0;  // Clock::bootNow() at which play time ends
  double started = 0;   // Clock::bootNow() at the start: reports count from here
  int32_t uploads = 1;  // number of the next periodic report
};

double numberOf(const kit::Ref<kit::String>& text) {
  if (!text) return 0;
  const std::string value = text->utf8();
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  return end == value.c_str() ? 0 : number;
}

}  // namespace

void CXRHelperBtn::stopTimer() {
  if (!timer_) return;
  timer_->cancel();
  timer_.reset();
}

void CXRHelperBtn::showGameOver() {
  auto top = CXRWindowManager::topWindow();
  if (top) top->addSubview(KTGameOverView::make(kit::Screen::main()->bounds()));
}

void CXRHelperBtn::startTimer() {
  KIT_CHECK_MAIN_THREAD();
  stopTimer();
  if (!loginData_ || !loginData_->isMustRZ()) return;
  if (std::atol(kit::describe(loginData_->rzStatus()).c_str()) != 2) return;
  const double remaining = numberOf(loginData_->lmitTime()) / 1000 - kit::Clock::wallNow();
  if (!(remaining > 0)) {
    showGameOver();
    return;
  }
  loadTimerWithTotal(remaining);
}

void CXRHelperBtn::onMainIfCurrent(const kit::Weak<CXRHelperBtn>& ball, const kit::Weak<kit::TimerSource>& source,
                                   std::function<void(CXRHelperBtn&)> work) {
  kit::Queue::main().async([ball, source, work = std::move(work)] {
    auto self = ball.lock();
    auto timer = source.lock();
    if (self && timer && self->timer_ == timer) work(*self);
  });
}

void CXRHelperBtn::loadTimerWithTotal(double total) {
  KIT_CHECK_MAIN_THREAD();
  auto count = std::make_shared<Countdown>();
  count->started = kit::Clock::bootNow();
  count->deadline = count->started + total;
  auto source = kit::TimerSource::create(kit::Queue::global());
  timer_ = source;
  kit::Weak<CXRHelperBtn> ball = selfAs<CXRHelperBtn>();
  kit::Weak<kit::TimerSource> weakSource = source;
  source->setTimer(0, TickInterval, 0);
  source->setEventHandler([ball, weakSource, count] {
    auto timer = weakSource.lock();
    if (!timer) return;
    const double now = kit::Clock::bootNow();
    if (now >= count->deadline) {
      timer->cancel();
      onMainIfCurrent(ball, weakSource, [](CXRHelperBtn& self) {
        KTLoginAPI::doUploadUserOlineTime();
        self.showGameOver();
      });
      return;
    }
    // One report per tick at most, however many report times a stall let
    // pass; the next one falls on the schedule again.
    const double played = now - count->started;
    if (played >= count->uploads * ReportInterval) {
      onMainIfCurrent(ball, weakSource, [](CXRHelperBtn&) { KTLoginAPI::doUploadUserOlineTime(); });
      count->uploads = static_cast<int32_t>(std::floor(played / ReportInterval)) + 1;
    }
  });
  source->resume();
}
