// Every text of the platform's replies that the user centre shows, fed each
// value a reply may put in a text's place (collections, flags, numbers,
// blanks, characters that draw nothing, the texts of a missing value and of
// a number that is none): a label shows what a label shows of it, a tag on
// its coloured box what a message reads of it, and nothing reads "<null>",
// "(null)", "NaN" or a flag's "1".

#include <gtest/gtest.h>

#include <functional>

#include "channel/testing/shown_texts.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/json_serialization.h"
#include "kit/testing/run_until.h"
#include "kit/ui/scene_registry.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_gift_cells.h"
#include "platform/usercenter/kt_kaifu_cell.h"
#include "platform/usercenter/kt_su_coupon_cell.h"
#include "platform/usercenter/kt_su_home_cell.h"
#include "platform/usercenter/kt_su_home_msg_cell.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/kt_su_models.h"
#include "platform/usercenter/kt_trade_cells.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_home.h"
#include "sim/platform_user_centre_lists.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id parsed(const std::string& json) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), 0);
}

// A record whose every field in `fields` holds `value` (a JSON text).
std::string record(std::initializer_list<const char*> fields, const std::string& value) {
  std::string json = "{";
  for (const char* field : fields) json += std::string(json.size() > 1 ? "," : "") + "\"" + field + "\":" + value;
  return json + "}";
}

template <class Model>
kit::Ref<Model> mapped(std::initializer_list<const char*> fields, const std::string& value) {
  auto rows = mx_objectArrayWithKeyValuesArray(Model::staticClass(), parsed("[" + record(fields, value) + "]"));
  return rows && rows->count() == 1 ? kit::as<Model>(rows->objectAtIndex(0)) : nullptr;
}

class ReplyFields : public UserCentreTest {};

TEST_F(ReplyFields, EveryListRowShowsEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    const std::string& label = v.label;
    SCOPED_TRACE(v.json);

    auto news = mapped<KTSuHomeMsgModel>({"tag", "post_title", "time"}, v.json);
    ASSERT_TRUE(news);
    auto home = KTSuHomeCell::make();
    home->setModel(news);
    EXPECT_EQ(home->tagL()->text(), v.message);
    EXPECT_EQ(home->contentL()->text(), label);
    auto message = KTSuHomeMsgCell::make();
    message->setModel(news);
    EXPECT_EQ(message->tagL()->text(), v.message);
    EXPECT_EQ(message->contentL()->text(), "           " + label);
    EXPECT_EQ(message->timeL()->text(), label);

    auto server = KTKaifuCell::make();
    server->setModel(mapped<KTSuKaifuModel>({"servername", "day", "hour"}, v.json));
    EXPECT_EQ(server->dayL()->text(), label);
    EXPECT_EQ(server->timeL()->text(), label);
    EXPECT_EQ(server->serverL()->text(), label);

    auto trade = KTTradeCell::make();
    trade->setModel(mapped<KTSuTradeModel>({"prices", "server", "time", "gamename", "title"}, v.json));
    EXPECT_EQ(trade->timeL()->text(), "上架时间：" + label);
    EXPECT_EQ(trade->moneyL()->text(), "¥" + label);
    EXPECT_EQ(trade->nameL()->text(), label);
    EXPECT_EQ(trade->serverL()->text(), "区服：" + label);
    EXPECT_EQ(trade->titleL()->text(), label);

    auto pack = mapped<KTSuGiftModel>({"name", "excerpt", "code", "part_num", "percentage", "instructions"}, v.json);
    auto claim = KTGetGiftCell::make();
    claim->setModel(pack);
    EXPECT_EQ(claim->typeL()->text(), label);
    EXPECT_EQ(claim->contentL()->text(), label);
    EXPECT_EQ(claim->residueL()->text(), "剩余:" + label + "%");
    EXPECT_EQ(claim->countL()->text(), "已有" + label + "人领取");
    auto copy = KTCopyGiftCell::make();
    copy->setModel(pack);
    EXPECT_EQ(copy->typeL()->text(), label);
    EXPECT_EQ(copy->codeL()->text(), label);
    EXPECT_EQ(copy->contentL()->text(), label);

    auto coupon = KTSuCouponCell::make();
    coupon->setModel(mapped<KTSuCouponModel>({"gamename", "av_time", "pay_money", "coupon_money"}, v.json));
    EXPECT_EQ(coupon->nameL()->text(), label);
    EXPECT_EQ(coupon->timeL()->text(), "· 有效期：" + label);
    EXPECT_EQ(coupon->moneyL()->text(), "· 满" + label + "元可用");
    EXPECT_EQ(coupon->couponL()->text(), label);

    for (const kit::Ref<kit::View>& row :
         std::initializer_list<kit::Ref<kit::View>>{home, message, server, trade, claim, copy, coupon}) {
      EXPECT_EQ(shown::unreadableTextsIn(*row), std::vector<std::string>{});
    }
  }
}

