// The store's records and the pure parts of its orders: items and packs
// filled from server objects (unknown keys ignored, missing keys nil,
// values as sent), the remark with its padding, the order signatures, and
// what an order answer confirms.

#include <gtest/gtest.h>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_level_store_controller.h"
#include "channel/store/nuva_store_order.h"
#include "channel/store/nuva_store_pack_records.h"
#include "channel/store/nuva_store_replies.h"
#include "kit/foundation/values.h"

namespace {

kit::Id json(const std::string& text) { return NUVADataFormat::dictionaryWithJsonString(kit::str(text)); }

std::string show(const kit::Id& value) { return kit::describe(value); }

TEST(StoreRecords, ItemsAndPacksTakeTheirKeysIgnoreOthersAndLeaveMissingOnesNil) {
  auto item = NUVAFixedGiftModel::withValues(
      json(R"({"mid":"5","amount":"10","name":"金币","bind":"1","type":"2","icon":"http://x/i.png","shiny":true})"));
  EXPECT_EQ(show(item->mid()) + show(item->amount()) + show(item->name()) + show(item->bind()) + show(item->type()) +
                show(item->icon()),
            "510金币12http://x/i.png");
  auto partial = NUVAFixedGiftModel::withValues(json(R"({"name":"体力"})"));
  EXPECT_FALSE(partial->mid());
  EXPECT_FALSE(partial->icon());

  auto pack = NUVATimeStoreModel::withValues(json(
      R"({"good_id":12,"gift_name":"礼包","gift_money":"30","is_all_fixed":"1","is_buy":0,"optional_num":"2",)"
      R"("fixed_gift":[{"mid":"31"}],"optional_gift":[{"mid":"40"},{"mid":"41"}],"extra":{"a":1}})"));
  EXPECT_EQ(show(pack->good_id()), "12");
  EXPECT_TRUE(pack->isCustomPack());
  EXPECT_FALSE(pack->isBought());  // the number 0
  EXPECT_EQ(pack->optionalCount(), 2);
  EXPECT_EQ(pack->fixedItems()->count(), 1u);
  EXPECT_EQ(pack->optionalItems()->count(), 2u);

  // is_all_fixed is compared as text: the number 1 is neither kind.
  auto numeric = NUVATimeStoreModel::withValues(json(R"({"is_all_fixed":1,"is_buy":1,"fixed_gift":"x"})"));
  EXPECT_FALSE(numeric->isCustomPack());
  EXPECT_FALSE(numeric->isFixedPack());
  EXPECT_TRUE(numeric->isBought());  // is_buy after "%@"
  EXPECT_EQ(numeric->fixedItems()->count(), 0u);
  EXPECT_EQ(numeric->optionalCount(), 0);

  auto level = NUVALevelModel::withValues(
      json(R"({"good_id":"7","good_name":"15级礼包","is_buy":"0","items":"[{\"name\":\"金币\"}]","lost_time":3,)"
           R"("money":"6","unknown":null})"));
  EXPECT_TRUE(level->isOnSale());
  EXPECT_EQ(level->itemList()->count(), 1u);
  EXPECT_EQ(show(level->lost_time()), "3");
  for (const char* items : {R"("{\"a\":1}")", R"("not json")", "[1,2]", "null"}) {
    auto odd = NUVALevelModel::withValues(json(std::string(R"({"items":)") + items + "}"));
    EXPECT_EQ(odd->itemList()->count(), 0u) << items;  // only a text holding an array gives items
  }
}

TEST(StoreOrders, RemarksArePaddedToFiveFieldsAndNeverCut) {
  EXPECT_EQ(show(NUVAStoreOrder::remarkOf(kit::str("7"), {kit::str("5")})), "7|5|0|0|0");
  EXPECT_EQ(show(NUVAStoreOrder::remarkOf(kit::str("12"), {kit::str("31"), kit::str("32"), kit::str("40")})),
            "12|31|32|40|0");
  EXPECT_EQ(show(NUVAStoreOrder::remarkOf(kit::str("12"), {})), "12|0|0|0|0");
  EXPECT_EQ(show(NUVAStoreOrder::remarkOf(kit::num(9), {kit::str("1"), kit::str("2"), kit::str("3"), kit::str("4"),
                                                        kit::str("5")})),
            "9|1|2|3|4|5");
  EXPECT_EQ(show(NUVAStoreOrder::remarkOf(kit::str("3"), {nullptr})), "3|(null)|0|0|0");
}

TEST(StoreOrders, PackAndLevelOrdersAreSignedWithTheirFieldsAndTheKey) {
  auto role = NUVAStoreOrder::roleOf(kit::str(R"({"super_user_id":"99","game_id":1001,"service_id":"3",)"
                                              R"("super_role_id":"r1","service_name":"青龙","role_name":"凌霄"})"));
  auto gift = NUVAStoreOrder::giftOrderForm(role, kit::str("7"), kit::str("7|5|0|0|0"), kit::str("12345"));
  EXPECT_EQ(show((*gift)["sign"]), "45fc5f5e73df815e93c948de7aa4d5d6");
  EXPECT_EQ(gift->count(), 10u);
  EXPECT_EQ(show((*gift)["role_id"]), "r1");
  EXPECT_EQ(show((*gift)["game_id"]), "1001");
  EXPECT_EQ(show((*gift)["role_name"]), "凌霄");

  auto level = NUVAStoreOrder::levelOrderForm(role, kit::str("7"), kit::str("12345"));
  EXPECT_EQ(show((*level)["sign"]), "0f4cce47738b460907ac08f1d5293fba");
  EXPECT_EQ(level->count(), 9u);
  EXPECT_FALSE((*level)["remark"]);

  // A description that is no JSON object signs and sends "(null)" texts.
  auto none = NUVAStoreOrder::roleOf(kit::str("[1]"));
  EXPECT_EQ(show(none.super_user_id), "(null)");
}

TEST(StoreOrders, AnAnswerMakesAnOrderOnlyWithStatus200AndAnOrderId) {
  NUVAStoreOrder::Goods goods{kit::str("礼包"), kit::str("7"), kit::str("6")};
  auto order = NUVAStoreOrder::orderOf(json(R"({"status":200,"data":{"order_id":88,"remark":"r"}})"), goods);
  ASSERT_TRUE(order);
  EXPECT_EQ(show(*order), show(kit::dict({{"good_name", "礼包"}, {"good_id", "7"}, {"order_id", "88"},
                                          {"remark", "r"}, {"money", "6"}})));

  auto refused = NUVAStoreOrder::orderOf(json(R"({"status":"500","msg":"库存不足"})"), goods);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error()->code(), NUVAStoreOrder::Refused);
  EXPECT_EQ(refused.error()->localizedDescription(), "库存不足");
  // An answer that is no JSON, or a refusal without "msg", reads as a
  // failed request.
  EXPECT_EQ(NUVAStoreOrder::orderOf(nullptr, goods).error()->localizedDescription(),
            NUVANetworkManager::unknownErrorText()->utf8());
  EXPECT_EQ(NUVAStoreOrder::orderOf(json(R"({"status":"500","msg":null})"), goods).error()->localizedDescription(),
            NUVANetworkManager::unknownErrorText()->utf8());

  for (const char* data : {R"({})", R"({"order_id":""})", R"({"order_id":null})", R"({"order_id":"  "})", R"({"order_id":"NULL"})",
                           R"({"order_id":{}})", R"({"order_id":{"a":1}})", R"({"order_id":[7]})"}) {
    auto unnumbered =
        NUVAStoreOrder::orderOf(json(std::string(R"({"status":"200","msg":"ok","data":)") + data + "}"), goods);
    ASSERT_FALSE(unnumbered) << data;
    EXPECT_EQ(unnumbered.error()->code(), NUVAStoreOrder::NoOrderId);
    EXPECT_EQ(unnumbered.error()->localizedDescription(), "ok");
  }
}

TEST(StoreOrders, LevelTimesReadHoursMinutesAndSeconds) {
  auto hms = [](const char* seconds) { return show(NUVALevelTableController::getMMSSFromSS(kit::str(seconds))); };
  EXPECT_EQ(hms("0"), "00:00:00");
  EXPECT_EQ(hms("59"), "00:00:59");
  EXPECT_EQ(hms("3600"), "01:00:00");
  EXPECT_EQ(hms("3725.000000"), "01:02:05");
  EXPECT_EQ(hms("360000"), "100:00:00");
  EXPECT_EQ(show(NUVALevelTableController::getMMSSFromSS(nullptr)), "00:00:00");
}

TEST(StoreReplies, OnlyA200AnswerWithDataOrATimeObjectCounts) {
  auto packs = NUVAStoreReplies::timeStorePacks(
      json(R"({"status":200,"data":{"gift_no_name":"一期","notice_content":null,"list":[{"good_id":"1"}]}})"));
  ASSERT_TRUE(packs);
  EXPECT_EQ(show(packs->name), "一期");
  EXPECT_EQ(show(packs->notice), "");  // null shows nothing
  EXPECT_EQ(packs->list->count(), 1u);
  for (const char* refused : {R"({"status":"500","data":{"list":[]}})", R"({"status":"200","data":{}})",
                              R"({"status":"200","data":[]})", R"({"status":"200"})", "[]"}) {
    EXPECT_FALSE(NUVAStoreReplies::timeStorePacks(json(refused))) << refused;
    EXPECT_FALSE(NUVAStoreReplies::levelStorePacks(json(refused))) << refused;
  }
  auto level = NUVAStoreReplies::levelStorePacks(json(R"({"status":"200","data":{"notice_content":7,"list":"x"}})"));
  ASSERT_TRUE(level);
  EXPECT_EQ(show(level->notice), "7");
  EXPECT_EQ(level->list->count(), 0u);  // a list that is no list is empty

  EXPECT_EQ(NUVAStoreReplies::refreshSeconds(json(R"({"status":"200","time":{"time_shop_refresh":59.9}})")), 59.9);
  EXPECT_EQ(NUVAStoreReplies::refreshSeconds(json(R"({"status":"200","time":{"luck_time":"3"}})")), 0);
  EXPECT_EQ(NUVAStoreReplies::refreshSeconds(json(R"({"status":"200","time":{"time_shop_refresh":"1e999"}})")), 0);
  EXPECT_FALSE(NUVAStoreReplies::refreshSeconds(json(R"({"status":"200","time":{}})")));
  EXPECT_FALSE(NUVAStoreReplies::refreshSeconds(json(R"({"status":"200","time":"60"})")));
  EXPECT_FALSE(NUVAStoreReplies::refreshSeconds(json(R"({"status":"404","time":{"time_shop_refresh":"60"}})")));
}

}  // namespace
