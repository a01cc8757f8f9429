// The JSON text operations on strings, data, arrays and dictionaries, as the
// page bridge uses them, including calls from many threads at once.

#include "data/json/json_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "data/json/jx_array.h"
#include "data/json/jx_constants.h"
#include "data/json/jx_dictionary.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/values.h"

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(JSONText, PageMessagesParseWithLooseUnicode) {
  auto message = kit::str(R"({"action":"login","data":{"n":"\ud800","z":"\u0000","ok":"\u4e2d"}})");
  kit::Id parsed = objectFromJSONStringWithParseOptions(*message, JXParseOptionLooseUnicode);
  ASSERT_TRUE(kit::isKind<JXDictionary>(parsed));
  EXPECT_EQ(kit::describe(parsed["action"]), "login");
  EXPECT_EQ(kit::describe(parsed["data"]["n"]), kReplacement);
  EXPECT_EQ(kit::describe(parsed["data"]["z"]), kReplacement);
  EXPECT_EQ(kit::describe(parsed["data"]["ok"]), "\xE4\xB8\xAD");

  kit::Ref<kit::Error> error;
  EXPECT_FALSE(objectFromJSONStringWithParseOptions(*message, 0, &error));
  EXPECT_EQ(error->localizedDescription(),
            "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.");
  EXPECT_FALSE(objectFromJSONString(*message));

  // U+2028 inside a string value is ordinary text.
  auto separator = kit::str("{\"t\":\"a\xE2\x80\xA8z\"}");
  EXPECT_EQ(kit::describe(objectFromJSONString(*separator)["t"]), "a\xE2\x80\xA8z");
}

TEST(JSONText, ParsesStringsAndDataIntoImmutableOrMutableContainers) {
  auto text = kit::str(R"({"list":[1,2],"name":"x"})");
  auto fixed = kit::as<JXDictionary>(objectFromJSONString(*text));
  ASSERT_TRUE(fixed);
  EXPECT_FALSE(fixed->isMutable());
  auto changeable = kit::as<JXDictionary>(mutableObjectFromJSONString(*text));
  ASSERT_TRUE(changeable);
  EXPECT_TRUE(changeable->isMutable());
  kit::as<JXArray>(changeable->objectForKey("list"))->addObject(kit::num(3));
  EXPECT_EQ(JSONString(*changeable)->utf8().find("[1,2,3]") != std::string::npos, true);
  EXPECT_TRUE(kit::as<JXDictionary>(mutableObjectFromJSONStringWithParseOptions(*text, 0))->isMutable());

  auto data = kit::Data::make(std::string_view("[1] // note"));
  EXPECT_FALSE(objectFromJSONData(*data));
  EXPECT_TRUE(objectFromJSONDataWithParseOptions(*data, JXParseOptionComments));
  kit::Ref<kit::Error> error;
  auto mutableList = kit::as<JXArray>(mutableObjectFromJSONDataWithParseOptions(*data, JXParseOptionComments, &error));
  ASSERT_TRUE(mutableList);
  EXPECT_TRUE(mutableList->isMutable());
  EXPECT_TRUE(kit::as<JXArray>(mutableObjectFromJSONData(*kit::Data::make(std::string_view("[]")))));

  // Empty text fails with an error, never with an exception.
  EXPECT_FALSE(objectFromJSONStringWithParseOptions(*kit::str(""), 0, &error));
  EXPECT_EQ(error->localizedDescription(), "Reached the end of the buffer.");
  EXPECT_FALSE(mutableObjectFromJSONDataWithParseOptions(*kit::Data::make(), 0, &error));
  EXPECT_EQ(error->localizedDescription(), "Reached the end of the buffer.");

  EXPECT_THROW(objectFromJSONStringWithParseOptions(*text, 16), kit::Exception);
  EXPECT_THROW(objectFromJSONDataWithParseOptions(*data, 32), kit::Exception);

  // An unpaired surrogate in the text reads as "?".
  auto lone = kit::String::fromUTF16(u"[\"a\xDC00z\"]");
  EXPECT_EQ(kit::describe(objectFromJSONString(*lone)[0]), "a?z");
}

