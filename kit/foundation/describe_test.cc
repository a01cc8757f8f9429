// "%@" texts and the format directives.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "kit/foundation/error.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

TEST(Describe, ScalarsAndNil) {
  EXPECT_EQ(describe(Id()), "(null)");
  EXPECT_EQ(describe(null()), "<null>");
  EXPECT_EQ(describe(num(200)), "200");
  EXPECT_EQ(describe(num(true)), "1");
  EXPECT_EQ(describe(num(false)), "0");
  EXPECT_EQ(describe(num(2.5)), "2.5");
  EXPECT_EQ(describe(num(0.1)), "0.1");
  EXPECT_EQ(describe(num(100.0)), "100");
  EXPECT_EQ(describe(num(18446744073709551615ull)), "18446744073709551615");
  EXPECT_EQ(describe(num(-7LL)), "-7");
  EXPECT_EQ(describe(Data::make("\x01\xab\x02\x03\x04", 5)), "<01ab0203 04>");
}

TEST(Describe, DoublesUseTheShortestDigitsLaidOutAsPercentG) {
  // Fixed notation from 1e-4 up to 16 digits before the point, exponent
  // form outside it, as "%.16g" lays numbers out.
  EXPECT_EQ(describe(num(0.0001)), "0.0001");
  EXPECT_EQ(describe(num(0.0005)), "0.0005");
  EXPECT_EQ(describe(num(0.00012)), "0.00012");
  EXPECT_EQ(describe(num(1e-5)), "1e-05");
  EXPECT_EQ(describe(num(-2.5e-7)), "-2.5e-07");
  EXPECT_EQ(describe(num(123456.7)), "123456.7");
  EXPECT_EQ(describe(num(1e15)), "1000000000000000");
  EXPECT_EQ(describe(num(1e16)), "1e+16");
  EXPECT_EQ(describe(num(1.5e300)), "1.5e+300");
  EXPECT_EQ(describe(num(0.1 + 0.2)), "0.30000000000000004");
  // Seventeen digits are needed here, so the fixed range grows by one.
  EXPECT_EQ(describe(num(12345678901234567.0)), "12345678901234568");
  EXPECT_EQ(describe(num(123456789012345678.0)), "1.2345678901234568e+17");
  EXPECT_EQ(describe(num(-0.0)), "-0");
  EXPECT_EQ(describe(num(0.1f)), "0.1");
  EXPECT_EQ(describe(num(0.0001f)), "0.0001");
  EXPECT_EQ(describe(num(1e10f)), "10000000000");
  EXPECT_EQ(describe(num(5e-324)), "5e-324");

  // Whatever the layout, the text reads back as the same double.
  std::mt19937_64 bits(7);
  for (int i = 0; i < 20000; ++i) {
    uint64_t raw = bits();
    double v;
    std::memcpy(&v, &raw, sizeof v);
    if (!std::isfinite(v)) continue;
    std::string text = describe(num(v));
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
  }
}

TEST(Describe, Collections) {
  EXPECT_EQ(describe(array({})), "(\n)");
  EXPECT_EQ(describe(array({1, "x"})), "(\n    1,\n    x\n)");
  EXPECT_EQ(describe(dict({{"msg", "领取成功"}})), "{\n    msg = \"领取成功\";\n}");
  EXPECT_EQ(describe(dict({{"a b", "c"}})), "{\n    \"a b\" = c;\n}");
  EXPECT_EQ(describe(dict({{"k", dict({{"n", 1}})}})), "{\n    k =     {\n        n = 1;\n    };\n}");
  EXPECT_EQ(describe(array({array({1})})), "(\n        (\n        1\n    )\n)");
}

