// Dates and the two clocks everything reads.
//
// kit::Date is a moment in time: seconds since the reference date
// 2001-01-01 00:00:00 UTC, as a double. "Now" comes from the wall clock
// (seconds since 1970), and kit::mediaTime() from a monotonic clock (seconds
// since an arbitrary start, never going backwards). Both clocks are
// replaceable process-wide, so a virtual clock can drive them:
//
//   kit::setWallClockSource([&] { return virtualClock.wallSeconds(); });
//   kit::setMediaTimeSource([&] { return virtualClock.monotonicSeconds(); });
//
// and tests can pin them for a scope with ScopedWallClock / ScopedMediaTime.
#pragma once

#include <functional>
#include <string>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

// Seconds.
using TimeInterval = double;

// Seconds between 1970-01-01 and the reference date 2001-01-01 (UTC).
inline constexpr TimeInterval TimeIntervalSince1970 = 978307200.0;

// ---- Clocks ---------------------------------------------------------------

// Returns seconds since 1970-01-01 00:00:00 UTC.
using WallClockSource = std::function<TimeInterval()>;
// Returns monotonic seconds.
using MediaTimeSource = std::function<TimeInterval()>;

// The current wall-clock time in seconds since 1970 (from the installed
// source; the system's real-time clock by default).
TimeInterval wallClockNow();
// The current media time: monotonic seconds (from the installed source;
// the system's monotonic clock by default). Stands in for the platform's
// current media time and for the process's uptime.
TimeInterval mediaTime();
// The media time at the resolution of the system's coarse monotonic clock
// (a few milliseconds), several times cheaper to read: for stamping
// frequent events, such as cache accesses, where milliseconds do not
// matter. Follows an installed media time source exactly.
TimeInterval coarseMediaTime();

// Installs a source; an empty function restores the system clock. Returns
// the source that was installed before (empty for the system clock).
WallClockSource setWallClockSource(WallClockSource source);
MediaTimeSource setMediaTimeSource(MediaTimeSource source);

// Replaces the wall clock for the lifetime of the object, then restores the
// previous source.
class ScopedWallClock {
 public:
  explicit ScopedWallClock(WallClockSource source);
  // A clock that stands still at the given seconds since 1970.
  explicit ScopedWallClock(TimeInterval fixedSince1970);
  ~ScopedWallClock();
  ScopedWallClock(const ScopedWallClock&) = delete;
  ScopedWallClock& operator=(const ScopedWallClock&) = delete;

 private:
  WallClockSource previous_;
};

// Replaces the media time for the lifetime of the object.
class ScopedMediaTime {
 public:
  explicit ScopedMediaTime(MediaTimeSource source);
  explicit ScopedMediaTime(TimeInterval fixed);
  ~ScopedMediaTime();
  ScopedMediaTime(const ScopedMediaTime&) = delete;
  ScopedMediaTime& operator=(const ScopedMediaTime&) = delete;

 private:
  MediaTimeSource previous_;
};

// ---- Date -----------------------------------------------------------------

class Date : public Object {
 public:
  // Now.
  Date();
  explicit Date(TimeInterval sinceReferenceDate) : seconds_(sinceReferenceDate) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<Date> now();
  static Ref<Date> dateWithTimeIntervalSinceReferenceDate(TimeInterval seconds);
  static Ref<Date> dateWithTimeIntervalSince1970(TimeInterval seconds);
  static Ref<Date> dateWithTimeIntervalSinceNow(TimeInterval seconds);
  static Ref<Date> distantPast();    // year 0001
  static Ref<Date> distantFuture();  // year 4001
  // The reference date's offset from now, negated: seconds since 2001 now.
  static TimeInterval timeIntervalSinceReferenceDateNow();

  TimeInterval timeIntervalSinceReferenceDate() const { return seconds_; }
  TimeInterval timeIntervalSince1970() const { return seconds_ + TimeIntervalSince1970; }
  // Negative for a date in the past.
  TimeInterval timeIntervalSinceNow() const;
  TimeInterval timeIntervalSinceDate(const Date& other) const { return seconds_ - other.seconds_; }
  Ref<Date> dateByAddingTimeInterval(TimeInterval seconds) const;

  ComparisonResult compare(const Date& other) const;
  bool isEqualToDate(const Date& other) const { return seconds_ == other.seconds_; }
  Ref<Date> earlierDate(const Ref<Date>& other) const;
  Ref<Date> laterDate(const Ref<Date>& other) const;

  // "2024-05-15 08:00:00 +0000": the moment in UTC.
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

 private:
  TimeInterval seconds_;
};

}  // namespace kit
