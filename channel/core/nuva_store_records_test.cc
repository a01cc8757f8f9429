// The store records fill from server objects as the store and the core
// read them: "id" becomes categoryid, unknown keys are ignored, values stay
// as sent, and the model mapper finds the same key.

#include "channel/core/nuva_store_records.h"

#include <gtest/gtest.h>

#include "channel/core/nuva_data_format.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"

namespace {

kit::Ref<kit::Dictionary> json(const std::string& text) {
  return kit::as<kit::Dictionary>(NUVADataFormat::dictionaryWithJsonString(kit::str(text)));
}

TEST(NUVAStoreRecords, GiftRecordsTakeIdAsCategoryAndIgnoreUnknownKeys) {
  auto gm = NUVAGMModel::make();
  gm->setValuesForKeysWithDictionary(
      json(R"({"id":12,"gm_id":"3","gift_name":"礼包","status":"0","shiny":true,"gm_name":"GM1"})"));
  EXPECT_EQ(kit::describe(gm->categoryid()), "12");
  EXPECT_EQ(kit::describe(gm->gm_id()), "3");
  EXPECT_EQ(kit::describe(gm->gift_name()), "礼包");
  EXPECT_EQ(kit::describe(gm->status()), "0");
  EXPECT_EQ(kit::describe(gm->valueForKey("shiny")), "(null)");

  auto vip = NUVAVIPModel::make();
  vip->setValuesForKeysWithDictionary(json(R"({"id":"7","vip_level":"2","status":"1","extra":[1]})"));
  EXPECT_EQ(kit::describe(vip->categoryid()), "7");
  EXPECT_EQ(kit::describe(vip->vip_level()), "2");
  EXPECT_EQ(kit::describe(vip->status()), "1");
  EXPECT_EQ(kit::describe(vip->valueForKey("categoryid")), "7");
}

TEST(NUVAStoreRecords, RewardItemKeepsValuesAsSentAndCopiesMutableText) {
  auto item = NUVAFixedGiftModel::withValues(
      json(R"({"mid":"9","name":"金币","amount":100,"icon":"https://x/i.png","id":"ignored"})"));
  EXPECT_EQ(kit::formatString("%@*%@", item->name(), item->amount()), "金币*100");
  EXPECT_EQ(kit::describe(item->mid()), "9");
  EXPECT_EQ(kit::describe(item->icon()), "https://x/i.png");

  auto name = kit::MutableString::make("Gem");
  item->setName(name);
  name->appendString("s");
  EXPECT_NE(item->name(), kit::Id(name));
  EXPECT_EQ(kit::describe(item->name()), "Gem");

  // Anything but a dictionary gives an empty record.
  auto empty = NUVAFixedGiftModel::withValues(kit::str("not an object"));
  EXPECT_FALSE(empty->name());
}

TEST(NUVAStoreRecords, ModelMapperMapsCategoryIdToTheIdKey) {
  auto gm = mx_objectWithKeyValues<NUVAGMModel>(kit::str(R"({"id":"12","gift_id":"5"})"));
  ASSERT_TRUE(gm);
  EXPECT_EQ(kit::describe(gm->categoryid()), "12");
  EXPECT_EQ(kit::describe(gm->gift_id()), "5");
}

}  // namespace
