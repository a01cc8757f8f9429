// The coupon page: its switch bar, the two voucher lists and their rows,
// and a switch while a list is loading.
#include "platform/usercenter/kt_su_coupon_vc.h"

#include <gtest/gtest.h>

#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/usercenter/kt_su_coupon_cell.h"
#include "platform/usercenter/testing/held_list_replies.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_lists.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id voucher(long i) {
  return kit::dict({{"status", i == 1 ? "1" : "0"},
                    {"gamename", "仙侠"},
                    {"av_time", "2024-06-30"},
                    {"use", kit::Id(kit::str(std::to_string(i % 3)))},
                    {"coupon_money", "10"},
                    {"pay_money", "98"}});
}

class Coupons : public UserCentreTest {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
  void SetUp() override {
    UserCentreTest::SetUp();
    for (const char* stamp : {"end", "0", "2"}) {
      bundle.addFile(std::string("VIROV.bundle/KT_suCouponState_") + stamp + ".png",
                     PlatformTestBundle::solidPNG(60, 60, 200, 40, 40));
    }
    lists = std::make_unique<Lists>(*server);
    lists->setPages(Lists::kCouponList, {Lists::records(0, 4, voucher)});
    lists->setPages(Lists::kCouponLogList, {Lists::records(0, 7, voucher)});
  }
  void TearDown() override {
    if (held) held->releaseAll();
    vc.reset();
    UserCentreTest::TearDown();
    lists.reset();
  }
  void show() {
    vc = KTSuCouponVC::make();
    window->addSubview(vc->view());
    ASSERT_TRUE(waitForReplies(1));
  }
  bool waitForReplies(unsigned long n) {
    return kit::test::runUntil([&] {
      kit::render(*window);
      return vc->repliesReceived() >= n && !vc->header()->isRefreshing();
    });
  }
  kit::Ref<kit::Button> title(long tag) { return kit::as<kit::Button>(vc->midView()->viewWithTag(tag)); }

  std::unique_ptr<Lists> lists;
  std::shared_ptr<HeldListReplies> held;
  kit::Ref<KTSuCouponVC> vc;
};

TEST_F(Coupons, TheBarStartsOnTheUsableVouchers) {
  show();
  EXPECT_EQ(vc->midView()->frame(), (kit::Rect{0, 0, 300, 40}));
  auto usable = title(100);
  auto record = title(101);
  ASSERT_TRUE(usable && record);
  EXPECT_EQ(usable->currentTitle(), "可用代金券");
  EXPECT_EQ(record->currentTitle(), "全部记录");
  EXPECT_FALSE(usable->isEnabled());
  EXPECT_TRUE(record->isEnabled());
  EXPECT_EQ(vc->chooseBtn(), usable);
  EXPECT_EQ(usable->frame(), (kit::Rect{0, 0, 150, 40}));
  EXPECT_EQ(usable->titleLabel()->font()->pointSize(), 18);
  EXPECT_TRUE(usable->titleColor(kit::ControlStateDisabled)->isEqual(*kit::Color::hex(0xFF7F00)));
  EXPECT_TRUE(record->titleColor(kit::ControlStateNormal)->isEqual(*kit::Color::blackColor()));
  auto indicator = vc->indicator();
  const double width = usable->titleLabel()->frame().size.width;
  EXPECT_GT(width, 0);
  EXPECT_EQ(indicator->frame(), (kit::Rect{75 - width / 2, 38, width, 2}));
  EXPECT_EQ(vc->midView()->subviews().back(), indicator);

  auto sent = server->requestsTo(Lists::kCouponList).at(0);
  EXPECT_EQ(sent.formValue("username"), "player01");
  EXPECT_EQ(sent.formValue("pagecode"), "1");
  EXPECT_EQ(vc->dataSource()->count(), 4u);
}

