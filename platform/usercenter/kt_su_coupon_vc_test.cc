// The coupon page: its switch bar, the two voucher lists and their rows,
// a switch while a list is loading, and a switch whose first page fails.
#include "platform/usercenter/kt_su_coupon_vc.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

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

// A voucher named by its game: "G3", "R12" ...
std::function<kit::Id(long)> named(const std::string& prefix) {
  return [prefix](long i) {
    return kit::dict({{"status", "0"},
                      {"gamename", kit::Id(kit::str(prefix + std::to_string(i)))},
                      {"av_time", "2024-06-30"},
                      {"use", "0"},
                      {"coupon_money", "10"},
                      {"pay_money", "98"}});
  };
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
  // Two pages of each set, named "G..." (usable) and "R..." (records).
  void setNamedPages() {
    lists->setPages(Lists::kCouponList, {Lists::records(0, 10, named("G")), Lists::records(10, 5, named("G"))});
    lists->setPages(Lists::kCouponLogList, {Lists::records(0, 10, named("R")), Lists::records(10, 5, named("R"))});
  }
  // The rows on show by name: "G0 G1 ...".
  std::string names() {
    std::string out;
    for (long row = 0; auto model = vc->record<KTSuCouponModel>(row); ++row) {
      out += (row ? " " : "") + kit::describe(model->gamename());
    }
    return out;
  }
  // The pages asked of an endpoint, in order: "112".
  std::string pagecodes(const char* endpoint) const {
    std::string out;
    for (const auto& sent : server->requestsTo(endpoint)) out += sent.formValue("pagecode").value_or("?");
    return out;
  }

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

TEST_F(Coupons, ASwitchWhoseFirstPageFailsShowsNoRowsOfTheOtherSetAndAsksForPageOneAgain) {
  setNamedPages();
  show();
  ASSERT_EQ(names(), "G0 G1 G2 G3 G4 G5 G6 G7 G8 G9");

  // The records' first page fails: the tab shows no voucher at all.
  server->enqueue(Lists::kCouponLogList, sim::PlatformAPIReply::bytes("<html>error</html>", 500));
  ASSERT_TRUE(kit::test::tap(title(101)));
  ASSERT_TRUE(waitForReplies(2));
  EXPECT_EQ(names(), "");
  EXPECT_EQ(vc->numberOfRowsInSection(*vc->tableView(), 0), 0);
  EXPECT_EQ(vc->tableView()->numberOfRowsInSection(0), 0);
  // The footer, as the player reaches it, asks for the records' page 1.
  vc->footer()->beginRefreshing();
  ASSERT_TRUE(waitForReplies(3));
  EXPECT_EQ(pagecodes(Lists::kCouponLogList), "11");
  EXPECT_EQ(names(), "R0 R1 R2 R3 R4 R5 R6 R7 R8 R9");
  vc->footer()->beginRefreshing();
  ASSERT_TRUE(waitForReplies(4));
  EXPECT_EQ(pagecodes(Lists::kCouponLogList), "112");
  EXPECT_EQ(vc->dataSource()->count(), 15u);
  EXPECT_EQ(vc->footer()->state(), KTRefreshState::NoMoreData);

  // Back to the usable vouchers, whose first page fails too: a pull-down
  // asks for their page 1.
  server->enqueue(Lists::kCouponList, sim::PlatformAPIReply::bytes("", 502));
  ASSERT_TRUE(kit::test::tap(title(100)));
  ASSERT_TRUE(waitForReplies(5));
  EXPECT_EQ(names(), "");
  EXPECT_EQ(vc->footer()->state(), KTRefreshState::Idle) << "the records' end is not the vouchers' end";
  vc->header()->beginRefreshing();
  ASSERT_TRUE(waitForReplies(6));
  EXPECT_EQ(pagecodes(Lists::kCouponList), "111");
  EXPECT_EQ(names(), "G0 G1 G2 G3 G4 G5 G6 G7 G8 G9");
  EXPECT_EQ(vc->footer()->state(), KTRefreshState::Idle);
}

TEST_F(Coupons, AMorePageOfTheOldSetComingAfterTheSwitchIsDropped) {
  setNamedPages();
  held = HeldListReplies::route(*server, *lists, Lists::kCouponList);
  const auto second = held->holdNext(2);
  show();
  vc->footer()->beginRefreshing();
  ASSERT_TRUE(kit::test::runUntil([&] { return held->isWaiting(second); }));
  server->enqueue(Lists::kCouponLogList, sim::PlatformAPIReply::bytes("<html>error</html>", 500));
  ASSERT_TRUE(kit::test::tap(title(101)));
  ASSERT_TRUE(waitForReplies(2));
  EXPECT_EQ(names(), "");
  held->release(second);
  ASSERT_TRUE(waitForReplies(3));
  EXPECT_EQ(names(), "") << "the usable vouchers' page 2 is not shown under the records";
  EXPECT_FALSE(vc->footer()->isRefreshing());
  vc->footer()->beginRefreshing();
  ASSERT_TRUE(waitForReplies(4));
  EXPECT_EQ(pagecodes(Lists::kCouponLogList), "11");
  EXPECT_EQ(names(), "R0 R1 R2 R3 R4 R5 R6 R7 R8 R9");
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
