// Gregorian calendar fields and arithmetic in real time zones, with the
// wall clock pinned.

#include <gtest/gtest.h>

#include "kit/foundation/calendar.h"
#include "kit/foundation/date_formatter.h"
#include "kit/foundation/format.h"

namespace kit {
namespace {

Ref<TimeZone> zone(const char* name) {
  auto z = TimeZone::timeZoneWithName(name);
  EXPECT_TRUE(z) << name;
  return z;
}

// A moment given as wall-clock fields in a zone.
Ref<Date> at(const Calendar& cal, long y, long mo, long d, long h = 0, long mi = 0, long s = 0) {
  DateComponents c;
  c.year = y;
  c.month = mo;
  c.day = d;
  c.hour = h;
  c.minute = mi;
  c.second = s;
  return cal.dateFromComponents(c);
}

std::string ymd(const Calendar& cal, const Ref<Date>& date) {
  if (!date) return "nil";
  DateComponents c = cal.components(CalendarUnitYear | CalendarUnitMonth | CalendarUnitDay, *date);
  return formatString("%04ld-%02ld-%02ld", c.year, c.month, c.day);
}

TEST(Calendar, BirthdayNineteenYearsTwoMonthsOneDayAgoInShanghai) {
  ScopedDefaultTimeZone shanghai(zone("Asia/Shanghai"));
  // 2024-05-15 00:30 in Shanghai is still 2024-05-14 in UTC: the device's
  // zone decides the day.
  for (TimeInterval now : {1715704200.0 /* 00:30 local */, 1715738400.0 /* 10:00 */, 1715787000.0 /* 23:30 */}) {
    ScopedWallClock clock(now);
    auto calendar = Calendar::currentCalendar();
    DateComponents shift;
    shift.year = -19;
    shift.month = -2;
    shift.day = -1;
    auto birthday = calendar->dateByAddingComponents(shift, *Date::now());
    ASSERT_TRUE(birthday);
    // Seconds since 1970 as text, then that moment as a day in the device's zone.
    std::string seconds = formatString("%ld", static_cast<long>(birthday->timeIntervalSince1970()));
    auto formatter = DateFormatter::make("yyyy-MM-dd");
    auto back = Date::dateWithTimeIntervalSince1970(std::stod(seconds));
    EXPECT_EQ(formatter->stringFromDate(*back)->utf8(), "2005-03-14");
    // The time of day is kept.
    EXPECT_EQ(calendar->component(CalendarUnitHour, *birthday), calendar->component(CalendarUnitHour, *Date::now()));
  }
}

TEST(Calendar, ComponentsInAZone) {
  auto shanghai = std::make_shared<Calendar>(zone("Asia/Shanghai"));
  auto utc = std::make_shared<Calendar>(TimeZone::utc());
  auto d = Date::dateWithTimeIntervalSince1970(1715787000.5);  // 2024-05-15 15:30:00.5 UTC
  DateComponents c = shanghai->components(CalendarUnitYear | CalendarUnitMonth | CalendarUnitDay | CalendarUnitHour |
                                               CalendarUnitMinute | CalendarUnitSecond | CalendarUnitWeekday |
                                               CalendarUnitNanosecond | CalendarUnitEra,
                                           *d);
  EXPECT_EQ(c.era, 1);
  EXPECT_EQ(c.year, 2024);
  EXPECT_EQ(c.month, 5);
  EXPECT_EQ(c.day, 15);
  EXPECT_EQ(c.hour, 23);
  EXPECT_EQ(c.minute, 30);
  EXPECT_EQ(c.second, 0);
  EXPECT_EQ(c.weekday, 4);  // Wednesday
  EXPECT_EQ(c.nanosecond, 500'000'000);
  EXPECT_EQ(utc->component(CalendarUnitHour, *d), 15);
  // Units not asked for stay undefined.
  DateComponents only = utc->components(CalendarUnitYear, *d);
  EXPECT_EQ(only.year, 2024);
  EXPECT_FALSE(DateComponents::isDefined(only.month));
  // Before 1970 and before the common era.
  EXPECT_EQ(ymd(*utc, Date::dateWithTimeIntervalSince1970(-86400)), "1969-12-31");
  EXPECT_EQ(utc->component(CalendarUnitWeekday, *Date::dateWithTimeIntervalSince1970(-86400)), 4);
  EXPECT_EQ(utc->component(CalendarUnitEra, *Date::distantPast()), 0);
}

TEST(Calendar, DateFromComponentsUsesDefaultsAndCarries) {
  Calendar utc(TimeZone::utc());
  EXPECT_EQ(at(utc, 2024, 13, 1)->description(), "2025-01-01 00:00:00 +0000");
  EXPECT_EQ(at(utc, 2024, 3, 0)->description(), "2024-02-29 00:00:00 +0000");
  EXPECT_EQ(at(utc, 2024, 1, 1, 25)->description(), "2024-01-02 01:00:00 +0000");
  DateComponents yearOnly;
  yearOnly.year = 2024;
  EXPECT_EQ(utc.dateFromComponents(yearOnly)->description(), "2024-01-01 00:00:00 +0000");
  EXPECT_EQ(utc.dateFromComponents(DateComponents{})->description(), "0001-01-01 00:00:00 +0000");
  // Fields read in the components' own zone when they carry one.
  DateComponents inShanghai;
  inShanghai.year = 2024;
  inShanghai.month = 5;
  inShanghai.day = 15;
  inShanghai.timeZone = zone("Asia/Shanghai");
  EXPECT_EQ(utc.dateFromComponents(inShanghai)->description(), "2024-05-14 16:00:00 +0000");
  DateComponents absurd;
  absurd.year = 9'000'000'000'000'000'000L;
  EXPECT_EQ(utc.dateFromComponents(absurd), nullptr);
  absurd = DateComponents{};
  absurd.day = -9'000'000'000'000'000'000L;
  EXPECT_EQ(utc.dateByAddingComponents(absurd, Date()), nullptr);
}

TEST(Calendar, MonthArithmeticClampsToTheEndOfTheMonth) {
  Calendar utc(TimeZone::utc());
  EXPECT_EQ(ymd(utc, utc.dateByAddingUnit(CalendarUnitMonth, 1, *at(utc, 2024, 1, 31))), "2024-02-29");
  EXPECT_EQ(ymd(utc, utc.dateByAddingUnit(CalendarUnitMonth, 1, *at(utc, 2023, 1, 31))), "2023-02-28");
  EXPECT_EQ(ymd(utc, utc.dateByAddingUnit(CalendarUnitMonth, -1, *at(utc, 2024, 3, 31))), "2024-02-29");
  EXPECT_EQ(ymd(utc, utc.dateByAddingUnit(CalendarUnitYear, 1, *at(utc, 2024, 2, 29))), "2025-02-28");
  EXPECT_EQ(ymd(utc, utc.dateByAddingUnit(CalendarUnitMonth, -14, *at(utc, 2024, 1, 15))), "2022-11-15");
  // Years, then months, then days: each step clamps on its own.
  DateComponents yearAndMonth;
  yearAndMonth.year = 1;
  yearAndMonth.month = 1;
  EXPECT_EQ(ymd(utc, utc.dateByAddingComponents(yearAndMonth, *at(utc, 2024, 2, 29))), "2025-03-28");
  DateComponents monthAndDay;
  monthAndDay.month = -1;
  monthAndDay.day = -1;
  EXPECT_EQ(ymd(utc, utc.dateByAddingComponents(monthAndDay, *at(utc, 2024, 3, 31))), "2024-02-28");
  // Time units are elapsed time.
  DateComponents time;
  time.hour = 25;
  time.minute = -1;
  time.second = 30;
  EXPECT_EQ(utc.dateByAddingComponents(time, *at(utc, 2024, 12, 31, 0, 0, 0))->description(),
            "2025-01-01 00:59:30 +0000");
}

TEST(Calendar, DaysKeepTheWallClockAcrossDaylightChanges) {
  Calendar newYork(zone("America/New_York"));
  auto noon = at(newYork, 2024, 3, 9, 12);  // the day before clocks go forward
  auto nextNoon = newYork.dateByAddingUnit(CalendarUnitDay, 1, *noon);
  EXPECT_EQ(newYork.component(CalendarUnitHour, *nextNoon), 12);
  EXPECT_DOUBLE_EQ(nextNoon->timeIntervalSinceDate(*noon), 23 * 3600);
  auto plus24h = newYork.dateByAddingUnit(CalendarUnitHour, 24, *noon);
  EXPECT_EQ(newYork.component(CalendarUnitHour, *plus24h), 13);
  // 02:30 on the day clocks go forward does not exist: it reads as 03:30.
  EXPECT_EQ(newYork.component(CalendarUnitHour, *at(newYork, 2024, 3, 10, 2, 30)), 3);
  // A day whose midnight is skipped starts at the first moment that exists.
  Calendar santiago(zone("America/Santiago"));
  auto start = santiago.startOfDayForDate(*at(santiago, 2024, 9, 8, 12));
  EXPECT_EQ(santiago.component(CalendarUnitHour, *start), 1);
  EXPECT_EQ(santiago.component(CalendarUnitDay, *start), 8);
}

TEST(Calendar, ComponentsBetweenDates) {
  Calendar shanghai(zone("Asia/Shanghai"));
  const unsigned ymdUnits = CalendarUnitYear | CalendarUnitMonth | CalendarUnitDay;
  DateComponents c = shanghai.components(ymdUnits, *at(shanghai, 2005, 3, 14, 9), *at(shanghai, 2024, 5, 15, 9));
  EXPECT_EQ(c.year, 19);
  EXPECT_EQ(c.month, 2);
  EXPECT_EQ(c.day, 1);
  c = shanghai.components(ymdUnits, *at(shanghai, 2024, 5, 15, 9), *at(shanghai, 2005, 3, 14, 9));
  EXPECT_EQ(c.year, -19);
  EXPECT_EQ(c.month, -2);
  EXPECT_EQ(c.day, -1);
  // One hour short of a whole day is no day.
  c = shanghai.components(CalendarUnitDay | CalendarUnitHour, *at(shanghai, 2024, 5, 15, 9),
                          *at(shanghai, 2024, 5, 16, 8, 30));
  EXPECT_EQ(c.day, 0);
  EXPECT_EQ(c.hour, 23);
  // January 31 to March 1 is one month (to February 29) and one day.
  c = shanghai.components(CalendarUnitMonth | CalendarUnitDay, *at(shanghai, 2024, 1, 31), *at(shanghai, 2024, 3, 1));
  EXPECT_EQ(c.month, 1);
  EXPECT_EQ(c.day, 1);
  c = shanghai.components(CalendarUnitSecond | CalendarUnitNanosecond, *at(shanghai, 2024, 1, 1),
                          *at(shanghai, 2024, 1, 1)->dateByAddingTimeInterval(90.25));
  EXPECT_EQ(c.second, 90);
  EXPECT_EQ(c.nanosecond, 250'000'000);
  EXPECT_FALSE(DateComponents::isDefined(c.minute));
}

TEST(Calendar, TodayAndStartOfDayFollowTheWallClock) {
  ScopedDefaultTimeZone shanghai(zone("Asia/Shanghai"));
  // 2024-05-15 10:20:30 in Shanghai.
  ScopedWallClock clock(1715739630);
  auto calendar = Calendar::currentCalendar();
  auto now = Date::now();
  EXPECT_TRUE(calendar->isDateInToday(*now));
  auto start = calendar->startOfDayForDate(*now);
  EXPECT_EQ(start->description(), "2024-05-14 16:00:00 +0000");
  EXPECT_TRUE(calendar->isDateInToday(*start));
  EXPECT_TRUE(calendar->isDateInYesterday(*start->dateByAddingTimeInterval(-1)));
  EXPECT_TRUE(calendar->isDateInTomorrow(*start->dateByAddingTimeInterval(86400)));
  EXPECT_FALSE(calendar->isDateInToday(*start->dateByAddingTimeInterval(86400)));
  EXPECT_TRUE(calendar->isDate(*start, *now));

  // Seconds to the next full hour: truncate to the hour, add an hour.
  DateComponents hour = calendar->components(
      CalendarUnitYear | CalendarUnitMonth | CalendarUnitDay | CalendarUnitHour, *now);
  auto nextHour = calendar->dateFromComponents(hour)->dateByAddingTimeInterval(3600);
  EXPECT_EQ(static_cast<long>(nextHour->timeIntervalSince1970()) - static_cast<long>(now->timeIntervalSince1970()),
            2370);
}

TEST(Calendar, Identifiers) {
  EXPECT_TRUE(Calendar::calendarWithIdentifier(CalendarIdentifierGregorian));
  EXPECT_EQ(Calendar::calendarWithIdentifier("buddhist"), nullptr);
  auto cal = Calendar::currentCalendar();
  EXPECT_EQ(cal->calendarIdentifier(), "gregorian");
  EXPECT_EQ(cal->firstWeekday(), 1u);
  auto copy = as<Calendar>(cal->copy());
  copy->setTimeZone(TimeZone::timeZoneForSecondsFromGMT(3600));
  EXPECT_NE(cal->timeZone()->name(), copy->timeZone()->name());
}

}  // namespace
}  // namespace kit
