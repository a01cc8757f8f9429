// The coupon picker against the platform service: what it asks for, how it
// lists the coupons it is given and what a tap on a card does; its layout
// on a phone and on a notched landscape screen; the game-box link; replies
// it must leave alone.
#include "platform/account/kt_coupons_vc.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "kit/dispatch/clock.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "platform/account/testing/kt_api_test_fixture.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

class CouponPicker : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    sim::PlatformAccount account;
    account.userName = "player01";
    sim::PlatformCoupon general{"57", "满10减2", "10", "2"};
    sim::PlatformCoupon bound{"C12", "新区专享", "50", "8", "2099-06-30", "12"};
    account.coupons = {general, bound};
    platform->addAccount(account);
    storeUserName("player01");
    for (const char* art : {"KT_coupon_close@2x.png", "KT_coupon_box@2x.png"}) copyArtwork(art);
    window->setRootViewController(game);
  }
  // A picture of the SDK's resource bundle into the test's bundle.
  void copyArtwork(const std::string& name) {
    std::ifstream in(std::string(PLATFORM_RESOURCES_DIR) + "/VIROV.bundle/" + name, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << name;
    ASSERT_TRUE(bundle.addFile("VIROV.bundle/" + name, bytes));
  }
  void TearDown() override {
    game.reset();
    PlatformAPITest::TearDown();
  }

  // A picker of the pay sheet's storyboard for `money`, presented over the
  // game; waits for the first reply.
  kit::Ref<KTCouponsVC> open(const char* money, bool withBlock = true) {
    auto picker = std::dynamic_pointer_cast<KTCouponsVC>(
        kit::Storyboard::named(KTCouponsVC::kStoryboard)->instantiateViewController(KTCouponsVC::kIdentifier));
    EXPECT_TRUE(picker);
    if (!picker) return nullptr;
    picker->setMoney(kit::str(money));
    if (withBlock) {
      picker->setCouponsBlock([this](const kit::Ref<KTCouponsModel>& model) { chosen.push_back(model); });
    }
    EXPECT_TRUE(game->presentViewController(picker, true));
    clock.advance(kit::ViewController::TransitionDuration);
    EXPECT_TRUE(kit::test::runUntil([&] { return logs.contains("结果 = "); }));
    return picker;
  }
  std::vector<kit::Ref<KTCouponsCell>> cells(KTCouponsVC& picker) {
    std::vector<kit::Ref<KTCouponsCell>> out;
    for (const auto& cell : picker.tableView()->visibleCells()) out.push_back(std::dynamic_pointer_cast<KTCouponsCell>(cell));
    return out;
  }
  kit::Pixel pixelAtCentreOf(const kit::View& view) {
    const kit::Rect frame = kit::test::frameInWindow(view);
    const double scale = kit::Screen::main()->scale();
    return kit::render(*window)->pixelAt(static_cast<int>((frame.midX()) * scale),
                                         static_cast<int>((frame.origin.y + 4) * scale));
  }
  bool dismissed() {
    clock.advance(kit::ViewController::TransitionDuration);
    return !game->presentedViewController();
  }

  kit::VirtualClock clock;
  kit::test::LogCapture logs;
  kit::Ref<kit::ViewController> game = kit::ViewController::make();
  std::vector<kit::Ref<KTCouponsModel>> chosen;
};

