// The Gregorian calendar: fields, composition and arithmetic.

#include "kit/foundation/calendar.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "kit/foundation/civil_time.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Calendar, Object, "NSCalendar") {}

namespace {

// Bounds that keep every intermediate value of the arithmetic far inside
// 64 bits; larger fields cannot name a date anyway.
constexpr long MaxYears = 100'000'000;
constexpr long MaxMonths = 12 * MaxYears;
constexpr long MaxDays = 40'000'000'000;
constexpr long MaxSeconds = 3'000'000'000'000'000;
constexpr long MaxNanoseconds = 4'000'000'000'000'000'000;

bool within(long v, long limit) { return !DateComponents::isDefined(v) || (v <= limit && v >= -limit); }

// A moment split into local civil time.
struct Local {
  int64_t days = 0;       // since 1970-01-01, local
  int64_t secondOfDay = 0;
  double fraction = 0;    // [0, 1)
};

Local localOf(const TimeZone& zone, const Date& date) {
  const double t = date.timeIntervalSince1970();
  const int64_t whole = civil::wholeSeconds(t);
  Local l;
  if (std::isfinite(t) && std::abs(t) < civil::MaxSeconds) l.fraction = t - static_cast<double>(whole);
  const int64_t local = whole + zone.offsetAtUnixSeconds(whole);
  l.days = civil::floorDiv(local, civil::SecondsPerDay);
  l.secondOfDay = civil::floorMod(local, civil::SecondsPerDay);
  return l;
}

Ref<Date> dateOfUnix(int64_t utc, double fraction) {
  if (utc > civil::MaxSeconds || utc < -civil::MaxSeconds) return nullptr;
  return Date::dateWithTimeIntervalSince1970(static_cast<double>(utc) + fraction);
}

}  // namespace

long DateComponents::valueForUnit(CalendarUnit unit) const {
  switch (unit) {
    case CalendarUnitEra: return era;
    case CalendarUnitYear: return year;
    case CalendarUnitMonth: return month;
    case CalendarUnitDay: return day;
    case CalendarUnitHour: return hour;
    case CalendarUnitMinute: return minute;
    case CalendarUnitSecond: return second;
    case CalendarUnitWeekday: return weekday;
    case CalendarUnitNanosecond: return nanosecond;
  }
  return Undefined;
}

void DateComponents::setValueForUnit(CalendarUnit unit, long value) {
  switch (unit) {
    case CalendarUnitEra: era = value; break;
    case CalendarUnitYear: year = value; break;
    case CalendarUnitMonth: month = value; break;
    case CalendarUnitDay: day = value; break;
    case CalendarUnitHour: hour = value; break;
    case CalendarUnitMinute: minute = value; break;
    case CalendarUnitSecond: second = value; break;
    case CalendarUnitWeekday: weekday = value; break;
    case CalendarUnitNanosecond: nanosecond = value; break;
  }
}

Calendar::Calendar(Ref<TimeZone> zone) : zone_(zone ? std::move(zone) : TimeZone::defaultTimeZone()) {}

Ref<Calendar> Calendar::currentCalendar() { return std::make_shared<Calendar>(); }

Ref<Calendar> Calendar::calendarWithIdentifier(std::string_view identifier) {
  if (identifier != CalendarIdentifierGregorian) return nullptr;
  return std::make_shared<Calendar>();
}

void Calendar::setTimeZone(Ref<TimeZone> zone) { zone_ = zone ? std::move(zone) : TimeZone::defaultTimeZone(); }

DateComponents Calendar::components(unsigned units, const Date& date) const {
  const Local l = localOf(*zone_, date);
  const civil::YMD ymd = civil::civilFromDays(l.days);
  DateComponents c;
  if (units & CalendarUnitEra) c.era = ymd.year > 0 ? 1 : 0;
  if (units & CalendarUnitYear) c.year = static_cast<long>(ymd.year > 0 ? ymd.year : 1 - ymd.year);
  if (units & CalendarUnitMonth) c.month = ymd.month;
  if (units & CalendarUnitDay) c.day = ymd.day;
  if (units & CalendarUnitHour) c.hour = static_cast<long>(l.secondOfDay / 3600);
  if (units & CalendarUnitMinute) c.minute = static_cast<long>(l.secondOfDay / 60 % 60);
  if (units & CalendarUnitSecond) c.second = static_cast<long>(l.secondOfDay % 60);
  if (units & CalendarUnitWeekday) c.weekday = civil::weekdayFromDays(l.days);
  if (units & CalendarUnitNanosecond) c.nanosecond = std::min(999'999'999L, std::lround(l.fraction * 1e9));
  return c;
}

