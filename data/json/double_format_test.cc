// "%.17g" formatting checked against the C library's printf.

#include "data/json/double_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string ours(double v) {
  char buf[40];
  return std::string(buf, writeDouble17g(v, buf));
}

std::string printfs(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

TEST(DoubleFormat, MatchesPrintfOnChosenValues) {
  for (double v : {0.1, 0.5, 1.0, -2.5, 100.0, 1e16, 1e17, 9.9999999999999995e16, 99999999999999999.0, 1e-4, 1e-5,
                   1.5e-5, 9.99999999999999e-5, 1e-6, 1e-7, 123456789.123456789, 0.30000000000000004, -65.613616999999977,
                   4503599627370496.0, 9007199254740993.0, 1e21, 1e300, 1e-300, DBL_MAX, DBL_MIN, DBL_TRUE_MIN,
                   5e-324, 2.2250738585072009e-308, 0.0, -0.0, 1.0 / 3, 2.0 / 3, 1e15 + 0.3, 0.000123456789}) {
    EXPECT_EQ(ours(v), printfs(v)) << printfs(v);
    EXPECT_EQ(ours(-v), printfs(-v)) << printfs(-v);
  }
}

TEST(DoubleFormat, MatchesPrintfOnRandomValues) {
  std::mt19937_64 random(20240607);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 200000; ++i) {
    // Random bit patterns over the whole range, and decimal-looking values
    // in the common range, where rounding ties are likeliest.
    uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    if (std::isfinite(any)) {
      ASSERT_EQ(ours(any), printfs(any)) << printfs(any);
    }
    double decimal = std::round(unit(random) * 1e6) / std::pow(10.0, static_cast<int>(random() % 12));
    ASSERT_EQ(ours(decimal), printfs(decimal)) << printfs(decimal);
    double scaled = unit(random) * std::pow(10.0, static_cast<int>(random() % 30) - 10);
    ASSERT_EQ(ours(scaled), printfs(scaled)) << printfs(scaled);
  }
}

}  // namespace
