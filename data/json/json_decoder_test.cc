// The JSON parser through its public entry points: results, number typing,
// error messages and positions, options, strings and escapes, the value
// cache and the nesting limit.

#include "data/json/json_decoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <clocale>
#include <random>
#include <string>
#include <vector>

#include "data/json/jx_array.h"
#include "data/json/jx_constants.h"
#include "data/json/jx_dictionary.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"

namespace {

struct Parsed {
  kit::Id value;
  kit::Ref<kit::Error> error;
  std::string message() const { return error ? error->localizedDescription() : "(no error)"; }
  unsigned long long at() const {
    return kit::as<kit::Number>(error->userInfo()->objectForKey(JXAtIndexKey))->unsignedLongLongValue();
  }
  unsigned long long line() const {
    return kit::as<kit::Number>(error->userInfo()->objectForKey(JXLineNumberKey))->unsignedLongLongValue();
  }
};

Parsed parse(std::string_view text, unsigned long options = 0) {
  Parsed p;
  p.value = JSONDecoder::decoderWithParseOptions(options)->objectWithUTF8String(text.data(), text.size(), &p.error);
  EXPECT_EQ(p.value == nullptr, p.error != nullptr) << text;
  return p;
}

std::string message(std::string_view text, unsigned long options = 0) { return parse(text, options).message(); }

kit::Id first(std::string_view text, unsigned long options = 0) {
  auto a = kit::as<JXArray>(parse(text, options).value);
  return a && a->count() ? a->objectAtIndex(0) : nullptr;
}

std::string firstString(std::string_view text, unsigned long options = 0) {
  auto s = kit::as<kit::String>(first(text, options));
  return s ? s->utf8() : "(not a string)";
}

const char kUnexpectedToken[] =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";

TEST(JSONDecoder, ParsesContainersAndSharedConstants) {
  auto empty = kit::as<JXArray>(parse("[]").value);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->count(), 0u);
  EXPECT_FALSE(empty->isMutable());
  auto object = kit::as<JXDictionary>(parse("{}").value);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->count(), 0u);

  auto literals = kit::as<JXArray>(parse(" [true,false,null] ").value);
  ASSERT_TRUE(literals);
  EXPECT_EQ(literals->objectAtIndex(0), kit::Number::yes());
  EXPECT_EQ(literals->objectAtIndex(1), kit::Number::no());
  EXPECT_EQ(literals->objectAtIndex(2), kit::Null::null());

  auto nested = parse(R"({"a":[1,{"b":"c"}],"d":{}})").value;
  EXPECT_EQ(kit::describe(nested["a"][1]["b"]), "c");
  EXPECT_TRUE(kit::isKind<JXDictionary>(nested["d"]));
}

TEST(JSONDecoder, RefusesEmptyAndNonContainerTopLevels) {
  Parsed empty = parse("");
  EXPECT_EQ(empty.error->domain(), "JXErrorDomain");
  EXPECT_EQ(empty.error->code(), -1);
  EXPECT_EQ(empty.message(), "Reached the end of the buffer.");
  EXPECT_EQ(empty.at(), 0u);
  EXPECT_EQ(empty.line(), 1u);

  EXPECT_EQ(message("   "), kUnexpectedToken);
  EXPECT_EQ(message("1 "), "Expected either '[' or '{'.");
  EXPECT_EQ(message("true "), "Expected either '[' or '{'.");
  EXPECT_EQ(message("\"s\" "), "Expected either '[' or '{'.");
  EXPECT_EQ(message("["), "Reached the end of the buffer.");
  EXPECT_EQ(message("{\"a\":{}"), "Reached the end of the buffer.");

  Parsed cut = parse("[true");
  EXPECT_EQ(cut.message(), kUnexpectedToken);
  EXPECT_EQ(cut.at(), 1u);
  EXPECT_EQ(cut.line(), 1u);

  Parsed third = parse("[1,\r\n2,\r\n x]");
  EXPECT_EQ(third.message(), kUnexpectedToken);
  EXPECT_EQ(third.line(), 3u);
  EXPECT_EQ(third.at(), 10u);
  EXPECT_EQ(parse("[\n\r\n\r x]").line(), 4u);  // LF, CR LF and a lone CR are one newline each

  EXPECT_EQ(message("[\f]"), kUnexpectedToken);  // form feed is not white space
  EXPECT_EQ(message("[\v]"), kUnexpectedToken);
}

