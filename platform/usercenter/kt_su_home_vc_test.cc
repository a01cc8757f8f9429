// The home page against the simulator's "Home/index" and "News/lists":
// its texts, news rows, rebate text, avatar, real-name entry and links,
// and the title and chevron of its 更多 and 展开 buttons as drawn.
#include "platform/usercenter/kt_su_home_vc.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/foundation/notification_center.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/ui/render.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_su_home_cell.h"
#include "platform/usercenter/kt_su_web_vc.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_home.h"
#include "sim/platform_user_centre_lists.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id message(long i) {
  return kit::dict({{"tag", i == 0 ? "活动" : "公告"},
                    {"post_title", kit::Id(kit::str("消息" + std::to_string(i)))},
                    {"url", kit::Id(kit::str("http://127.0.0.1:9/news/" + std::to_string(i)))},
                    {"time", "05-01"},
                    {"pic", ""}});
}

class Home : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    bundle.addFile("VIROV.bundle/KT_Helper_UserIcon.png", PlatformTestBundle::solidPNG(60, 60, 10, 200, 10));
    // The stored player's account, whose name and balances the home shows.
    sim::PlatformAccount player;
    player.userName = "player01";
    player.platformCoins = 120;
    player.vouchers = "30";
    platform->addAccount(player);
    home = std::make_unique<sim::PlatformUserCentreHome>(*server, *platform);
    lists = std::make_unique<Lists>(*server);
    lists->setPages(Lists::kNewsList, {Lists::records(0, 3, message)});
    ShareVale::sharedInstance()->setIsRz(kit::str("0"));
    container = kit::ViewController::make();
    container->view()->setFrame(kit::Rect{0, 0, 300, 600});
    auto area = kit::View::make(kit::Rect{0, 0, 300, 600});
    area->setTag(KTSuspendVC::SlideAreaTag);
    container->view()->addSubview(area);
    game->view()->addSubview(container->view());
    kit::Application::shared()->clearOpenedURLs();
  }
  void TearDown() override {
    kit::Application::shared()->setInstalledSchemes({"http", "https", "tel", "mailto", "sms"});
    kit::Application::shared()->clearOpenedURLs();
    page.reset();
    container.reset();
    UserCentreTest::TearDown();
    lists.reset();
    home.reset();
  }
  // The page as the container makes it: a child whose view fills the area.
  void show(bool waitForNews = true) {
    page = kit::as<KTSuHomeVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, "KTSuHomeVC"));
    ASSERT_TRUE(page);
    container->addChildViewController(page);
    container->view()->viewWithTag(KTSuspendVC::SlideAreaTag)->addSubview(page->view());
    ASSERT_TRUE(kit::test::runUntil([&] { return page->homeReplies() == 1; }));
    if (waitForNews) {
      ASSERT_TRUE(kit::test::runUntil([&] { return page->newsReplies() == 1; }));
    }
  }
  kit::Ref<kit::Button> button(const std::string& title) { return kit::test::findButton(*page->view(), title); }

  std::unique_ptr<sim::PlatformUserCentreHome> home;
  std::unique_ptr<Lists> lists;
  kit::Ref<kit::ViewController> container;
  kit::Ref<KTSuHomeVC> page;
};

