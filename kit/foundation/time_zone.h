// Time zones. A named zone reads its rules from the system's time-zone
// database (TZDIR, else the standard zoneinfo folder); the system zone
// follows the TZ environment variable (a zone name, ":name", a path or a
// POSIX rule such as "CST-8"), else the machine's local-time file. The
// default zone, which calendars and date formatters start with, is the
// system zone unless a program or a test sets another.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "kit/foundation/date.h"
#include "kit/foundation/object.h"

namespace kit {

namespace tz {
class Rules;
}

class TimeZone : public Object {
 public:
  // Use the factories.
  TimeZone(std::string name, std::shared_ptr<const tz::Rules> rules);
  ~TimeZone() override;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // The zone of the device, read once and kept until resetSystemTimeZone().
  static Ref<TimeZone> systemTimeZone();
  // Forgets the cached system zone so the next call reads TZ again.
  static void resetSystemTimeZone();
  // The zone calendars and formatters use unless told otherwise.
  static Ref<TimeZone> defaultTimeZone();
  // nil restores the system zone as the default.
  static void setDefaultTimeZone(Ref<TimeZone> zone);
  // The device's zone as the platform's "local" zone: the default zone.
  static Ref<TimeZone> localTimeZone() { return defaultTimeZone(); }

  // A zone of the database ("Asia/Shanghai"), "UTC"/"GMT", or a fixed
  // offset written "GMT+8", "GMT+08:00", "UTC-0530"; nil when unknown.
  static Ref<TimeZone> timeZoneWithName(std::string_view name);
  // A fixed offset; nil beyond ±18 hours.
  static Ref<TimeZone> timeZoneForSecondsFromGMT(long seconds);
  static Ref<TimeZone> utc();

  const std::string& name() const { return name_; }
  long secondsFromGMT() const;  // now
  long secondsFromGMTForDate(const Date& date) const;
  std::string abbreviation() const;  // now
  std::string abbreviationForDate(const Date& date) const;
  bool isDaylightSavingTimeForDate(const Date& date) const;

  // Offsets on whole seconds since 1970, for calendars and formatters.
  long offsetAtUnixSeconds(int64_t utc) const;
  int64_t unixSecondsFromLocal(int64_t local) const;

  // "Asia/Shanghai (GMT+8) offset 28800"
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

 private:
  std::string name_;
  std::shared_ptr<const tz::Rules> rules_;
};

// Makes a zone the default for the lifetime of the object.
class ScopedDefaultTimeZone {
 public:
  explicit ScopedDefaultTimeZone(Ref<TimeZone> zone);
  ~ScopedDefaultTimeZone();
  ScopedDefaultTimeZone(const ScopedDefaultTimeZone&) = delete;
  ScopedDefaultTimeZone& operator=(const ScopedDefaultTimeZone&) = delete;

 private:
  Ref<TimeZone> previous_;
};

}  // namespace kit
