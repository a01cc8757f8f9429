// Proleptic Gregorian calendar arithmetic on whole days and seconds, shared
// by dates, time zones, calendars and date formatters. Days are counted from
// 1970-01-01; all arithmetic is in 64-bit integers, and conversions from
// floating-point seconds clamp to a range far beyond any real date so that
// a wild value never overflows.
#pragma once

#include <cmath>
#include <cstdint>

namespace kit::civil {

struct YMD {
  int64_t year;
  int month;  // 1-12
  int day;    // 1-31
};

inline constexpr int64_t SecondsPerDay = 86400;
// About ±3 million years: plenty for dates and safe for every product below.
inline constexpr double MaxSeconds = 1e14;

inline bool isLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

inline int daysInMonth(int64_t y, int m) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeapYear(y) ? 29 : days[(m - 1) % 12];
}

// Days since 1970-01-01 of a civil date (month and day already in range).
inline int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

inline YMD civilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2), m, d};
}

// 1 = Sunday ... 7 = Saturday.
inline int weekdayFromDays(int64_t z) {
  int64_t w = (z + 4) % 7;  // 1970-01-01 was a Thursday (4 with Sunday = 0)
  if (w < 0) w += 7;
  return static_cast<int>(w) + 1;
}

// Floor division and modulo for negative values.
inline int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
inline int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// Whole seconds (floor) of a floating-point count, clamped; NaN reads as 0.
inline int64_t wholeSeconds(double s) {
  if (std::isnan(s)) return 0;
  if (s > MaxSeconds) return static_cast<int64_t>(MaxSeconds);
  if (s < -MaxSeconds) return -static_cast<int64_t>(MaxSeconds);
  return static_cast<int64_t>(std::floor(s));
}

}  // namespace kit::civil