TEST(JSONText, WritesStringsAsJSONValues) {
  auto s = kit::str("say \"hi\"/\t\xC3\xA9");
  EXPECT_EQ(JSONString(*s)->utf8(), "\"say \\\"hi\\\"/\\t\xC3\xA9\"");
  kit::Ref<kit::Error> error;
  EXPECT_EQ(JSONStringWithOptions(*s, JXSerializeOptionEscapeUnicode | JXSerializeOptionEscapeForwardSlashes, false,
                                  &error)
                ->utf8(),
            "say \\\"hi\\\"\\/\\t\\u00e9");
  EXPECT_EQ(JSONData(*s)->toString(), JSONString(*s)->utf8());
  EXPECT_EQ(JSONDataWithOptions(*s, 0, false, &error)->toString(), "say \\\"hi\\\"/\\t\xC3\xA9");
}

// An array kind of the product's own, as a class may be a kind of array.
class Pair final : public kit::Array {
 public:
  size_t count() const override { return 2; }
  kit::Id objectAtIndex(size_t index) const override { return index == 0 ? kit::Id(kit::str("x")) : kit::Id(kit::num(2)); }
};

TEST(JSONText, ReceiversNeedNotLiveInASharedReference) {
  // Values on the stack or inside other objects are written and parsed
  // like shared ones.
  const kit::String onStack("say \"hi\"");
  EXPECT_EQ(JSONString(onStack)->utf8(), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(JSONDataWithOptions(onStack, 0, false, nullptr)->toString(), "say \\\"hi\\\"");
  const Pair pair;
  EXPECT_EQ(JSONString(pair)->utf8(), R"(["x",2])");
  EXPECT_EQ(JSONData(pair)->toString(), R"(["x",2])");
  const kit::Data text(std::vector<uint8_t>{'[', '7', ']'});
  EXPECT_EQ(kit::describe(objectFromJSONData(text)[0]), "7");
  EXPECT_TRUE(kit::as<JXArray>(mutableObjectFromJSONData(text))->isMutable());
  EXPECT_FALSE(objectFromJSONData(kit::Data()));
}

TEST(JSONText, WritesArraysAndDictionaries) {
  auto answer = kit::dict({{"action", "loginNotify"}, {"data", kit::dict({{"code", 1}, {"msg", "ok"}})}});
  EXPECT_EQ(JSONString(*answer)->utf8(), R"({"action":"loginNotify","data":{"code":1,"msg":"ok"}})");
  EXPECT_EQ(JSONData(*answer)->toString(), JSONString(*answer)->utf8());
  kit::Ref<kit::Error> error;
  EXPECT_EQ(JSONStringWithOptions(*answer, JXSerializeOptionPretty, &error)->utf8(),
            "{\n  \"action\": \"loginNotify\",\n  \"data\": {\n    \"code\": 1,\n    \"msg\": \"ok\"\n  }\n}");
  EXPECT_EQ(JSONDataWithOptions(*kit::array({1, "a"}), 0, &error)->toString(), R"([1,"a"])");
  EXPECT_EQ(JSONString(*kit::array({1, "a"}))->utf8(), R"([1,"a"])");

  // A parsed dictionary writes its pairs in its own (table) order.
  auto parsed = kit::as<JXDictionary>(objectFromJSONString(*kit::str(R"({"b":1,"a":2,"c":3})")));
  std::string expected = "{";
  for (const kit::Id& key : parsed->keys()) {
    expected += (expected.size() > 1 ? "," : "") + ("\"" + kit::describe(key) + "\":") +
                kit::describe(parsed->objectForKey(key));
  }
  EXPECT_EQ(JSONString(*parsed)->utf8(), expected + "}");

  auto bad = kit::array({std::nan("")});
  EXPECT_FALSE(JSONStringWithOptions(*bad, 0, &error));
  EXPECT_EQ(error->domain(), JXErrorDomain);
  EXPECT_FALSE(JSONData(*bad));
}

TEST(JSONText, ManyThreadsParseAndWriteAtOnce) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < kRounds; ++round) {
        std::string text = "{\"thread\":" + std::to_string(t) + ",\"round\":" + std::to_string(round) +
                           ",\"name\":\"worker-" + std::to_string(t) + "\",\"list\":[" + std::to_string(round * t) +
                           ",1.5,true,null,\"\\u00e9\"]}";
        kit::Id value = objectFromJSONString(*kit::str(text));
        if (!value || kit::describe(value["thread"]) != std::to_string(t) ||
            kit::describe(value["round"]) != std::to_string(round)) {
          ++failures[t];
          continue;
        }
        auto written = JSONString(*kit::as<kit::Dictionary>(value));
        kit::Id again = written ? objectFromJSONString(*written) : nullptr;
        if (!again || !kit::isEqual(again, value)) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