long Calendar::component(CalendarUnit unit, const Date& date) const {
  return components(unit, date).valueForUnit(unit);
}

Ref<Date> Calendar::dateFromComponents(const DateComponents& c) const {
  if (!within(c.year, MaxYears) || !within(c.month, MaxMonths) || !within(c.day, MaxDays) ||
      !within(c.hour, MaxSeconds / 3600) || !within(c.minute, MaxSeconds / 60) || !within(c.second, MaxSeconds) ||
      !within(c.nanosecond, MaxNanoseconds)) {
    return nullptr;
  }
  auto value = [](long v, long fallback) { return DateComponents::isDefined(v) ? v : fallback; };
  int64_t year = value(c.year, 1);
  if (value(c.era, 1) == 0) year = 1 - year;
  const int64_t monthIndex = year * 12 + value(c.month, 1) - 1;
  year = civil::floorDiv(monthIndex, 12);
  const int month = static_cast<int>(civil::floorMod(monthIndex, 12)) + 1;
  const int64_t days = civil::daysFromCivil(year, month, 1) + value(c.day, 1) - 1;
  const int64_t nanos = value(c.nanosecond, 0);
  const int64_t local = days * civil::SecondsPerDay + int64_t{value(c.hour, 0)} * 3600 +
                        int64_t{value(c.minute, 0)} * 60 + value(c.second, 0) + nanos / 1'000'000'000;
  if (local > civil::MaxSeconds || local < -civil::MaxSeconds) return nullptr;
  const Ref<TimeZone>& zone = c.timeZone ? c.timeZone : zone_;
  return dateOfUnix(zone->unixSecondsFromLocal(local), static_cast<double>(nanos % 1'000'000'000) * 1e-9);
}

Ref<Date> Calendar::dateByAddingComponents(const DateComponents& c, const Date& date) const {
  if (!within(c.year, MaxYears) || !within(c.month, MaxMonths) || !within(c.day, MaxDays) ||
      !within(c.hour, MaxSeconds / 3600) || !within(c.minute, MaxSeconds / 60) || !within(c.second, MaxSeconds) ||
      !within(c.nanosecond, MaxNanoseconds)) {
    return nullptr;
  }
  Local l = localOf(*zone_, date);
  int64_t utc = civil::wholeSeconds(date.timeIntervalSince1970());
  const bool civilChange = DateComponents::isDefined(c.year) || DateComponents::isDefined(c.month) ||
                           DateComponents::isDefined(c.day);
  if (civilChange) {
    civil::YMD ymd = civil::civilFromDays(l.days);
    if (DateComponents::isDefined(c.year)) {
      ymd.year += c.year;
      ymd.day = std::min(ymd.day, civil::daysInMonth(ymd.year, ymd.month));
    }
    if (DateComponents::isDefined(c.month)) {
      const int64_t monthIndex = ymd.year * 12 + (ymd.month - 1) + c.month;
      ymd.year = civil::floorDiv(monthIndex, 12);
      ymd.month = static_cast<int>(civil::floorMod(monthIndex, 12)) + 1;
      ymd.day = std::min(ymd.day, civil::daysInMonth(ymd.year, ymd.month));
    }
    int64_t days = civil::daysFromCivil(ymd.year, ymd.month, ymd.day);
    if (DateComponents::isDefined(c.day)) days += c.day;
    const int64_t local = days * civil::SecondsPerDay + l.secondOfDay;
    if (local > civil::MaxSeconds || local < -civil::MaxSeconds) return nullptr;
    utc = zone_->unixSecondsFromLocal(local);
  }
  auto value = [](long v) { return DateComponents::isDefined(v) ? int64_t{v} : int64_t{0}; };
  const int64_t nanos = value(c.nanosecond);
  utc += value(c.hour) * 3600 + value(c.minute) * 60 + value(c.second) + nanos / 1'000'000'000;
  double fraction = l.fraction + static_cast<double>(nanos % 1'000'000'000) * 1e-9;
  return dateOfUnix(utc, fraction);
}

Ref<Date> Calendar::dateByAddingUnit(CalendarUnit unit, long value, const Date& date) const {
  DateComponents c;
  c.setValueForUnit(unit, value);
  return dateByAddingComponents(c, date);
}

DateComponents Calendar::components(unsigned units, const Date& from, const Date& to) const {
  DateComponents result;
  const double target = to.timeIntervalSinceReferenceDate();
  const bool forward = target >= from.timeIntervalSinceReferenceDate();
  // Where the components found so far lead, from `from`.
  auto reach = [&](const DateComponents& c) -> std::optional<double> {
    Ref<Date> d = dateByAddingComponents(c, from);
    if (!d) return std::nullopt;
    return d->timeIntervalSinceReferenceDate();
  };
  auto passes = [&](std::optional<double> t) { return !t || (forward ? *t > target : *t < target); };

  // Calendar units: start from an estimate and step until the count is the
  // most whole units that stay on this side of `to`.
  for (CalendarUnit unit : {CalendarUnitYear, CalendarUnitMonth, CalendarUnitDay}) {
    if (!(units & unit)) continue;
    Ref<Date> here = dateByAddingComponents(result, from);
    if (!here) break;
    long estimate = 0;
    const civil::YMD a = civil::civilFromDays(localOf(*zone_, *here).days);
    const civil::YMD b = civil::civilFromDays(localOf(*zone_, to).days);
    if (unit == CalendarUnitYear) estimate = static_cast<long>(b.year - a.year);
    else if (unit == CalendarUnitMonth) estimate = static_cast<long>((b.year - a.year) * 12 + b.month - a.month);
    else estimate = static_cast<long>(localOf(*zone_, to).days - localOf(*zone_, *here).days);
    DateComponents trial = result;
    auto at = [&](long n) {
      trial.setValueForUnit(unit, n);
      return reach(trial);
    };
    const long step = forward ? 1 : -1;
    long n = estimate;
    for (int i = 0; i < 8 && passes(at(n)); ++i) n -= step;
    for (int i = 0; i < 8 && !passes(at(n + step)); ++i) n += step;
    result.setValueForUnit(unit, n);
  }

  // Elapsed-time units: what remains, in whole units toward zero.
  Ref<Date> here = dateByAddingComponents(result, from);
  double remaining = here ? target - here->timeIntervalSinceReferenceDate() : 0;
  if (!std::isfinite(remaining)) remaining = 0;
  for (auto [unit, seconds] : {std::pair{CalendarUnitHour, 3600.0}, std::pair{CalendarUnitMinute, 60.0},
                               std::pair{CalendarUnitSecond, 1.0}}) {
    if (!(units & unit)) continue;
    const double whole = std::trunc(remaining / seconds);
    result.setValueForUnit(unit, static_cast<long>(std::clamp(whole, -9e15, 9e15)));
    remaining -= whole * seconds;
  }
  if (units & CalendarUnitNanosecond) {
    result.nanosecond = static_cast<long>(std::clamp(std::round(remaining * 1e9), -9e18, 9e18));
  }
  return result;
}

Ref<Date> Calendar::startOfDayForDate(const Date& date) const {
  const Local l = localOf(*zone_, date);
  return dateOfUnix(zone_->unixSecondsFromLocal(l.days * civil::SecondsPerDay), 0);
}

bool Calendar::isSameDayWithOffset(const Date& date, long dayOffset) const {
  return localOf(*zone_, date).days == localOf(*zone_, Date()).days + dayOffset;
}

bool Calendar::isDateInToday(const Date& date) const { return isSameDayWithOffset(date, 0); }

bool Calendar::isDateInYesterday(const Date& date) const { return isSameDayWithOffset(date, -1); }

bool Calendar::isDateInTomorrow(const Date& date) const { return isSameDayWithOffset(date, 1); }

bool Calendar::isDate(const Date& date, const Date& inSameDayAsDate) const {
  return localOf(*zone_, date).days == localOf(*zone_, inSameDayAsDate).days;
}

std::string Calendar::description() const { return defaultDescription(); }

bool Calendar::isEqual(const Object& other) const {
  auto* c = dynamic_cast<const Calendar*>(&other);
  return c && c->zone_->isEqual(*zone_);
}

Id Calendar::copy() const { return std::make_shared<Calendar>(zone_); }

}  // namespace kit
