// The rules of a time zone: UTC offsets over time, read from the system's
// time-zone database (TZif files, RFC 8536) or from a POSIX TZ rule text
// such as "CET-1CEST,M3.5.0,M10.5.0/3". Both readers take outside input
// and reject anything malformed instead of guessing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit::tz {

// One local time type: offset east of UTC, daylight flag, abbreviation.
struct LocalType {
  int32_t offset = 0;
  bool isDST = false;
  std::string abbreviation;
};

// A POSIX TZ rule: standard time, and optionally daylight time with the
// rules that start and end it each year.
struct PosixRule {
  struct Transition {
    enum class Kind { Julian1, Julian0, MonthWeekDay } kind = Kind::MonthWeekDay;
    int day = 0;    // Julian day, or day of week (0 = Sunday)
    int week = 0;   // 1-5 (5 = last)
    int month = 0;  // 1-12
    int32_t time = 7200;  // seconds after local midnight, -167h..167h
  };
  LocalType standard;
  std::optional<LocalType> daylight;
  Transition start, end;

  // The local type in effect at a UTC moment.
  const LocalType& typeAt(int64_t utc) const;
};

// Parses a POSIX TZ rule; nullopt when it is malformed.
std::optional<PosixRule> parsePosixRule(std::string_view text);

class Rules {
 public:
  // A zone with one fixed offset.
  static Rules fixed(int32_t offset, std::string abbreviation);
  static Rules fromPosix(PosixRule rule);
  // Parses the bytes of a TZif file; nullopt when they are malformed.
  static std::optional<Rules> fromTZif(std::string_view bytes);

  // The local type in effect at a UTC moment (seconds since 1970).
  const LocalType& typeAt(int64_t utc) const;
  int32_t offsetAt(int64_t utc) const { return typeAt(utc).offset; }
  // The UTC moment of a local wall-clock time (seconds since 1970 as if the
  // wall clock were UTC). An ambiguous time (clocks turned back) resolves to
  // the earlier moment; a skipped time (clocks turned forward) is moved
  // forward by the length of the gap.
  int64_t utcFromLocal(int64_t local) const;

 private:
  std::vector<int64_t> transitions_;  // UTC, ascending
  std::vector<uint8_t> typeIndexes_;  // type after each transition
  std::vector<LocalType> types_;
  size_t initialType_ = 0;            // before the first transition
  std::optional<PosixRule> footer_;   // after the last transition
};

}  // namespace kit::tz
