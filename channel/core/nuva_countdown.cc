// Named one-second countdowns. See nuva_countdown.h.

#include "channel/core/nuva_countdown.h"

#include <atomic>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/timer_source.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"

// One countdown: its timer and the state its main-queue steps share. Only
// the main queue reads or writes `remaining`, `ended` and `cancelled` after
// the start.
struct NUVACountdown::Run {
  kit::Ref<kit::TimerSource> source;
  double remaining = 0;
  Progress progress;
  Finish finish;
  bool ended = false;
  std::atomic<bool> cancelled{false};

  void stop() {
    cancelled = true;
    source->cancel();
  }

  // One second's step, on the main queue.
  void step() {
    if (cancelled || ended) return;
    if (remaining <= 0) {
      ended = true;
      source->cancel();
      // Release the callbacks (and what they hold) once they cannot run again.
      Finish done = std::move(finish);
      progress = nullptr;
      if (done) done();
      return;
    }
    double now = remaining;
    remaining -= 1;
    if (progress) progress(now);
  }
};

kit::Ref<NUVACountdown> NUVACountdown::shareInstance() {
  static const kit::NoDestructor<kit::Ref<NUVACountdown>> instance(kit::make<NUVACountdown>());
  return *instance;
}

void NUVACountdown::countdown(double seconds, Progress progress, Finish finish, const kit::Ref<kit::String>& timeKey) {
  auto run = std::make_shared<Run>();
  run->remaining = seconds;
  run->progress = std::move(progress);
  run->finish = std::move(finish);
  run->source = kit::TimerSource::create(kit::Queue::global());

  bool keyed = timeKey && !timeKey->empty();
  {
    std::lock_guard lock(mutex_);
    if (keyed) {
      stopAndRemoveLocked(timeKey->utf8());
      timers_[timeKey->utf8()] = run;
    }
  }

  // The handler keeps the run alive while the timer runs; cancelling the
  // timer (at the end, on cancelTimer or on replacement) releases the
  // handler and so breaks that cycle.
  run->source->setTimer(0, 1.0, 0);
  run->source->setEventHandler([run] { kit::Queue::main().async([run] { run->step(); }); });
  run->source->resume();
}

bool NUVACountdown::isHasRunTimer(const kit::Ref<kit::String>& timeKey) {
  std::lock_guard lock(mutex_);
  if (timers_.empty()) return false;
  std::string key = timeKey ? timeKey->utf8() : (defaultTimeKey_ ? defaultTimeKey_->utf8() : "defaultTimeKey");
  return timers_.count(key) > 0;
}

void NUVACountdown::cancelTimer(const kit::Ref<kit::String>& timeKey) {
  if (!timeKey || timeKey->empty()) return;
  std::lock_guard lock(mutex_);
  stopAndRemoveLocked(timeKey->utf8());
}

void NUVACountdown::stopAndRemoveLocked(const std::string& key) {
  auto found = timers_.find(key);
  if (found == timers_.end()) return;
  found->second->stop();
  timers_.erase(found);
}

namespace {

std::string twoDigits(long value) { return value < 10 ? kit::formatString("0%d", value) : kit::formatString("%d", value); }

}  // namespace

kit::Ref<kit::String> NUVACountdown::createTimeStingWithTime(double seconds) const {
  if (seconds < 0) return kit::str("00:00:00");
  long t = static_cast<long>(seconds);
  return kit::format("%@:%@:%@", twoDigits(t / 3600), twoDigits((t % 3600) / 60), twoDigits(t % 60));
}

kit::Ref<kit::String> NUVACountdown::createMMSS(double seconds) const {
  if (seconds < 0) return kit::str("00:00");
  long t = static_cast<long>(seconds);
  return kit::format("%@:%@", twoDigits(t / 60), twoDigits(t % 60));
}

kit::Ref<kit::Dictionary> NUVACountdown::timerDictionary() const {
  std::lock_guard lock(mutex_);
  kit::Dictionary::Entries entries;
  for (const auto& [key, run] : timers_) {
    entries.emplace_back(kit::str(key), kit::str(run->source->isCancelled() ? "finished" : "running"));
  }
  return kit::Dictionary::make(std::move(entries));
}

kit::Ref<kit::String> NUVACountdown::defaultTimeKey() const {
  std::lock_guard lock(mutex_);
  return defaultTimeKey_ ? defaultTimeKey_ : kit::str("defaultTimeKey");
}

void NUVACountdown::setDefaultTimeKey(kit::Ref<kit::String> key) {
  std::lock_guard lock(mutex_);
  defaultTimeKey_ = std::move(key);
}
