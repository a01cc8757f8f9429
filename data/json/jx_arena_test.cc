// Where parsed values live: chunks shared by a document's values, values that
// outlive their document, chunks given back when their last value goes (on
// whichever thread), large containers, failed parses, and the value cache's
// borrowed slots across repeated keys and failures.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "data/json/json_decoder.h"
#include "data/json/jx_arena.h"
#include "data/json/jx_array.h"
#include "data/json/jx_dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"

namespace {

kit::Id parse(const std::string& text, const kit::Ref<JSONDecoder>& decoder = JSONDecoder::decoder()) {
  kit::Ref<kit::Error> error;
  kit::Id v = decoder->objectWithUTF8String(text.data(), text.size(), &error);
  EXPECT_TRUE(v) << (error ? error->localizedDescription() : "");
  return v;
}

// A geometry-like document: `rings` arrays of coordinate pairs.
std::string coordinates(int rings, int points) {
  std::string text = "{\"type\":\"Polygon\",\"coordinates\":[";
  for (int r = 0; r < rings; ++r) {
    text += r ? ",[" : "[";
    for (int p = 0; p < points; ++p) {
      text += (p ? ",[" : "[") + std::to_string(-65.6 - r * 0.001 - p * 1e-6) + "," +
              std::to_string(43.4 + r * 0.001 + p * 1e-6) + "]";
    }
    text += "]";
  }
  return text + "]}";
}

TEST(JXArena, ValuesOutliveTheirDocumentAndGiveTheirChunksBack) {
  const size_t before = JXArena::liveChunks();
  kit::Id number, ring, name;
  {
    kit::Id document = parse(coordinates(40, 200));  // several chunks' worth
    ASSERT_TRUE(document);
    EXPECT_GT(JXArena::liveChunks(), before + 2);
    number = document["coordinates"][3][7][1];
    ring = document["coordinates"][39];
    name = document["type"];
  }
  // The document is gone; what was taken from it still reads correctly and
  // keeps only its own chunks.
  EXPECT_NEAR(kit::as<kit::Number>(number)->doubleValue(), 43.403007, 1e-9);
  ASSERT_TRUE(kit::as<JXArray>(ring));
  EXPECT_EQ(kit::as<JXArray>(ring)->count(), 200u);
  EXPECT_EQ(kit::describe(name), "Polygon");
  EXPECT_GT(JXArena::liveChunks(), before);
  number.reset();
  ring.reset();
  name.reset();
  EXPECT_EQ(JXArena::liveChunks(), before);
}

TEST(JXArena, ValuesMayBeReleasedOnAnotherThread) {
  const size_t before = JXArena::liveChunks();
  std::vector<kit::Id> documents;
  for (int i = 0; i < 4; ++i) documents.push_back(parse(coordinates(10, 100 + i)));
  kit::Id kept = documents[2]["coordinates"][9];
  std::vector<std::thread> threads;
  for (kit::Id& d : documents) {
    threads.emplace_back([doc = std::move(d)]() mutable {
      EXPECT_EQ(kit::as<JXArray>(doc["coordinates"])->count(), 10u);
      doc.reset();
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(kit::as<JXArray>(kept)->count(), 102u);
  std::thread([k = std::move(kept)]() mutable { k.reset(); }).join();
  EXPECT_EQ(JXArena::liveChunks(), before);
}

TEST(JXArena, LargeContainersAndFailedParsesLeaveNothingBehind) {
  const size_t before = JXArena::liveChunks();
  // One array of 20000 elements: its slots are far larger than a chunk.
  std::string big = "[";
  for (int i = 0; i < 20000; ++i) big += (i ? "," : "") + std::to_string(i);
  big += "]";
  {
    auto array = kit::as<JXArray>(parse(big));
    ASSERT_TRUE(array);
    EXPECT_EQ(kit::as<kit::Number>(array->objectAtIndex(19999))->longLongValue(), 19999);
  }
  EXPECT_EQ(JXArena::liveChunks(), before);

  // A short text whose array is its first object and needs more room than
  // the chunk sized for the text, and one whose array needs a chunk of its
  // own.
  for (int count : {300, 1500}) {
    std::string text = "[";
    for (int i = 0; i < count; ++i) text += i ? ",null" : "null";
    auto array = kit::as<JXArray>(parse(text + "]"));
    ASSERT_TRUE(array);
    EXPECT_EQ(array->count(), static_cast<size_t>(count));
  }
  EXPECT_EQ(JXArena::liveChunks(), before);

  // The deepest nesting the parser takes: the innermost value outlives the
  // 512 arrays around it.
  {
    kit::Id inner;
    {
      kit::Id nested = parse(std::string(512, '[') + "1.5" + std::string(512, ']'));
      inner = nested;
      for (int level = 0; level < 512; ++level) inner = inner[0];
    }
    EXPECT_EQ(kit::as<kit::Number>(inner)->doubleValue(), 1.5);
  }
  EXPECT_EQ(JXArena::liveChunks(), before);

  // A parse that fails deep inside releases everything it built.
  auto decoder = JSONDecoder::decoder();
  std::string broken = coordinates(20, 50);
  broken.insert(broken.size() - 10, "x");
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(decoder->objectWithUTF8String(broken.data(), broken.size(), &error));
  EXPECT_TRUE(error);
  EXPECT_EQ(JXArena::liveChunks(), before);
}

TEST(JXTokenCache, BorrowedValuesSurviveRepeatedKeysFailuresAndLaterParses) {
  auto decoder = JSONDecoder::decoder();
  // The first "xyz" is pushed out of its dictionary by the repeated key
  // before the second "xyz" is read; the second must still be a live string.
  auto a = kit::as<JXArray>(parse(R"([{"k":"xyz","k":1},"xyz",{"k":"xyz"}])", decoder));
  ASSERT_TRUE(a);
  EXPECT_EQ(kit::describe(a->objectAtIndex(0)["k"]), "1");
  EXPECT_EQ(kit::describe(a->objectAtIndex(1)), "xyz");
  EXPECT_EQ(a->objectAtIndex(1), a->objectAtIndex(2)["k"]);

  // Keys repeated across objects are one object too.
  auto objects = kit::as<JXArray>(parse(R"([{"name":1},{"name":2},{"name":3}])", decoder));
  ASSERT_TRUE(objects);
  const kit::Id firstKey = kit::as<JXDictionary>(objects->objectAtIndex(0))->keys().at(0);
  for (size_t i = 1; i < 3; ++i) EXPECT_EQ(kit::as<JXDictionary>(objects->objectAtIndex(i))->keys().at(0), firstKey);

  // Values of a failed parse (here one with text after its end) are not
  // handed out by later parses: equal values are made again.
  kit::Ref<kit::Error> error;
  std::string failing = R"(["only-in-the-failed-parse", 12345.5] trailing)";
  EXPECT_FALSE(decoder->objectWithUTF8String(failing.data(), failing.size(), &error));
  auto after = kit::as<JXArray>(parse(R"(["only-in-the-failed-parse", 12345.5, "xyz"])", decoder));
  ASSERT_TRUE(after);
  EXPECT_EQ(kit::describe(after->objectAtIndex(0)), "only-in-the-failed-parse");
  EXPECT_EQ(kit::as<kit::Number>(after->objectAtIndex(1))->doubleValue(), 12345.5);
  // A value from the successful parse is kept by the cache and shared.
  EXPECT_EQ(after->objectAtIndex(2), a->objectAtIndex(1));

  // Thousands of distinct numbers replace slot after slot; values equal to
  // a recent one are still the same object, and every value stays correct
  // after the document that made it is gone.
  std::string many = "[";
  for (int i = 0; i < 5000; ++i) many += std::to_string(i) + ".25,";
  many += "4999.25,4998.25]";
  kit::Id last;
  {
    auto numbers = kit::as<JXArray>(parse(many, decoder));
    ASSERT_TRUE(numbers);
    EXPECT_EQ(numbers->objectAtIndex(5000), numbers->objectAtIndex(4999));
    EXPECT_EQ(numbers->objectAtIndex(5001), numbers->objectAtIndex(4998));
    last = numbers->objectAtIndex(4999);
  }
  auto again = kit::as<JXArray>(parse("[4999.25]", decoder));
  EXPECT_EQ(again->objectAtIndex(0), last);
  EXPECT_EQ(kit::as<kit::Number>(last)->doubleValue(), 4999.25);
}

}  // namespace