TEST(JSONDecoder, ReportsGrammarErrors) {
  EXPECT_EQ(message("[1,]"), "Unexpected ']'.");
  EXPECT_EQ(message("[1 2]"), "Unexpected value.");
  EXPECT_EQ(message("[01]"), "Unexpected value.");  // the number 0, then the number 1
  EXPECT_EQ(message("[,1]"), "Unexpected ','.");
  EXPECT_EQ(message("[1,,2]"), "Unexpected ','.");
  EXPECT_EQ(message("[1:2]"), "Expected a comma or a ']', not ':'");
  EXPECT_EQ(message("[}"), "Expected a value or a ']', not '}'");
  EXPECT_EQ(message("{\"a\":1,}"), "Unexpected '}'.");
  EXPECT_EQ(message("{\"a\" 1}"), "Expected ':'.");
  EXPECT_EQ(message("{1:2}"), "Expected a \"STRING\" or a '}', not '1'");
  EXPECT_EQ(message("{\"a\":1 2:3}"), "Expected a comma or a '}', not '2'");
  EXPECT_EQ(message("{\"a\":1 \"b\":2}"), "Unexpected string.");
  EXPECT_EQ(message("{\"a\":]}"), "Expected a value or a '}', not ']'");
  EXPECT_EQ(message("{,}"), "Unexpected ','.");
  EXPECT_EQ(message("[truex]"), kUnexpectedToken);  // "true" then an unexpected "x"
  EXPECT_EQ(message("[nul]"), kUnexpectedToken);
}

