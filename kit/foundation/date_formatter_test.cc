// Date patterns in both directions, strict parsing, and the fixed number
// syntax.

#include <gtest/gtest.h>

#include <cmath>

#include "kit/foundation/date_formatter.h"
#include "kit/foundation/number_formatter.h"

namespace kit {
namespace {

// 2024-05-15 08:05:09.25 UTC, a Wednesday.
const TimeInterval Sample = 1715760309.25;

std::string fmt(std::string_view pattern, const char* zoneName = "Asia/Shanghai", TimeInterval at = Sample) {
  auto f = DateFormatter::make(pattern, TimeZone::timeZoneWithName(zoneName));
  auto s = f->stringFromDate(*Date::dateWithTimeIntervalSince1970(at));
  return s ? s->utf8() : "nil";
}

Ref<Date> parse(std::string_view pattern, std::string_view text, const char* zoneName = "Asia/Shanghai") {
  return DateFormatter::make(pattern, TimeZone::timeZoneWithName(zoneName))->dateFromString(text);
}

TEST(DateFormatter, TheProductsPatterns) {
  EXPECT_EQ(fmt("yyyy-MM-dd"), "2024-05-15");
  EXPECT_EQ(fmt("HH:mm"), "16:05");
  EXPECT_EQ(fmt(" HH:mm"), " 16:05");
  EXPECT_EQ(fmt("MM-dd HH:mm"), "05-15 16:05");
  EXPECT_EQ(fmt("yyyy-MM-dd HH:mm"), "2024-05-15 16:05");
  EXPECT_EQ(fmt("yyyy-MM-dd HH:mm:ss"), "2024-05-15 16:05:09");
  EXPECT_EQ(fmt("yyyyMMddHHmmss"), "20240515160509");
  EXPECT_EQ(fmt("yyyy-MM-dd HH:mm:ss", "UTC"), "2024-05-15 08:05:09");

  for (const char* pattern : {"yyyy-MM-dd HH:mm:ss", "yyyyMMddHHmmss"}) {
    auto f = DateFormatter::make(pattern, TimeZone::timeZoneWithName("Asia/Shanghai"));
    auto d = f->dateFromString(f->stringFromDate(*Date::dateWithTimeIntervalSince1970(Sample))->utf8());
    ASSERT_TRUE(d) << pattern;
    EXPECT_EQ(d->timeIntervalSince1970(), std::floor(Sample)) << pattern;
  }
  EXPECT_EQ(parse("yyyy-MM-dd", "2024-05-15")->description(), "2024-05-14 16:00:00 +0000");
  // Missing fields come from 2000-01-01 00:00 in the formatter's zone.
  EXPECT_EQ(parse("HH:mm", "10:20")->description(), "2000-01-01 02:20:00 +0000");
  EXPECT_EQ(parse("MM-dd HH:mm", "12-31 23:59", "UTC")->description(), "2000-12-31 23:59:00 +0000");
}

TEST(DateFormatter, LettersQuotesAndNames) {
  EXPECT_EQ(fmt("EEE, d MMM yyyy", "UTC"), "Wed, 15 May 2024");
  EXPECT_EQ(fmt("EEEE MMMM EEEEE MMMMM EEEEEE", "UTC"), "Wednesday May W M We");
  EXPECT_EQ(fmt("h:mm a", "UTC"), "8:05 AM");
  EXPECT_EQ(fmt("hh:mm a"), "04:05 PM");
  EXPECT_EQ(fmt("K k H", "UTC", 1715731200), "0 24 0");  // midnight
  EXPECT_EQ(fmt("yy y yyyyy G GGGG", "UTC"), "24 2024 02024 AD Anno Domini");
  EXPECT_EQ(fmt("D DDD e", "UTC"), "136 136 4");
  EXPECT_EQ(fmt("ss.S ss.SSS", "UTC"), "09.2 09.250");
  EXPECT_EQ(fmt("'at' HH 'o''clock' ''"), "at 16 o'clock '");
  EXPECT_EQ(fmt("yyyy-MM-dd'T'HH:mm:ssZZZZZ"), "2024-05-15T16:05:09+08:00");
  EXPECT_EQ(fmt("Z|ZZZZ|z|zzzz|X|XX|XXX|x", "Asia/Kolkata"), "+0530|GMT+05:30|GMT+5:30|GMT+05:30|+0530|+0530|+05:30|+0530");
  EXPECT_EQ(fmt("Z|ZZZZZ|X|x|z", "UTC"), "+0000|Z|Z|+00|GMT");
  EXPECT_EQ(fmt("HH 中文 mm"), "16 中文 05");
  // The week year of the last days of December can be the next year.
  EXPECT_EQ(fmt("YYYY yyyy", "UTC", 1735603200), "2025 2024");  // 2024-12-31
  // Patterns with letters we do not know, or an open quote, give nil.
  EXPECT_EQ(fmt("yyyy-QQ"), "nil");
  EXPECT_EQ(fmt("'open"), "nil");
  EXPECT_EQ(parse("yyyy-QQ", "2024-02"), nullptr);
}

TEST(DateFormatter, ParsingIsStrict) {
  const char* pattern = "yyyy-MM-dd HH:mm";
  EXPECT_TRUE(parse(pattern, "2024-05-15 16:05"));
  for (const char* bad : {"", "2024-05-15", "2024-05-15 16:05 ", " 2024-05-15 16:05", "2024/05/15 16:05",
                          "2024-13-01 00:00", "2024-02-30 00:00", "2023-02-29 00:00", "2024-00-10 00:00",
                          "2024-05-15 24:00", "2024-05-15 16:60", "2024-05-15 1x:05", "abcd-05-15 16:05",
                          "2024-05-15\n16:05"}) {
    EXPECT_EQ(parse(pattern, bad), nullptr) << bad;
  }
  EXPECT_TRUE(parse(pattern, "2024-02-29 00:00"));
  // Non-adjacent numbers may be short; adjacent ones take exactly their width.
  EXPECT_EQ(parse("yyyy-M-d", "2024-5-7", "UTC")->description(), "2024-05-07 00:00:00 +0000");
  EXPECT_EQ(parse("yyyyMMddHHmmss", "20240515160509", "UTC")->description(), "2024-05-15 16:05:09 +0000");
  EXPECT_EQ(parse("yyyyMMddHHmmss", "2024051516050", "UTC"), nullptr);
  EXPECT_EQ(parse("yyyyMMddHHmmss", "202405151605091", "UTC"), nullptr);
  // Names, AM/PM, fractions and written offsets.
  EXPECT_EQ(parse("EEE, d MMM yyyy h:mm a", "Wed, 15 may 2024 4:05 pm", "UTC")->description(),
            "2024-05-15 16:05:00 +0000");
  EXPECT_EQ(parse("MMMM d yyyy", "September 3 2024", "UTC")->description(), "2024-09-03 00:00:00 +0000");
  EXPECT_EQ(parse("h a", "12 AM", "UTC")->description(), "2000-01-01 00:00:00 +0000");
  EXPECT_EQ(parse("h a", "13 PM", "UTC"), nullptr);
  EXPECT_DOUBLE_EQ(parse("ss.SSS", "09.250", "UTC")->timeIntervalSince1970(), 946684809.25);
  for (const char* text : {"2024-05-15T16:05:09+08:00", "2024-05-15T16:05:09+0800", "2024-05-15T16:05:09+08",
                           "2024-05-15T08:05:09Z", "2024-05-15T08:05:09GMT", "2024-05-15T16:05:09GMT+8"}) {
    auto d = parse("yyyy-MM-dd'T'HH:mm:ssZZZZZ", text, "America/New_York");
    ASSERT_TRUE(d) << text;
    EXPECT_EQ(d->description(), "2024-05-15 08:05:09 +0000") << text;
  }
  EXPECT_EQ(parse("yyyy-MM-dd'T'HH:mm:ssZ", "2024-05-15T16:05:09+99:00"), nullptr);
}

TEST(DateFormatter, TwoDigitYearsAndZones) {
  auto f = DateFormatter::make("yy-MM-dd", TimeZone::utc());
  {
    ScopedWallClock clock(1715731200);  // 2024: two-digit years span 1944-2043
    EXPECT_EQ(f->dateFromString("43-01-01")->description(), "2043-01-01 00:00:00 +0000");
    EXPECT_EQ(f->dateFromString("44-01-01")->description(), "1944-01-01 00:00:00 +0000");
    EXPECT_EQ(f->dateFromString("2031-01-01")->description(), "2031-01-01 00:00:00 +0000");
  }
  f->setTwoDigitStartDate(Date::dateWithTimeIntervalSince1970(0));
  EXPECT_EQ(f->dateFromString("69-06-01")->description(), "2069-06-01 00:00:00 +0000");

  // Formatters start in the default zone and follow a zone set later.
  ScopedDefaultTimeZone tokyo(TimeZone::timeZoneWithName("Asia/Tokyo"));
  auto g = DateFormatter::make("HH:mm");
  EXPECT_EQ(g->stringFromDate(*Date::dateWithTimeIntervalSince1970(0))->utf8(), "09:00");
  g->setTimeZone(TimeZone::utc());
  EXPECT_EQ(g->stringFromDate(*Date::dateWithTimeIntervalSince1970(0))->utf8(), "00:00");
  EXPECT_EQ(g->stringFromDate(Ref<Date>()), nullptr);
  auto copy = as<DateFormatter>(g->copy());
  EXPECT_EQ(copy->dateFormat(), "HH:mm");
  EXPECT_EQ(copy->timeZone()->secondsFromGMT(), 0);
}

TEST(NumberFormatter, FormatsWithHalfEvenRounding) {
  NumberFormatter plain;
  EXPECT_EQ(plain.stringFromNumber(num(12))->utf8(), "12");
  EXPECT_EQ(plain.stringFromNumber(num(2.5))->utf8(), "2");   // half to even
  EXPECT_EQ(plain.stringFromNumber(num(3.5))->utf8(), "4");
  EXPECT_EQ(plain.stringFromNumber(num(-0.4))->utf8(), "0");
  EXPECT_EQ(plain.stringFromNumber(num(18446744073709551615ull))->utf8(), "18446744073709551615");
  EXPECT_EQ(plain.stringFromNumber(num(-9223372036854775807LL - 1))->utf8(), "-9223372036854775808");
  EXPECT_EQ(plain.stringFromNumber(nullptr), nullptr);

  NumberFormatter decimal;
  decimal.setNumberStyle(NumberFormatterStyle::Decimal);
  EXPECT_EQ(decimal.format(1234.5678), "1234.568");
  EXPECT_EQ(decimal.format(0.1 + 0.2), "0.3");
  EXPECT_EQ(decimal.format(1e-7), "0");
  EXPECT_EQ(decimal.format(1e21), "1000000000000000000000");
  EXPECT_EQ(decimal.format(-1.0005), "-1");  // the shortest text is 1.0005: half to even gives 1.000
  decimal.setMaximumFractionDigits(2);
  EXPECT_EQ(decimal.format(2.675), "2.68");   // rounds the decimal text, not the binary value
  EXPECT_EQ(decimal.format(2.665), "2.66");
  EXPECT_EQ(decimal.format(9.999), "10");
  decimal.setMinimumFractionDigits(2);
  EXPECT_EQ(decimal.format(5.0), "5.00");
  EXPECT_EQ(decimal.format(0.5), "0.50");
  decimal.setMinimumIntegerDigits(3);
  EXPECT_EQ(decimal.format(5.25), "005.25");
  decimal.setMinimumIntegerDigits(1);
  decimal.setUsesGroupingSeparator(true);
  EXPECT_EQ(decimal.format(1234567.891), "1,234,567.89");
  EXPECT_EQ(decimal.format(-999.0), "-999.00");
  EXPECT_EQ(decimal.format(std::nan("")), "NaN");
  EXPECT_EQ(decimal.format(-INFINITY), "-∞");
  decimal.setMaximumFractionDigits(1);
  EXPECT_EQ(decimal.minimumFractionDigits(), 1u);
}

TEST(NumberFormatter, ParsesOnlyTheFixedSyntax) {
  NumberFormatter f;
  auto n = f.numberFromString("12");
  ASSERT_TRUE(n);
  EXPECT_STREQ(n->objCType(), "q");
  EXPECT_EQ(n->longLongValue(), 12);
  EXPECT_STREQ(f.numberFromString("1.0")->objCType(), "q");  // whole values are integers
  EXPECT_DOUBLE_EQ(f.numberFromString("-1.5")->doubleValue(), -1.5);
  EXPECT_DOUBLE_EQ(f.numberFromString(".5")->doubleValue(), 0.5);
  EXPECT_EQ(f.numberFromString("5.")->longLongValue(), 5);
  EXPECT_EQ(f.numberFromString("007")->longLongValue(), 7);
  EXPECT_STREQ(f.numberFromString("99999999999999999999")->objCType(), "d");
  EXPECT_TRUE(std::signbit(f.numberFromString("-0")->doubleValue()));
  EXPECT_TRUE(std::isinf(f.numberFromString(std::string(400, '9'))->doubleValue()));
  EXPECT_EQ(f.numberFromString("0." + std::string(400, '0') + "1")->doubleValue(), 0.0);
  for (const char* bad : {"", "-", ".", "abc", "12abc", " 12", "12 ", "+5", "1e5", "1,234", "1.2.3", "--1", "0x10",
                          "١٢", "12\n"}) {
    EXPECT_EQ(f.numberFromString(bad), nullptr) << bad;
  }
  f.setUsesGroupingSeparator(true);
  EXPECT_EQ(f.numberFromString("1,234,567")->longLongValue(), 1234567);
  EXPECT_EQ(f.numberFromString("1234")->longLongValue(), 1234);
  EXPECT_DOUBLE_EQ(f.numberFromString("12,345.5")->doubleValue(), 12345.5);
  for (const char* bad : {"1,23", "1234,567", ",123", "1,,234", "1,234,", "12,3456"}) {
    EXPECT_EQ(f.numberFromString(bad), nullptr) << bad;
  }
}

}  // namespace
}  // namespace kit
