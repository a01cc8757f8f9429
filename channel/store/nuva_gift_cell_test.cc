// The time store's pack rows as a player uses them: the tiles of fixed and
// custom packs in both forms, the badge and the buy button's states,
// choosing items through the chooser, and buying against the simulated game
// server: remarks, signatures, the order notification, and every refusal.

#include <gtest/gtest.h>

#include <cmath>

#include "channel/core/nuva_data_format.h"
#include "channel/store/nuva_gift_cell.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/screen.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Id json(const std::string& text) { return NUVADataFormat::dictionaryWithJsonString(kit::str(text)); }

kit::Ref<NUVATimeStoreModel> pack(const std::string& text) { return NUVATimeStoreModel::withValues(json(text)); }

std::string item(const char* mid, const char* name) {
  return std::string(R"({"mid":")") + mid + R"(","name":")" + name + R"(","amount":"1"})";
}

// A custom pack: fixed items 31 and 32, optional 40, 41, 42, two to choose.
const std::string kCustom =
    R"({"good_id":"12","gift_name":"定制礼包","gift_money":"30","is_all_fixed":"1","is_buy":"0","optional_num":"2",)"
    R"("fixed_gift":[)" + item("31", "金币") + "," + item("32", "体力") + R"(],"optional_gift":[)" +
    item("40", "钻石") + "," + item("41", "经验书") + "," + item("42", "强化石") + "]}";
// A fixed pack 7 with the one item 5.
const std::string kFixed =
    R"({"good_id":"7","gift_name":"超值礼包","gift_money":"6","is_all_fixed":"2","is_buy":"0","optional_num":"0",)"
    R"("fixed_gift":[)" + item("5", "金币") + R"(],"optional_gift":[]})";

bool near(const kit::Rect& a, const kit::Rect& b) {
  return std::abs(a.minX() - b.minX()) < 0.01 && std::abs(a.minY() - b.minY()) < 0.01 &&
         std::abs(a.width() - b.width()) < 0.01 && std::abs(a.height() - b.height()) < 0.01;
}

class PackRow : public StoreFixture {
 protected:
  // A landscape row as the table sizes it, on the window.
  template <class Row = NUVAGiftCell>
  kit::Ref<NUVAGiftRow> row(const std::string& packJSON) {
    auto made = Row::make(kit::TableViewCellStyle::Default, "cell{length = 2, path = 0 - 0}");
    const double height = kit::Screen::main()->bounds().height() > kit::Screen::main()->bounds().width()
                              ? 80
                              : (kit::Screen::main()->bounds().height() - 170) / 4;
    made->setFrame({20, 40, kit::Screen::main()->bounds().width() - 120, height});
    window->addSubview(made);
    made->setUserInfo(userInfo());
    made->setModel(pack(packJSON));
    window->layoutIfNeeded();
    return made;
  }

  // Buys and waits for the order the server accepted.
  kit::Id buy(const kit::Ref<NUVAGiftRow>& pack) {
    size_t before = ordersSoFar().size();
    EXPECT_TRUE(kit::test::tap(pack->buyBtn()));
    if (!waitForOrders(before + 1)) return nullptr;
    return ordersSoFar().back().object;
  }
  std::string lastRemark() {
    auto sent = game.requestsTo("charge/order");
    return sent.empty() ? "" : sent.back().field("remark");
  }

  // Chooses the offered item `index` for a slot through the chooser.
  void choose(const kit::Ref<NUVAGiftRow>& pack, size_t slot, size_t index) {
    ASSERT_TRUE(kit::test::tap(slotTile(pack, slot)));
    ASSERT_TRUE(pack->alert() && pack->alert()->isOpen());
    window->layoutIfNeeded();
    ASSERT_LT(index, pack->alert()->tiles().size());
    ASSERT_TRUE(kit::test::tap(pack->alert()->tiles()[index]));
  }
  kit::Ref<NUVAFixBtn> slotTile(const kit::Ref<NUVAGiftRow>& pack, size_t slot) {
    size_t fixed = pack->model()->fixedItems()->count();
    return pack->tiles()[fixed + slot];
  }
  static std::vector<std::string> mids(const kit::Ref<kit::MutableArray>& list) {
    std::vector<std::string> out;
    for (const kit::Id& entry : *list) out.push_back(kit::describe(kit::as<NUVAFixedGiftModel>(entry)->mid()));
    return out;
  }
};

TEST_F(PackRow, ACustomPackShowsFixedItemsAPlusSignAndItsSlots) {
  auto custom = row(kCustom);
  const double H = (375 - 170) / 4.0 - 4;
  EXPECT_TRUE(near(custom->fixView()->frame(), {98, 2, 667 - 180 - 98, H}));
  ASSERT_EQ(custom->tiles().size(), 4u);
  EXPECT_TRUE(near(custom->tiles()[0]->frame(), {30, 0, H, H}));
  EXPECT_TRUE(near(custom->tiles()[1]->frame(), {H + 60, 0, H, H}));
  EXPECT_TRUE(near(custom->tiles()[2]->frame(), {(H + 30) * 2 + 60, 0, H, H}));
  EXPECT_TRUE(near(custom->tiles()[3]->frame(), {(H + 30) * 3 + 60, 0, H, H}));
  EXPECT_EQ(custom->tiles()[1]->name()->text(), "体力");
  EXPECT_TRUE(custom->tiles()[2]->name()->isHidden());  // an empty slot
  ASSERT_TRUE(custom->showPlus() && custom->plusImage());
  EXPECT_TRUE(near(custom->plusImage()->frame(), {custom->tiles()[1]->frame().maxX() + 20, (H - 20) / 2, 20, 20}));
  EXPECT_FALSE(custom->fixImage()->isHidden());
  EXPECT_TRUE(near(custom->nameLabel()->frame(), {5, 2, 80, 30}));
  EXPECT_EQ(custom->nameLabel()->text(), "定制礼包");
  EXPECT_TRUE(custom->buyBtn()->isUserInteractionEnabled());
  // "tobuy" is the accent's green.
  const kit::Rect button = kit::test::frameInWindow(*custom->buyBtn());
  auto pixel = kit::render(*window, 1)->pixelAt(static_cast<size_t>(button.minX() + 8),
                                                static_cast<size_t>(button.midY()));
  EXPECT_GT(pixel.g, pixel.r + 80);
  picture("pack_row_custom");

  // A server asking for a hundred thousand choices gets a bounded row.
  auto greedy = row(R"({"good_id":"19","is_all_fixed":"1","optional_num":"100000"})");
  EXPECT_EQ(greedy->tiles().size(), static_cast<size_t>(NUVAGiftRow::kMaxSlots));

  // Without fixed items: no plus sign, and the first slot still 60 in.
  auto bare = row(R"({"good_id":"13","is_all_fixed":"1","optional_num":"1","optional_gift":[)" + item("40", "钻石") +
                  "]}");
  ASSERT_EQ(bare->tiles().size(), 1u);
  EXPECT_FALSE(bare->showPlus());
  EXPECT_FALSE(bare->plusImage());
  EXPECT_EQ(bare->tiles()[0]->frame().minX(), 60);
}

TEST_F(PackRow, AFixedPackShowsItsFixedItemsAndTheFirstOptionalOnesWithoutABadge) {
  auto fixed = row(R"({"good_id":"9","gift_name":"超值","is_all_fixed":"2","is_buy":"1","optional_num":"1",)"
                   R"("fixed_gift":[)" + item("5", "金币") + R"(],"optional_gift":[)" + item("6", "钻石") + "," +
                   item("7", "体力") + "]}");
  ASSERT_EQ(fixed->tiles().size(), 2u);
  EXPECT_EQ(fixed->tiles()[1]->name()->text(), "钻石");
  EXPECT_EQ(mids(fixed->fixDataArray()), (std::vector<std::string>{"5", "6"}));
  EXPECT_TRUE(fixed->fixImage()->isHidden());
  EXPECT_TRUE(near(fixed->nameLabel()->frame(), {5, 10, 80, 30}));
  // Bought: "giftget" (grey), and the button takes no touches.
  const kit::Rect button = kit::test::frameInWindow(*fixed->buyBtn());
  auto pixel = kit::render(*window, 1)->pixelAt(static_cast<size_t>(button.minX() + 8),
                                                static_cast<size_t>(button.midY()));
  EXPECT_NEAR(pixel.r, pixel.g, 12);
  EXPECT_NEAR(pixel.g, pixel.b, 12);
  EXPECT_GT(pixel.r, 120);
  EXPECT_FALSE(fixed->buyBtn()->isUserInteractionEnabled());
  kit::test::tap(fixed->buyBtn());
  drainMain();
  EXPECT_TRUE(game.requestsTo("charge/order").empty());

  // "is_all_fixed" as the number 1 is no kind of pack: no tiles.
  auto numeric = row(R"({"good_id":"10","is_all_fixed":1,"optional_num":"1","fixed_gift":[)" + item("5", "金币") +
                     "]}");
  EXPECT_TRUE(numeric->tiles().empty());
  EXPECT_FALSE(numeric->fixImage()->isHidden());
}

using PortraitPackRow = StoreFixture;

TEST_F(PortraitPackRow, PortraitRowsUseTheirOwnMeasures) {
  kit::DeviceProfileScope portrait{kit::DeviceProfile::phone375x667()};
  auto made = NUVAVerticalGiftCell::make(kit::TableViewCellStyle::Default, "cell");
  made->setFrame({0, 0, 295, 80});
  window->addSubview(made);
  made->setModel(pack(kCustom));
  const double H = 35;
  EXPECT_TRUE(near(made->fixView()->frame(), {68, 8, 375 - 50 - 68, H}));
  EXPECT_TRUE(near(made->buyBtn()->frame(), {90, 50, 70, 25}));
  ASSERT_EQ(made->tiles().size(), 4u);
  EXPECT_TRUE(near(made->tiles()[1]->frame(), {H + 10, 0, H, H}));
  EXPECT_TRUE(near(made->tiles()[2]->frame(), {(H + 5) * 2 + 25, 0, H, H}));
  EXPECT_TRUE(near(made->plusImage()->frame(), {made->tiles()[1]->frame().maxX() + 5, (H - 20) / 2, 15, 15}));
  EXPECT_TRUE(near(made->nameLabel()->frame(), {0, 5, 60, 30}));
  EXPECT_EQ(made->nameLabel()->textAlignment(), kit::TextAlignment::Center);

  auto bare = NUVAVerticalGiftCell::make(kit::TableViewCellStyle::Default, "cell");
  bare->setModel(pack(R"({"is_all_fixed":"1","optional_num":"1"})"));
  ASSERT_EQ(bare->tiles().size(), 1u);
  EXPECT_EQ(bare->tiles()[0]->frame().minX(), 25);
}

TEST_F(PackRow, ChoicesFillSlotsAndGiveBackWhatTheyReplace) {
  auto custom = row(kCustom);
  choose(custom, 0, 0);  // A (40) into slot 1
  EXPECT_EQ(mids(custom->chooseModelArray()), (std::vector<std::string>{"40"}));
  EXPECT_EQ(mids(custom->giftModelArray()), (std::vector<std::string>{"41", "42"}));
  EXPECT_EQ(slotTile(custom, 0)->name()->text(), "钻石");
  choose(custom, 1, 0);  // B (41) into slot 2
  choose(custom, 0, 0);  // C (42) into slot 1: A comes back, last
  EXPECT_EQ(mids(custom->chooseModelArray()), (std::vector<std::string>{"41", "42"}));
  EXPECT_EQ(mids(custom->giftModelArray()), (std::vector<std::string>{"40"}));
  // The chooser offers the row's own records.
  ASSERT_TRUE(kit::test::tap(slotTile(custom, 1)));
  window->layoutIfNeeded();
  ASSERT_EQ(custom->alert()->tiles().size(), 1u);
  EXPECT_EQ(custom->alert()->tiles()[0]->model(), custom->giftModelArray()->objectAtIndex(0));
  ASSERT_TRUE(kit::test::tapAt(*window, {10, 10}));  // the cover, beside the chooser
  EXPECT_FALSE(custom->alert()->isOpen());

  // The remark lists the fixed items, then the choices in order of choice.
  auto order = buy(custom);
  ASSERT_TRUE(order);
  EXPECT_EQ(lastRemark(), "12|31|32|41|42");

  // Every optional item in a slot: a filled slot opens an empty chooser,
  // whose cover is the way out.
  auto two = row(R"({"good_id":"14","is_all_fixed":"1","optional_num":"2","optional_gift":[)" + item("40", "钻石") +
                 "," + item("41", "经验书") + "]}");
  choose(two, 0, 0);
  choose(two, 1, 0);
  ASSERT_TRUE(kit::test::tap(slotTile(two, 0)));
  window->layoutIfNeeded();
  EXPECT_TRUE(two->alert()->isOpen());
  EXPECT_TRUE(two->alert()->tiles().empty());
  EXPECT_EQ(two->alert()->frame().size, (kit::Size{165, 100}));
  ASSERT_TRUE(kit::test::tapAt(*window, {10, 10}));
  EXPECT_FALSE(two->alert()->isOpen());
  EXPECT_EQ(mids(two->chooseModelArray()), (std::vector<std::string>{"40", "41"}));
}

TEST_F(PackRow, ItemsWithoutAnIdAreGivenBackWhenTheirSlotIsChosenAgain) {
  auto custom =
      row(R"({"good_id":"15","is_all_fixed":"1","optional_num":"1","optional_gift":[{"name":"甲"},{"name":"乙"}]})");
  choose(custom, 0, 0);
  choose(custom, 0, 0);  // 乙 replaces 甲, which has no id
  ASSERT_EQ(custom->chooseModelArray()->count(), 1u);
  EXPECT_EQ(kit::describe(kit::as<NUVAFixedGiftModel>(custom->chooseModelArray()->objectAtIndex(0))->name()), "乙");
  ASSERT_EQ(custom->giftModelArray()->count(), 1u);
  EXPECT_EQ(kit::describe(kit::as<NUVAFixedGiftModel>(custom->giftModelArray()->objectAtIndex(0))->name()), "甲");
  EXPECT_TRUE(buy(custom));  // one choice for one slot: complete
  EXPECT_EQ(lastRemark(), "15|(null)|0|0|0");
}

TEST_F(PackRow, AFixedPackOrderIsSignedAcceptedAndAnnounced) {
  auto fixed = row(kFixed);
  auto order = buy(fixed);
  ASSERT_TRUE(order);
  auto sent = game.requestsTo("charge/order");
  ASSERT_EQ(sent.size(), 1u);
  const auto& form = sent[0];
  EXPECT_EQ(form.method, "POST");
  EXPECT_EQ(form.fields.size(), 10u);
  EXPECT_EQ(form.field("remark"), "7|5|0|0|0");
  EXPECT_EQ(form.field("super_user_id"), "99");
  EXPECT_EQ(form.field("game_id"), "1001");
  EXPECT_EQ(form.field("service_id"), "3");
  EXPECT_EQ(form.field("service_name"), "青龙");
  EXPECT_EQ(form.field("role_id"), "r1");
  EXPECT_EQ(form.field("role_name"), "凌霄");
  EXPECT_EQ(form.field("good_id"), "7");
  EXPECT_EQ(form.field("random").size(), 5u);
  EXPECT_EQ(form.field("sign"), sim::md5Hex("99" "1001" "3" "r1" "7" "7|5|0|0|0" + form.field("random") +
                                            sim::ChannelGameServer::kOrderSigningKey));
  // The number 88 as order id; the remark as the server echoes it.
  EXPECT_EQ(kit::describe(order), kit::describe(kit::dict({{"good_name", "超值礼包"}, {"good_id", "7"},
                                                          {"order_id", "88"}, {"remark", "7|5|0|0|0"},
                                                          {"money", "6"}})));
  EXPECT_EQ(ordersSoFar().back().name, NUVAGIFTPAYNotification);
  EXPECT_FALSE(ordersSoFar().back().userInfo);

  // A custom pack that lets no item be chosen sends its fixed ids, padded;
  // four ids make a remark of five fields, uncut.
  auto none = row(R"({"good_id":"16","is_all_fixed":"1","optional_num":"0","fixed_gift":[)" + item("31", "金币") +
                  "]}");
  ASSERT_EQ(none->tiles().size(), 1u);
  ASSERT_TRUE(buy(none));
  EXPECT_EQ(lastRemark(), "16|31|0|0|0");
  auto four = row(R"({"good_id":"17","is_all_fixed":"2","optional_num":"2","fixed_gift":[)" + item("1", "a") + "," +
                  item("2", "b") + R"(],"optional_gift":[)" + item("3", "c") + "," + item("4", "d") + "," +
                  item("5", "e") + "]}");
  ASSERT_TRUE(buy(four));
  EXPECT_EQ(lastRemark(), "17|1|2|3|4");
}

TEST_F(PackRow, AnIncompleteCustomPackIsNotSent) {
  auto custom = row(kCustom);
  choose(custom, 0, 1);
  kit::test::tap(custom->buyBtn());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar().back(), "请选择定制礼包");
  // Too few items offered: never complete.
  auto scarce = row(R"({"good_id":"18","is_all_fixed":"1","optional_num":"2","optional_gift":[)" + item("40", "钻石") +
                    "]}");
  choose(scarce, 0, 0);
  kit::test::tap(scarce->buyBtn());
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudSoFar().back(), "请选择定制礼包");
  drainMain();
  EXPECT_TRUE(game.requestsTo("charge/order").empty());
}

