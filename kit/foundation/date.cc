// Dates, and the replaceable wall clock and media time.

#include "kit/foundation/date.h"

#include <time.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

#include "kit/foundation/civil_time.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Date, Object, "NSDate") {}

// ---- Clocks ---------------------------------------------------------------

namespace {

// A clock source swapped under a mutex; readers copy the shared pointer and
// call it outside the lock, so a slow source never blocks an installer.
// While no source is installed, readers skip the lock altogether: reading
// the system clock is on hot paths (cache lookups stamp every access).
template <class Source>
class ClockSlot {
 public:
  std::shared_ptr<const Source> get() {
    if (!installed_.load(std::memory_order_acquire)) return nullptr;
    std::lock_guard lock(mutex_);
    return source_;
  }
  Source exchange(Source source) {
    auto fresh = source ? std::make_shared<const Source>(std::move(source)) : nullptr;
    std::shared_ptr<const Source> old;
    {
      std::lock_guard lock(mutex_);
      installed_.store(fresh != nullptr, std::memory_order_release);
      old = std::exchange(source_, std::move(fresh));
    }
    return old ? *old : Source();
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<const Source> source_;
  std::atomic<bool> installed_{false};
};

ClockSlot<WallClockSource>& wallSlot() {
  static NoDestructor<ClockSlot<WallClockSource>> slot;  // lives for the process
  return *slot;
}

ClockSlot<MediaTimeSource>& mediaSlot() {
  static NoDestructor<ClockSlot<MediaTimeSource>> slot;
  return *slot;
}

TimeInterval readClock(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

TimeInterval wallClockNow() {
  if (auto source = wallSlot().get()) return (*source)();
  return readClock(CLOCK_REALTIME);
}

TimeInterval mediaTime() {
  if (auto source = mediaSlot().get()) return (*source)();
  return readClock(CLOCK_MONOTONIC);
}

TimeInterval coarseMediaTime() {
  if (auto source = mediaSlot().get()) return (*source)();
  return readClock(CLOCK_MONOTONIC_COARSE);
}

WallClockSource setWallClockSource(WallClockSource source) { return wallSlot().exchange(std::move(source)); }

MediaTimeSource setMediaTimeSource(MediaTimeSource source) { return mediaSlot().exchange(std::move(source)); }

ScopedWallClock::ScopedWallClock(WallClockSource source) : previous_(setWallClockSource(std::move(source))) {}

ScopedWallClock::ScopedWallClock(TimeInterval fixedSince1970)
    : ScopedWallClock(WallClockSource([fixedSince1970] { return fixedSince1970; })) {}

ScopedWallClock::~ScopedWallClock() { setWallClockSource(std::move(previous_)); }

ScopedMediaTime::ScopedMediaTime(MediaTimeSource source) : previous_(setMediaTimeSource(std::move(source))) {}

ScopedMediaTime::ScopedMediaTime(TimeInterval fixed)
    : ScopedMediaTime(MediaTimeSource([fixed] { return fixed; })) {}

ScopedMediaTime::~ScopedMediaTime() { setMediaTimeSource(std::move(previous_)); }

// ---- Date -----------------------------------------------------------------

Date::Date() : seconds_(timeIntervalSinceReferenceDateNow()) {}

TimeInterval Date::timeIntervalSinceReferenceDateNow() { return wallClockNow() - TimeIntervalSince1970; }

Ref<Date> Date::now() { return std::make_shared<Date>(); }

Ref<Date> Date::dateWithTimeIntervalSinceReferenceDate(TimeInterval seconds) {
  return std::make_shared<Date>(seconds);
}

Ref<Date> Date::dateWithTimeIntervalSince1970(TimeInterval seconds) {
  return std::make_shared<Date>(seconds - TimeIntervalSince1970);
}

Ref<Date> Date::dateWithTimeIntervalSinceNow(TimeInterval seconds) {
  return std::make_shared<Date>(timeIntervalSinceReferenceDateNow() + seconds);
}

Ref<Date> Date::distantPast() { return std::make_shared<Date>(-63114076800.0); }

Ref<Date> Date::distantFuture() { return std::make_shared<Date>(63113904000.0); }

TimeInterval Date::timeIntervalSinceNow() const { return seconds_ - timeIntervalSinceReferenceDateNow(); }

Ref<Date> Date::dateByAddingTimeInterval(TimeInterval seconds) const {
  return std::make_shared<Date>(seconds_ + seconds);
}

ComparisonResult Date::compare(const Date& other) const {
  if (seconds_ < other.seconds_) return ComparisonResult::Ascending;
  if (seconds_ > other.seconds_) return ComparisonResult::Descending;
  return ComparisonResult::Same;
}

Ref<Date> Date::earlierDate(const Ref<Date>& other) const {
  if (other && other->seconds_ < seconds_) return other;
  return std::static_pointer_cast<Date>(std::const_pointer_cast<Object>(shared_from_this()));
}

Ref<Date> Date::laterDate(const Ref<Date>& other) const {
  if (other && other->seconds_ > seconds_) return other;
  return std::static_pointer_cast<Date>(std::const_pointer_cast<Object>(shared_from_this()));
}

std::string Date::description() const {
  const int64_t total = civil::wholeSeconds(timeIntervalSince1970());
  const int64_t days = civil::floorDiv(total, civil::SecondsPerDay);
  const int64_t secs = civil::floorMod(total, civil::SecondsPerDay);
  const civil::YMD ymd = civil::civilFromDays(days);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d %02lld:%02lld:%02lld +0000", static_cast<long long>(ymd.year),
                ymd.month, ymd.day, static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                static_cast<long long>(secs % 60));
  return buf;
}

bool Date::isEqual(const Object& other) const {
  auto* d = dynamic_cast<const Date*>(&other);
  return d && d->seconds_ == seconds_;
}

size_t Date::hash() const {
  // Equal dates hash alike; whole seconds keep the hash stable for the
  // values a caller writes by hand.
  return static_cast<size_t>(civil::wholeSeconds(seconds_));
}

}  // namespace kit
