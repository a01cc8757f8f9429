// The account-trade page: its request, its two sections, the offer rows and
// the hand-over to the game-box app or its web page.
#include "platform/usercenter/kt_su_trade_vc.h"

#include <gtest/gtest.h>

#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/kt_trade_cells.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_lists.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id offer(long i) {
  return kit::dict({{"tradeId", kit::Id(kit::str("T" + std::to_string(i)))},
                    {"prices", "128"},
                    {"server", "双线1区"},
                    {"time", "2024-05-01"},
                    {"devicetype", i % 3 == 0 ? "2" : i % 3 == 1 ? "1" : "0"},
                    {"gamename", "仙侠"},
                    {"title", "满级账号"},
                    {"pic1", ""}});
}

class Trade : public UserCentreTest {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
  void SetUp() override {
    UserCentreTest::SetUp();
    lists = std::make_unique<Lists>(*server);
    lists->setPages(Lists::kTradeList, {Lists::records(0, 6, offer)});
    app()->clearOpenedURLs();
  }
  void TearDown() override {
    app()->setInstalledSchemes({"http", "https", "tel", "mailto", "sms"});
    app()->clearOpenedURLs();
    vc.reset();
    UserCentreTest::TearDown();
    lists.reset();
  }
  static kit::Ref<kit::Application> app() { return kit::Application::shared(); }
  void show() {
    vc = kit::as<KTSuTradeVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, "KTSuTradeVC"));
    ASSERT_TRUE(vc);
    vc->view()->setFrame(kit::Rect{0, 0, 300, 300});
    window->addSubview(vc->view());
    ASSERT_TRUE(kit::test::runUntil([&] {
      kit::render(*window);
      return vc->repliesReceived() > 0 && !vc->header()->isRefreshing();
    }));
  }
  kit::Ref<KTTradeCell> row(long i) {
    return kit::as<KTTradeCell>(vc->cellForRowAtIndexPath(*vc->tableView(), kit::IndexPath::forRow(i, 1)));
  }
  std::string boxPage() const {
    return server->origin() + "/cdcloud/welcome/box?ag=" + kit::describe(ShareVale::sharedInstance()->chanelid());
  }

  std::unique_ptr<Lists> lists;
  kit::Ref<KTSuTradeVC> vc;
};

TEST_F(Trade, TheRequestAndTheTableShape) {
  lists->setPages(Lists::kTradeList, {});
  show();
  auto sent = server->requestsTo(Lists::kTradeList).at(0);
  EXPECT_EQ(sent.formValue("type"), "ios");
  EXPECT_EQ(sent.formValue("pagecode"), "1");
  auto table = vc->tableView();
  // The shown footer adds its height to the table's own inset.
  EXPECT_EQ(vc->footer()->scrollViewOriginalInset().bottom, 8);
  EXPECT_EQ(table->contentInset().bottom, 8 + vc->footer()->frame().size.height);
  EXPECT_EQ(table->contentInset().top, 0);
  EXPECT_EQ(vc->numberOfRowsInSection(*table, 0), 1);
  EXPECT_EQ(vc->numberOfRowsInSection(*table, 1), 0);
  EXPECT_EQ(vc->heightForRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0)), 82);
  EXPECT_TRUE(kit::as<KTSuTradeHeadCell>(vc->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0))));
  EXPECT_EQ(vc->footer()->state(), KTRefreshState::NoMoreData);
  EXPECT_EQ(vc->footer()->stateTitles().at(KTRefreshState::NoMoreData), "—— 我是有底线的 ——");
}

TEST_F(Trade, AnOfferRowShowsItsTextsAndPlatformMarks) {
  show();
  auto table = vc->tableView();
  EXPECT_EQ(vc->numberOfRowsInSection(*table, 1), 6);
  EXPECT_EQ(vc->heightForRowAtIndexPath(*table, kit::IndexPath::forRow(2, 1)), 125);
  auto both = row(0);
  both->layoutIfNeeded();
  EXPECT_EQ(both->timeL()->text(), "上架时间：2024-05-01");
  EXPECT_EQ(both->moneyL()->text(), "¥128");
  EXPECT_EQ(both->serverL()->text(), "区服：双线1区");
  EXPECT_EQ(both->nameL()->text(), "仙侠");
  EXPECT_EQ(both->titleL()->text(), "满级账号");
  EXPECT_FALSE(both->anIcon()->isHidden());
  EXPECT_FALSE(both->iosIcon()->isHidden());
  EXPECT_EQ(both->iosIconLeft()->constant(), 30);

  auto ios = row(1);
  ios->layoutIfNeeded();
  EXPECT_TRUE(ios->anIcon()->isHidden());
  EXPECT_FALSE(ios->iosIcon()->isHidden());
  EXPECT_EQ(ios->iosIconLeft()->constant(), 10);
  EXPECT_EQ(ios->iosIcon()->frame().origin.x, 10);

  auto android = row(2);
  EXPECT_FALSE(android->anIcon()->isHidden());
  EXPECT_TRUE(android->iosIcon()->isHidden());

  // Another value leaves the marks as the reused row had them.
  auto other = kit::make<KTSuTradeModel>();
  other->setDevicetype(kit::str("7"));
  android->setModel(other);
  EXPECT_FALSE(android->anIcon()->isHidden());
  EXPECT_TRUE(android->iosIcon()->isHidden());
}

TEST_F(Trade, OffersAndTheMarketOpenTheBoxAppOrItsPage) {
  show();
  auto table = vc->tableView();
  vc->didSelectRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0));
  EXPECT_TRUE(app()->openedURLs().empty());
  vc->didSelectRowAtIndexPath(*table, kit::IndexPath::forRow(4, 1));
  auto head = kit::as<KTSuTradeHeadCell>(vc->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0)));
  window->addSubview(head);
  ASSERT_TRUE(kit::test::tap(head->button()));
  EXPECT_EQ(app()->openedURLs(), (std::vector<std::string>{boxPage(), boxPage()}));

  app()->addInstalledScheme("vexobox");
  app()->clearOpenedURLs();
  vc->didSelectRowAtIndexPath(*table, kit::IndexPath::forRow(4, 1));
  ASSERT_TRUE(kit::test::tap(head->button()));
  // The head row outside its button.
  const kit::Rect place = kit::test::frameInWindow(*head);
  ASSERT_TRUE(kit::test::tapAt(*window, kit::Point{place.origin.x + 5, place.origin.y + 5}));
  EXPECT_EQ(app()->openedURLs(), (std::vector<std::string>{"vexoBox://tradeDetail_T4", "vexoBox://tradeMode"}));
}

}  // namespace
