// kit::Expected: values and errors travel as values.

#include "kit/foundation/expected.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

kit::Expected<int> half(int n) {
  if (n % 2) return kit::unexpected(kit::CocoaErrorDomain, 2048, std::to_string(n) + " is odd");
  return n / 2;
}

kit::Expected<void> check(bool fine) {
  if (!fine) return kit::unexpected(kit::Error::make(kit::POSIXErrorDomain, 5, "input/output error"));
  return {};
}

TEST(ExpectedTest, CarriesAValueOrAnErrorWithDomainCodeAndMessage) {
  auto good = half(8);
  ASSERT_TRUE(good);
  EXPECT_EQ(*good, 4);
  EXPECT_EQ(good.error(), nullptr);

  auto bad = half(7);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error()->domain(), kit::CocoaErrorDomain);
  EXPECT_EQ(bad.error()->code(), 2048);
  EXPECT_EQ(bad.error()->localizedDescription(), "7 is odd");
  EXPECT_EQ(bad.valueOr(-1), -1);

  EXPECT_TRUE(check(true));
  EXPECT_EQ(check(false).error()->code(), 5);

  // Move-only values move out.
  kit::Expected<std::unique_ptr<int>> owned = std::make_unique<int>(3);
  std::unique_ptr<int> taken = std::move(owned).value();
  EXPECT_EQ(*taken, 3);
}

TEST(ExpectedDeathTest, ReadingTheValueOfAnErrorAborts) {
  EXPECT_DEATH((void)*half(3), "");
}

}  // namespace
