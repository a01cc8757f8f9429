// The welfare page: its gift-pack rows, claims against the simulator's
// "Card/receive", copying a code, and its tables' sizes.
#include "platform/usercenter/kt_su_welfare_vc.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/foundation/json_serialization.h"
#include "kit/testing/run_until.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/font.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_gift_cells.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_lists.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id pack(std::string id, std::string percentage, std::string status, std::string code = "") {
  return kit::dict({{"ID", kit::Id(kit::str(id))},
                    {"name", kit::Id(kit::str("礼包" + id))},
                    {"excerpt", "金币x1000，强化石x10，经验药水x5，一段足够长会折行的礼包内容说明"},
                    {"getstatus", kit::Id(kit::str(status))},
                    {"code", kit::Id(kit::str(code))},
                    {"part_num", "12"},
                    {"percentage", kit::Id(kit::str(percentage))},
                    {"instructions", "进入游戏后在设置中兑换"}});
}

class Welfare : public UserCentreTest {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
  void SetUp() override {
    UserCentreTest::SetUp();
    lists = std::make_unique<Lists>(*server);
    lists->setPages(Lists::kGiftList, {kit::Array::make({pack("7", "0", "1"), pack("8", "0", "0"), pack("9", "35", "0"),
                                                         pack("10", "50", "1", "CODE-10")})});
  }
  void TearDown() override {
    vc.reset();
    UserCentreTest::TearDown();
    lists.reset();
  }
  void show() {
    vc = kit::as<KTSuWelfareVC>(kit::SceneRegistry::shared().instantiate(KTSuspendVC::Storyboard, "KTSuWelfareVC"));
    ASSERT_TRUE(vc);
    window->addSubview(vc->view());
    list = vc->list();
    ASSERT_TRUE(waitForReplies(1));
  }
  bool waitForReplies(unsigned long n) {
    return kit::test::runUntil([&] {
      kit::render(*window);
      return list->isViewLoaded() && list->repliesReceived() >= n && !list->header()->isRefreshing();
    });
  }
  kit::Ref<kit::TableViewCell> row(long i) {
    return list->cellForRowAtIndexPath(*list->tableView(), kit::IndexPath::forRow(i, 0));
  }
  double height(long i) { return *list->heightForRowAtIndexPath(*list->tableView(), kit::IndexPath::forRow(i, 0)); }

  std::unique_ptr<Lists> lists;
  kit::Ref<KTSuWelfareVC> vc;
  kit::Ref<KTWelfareBaseVC> list;
};

TEST_F(Welfare, TheListRequestAndTheRows) {
  show();
  auto sent = server->requestsTo(Lists::kGiftList).at(0);
  EXPECT_EQ(sent.formValue("gid"), "1001");
  EXPECT_EQ(sent.formValue("username"), "player01");
  EXPECT_EQ(sent.formValue("pagecode"), "1");
  ASSERT_EQ(list->dataSource()->count(), 4u);

  auto claimed = kit::as<KTGetGiftCell>(row(0));
  ASSERT_TRUE(claimed);
  EXPECT_FALSE(claimed->getBtn()->isEnabled());
  EXPECT_EQ(claimed->getBtn()->currentTitle(), "已领取");
  auto gone = kit::as<KTGetGiftCell>(row(1));
  EXPECT_FALSE(gone->getBtn()->isEnabled());
  EXPECT_EQ(gone->getBtn()->currentTitle(), "已抢完");
  auto open = kit::as<KTGetGiftCell>(row(2));
  EXPECT_TRUE(open->getBtn()->isEnabled());
  EXPECT_EQ(open->lineView()->frame().size.width, 52.5);
  EXPECT_EQ(open->residueL()->text(), "剩余:35%");
  EXPECT_EQ(open->countL()->text(), "已有12人领取");
  EXPECT_EQ(open->typeL()->text(), "礼包9");
  auto code = kit::as<KTCopyGiftCell>(row(3));
  ASSERT_TRUE(code);
  EXPECT_EQ(code->codeL()->text(), "CODE-10");

  auto model = list->record<KTSuGiftModel>(2);
  const double H = UIViewLabelHeight::getLabelHeightByWidth(205, model->excerpt()->utf8(), kit::Font::systemFont(12));
  EXPECT_EQ(height(2), H + 99);
  EXPECT_EQ(height(3), H + 84.5);
  model->setExcerpt(kit::str("短"));
  EXPECT_EQ(height(2), H + 99);
}

TEST_F(Welfare, TheBarStaysOnItsTrack) {
  auto cell = KTGetGiftCell::make();
  auto model = kit::make<KTSuGiftModel>();
  for (auto [percentage, width] : std::vector<std::pair<const char*, double>>{
           {"100", 150}, {"250", 150}, {"-20", 0}, {"abc", 0}, {"nan", 0}, {"1e40", 150}}) {
    model->setPercentage(kit::str(percentage));
    cell->setModel(model);
    EXPECT_EQ(cell->lineView()->frame().size.width, width) << percentage;
  }
}

