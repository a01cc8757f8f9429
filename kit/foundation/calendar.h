// The Gregorian calendar: the civil fields of a moment in a time zone, the
// moment of civil fields, and calendar arithmetic.
//
// Adding components works the platform's way, one field after the other
// from the largest: years, then months (each clamping the day to the length
// of the month reached, so Jan 31 + 1 month is Feb 28 or 29), then days (the
// wall-clock time of day is kept), then hours, minutes, seconds and
// nanoseconds as elapsed time.
#pragma once

#include <climits>
#include <string_view>

#include "kit/foundation/date.h"
#include "kit/foundation/object.h"
#include "kit/foundation/time_zone.h"

namespace kit {

// The platform's calendar unit flags.
enum CalendarUnit : unsigned {
  CalendarUnitEra = 1u << 1,
  CalendarUnitYear = 1u << 2,
  CalendarUnitMonth = 1u << 3,
  CalendarUnitDay = 1u << 4,
  CalendarUnitHour = 1u << 5,
  CalendarUnitMinute = 1u << 6,
  CalendarUnitSecond = 1u << 7,
  CalendarUnitWeekday = 1u << 9,
  CalendarUnitNanosecond = 1u << 15,
};

inline constexpr const char* CalendarIdentifierGregorian = "gregorian";

// Civil fields; a field not asked for or not given is Undefined.
struct DateComponents {
  static constexpr long Undefined = LONG_MAX;

  long era = Undefined;  // 1 = AD, 0 = BC
  long year = Undefined;
  long month = Undefined;  // 1-12
  long day = Undefined;    // 1-31
  long hour = Undefined;
  long minute = Undefined;
  long second = Undefined;
  long nanosecond = Undefined;
  long weekday = Undefined;  // 1 = Sunday ... 7 = Saturday
  // When set, dateFromComponents reads the fields in this zone.
  Ref<TimeZone> timeZone;

  static bool isDefined(long v) { return v != Undefined; }
  long valueForUnit(CalendarUnit unit) const;
  void setValueForUnit(CalendarUnit unit, long value);
};

class Calendar : public Object {
 public:
  // A Gregorian calendar in the given zone (nil: the default zone).
  explicit Calendar(Ref<TimeZone> zone = nullptr);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // The user's calendar: Gregorian, in the default time zone.
  static Ref<Calendar> currentCalendar();
  // "gregorian" gives a Gregorian calendar; any other identifier nil.
  static Ref<Calendar> calendarWithIdentifier(std::string_view identifier);

  std::string calendarIdentifier() const { return CalendarIdentifierGregorian; }
  Ref<TimeZone> timeZone() const { return zone_; }
  // nil sets the default zone.
  void setTimeZone(Ref<TimeZone> zone);
  // 1 = Sunday.
  unsigned firstWeekday() const { return 1; }

  // The fields of `date` named by `units` (a CalendarUnit mask).
  DateComponents components(unsigned units, const Date& date) const;
  long component(CalendarUnit unit, const Date& date) const;
  // The moment of the given fields; missing fields take the platform's
  // defaults (year 1, month 1, day 1, midnight) and out-of-range fields
  // carry over (month 13 is January of the next year). nil when a field is
  // too large for any date.
  Ref<Date> dateFromComponents(const DateComponents& components) const;
  Ref<Date> dateByAddingComponents(const DateComponents& components, const Date& date) const;
  Ref<Date> dateByAddingUnit(CalendarUnit unit, long value, const Date& date) const;
  // The difference from `from` to `to` in the units asked for, the largest
  // first, each the most whole units that do not pass `to`.
  DateComponents components(unsigned units, const Date& from, const Date& to) const;

  // Midnight at the start of the day of `date` (the first moment of the day
  // where midnight is skipped by a clock change).
  Ref<Date> startOfDayForDate(const Date& date) const;
  bool isDateInToday(const Date& date) const;
  bool isDateInYesterday(const Date& date) const;
  bool isDateInTomorrow(const Date& date) const;
  bool isDate(const Date& date, const Date& inSameDayAsDate) const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return zone_->hash(); }
  Id copy() const override;

 private:
  bool isSameDayWithOffset(const Date& date, long dayOffset) const;
  Ref<TimeZone> zone_;
};

}  // namespace kit