TEST_F(PackRow, RefusalsShowTheServersMessageAndAnnounceNothing) {
  auto fixed = row(kFixed);
  game.queueReply("charge/order", R"({"status":"500","msg":"库存不足"})");
  kit::test::tap(fixed->buyBtn());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar().back(), "库存不足");

  game.setFault("charge/order", sim::RouteFault::NotJSON);
  kit::test::tap(fixed->buyBtn());
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudSoFar().back(), "网络请求发生未知错误，请稍后再试！") << "no \"(null)\" on screen";
  game.setFault("charge/order", sim::RouteFault::None);

  // "200" without an order id is no order either.
  game.queueReply("charge/order", R"({"status":"200","msg":"订单创建失败","data":{"remark":"7|5|0|0|0"}})");
  kit::test::tap(fixed->buyBtn());
  ASSERT_TRUE(waitForHUD(3));
  EXPECT_EQ(hudSoFar().back(), "订单创建失败");

  // A sign the server cannot recompute is refused (a tampered remark).
  game.queueReply("charge/order", R"({"status":"403","msg":"签名错误"})");
  kit::test::tap(fixed->buyBtn());
  ASSERT_TRUE(waitForHUD(4));
  EXPECT_EQ(hudSoFar().back(), "签名错误");
  drainMain();
  EXPECT_TRUE(ordersSoFar().empty());
  EXPECT_EQ(game.requestsTo("charge/order").size(), 4u);  // every tap sends
}