TEST(JSONDecoder, TypesNumbers) {
  auto zero = kit::as<kit::Number>(first("[-0]"));
  ASSERT_TRUE(zero);
  EXPECT_STREQ(zero->objCType(), "d");
  EXPECT_TRUE(std::signbit(zero->doubleValue()));

  auto small = kit::as<kit::Number>(first("[42]"));
  EXPECT_STREQ(small->objCType(), "q");
  EXPECT_EQ(small->longLongValue(), 42);
  auto negative = kit::as<kit::Number>(first("[-9223372036854775808]"));
  EXPECT_EQ(negative->longLongValue(), INT64_MIN);
  auto biggest = kit::as<kit::Number>(first("[18446744073709551615]"));
  EXPECT_STREQ(biggest->objCType(), "Q");
  EXPECT_EQ(biggest->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_STREQ(kit::as<kit::Number>(first("[1.5e2]"))->objCType(), "d");
  EXPECT_DOUBLE_EQ(kit::as<kit::Number>(first("[1.5e2]"))->doubleValue(), 150.0);
  EXPECT_DOUBLE_EQ(kit::as<kit::Number>(first("[0E-2]"))->doubleValue(), 0.0);

  EXPECT_EQ(message("[18446744073709551616]"),
            "The value '18446744073709551616' exceeded the maximum value that could be represented: "
            "18446744073709551615.");
  EXPECT_EQ(message("[-9223372036854775809]"),
            "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
            "-9223372036854775808.");
  EXPECT_EQ(message("[1e400]"), "The value '1e400' could not be represented as a 'double' due to overflow.");
  EXPECT_EQ(message("[1e-400]"), "The value '1e-400' could not be represented as a 'double' due to underflow.");
  EXPECT_EQ(message("[-]"), "Invalid number.");
  EXPECT_EQ(message("[1.]"), "Invalid number.");
  EXPECT_EQ(message("[1.e5]"), "Invalid number.");
  EXPECT_EQ(message("[1e]"), "Invalid number.");
  EXPECT_EQ(message("[1e+]"), "Invalid number.");
  EXPECT_EQ(message("[-a]"), "Invalid number.");
  EXPECT_EQ(message("[1"), "Invalid number.");  // a number must be followed by something

  // Subnormals are ordinary doubles; zero written with a huge exponent is zero.
  auto subnormal = kit::as<kit::Number>(first("[1e-310]"));
  ASSERT_TRUE(subnormal);
  EXPECT_EQ(subnormal->doubleValue(), 1e-310);
  EXPECT_EQ(kit::as<kit::Number>(first("[4.9406564584124654e-324]"))->doubleValue(), 4.9406564584124654e-324);
  EXPECT_EQ(kit::as<kit::Number>(first("[0e-400]"))->doubleValue(), 0.0);
}

// Every decimal becomes the double nearest to it, whichever conversion the
// parser picks for its shape (short mantissas, 17-digit coordinates, long
// digit runs, large and small exponents); std::from_chars is the reference.
TEST(JSONDecoder, DecimalsBecomeTheNearestDouble) {
  std::vector<std::string> texts = {
      "9007199254740993.0",     // 2^53 + 1: a tie, to even
      "9007199254740995.0",     // a tie, to even (up)
      "18446744073709551615.5", "1844674407370955161.5e1", "-65.613616999999977", "43.420273000000009",
      "0.1",                    "0.30000000000000004",     "1.7976931348623157e308", "2.2250738585072014e-308",
      "123456789012345678e-19", "9999999999999999999e19",  "9999999999999999999e-19", "1e23",
      "8.98846567431158e307",   "0.000000000000000000001", "1234567890123456789012345678901234567890e-30",
      "-0.0",                   "5e-324",                  "7.2057594037927933e16",
  };
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 20000; ++i) {
    const int digitCount = 1 + static_cast<int>(random() % 20);
    std::string digits;
    for (int d = 0; d < digitCount; ++d) digits += static_cast<char>('0' + random() % 10);
    digits[0] = static_cast<char>('1' + random() % 9);
    const size_t point = random() % (digits.size() + 1);
    std::string text = (random() % 2 ? "-" : "") + digits.substr(0, point);
    if (point == 0) text += "0";
    if (point < digits.size()) text += "." + digits.substr(point);
    if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 51) - 25);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    texts.push_back(text);
  }
  std::string json = "[";
  for (const std::string& t : texts) json += t + ",";
  json.back() = ']';
  auto array = kit::as<JXArray>(parse(json).value);
  ASSERT_TRUE(array);
  ASSERT_EQ(array->count(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    double expected = 0;
    std::from_chars(texts[i].data(), texts[i].data() + texts[i].size(), expected);
    auto n = kit::as<kit::Number>(array->objectAtIndex(i));
    ASSERT_TRUE(n) << texts[i];
    EXPECT_STREQ(n->objCType(), "d") << texts[i];
    EXPECT_EQ(std::bit_cast<uint64_t>(n->doubleValue()), std::bit_cast<uint64_t>(expected)) << texts[i];
  }

  // Integers at the edges of the direct conversion keep their exact value.
  auto integers = kit::as<JXArray>(
      parse("[999999999999999999,-999999999999999999,9999999999999999999,-1000000000000000000,"
            "10000000000000000000,0,-1]")
          .value);
  ASSERT_TRUE(integers);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(0))->longLongValue(), 999999999999999999LL);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(1))->longLongValue(), -999999999999999999LL);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(2))->unsignedLongLongValue(), 9999999999999999999ULL);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(3))->longLongValue(), -1000000000000000000LL);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(4))->unsignedLongLongValue(), 10000000000000000000ULL);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(5))->longLongValue(), 0);
  EXPECT_EQ(kit::as<kit::Number>(integers->objectAtIndex(6))->longLongValue(), -1);
}