TEST(Describe, CollectionsQuoteEveryTextThatIsNotOneWord) {
  // Any element text other than letters and digits is quoted, whatever the
  // element is: negative and fractional numbers, the null object, words
  // joined by underscores, other objects' descriptions. Data stays bare.
  EXPECT_EQ(describe(dict({{"code", -1}, {"price", 6.5}, {"data", null()}, {"ok", true}, {"n", 200}})),
            "{\n    code = \"-1\";\n    price = \"6.5\";\n    data = \"<null>\";\n    ok = 1;\n    n = 200;\n}");
  EXPECT_EQ(describe(dict({{"user_id", "a_b"}, {-2, "x"}})), "{\n    \"user_id\" = \"a_b\";\n    \"-2\" = x;\n}");
  EXPECT_EQ(describe(array({Data::make("ab"), Error::make("D", 1, Ref<Dictionary>())})),
            "(\n    <6162>,\n    \"Error Domain=D Code=1\"\n)");
  EXPECT_EQ(describe(array({"say \"hi\"\n", "", "ABC123"})), "(\n    \"say \\\"hi\\\"\\n\",\n    \"\",\n    ABC123\n)");
}

TEST(Format, Directives) {
  EXPECT_EQ(formatString("%@ %d %i", str("x"), 5, -3), "x 5 -3");
  EXPECT_EQ(formatString("%ld %lld %lu %llu %u", 1L, -2LL, 3UL, 4ULL, 5u), "1 -2 3 4 5");
  EXPECT_EQ(formatString("%f|%.2f|%0.1g|%.17g", 1.5, 2.345, 0.25, 0.1), "1.500000|2.35|0.2|0.10000000000000001");
  EXPECT_EQ(formatString("%s-%c-%x-%X-%02x-%08X", "hi", 'A', 255, 255, 7, 0xBEEFu), "hi-A-ff-FF-07-0000BEEF");
  EXPECT_EQ(formatString("[%*.*s]", 6, 2, "abcdef"), "[    ab]");
  EXPECT_EQ(formatString("100%%"), "100%");
  EXPECT_EQ(formatString("CallbackFromIOS('%@')", str("{\"a\":1}")), "CallbackFromIOS('{\"a\":1}')");
  EXPECT_EQ(formatString("%@|%@", Id(), null()), "(null)|<null>");
  EXPECT_EQ(format("%@", num(3))->utf8(), "3");
}

TEST(Format, MismatchedArgumentsStaySafe) {
  // Missing arguments and wrong types print something sane, never garbage.
  EXPECT_EQ(formatString("%d %@ %s"), "0 (null) (null)");
  EXPECT_EQ(formatString("%d", 2.9), "2");
  EXPECT_EQ(formatString("%d", num(12)), "12");
  EXPECT_EQ(formatString("%d", 4294967297LL), "1");  // truncated to int as C would
  EXPECT_EQ(formatString("%@", 12), "12");
  EXPECT_EQ(formatString("%.4s", "领取成功"), "领");  // never splits a character
  EXPECT_EQ(formatString("%5@|%-3@|", str("ab"), str("c")), "   ab|c  |");
  EXPECT_EQ(formatString("%Q"), "%Q");
}

TEST(Format, ObjectFieldsCountUTF16Units) {
  // Width and precision of "%@" count UTF-16 units, as the platform's
  // string lengths do, and never cut a character in half.
  EXPECT_EQ(formatString("%.3@", str("领取成功")), "领取成");
  EXPECT_EQ(formatString("[%.2@]", str("a😀b")), "[a]");
  EXPECT_EQ(formatString("[%.3@]", str("a😀b")), "[a😀]");
  EXPECT_EQ(formatString("[%5@]", str("😀")), "[   😀]");
  EXPECT_EQ(formatString("[%-4@]", str("领取")), "[领取  ]");
  EXPECT_EQ(formatString("[%6.2@]", null()), "[    <n]");
  // A bare number given to "%@" prints as its boxed form would.
  EXPECT_EQ(formatString("%@ %@ %@", 1234567.0, 0.1f, 2.5), "1234567 0.1 2.5");
  EXPECT_EQ(formatString("%@", 18446744073709551615ull), "18446744073709551615");
}