TEST_F(CouponPicker, ListsTheServersCouponsAndHandsBackTheOneChosen) {
  auto picker = open("30");
  auto sent = sentTo("pay/getcoupons");
  EXPECT_EQ(keysOf(sent), "b,e,f,mm,z");
  EXPECT_EQ(d(sent["z"]), "player01");
  EXPECT_EQ(d(sent["b"]), "10001");
  EXPECT_EQ(d(sent["e"]), "1001");
  EXPECT_EQ(d(sent["f"]), d(ShareVale::sharedInstance()->chanelid()));
  EXPECT_EQ(d(sent["mm"]), "30");

  ASSERT_EQ(picker->dataSource()->count(), 2u);
  auto first = kit::as<KTCouponsModel>(picker->dataSource()->objectAtIndex(0));
  EXPECT_EQ(d(first->cid()), "57") << "the server's number comes back as text";
  auto shown = cells(*picker);
  ASSERT_EQ(shown.size(), 2u);
  const auto& general = *shown[0];
  EXPECT_EQ(general.nameL()->text(), "满10减2");
  EXPECT_EQ(general.couponsL()->text(), "2元");
  EXPECT_EQ(general.moneyL()->text(), "满10元可用");
  EXPECT_EQ(general.timeL()->text(), "有效期:2099-12-31");
  EXPECT_EQ(general.showL()->text(), "通用券");
  EXPECT_TRUE(general.btn()->isEnabled());
  const auto& bound = *shown[1];
  EXPECT_EQ(bound.showL()->text(), "专用券");
  EXPECT_FALSE(bound.btn()->isEnabled()) << "50 yuan at least, the order is 30";
  EXPECT_EQ(pixelAtCentreOf(*general.btn()), (kit::Pixel{48, 146, 246, 255}));
  EXPECT_EQ(pixelAtCentreOf(*bound.btn()), (kit::Pixel{170, 170, 170, 255}));
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/coupon_picker.png");

  // The grey button chooses nothing; the blue one chooses once and closes.
  kit::test::tap(bound.btn());
  EXPECT_TRUE(chosen.empty());
  EXPECT_EQ(game->presentedViewController(), picker);
  kit::test::tap(general.btn());
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], first);
  EXPECT_TRUE(dismissed());
  EXPECT_EQ(chosen.size(), 1u);
}

TEST_F(CouponPicker, TheListFillsThePanelBelowItsTitle) {
  auto picker = open("60");
  const auto table = picker->tableView();
  EXPECT_EQ(table->superview(), picker->couponsView());
  EXPECT_EQ(table->frame(), (kit::Rect{0, 45, 375, 667 - 195}));
  EXPECT_EQ(table->rowHeight(), 100);
  EXPECT_EQ(table->contentInset().bottom, 50);
  EXPECT_EQ(table->separatorStyle(), kit::TableViewSeparatorStyle::None);
  const kit::RGBA background = table->backgroundColor()->rgbaComponents();
  EXPECT_EQ(std::lround(background.red * 255), 240);
  EXPECT_EQ(std::lround(background.blue * 255), 240);
  EXPECT_EQ(picker->left()->constant(), 10);
  EXPECT_EQ(kit::test::frameInWindow(*picker->couponsView()), (kit::Rect{10, 75, 355, 667 - 150}));
  EXPECT_TRUE(picker->shouldAutorotate() == false);
  // Both coupons can be used for 60.
  for (const auto& cell : cells(*picker)) EXPECT_TRUE(cell->btn()->isEnabled());
}

TEST_F(CouponPicker, ANotchedLandscapeScreenMovesThePanelInward) {
  kit::DeviceProfileScope notched{kit::DeviceProfile::notched812x375()};
  window = kit::Window::make();
  window->setRootViewController(game);
  window->makeKeyAndVisible();
  auto picker = open("30");
  EXPECT_EQ(picker->left()->constant(), 40);
  EXPECT_EQ(picker->tableView()->frame(), (kit::Rect{0, 45, 812, 375 - 195}));
  EXPECT_EQ(kit::test::frameInWindow(*picker->couponsView()).origin.x, 40);
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/coupon_picker_notched.png");
}

TEST_F(CouponPicker, RepliesOtherThanAListChangeNothing) {
  auto picker = open("30");
  ASSERT_EQ(picker->dataSource()->count(), 2u);
  // Another code, no dictionary, items of other kinds, a text code.
  picker->handleCouponsReply(kit::dict({{"code", 0}, {"data", kit::array({kit::dict({{"cid", 1}})})}}));
  picker->handleCouponsReply(kit::array({1}));
  picker->handleCouponsReply(nullptr);
  picker->handleCouponsReply(kit::dict({{"code", "1"}, {"data", kit::array({"x", 5, kit::dict({{"cid", "9"}})})}}));
  ASSERT_EQ(picker->dataSource()->count(), 3u) << "only the dictionary is a coupon";
  EXPECT_EQ(d(kit::as<KTCouponsModel>(picker->dataSource()->objectAtIndex(2))->cid()), "9");
  EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 3);

  // A failed request, then an empty list: nothing changes.
  server->setFault("pay/getcoupons", sim::RouteFault::CloseConnection);
  picker->loadData();
  ASSERT_TRUE(waitForCalls("pay/getcoupons", 2));
  server->setFault("pay/getcoupons", sim::RouteFault::None);
  server->enqueue("pay/getcoupons", sim::PlatformAPIReply::scrambled(kit::dict({{"code", 1}, {"data", kit::array({})}})));
  const size_t logged = logs.messages().size();
  picker->loadData();
  ASSERT_TRUE(kit::test::runUntil([&] { return logs.messages().size() > logged && logs.contains("结果 = "); }));
  EXPECT_EQ(picker->dataSource()->count(), 3u);
}

