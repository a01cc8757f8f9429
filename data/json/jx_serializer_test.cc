// The JSON writer: compact and pretty layout, numbers, escapes, the object
// text cache, substitutes for unsupported objects, failures and the nesting
// limit.

#include "data/json/jx_serializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "data/json/json_decoder.h"
#include "data/json/json_text.h"
#include "data/json/jx_constants.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

// An object the writer does not know.
class JXTestDate : public kit::Object {
  KIT_OBJECT(JXTestDate)
 public:
  explicit JXTestDate(int day = 0) : day_(day) {}
  std::string description() const override { return "day " + std::to_string(day_); }

 private:
  int day_;
};
KIT_DEFINE_CLASS(JXTestDate, kit::Object) {}

// A delegate that formats dates.
class JXTestFormatter : public kit::Object {
 public:
  kit::Id formatDate(const kit::Id& object) {
    ++calls;
    return kit::isKind<JXTestDate>(object) ? kit::Id(kit::str("<" + object->description() + ">")) : nullptr;
  }
  int calls = 0;
};

namespace {

std::string write(const kit::Id& object, unsigned long options = 0, kit::Ref<kit::Error>* error = nullptr) {
  kit::Id out = JXSerializer::serializeObject(object, options, JXEncodeAsString, {}, nullptr, {}, error);
  return out ? kit::as<kit::String>(out)->utf8() : "(nil)";
}

std::string errorOf(const kit::Id& object, unsigned long options = 0) {
  kit::Ref<kit::Error> error;
  kit::Id out = JXSerializer::serializeObject(object, options, JXEncodeAsString, {}, nullptr, {}, &error);
  EXPECT_EQ(out, nullptr);
  return error ? error->localizedDescription() : "(no error)";
}

kit::Id parse(std::string_view text) {
  return JSONDecoder::decoder()->objectWithUTF8String(text.data(), text.size());
}

TEST(JXSerializer, WritesCompactAndPrettyText) {
  kit::Id d = kit::dict({{"k", "a"}, {"n", 1}});
  EXPECT_EQ(write(d), R"({"k":"a","n":1})");
  EXPECT_EQ(write(d, JXSerializeOptionPretty), "{\n  \"k\": \"a\",\n  \"n\": 1\n}");
  // Pretty printing sorts the keys.
  EXPECT_EQ(write(kit::dict({{"n", 1}, {"k", "a"}}), JXSerializeOptionPretty), "{\n  \"k\": \"a\",\n  \"n\": 1\n}");
  EXPECT_EQ(write(kit::dict(), JXSerializeOptionPretty), "{\n  \n}");
  EXPECT_EQ(write(kit::array(), JXSerializeOptionPretty), "[\n  \n]");
  EXPECT_EQ(write(kit::array({1, kit::array({2})}), JXSerializeOptionPretty), "[\n  1,\n  [\n    2\n  ]\n]");
  EXPECT_EQ(write(kit::array({1, "x", kit::null(), true, false})), R"([1,"x",null,true,false])");
}

TEST(JXSerializer, RoundTripsParsedText) {
  for (const char* text : {"[true,false,null]", R"({"a":[1,-2,3.5,"x"]})", "[18446744073709551615]",
                           "[-9223372036854775808]", "[-0]", "[\"\\u00e9\\ud83d\\ude00\"]"}) {
    kit::Id value = parse(text);
    ASSERT_TRUE(value) << text;
    kit::Id again = parse(write(value));
    EXPECT_TRUE(kit::isEqual(value, again)) << text << " -> " << write(value);
  }
  EXPECT_EQ(write(parse("[18446744073709551615]")), "[18446744073709551615]");
  EXPECT_EQ(write(parse("[-0]")), "[-0]");
}

TEST(JXSerializer, WritesNumbers) {
  EXPECT_EQ(write(kit::array({0.1})), "[0.10000000000000001]");
  EXPECT_EQ(write(kit::array({5})), "[5]");
  EXPECT_EQ(write(kit::array({1e21, -2.5, 1e-310})), "[1e+21,-2.5,9.9999999999999694e-311]");
  EXPECT_EQ(write(kit::array({kit::num(true), kit::num(false)})), "[true,false]");
  EXPECT_EQ(write(kit::array({kit::Id(kit::Number::fromChar('A')), kit::Id(kit::Number::fromUnsignedInt(4000000000u)),
                              kit::Id(kit::Number::fromLongLong(INT64_MIN)), kit::Id(kit::Number::fromFloat(0.5f))})),
            "[65,4000000000,-9223372036854775808,0.5]");
  const char* finite = "Floating point values must be finite.  JSON does not support NaN or Infinity.";
  EXPECT_EQ(errorOf(kit::array({std::nan("")})), finite);
  EXPECT_EQ(errorOf(kit::array({std::numeric_limits<double>::infinity()})), finite);
}

TEST(JXSerializer, EscapesStrings) {
  EXPECT_EQ(write(kit::array({"tab\t\"q\" \xC3\xA9"})), "[\"tab\\t\\\"q\\\" \xC3\xA9\"]");
  EXPECT_EQ(write(kit::array({"\xC3\xA9\xF0\x9F\x98\x80"}), JXSerializeOptionEscapeUnicode),
            "[\"\\u00e9\\ud83d\\ude00\"]");
  EXPECT_EQ(write(kit::array({"a/b"})), "[\"a/b\"]");
  EXPECT_EQ(write(kit::array({"a/b"}), JXSerializeOptionEscapeForwardSlashes), "[\"a\\/b\"]");
  EXPECT_EQ(write(kit::array({std::string("\x1f\b\f\n\r\\\x7f\x01", 8)})),
            "[\"\\u001f\\b\\f\\n\\r\\\\\x7f\\u0001\"]");
  EXPECT_EQ(write(kit::array({std::string("nul\0byte", 8)})), "[\"nul\\u0000byte\"]");
  // An unpaired surrogate has no UTF-8 form and is written as "?".
  auto lone = kit::String::fromUTF16(u"a\xD83D" u"b");
  EXPECT_EQ(write(kit::array({kit::Id(lone)})), "[\"a?b\"]");
  EXPECT_EQ(write(kit::array({kit::Id(lone)}), JXSerializeOptionEscapeUnicode), "[\"a?b\"]");
  // A noncharacter cannot be escaped.
  EXPECT_EQ(errorOf(kit::array({"\xEF\xBF\xBF"}), JXSerializeOptionEscapeUnicode), "Error converting UTF8.");

  // Long strings with many escapes go through the heap buffer intact.
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "\"/\xC3\xA9\n";
  for (unsigned long options : {0UL, static_cast<unsigned long>(JXSerializeOptionEscapeUnicode |
                                                                  JXSerializeOptionEscapeForwardSlashes)}) {
    kit::Id back = parse(write(kit::array({big}), options));
    ASSERT_TRUE(back) << options;
    EXPECT_EQ(kit::describe(back[0]), big) << options;
  }
}

TEST(JXSerializer, RepeatsTheTextOfTheSameObject) {
  auto s = kit::str("same \xC3\xA9");
  auto n = kit::num(3.25);
  EXPECT_EQ(write(kit::array({s, n, s, n, s})), "[\"same \xC3\xA9\",3.25,\"same \xC3\xA9\",3.25,\"same \xC3\xA9\"]");
  // A string used as a key and as a value.
  auto k = kit::str("k");
  EXPECT_EQ(write(kit::dict({{kit::Id(k), kit::Id(k)}})), R"({"k":"k"})");
}

TEST(JXSerializer, ReportsUnsupportedObjectsAndBadKeys) {
  EXPECT_EQ(errorOf(kit::dict({{kit::Id(kit::num(1)), "v"}})), "Key must be a string object.");
  EXPECT_EQ(errorOf(kit::dict({{kit::Id(kit::num(1)), "v"}}), JXSerializeOptionPretty), "Key must be a string object.");
  EXPECT_EQ(errorOf(kit::array({kit::Id(kit::make<JXTestDate>())})), "Unable to serialize object class JXTestDate.");

  // A block substitutes the date's description.
  kit::Ref<kit::Error> error;
  auto dates = kit::array({kit::Id(kit::make<JXTestDate>(1)), kit::Id(kit::make<JXTestDate>(2))});
  auto text = JSONStringWithOptions(*dates, 0, [](const kit::Id& o) -> kit::Id { return kit::str(o->description()); },
                                    &error);
  ASSERT_TRUE(text) << error->localizedDescription();
  EXPECT_EQ(text->utf8(), R"(["day 1","day 2"])");

  // A substitute the writer cannot write either.
  error = nullptr;
  EXPECT_FALSE(JSONStringWithOptions(*dates, 0, [](const kit::Id&) -> kit::Id { return kit::make<JXTestDate>(9); },
                                     &error));
  EXPECT_EQ(error->localizedDescription(),
            "Unable to serialize object class JXTestDate that was returned by the unsupported class formatter.  "
            "Original object class was JXTestDate.");
  // A block that gives nothing leaves the object unsupported.
  EXPECT_FALSE(JSONStringWithOptions(*dates, 0, [](const kit::Id&) -> kit::Id { return nullptr; }, &error));
  EXPECT_EQ(error->localizedDescription(), "Unable to serialize object class JXTestDate.");
}

TEST(JXSerializer, AsksTheDelegateOncePerObject) {
  auto formatter = kit::make<JXTestFormatter>();
  auto date = kit::make<JXTestDate>(4);
  auto list = kit::array({kit::Id(date), kit::Id(date), kit::Id(kit::make<JXTestDate>(5))});
  kit::Ref<kit::Error> error;
  auto text = JSONStringWithOptions(*list, 0, formatter, &JXTestFormatter::formatDate, &error);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->utf8(), R"(["<day 4>","<day 4>","<day 5>"])");
  EXPECT_EQ(formatter->calls, 2);  // the second mention of the same date reuses its text

