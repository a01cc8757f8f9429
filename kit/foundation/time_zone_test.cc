// Time zones read from the system's database, from TZ and from zone files
// and rule texts of our own making, including malformed ones.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/calendar.h"
#include "kit/foundation/date.h"
#include "kit/foundation/time_zone.h"
#include "kit/foundation/tz_rules.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

// Sets an environment variable for a scope and re-reads the system zone.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
    TimeZone::resetSystemTimeZone();
  }
  ~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
    TimeZone::resetSystemTimeZone();
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// 2024-05-15 00:00:00 UTC.
constexpr TimeInterval May15UTC = 1715731200;

TEST(TimeZone, NamedZonesFromTheSystemDatabase) {
  auto shanghai = TimeZone::timeZoneWithName("Asia/Shanghai");
  ASSERT_TRUE(shanghai);
  EXPECT_EQ(shanghai->name(), "Asia/Shanghai");
  auto may = Date::dateWithTimeIntervalSince1970(May15UTC);
  EXPECT_EQ(shanghai->secondsFromGMTForDate(*may), 8 * 3600);
  EXPECT_FALSE(shanghai->isDaylightSavingTimeForDate(*may));

  auto newYork = TimeZone::timeZoneWithName("America/New_York");
  ASSERT_TRUE(newYork);
  EXPECT_EQ(newYork->secondsFromGMTForDate(*may), -4 * 3600);
  EXPECT_TRUE(newYork->isDaylightSavingTimeForDate(*may));
  EXPECT_EQ(newYork->abbreviationForDate(*may), "EDT");
  auto january = Date::dateWithTimeIntervalSince1970(1704067200);  // 2024-01-01
  EXPECT_EQ(newYork->secondsFromGMTForDate(*january), -5 * 3600);
  // Far beyond the table of transitions the rule text takes over.
  auto february2200 = Date::dateWithTimeIntervalSince1970(7261920000);  // 2200-02-14
  EXPECT_EQ(newYork->secondsFromGMTForDate(*february2200), -5 * 3600);
  EXPECT_EQ(newYork->secondsFromGMTForDate(*february2200->dateByAddingTimeInterval(150 * 86400)), -4 * 3600);
  // The southern hemisphere has daylight time around new year.
  auto sydney = TimeZone::timeZoneWithName("Australia/Sydney");
  ASSERT_TRUE(sydney);
  EXPECT_EQ(sydney->secondsFromGMTForDate(*january), 11 * 3600);
  EXPECT_EQ(sydney->secondsFromGMTForDate(*may), 10 * 3600);

  EXPECT_EQ(TimeZone::timeZoneWithName("Mars/Olympus_Mons"), nullptr);
  EXPECT_EQ(TimeZone::timeZoneWithName("../../etc/passwd"), nullptr);
  EXPECT_EQ(TimeZone::timeZoneWithName("/etc/localtime"), nullptr);
  EXPECT_EQ(TimeZone::timeZoneWithName(""), nullptr);
  EXPECT_EQ(TimeZone::timeZoneWithName("Asia"), nullptr);  // a folder, not a zone
}

TEST(TimeZone, FixedOffsets) {
  auto plus8 = TimeZone::timeZoneForSecondsFromGMT(8 * 3600);
  ASSERT_TRUE(plus8);
  EXPECT_EQ(plus8->name(), "GMT+0800");
  EXPECT_EQ(plus8->secondsFromGMT(), 28800);
  EXPECT_EQ(plus8->abbreviation(), "GMT+8");
  EXPECT_EQ(TimeZone::timeZoneForSecondsFromGMT(-(5 * 3600 + 1800))->name(), "GMT-0530");
  EXPECT_EQ(TimeZone::timeZoneForSecondsFromGMT(19 * 3600), nullptr);
  EXPECT_EQ(TimeZone::utc()->secondsFromGMT(), 0);
  for (const char* name : {"GMT+8", "GMT+08", "GMT+0800", "GMT+08:00", "UTC+8"}) {
    auto z = TimeZone::timeZoneWithName(name);
    ASSERT_TRUE(z) << name;
    EXPECT_EQ(z->secondsFromGMT(), 28800) << name;
  }
  EXPECT_EQ(TimeZone::timeZoneWithName("UTC")->secondsFromGMT(), 0);
  EXPECT_EQ(TimeZone::timeZoneWithName("GMT+99"), nullptr);
  EXPECT_EQ(TimeZone::timeZoneWithName("GMT+8:7"), nullptr);
  EXPECT_EQ(plus8->description(), "GMT+0800 (GMT+8) offset 28800");
  EXPECT_TRUE(isEqual(plus8, TimeZone::timeZoneForSecondsFromGMT(28800)));
}

