// Date patterns: compiling, formatting and strict parsing.

#include "kit/foundation/date_formatter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "kit/foundation/calendar.h"
#include "kit/foundation/civil_time.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(DateFormatter, Object, "NSDateFormatter") {}

namespace {

using Token = DateFormatter::Token;

constexpr const char* MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
constexpr const char* WeekdayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr std::string_view KnownLetters = "GyYuMLdDEecahHkKmsSZzXx";

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Letters whose field is written as a number at this count.
bool isNumericField(const Token& t) {
  switch (t.letter) {
    case 'y': case 'Y': case 'u': case 'd': case 'D': case 'H': case 'h': case 'k': case 'K': case 'm': case 's':
    case 'S':
      return true;
    case 'M': case 'L': case 'e': case 'c':
      return t.count <= 2;
    default:
      return false;
  }
}

// Compiles a pattern; false when it holds an unknown letter or an open quote.
bool compile(std::string_view pattern, std::vector<Token>& tokens) {
  tokens.clear();
  auto appendLiteral = [&](char c) {
    if (tokens.empty() || tokens.back().letter) tokens.push_back(Token{});
    tokens.back().literal += c;
  };
  for (size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        appendLiteral('\'');
        i += 2;
        continue;
      }
      ++i;
      bool closed = false;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            appendLiteral('\'');
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        appendLiteral(pattern[i++]);
      }
      if (!closed) return false;
      continue;
    }
    if (isLetter(c)) {
      if (KnownLetters.find(c) == std::string_view::npos) return false;
      int count = 0;
      while (i < pattern.size() && pattern[i] == c) {
        ++i;
        ++count;
      }
      tokens.push_back(Token{c, count, {}});
      continue;
    }
    appendLiteral(c);
    ++i;
  }
  return true;
}

