// Dates and the replaceable clocks.

#include <gtest/gtest.h>

#include <cmath>

#include "kit/foundation/date.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

// 2024-05-15 00:00:00 UTC.
constexpr TimeInterval May15UTC = 1715731200;

TEST(Date, ReferenceDatesAndDescription) {
  auto d = Date::dateWithTimeIntervalSince1970(May15UTC + 8 * 3600);
  EXPECT_EQ(d->description(), "2024-05-15 08:00:00 +0000");
  EXPECT_DOUBLE_EQ(d->timeIntervalSinceReferenceDate(), May15UTC + 8 * 3600 - 978307200);
  EXPECT_EQ(Date::dateWithTimeIntervalSinceReferenceDate(0)->description(), "2001-01-01 00:00:00 +0000");
  EXPECT_EQ(Date::dateWithTimeIntervalSince1970(-1)->description(), "1969-12-31 23:59:59 +0000");
  EXPECT_EQ(Date::distantFuture()->description(), "4001-01-01 00:00:00 +0000");
  EXPECT_EQ(Date::distantPast()->description(), "0000-12-30 00:00:00 +0000");
  EXPECT_EQ(describe(Date::dateWithTimeIntervalSince1970(0)), "1970-01-01 00:00:00 +0000");
  // Wild values print something instead of overflowing.
  EXPECT_FALSE(Date(std::nan("")).description().empty());
  EXPECT_FALSE(Date(1e300).description().empty());
}

TEST(Date, ComparisonEqualityAndArithmetic) {
  auto a = Date::dateWithTimeIntervalSince1970(100);
  auto b = a->dateByAddingTimeInterval(2.5);
  EXPECT_EQ(a->compare(*b), ComparisonResult::Ascending);
  EXPECT_EQ(b->compare(*a), ComparisonResult::Descending);
  EXPECT_EQ(a->compare(*Date::dateWithTimeIntervalSince1970(100)), ComparisonResult::Same);
  EXPECT_DOUBLE_EQ(b->timeIntervalSinceDate(*a), 2.5);
  EXPECT_EQ(a->earlierDate(b), a);
  EXPECT_EQ(a->laterDate(b), b);
  EXPECT_TRUE(isEqual(a, Date::dateWithTimeIntervalSince1970(100)));
  EXPECT_EQ(a->hash(), Date::dateWithTimeIntervalSince1970(100)->hash());
  EXPECT_FALSE(isEqual(a, b));
  EXPECT_FALSE(isEqual(a, num(100)));
}

TEST(Clock, WallClockIsReplaceableAndRestored) {
  const TimeInterval real = wallClockNow();
  {
    ScopedWallClock fixed(May15UTC);
    EXPECT_EQ(wallClockNow(), May15UTC);
    EXPECT_EQ(Date::now()->description(), "2024-05-15 00:00:00 +0000");
    EXPECT_DOUBLE_EQ(Date::dateWithTimeIntervalSince1970(May15UTC + 30)->timeIntervalSinceNow(), 30);
    EXPECT_DOUBLE_EQ(Date::dateWithTimeIntervalSinceNow(-5)->timeIntervalSince1970(), May15UTC - 5);
    {
      TimeInterval t = 10;
      ScopedWallClock moving([&t] { return t; });
      EXPECT_EQ(wallClockNow(), 10);
      t = 11;
      EXPECT_EQ(Date().timeIntervalSince1970(), 11);
    }
    EXPECT_EQ(wallClockNow(), May15UTC);  // the outer override is back
  }
  EXPECT_GE(wallClockNow(), real);
  EXPECT_LT(wallClockNow() - real, 3600);
}

TEST(Clock, MediaTimeIsMonotonicAndReplaceable) {
  const TimeInterval a = mediaTime();
  const TimeInterval b = mediaTime();
  EXPECT_GE(b, a);
  {
    ScopedMediaTime fixed(42.5);
    EXPECT_EQ(mediaTime(), 42.5);
    MediaTimeSource previous = setMediaTimeSource([] { return 7.0; });
    EXPECT_EQ(mediaTime(), 7.0);
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous(), 42.5);
    setMediaTimeSource(previous);
  }
  EXPECT_GE(mediaTime(), b);
}

TEST(Clock, CoarseMediaTimeFollowsTheSameClock) {
  const TimeInterval coarse = coarseMediaTime();
  const TimeInterval precise = mediaTime();
  EXPECT_LE(coarse, precise);
  EXPECT_LT(precise - coarse, 0.1);  // a tick or so behind at most
  ScopedMediaTime fixed(42.5);
  EXPECT_EQ(coarseMediaTime(), 42.5);
}

}  // namespace
}  // namespace kit
