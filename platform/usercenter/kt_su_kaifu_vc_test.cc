// The server-openings page: its strip, its two lists made when first
// reached, the dynamic-opening note, its rows and its table's size.
#include "platform/usercenter/kt_su_kaifu_vc.h"

#include <gtest/gtest.h>

#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/font.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/usercenter/kt_kaifu_cell.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_lists.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id opening(long i) {
  std::string name = i == 2 ? "一个很长很长很长的服务器名字第二区" : "S" + std::to_string(i);
  return kit::dict({{"servername", kit::Id(kit::str(name))}, {"day", "05-01"}, {"hour", "10:00"}});
}

class KaiFu : public UserCentreTest {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
  void SetUp() override {
    UserCentreTest::SetUp();
    lists = std::make_unique<Lists>(*server);
    lists->setServerPages("1", {Lists::records(1, 10, opening), Lists::records(11, 10, opening)});
    lists->setServerPages("0", {Lists::records(31, 3, opening)});
  }
  void TearDown() override {
    vc.reset();
    UserCentreTest::TearDown();
    lists.reset();
  }
  void show() {
    vc = kit::as<KTSuKaiFuVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, "KTSuKaiFuVC"));
    ASSERT_TRUE(vc);
    window->addSubview(vc->view());
    ASSERT_TRUE(firstPage(0));
  }
  // Draws until the list's header has started its first load, then waits
  // for the rows.
  bool firstPage(size_t index) {
    auto list = vc->list(index);
    return kit::test::runUntil([&] {
      kit::render(*window);
      return list->isViewLoaded() && list->repliesReceived() > 0 && !list->header()->isRefreshing();
    });
  }
  std::vector<std::string> displays() const {
    std::vector<std::string> out;
    for (auto& r : server->requestsTo(Lists::kServerList)) out.push_back(r.formValue("is_display").value_or("?"));
    return out;
  }
  bool selected(long index) { return vc->tabView()->item(index)->backgroundColor()->isEqual(*kit::Color::hex(0xFF7F00)); }

  std::unique_ptr<Lists> lists;
  kit::Ref<KTSuKaiFuVC> vc;
};

TEST_F(KaiFu, TheStripAndOnlyTheFirstListAtStart) {
  show();
  auto tab = vc->tabView();
  EXPECT_EQ(tab->frame(), (kit::Rect{0, 0, 150, 30}));
  EXPECT_EQ(tab->layer()->cornerRadius(), 15);
  EXPECT_EQ(tab->item(0)->currentTitle(), "已开服");
  EXPECT_EQ(tab->item(1)->currentTitle(), "即将开服");
  EXPECT_TRUE(tab->item(1)->titleColor(kit::ControlStateNormal)->isEqual(*kit::Color::hex(0xFF7F00)));
  EXPECT_TRUE(tab->item(1)->backgroundColor()->isEqual(*kit::Color::whiteColor()));
  EXPECT_TRUE(selected(0));
  EXPECT_EQ(vc->scrollView()->contentSize().width, 600);
  EXPECT_TRUE(vc->scrollView()->isPagingEnabled());
  EXPECT_FALSE(vc->list(1)->isViewLoaded());
  EXPECT_EQ(displays(), (std::vector<std::string>{"1"}));
  EXPECT_EQ(vc->list(0)->dataSource()->count(), 10u);
}