TEST_F(Welfare, AClaimShowsTheMessageAndReloadsSoThePackShowsItsCode) {
  show();
  auto open = kit::as<KTGetGiftCell>(row(2));
  window->addSubview(open);
  ASSERT_TRUE(kit::test::tap(open->getBtn()));
  ASSERT_TRUE(waitForReplies(2));
  auto claim = server->requestsTo(Lists::kGiftClaim).at(0);
  EXPECT_EQ(kit::describe(kit::Id(claim.parameters)["username"]), "player01");
  EXPECT_EQ(kit::describe(kit::Id(claim.parameters)["cardid"]), "9");
  EXPECT_TRUE(kit::test::findLabel(*list->view(), "领取成功"));
  auto code = kit::as<KTCopyGiftCell>(row(2));
  ASSERT_TRUE(code);
  EXPECT_EQ(code->codeL()->text(), "GIFT-9");
  open->removeFromSuperview();
}

TEST_F(Welfare, ARefusedOrBrokenClaimLeavesTheList) {
  show();
  auto open = kit::as<KTGetGiftCell>(row(2));
  lists->setClaimReply(kit::dict({{"a", kit::num(0)}, {"b", "礼包已领完"}}));
  open->btnClick(*open->getBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return kit::test::findLabel(*list->view(), "礼包已领完") != nullptr; }));
  lists->setClaimReply(kit::Array::make({kit::str("x")}));
  open->btnClick(*open->getBtn());
  server->setFault(Lists::kGiftClaim, sim::RouteFault::CloseConnection);
  open->btnClick(*open->getBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return server->requestsTo(Lists::kGiftClaim).size() == 3; }));
  // A further list request would follow a reload.
  lists->setClaimReply(nullptr);
  server->setFault(Lists::kGiftClaim, sim::RouteFault::None);
  open->btnClick(*open->getBtn());
  ASSERT_TRUE(waitForReplies(2));
  EXPECT_EQ(server->requestsTo(Lists::kGiftList).size(), 2u);
}

TEST_F(Welfare, CopyingPutsTheCodeOnThePasteboardAndThenExplainsIt) {
  show();
  auto code = kit::as<KTCopyGiftCell>(row(3));
  kit::VirtualClock clock;
  code->copyBtnClick();
  EXPECT_EQ(kit::Pasteboard::general()->string(), "CODE-10");
  clock.advance(0.09);
  EXPECT_FALSE(list->presentedViewController());
  clock.advance(0.01);
  auto alert = kit::as<kit::AlertController>(list->presentedViewController());
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alertTitle(), "礼包码已复制");
  EXPECT_EQ(alert->message(), "使用说明：进入游戏后在设置中兑换");
  ASSERT_EQ(alert->actions().size(), 1u);
  EXPECT_EQ(alert->actions()[0]->title(), "知道了");
  EXPECT_TRUE(alert->actions()[0]->titleTextColor()->isEqual(*kit::Color::hex(0xFF7F00)));
}

TEST(WelfareTables, SizesFollowTheScreenAndTheBar) {
  for (auto [profile, height] : std::vector<std::pair<kit::DeviceProfile, double>>{
           {kit::DeviceProfile::notched812x375(), 248}, {kit::DeviceProfile::phone375x667(), 535}}) {
    kit::DeviceProfileScope scope{profile};
    auto window = kit::Window::make();
    window->makeKeyAndVisible();
    EXPECT_EQ(KTWelfareBaseVC::make()->tableView()->frame(), (kit::Rect{0, 0, 300, height}));
  }
}

}  // namespace

namespace {

// Without a logged-in name the lists and claims still ask, with an empty
// name, rather than failing to build their forms.
TEST_F(Welfare, NoUserNameSendsAnEmptyOne) {
  ShareVale::sharedInstance()->setUserName(nullptr);
  show();
  EXPECT_EQ(server->requestsTo(Lists::kGiftList).at(0).formValue("username"), "");
  auto open = kit::as<KTGetGiftCell>(row(2));
  open->btnClick(*open->getBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return server->requestsTo(Lists::kGiftClaim).size() == 1; }));
  EXPECT_EQ(kit::describe(kit::Id(server->requestsTo(Lists::kGiftClaim).at(0).parameters)["username"]), "");
}

TEST_F(Welfare, AClaimAnsweredWithoutAReadableMessageShowsNoToast) {
  show();
  kit::VirtualClock clock;  // every toast stays on the page until the test ends
  auto open = kit::as<KTGetGiftCell>(row(2));
  auto labels = [&] {
    std::vector<std::string> texts;
    for (const auto& view : kit::test::findViewsOfType<kit::Label>(*list->view())) texts.push_back(view->text());
    return texts;
  };
  const auto before = labels();
  for (const std::string message : {R"([null])", R"(["x"])", R"({"a":"b"})", "[]", "{}", "0", "false", R"(" ")",
                                    R"("\n")", R"(" \t\u3000")"}) {
    lists->setClaimReply(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(R"({"a":0,"b":)" + message + "}")));
    open->btnClick(*open->getBtn());
    ASSERT_TRUE(kit::test::runUntil([&] { return list->netManager()->taskDelegateCount() == 0; })) << message;
    ASSERT_TRUE(kit::test::settleMain());
    EXPECT_EQ(labels(), before) << message;
  }
  lists->setClaimReply(kit::dict({{"a", kit::num(0)}, {"b", "礼包已领完"}}));
  open->btnClick(*open->getBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return kit::test::findLabel(*list->view(), "礼包已领完") != nullptr; }));
  EXPECT_EQ(server->requestsTo(Lists::kGiftClaim).size(), 11u);
}

}  // namespace