TEST_F(Home, TheHomeReplyFillsThePageAndAsksForThreeMessages) {
  for (bool number : {false, true}) {
    home->setCodeAsNumber(number);
    show();
    auto sent = server->requestsTo(sim::PlatformUserCentreHome::kHomeEndpoint).back();
    EXPECT_EQ(sent.formValue("username"), "player01");
    EXPECT_EQ(sent.formValue("gid"), "1001");
    EXPECT_EQ(page->nameL()->text(), "玩家:player01");
    EXPECT_EQ(page->ptbL()->text(), "平台币:120个");
    EXPECT_EQ(page->djqL()->text(), "代金券:30元");
    EXPECT_EQ(page->activityL()->text(), "限时活动：充值享双倍积分");
    auto news = server->requestsTo(Lists::kNewsList).back();
    EXPECT_EQ(news.formValue("num"), "3");
    EXPECT_EQ(news.formValue("gid"), "1001");
    EXPECT_FALSE(news.formValue("pagecode"));
    auto table = page->tableView();
    EXPECT_EQ(table->superview(), page->bottomView());
    EXPECT_EQ(table->frame(), (kit::Rect{0, 37, 300, 120}));
    EXPECT_EQ(table->rowHeight(), 40);
    EXPECT_EQ(page->numberOfRowsInSection(*table, 0), 3);
    auto row = kit::as<KTSuHomeCell>(page->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0)));
    EXPECT_EQ(row->contentL()->text(), "消息0");
    EXPECT_TRUE(row->tagL()->backgroundColor()->isEqual(*kit::Color::hex(0xEF5651)));
    page->view()->removeFromSuperview();
    page->removeFromParentViewController();
  }
  EXPECT_EQ(server->requestsTo(Lists::kNewsList).size(), 2u);
}

TEST_F(Home, AnotherCodeOrAFailureAsksForNoMessages) {
  home->setHomeReply(kit::dict({{"a", kit::num(0)}, {"c", kit::dict({})}}));
  show(false);
  EXPECT_EQ(page->nameL()->text(), "");
  // A home reply without its texts shows none of them.
  page->initUIWithData(kit::dict({{"uinfo", kit::dict({{"nicename", kit::null()}})}}));
  EXPECT_EQ(page->nameL()->text(), "玩家:");
  EXPECT_EQ(page->ptbL()->text(), "平台币:个");
  EXPECT_EQ(page->activityL()->text(), "");
  EXPECT_EQ(page->fanliL()->text(), "");
  kit::test::LogCapture log;
  server->setFault(sim::PlatformUserCentreHome::kHomeEndpoint, sim::RouteFault::CloseConnection);
  page->loadData();
  ASSERT_TRUE(kit::test::runUntil([&] { return page->homeReplies() == 2; }));
  EXPECT_TRUE(log.contains("error = "));
  EXPECT_TRUE(server->requestsTo(Lists::kNewsList).empty());
  EXPECT_EQ(page->numberOfRowsInSection(*page->tableView(), 0), 0);
}

TEST_F(Home, ALongRebateFoldsAndUnfoldsAShortOneShrinksItsBox) {
  home->setRebate(std::string(40, 'x') + "返利说明很长很长，" + std::string(200, 'y'));
  show();
  const double H = UIViewLabelHeight::getLabelHeightByWidth(270, page->fanliL()->text(), kit::Font::systemFont(13));
  ASSERT_GT(H, 47);
  EXPECT_EQ(page->realHeight(), static_cast<float>(H));
  EXPECT_FALSE(page->checkBtn()->isHidden());
  EXPECT_EQ(page->fanH()->constant(), 47);
  EXPECT_EQ(page->midViewH()->constant(), 160);
  EXPECT_EQ(page->scrollView()->contentSize().height, 597);
  const double h = page->realHeight();
  ASSERT_TRUE(kit::test::tap(page->checkBtn()));
  EXPECT_EQ(page->fanH()->constant(), h);
  EXPECT_EQ(page->midViewH()->constant(), 160 + h - 47);
  EXPECT_EQ(page->scrollView()->contentSize().height, 597 + h - 47);
  ASSERT_TRUE(kit::test::tap(page->checkBtn()));
  EXPECT_EQ(page->fanH()->constant(), 47);
  EXPECT_EQ(page->scrollView()->contentSize().height, 597);

  page.reset();
  home->setRebate("返利");
  container = kit::ViewController::make();
  auto area = kit::View::make(kit::Rect{0, 0, 300, 600});
  area->setTag(KTSuspendVC::SlideAreaTag);
  container->view()->addSubview(area);
  show();
  const double s = page->realHeight();
  ASSERT_LT(s, 47);
  EXPECT_TRUE(page->checkBtn()->isHidden());
  EXPECT_EQ(page->fanH()->constant(), s);
  EXPECT_EQ(page->midViewH()->constant(), 160 - (47 - s));
  EXPECT_EQ(page->scrollView()->contentSize().height, 597 - (47 - s));
}

