// The message list: opening and closing over the container's area, its
// request, its rows and a row's web page.
#include "platform/usercenter/kt_su_home_msg_vc.h"

#include <gtest/gtest.h>

#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "platform/usercenter/kt_su_home_msg_cell.h"
#include "platform/usercenter/kt_su_web_vc.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_lists.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id message(long i) {
  return kit::dict({{"tag", i % 2 == 0 ? "活动" : "公告"},
                    {"post_title", kit::Id(kit::str("消息" + std::to_string(i)))},
                    {"url", kit::Id(kit::str("http://127.0.0.1:9/news/" + std::to_string(i)))},
                    {"time", "05-01"},
                    {"pic", i == 0 ? "http://127.0.0.1:9/pic.png" : ""}});
}

class Messages : public UserCentreTest {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
  void SetUp() override {
    UserCentreTest::SetUp();
    lists = std::make_unique<Lists>(*server);
    lists->setPages(Lists::kNewsList, {Lists::records(0, 10, message), Lists::records(10, 4, message)});
    // A container stand-in: a parent with the tag-1000 area, and the home
    // page as its child that opens the list.
    container = kit::ViewController::make();
    container->view()->setFrame(kit::Rect{0, 0, 300, 375});
    auto area = kit::View::make(kit::Rect{0, 0, 300, 375});
    area->setTag(KTSuspendVC::SlideAreaTag);
    container->view()->addSubview(area);
    home = kit::ViewController::make();
    container->addChildViewController(home);
    game->view()->addSubview(container->view());
  }
  void TearDown() override {
    page.reset();
    home.reset();
    container.reset();
    UserCentreTest::TearDown();
    lists.reset();
  }
  kit::Ref<kit::View> area() { return container->view()->viewWithTag(KTSuspendVC::SlideAreaTag); }

  std::unique_ptr<Lists> lists;
  kit::Ref<kit::ViewController> container, home;
  kit::Ref<KTSuHomeMsgVC> page;
};

TEST_F(Messages, OpensOverTheAreaSlidesInLoadsAndGoesBack) {
  page = KTSuHomeMsgVC::loadMsgVC(*home);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->view()->superview(), area());
  EXPECT_EQ(page->view()->frame().size.width, 300);
  EXPECT_EQ(page->parentViewController(), container);
  // It appeared in the window at once: the slide from (300, 0) runs.
  auto slide = page->view()->layer()->animationForKey("transform");
  ASSERT_TRUE(slide);
  EXPECT_EQ(slide->duration(), 0.8);
  ASSERT_TRUE(kit::test::runUntil([&] {
    kit::render(*window);
    return page->repliesReceived() > 0 && !page->header()->isRefreshing() && page->view()->transform().tx == 0;
  }));
  auto sent = server->requestsTo(Lists::kNewsList).at(0);
  EXPECT_EQ(sent.formValue("gid"), "1001");
  EXPECT_EQ(sent.formValue("num"), "10");
  EXPECT_EQ(sent.formValue("pagecode"), "1");
  EXPECT_EQ(page->dataSource()->count(), 10u);

  kit::Weak<KTSuHomeMsgVC> weak = page;
  ASSERT_TRUE(kit::test::tap(page->backBtn()));
  ASSERT_TRUE(kit::test::runUntil([&] { return page->view()->superview() == nullptr; }));
  EXPECT_EQ(page->parentViewController(), nullptr);
  page.reset();
  EXPECT_TRUE(weak.expired());
}

TEST_F(Messages, RowsShowTagPictureAndTitleAndOpenTheirPage) {
  page = KTSuHomeMsgVC::loadMsgVC(*home);
  ASSERT_TRUE(kit::test::runUntil([&] {
    kit::render(*window);
    return page->repliesReceived() > 0 && !page->header()->isRefreshing();
  }));
  auto table = page->tableView();
  auto cell = kit::as<KTSuHomeMsgCell>(page->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0)));
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->imageW()->constant(), 70);
  EXPECT_FALSE(cell->iconView()->isHidden());
  EXPECT_TRUE(cell->tagL()->backgroundColor()->isEqual(*kit::Color::hex(0xEF5651)));
  EXPECT_EQ(cell->contentL()->text(), "           消息0");
  EXPECT_EQ(cell->timeL()->text(), "05-01");
  // The same cell reused for a message without a picture.
  cell->setModel(page->record<KTSuHomeMsgModel>(1));
  EXPECT_EQ(cell->imageW()->constant(), 0);
  EXPECT_TRUE(cell->iconView()->isHidden());
  EXPECT_TRUE(cell->tagL()->backgroundColor()->isEqual(*kit::Color::hex(0x5AB9FD)));

  page->didSelectRowAtIndexPath(*table, kit::IndexPath::forRow(3, 0));
  auto web = kit::as<KTSuWebVC>(container->childViewControllers().back());
  ASSERT_TRUE(web);
  EXPECT_EQ(web->url(), "http://127.0.0.1:9/news/3");
  EXPECT_EQ(kit::describe(web->name()), "消息详情");
}

}  // namespace