std::string padded(int64_t value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

// "+0800", "+08:00", "+08" (seconds are dropped).
std::string offsetText(long offset, bool colon, bool hoursOnly) {
  long a = offset < 0 ? -offset : offset;
  std::string out = offset < 0 ? "-" : "+";
  out += padded(a / 3600, 2);
  if (hoursOnly && a % 3600 / 60 == 0) return out;
  if (colon) out += ':';
  return out + padded(a % 3600 / 60, 2);
}

std::string gmtOffsetText(long offset, bool longForm) {
  if (offset == 0) return "GMT";
  if (longForm) return "GMT" + offsetText(offset, true, false);
  long a = offset < 0 ? -offset : offset;
  std::string out = std::string("GMT") + (offset < 0 ? "-" : "+") + std::to_string(a / 3600);
  if (a % 3600) out += ":" + padded(a % 3600 / 60, 2);
  return out;
}

// The fields of one moment that the letters read.
struct Fields {
  int64_t year;  // astronomical (0 = 1 BC)
  int month, day, dayOfYear, weekday, hour, minute, second;
  double fraction;
  int64_t weekYear;
  long offset;
};

Fields fieldsOf(const Date& date, const TimeZone& zone) {
  const double t = date.timeIntervalSince1970();
  const int64_t whole = civil::wholeSeconds(t);
  Fields f{};
  f.offset = zone.offsetAtUnixSeconds(whole);
  const int64_t local = whole + f.offset;
  const int64_t days = civil::floorDiv(local, civil::SecondsPerDay);
  const int64_t sod = civil::floorMod(local, civil::SecondsPerDay);
  const civil::YMD ymd = civil::civilFromDays(days);
  f.year = ymd.year;
  f.month = ymd.month;
  f.day = ymd.day;
  f.dayOfYear = static_cast<int>(days - civil::daysFromCivil(ymd.year, 1, 1)) + 1;
  f.weekday = civil::weekdayFromDays(days);
  f.hour = static_cast<int>(sod / 3600);
  f.minute = static_cast<int>(sod / 60 % 60);
  f.second = static_cast<int>(sod % 60);
  f.fraction = std::isfinite(t) && std::abs(t) < civil::MaxSeconds ? t - static_cast<double>(whole) : 0;
  // Weeks run Sunday to Saturday and week 1 holds January 1, so a week
  // belongs to the year of its Saturday.
  f.weekYear = civil::civilFromDays(days + (7 - f.weekday)).year;
  return f;
}

std::string formatField(const Token& t, const Fields& f) {
  const int n = t.count;
  switch (t.letter) {
    case 'G': {
      const bool ad = f.year > 0;
      if (n == 4) return ad ? "Anno Domini" : "Before Christ";
      if (n == 5) return ad ? "A" : "B";
      return ad ? "AD" : "BC";
    }
    case 'y': {
      const int64_t y = f.year > 0 ? f.year : 1 - f.year;
      return n == 2 ? padded(y % 100, 2) : padded(y, n);
    }
    case 'Y': return n == 2 ? padded(f.weekYear % 100, 2) : padded(f.weekYear, n);
    case 'u': return padded(f.year, n);
    case 'M': case 'L': {
      if (n <= 2) return padded(f.month, n);
      std::string name = MonthNames[f.month - 1];
      if (n == 3) return name.substr(0, 3);
      if (n == 5) return name.substr(0, 1);
      return name;
    }
    case 'd': return padded(f.day, n);
    case 'D': return padded(f.dayOfYear, n);
    case 'e': case 'c':
      if (n <= 2) return padded(f.weekday, n);
      [[fallthrough]];
    case 'E': {
      std::string name = WeekdayNames[f.weekday - 1];
      if (n == 4) return name;
      if (n == 5) return name.substr(0, 1);
      if (n == 6) return name.substr(0, 2);
      return name.substr(0, 3);
    }
    case 'a': {
      const bool pm = f.hour >= 12;
      if (n == 5) return pm ? "p" : "a";
      return pm ? "PM" : "AM";
    }
    case 'H': return padded(f.hour, n);
    case 'h': return padded(f.hour % 12 == 0 ? 12 : f.hour % 12, n);
    case 'k': return padded(f.hour == 0 ? 24 : f.hour, n);
    case 'K': return padded(f.hour % 12, n);
    case 'm': return padded(f.minute, n);
    case 's': return padded(f.second, n);
    case 'S': {
      // Digits of the fraction, truncated.
      std::string out;
      double frac = f.fraction;
      for (int i = 0; i < n; ++i) {
        frac *= 10;
        int digit = std::min(9, static_cast<int>(frac));
        out += static_cast<char>('0' + digit);
        frac -= digit;
      }
      return out;
    }
    case 'Z':
      if (n == 4) return gmtOffsetText(f.offset, true);
      if (n == 5) return f.offset == 0 ? "Z" : offsetText(f.offset, true, false);
      return offsetText(f.offset, false, false);
    case 'z': return gmtOffsetText(f.offset, n >= 4);
    case 'X': case 'x': {
      if (t.letter == 'X' && f.offset == 0) return "Z";
      if (n == 1) return offsetText(f.offset, false, true);
      if (n == 3 || n == 5) return offsetText(f.offset, true, false);
      return offsetText(f.offset, false, false);
    }
  }
  return {};
}

// ---- Parsing --------------------------------------------------------------

class TextReader {
 public:
  explicit TextReader(std::string_view text) : text_(text) {}
  bool atEnd() const { return pos_ == text_.size(); }
  bool take(std::string_view s) {
    if (text_.substr(pos_, s.size()) != s) return false;
    pos_ += s.size();
    return true;
  }
  bool takeChar(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Between `minDigits` and `maxDigits` ASCII digits; never more than 18,
  // so the value always fits.
  std::optional<int64_t> number(int minDigits, int maxDigits, int* read = nullptr) {
    if (minDigits > 18) return std::nullopt;
    maxDigits = std::min(maxDigits, 18);
    const size_t start = pos_;
    int64_t value = 0;
    int digits = 0;
    while (digits < maxDigits && pos_ < text_.size() && isDigit(text_[pos_])) {
      value = value * 10 + (text_[pos_++] - '0');
      ++digits;
    }
    if (read) *read = digits;
    if (digits < minDigits) {
      pos_ = start;
      return std::nullopt;
    }
    return value;
  }
  // Index of the name (case-insensitive) that the text starts with, trying
  // the full names first, then their first `shortLength` letters.
  std::optional<int> name(const char* const* names, int count, size_t shortLength) {
    for (size_t length : {size_t{0}, shortLength}) {
      for (int i = 0; i < count; ++i) {
        std::string_view n = names[i];
        if (length) n = n.substr(0, length);
        if (matchesIgnoringCase(n)) {
          pos_ += n.size();
          return i;
        }
      }
    }
    return std::nullopt;
  }
  bool takeIgnoringCase(std::string_view s) {
    if (!matchesIgnoringCase(s)) return false;
    pos_ += s.size();
    return true;
  }

 private:
  bool matchesIgnoringCase(std::string_view s) const {
    if (text_.size() - pos_ < s.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
      char a = text_[pos_ + i], b = s[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      if (a != b) return false;
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// A zone offset in any of the written forms: Z, GMT/UTC with an optional
// offset, or +hh, +hhmm, +hh:mm.
std::optional<long> parseOffset(TextReader& r) {
  if (r.takeChar('Z')) return 0;
  bool gmt = r.take("GMT") || r.take("UTC");
  int sign = r.takeChar('+') ? 1 : r.takeChar('-') ? -1 : 0;
  if (!sign) {
    if (gmt) return 0;
    return std::nullopt;
  }
  int read = 0;
  auto hours = r.number(1, 2, &read);
  if (!hours) return std::nullopt;
  int64_t minutes = 0;
  if (r.takeChar(':')) {
    auto m = r.number(2, 2);
    if (!m) return std::nullopt;
    minutes = *m;
  } else if (read == 2) {
    if (auto m = r.number(2, 2)) minutes = *m;
  }
  if (*hours > 18 || minutes > 59) return std::nullopt;
  return sign * static_cast<long>(*hours * 3600 + minutes * 60);
}

struct Parsed {
  std::optional<int64_t> year, month, day, dayOfYear, hour24, hour12, minute, second;
  std::optional<bool> pm, bc;
  bool twoDigitYear = false;
  double fraction = 0;
  std::optional<long> offset;
};

bool parseField(const Token& t, bool abutsNumber, TextReader& r, Parsed& p) {
  const int n = t.count;
  // Numeric fields in a run of adjacent ones take exactly their width.
  const int minDigits = abutsNumber ? n : 1;
  const int maxDigits = abutsNumber ? n : 9;
  switch (t.letter) {
    case 'G': {
      if (r.takeIgnoringCase("Anno Domini") || r.takeIgnoringCase("AD")) p.bc = false;
      else if (r.takeIgnoringCase("Before Christ") || r.takeIgnoringCase("BC")) p.bc = true;
      else return false;
      return true;
    }
    case 'y': case 'Y': case 'u': {
      int read = 0;
      auto v = r.number(minDigits, maxDigits, &read);
      if (!v) return false;
      p.year = *v;
      p.twoDigitYear = n == 2 && read == 2 && t.letter != 'u';
      return true;
    }
    case 'M': case 'L': {
      if (n >= 3) {
        auto i = r.name(MonthNames, 12, 3);
        if (!i) return false;
        p.month = *i + 1;
        return true;
      }
      auto v = r.number(minDigits, std::min(maxDigits, 2));
      if (!v) return false;
      p.month = *v;
      return true;
    }
    case 'e': case 'c':
      if (n <= 2) return r.number(minDigits, std::min(maxDigits, 1)).has_value();
      [[fallthrough]];
    case 'E':
      // The weekday is read but not checked against the date.
      return r.name(WeekdayNames, 7, n == 6 ? 2 : 3).has_value();
    case 'a':
      if (r.takeIgnoringCase("AM")) p.pm = false;
      else if (r.takeIgnoringCase("PM")) p.pm = true;
      else return false;
      return true;
    case 'd': case 'D': case 'H': case 'h': case 'k': case 'K': case 'm': case 's': {
      auto v = r.number(minDigits, std::min(maxDigits, t.letter == 'D' ? 3 : 2));
      if (!v) return false;
      switch (t.letter) {
        case 'd': p.day = *v; break;
        case 'D': p.dayOfYear = *v; break;
        case 'H':
          if (*v > 23) return false;
          p.hour24 = *v;
          break;
        case 'k':
          if (*v < 1 || *v > 24) return false;
          p.hour24 = *v % 24;
          break;
        case 'h':
          if (*v < 1 || *v > 12) return false;
          p.hour12 = *v % 12;
          break;
        case 'K':
          if (*v > 11) return false;
          p.hour12 = *v;
          break;
        case 'm': p.minute = *v; break;
        case 's': p.second = *v; break;
      }
      return true;
    }
    case 'S': {
      int read = 0;
      auto v = r.number(minDigits, maxDigits, &read);
      if (!v) return false;
      p.fraction = static_cast<double>(*v) / std::pow(10.0, read);
      return true;
    }
    case 'Z': case 'z': case 'X': case 'x': {
      auto offset = parseOffset(r);
      if (!offset) return false;
      p.offset = offset;
      return true;
    }
  }
  return false;
}

}  // namespace

DateFormatter::DateFormatter() : zone_(TimeZone::defaultTimeZone()) {}

Ref<DateFormatter> DateFormatter::make(std::string_view format, Ref<TimeZone> zone) {
  auto f = std::make_shared<DateFormatter>();
  f->setDateFormat(format);
  if (zone) f->setTimeZone(std::move(zone));
  return f;
}

void DateFormatter::setDateFormat(std::string_view format) {
  format_ = std::string(format);
  valid_ = compile(format_, tokens_);
}

void DateFormatter::setTimeZone(Ref<TimeZone> zone) { zone_ = zone ? std::move(zone) : TimeZone::defaultTimeZone(); }

Ref<String> DateFormatter::stringFromDate(const Date& date) const {
  if (!valid_) return nullptr;
  const Fields f = fieldsOf(date, *zone_);
  std::string out;
  for (const Token& t : tokens_) out += t.letter ? formatField(t, f) : t.literal;
  return String::make(out);
}

Ref<Date> DateFormatter::dateFromString(std::string_view text) const {
  if (!valid_) return nullptr;
  TextReader r(text);
  Parsed p;
  for (size_t i = 0; i < tokens_.size(); ++i) {
    const Token& t = tokens_[i];
    if (!t.letter) {
      if (!r.take(t.literal)) return nullptr;
      continue;
    }
    // A run of numeric fields with nothing between them: every field of
    // the run takes exactly its width.
    auto numericAt = [&](size_t j) { return j < tokens_.size() && tokens_[j].letter && isNumericField(tokens_[j]); };
    const bool abuts = isNumericField(t) && (numericAt(i + 1) || (i > 0 && numericAt(i - 1)));
    if (!parseField(t, abuts, r, p)) return nullptr;
  }
  if (!r.atEnd()) return nullptr;

  int64_t year = p.year.value_or(2000);
  if (p.twoDigitYear) {
    Calendar calendar(zone_);
    const int64_t startYear =
        twoDigitStart_ ? calendar.component(CalendarUnitYear, *twoDigitStart_)
                       : calendar.component(CalendarUnitYear, Date()) - 80;
    year += civil::floorDiv(startYear, 100) * 100;
    if (year < startYear) year += 100;
  }
  if (p.bc.value_or(false)) year = 1 - year;
  if (year > 9'999'999 || year < -9'999'999) return nullptr;

  int64_t month = p.month.value_or(1);
  int64_t day = p.day.value_or(1);
  if (p.dayOfYear && !p.month && !p.day) {
    if (*p.dayOfYear < 1 || *p.dayOfYear > (civil::isLeapYear(year) ? 366 : 365)) return nullptr;
    const civil::YMD ymd = civil::civilFromDays(civil::daysFromCivil(year, 1, 1) + *p.dayOfYear - 1);
    month = ymd.month;
    day = ymd.day;
  }
  if (month < 1 || month > 12 || day < 1 || day > civil::daysInMonth(year, static_cast<int>(month))) return nullptr;

  int64_t hour = p.hour24.value_or(0);
  if (p.hour12) hour = *p.hour12 + (p.pm.value_or(false) ? 12 : 0);
  else if (p.pm && !p.hour24) hour = *p.pm ? 12 : 0;
  const int64_t minute = p.minute.value_or(0), second = p.second.value_or(0);
  if (minute > 59 || second > 59) return nullptr;

  const int64_t local = civil::daysFromCivil(year, static_cast<int>(month), static_cast<int>(day)) *
                            civil::SecondsPerDay + hour * 3600 + minute * 60 + second;
  const int64_t utc = p.offset ? local - *p.offset : zone_->unixSecondsFromLocal(local);
  return Date::dateWithTimeIntervalSince1970(static_cast<double>(utc) + p.fraction);
}

Id DateFormatter::copy() const {
  auto f = std::make_shared<DateFormatter>();
  f->setDateFormat(format_);
  f->zone_ = zone_;
  f->twoDigitStart_ = twoDigitStart_;
  return f;
}

}  // namespace kit