TEST_F(Coupons, TheOtherTitleMovesTheIndicatorAndReloadsTheRecords) {
  show();
  auto record = title(101);
  ASSERT_TRUE(kit::test::tap(record));
  EXPECT_FALSE(record->isEnabled());
  EXPECT_TRUE(title(100)->isEnabled());
  auto move = vc->indicator()->layer()->animationForKey("position");
  ASSERT_TRUE(move);
  EXPECT_EQ(move->duration(), 0.25);
  const double width = record->titleLabel()->frame().size.width;
  EXPECT_EQ(vc->indicator()->frame(), (kit::Rect{225 - width / 2, 38, width, 2}));
  ASSERT_TRUE(waitForReplies(2));
  EXPECT_EQ(server->requestsTo(Lists::kCouponLogList).at(0).formValue("pagecode"), "1");
  EXPECT_EQ(vc->dataSource()->count(), 7u);

  ASSERT_TRUE(kit::test::tap(record));
  kit::render(*window);
  EXPECT_EQ(server->requestsTo(Lists::kCouponLogList).size(), 1u);
  EXPECT_EQ(server->requestsTo(Lists::kCouponList).size(), 1u);
}

TEST_F(Coupons, ASwitchDuringTheFirstLoadShowsTheChosenSet) {
  // The usable vouchers are still on their way when the player switches,
  // and come back after the records.
  held = HeldListReplies::route(*server, *lists, Lists::kCouponList);
  const auto usable = held->holdNext(1);
  vc = KTSuCouponVC::make();
  window->addSubview(vc->view());
  ASSERT_TRUE(kit::test::runUntil([&] {
    kit::render(*window);
    return held->isWaiting(usable);
  }));
  ASSERT_TRUE(kit::test::tap(title(101)));
  ASSERT_TRUE(kit::test::runUntil([&] { return vc->dataSource()->count() == 7; }));
  EXPECT_EQ(server->requestsTo(Lists::kCouponLogList).size(), 1u);
  held->release(usable);
  ASSERT_TRUE(waitForReplies(2));
  EXPECT_EQ(vc->dataSource()->count(), 7u) << "the records stay";
  EXPECT_FALSE(vc->header()->isRefreshing());
  EXPECT_EQ(vc->chooseBtn(), title(101));
}

TEST_F(Coupons, RowsShowTheVoucherAndItsStamp) {
  show();
  auto table = vc->tableView();
  EXPECT_EQ(table->frame(), (kit::Rect{0, 40, 300, 148}));
  EXPECT_EQ(table->rowHeight(), 93);
  auto row = [&](long i) {
    return kit::as<KTSuCouponCell>(vc->cellForRowAtIndexPath(*table, kit::IndexPath::forRow(i, 0)));
  };
  auto first = row(0);
  EXPECT_EQ(first->nameL()->text(), "仙侠");
  EXPECT_EQ(first->timeL()->text(), "· 有效期：2024-06-30");
  EXPECT_EQ(first->moneyL()->text(), "· 满98元可用");
  EXPECT_EQ(first->couponL()->text(), "10");
  EXPECT_EQ(KTSuCouponCell::stampName(*first->model()), "KT_suCouponState_0.png");
  EXPECT_TRUE(first->stateImageView()->image());
  // Ended, whatever its use.
  EXPECT_EQ(KTSuCouponCell::stampName(*row(1)->model()), "KT_suCouponState_end.png");
  EXPECT_TRUE(row(1)->stateImageView()->image());
  // A stamp the bundle lacks.
  auto missing = row(3);
  missing->model()->setStatus(kit::str("0"));
  missing->model()->setUse(kit::str("9"));
  missing->setModel(missing->model());
  EXPECT_FALSE(missing->stateImageView()->image());
}

TEST(CouponTable, HeightFollowsTheScreenAndTheBar) {
  for (auto [profile, height] : std::vector<std::pair<kit::DeviceProfile, double>>{
           {kit::DeviceProfile::notched812x375(), 148}, {kit::DeviceProfile::phone375x667(), 435}}) {
    kit::DeviceProfileScope scope{profile};
    auto window = kit::Window::make();
    window->makeKeyAndVisible();
    EXPECT_EQ(KTSuCouponVC::make()->tableView()->frame(), (kit::Rect{0, 40, 300, height}));
  }
}

}  // namespace