  try {
    JSONStringWithOptions(*list, 0, formatter, JXSelector(), &error);
    FAIL() << "a delegate without a selector must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.reason(), "The delegate argument is not NULL, but the selector argument is NULL.");
  }
  try {
    JSONStringWithOptions(*list, 0, kit::Id(kit::str("not a formatter")), &JXTestFormatter::formatDate, &error);
    FAIL() << "a delegate without the method must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.reason(), "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector "
                          "argument.");
  }
}

TEST(JXSerializer, FreshSubstitutesNeverReuseAnotherObjectsText) {
  // Every call of the block makes a new string; a freed substitute's address
  // is likely to be reused by the next one, which must not pick up the old
  // text from the address-keyed cache.
  std::vector<kit::Id> dates;
  for (int i = 0; i < 200; ++i) dates.push_back(kit::make<JXTestDate>(i));
  auto list = kit::Array::make(dates);
  kit::Ref<kit::Error> error;
  auto text = JSONStringWithOptions(
      *list, 0, [](const kit::Id& o) -> kit::Id { return kit::str(o->description()); }, &error);
  ASSERT_TRUE(text);
  kit::Id back = parse(text->utf8());
  for (int i = 0; i < 200; ++i) EXPECT_EQ(kit::describe(back[i]), "day " + std::to_string(i));
}