TEST_F(CouponPicker, OnlyAnAvOfOneMakesACouponUsable) {
  // "av" as the server may send it: the text "1" or the number 1 is usable,
  // every other value is not.
  const kit::Id values[] = {kit::str("1"), kit::num(1), kit::str("0"), kit::str("2"), kit::str("01"),
                            kit::str(" 1"), kit::str(""), kit::Null::null(), nullptr};
  const bool usable[] = {true, true, false, false, false, false, false, false, false};
  auto items = kit::MutableArray::make();
  for (const kit::Id& av : values) {
    auto item = kit::MutableDictionary::make();
    item->setObject(kit::str("57"), std::string_view("cid"));
    item->setObject(kit::str("2"), std::string_view("coupon_money"));
    if (av) item->setObject(av, std::string_view("av"));
    items->addObject(item);
  }
  server->enqueue("pay/getcoupons", sim::PlatformAPIReply::scrambled(kit::dict({{"code", "1"}, {"data", items}})));
  auto picker = open("30");
  ASSERT_EQ(picker->dataSource()->count(), std::size(values));
  for (size_t row = 0; row < std::size(values); ++row) {
    auto cell = std::dynamic_pointer_cast<KTCouponsCell>(
        picker->cellForRowAtIndexPath(*picker->tableView(), kit::IndexPath::forRow(static_cast<long>(row), 0)));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->btn()->isEnabled(), usable[row]) << "av " << d(values[row]);
    // The lines of the values these coupons leave out stay empty.
    EXPECT_EQ(cell->couponsL()->text(), "2元");
    EXPECT_EQ(cell->moneyL()->text(), "");
    EXPECT_EQ(cell->timeL()->text(), "");
  }
}

TEST_F(CouponPicker, AnEmptyListShowsNoRows) {
  server->enqueue("pay/getcoupons", sim::PlatformAPIReply::scrambled(kit::dict({{"code", "1"}, {"data", kit::array({})}})));
  auto picker = open("30");
  EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 0);
  EXPECT_TRUE(cells(*picker).empty());
}

TEST_F(CouponPicker, CancelAndATapWithoutABlockChooseNothing) {
  auto picker = open("30", false);
  kit::test::tap(cells(*picker)[0]->btn());
  EXPECT_EQ(game->presentedViewController(), picker) << "no block: the tap does nothing";
  kit::test::tap(picker->closeButton());
  EXPECT_TRUE(dismissed());

  auto second = open("30");
  kit::test::tap(second->closeButton());
  EXPECT_TRUE(dismissed());
  EXPECT_TRUE(chosen.empty());
}

TEST_F(CouponPicker, TheGameBoxLinkOpensTheAppOrItsPageAndCloses) {
  auto app = kit::Application::shared();
  auto picker = open("30");
  kit::test::tap(picker->boxButton());
  EXPECT_TRUE(dismissed());
  ASSERT_EQ(app->openedURLs().size(), 1u);
  EXPECT_EQ(app->openedURLs()[0], server->origin() + "/cdcloud/welcome/box?ag=" + d(ShareVale::sharedInstance()->chanelid()));

  app->addInstalledScheme("vexobox");
  picker = open("30");
  kit::test::tap(picker->boxButton());
  EXPECT_TRUE(dismissed());
  ASSERT_EQ(app->openedURLs().size(), 2u);
  EXPECT_EQ(app->openedURLs()[1], "vexoBox://");
}

TEST_F(CouponPicker, AReplyAfterThePickerIsGoneChangesNothing) {
  kit::Weak<KTCouponsVC> weak;
  {
    auto picker = std::dynamic_pointer_cast<KTCouponsVC>(
        kit::Storyboard::named(KTCouponsVC::kStoryboard)->instantiateViewController(KTCouponsVC::kIdentifier));
    picker->setMoney(kit::str("30"));
    picker->loadViewIfNeeded();  // asks the server
    weak = picker;
  }
  EXPECT_TRUE(weak.expired()) << "the request does not keep the picker";
  ASSERT_TRUE(waitForCalls("pay/getcoupons", 1));
  // A later picker's answer comes back; the first one's finds nobody.
  auto picker = open("30");
  EXPECT_EQ(picker->dataSource()->count(), 2u);
}

}  // namespace