TEST(TimeZone, SystemZoneFollowsTZ) {
  {
    ScopedEnv tz("TZ", "Asia/Shanghai");
    EXPECT_EQ(TimeZone::systemTimeZone()->name(), "Asia/Shanghai");
    EXPECT_EQ(TimeZone::defaultTimeZone()->secondsFromGMT(), 28800);
    EXPECT_EQ(Calendar::currentCalendar()->timeZone()->name(), "Asia/Shanghai");
  }
  {
    ScopedEnv tz("TZ", ":Europe/Berlin");
    EXPECT_EQ(TimeZone::systemTimeZone()->name(), "Europe/Berlin");
  }
  {
    // A POSIX rule: China Standard Time, and US Eastern with its rules.
    ScopedEnv tz("TZ", "CST-8");
    EXPECT_EQ(TimeZone::systemTimeZone()->secondsFromGMT(), 28800);
  }
  {
    ScopedEnv tz("TZ", "EST5EDT,M3.2.0,M11.1.0");
    auto zone = TimeZone::systemTimeZone();
    EXPECT_EQ(zone->secondsFromGMTForDate(*Date::dateWithTimeIntervalSince1970(May15UTC)), -4 * 3600);
    EXPECT_EQ(zone->secondsFromGMTForDate(*Date::dateWithTimeIntervalSince1970(1704067200)), -5 * 3600);
    // 2024-03-10 06:59:59 UTC is the last second of standard time.
    EXPECT_EQ(zone->secondsFromGMTForDate(*Date::dateWithTimeIntervalSince1970(1710053999)), -5 * 3600);
    EXPECT_EQ(zone->secondsFromGMTForDate(*Date::dateWithTimeIntervalSince1970(1710054000)), -4 * 3600);
  }
  {
    ScopedEnv tz("TZ", "");
    EXPECT_EQ(TimeZone::systemTimeZone()->secondsFromGMT(), 0);
  }
  {
    ScopedEnv tz("TZ", "Nowhere/Garbage!");
    EXPECT_EQ(TimeZone::systemTimeZone()->secondsFromGMT(), 0);  // unreadable: UTC
  }
  {
    ScopedEnv tz("TZ", "Asia/Shanghai");
    ScopedDefaultTimeZone tokyo(TimeZone::timeZoneWithName("Asia/Tokyo"));
    EXPECT_EQ(TimeZone::defaultTimeZone()->name(), "Asia/Tokyo");
    EXPECT_EQ(TimeZone::systemTimeZone()->name(), "Asia/Shanghai");
    EXPECT_EQ(Calendar::currentCalendar()->timeZone()->secondsFromGMT(), 9 * 3600);
  }
}


// A fresh directory removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kit-tz-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Builds TZif files: a version 2 file with an empty 32-bit block, then the
// 64-bit block and the footer.
struct ZoneFile {
  struct Type {
    int32_t offset;
    bool dst;
    std::string abbreviation;
  };
  std::vector<std::pair<int64_t, uint8_t>> transitions;
  std::vector<Type> types;
  std::string footer;

  static void be32(std::string& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
  }
  static void header(std::string& out, uint32_t timecnt, uint32_t typecnt, uint32_t charcnt) {
    out += "TZif2";
    out += std::string(15, '\0');
    for (uint32_t v : {0u, 0u, 0u, timecnt, typecnt, charcnt}) be32(out, v);
  }
  std::string bytes() const {
    std::string out;
    header(out, 0, 1, 1);
    out += std::string(6, '\0');  // one type: offset 0, abbreviation index 0
    out += '\0';                  // its abbreviation: ""
    std::string chars;
    std::vector<uint8_t> indexes;
    for (const Type& t : types) {
      indexes.push_back(static_cast<uint8_t>(chars.size()));
      chars += t.abbreviation + '\0';
    }
    header(out, static_cast<uint32_t>(transitions.size()), static_cast<uint32_t>(types.size()),
           static_cast<uint32_t>(chars.size()));
    for (auto& [t, type] : transitions) {
      be32(out, static_cast<uint32_t>(static_cast<uint64_t>(t) >> 32));
      be32(out, static_cast<uint32_t>(t));
    }
    for (auto& [t, type] : transitions) out += static_cast<char>(type);
    for (size_t i = 0; i < types.size(); ++i) {
      be32(out, static_cast<uint32_t>(types[i].offset));
      out += static_cast<char>(types[i].dst);
      out += static_cast<char>(indexes[i]);
    }
    out += chars;
    return out + "\n" + footer + "\n";
  }
};

ZoneFile sampleZone() {
  ZoneFile z;
  z.types = {{3600, false, "AAA"}, {7200, true, "BBB"}};
  z.transitions = {{1000, 1}, {2000, 0}};
  z.footer = "AAA-1";
  return z;
}

