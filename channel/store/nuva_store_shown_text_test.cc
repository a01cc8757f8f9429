// The store hub and the free-video card as a player sees them when the game
// server puts a list, a list holding null, a dictionary or a flag where a
// text belongs (a GM level's name and privileges, a gift's name, count and
// description, a trial game's name and description), and a claim refused
// with a message of blanks, a number or a collection: nothing on screen
// reads "<null>", "(...)" or "{...}", and the refusal toasts the text of a
// failed request, as one without a message does.

#include <gtest/gtest.h>

#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/testing/shown_texts.h"

namespace {

kit::Id parsed(const std::string& json) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), kit::JSONReadingMutableContainers);
}

class StoreShownText : public StoreFixture {
 protected:
  // The hub with one GM level whose texts are all `v`, and a readable one.
  kit::Ref<NUVAGMShopView> openHub(const std::string& v) {
    auto hub = NUVAGMShopView::init();
    hub->setShop_type(kit::str("0"));
    hub->setResponseArray(kit::as<kit::MutableArray>(parsed(
        R"([[{"id":"1","gm_id":"1","gm_name":)" + v + R"(,"gm_desc":)" + v + R"(,"gift_id":"100","gift_name":)" + v +
        R"(,"gift_desc":)" + v + R"(,"gift_num":)" + v + R"(,"status":"0"}],)" +
        R"([{"id":"2","gm_id":"2","gm_name":"GM2","gm_desc":"GM特权2","gift_id":"200","gift_name":"礼包",)" +
        R"("gift_desc":"说明","gift_num":"x1","status":"0"}]])")));
    hub->setVIPArray(kit::MutableArray::make());
    hub->setMenuBtnArray(kit::as<kit::MutableArray>(parsed(R"(["1"])")));
    hub->setToken(kit::str("t0k3n99"));
    hub->setSuper_user_id(kit::str("99"));
    hub->setGmdesc(kit::str("累计充值即可领取GM礼包"));
    hub->setGmtotal_money(kit::str("128"));
    hub->setUserInfo(userInfo());
    hub->setRoleid(kit::str("r1"));
    hub->show();
    drainMain();
    window->layoutIfNeeded();
    return hub;
  }
};

TEST_F(StoreShownText, AGMLevelAndGiftOfCollectionsShowNoText) {
  for (const std::string& v : shown::notTexts()) {
    auto hub = openHub(v);
    auto pane = hub->gmPane();
    ASSERT_TRUE(pane->model()) << v;
    EXPECT_EQ(pane->nameLabel()->text(), "") << v;
    EXPECT_EQ(pane->gmdescLabel()->text(), "") << v;
    EXPECT_EQ(pane->descTextView()->text(), "") << v;
    EXPECT_EQ(pane->totalMoney()->currentTitle(), "已充值金额: 128");
    ASSERT_TRUE(kit::test::findLabel(*window, "GM2")) << "the menu's rows are on screen";
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << v;
    // The readable level still reads.
    pane->menu()->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(1, 0));
    drainMain();
    window->layoutIfNeeded();
    EXPECT_EQ(pane->nameLabel()->text(), "礼包") << v;
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << v;
    hub->closeClick();
    drainMain();
  }
}

TEST_F(StoreShownText, AClaimRefusedWithoutAReadableMessageToastsAFailedRequest) {
  auto hub = openHub(R"("GM1")");
  auto pane = hub->gmPane();
  size_t shownSoFar = 0;
  for (const std::string& message : shown::unreadableMessages()) {
    game.queueReply("gmstore/index", R"({"status":"403","msg":)" + message + "}");
    NUVAProgressHUD::dismiss();
    drainMain();
    ASSERT_TRUE(kit::test::tap(pane->claimButton())) << message;
    ASSERT_TRUE(waitForHUD(++shownSoFar)) << message;
    EXPECT_EQ(hudSoFar().back(), "网络请求发生未知错误，请稍后再试！") << message;
  }
  game.queueReply("gmstore/index", R"({"status":"403","msg":"今日已领取"})");
  ASSERT_TRUE(kit::test::tap(pane->claimButton()));
  ASSERT_TRUE(waitForHUD(++shownSoFar));
  EXPECT_EQ(hudSoFar().back(), "今日已领取");
}

TEST_F(StoreShownText, TheFreeVideoCardShowsNoCollections) {
  for (const std::string& v : shown::notTexts()) {
    auto offer = kit::as<kit::Dictionary>(parsed(R"({"is_get":"0","items":"[]","video_time":"15","game_name":)" + v +
                                                 R"(,"game_desc":)" + v + "}"));
    ASSERT_TRUE(offer) << v;
    auto video = NUVAFreeVedioView::init();
    video->setPlayerDic(offer);
    video->setUserInfo(userInfo());
    video->show();
    window->layoutIfNeeded();
    EXPECT_EQ(video->name()->text(), "") << v;
    EXPECT_EQ(video->desc()->text(), "") << v;
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << v;
    video->closeClick();
    drainMain();
  }
}

}  // namespace