TEST(JXSerializer, StopsAtTheNestingLimitAndOnCycles) {
  kit::Id deep = kit::array();
  for (int i = 1; i < 512; ++i) deep = kit::array({deep});
  EXPECT_EQ(write(deep).size(), 1024u);
  EXPECT_EQ(errorOf(kit::array({deep})), "Arrays and objects are nested deeper than 512 levels.");

  auto cycle = kit::mutableArray({1});
  cycle->addObject(cycle);
  EXPECT_EQ(errorOf(cycle), "Arrays and objects are nested deeper than 512 levels.");
  cycle->removeAllObjects();  // break the cycle for the leak checker
  auto selfDict = kit::mutableDict();
  selfDict->setObject(selfDict, "me");
  EXPECT_EQ(errorOf(selfDict, JXSerializeOptionPretty), "Arrays and objects are nested deeper than 512 levels.");
  selfDict->removeAllObjects();
}

TEST(JXSerializer, ChecksTheTopLevelAndResultForm) {
  kit::Ref<kit::Error> error = kit::Error::make("stale", 1);
  EXPECT_FALSE(JXSerializer::serializeObject(kit::str("x"), 0, JXEncodeRequireCollection | JXEncodeAsString, {},
                                             nullptr, {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Unable to serialize object class NSString, expected a NSArray or NSDictionary.");
  EXPECT_FALSE(
      JXSerializer::serializeObject(kit::array(), 0, JXEncodeRequireString | JXEncodeAsString, {}, nullptr, {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Unable to serialize object class NSArray, expected a NSString.");
  EXPECT_FALSE(JXSerializer::serializeObject(kit::array(), 0, 0, {}, nullptr, {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Unknown encode as type.");

  // A successful call clears a stale error.
  error = kit::Error::make("stale", 1);
  kit::Id data = JXSerializer::serializeObject(kit::array({1}), 0, JXEncodeAsData, {}, nullptr, {}, &error);
  EXPECT_EQ(error, nullptr);
  ASSERT_TRUE(kit::isKind<kit::Data>(data));
  EXPECT_EQ(kit::as<kit::Data>(data)->toString(), "[1]");

  // Large output moves to the heap and comes back whole, as string and data.
  std::vector<kit::Id> many;
  for (int i = 0; i < 5000; ++i) many.push_back(kit::str("item-" + std::to_string(i)));
  auto list = kit::Array::make(many);
  auto big = JSONString(*list);
  auto bigData = JSONData(*list);
  ASSERT_TRUE(big && bigData);
  EXPECT_EQ(big->utf8(), bigData->toString());
  EXPECT_EQ(kit::describe(parse(big->utf8())[4999]), "item-4999");
}

}  // namespace