TEST(TimeZoneRules, ReadsAZoneFileOfOurOwn) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "/Test");
  {
    std::ofstream out(dir.path() + "/Test/Zone", std::ios::binary);
    out << sampleZone().bytes();
  }
  ScopedEnv tzdir("TZDIR", dir.path().c_str());
  auto zone = TimeZone::timeZoneWithName("Test/Zone");
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->offsetAtUnixSeconds(0), 3600);     // before the first transition: type 0
  EXPECT_EQ(zone->offsetAtUnixSeconds(999), 3600);
  EXPECT_EQ(zone->offsetAtUnixSeconds(1000), 7200);
  EXPECT_EQ(zone->offsetAtUnixSeconds(1999), 7200);
  EXPECT_EQ(zone->offsetAtUnixSeconds(2000), 3600);
  EXPECT_EQ(zone->offsetAtUnixSeconds(4'000'000'000), 3600);  // the footer rule
  EXPECT_TRUE(zone->isDaylightSavingTimeForDate(*Date::dateWithTimeIntervalSince1970(1500)));
  EXPECT_EQ(zone->abbreviationForDate(*Date::dateWithTimeIntervalSince1970(1500)), "BBB");
}

TEST(TimeZoneRules, RejectsMalformedZoneFiles) {
  const std::string good = sampleZone().bytes();
  ASSERT_TRUE(tz::Rules::fromTZif(good));
  // Every truncation fails cleanly.
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(tz::Rules::fromTZif(std::string_view(good).substr(0, n))) << "length " << n;
  }
  ZoneFile badIndex = sampleZone();
  badIndex.transitions[1].second = 5;
  EXPECT_FALSE(tz::Rules::fromTZif(badIndex.bytes()));
  ZoneFile unordered = sampleZone();
  std::swap(unordered.transitions[0], unordered.transitions[1]);
  EXPECT_FALSE(tz::Rules::fromTZif(unordered.bytes()));
  ZoneFile wildOffset = sampleZone();
  wildOffset.types[0].offset = 90000;
  EXPECT_FALSE(tz::Rules::fromTZif(wildOffset.bytes()));
  ZoneFile badFooter = sampleZone();
  badFooter.footer = "AAA-1BBB,M13.1.0,M1.1.0";
  EXPECT_FALSE(tz::Rules::fromTZif(badFooter.bytes()));
  std::string badMagic = good;
  badMagic[0] = 'X';
  EXPECT_FALSE(tz::Rules::fromTZif(badMagic));
  // Counts that promise more data than the file holds.
  std::string huge = good;
  huge[20 + 12] = '\x7f';
  EXPECT_FALSE(tz::Rules::fromTZif(huge));
}

TEST(TimeZoneRules, PosixRuleTexts) {
  auto cet = tz::parsePosixRule("CET-1CEST,M3.5.0,M10.5.0/3");
  ASSERT_TRUE(cet);
  EXPECT_EQ(cet->standard.offset, 3600);
  ASSERT_TRUE(cet->daylight);
  EXPECT_EQ(cet->daylight->offset, 7200);
  // 2024-03-31 01:00 UTC: daylight time starts in central Europe.
  EXPECT_EQ(cet->typeAt(1711846799).offset, 3600);
  EXPECT_EQ(cet->typeAt(1711846800).offset, 7200);
  // 2024-10-27 01:00 UTC: it ends.
  EXPECT_EQ(cet->typeAt(1729990799).offset, 7200);
  EXPECT_EQ(cet->typeAt(1729990800).offset, 3600);

  auto quoted = tz::parsePosixRule("<+0330>-3:30");
  ASSERT_TRUE(quoted);
  EXPECT_EQ(quoted->standard.offset, 12600);
  EXPECT_EQ(quoted->standard.abbreviation, "+0330");
  auto julian = tz::parsePosixRule("AAA3BBB,J60/2,300/-1");
  ASSERT_TRUE(julian);
  EXPECT_EQ(julian->start.time, 7200);
  EXPECT_EQ(julian->end.time, -3600);

  for (const char* bad : {"", "C-8", "CST", "CST-8X", "CST-25", "<+08-8", "EST5EDT,M3.2.0", "EST5EDT,M3.6.0,M11.1.0",
                          "EST5EDT,J0,J365", "EST5EDT,M3.2.7,M11.1.0", "EST5EDT,M3.2.0/168,M11.1.0", "CST-8:60"}) {
    EXPECT_FALSE(tz::parsePosixRule(bad)) << bad;
  }
}

TEST(TimeZoneRules, WallClockTimesAcrossClockChanges) {
  auto newYork = TimeZone::timeZoneWithName("America/New_York");
  ASSERT_TRUE(newYork);
  // 2024-03-10 02:30 does not exist in New York: it moves forward to 03:30
  // EDT, which is 07:30 UTC.
  const int64_t skipped = 1710037800;  // 2024-03-10 02:30 as if UTC
  EXPECT_EQ(newYork->unixSecondsFromLocal(skipped), 1710055800);
  // 2024-11-03 01:30 happens twice; the earlier (EDT, 05:30 UTC) is chosen.
  const int64_t repeated = 1730597400;  // 2024-11-03 01:30 as if UTC
  EXPECT_EQ(newYork->unixSecondsFromLocal(repeated), 1730611800);
  // An ordinary time reads back exactly.
  EXPECT_EQ(newYork->unixSecondsFromLocal(1715731200 - 4 * 3600), 1715731200);
}

}  // namespace
}  // namespace kit
