// The user centre's home page as a player sees it when "Home/index" puts a
// list, a list holding null, a dictionary or a flag where the player's
// name, balances, activity or rebate text belong: the page reads no
// "<null>", "(...)" or "{...}" and leaves those texts out, while a balance
// of 0 still reads as one. Every shape of a reply text (numbers, blanks,
// characters that draw nothing, "<null>", "NaN" ...) in those texts and in
// the newest message's row shows by the shown-text rule.

#include <gtest/gtest.h>

#include "kit/foundation/json_serialization.h"
#include "kit/testing/run_until.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/text_view.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/share_vale.h"
#include "platform/base/testing/shown_texts.h"
#include "platform/usercenter/kt_su_home_cell.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_home.h"
#include "sim/platform_user_centre_lists.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

// The texts of the page no player can read.
std::vector<std::string> unreadableTextsIn(kit::View& root) {
  std::vector<std::string> found;
  kit::test::findViews(root, [&](kit::View& view) {
    std::string text;
    if (auto label = dynamic_cast<kit::Label*>(&view)) text = label->text();
    if (auto textView = dynamic_cast<kit::TextView*>(&view)) text = textView->text();
    if (auto button = dynamic_cast<kit::Button*>(&view)) text = button->currentTitle();
    for (const char* mark : {"(null)", "<null>", "(\n", "{\n"}) {
      if (text.find(mark) != std::string::npos) found.push_back(text);
    }
    return false;
  });
  return found;
}

class HomeValues : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    home = std::make_unique<sim::PlatformUserCentreHome>(*server, *platform);
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
    page.reset();
    container.reset();
    UserCentreTest::TearDown();
    lists.reset();
    home.reset();
  }
  // The page as the container makes it, once its home reply is in.
  void show() {
    page = kit::as<KTSuHomeVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, "KTSuHomeVC"));
    ASSERT_TRUE(page);
    container->addChildViewController(page);
    container->view()->viewWithTag(KTSuspendVC::SlideAreaTag)->addSubview(page->view());
    ASSERT_TRUE(kit::test::runUntil([&] { return page->homeReplies() == 1; }));
  }
  void close() {
    page->view()->removeFromSuperview();
    page->removeFromParentViewController();
    page.reset();
  }

  std::unique_ptr<sim::PlatformUserCentreHome> home;
  std::unique_ptr<Lists> lists;
  kit::Ref<kit::ViewController> container;
  kit::Ref<KTSuHomeVC> page;
};

TEST_F(HomeValues, CollectionsAndFlagsForThePlayersTextsShowNothing) {
  for (const std::string v : {R"([null])", R"(["x"])", R"({"a":"b"})", "[]", "{}", "true"}) {
    home->setHomeData(kit::JSONSerialization::JSONObjectWithData(
        kit::Data::make(R"({"uinfo":{"nicename":)" + v + R"(,"money":)" + v + R"(,"djq":)" + v + R"(,"avatar":)" + v +
                        R"(},"post":{"t_desc":)" + v + R"(,"url":"http://127.0.0.1:9/"},"ginfo":{"fanli":)" + v + "}}")));
    show();
    EXPECT_EQ(page->nameL()->text(), "玩家:") << v;
    EXPECT_EQ(page->ptbL()->text(), "平台币:个") << v;
    EXPECT_EQ(page->djqL()->text(), "代金券:元") << v;
    EXPECT_EQ(page->activityL()->text(), "") << v;
    EXPECT_EQ(page->fanliL()->text(), "") << v;
    EXPECT_EQ(unreadableTextsIn(*page->view()), std::vector<std::string>{}) << v;
    close();
  }
  // Balances of nothing are balances.
  home->setHomeData(kit::dict({{"uinfo", kit::dict({{"nicename", "p"}, {"money", 0}, {"djq", 0.5}})}}));
  show();
  EXPECT_EQ(page->nameL()->text(), "玩家:p");
  EXPECT_EQ(page->ptbL()->text(), "平台币:0个");
  EXPECT_EQ(page->djqL()->text(), "代金券:0.5元");
}

TEST_F(HomeValues, ThePlayersTextsAndTheNewestMessageShowEachShapeOfAReplyTextByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    const std::string& label = v.label;
    const std::string row = R"({"tag":)" + v.json + R"(,"post_title":)" + v.json + R"(,"time":)" + v.json + "}";
    home->setHomeData(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(
        R"({"uinfo":{"nicename":)" + v.json + R"(,"money":)" + v.json + R"(,"djq":)" + v.json +
        R"(},"post":{"t_desc":)" + v.json + R"(,"url":"http://127.0.0.1:9/"},"ginfo":{"fanli":)" + v.json + "}}")));
    lists->setPages(Lists::kNewsList,
                    {kit::as<kit::Array>(kit::JSONSerialization::JSONObjectWithData(kit::Data::make("[" + row + "]")))});
    show();
    ASSERT_TRUE(kit::test::runUntil([&] { return page->newsReplies() == 1; }));
    // The nickname is the player's own: shown as it came when it draws
    // something, "NaN" included.
    EXPECT_EQ(page->nameL()->text(), "玩家:" + v.name);
    EXPECT_EQ(page->ptbL()->text(), "平台币:" + label + "个");
    EXPECT_EQ(page->djqL()->text(), "代金券:" + label + "元");
    EXPECT_EQ(page->activityL()->text(), label);
    EXPECT_EQ(page->fanliL()->text(), label);
    ASSERT_EQ(page->msgData()->count(), 1u);
    auto cell = kit::as<KTSuHomeCell>(page->cellForRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(0, 0)));
    ASSERT_TRUE(cell);
    // The tag sits on a coloured box: it reads as a message.
    EXPECT_EQ(cell->tagL()->text(), v.message);
    EXPECT_EQ(cell->contentL()->text(), label);
    // Only a nickname may read like a number that is none.
    const auto nicknames =
        kit::spellsNoNumber(v.name) ? std::vector<std::string>{"玩家:" + v.name} : std::vector<std::string>{};
    EXPECT_EQ(shown::unreadableTextsIn(*page->view()), nicknames);
    EXPECT_EQ(shown::unreadableTextsIn(*cell), std::vector<std::string>{});
    close();
  }
}

}  // namespace