TEST_F(Home, TheAvatarLoadsWithItsPlaceholderAlsoOnError) {
  // The placeholder is wider than the simulator's avatar.
  show();
  auto avatar = [&] { return page->userBtn()->backgroundImage(kit::ControlStateNormal); };
  const double placeholder =
      kit::imageNamed(NSStringURLEncode::getImagePath(KTSuHomeVC::UserIcon))->size().width;
  ASSERT_TRUE(kit::test::runUntil([&] { return avatar()->size().width < placeholder; }));

  page->initUIWithData(kit::dict({{"uinfo", kit::dict({{"avatar", kit::Id(kit::str(server->origin() + "/uc/none.png"))}})}}));
  EXPECT_EQ(avatar()->size().width, placeholder);
  ASSERT_TRUE(kit::test::runUntil([&] {
    return server->requests().back().path == "/uc/none.png";
  }));
}

TEST_F(Home, TheRealNameEntry) {
  show();
  EXPECT_TRUE(page->rzBtn()->isEnabled());
  ASSERT_TRUE(kit::test::tap(page->rzBtn()));
  auto cover = page->coverView();
  EXPECT_EQ(cover->superview(), CXRWindowManager::topWindow());
  EXPECT_EQ(page->rzView()->superview(), cover);
  EXPECT_TRUE(cover->backgroundColor()->isEqual(*kit::Color::rgba(0, 0, 0, 0.2)));
  ShareVale::sharedInstance()->setIsRz(kit::str("1"));
  page->CXRRealNameView(*page->rzView(), nullptr);
  EXPECT_TRUE(page->rzBtn()->isHidden());
  EXPECT_FALSE(page->rzView()->superview());
  EXPECT_FALSE(cover->superview());

  ShareVale::sharedInstance()->setIsRz(kit::str("0"));
  page->rzBtn()->setEnabled(true);
  kit::NotificationCenter::defaultCenter()->postNotificationName(KTSuWebVC::RealNameNotification, nullptr);
  EXPECT_EQ(kit::describe(ShareVale::sharedInstance()->isRz()), "1");
  EXPECT_FALSE(page->rzBtn()->isEnabled());
  EXPECT_EQ(server->requestsTo(sim::PlatformUserCentreHome::kHomeEndpoint).size(), 1u);

  kit::Weak<KTSuHomeVC> weak = page;
  page->view()->removeFromSuperview();
  page->removeFromParentViewController();
  page.reset();
  EXPECT_TRUE(weak.expired());
  ShareVale::sharedInstance()->setIsRz(kit::str("0"));
  kit::NotificationCenter::defaultCenter()->postNotificationName(KTSuWebVC::RealNameNotification, nullptr);
  EXPECT_EQ(kit::describe(ShareVale::sharedInstance()->isRz()), "0");
}

TEST_F(Home, LinksOpenTheBoxTheWebPagesAndTheSwitch) {
  show();
  auto app = kit::Application::shared();
  const std::string box =
      server->origin() + "/cdcloud/welcome/box?ag=" + kit::describe(ShareVale::sharedInstance()->chanelid());
  page->goToGoldStore();
  page->goToFanli();
  page->getGoldCoin();
  EXPECT_EQ(app->openedURLs(), (std::vector<std::string>{box, box, box}));
  app->addInstalledScheme("vexobox");
  app->clearOpenedURLs();
  page->goToGoldStore();
  page->goToFanli();
  page->getGoldCoin();
  EXPECT_EQ(app->openedURLs(), (std::vector<std::string>{"vexoBox://goldStoreURL", "vexoBox://fanliURL",
                                                          "vexoBox://scoreMissionURL"}));

  page->goToActivityVC();
  auto activity = kit::as<KTSuWebVC>(container->childViewControllers().back());
  ASSERT_TRUE(activity);
  EXPECT_EQ(activity->url(), home->activityURL());
  EXPECT_EQ(kit::describe(activity->name()), "专属活动");
  page->didSelectRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(2, 0));
  auto news = kit::as<KTSuWebVC>(container->childViewControllers().back());
  EXPECT_EQ(news->url(), "http://127.0.0.1:9/news/2");
  EXPECT_EQ(kit::describe(news->name()), "消息详情");
  // The account page's address carries the arguments signed with the time
  // it opened, in whole seconds. Under a clock that stands still, building
  // them again gives the same text; on the real clock the stamp could move
  // on in between.
  kit::VirtualClock clock(1700000000.6);
  page->goToUserVC();
  auto account = kit::as<KTSuWebVC>(container->childViewControllers().back());
  const std::string arguments = NSStringURLEncode::getWebViewURLArgument();
  EXPECT_NE(arguments.find("&logintime=1700000001&"), std::string::npos) << arguments;
  EXPECT_EQ(account->url(), server->origin() + "/appview/User/sdkuser" + arguments);
  EXPECT_FALSE(account->name());

}

