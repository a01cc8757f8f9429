// JSON serialization: types survive a round trip, the output formats are
// the platform's, and bad text or bad objects are refused clearly.

#include "kit/foundation/json_serialization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kit/foundation/values.h"

namespace kit {
namespace {

Id parse(std::string_view text, unsigned options = 0, Ref<Error>* error = nullptr) {
  return JSONSerialization::JSONObjectWithData(Data::make(text), options, error);
}

std::string write(const Id& value, unsigned options = 0) {
  Ref<Data> data = JSONSerialization::dataWithJSONObject(value, options);
  return data ? data->toString() : "<nil>";
}

TEST(JSONSerialization, RoundTripKeepsEveryType) {
  Id root = parse(R"({"a":[1,2.5,true,null,"x"]})");
  ASSERT_TRUE(isKind<Dictionary>(root));
  Id a = root["a"];
  ASSERT_TRUE(isKind<Array>(a));
  auto one = as<Number>(a[0]), half = as<Number>(a[1]), yes = as<Number>(a[2]);
  ASSERT_TRUE(one && half && yes);
  EXPECT_EQ(one->kind(), Number::Kind::Signed);
  EXPECT_EQ(one->longLongValue(), 1);
  EXPECT_EQ(half->kind(), Number::Kind::Double);
  EXPECT_EQ(half->doubleValue(), 2.5);
  EXPECT_EQ(yes, Number::yes());  // the bool singleton
  EXPECT_TRUE(isNull(a[3]));
  EXPECT_EQ(describe(a[4]), "x");

  EXPECT_EQ(write(root), R"({"a":[1,2.5,true,null,"x"]})");
  Id again = parse(write(root));
  EXPECT_TRUE(isEqual(again, root));
  EXPECT_EQ(as<Number>(again["a"][2]), Number::yes());
}

TEST(JSONSerialization, NumbersStayExact) {
  Id v = parse("[18446744073709551615, -9223372036854775808, 9007199254740993, 0.1, 1e300, -0.5]");
  ASSERT_TRUE(v);
  EXPECT_EQ(as<Number>(v[0])->unsignedLongLongValue(), 18446744073709551615ull);
  EXPECT_EQ(as<Number>(v[1])->longLongValue(), std::numeric_limits<long long>::min());
  EXPECT_EQ(as<Number>(v[2])->longLongValue(), 9007199254740993LL);  // not rounded through a double
  EXPECT_EQ(write(v), "[18446744073709551615,-9223372036854775808,9007199254740993,0.1,1e+300,-0.5]");
  // Past 64 bits a number can only be a double.
  Id big = parse("[123456789012345678901234567890]");
  EXPECT_EQ(as<Number>(big[0])->kind(), Number::Kind::Double);
}

TEST(JSONSerialization, DictionaryOrderIsKeptUnlessSorted) {
  Id v = parse(R"({"zeta":1,"alpha":2,"mid":{"b":1,"a":2}})");
  EXPECT_EQ(write(v), R"({"zeta":1,"alpha":2,"mid":{"b":1,"a":2}})");
  EXPECT_EQ(write(v, JSONWritingSortedKeys), R"({"alpha":2,"mid":{"a":2,"b":1},"zeta":1})");
}

TEST(JSONSerialization, PrettyPrintedIsThePlatformFormat) {
  Id v = dict({{"name", "领取成功"}, {"list", array({1, dict({{"k", null()}})})}, {"empty", array({})},
               {"none", dict({})}});
  EXPECT_EQ(write(v, JSONWritingPrettyPrinted),
            "{\n"
            "  \"name\" : \"领取成功\",\n"
            "  \"list\" : [\n"
            "    1,\n"
            "    {\n"
            "      \"k\" : null\n"
            "    }\n"
            "  ],\n"
            "  \"empty\" : [\n"
            "\n"
            "  ],\n"
            "  \"none\" : {\n"
            "\n"
            "  }\n"
            "}");
}

TEST(JSONSerialization, StringsAreEscapedAndUnescaped) {
  Id v = array({"a/b \"q\" \\ \n\t\x01 é😀"});
  EXPECT_EQ(write(v), "[\"a\\/b \\\"q\\\" \\\\ \\n\\t\\u0001 é😀\"]");
  EXPECT_EQ(write(v, JSONWritingWithoutEscapingSlashes), "[\"a/b \\\"q\\\" \\\\ \\n\\t\\u0001 é😀\"]");
  EXPECT_TRUE(isEqual(parse(write(v)), v));
  Id escaped = parse(R"(["\u9886\u53d6\ud83d\ude00"])");
  EXPECT_EQ(describe(escaped[0]), "领取😀");
  // A lone surrogate (a substring can cut a pair) is written as its escape.
  auto lone = String::fromUTF16(u"a\xD83D");
  EXPECT_EQ(write(array({lone})), "[\"a\\ud83d\"]");
}

TEST(JSONSerialization, MutabilityOptions) {
  const char* text = R"({"list":[{"s":"x"}]})";
  Id plain = parse(text);
  EXPECT_FALSE(isKind<MutableDictionary>(plain));
  EXPECT_FALSE(isKind<MutableArray>(plain["list"]));
  EXPECT_FALSE(isKind<MutableString>(plain["list"][0]["s"]));

  Id containers = parse(text, JSONReadingMutableContainers);
  EXPECT_TRUE(isKind<MutableDictionary>(containers));
  EXPECT_TRUE(isKind<MutableArray>(containers["list"]));
  EXPECT_TRUE(isKind<MutableDictionary>(containers["list"][0]));
  EXPECT_FALSE(isKind<MutableString>(containers["list"][0]["s"]));

  Id leaves = parse(text, JSONReadingMutableLeaves);
  EXPECT_FALSE(isKind<MutableArray>(leaves["list"]));
  EXPECT_TRUE(isKind<MutableString>(leaves["list"][0]["s"]));
}

TEST(JSONSerialization, FragmentsNeedTheOption) {
  Ref<Error> error;
  EXPECT_EQ(parse("\"text\"", 0, &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), JSONReadCorruptError);
  EXPECT_EQ(describe(parse("\"text\"", JSONReadingFragmentsAllowed)), "text");
  EXPECT_EQ(as<Number>(parse(" 42 ", JSONReadingFragmentsAllowed))->longLongValue(), 42);
  EXPECT_TRUE(isNull(parse("null", JSONReadingFragmentsAllowed)));

  EXPECT_THROW(JSONSerialization::dataWithJSONObject(str("x")), Exception);
  EXPECT_EQ(write(str("x"), JSONWritingFragmentsAllowed), "\"x\"");
  EXPECT_EQ(write(num(true), JSONWritingFragmentsAllowed), "true");
}

TEST(JSONSerialization, MalformedTextGivesError3840) {
  for (std::string_view text : {"", "   ", "{", "[1,]", "{\"a\" 1}", "[1] x", "{1:2}", "[tru]", "[\"\xff\"]",
                                "[\"unterminated]", "[1e400]", "[\"\\ud800\"]", "[01]", "{\"a\":1,}"}) {
    Ref<Error> error;
    EXPECT_EQ(parse(text, JSONReadingFragmentsAllowed, &error), nullptr) << text;
    ASSERT_TRUE(error) << text;
    EXPECT_EQ(error->domain(), CocoaErrorDomain);
    EXPECT_EQ(error->code(), 3840);
    EXPECT_TRUE(isSet(error->userInfo()->objectForKey(std::string_view("NSDebugDescription")))) << text;
  }
  Ref<Error> error;
  parse("[1, x]", 0, &error);
  ASSERT_TRUE(error);
  EXPECT_NE(describe(error).find("column 5"), std::string::npos) << describe(error);
  EXPECT_THROW(JSONSerialization::JSONObjectWithData(nullptr), Exception);
}

// The input ends at its last byte: a NUL byte after the value is trailing
// garbage like any other, with or without more bytes after it, and inside a
// value it is refused as well.
TEST(JSONSerialization, TextEndsAtItsLastByteNotAtANul) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view text;
    unsigned options;
    size_t index;
  } cases[] = {
      {"[1]\0xyz"sv, 0, 3},
      {"{\"a\":1}\0{\"b\":2"sv, 0, 7},
      {"123\0"sv, JSONReadingFragmentsAllowed, 3},
      {"[1] \0"sv, JSONReadingMutableContainers, 4},
      {"\"s\"\0\0"sv, JSONReadingFragmentsAllowed, 3},
  };
  for (const auto& c : cases) {
    const std::string shown(c.text.begin(), c.text.end());
    Ref<Error> error;
    EXPECT_EQ(parse(c.text, c.options, &error), nullptr) << shown;
    ASSERT_TRUE(error) << shown;
    EXPECT_EQ(error->domain(), CocoaErrorDomain);
    EXPECT_EQ(error->code(), JSONReadCorruptError);
    auto index = as<Number>(error->userInfo()->objectForKey(std::string_view("NSJSONSerializationErrorIndex")));
    ASSERT_TRUE(index) << shown;
    EXPECT_EQ(index->unsignedLongLongValue(), c.index) << shown;
  }
  // A NUL before the value ends, or inside a string, was refused before.
  for (std::string_view text : {"[1\0]"sv, "[\"a\0b\"]"sv, "\0[1]"sv}) {
    EXPECT_EQ(parse(text, JSONReadingFragmentsAllowed), nullptr);
  }
  // UTF-16 text is read the same way: its NUL code unit ends nothing.
  const char16_t utf16[] = u"[1]\0x";
  EXPECT_TRUE(JSONSerialization::JSONObjectWithData(Data::make(utf16, 3 * sizeof(char16_t)), 0));
  EXPECT_EQ(JSONSerialization::JSONObjectWithData(Data::make(utf16, sizeof(utf16) - sizeof(char16_t)), 0), nullptr);
  // An escaped NUL is a character of a string like any other.
  auto array = as<Array>(parse("[\"a\\u0000b\"]"));
  ASSERT_TRUE(array);
  EXPECT_EQ(as<String>(array->objectAtIndex(0))->utf8(), std::string("a\0b", 3));
}