TEST_F(ReplyFields, AFlagInAnIdOrStateKeepsItsMeaning) {
  // Only the texts a row shows leave a flag unset: a pack claimed with
  // "getstatus": true stays claimed.
  auto pack = mapped<KTSuGiftModel>({"getstatus"}, "true");
  ASSERT_TRUE(pack);
  EXPECT_EQ(kit::describe(pack->getstatus()), "1");
  auto news = mapped<KTSuHomeMsgModel>({"url"}, "7");
  EXPECT_EQ(kit::describe(news->url()), "7");
}

class HomeReplyFields : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    home = std::make_unique<sim::PlatformUserCentreHome>(*server);
    lists = std::make_unique<Lists>(*server);
    ShareVale::sharedInstance()->setIsRz(kit::str("0"));
    container = kit::ViewController::make();
    container->view()->setFrame(kit::Rect{0, 0, 300, 600});
    auto area = kit::View::make(kit::Rect{0, 0, 300, 600});
    area->setTag(KTSuspendVC::SlideAreaTag);
    container->view()->addSubview(area);
    game->view()->addSubview(container->view());
  }
  void TearDown() override {
    container.reset();
    UserCentreTest::TearDown();
    lists.reset();
    home.reset();
  }

  std::unique_ptr<sim::PlatformUserCentreHome> home;
  std::unique_ptr<Lists> lists;
  kit::Ref<kit::ViewController> container;
};

TEST_F(HomeReplyFields, ThePlayersTextsAndTheNewestMessageShowEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    const std::string& label = v.label;
    home->setHomeData(parsed(R"({"uinfo":{"nicename":)" + v.json + R"(,"money":)" + v.json + R"(,"djq":)" + v.json +
                             R"(},"post":{"t_desc":)" + v.json + R"(,"url":"http://127.0.0.1:9/"},"ginfo":{"fanli":)" +
                             v.json + "}}"));
    lists->setPages(Lists::kNewsList, {kit::as<kit::Array>(parsed("[" + record({"tag", "post_title", "time"}, v.json) +
                                                                  "]"))});
    auto page =
        kit::as<KTSuHomeVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, "KTSuHomeVC"));
    ASSERT_TRUE(page);
    container->addChildViewController(page);
    container->view()->viewWithTag(KTSuspendVC::SlideAreaTag)->addSubview(page->view());
    ASSERT_TRUE(kit::test::runUntil([&] { return page->homeReplies() == 1 && page->newsReplies() == 1; }));

    EXPECT_EQ(page->nameL()->text(), "玩家:" + label);
    EXPECT_EQ(page->ptbL()->text(), "平台币:" + label + "个");
    EXPECT_EQ(page->djqL()->text(), "代金券:" + label + "元");
    EXPECT_EQ(page->activityL()->text(), label);
    EXPECT_EQ(page->fanliL()->text(), label);
    ASSERT_EQ(page->msgData()->count(), 1u);
    auto row = kit::as<KTSuHomeCell>(
        page->cellForRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(0, 0)));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->tagL()->text(), v.message);
    EXPECT_EQ(row->contentL()->text(), label);
    EXPECT_EQ(shown::unreadableTextsIn(*page->view()), std::vector<std::string>{});
    EXPECT_EQ(shown::unreadableTextsIn(*row), std::vector<std::string>{});

    page->view()->removeFromSuperview();
    page->removeFromParentViewController();
  }
}

}  // namespace