TEST_F(KaiFu, TappingTheSecondItemLoadsItsListOnceTheScrollHasEndedAndSwipingBackRecolours) {
  show();
  ASSERT_TRUE(kit::test::tap(vc->tabView()->item(1)));
  EXPECT_EQ(vc->tabIndex(), 1u);
  EXPECT_FALSE(vc->list(1)->isViewLoaded());
  ASSERT_TRUE(firstPage(1));
  EXPECT_EQ(vc->list(1)->view()->frame(), (kit::Rect{300, 0, 300, vc->scrollView()->bounds().size.height}));
  EXPECT_EQ(displays(), (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(vc->list(1)->dataSource()->count(), 3u);

  ASSERT_TRUE(kit::test::tap(vc->tabView()->item(1)));
  EXPECT_EQ(vc->scrollView()->contentOffset().x, 300);

  // Back to the first list by a swipe: the strip follows, the list stays.
  vc->scrollView()->setContentOffset(kit::Point{0, 0});
  vc->scrollViewDidEndDecelerating(*vc->scrollView());
  EXPECT_EQ(vc->tabIndex(), 0u);
  EXPECT_TRUE(selected(0));
  EXPECT_FALSE(selected(1));
  EXPECT_EQ(displays().size(), 2u);
}

TEST_F(KaiFu, AScrollViewWithoutWidthPlacesTheFirstList) {
  show();
  vc->scrollView()->setFrame(kit::Rect{0, 50, 0, 100});
  vc->scrollView()->setContentOffset(kit::Point{900, 0});
  vc->scrollViewDidEndDecelerating(*vc->scrollView());
  EXPECT_EQ(vc->tabIndex(), 0u);
  vc->scrollView()->setFrame(kit::Rect{0, 50, 300, 100});
  vc->scrollView()->setContentOffset(kit::Point{5000, 0});
  vc->scrollViewDidEndDecelerating(*vc->scrollView());
  EXPECT_EQ(vc->tabIndex(), 1u);
  EXPECT_TRUE(vc->list(1)->isViewLoaded());
}

TEST_F(KaiFu, TheDynamicNoteFollowsTheFirstPageOnly) {
  lists->setServerAuto(true);
  lists->setServerPages("1", {kit::Array::make(), Lists::records(11, 10, opening)});
  show();
  auto list = vc->list(0);
  EXPECT_FALSE(list->showL()->isHidden());
  EXPECT_EQ(list->showL()->text(), "—— 此游戏为动态开服 ——");
  EXPECT_EQ(list->showL()->frame(), (kit::Rect{0, 10, 300, 20}));
  EXPECT_EQ(list->tableView()->numberOfRowsInSection(0), 0);
  lists->setServerAuto(false);
  const auto before = list->repliesReceived();
  list->loadMoreData();
  ASSERT_TRUE(kit::test::runUntil([&] { return list->repliesReceived() > before; }));
  EXPECT_EQ(list->dataSource()->count(), 10u);
  EXPECT_FALSE(list->showL()->isHidden());
}

TEST_F(KaiFu, RowsAlternateAndAreAsHighAsTheServerName) {
  show();
  auto list = vc->list(0);
  auto table = list->tableView();
  auto font = kit::Font::systemFont(14);
  auto model = list->record<KTSuKaifuModel>(1);
  const double expected = UIViewLabelHeight::getLabelHeightByWidth(100, model->servername()->utf8(), font) + 20;
  EXPECT_GT(expected, UIViewLabelHeight::getLabelHeightByWidth(100, "S1", font) + 20);
  EXPECT_EQ(list->heightForRowAtIndexPath(*table, kit::IndexPath::forRow(1, 0)), expected);
  EXPECT_EQ(model->height(), expected);
  model->setServername(kit::str("S"));
  EXPECT_EQ(list->heightForRowAtIndexPath(*table, kit::IndexPath::forRow(1, 0)), expected);

  auto even = kit::as<KTKaifuCell>(list->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(0, 0)));
  auto odd = kit::as<KTKaifuCell>(list->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(3, 0)));
  ASSERT_TRUE(even && odd);
  EXPECT_TRUE(even->backgroundColor()->isEqual(*kit::Color::whiteColor()));
  EXPECT_TRUE(odd->backgroundColor()->isEqual(*kit::Color::rgba(0.941, 0.941, 0.941, 1)));
  EXPECT_EQ(odd->serverL()->text(), "S4");
  EXPECT_EQ(odd->dayL()->text(), "05-01");
  EXPECT_EQ(odd->timeL()->text(), "10:00");
}

TEST(KaiFuTable, HeightFollowsTheScreenAndTheBar) {
  {
    kit::DeviceProfileScope notched{kit::DeviceProfile::notched812x375()};
    auto window = kit::Window::make();
    window->makeKeyAndVisible();
    EXPECT_EQ(KTKaifuBaseVC::make("1")->tableView()->frame(), (kit::Rect{0, 0, 300, 145}));
  }
  {
    kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
    auto window = kit::Window::make();
    window->makeKeyAndVisible();
    EXPECT_EQ(KTKaifuBaseVC::make("1")->tableView()->frame(), (kit::Rect{0, 0, 300, 432}));
  }
}

}  // namespace
