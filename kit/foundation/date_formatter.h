// Date formatting and parsing with the platform's pattern letters, in one
// fixed locale (English names, ASCII digits, Gregorian calendar), so that a
// pattern such as "yyyy-MM-dd HH:mm" reads and writes the same text on any
// machine.
//
// Letters: G era; y year ("yy" two digits); Y week year; u extended year;
// M and L month (1-2 numeric, 3 "Jan", 4 "January", 5 "J"); d day; D day of
// year; E weekday ("Wed", 4 "Wednesday", 5 "W", 6 "We"); e and c local
// weekday (1-2 numeric); a AM/PM; H 0-23; h 1-12; k 1-24; K 0-11; m minute;
// s second; S fraction of a second (one digit per letter); Z, z, X, x zone
// offsets. Text in single quotes is literal, '' is a quote, and any other
// character that is not a letter stands for itself. A pattern holding a
// letter outside this list formats to nil and parses nothing.
//
// Parsing is strict: the whole text must match, fields must be in range
// (February 30 fails) and adjacent numeric fields ("yyyyMMddHHmmss") take
// exactly as many digits as their letters. Fields the pattern does not
// give take their values from 2000-01-01 00:00:00 in the formatter's zone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/date.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/foundation/time_zone.h"

namespace kit {

class DateFormatter : public Object {
 public:
  DateFormatter();

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // A formatter with a pattern, in a zone (nil: the default zone).
  static Ref<DateFormatter> make(std::string_view format, Ref<TimeZone> zone = nullptr);

  const std::string& dateFormat() const { return format_; }
  void setDateFormat(std::string_view format);
  Ref<TimeZone> timeZone() const { return zone_; }
  // nil sets the default zone.
  void setTimeZone(Ref<TimeZone> zone);
  // Two-digit years are read as the year in the hundred years that start
  // at this date; nil (the default) means 80 years before now.
  Ref<Date> twoDigitStartDate() const { return twoDigitStart_; }
  void setTwoDigitStartDate(Ref<Date> date) { twoDigitStart_ = std::move(date); }

  // nil when the pattern cannot be used.
  Ref<String> stringFromDate(const Date& date) const;
  Ref<String> stringFromDate(const Ref<Date>& date) const { return date ? stringFromDate(*date) : nullptr; }
  // nil when the text does not match the pattern.
  Ref<Date> dateFromString(std::string_view text) const;

  Id copy() const override;

  // One element of a compiled pattern: a field (letter and count) or
  // literal text (letter 0).
  struct Token {
    char letter = 0;
    int count = 0;
    std::string literal;
  };

 private:
  std::string format_;
  std::vector<Token> tokens_;
  bool valid_ = true;
  Ref<TimeZone> zone_;
  Ref<Date> twoDigitStart_;
};

}  // namespace kit
