// NUVACountdown: the channel's shared countdown service. It runs any number
// of countdowns of whole seconds, each on its own one-second timer, and
// reports every second and the end on the main queue. A countdown may carry
// a key; keyed countdowns live in a registry so that starting one again
// under the same key replaces the running one, and so that they can be
// queried and cancelled by key. A finished keyed countdown stays registered
// until it is replaced or cancelled.
//
// The timer ticks on a global queue and hands each step to the main queue,
// where the remaining seconds are read and lowered, so a busy main queue
// never sees the same value twice. The finish callback runs at most once,
// and a step handed to the main queue before a cancel or a replacement is
// dropped when it gets there.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class NUVACountdown : public kit::Object {
 public:
  using Progress = std::function<void(double remainingSeconds)>;
  using Finish = std::function<void()>;

  static kit::Ref<NUVACountdown> shareInstance();

  // Starts a countdown of `seconds`: progress gets N, N-1, ... down to the
  // smallest positive value of that series, one per second from now, and
  // finish comes a second after the last progress (at once for N <= 0). A
  // non-empty key replaces the countdown registered under it.
  void countdown(double seconds, Progress progress, Finish finish, const kit::Ref<kit::String>& timeKey = nullptr);
  // The same operation under its other name.
  void time(double seconds, Progress timeDown, Finish finish, const kit::Ref<kit::String>& timeKey = nullptr) {
    countdown(seconds, std::move(timeDown), std::move(finish), timeKey);
  }

  // YES when a countdown is registered under the key (defaultTimeKey for
  // nil), finished ones included.
  bool isHasRunTimer(const kit::Ref<kit::String>& timeKey);
  // Stops and unregisters the countdown of a non-empty key.
  void cancelTimer(const kit::Ref<kit::String>& timeKey);

  // "hh:mm:ss" of whole seconds (hours not limited), "00:00:00" when
  // negative.
  kit::Ref<kit::String> createTimeStingWithTime(double seconds) const;
  // "mm:ss" of whole seconds (minutes not limited), "00:00" when negative.
  kit::Ref<kit::String> createMMSS(double seconds) const;

  // The keys registered now, each mapped to a text saying whether its
  // countdown still runs ("running") or has ended ("finished").
  kit::Ref<kit::Dictionary> timerDictionary() const;
  kit::Ref<kit::String> defaultTimeKey() const;
  void setDefaultTimeKey(kit::Ref<kit::String> key);

 private:
  struct Run;
  void stopAndRemoveLocked(const std::string& key);

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Run>> timers_;
  kit::Ref<kit::String> defaultTimeKey_;
};
