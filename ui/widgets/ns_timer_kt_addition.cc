// Pausable block timers. See ns_timer_kt_addition.h.
#include "ui/widgets/ns_timer_kt_addition.h"

#include "kit/dispatch/clock.h"

namespace {

// The block a timer carries in its user info.
class TimerBlock : public kit::Object {
 public:
  explicit TimerBlock(NSTimerKTAddition::Block block) : block(std::move(block)) {}
  NSTimerKTAddition::Block block;
};

}  // namespace

void NSTimerKTAddition::pause(kit::Timer& timer) {
  if (!timer.isValid()) return;
  timer.setFireDate(kit::Forever);
}

void NSTimerKTAddition::resume(kit::Timer& timer) {
  if (!timer.isValid()) return;
  timer.setFireDate(kit::Clock::now());
}

void NSTimerKTAddition::resumeWithTimeInterval(kit::Timer& timer, double interval) {
  if (!timer.isValid()) return;
  timer.setFireDate(kit::Clock::now() + interval);
}

kit::Ref<kit::Timer> NSTimerKTAddition::wy_scheduledTimerWithTimeInterval(double interval, bool repeats, Block block) {
  auto timer = kit::Timer::scheduled(interval, repeats, [](kit::Timer& fired) { timeFired(fired); });
  timer->setUserInfo(kit::make<TimerBlock>(std::move(block)));
  return timer;
}

void NSTimerKTAddition::timeFired(kit::Timer& timer) {
  auto holder = std::dynamic_pointer_cast<TimerBlock>(timer.userInfo());
  if (!holder || !holder->block) return;
  // A copy, so that a block which replaces the user info finishes its run.
  Block block = holder->block;
  block(timer);
}