TEST(JSONSerialization, DeepNestingIsRefusedNotACrash) {
  std::string deep(100000, '[');
  Ref<Error> error;
  EXPECT_EQ(parse(deep, 0, &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_NE(describe(error).find("Too many nested"), std::string::npos);

  std::string fine = std::string(JSONMaximumDepth, '[') + std::string(JSONMaximumDepth, ']');
  EXPECT_TRUE(parse(fine));

  // A container that holds itself cannot be written; it is an error, not a
  // stack overflow.
  auto loop = MutableArray::make();
  loop->addObject(loop);
  Ref<Error> writeError;
  EXPECT_EQ(JSONSerialization::dataWithJSONObject(loop, 0, &writeError), nullptr);
  ASSERT_TRUE(writeError);
  EXPECT_EQ(writeError->code(), 3840);
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(loop));
  loop->removeAllObjects();  // break the cycle for the leak checker
}

TEST(JSONSerialization, InvalidObjectsRaiseOnWrite) {
  auto reasonOf = [](const Id& v) {
    try {
      JSONSerialization::dataWithJSONObject(v);
    } catch (const Exception& e) {
      EXPECT_EQ(e.name(), InvalidArgumentException);
      return e.reason();
    }
    return std::string("no exception");
  };
  EXPECT_EQ(reasonOf(array({Data::make("x")})), "Invalid type in JSON write (NSData)");
  EXPECT_EQ(reasonOf(array({num(std::nan(""))})), "Invalid number value (NaN) in JSON write");
  EXPECT_EQ(reasonOf(array({num(INFINITY)})), "Invalid number value (infinite) in JSON write");
  EXPECT_EQ(reasonOf(dict({{1, "x"}})), "Invalid (non-string) key in JSON dictionary");

  EXPECT_TRUE(JSONSerialization::isValidJSONObject(dict({{"a", array({1, "x", null(), 2.5})}})));
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(array({Data::make("x")})));
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(array({num(std::nan(""))})));
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(dict({{1, "x"}})));
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(str("fragment")));
  EXPECT_FALSE(JSONSerialization::isValidJSONObject(nullptr));
}

TEST(JSONSerialization, ReadsUTF16AndByteOrderMarks) {
  EXPECT_EQ(describe(parse("\xEF\xBB\xBF[\"bom\"]")[0]), "bom");
  std::u16string units = u"{\"k\":\"领\"}";
  std::string le, be;
  for (char16_t u : units) {
    le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
    be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
  }
  EXPECT_EQ(describe(parse(le)["k"]), "领");
  EXPECT_EQ(describe(parse("\xFE\xFF" + be)["k"]), "领");
  Ref<Error> error;
  EXPECT_EQ(parse(le.substr(0, le.size() - 1), 0, &error), nullptr);
  EXPECT_TRUE(error);
}

}  // namespace
}  // namespace kit