TEST_F(PackRow, EveryConfigurationStartsTheRowAfresh) {
  auto reused = row(kFixed);
  // A fixed pack without items after a fixed pack: its remark holds none of
  // the earlier pack's items.
  reused->setModel(pack(R"({"good_id":"20","gift_name":"空","is_all_fixed":"2","optional_num":"0"})"));
  EXPECT_TRUE(reused->tiles().empty());
  ASSERT_TRUE(buy(reused));
  EXPECT_EQ(lastRemark(), "20|0|0|0|0");
  // Neither kind: no tiles, and none of the earlier items either.
  reused->setModel(pack(kFixed));
  reused->setModel(pack(R"({"good_id":"21","is_all_fixed":"3"})"));
  ASSERT_TRUE(buy(reused));
  EXPECT_EQ(lastRemark(), "21|0|0|0|0");

  // A custom pack's configuration dismisses its chooser and clears choices.
  reused->setModel(pack(kCustom));
  choose(reused, 0, 0);
  ASSERT_TRUE(kit::test::tap(slotTile(reused, 1)));
  ASSERT_TRUE(reused->alert()->isOpen());
  reused->setModel(pack(kCustom));
  EXPECT_FALSE(reused->alert()->isOpen());
  EXPECT_EQ(reused->chooseModelArray()->count(), 0u);
  EXPECT_EQ(mids(reused->giftModelArray()), (std::vector<std::string>{"40", "41", "42"}));

  // A fixed pack without items keeps an open chooser and the choices.
  choose(reused, 0, 2);
  ASSERT_TRUE(kit::test::tap(slotTile(reused, 1)));
  reused->setModel(pack(R"({"good_id":"22","is_all_fixed":"2"})"));
  EXPECT_TRUE(reused->alert()->isOpen());
  EXPECT_EQ(mids(reused->chooseModelArray()), (std::vector<std::string>{"42"}));
  reused->alert()->dissmiss();
}

}  // namespace