TEST_F(Home, TheAccountSwitchCallsTheBlock) {
  show();
  int switches = 0;
  page->setLoginOutBlock([&] { ++switches; });
  ASSERT_TRUE(kit::test::tap(button("切换账号")));
  EXPECT_EQ(switches, 1);
}

}  // namespace

namespace {

bool isAccent(const kit::Pixel& p) { return p.r > 200 && p.g > 80 && p.g < 180 && p.b < 100 && p.a > 0; }
bool isBlank(const kit::Pixel& p) { return p.r > 250 && p.g > 250 && p.b > 250; }

TEST_F(Home, MoreAndExpandShowTheirTitleWithAChevronFivePointsRightOfIt) {
  home->setRebate(std::string(40, 'x') + "返利说明很长很长，" + std::string(200, 'y'));
  show();
  page->view()->layoutIfNeeded();
  auto bitmap = kit::render(*window, 1);
  ASSERT_TRUE(bitmap);
#ifdef KIT_UI_ARTIFACT_DIR
  kit::writePNG(*bitmap, std::string(KIT_UI_ARTIFACT_DIR) + "/user_centre_home.png");
#endif
  for (const auto& [button, title] : {std::pair{page->moreBtn(), "更多"}, std::pair{page->checkBtn(), "展开"}}) {
    SCOPED_TRACE(title);
    ASSERT_TRUE(button && !button->isHidden());
    EXPECT_EQ(button->currentTitle(), title);
    const kit::Rect bounds = button->bounds();
    const kit::Rect text = button->titleLabel()->frame();
    const kit::Rect image = button->imageView()->frame();
    EXPECT_GT(text.size.width, 0);
    EXPECT_GT(image.size.width, 0);
    for (const kit::Rect& part : {text, image}) {
      EXPECT_GE(part.minX(), bounds.minX());
      EXPECT_LE(part.maxX(), bounds.maxX());
      EXPECT_GE(part.minY(), bounds.minY());
      EXPECT_LE(part.maxY(), bounds.maxY());
    }
    EXPECT_DOUBLE_EQ(image.minX() - text.maxX(), 5) << "the image right of the title, 5 points apart";
    EXPECT_NEAR(image.midY(), text.midY(), 1);

    // As drawn: the title's strokes and an accent-coloured chevron, and
    // nothing from the page's left edge to the title on the chevron's row.
    const kit::Rect drawnText = kit::test::frameInWindow(*button->titleLabel());
    const kit::Rect drawnImage = kit::test::frameInWindow(*button->imageView());
    int accent = 0, inked = 0;
    for (double x = drawnImage.minX(); x < drawnImage.maxX(); ++x) {
      for (double y = drawnImage.minY(); y < drawnImage.maxY(); ++y) {
        accent += isAccent(bitmap->pixelAt(static_cast<size_t>(x), static_cast<size_t>(y))) ? 1 : 0;
      }
    }
    for (double x = drawnText.minX(); x < drawnText.maxX(); ++x) {
      inked += isBlank(bitmap->pixelAt(static_cast<size_t>(x), static_cast<size_t>(drawnText.midY()))) ? 0 : 1;
    }
    EXPECT_GT(accent, 0);
    EXPECT_GT(inked, 0);
    const kit::Rect box = kit::test::frameInWindow(*button->superview());
    const size_t row = static_cast<size_t>(drawnImage.midY());
    int marked = 0;
    for (double x = box.minX() + 150; x < drawnText.minX() - 1; ++x) {
      marked += isBlank(bitmap->pixelAt(static_cast<size_t>(x), row)) ? 0 : 1;
    }
    EXPECT_EQ(marked, 0) << "no line across the box";
  }
  // Folding back shows the title again with the chevron the other way.
  ASSERT_TRUE(kit::test::tap(page->checkBtn()));
  EXPECT_EQ(page->checkBtn()->currentTitle(), "收起");
  EXPECT_NE(page->checkBtn()->currentImage(), page->checkBtn()->image(kit::ControlStateNormal));
}

}  // namespace

