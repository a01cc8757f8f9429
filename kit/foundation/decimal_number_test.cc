// Decimal numbers: reading text, the platform's description, exact
// arithmetic within 38 digits, rounding to a scale in every mode, the range
// edges (NaN beyond them), what raises under which behaviour, and the
// decimal as a Number and in an archive.

#include "kit/foundation/decimal_number.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kit/foundation/array.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

std::string read(std::string_view text) { return DecimalNumber::decimalNumberWithString(text)->description(); }

Ref<DecimalNumber> dec(std::string_view text) { return DecimalNumber::decimalNumberWithString(text); }

// The money behaviour: round down to cents, raise only on division by zero.
Ref<DecimalNumberHandler> cents(RoundingMode mode = RoundingMode::Down) {
  return DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(mode, 2, false, false, false, true);
}

std::string raisedName(const std::function<void()>& run) {
  try {
    run();
  } catch (const Exception& e) {
    return e.name();
  }
  return "";
}

TEST(DecimalNumber, ReadsTheLeadingNumberAndDescribesItWithoutTrailingZeros) {
  const std::pair<const char*, const char*> cases[] = {
      {"8.49", "8.49"},     {"8.490", "8.49"},   {"10", "10"},       {"0", "0"},          {"-0", "0"},
      {"-2", "-2"},         {"abc", "NaN"},      {"", "NaN"},        {"NaN", "NaN"},      {"12abc", "12"},
      {"  7.5 yuan", "7.5"}, {"\n+3", "3"},      {".5", "0.5"},      {"5.", "5"},         {"-.25", "-0.25"},
      {".", "NaN"},         {"-", "NaN"},        {"1e3", "1000"},    {"1.5E-2", "0.015"}, {"2e", "2"},
      {"2e+x", "2"},        {"0.0001", "0.0001"}, {"000120.50", "120.5"}, {"0e999", "0"}, {"-0.00", "0"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(read(text), expected) << text;

  // 38 significant digits are kept; later digits only count their place.
  EXPECT_EQ(read("1234567890123456789012345678901234567890.99"), "1234567890123456789012345678901234567800");
  EXPECT_EQ(read("0.123456789012345678901234567890123456789"), "0.12345678901234567890123456789012345678");
  // The exponent range: 10^-128 .. 38 digits × 10^127; beyond it is NaN.
  EXPECT_EQ(read("1e127"), "1" + std::string(127, '0'));
  EXPECT_EQ(read("1e164"), "1" + std::string(164, '0'));  // 10^37 × 10^127
  EXPECT_EQ(read("1e165"), "NaN");
  EXPECT_EQ(read("1e-128"), "0." + std::string(127, '0') + "1");
  EXPECT_EQ(read("1e-129"), "NaN");
  EXPECT_EQ(read("-1e-129"), "NaN");
  EXPECT_EQ(read("1e99999999999999999999999"), "NaN");
  EXPECT_EQ(read("1e-99999999999999999999999"), "NaN");
  EXPECT_EQ(DecimalNumber::maximumDecimalNumber()->description(), std::string(38, '9') + std::string(127, '0'));
  EXPECT_EQ(DecimalNumber::decimalNumberWithMantissa(849, -2, true)->description(), "-8.49");
  EXPECT_TRUE(dec("x")->isNaN());
}

TEST(DecimalNumber, ArithmeticIsExactWithinThirtyEightDigits) {
  EXPECT_EQ(dec("0.1")->decimalNumberByAdding(*dec("0.2"))->description(), "0.3");
  EXPECT_TRUE(dec("0.1")->decimalNumberByAdding(*dec("0.2"))->isEqual(*dec("0.30")));
  EXPECT_EQ(dec("8.49")->decimalNumberBySubtracting(*dec("10"))->description(), "-1.51");
  EXPECT_EQ(dec("1.5")->decimalNumberByMultiplyingBy(*dec("1.5"))->description(), "2.25");
  EXPECT_EQ(dec("-3")->decimalNumberByMultiplyingBy(*dec("0"))->description(), "0");
  EXPECT_EQ(dec("1")->decimalNumberByDividingBy(*dec("8"))->description(), "0.125");
  EXPECT_EQ(dec("1")->decimalNumberByDividingBy(*dec("3"))->description(), "0." + std::string(38, '3'));
  EXPECT_EQ(dec("2")->decimalNumberByDividingBy(*dec("3"))->description(), "0." + std::string(37, '6') + "7");
  EXPECT_EQ(dec(std::string(38, '9'))->decimalNumberByAdding(*DecimalNumber::one())->description(),
            "1" + std::string(38, '0'));
  EXPECT_EQ(dec("1" + std::string(36, '0') + "1")->decimalNumberByAdding(*dec("1"))->description(),
            "1" + std::string(36, '0') + "2");
  // Far-apart exponents: the small one rounds away, which is a loss of precision.
  EXPECT_EQ(dec("1e30")->decimalNumberByAdding(*dec("1e-30"))->description(), "1" + std::string(30, '0'));
  auto exact = DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(RoundingMode::Plain, DecimalNoScale, true,
                                                                          true, true, true);
  EXPECT_EQ(raisedName([&] { dec("1e30")->decimalNumberByAdding(*dec("1e-30"), exact.get()); }),
            DecimalNumberExactnessException);
  EXPECT_EQ(raisedName([&] { dec("0.1")->decimalNumberByAdding(*dec("0.2"), exact.get()); }), "");
  // NaN in, NaN out, without an error.
  EXPECT_TRUE(DecimalNumber::notANumber()->decimalNumberByAdding(*dec("1"))->isNaN());
}

TEST(DecimalNumber, RoundsToAScaleInEveryMode) {
  auto down = cents();
  EXPECT_EQ(dec("8.499")->decimalNumberByRoundingAccordingToBehavior(down.get())->description(), "8.49");
  EXPECT_EQ(dec("-8.491")->decimalNumberByRoundingAccordingToBehavior(down.get())->description(), "-8.5");
  EXPECT_EQ(dec("8.4")->decimalNumberByRoundingAccordingToBehavior(down.get())->description(), "8.4");
  EXPECT_EQ(dec("0.004")->decimalNumberByRoundingAccordingToBehavior(down.get())->description(), "0");
  EXPECT_EQ(dec("10")->decimalNumberByDividingBy(*dec("3"), down.get())->description(), "3.33");
  EXPECT_EQ(dec("-10")->decimalNumberByDividingBy(*dec("3"), down.get())->description(), "-3.34");
  EXPECT_EQ(dec("19.99")->decimalNumberByMultiplyingBy(*dec("0.85"), down.get())->description(), "16.99");

  auto round = [](const char* text, RoundingMode mode, short scale) {
    auto handler =
        DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(mode, scale, false, false, false, true);
    return dec(text)->decimalNumberByRoundingAccordingToBehavior(handler.get())->description();
  };
  EXPECT_EQ(round("8.491", RoundingMode::Up, 2), "8.5");
  EXPECT_EQ(round("-8.499", RoundingMode::Up, 2), "-8.49");
  EXPECT_EQ(round("0.004", RoundingMode::Up, 2), "0.01");
  EXPECT_EQ(round("2.345", RoundingMode::Plain, 2), "2.35");
  EXPECT_EQ(round("-2.345", RoundingMode::Plain, 2), "-2.35");
  EXPECT_EQ(round("2.344", RoundingMode::Plain, 2), "2.34");
  EXPECT_EQ(round("0.125", RoundingMode::Bankers, 2), "0.12");
  EXPECT_EQ(round("0.135", RoundingMode::Bankers, 2), "0.14");
  EXPECT_EQ(round("0.1251", RoundingMode::Bankers, 2), "0.13");
  EXPECT_EQ(round("1250", RoundingMode::Plain, -2), "1300");
  EXPECT_EQ(round("9.995", RoundingMode::Plain, 2), "10");
  EXPECT_EQ(round("1.5", RoundingMode::Plain, DecimalNoScale), "1.5");
}

TEST(DecimalNumber, RangeErrorsGiveNaNOrRaiseAsTheBehaviourSays) {
  auto money = cents();
  auto max = DecimalNumber::maximumDecimalNumber();
  auto tiny = dec("1e-100");
  // Nothing raises under the money behaviour: out of range is NaN.
  EXPECT_EQ(max->decimalNumberByMultiplyingBy(*dec("10"), money.get())->description(), "NaN");
  EXPECT_EQ(max->decimalNumberByAdding(*max, money.get())->description(), "NaN");
  auto quiet = DecimalNumberHandler::decimalNumberHandlerWithRoundingMode(RoundingMode::Plain, DecimalNoScale, false,
                                                                          false, false, false);
  EXPECT_TRUE(tiny->decimalNumberByMultiplyingBy(*tiny, quiet.get())->isNaN());
  EXPECT_TRUE(dec("1")->decimalNumberByDividingBy(*dec("0"), quiet.get())->isNaN());
  // Division by zero raises under the money behaviour and the default one.
  EXPECT_EQ(raisedName([&] { dec("1")->decimalNumberByDividingBy(*dec("0"), money.get()); }),
            DecimalNumberDivideByZeroException);
  EXPECT_EQ(raisedName([&] { dec("1")->decimalNumberByDividingBy(*DecimalNumber::zero()); }),
            DecimalNumberDivideByZeroException);
  // The default behaviour raises on overflow and underflow.
  EXPECT_EQ(raisedName([&] { max->decimalNumberByMultiplyingBy(*dec("10")); }), DecimalNumberOverflowException);
  EXPECT_EQ(raisedName([&] { dec("1e-128")->decimalNumberByDividingBy(*dec("10")); }),
            DecimalNumberUnderflowException);
  EXPECT_EQ(raisedName([&] { tiny->decimalNumberByMultiplyingBy(*tiny); }), DecimalNumberUnderflowException);
}

TEST(DecimalNumber, IsANumberAndArchivesExactly) {
  auto price = dec("8.49");
  EXPECT_EQ(std::string(price->objCType()), "d");
  EXPECT_EQ(price->doubleValue(), 8.49);
  EXPECT_EQ(price->longLongValue(), 8);
  EXPECT_TRUE(price->isEqual(*num(8.49)));
  EXPECT_EQ(price->hash(), num(8.49)->hash());
  EXPECT_EQ(describe(price), "8.49");
  EXPECT_EQ(formatString("%@ yuan", price), "8.49 yuan");
  EXPECT_FALSE(dec("0.1")->isEqual(*dec("0.10000000000000000001")));
  EXPECT_EQ(dec("2")->compareDecimal(*dec("10")), -1);
  EXPECT_EQ(DecimalNumber::notANumber()->compareDecimal(*dec("-1e100")), -1);
  EXPECT_EQ(price->className(), "NSDecimalNumber");
  EXPECT_EQ(DecimalNumber::staticClass().superclass(), &Number::staticClass());

  EXPECT_EQ(DecimalNumber::decimalNumberWithNumber(*num(3))->description(), "3");
  EXPECT_EQ(DecimalNumber::decimalNumberWithNumber(*num(0.1))->description(), "0.1");
  EXPECT_EQ(DecimalNumber::decimalNumberWithNumber(*num(-1e20))->description(), "-100000000000000000000");
  EXPECT_TRUE(DecimalNumber::decimalNumberWithNumber(*num(std::nan("")))->isNaN());
  EXPECT_TRUE(DecimalNumber::decimalNumberWithNumber(*num(INFINITY))->isNaN());
  EXPECT_EQ(DecimalNumber::decimalNumberWithNumber(*price), price);

  const std::string long38 = "12345678901234567890.123456789012345678";
  Id back = KeyedUnarchiver::unarchiveObjectWithData(
      KeyedArchiver::archivedDataWithRootObject(array({dec(long38), DecimalNumber::notANumber(), num(8.49)})));
  ASSERT_TRUE(isKind<DecimalNumber>(back[0]));
  EXPECT_EQ(describe(back[0]), long38);
  EXPECT_TRUE(as<DecimalNumber>(back[1])->isNaN());
  EXPECT_FALSE(isKind<DecimalNumber>(back[2]));
  // Only the written form is accepted back.
  for (const char* text : {"8.490", "08.49", "8.49x", "", "nan"}) {
    std::string bytes("KITARC\x01\x00\x01", 9);
    bytes += static_cast<char>(1 + std::string(text).size());
    bytes += '\x0e';
    bytes += text;
    bytes += '\x01';
    Ref<Error> error;
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectWithData(Data::make(bytes), &error)) << text;
    EXPECT_TRUE(error) << text;
  }
}

}  // namespace
}  // namespace kit