TEST(JSONDecoder, NumbersIgnoreTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  // A locale whose decimal separator is a comma, when the machine has one.
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "ru_RU.UTF-8"}) {
    if ((found = std::setlocale(LC_NUMERIC, name))) break;
  }
  if (!found) GTEST_SKIP() << "no locale with a decimal comma is installed";
  auto n = kit::as<kit::Number>(first("[2.5]"));
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(n);
  EXPECT_EQ(n->doubleValue(), 2.5);
}

TEST(JSONDecoder, AppliesOptions) {
  EXPECT_EQ(message("[1] x"),
            "A valid JSON object was parsed but there were additional non-white-space characters remaining.");
  EXPECT_TRUE(parse("[1] x", JXParseOptionPermitTextAfterValidJSON).value);
  EXPECT_TRUE(parse("{} {}", JXParseOptionPermitTextAfterValidJSON).value);

  const char* commented = "// leading\n[1, /* inside\n */ 2] // trailing";
  EXPECT_EQ(message(commented), kUnexpectedToken);
  Parsed withComments = parse(commented, JXParseOptionComments);
  ASSERT_TRUE(withComments.value);
  EXPECT_EQ(kit::as<JXArray>(withComments.value)->count(), 2u);
  EXPECT_TRUE(parse("[1] /* unterminated", JXParseOptionComments).value);
  // Lines inside comments count.
  EXPECT_EQ(parse("/* a\nb\n */ [x]", JXParseOptionComments).line(), 3u);
  EXPECT_EQ(message("[1 / 2]", JXParseOptionComments), kUnexpectedToken);

  const std::string separator = "[1,\xE2\x80\xA8 2]";  // U+2028 between tokens
  EXPECT_EQ(message(separator), kUnexpectedToken);
  EXPECT_TRUE(parse(separator, JXParseOptionUnicodeNewlines).value);
  EXPECT_EQ(parse("[\xC2\x85\xE2\x80\xA9 x]", JXParseOptionUnicodeNewlines).line(), 3u);
  // Inside a string it is ordinary text.
  EXPECT_EQ(firstString("[\"a\xE2\x80\xA8z\"]"), "a\xE2\x80\xA8z");

  EXPECT_NO_THROW(JSONDecoder::decoderWithParseOptions(15));
  try {
    JSONDecoder::decoderWithParseOptions(16);
    FAIL() << "options of 16 must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::InvalidArgumentException);
    EXPECT_EQ(e.reason(), "Invalid parse options.");
  }
}

