// The goods card as a player meets it: its buttons by the offer's state,
// the title pushing the description down, orders signed and placed with
// the game server and announced, and claims of coins and wheel spins.

#include <gtest/gtest.h>

#include "channel/core/nuva_data_format.h"
#include "channel/hall/nuva_infiniter_item.h"
#include "channel/hall/testing/hall_fixture.h"
#include "channel/store/nuva_store_order.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Ref<NUVAInfiniterModel> goods(const std::string& json) {
  return NUVAInfiniterModel::withValues(
      kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), 0));
}

class GoodsCard : public HallFixture {
 protected:
  template <typename Card>
  kit::Ref<Card> card(const std::string& json) {
    auto made = Card::init();
    made->setFrame({0, 0, 162, 260});
    made->setUserInfo(userInfo());
    made->setModel(goods(json));
    window->addSubview(made);
    return made;
  }
  kit::Ref<NUVAInfiniterItem> landscape(const std::string& json) { return card<NUVAInfiniterItem>(json); }
};

TEST_F(GoodsCard, ABoughtOfferShowsItsClaimButtonsByTheirFlags) {
  auto item = landscape(
      R"({"id":"5","title":"金币","money":"6","game_coin":"1000","welfare_nums":"3","super_welfare_nums":2,)"
      R"("is_buy":"1","is_coin":"1","is_welfare":0})");
  EXPECT_TRUE(item->buyBtn()->isHidden());
  EXPECT_FALSE(item->coinBtn()->isHidden());
  EXPECT_TRUE(shows(item->coinBtn()->backgroundImage(kit::ControlStateNormal), "rehallbtnalget"));
  EXPECT_FALSE(item->coinBtn()->isUserInteractionEnabled());
  EXPECT_FALSE(item->welfareBtn()->isHidden());
  EXPECT_TRUE(shows(item->welfareBtn()->backgroundImage(kit::ControlStateNormal), "rehallbtn"));
  EXPECT_TRUE(item->welfareBtn()->isUserInteractionEnabled());
  EXPECT_TRUE(item->superwelfareBtn()->isHidden());
  EXPECT_EQ(item->coinBtn()->currentTitle(), "领取1000");
  EXPECT_EQ(item->welfareBtn()->currentTitle(), "领取福利转盘×3");
  EXPECT_EQ(item->superwelfareBtn()->currentTitle(), "领取超级转盘×2");

  auto fresh = landscape(R"({"id":"6","title":"钻石","money":"30","is_buy":0})");
  EXPECT_FALSE(fresh->buyBtn()->isHidden());
  EXPECT_EQ(fresh->buyBtn()->currentTitle(), "30元购买");
  for (const auto& button : {fresh->coinBtn(), fresh->welfareBtn(), fresh->superwelfareBtn()}) {
    EXPECT_TRUE(button->isHidden());
  }
  auto odd = landscape(R"({"id":"7","is_buy":"2"})");
  for (const auto& button : {odd->buyBtn(), odd->coinBtn(), odd->welfareBtn(), odd->superwelfareBtn()}) {
    EXPECT_TRUE(button->isHidden());
  }
}

TEST_F(GoodsCard, ALongTitlePushesTheDescriptionDown) {
  auto shortTitle = landscape(R"({"id":"5","title":"金币","content":"说明","is_buy":"0"})");
  auto longTitle = landscape(
      R"({"id":"5","title":"金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币","content":"说明","is_buy":"0"})");
  const double h1 = shortTitle->title()->frame().height(), h2 = longTitle->title()->frame().height();
  EXPECT_GT(h2, h1 * 2);
  EXPECT_EQ(longTitle->title()->frame().minY(), 112);
  EXPECT_EQ(longTitle->contentLabel()->frame().minY(), 112 + h2 + 2);
  EXPECT_EQ(longTitle->contentLabel()->frame().width(), 98);

  auto portrait = card<NUVAVerInfiniterItem>(
      R"({"id":"5","title":"金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币金币","content":"说明","is_buy":"0"})");
  EXPECT_EQ(portrait->contentLabel()->frame().minY(), 103 + portrait->title()->frame().height());
  EXPECT_EQ(portrait->contentLabel()->frame().minX(), 25);
  EXPECT_EQ(portrait->backbg()->frame(), (kit::Rect{0, 0, 162, 244}));
}