namespace {

// Where the accent-coloured strokes of a chevron drawn in `rect` (pixels of
// `bitmap`) lie: how far from the rect's middle column, on average, in its
// upper and its lower half. A chevron's point lies in the middle; its arms
// spread to the sides.
struct ChevronSpread {
  double upper = 0, lower = 0;
  int upperInk = 0, lowerInk = 0;
};
ChevronSpread chevronSpread(const kit::Bitmap& bitmap, const kit::Rect& rect) {
  ChevronSpread spread;
  const double middleX = rect.midX(), middleY = rect.midY();
  for (double y = rect.minY(); y < rect.maxY(); ++y) {
    for (double x = rect.minX(); x < rect.maxX(); ++x) {
      if (!isAccent(bitmap.pixelAt(static_cast<size_t>(x), static_cast<size_t>(y)))) continue;
      const double off = x + 0.5 > middleX ? x + 0.5 - middleX : middleX - (x + 0.5);
      if (y + 0.5 < middleY) {
        spread.upper += off;
        ++spread.upperInk;
      } else {
        spread.lower += off;
        ++spread.lowerInk;
      }
    }
  }
  if (spread.upperInk) spread.upper /= spread.upperInk;
  if (spread.lowerInk) spread.lower /= spread.lowerInk;
  return spread;
}

TEST_F(Home, TheRebateChevronPointsDownToExpandAndUpToFold) {
  home->setRebate(std::string(40, 'x') + "返利说明很长很长，" + std::string(200, 'y'));
  show();
  page->view()->layoutIfNeeded();
  auto check = page->checkBtn();
  ASSERT_TRUE(check && !check->isHidden());
  constexpr double scale = 4;
  auto chevronAsDrawn = [&] {
    check->layoutIfNeeded();
    auto bitmap = kit::render(*window, scale);
    const kit::Rect drawn = kit::test::frameInWindow(*check->imageView());
    const kit::Rect pixels{drawn.origin.x * scale, drawn.origin.y * scale, drawn.size.width * scale,
                           drawn.size.height * scale};
    return bitmap ? chevronSpread(*bitmap, pixels) : ChevronSpread{};
  };

  const ChevronSpread folded = chevronAsDrawn();
  ASSERT_GT(folded.upperInk, 0);
  ASSERT_GT(folded.lowerInk, 0);
  EXPECT_GT(folded.upper, folded.lower + 1) << "展开: the arms at the top, the point at the bottom";

  ASSERT_TRUE(kit::test::tap(check));
  ASSERT_EQ(check->currentTitle(), "收起");
  const ChevronSpread expanded = chevronAsDrawn();
  ASSERT_GT(expanded.upperInk, 0);
  ASSERT_GT(expanded.lowerInk, 0);
  EXPECT_GT(expanded.lower, expanded.upper + 1) << "收起: the point at the top, the arms at the bottom";

  ASSERT_TRUE(kit::test::tap(check));
  const ChevronSpread again = chevronAsDrawn();
  EXPECT_GT(again.upper, again.lower + 1) << "folded again, it points down again";
}

}  // namespace