TEST(Format, NumericDirectivesMatchSnprintf) {
  // Random flags, widths and precisions (literal and through '*', widths
  // far past any fixed buffer) on every numeric conversion, against the C
  // library with the same arguments.
  std::mt19937 rng(11);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* conversions = "diuxXofeEgG";
  const long long integers[] = {0, 1, -1, 42, -42, 255, 2147483647LL, -2147483648LL, 4294967295LL,
                                9223372036854775807LL, -9223372036854775807LL - 1, 1234567890123LL};
  const double doubles[] = {0.0, -0.0, 1.0, -1.5, 0.1, 2.345, 1e-7, 123456789.125, 1e300, -3.75e-300, 0.5, 2.5};
  for (int round = 0; round < 5000; ++round) {
    char conv = conversions[pick(11)];
    bool floating = std::strchr("feEgG", conv) != nullptr;
    std::string spec = "%";
    for (char flag : std::string("-+ 0#")) {
      if (flag == '#' && std::strchr("diu", conv)) continue;
      if (pick(4) == 0) spec += flag;
    }
    int widthKind = pick(4), width = 0;
    if (widthKind == 1) spec += std::to_string(width = pick(40));
    if (widthKind == 2) spec += std::to_string(width = 500 + pick(1200));
    if (widthKind == 3) {
      spec += '*';
      width = pick(80) - 40;
    }
    int precisionKind = pick(4), precision = 0;
    if (precisionKind == 1) spec += "." + std::to_string(precision = pick(25));
    if (precisionKind == 2) spec += ".";
    if (precisionKind == 3) {
      spec += ".*";
      precision = pick(40) - 10;
    }
    std::string fmt = "<" + spec + (floating ? "" : "ll") + conv + ">";
    std::vector<char> expected(4096);
    std::string actual;
    if (floating) {
      double v = doubles[pick(12)];
      if (widthKind == 3 && precisionKind == 3) {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), width, precision, v);
        actual = formatString(fmt, width, precision, v);
      } else if (widthKind == 3) {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), width, v);
        actual = formatString(fmt, width, v);
      } else if (precisionKind == 3) {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), precision, v);
        actual = formatString(fmt, precision, v);
      } else {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), v);
        actual = formatString(fmt, v);
      }
    } else {
      long long v = integers[pick(12)];
      if (widthKind == 3 && precisionKind == 3) {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), width, precision, v);
        actual = formatString(fmt, width, precision, v);
      } else if (widthKind == 3) {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), width, v);
        actual = formatString(fmt, width, v);
      } else if (precisionKind == 3) {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), precision, v);
        actual = formatString(fmt, precision, v);
      } else {
        std::snprintf(expected.data(), expected.size(), fmt.c_str(), v);
        actual = formatString(fmt, v);
      }
    }
    ASSERT_EQ(actual, std::string(expected.data())) << fmt;
  }
}

TEST(Format, HostileWidthsStayBounded) {
  // Widths and precisions are capped at 4096, however they are given.
  EXPECT_EQ(formatString("%*d", -2147483647 - 1, 7).size(), 4096u);
  EXPECT_EQ(formatString("%*d", 2147483647, 7).size(), 4096u);
  EXPECT_EQ(formatString("%.*f", 1000000000, 1.0).size(), 4098u);
  EXPECT_EQ(formatString("%99999999999d", 7).size(), 4096u);
  EXPECT_EQ(formatString("%*p", 5000, nullptr).size(), 4096u);
  // A double given to an integer directive is clamped, not undefined.
  EXPECT_EQ(formatString("%lld|%lld|%lld", std::nan(""), 1e300, -1e300),
            "0|9223372036854775807|-9223372036854775808");
  // A wide character beyond Unicode prints the replacement character.
  EXPECT_EQ(formatString("%lc", 0x1FFFFFu), "\uFFFD");
}

}  // namespace
}  // namespace kit