TEST(JSONDecoder, UnescapesStrings) {
  EXPECT_EQ(firstString(R"(["\"\\\/\b\f\n\r\t"])"), "\"\\/\b\f\n\r\t");
  EXPECT_EQ(firstString(R"(["\u00e9\u4E2D"])"), "\xC3\xA9\xE4\xB8\xAD");
  EXPECT_EQ(firstString(R"(["\ud83d\ude00"])"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(firstString("[\"plain \xC3\xA9 text\"]"), "plain \xC3\xA9 text");
  EXPECT_EQ(firstString(R"(["a\u0041b"])"), "aAb");

  EXPECT_EQ(message(R"(["\u0000"])"), "Illegal \\u Unicode escape sequence.");
  EXPECT_EQ(message(R"(["\uFFFF"])"), "Illegal \\u Unicode escape sequence.");
  EXPECT_EQ(message(R"(["\uFDD0"])"), "Illegal \\u Unicode escape sequence.");
  EXPECT_EQ(message(R"(["\ude00"])"), "Illegal \\u Unicode escape sequence.");
  EXPECT_EQ(message(R"(["\ud83d\u0041"])"), "Illegal \\u Unicode escape sequence.");
  EXPECT_EQ(message(R"(["\ud83d"])"),
            "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.");
  EXPECT_EQ(message(R"(["\u12G4"])"),
            "Unexpected character found in \\u Unicode escape sequence.  Found 'G', expected [0-9a-fA-F].");
  // Input bytes that are not printable ASCII or well-formed UTF-8 are quoted
  // as \xNN, so that messages stay valid UTF-8.
  EXPECT_EQ(message("[\"\\u12\xE9\"]"),
            "Unexpected character found in \\u Unicode escape sequence.  Found '\\xE9', expected [0-9a-fA-F].");
  EXPECT_EQ(message("[\"\\u1\x7F\"]"),
            "Unexpected character found in \\u Unicode escape sequence.  Found '\\x7F', expected [0-9a-fA-F].");
  for (const char* text : {"[\"\\u12\xE9\"]", "[\"\\u\x80\"]"}) {
    EXPECT_TRUE(kit::isValidUTF8(message(text))) << text;
  }
  EXPECT_EQ(message(R"(["\x"])"), "Invalid escape sequence found in \"\" string.");
  EXPECT_EQ(message("[\"a\x01\"]"), "Invalid character < 0x20 found in string: 0x01.");
  EXPECT_EQ(message("[\"a\tb\"]"), "Invalid character < 0x20 found in string: 0x09.");
  EXPECT_EQ(message("[\"abc"), "Invalid string.");
  EXPECT_EQ(message("[\"abc\\"), "Invalid string.");
  EXPECT_EQ(message("[\"\xEF\xBF\xBF\"]"), "Illegal UTF8 sequence found in \"\" string.");
  EXPECT_EQ(message("[\"\xC0\xAF\"]"), "Illegal UTF8 sequence found in \"\" string.");  // overlong
  EXPECT_EQ(message("[\"\xED\xA0\x80\"]"), "Illegal UTF8 sequence found in \"\" string.");  // surrogate
  EXPECT_EQ(message("[\"\xE2\x82"), "End of buffer reached while parsing UTF8 in \"\" string.");
}

TEST(JSONDecoder, LooseUnicodeReplacesWhatItCannotUse) {
  const unsigned long loose = JXParseOptionLooseUnicode;
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(firstString(R"(["\u0000"])", loose), fffd);
  EXPECT_EQ(firstString(R"(["\ud83dx"])", loose), fffd + "x");
  EXPECT_EQ(firstString(R"(["\ud83d\u0041"])", loose), fffd);  // the "A" goes with the bad pair
  EXPECT_EQ(firstString(R"(["\ud83d\n"])", loose), fffd + "\n");  // the backslash starts the next escape
  EXPECT_EQ(firstString(R"(["\ud83d"])", loose), fffd);
  EXPECT_EQ(firstString(R"(["\ude00z"])", loose), fffd + "z");
  EXPECT_EQ(firstString("[\"a\xEF\xBF\xBF" "b\"]", loose), "a" + fffd + "b");
  EXPECT_EQ(firstString("[\"\xFF\xC3\"]", loose), fffd + fffd);
  // A sequence cut off by the end of the text fails whatever the options.
  EXPECT_EQ(message("[\"\xE2\x82", loose), "End of buffer reached while parsing UTF8 in \"\" string.");
}

TEST(JSONDecoder, SharesEqualValuesWithinADecoder) {
  auto decoder = JSONDecoder::decoder();
  std::string text = R"([{"name":"x","n":12345678901,"d":2.5},{"name":"x","n":12345678901,"d":2.5}])";
  auto a = kit::as<JXArray>(decoder->objectWithUTF8String(text.data(), text.size()));
  ASSERT_TRUE(a);
  kit::Id one = a->objectAtIndex(0), two = a->objectAtIndex(1);
  EXPECT_EQ(one["name"], two["name"]);
  EXPECT_EQ(one["n"], two["n"]);
  EXPECT_EQ(one["d"], two["d"]);
  EXPECT_EQ(kit::as<JXDictionary>(one)->keys().size(), 3u);

  // Across parses of the same decoder too, until the cache is cleared.
  auto again = kit::as<JXArray>(decoder->objectWithUTF8String(text.data(), text.size()));
  EXPECT_EQ(again->objectAtIndex(0)["name"], one["name"]);
  decoder->clearCache();
  auto fresh = kit::as<JXArray>(decoder->objectWithUTF8String(text.data(), text.size()));
  EXPECT_NE(fresh->objectAtIndex(0)["name"], one["name"]);
  EXPECT_TRUE(kit::isEqual(fresh->objectAtIndex(0)["name"], one["name"]));

  // Equal bytes of different types stay distinct, and so do 0 and -0.
  auto mixed = kit::as<JXArray>(parse("[0, -0, 0.0, \"0\"]").value);
  EXPECT_STREQ(kit::as<kit::Number>(mixed->objectAtIndex(0))->objCType(), "q");
  EXPECT_FALSE(std::signbit(kit::as<kit::Number>(mixed->objectAtIndex(2))->doubleValue()));
  EXPECT_TRUE(std::signbit(kit::as<kit::Number>(mixed->objectAtIndex(1))->doubleValue()));
  EXPECT_TRUE(kit::isKind<kit::String>(mixed->objectAtIndex(3)));
}

TEST(JSONDecoder, RepeatedKeysKeepTheLastValue) {
  auto d = kit::as<JXDictionary>(parse(R"({"a":1,"b":2,"a":3})").value);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(kit::describe(d->objectForKey("a")), "3");
  EXPECT_EQ(d->keys().size(), 2u);
}

TEST(JSONDecoder, LimitsNestingInsteadOfExhaustingTheStack) {
  std::string deep(100000, '[');
  Parsed p = parse(deep);
  EXPECT_EQ(p.message(), "Arrays and objects are nested deeper than 512 levels.");
  EXPECT_EQ(p.at(), 512u);

  std::string atLimit = std::string(512, '[') + std::string(512, ']');
  EXPECT_TRUE(parse(atLimit).value);
  std::string overLimit = std::string(513, '[') + std::string(513, ']');
  EXPECT_FALSE(parse(overLimit).value);
  std::string objects;
  for (int i = 0; i < 600; ++i) objects += "{\"k\":";
  EXPECT_EQ(message(objects), "Arrays and objects are nested deeper than 512 levels.");
}

TEST(JSONDecoder, MisuseRaisesAndEmptyInputFailsSoftly) {
  auto decoder = JSONDecoder::decoder();
  EXPECT_THROW(decoder->objectWithUTF8String(nullptr, 0), kit::Exception);
  EXPECT_THROW(decoder->objectWithData(nullptr), kit::Exception);

  kit::Ref<kit::Error> error;
  EXPECT_EQ(decoder->objectWithData(kit::Data::make(), &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription(), "Reached the end of the buffer.");

  // The error out-parameter is left alone on success.
  kit::Ref<kit::Error> untouched = kit::Error::make("marker", 1);
  kit::Ref<kit::Error> slot = untouched;
  EXPECT_TRUE(decoder->objectWithUTF8String("[]", 2, &slot));
  EXPECT_EQ(slot, untouched);

  auto data = kit::Data::make(std::string_view("{\"k\":[1]}"));
  EXPECT_TRUE(decoder->parseJSONData(data));
  auto m = kit::as<JXDictionary>(decoder->mutableObjectWithData(data));
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->isMutable());
  EXPECT_TRUE(kit::as<JXArray>(m->objectForKey("k"))->isMutable());

  decoder->releaseState();
  try {
    decoder->objectWithUTF8String("[]", 2);
    FAIL() << "a released decoder must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.reason(), "parseState is NULL.");
  }
}

}  // namespace