TEST_F(GoodsCard, BuyingSignsTheOrderAndAnnouncesIt) {
  // The sign of the documented example: the five-digit random 12345.
  auto role = NUVAStoreOrder::roleOf(userInfo());
  auto form = NUVAStoreOrder::levelOrderForm(role, kit::str("5"), kit::str("12345"));
  EXPECT_EQ(kit::describe((*form)["sign"]), "fd37f0da5b3e91c71252b763e4d2b375");

  auto item = landscape(R"({"id":"5","title":"金币礼包","money":"6","is_buy":"0"})");
  ASSERT_TRUE(kit::test::tap(item->buyBtn()));
  ASSERT_TRUE(kit::test::tap(item->buyBtn()));
  ASSERT_TRUE(waitForOrders(2));
  auto sent = game.requestsTo("charge/resorder");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].fields.size(), 9u);
  EXPECT_EQ(sent[0].field("good_id"), "5");
  EXPECT_EQ(sent[0].field("role_id"), "r1");
  EXPECT_NE(sent[0].field("random") + sent[0].field("sign"), sent[1].field("random") + sent[1].field("sign"));
  auto order = ordersSoFar()[0];
  EXPECT_EQ(order.name, NUVAResourcePAYNotification);
  kit::Id object = order.object;
  EXPECT_EQ(kit::describe(object["good_name"]), "金币礼包");
  EXPECT_EQ(kit::describe(object["good_id"]), "5");
  EXPECT_EQ(kit::describe(object["money"]), "6");
  EXPECT_EQ(kit::describe(object["remark"]), "res|5");
  EXPECT_FALSE(NUVADataFormat::isBlankString(kit::describe(object["order_id"])));
}

TEST_F(GoodsCard, RefusedOrdersAndOrdersWithoutANumberAnnounceNothing) {
  auto item = landscape(R"({"id":"5","title":"金币","money":"6","is_buy":"0"})");
  game.queueReply("charge/resorder", R"({"status":"500","msg":"商品已下架"})");
  game.queueReply("charge/resorder", R"({"status":200,"msg":"无单号","data":{"order_id":" "}})");
  ASSERT_TRUE(kit::test::tap(item->buyBtn()));
  ASSERT_TRUE(waitForHUD(1));
  ASSERT_TRUE(kit::test::tap(item->buyBtn()));
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudSoFar()[0], "商品已下架");
  EXPECT_EQ(hudSoFar()[1], "无单号");
  EXPECT_TRUE(ordersSoFar().empty());

  // Goods the server did not number or price send nothing.
  for (const char* json : {R"({"title":"金币","money":"6","is_buy":"0"})", R"({"id":"9","title":"金币","is_buy":"0"})"}) {
    auto broken = landscape(json);
    broken->buyBtnClick();
  }
  drainMain();
  EXPECT_EQ(game.requestsTo("charge/resorder").size(), 2u);
}

TEST_F(GoodsCard, ClaimingSpinsMarksTheButtonAndReloadsTheWheel) {
  auto item = landscape(R"({"id":"5","title":"金币","is_buy":"1","is_coin":"0","is_welfare":"0","is_superwelfare":"0"})");
  int welfareReloads = 0, superReloads = 0;
  item->setWelfareBlock([&] { ++welfareReloads; });
  item->setSuperwelfareBlock([&] { ++superReloads; });

  ASSERT_TRUE(kit::test::tap(item->welfareBtn()));
  ASSERT_TRUE(waitForRequests("infiniteres/getwelfare", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return welfareReloads == 1; }));
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfare")[0].query, "game_id=1001&role_id=r1&server_id=3&good_id=5");
  EXPECT_TRUE(shows(item->welfareBtn()->backgroundImage(kit::ControlStateNormal), "rehallbtnalget"));
  EXPECT_FALSE(item->welfareBtn()->isUserInteractionEnabled());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar()[0], "领取成功");
  EXPECT_EQ(superReloads, 0);

  // A refused claim shows the server's words and leaves the button usable.
  game.queueReply("infiniteres/getsuperwelfare", R"({"status":"500","msg":"领取失败"})");
  // (The success message lies over the card: the button's action is
  // called directly.)
  item->superwelfareBtnClick();
  ASSERT_TRUE(waitForRequests("infiniteres/getsuperwelfare", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { auto shown = hudSoFar();
    return !shown.empty() && shown.back() == "领取失败";
  }));
  EXPECT_TRUE(item->superwelfareBtn()->isUserInteractionEnabled());
  EXPECT_TRUE(shows(item->superwelfareBtn()->backgroundImage(kit::ControlStateNormal), "rehallbtn"));
  EXPECT_EQ(superReloads, 0);

  item->coinBtnClick();
  ASSERT_TRUE(waitForRequests("infiniteres/getcoin", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return !item->coinBtn()->isUserInteractionEnabled(); }));
  EXPECT_EQ(game.goodsClaims(), (std::vector<std::string>{"welfare|5", "coin|5"}));
}

}  // namespace
