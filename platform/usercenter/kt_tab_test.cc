// The user centre's segmented switch.
#include "platform/usercenter/kt_tab.h"

#include <gtest/gtest.h>

#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

class Recorder : public kit::Object, public KTTabDelegate {
 public:
  void tabDidSelectedItemNumber(KTTab&, long index) override { taps.push_back(index); }
  std::vector<long> taps;
};

class Tab : public ::testing::Test {
 protected:
  void SetUp() override {
    window = kit::Window::make();
    window->makeKeyAndVisible();
    recorder = kit::make<Recorder>();
  }
  kit::Ref<KTTab> strip(std::vector<std::string> titles, double width = 150) {
    auto tab = KTTab::initWithFrame(kit::Rect{10, 10, width, 30}, 1.0, kit::Color::hex(0xFF7F00));
    tab->setItemsWithTitle(titles, white, orange, orange, white, 14, 0);
    tab->setDelegate(recorder);
    window->addSubview(tab);
    return tab;
  }
  static bool selected(const kit::Ref<kit::Button>& button) {
    return button->backgroundColor()->isEqual(*orange) && button->titleColor(kit::ControlStateNormal)->isEqual(*white);
  }

  static inline const kit::Ref<kit::Color> white = kit::Color::whiteColor();
  static inline const kit::Ref<kit::Color> orange = kit::Color::hex(0xFF7F00);
  kit::Ref<kit::Window> window;
  kit::Ref<Recorder> recorder;
};

TEST_F(Tab, OnlyTheFullInitialiserMakesAStripWithItsBorder) {
  EXPECT_EQ(KTTab::init(), nullptr);
  EXPECT_EQ(KTTab::initWithFrame(kit::Rect{0, 0, 150, 30}), nullptr);
  auto tab = strip({"已开服", "即将开服"});
  EXPECT_TRUE(tab->layer()->masksToBounds());
  EXPECT_EQ(tab->layer()->borderWidth(), 1.0);
  EXPECT_TRUE(tab->layer()->borderColor()->isEqual(*orange));
}

TEST_F(Tab, ItemsShareTheWidthWithSeparatorsOnTheSeams) {
  auto tab = strip({"已开服", "即将开服"});
  ASSERT_EQ(tab->subviews().size(), 3u);
  EXPECT_EQ(tab->item(0)->frame(), (kit::Rect{0, 0, 75, 30}));
  EXPECT_EQ(tab->item(1)->frame(), (kit::Rect{75, 0, 75, 30}));
  EXPECT_EQ(tab->item(1)->tag(), 1001);
  EXPECT_EQ(tab->item(0)->currentTitle(), "已开服");
  auto bar = tab->subviews().back();
  EXPECT_EQ(bar->tag(), 0);
  EXPECT_EQ(bar->frame(), (kit::Rect{74.5, 0, 1, 30}));
  EXPECT_TRUE(bar->backgroundColor()->isEqual(*orange));
  EXPECT_TRUE(selected(tab->item(0)));
  EXPECT_FALSE(selected(tab->item(1)));

  auto one = strip({"全部"});
  ASSERT_EQ(one->subviews().size(), 1u);
  EXPECT_EQ(one->item(0)->frame(), (kit::Rect{0, 0, 150, 30}));
  EXPECT_TRUE(strip({})->subviews().empty());
}

TEST_F(Tab, EveryTapTellsTheDelegateWhileSettingTheStateDoesNot) {
  auto tab = strip({"a", "b", "c"}, 180);
  ASSERT_TRUE(kit::test::tap(tab->item(2)));
  EXPECT_TRUE(selected(tab->item(2)));
  EXPECT_FALSE(selected(tab->item(0)));
  ASSERT_TRUE(kit::test::tap(tab->item(2)));
  EXPECT_EQ(recorder->taps, (std::vector<long>{2, 2}));

  tab->setTabStateIndex(1);
  EXPECT_TRUE(selected(tab->item(1)));
  EXPECT_FALSE(selected(tab->item(2)));
  tab->setTabStateIndex(7);
  for (long i = 0; i < 3; ++i) EXPECT_FALSE(selected(tab->item(i)));
  EXPECT_EQ(recorder->taps.size(), 2u);
}

}  // namespace
