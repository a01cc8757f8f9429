// Values kept in compact slots: every kind read back exactly, from arrays and
// from dictionaries, with the class and type code a caller checks; repeated
// reads and equal values; reads from many threads; mutation of containers
// that mix slots and objects; dictionaries sharing a key layout and leaving
// it on mutation; large arrays that take the parser's buffers over; and
// writing slots back as text.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "data/json/json_decoder.h"
#include "data/json/json_text.h"
#include "data/json/jx_arena.h"
#include "data/json/jx_array.h"
#include "data/json/jx_constants.h"
#include "data/json/jx_dictionary.h"
#include "data/json/jx_value_cache.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

namespace {

kit::Id parse(const std::string& text, bool isMutable = false,
              const kit::Ref<JSONDecoder>& decoder = JSONDecoder::decoder()) {
  kit::Ref<kit::Error> error;
  kit::Id v = isMutable ? decoder->mutableObjectWithUTF8String(text.data(), text.size(), &error)
                        : decoder->objectWithUTF8String(text.data(), text.size(), &error);
  EXPECT_TRUE(v) << text << ": " << (error ? error->localizedDescription() : "");
  return v;
}

std::string compact(const kit::Id& value) {
  kit::Ref<kit::Error> error;
  if (auto array = kit::as<kit::Array>(value)) return JSONStringWithOptions(*array, 0, &error)->utf8();
  return JSONStringWithOptions(*kit::as<kit::Dictionary>(value), 0, &error)->utf8();
}

double readDouble(std::string_view text) {
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// One of each kind, and the boundaries between them.
const char* const kMixed[] = {
    "0", "-0", "0.0", "-0.0", "-1", "9223372036854775807", "9223372036854775808", "18446744073709551615",
    "-9223372036854775808", "1.7976931348623157e308", "5e-324", "2.5E-3", "1e2", "0.1", "true", "false", "null",
    "\"\"", "\"sixteen bytes ok\"", "\"seventeen bytes!!\"", "\"tab\\t \\\"q\\\" \\\\ \\/\"", "\"\\u00e9\\u4e2d\\ud83d\\ude00\"",
    "\"é中😀 and a longer non-ASCII tail\"", "[]", "{}", "[1,\"x\"]", "{\"k\":-2}",
};

void expectMixed(const std::vector<kit::Id>& v) {
  auto number = [&](size_t i) { return kit::as<kit::Number>(v[i]); };
  auto text = [&](size_t i) { return kit::as<kit::String>(v[i]) ? kit::as<kit::String>(v[i])->utf8() : "(none)"; };
  ASSERT_EQ(v.size(), std::size(kMixed));
  EXPECT_STREQ(number(0)->objCType(), "q");
  EXPECT_EQ(number(0)->longLongValue(), 0);
  for (size_t i : {1, 3}) {
    EXPECT_STREQ(number(i)->objCType(), "d") << i;
    EXPECT_TRUE(std::signbit(number(i)->doubleValue())) << i;
  }
  EXPECT_FALSE(std::signbit(number(2)->doubleValue()));
  EXPECT_EQ(number(4)->longLongValue(), -1);
  EXPECT_STREQ(number(5)->objCType(), "q");
  EXPECT_EQ(number(5)->longLongValue(), INT64_MAX);
  EXPECT_STREQ(number(6)->objCType(), "Q");
  EXPECT_EQ(number(6)->unsignedLongLongValue(), 9223372036854775808ULL);
  EXPECT_EQ(number(7)->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_EQ(number(8)->longLongValue(), INT64_MIN);
  for (size_t i = 9; i <= 13; ++i) {
    EXPECT_STREQ(number(i)->objCType(), "d") << kMixed[i];
    EXPECT_EQ(std::bit_cast<uint64_t>(number(i)->doubleValue()), std::bit_cast<uint64_t>(readDouble(kMixed[i])))
        << kMixed[i];
  }
  EXPECT_EQ(v[14], kit::Number::yes());
  EXPECT_EQ(v[15], kit::Number::no());
  EXPECT_EQ(v[16], kit::Null::null());
  EXPECT_EQ(text(17), "");
  EXPECT_EQ(text(18), "sixteen bytes ok");
  EXPECT_EQ(text(19), "seventeen bytes!!");
  EXPECT_EQ(text(20), "tab\t \"q\" \\ /");
  EXPECT_EQ(text(21), "é中😀");
  EXPECT_EQ(text(22), "é中😀 and a longer non-ASCII tail");
  EXPECT_TRUE(kit::isKind<JXArray>(v[23]));
  EXPECT_TRUE(kit::isKind<JXDictionary>(v[24]));
  EXPECT_EQ(compact(v[25]), R"([1,"x"])");
  EXPECT_EQ(kit::as<kit::Number>(v[26]["k"])->longLongValue(), -2);
}

TEST(JXSlots, EveryKindReadsBackExactlyFromArraysAndDictionaries) {
  std::string arrayText = "[", objectText = "{";
  for (size_t i = 0; i < std::size(kMixed); ++i) {
    arrayText += (i ? "," : "") + std::string(kMixed[i]);
    objectText += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + kMixed[i];
  }
  auto array = kit::as<JXArray>(parse(arrayText + "]"));
  ASSERT_TRUE(array);
  expectMixed(array->objects());

  auto object = kit::as<JXDictionary>(parse(objectText + "}"));
  ASSERT_TRUE(object);
  std::vector<kit::Id> values;
  for (size_t i = 0; i < std::size(kMixed); ++i) values.push_back(object->objectForKey("k" + std::to_string(i)));
  expectMixed(values);

  // Written back and read again, every value is equal, doubles to the bit.
  for (const kit::Id& parsed : {kit::Id(array), kit::Id(object)}) {
    kit::Id again = parse(compact(parsed));
    EXPECT_TRUE(kit::isEqual(parsed, again));
    EXPECT_EQ(compact(again), compact(parsed));
  }
  EXPECT_EQ(compact(parse("[-0,-0.0,18446744073709551615,-9223372036854775808,1e2,\"\\u00e9\\n\"]")),
            "[-0,-0,18446744073709551615,-9223372036854775808,100,\"é\\n\"]");
  kit::Ref<kit::Error> error;
  auto inlineText = kit::as<JXArray>(parse("[\"é中😀\"]"));
  EXPECT_EQ(JSONStringWithOptions(*inlineText, JXSerializeOptionEscapeUnicode, &error)->utf8(),
            "[\"\\u00e9\\u4e2d\\ud83d\\ude00\"]");
}

TEST(JXSlots, RepeatedReadsAndEqualValuesGiveOneObject) {
  auto decoder = JSONDecoder::decoder();
  auto a = kit::as<JXArray>(parse(R"([2.5,"short",7,{"x":2.5,"y":"short"}])", false, decoder));
  ASSERT_TRUE(a);
  kit::Id number = a->objectAtIndex(0), text = a->objectAtIndex(1);
  EXPECT_EQ(a->objectAtIndex(0), number);
  EXPECT_EQ(a->objectAtIndex(1), text);
  EXPECT_EQ(a->objectAtIndex(3)["x"], number);
  EXPECT_EQ(a->objectAtIndex(3)["y"], text);
  kit::Id buffer[4];
  a->getObjects(buffer, {0, 4});
  EXPECT_EQ(buffer[0], number);
  EXPECT_EQ(buffer[3], a->objectAtIndex(3));  // containers are the objects themselves
  // What was read outlives the document.
  a = nullptr;
  EXPECT_EQ(kit::as<kit::Number>(number)->doubleValue(), 2.5);
  EXPECT_EQ(kit::describe(text), "short");

  // The cache itself: equal values only, whatever the bytes look alike.
  JXValueCache cache;
  JXSlot zero, zeroDouble, zeroText, one;
  const uint8_t zeroTag = zero.setNumber(kJXSlotSigned, 0);
  const uint8_t zeroDoubleTag = zeroDouble.setNumber(kJXSlotDouble, 0);
  const uint8_t zeroTextTag = zeroText.setString("\0", 1);
  const uint8_t oneTag = one.setNumber(kJXSlotSigned, 1);
  kit::Id z = cache.objectFor(zero, zeroTag);
  EXPECT_EQ(cache.objectFor(zero, zeroTag), z);
  EXPECT_NE(cache.objectFor(zeroDouble, zeroDoubleTag), z);
  EXPECT_NE(cache.objectFor(zeroText, zeroTextTag), z);
  EXPECT_EQ(kit::as<kit::String>(cache.objectFor(zeroText, zeroTextTag))->utf8(), std::string("\0", 1));
  EXPECT_EQ(kit::as<kit::Number>(cache.objectFor(one, oneTag))->longLongValue(), 1);
  for (uint64_t i = 0; i < 2000; ++i) {
    JXSlot s;
    cache.objectFor(s, s.setNumber(kJXSlotSigned, i));
  }
  EXPECT_GT(cache.entryCount(), 256u);  // grown from its first few entries
  EXPECT_LE(cache.entryCount(), JXValueCache::kMaxEntries);
}

TEST(JXSlots, ManyThreadsReadOneDocument) {
  std::string text = "[";
  for (int i = 0; i < 20000; ++i) text += (i ? "," : "") + std::to_string(i % 700) + (i % 2 ? ".5" : "");
  auto document = kit::as<JXArray>(parse(text + "]"));
  ASSERT_TRUE(document);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (size_t i = 0; i < document->count(); ++i) {
          auto n = kit::as<kit::Number>(document->objectAtIndex((i + static_cast<size_t>(t) * 700) % 3000));
          const size_t at = (i + static_cast<size_t>(t) * 700) % 3000;
          const double expected = static_cast<double>(at % 700) + (at % 2 ? 0.5 : 0);
          if (!n || n->doubleValue() != expected) ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0) << t;
}

TEST(JXSlots, MutableContainersMixSlotsAndObjects) {
  auto a = kit::as<JXArray>(parse(R"([1,"two",3.5,null,[4]])", true));
  ASSERT_TRUE(a);
  kit::Id inner = a->objectAtIndex(4);
  auto mine = kit::MutableString::make("mine");
  a->insertObject(mine, 1);
  a->removeObjectAtIndex(0);
  a->replaceObjectAtIndex(2, kit::num(true));
  for (int i = 0; i < 40; ++i) a->addObject(kit::num(i));  // grows twice
  EXPECT_EQ(a->objectAtIndex(0), kit::Id(mine));  // inserted objects are kept as they are
  EXPECT_EQ(a->objectAtIndex(4), inner);
  EXPECT_EQ(compact(kit::Id(a)).substr(0, 36), R"(["mine","two",true,null,[4],0,1,2,3,)");
  EXPECT_EQ(a->count(), 45u);
  EXPECT_TRUE(kit::isEqual(a->mutableCopy(), a));

  // A dictionary keeps its order and its objects when it leaves its layout.
  auto d = kit::as<JXDictionary>(parse(R"({"a":1,"b":"two","c":[3],"d":-0.0,"e":null,"f":"é"})", true));
  ASSERT_TRUE(d);
  ASSERT_TRUE(d->layout());
  const std::vector<kit::Id> keys = d->keys();
  const size_t capacity = d->capacity();
  kit::Id list = d->objectForKey("c");
  d->removeObjectForKey("absent");  // changes the form, nothing else
  EXPECT_FALSE(d->layout());
  EXPECT_EQ(d->keys(), keys);
  EXPECT_EQ(d->capacity(), capacity);
  EXPECT_EQ(d->mutationCount(), 1u);
  EXPECT_EQ(d->objectForKey("c"), list);
  d->setObject(kit::str("one"), "a");
  EXPECT_TRUE(std::signbit(kit::as<kit::Number>(d->objectForKey("d"))->doubleValue()));
  EXPECT_EQ(kit::describe(d->objectForKey("f")), "é");
  EXPECT_EQ(kit::describe(d->objectForKey("a")), "one");
  d->removeObjectForKey("b");
  d->setObject(kit::num(7), "g");
  EXPECT_EQ(d->count(), 6u);
  EXPECT_EQ(kit::describe(d->objectForKey(kit::Id(kit::str("g")))), "7");
  EXPECT_EQ(d->objectForKey("b"), nullptr);
  kit::Id again = parse(compact(kit::Id(d)));
  EXPECT_TRUE(kit::isEqual(again, d));
}

TEST(JXSlots, DictionariesOfOneShapeShareAKeyLayout) {
  // Between the first and the last record, enough other keys pass through
  // the token cache that the last record's keys are new objects, equal to
  // the layout's.
  std::string text = R"([{"id":1,"name":"a"},{"id":2,"name":"b"},{"name":"c","id":3},{)";
  for (int i = 0; i < 20000; ++i) text += (i ? ",\"key" : "\"key") + std::to_string(i) + "\":" + std::to_string(i);
  text += R"(},{"id":4,"name":"d"},{"id":5,"id":6}])";
  auto decoder = JSONDecoder::decoder();
  auto records = kit::as<JXArray>(parse(text, true, decoder));
  ASSERT_TRUE(records);
  auto record = [&](size_t i) { return kit::as<JXDictionary>(records->objectAtIndex(i)); };
  EXPECT_EQ(record(0)->layout(), record(1)->layout());
  EXPECT_NE(record(0)->layout(), record(2)->layout());  // the same keys in another order
  EXPECT_EQ(record(4)->layout(), record(0)->layout());
  EXPECT_EQ(kit::describe(record(4)->objectForKey("name")), "d");
  EXPECT_EQ(record(3)->count(), 20000u);
  EXPECT_EQ(kit::describe(record(3)->objectForKey("key19999")), "19999");
  EXPECT_EQ(record(5)->count(), 1u);  // a repeated key keeps the last value
  EXPECT_EQ(kit::describe(record(5)->objectForKey("id")), "6");

  // One record leaving the shared layout changes nothing in the others.
  record(1)->setObject(kit::num(20), "id");
  record(1)->removeObjectForKey("name");
  EXPECT_EQ(kit::describe(record(0)->objectForKey("id")), "1");
  EXPECT_EQ(kit::describe(record(0)->objectForKey("name")), "a");
  EXPECT_EQ(kit::describe(record(4)->objectForKey("id")), "4");
  EXPECT_EQ(compact(records->objectAtIndex(1)), R"({"id":20})");

  // Key order is the table's: the one a table of the same capacity filled
  // in text order has.
  auto fresh = kit::as<JXDictionary>(parse(R"({"m":1,"n":2,"o":3,"p":4,"q":5})", true));
  std::vector<std::string> expected(fresh->capacity());
  for (const char* key : {"m", "n", "o", "p", "q"}) {
    size_t slot = JXDictionary::homeSlot(kit::String::hashOf(key), fresh->capacity());
    while (!expected[slot].empty()) slot = (slot + 1) % expected.size();
    expected[slot] = key;
  }
  std::erase(expected, "");
  std::vector<std::string> order;
  for (const kit::Id& key : fresh->keys()) order.push_back(kit::describe(key));
  EXPECT_EQ(order, expected);
}

TEST(JXSlots, LargeArraysTakeTheParserBuffersOver) {
  const size_t chunks = JXArena::liveChunks();
  std::string numbers;
  for (int i = 0; i < 6000; ++i) numbers += (i ? "," : "") + std::to_string(i) + (i % 3 ? "" : ".25");
  // Alone, first below a dictionary or an array (taken over), and after
  // another value (copied).
  const std::pair<std::string, kit::Id (*)(const kit::Id&)> cases[] = {
      {"[" + numbers + "]", [](const kit::Id& d) { return d; }},
      {"{\"data\":[" + numbers + "]}", [](const kit::Id& d) { return d["data"]; }},
      {"[[" + numbers + "],\"x\"]", [](const kit::Id& d) { return d[0]; }},
      {"[\"x\",[" + numbers + "]]", [](const kit::Id& d) { return d[1]; }},
  };
  for (const auto& [text, find] : cases) {
    kit::Id document = parse(text, true);
    auto array = kit::as<JXArray>(find(document));
    ASSERT_TRUE(array) << text.substr(0, 10);
    ASSERT_EQ(array->count(), 6000u);
    EXPECT_EQ(array->capacity(), 6000u);
    EXPECT_EQ(kit::as<kit::Number>(array->objectAtIndex(5997))->doubleValue(), 5997.25);
    EXPECT_EQ(kit::as<kit::Number>(array->objectAtIndex(5998))->longLongValue(), 5998);
    array->insertObject(kit::str("first"), 0);
    array->removeObjectAtIndex(6000);
    EXPECT_EQ(kit::describe(array->objectAtIndex(0)), "first");
    EXPECT_EQ(kit::describe(array->lastObject()), "5998");
  }
  EXPECT_EQ(JXArena::liveChunks(), chunks);
}

}  // namespace
