// The sub-account chooser against the platform service: the page, the list
// and the add button's limit, adding through the alert (nickname lengths,
// names of blanks alone, names spelled like numbers and the server's
// spellings of nothing, the reply's list, refusals and an unreachable
// server), a row whose nickname shows nothing listed by its user name,
// choosing with and without a delegate, a row without a user name,
// the page's toasts on the window on screen, logging out, and the game-box
// links.

#include "platform/account/cxr_sub_name_vc.h"

#include <functional>
#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/render.h"
#include "kit/ui/screen.h"
#include "kit/ui/view_controller.h"
#include "platform/account/cxr_message.h"
#include "platform/account/cxr_sub_name_cell.h"
#include "platform/account/testing/kt_api_test_fixture.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

struct RecordingChooserDelegate : CXRSubNameVCDelegate {
  bool takes = true;
  std::vector<std::string> events;
  kit::Ref<CXRSubNameModel> chosen;
  std::function<bool()> dismissed;
  bool dismissedAtCall = false;
  bool takesSubNameSelection() const override { return takes; }
  void didSelectedCXRSubNameVCTableViewWithResponse(const kit::Ref<CXRSubNameModel>& model) override {
    events.push_back("selected");
    chosen = model;
    dismissedAtCall = dismissed && dismissed();
  }
  void CXRSubNameVCLoginOut() override {
    events.push_back("logout");
    dismissedAtCall = dismissed && dismissed();
  }
};

class SubNameChooser : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    root = kit::make<kit::ViewController>();
    window->setRootViewController(root);
    recorder = std::make_shared<RecordingChooserDelegate>();
    recorder->dismissed = [this] { return root->presentedViewController() == nullptr; };
  }
  void TearDown() override {
    chooser.reset();
    root.reset();
    if (loginWindow) {
      loginWindow->setHidden(true);
      loginWindow->setRootViewController(nullptr);
      loginWindow.reset();
    }
    PlatformAPITest::TearDown();
  }
  // An account with `count` sub-accounts, logged in.
  void account(size_t count) {
    sim::PlatformAccount account;
    account.userName = "player01";
    account.password = "pass123";
    for (size_t i = 1; i <= count; ++i) {
      account.subAccounts.push_back({"小号" + std::to_string(i), "player01_" + std::to_string(i), "1700000000"});
    }
    platform->addAccount(account);
    storeUserName("player01");
  }
  // Presents the chooser (from `from`, else the key window's root) and
  // waits until its list shows `expected` rows (for an empty list: until
  // the request has been answered).
  void open(long expected, bool withDelegate = true, const kit::Ref<kit::ViewController>& from = nullptr) {
    const size_t before = server->requestsTo("login/iosxiaohao").size();
    chooser = CXRSubNameVC::instantiate();
    ASSERT_TRUE(chooser);
    if (withDelegate) chooser->delegate = recorder;
    ASSERT_TRUE((from ? from : root)->presentViewController(chooser, false));
    ASSERT_TRUE(waitForCalls("login/iosxiaohao", before + 1));
    if (expected > 0) {
      ASSERT_TRUE(kit::test::runUntil([&] { return rows() == expected; })) << rows();
    } else {
      kit::test::runUntil([] { return false; }, 0.2);
    }
  }
  void close() {
    root->dismissViewController(false);
    ASSERT_TRUE(kit::test::runUntil([&] { return root->presentedViewController() == nullptr; }));
  }
  long rows() { return chooser->tableView()->numberOfRowsInSection(0); }
  // Opens the add alert, types the nickname and confirms.
  // Adds under `nickname` through the alert. `whileSending` runs right after
  // the confirmation, before the run loop turns again (a reply can arrive on
  // any later turn).
  void add(const std::string& nickname, const std::function<void()>& whileSending = nullptr) {
    ASSERT_TRUE(kit::test::tap(chooser->addBtn()));
    auto alert = std::dynamic_pointer_cast<kit::AlertController>(chooser->presentedViewController());
    ASSERT_TRUE(alert);
    if (!nickname.empty()) {
      ASSERT_TRUE(kit::test::typeText(*alert->textFields().at(0), nickname));
    }
    ASSERT_TRUE(kit::test::pressAlertAction(*alert, "确认"));
    if (whileSending) whileSending();
    clock.advance(1);  // the alert's dismissal
  }

  // Presents the chooser as the login window holds it: on a dimmed,
  // see-through, full-screen window of its own over the key window (the
  // game's), which stays key.
  void openOverTheGame(long expected) {
    loginWindow = kit::Window::make(kit::Screen::main()->bounds());
    auto loginRoot = kit::make<kit::ViewController>();
    loginWindow->setRootViewController(loginRoot);
    loginWindow->setHidden(false);
    loginWindow->setBackgroundColor(kit::Color::white(0, 0.5));
    ASSERT_EQ(kit::Application::shared()->keyWindow(), window);
    open(expected, true, loginRoot);
  }
  // The toast showing `text`, on any window; nil when none shows it.
  static kit::Ref<kit::Label> toastLabel(const std::string& text) {
    for (const auto& shown : kit::Application::shared()->windows()) {
      if (auto label = kit::test::findLabel(*shown, text)) return label;
    }
    return nullptr;
  }
  // The toast is on the window on screen, over the page, and its black box
  // shows in a picture of the whole screen, on the page's light grey.
  void expectToastOnScreen(const std::string& text) {
    auto label = toastLabel(text);
    ASSERT_TRUE(label) << text;
    EXPECT_EQ(label->window(), loginWindow) << text;
    auto box = label->superview();
    ASSERT_TRUE(box);
    const kit::Rect frame = kit::test::frameInWindow(*box);
    auto screen = kit::renderScreen(1);
    ASSERT_TRUE(screen);
    const kit::Pixel inBox = screen->pixelAt(static_cast<size_t>(frame.minX() + CXRMessage::Padding / 2),
                                             static_cast<size_t>(frame.midY()));
    EXPECT_LE(inBox.r, 8) << text;
    EXPECT_LE(inBox.g, 8) << text;
    EXPECT_LE(inBox.b, 8) << text;
    const kit::Pixel beside = screen->pixelAt(static_cast<size_t>(frame.minX() - 4), static_cast<size_t>(frame.midY()));
    EXPECT_GT(beside.r, 150) << "the page around the toast, " << text;
  }

  kit::VirtualClock clock;
  kit::Ref<kit::ViewController> root;
  kit::Ref<CXRSubNameVC> chooser;
  std::shared_ptr<RecordingChooserDelegate> recorder;
  kit::Ref<kit::Window> loginWindow;
};

TEST_F(SubNameChooser, ThePageListsTheSubAccountsByNickname) {
  account(3);
  open(3);
  EXPECT_FALSE(chooser->shouldAutorotate());
  EXPECT_EQ(chooser->nameL()->text(), "player01");
  const auto grey = kit::Color::rgba(245 / 255.0, 245 / 255.0, 245 / 255.0, 1);
  EXPECT_TRUE(kit::isEqual(chooser->view()->backgroundColor(), grey));
  EXPECT_TRUE(kit::isEqual(chooser->viewTop()->backgroundColor(), grey));
  EXPECT_TRUE(kit::isEqual(chooser->viewMid()->backgroundColor(), grey));
  auto table = chooser->tableView();
  EXPECT_DOUBLE_EQ(table->rowHeight(), 50);
  EXPECT_EQ(table->separatorStyle(), kit::TableViewSeparatorStyle::None);
  EXPECT_DOUBLE_EQ(table->layer()->cornerRadius(), 5);
  EXPECT_DOUBLE_EQ(chooser->addBtn()->layer()->cornerRadius(), 3);
  EXPECT_DOUBLE_EQ(chooser->midLeft()->constant(), 10);  // the scene's value on a portrait phone

  auto sent = sentTo("login/iosxiaohao");
  EXPECT_EQ(keysOf(sent), "c,e,f,z");
  EXPECT_EQ(d(sent["z"]), "player01");
  ASSERT_EQ(rows(), 3);
  EXPECT_FALSE(chooser->addBtn()->isHidden());
  for (long row = 0; row < 3; ++row) {
    auto cell = std::dynamic_pointer_cast<CXRSubNameCell>(table->cellForRowAtIndexPath(kit::IndexPath::forRow(row, 0)));
    ASSERT_TRUE(cell) << row;
    EXPECT_EQ(cell->nickNameL()->text(), "小号" + std::to_string(row + 1));
  }
}

TEST_F(SubNameChooser, TheMiddleSectionMovesInOnlyOnANotchedLandscapeScreen) {
  account(0);
  struct Case {
    kit::DeviceProfile profile;
    double midLeft;
  };
  size_t requests = 0;
  for (const Case& c : {Case{kit::DeviceProfile::notched812x375(), 20}, Case{kit::DeviceProfile::phone667x375(), 10},
                        Case{kit::DeviceProfile::notched375x812(), 10}}) {
    kit::DeviceProfileScope scope{c.profile};
    auto screen = kit::Window::make();
    screen->makeKeyAndVisible();
    auto page = CXRSubNameVC::instantiate();
    page->loadViewIfNeeded();
    EXPECT_DOUBLE_EQ(page->midLeft()->constant(), c.midLeft) << c.profile.name;
    page->view()->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(page->viewMid()->frame().origin.x, c.midLeft) << c.profile.name;
    // Let the page's list request end before the next one.
    ASSERT_TRUE(waitForCalls("login/iosxiaohao", ++requests));
    kit::test::runUntil([] { return false; }, 0.2);
  }
}

TEST_F(SubNameChooser, TheAddButtonGoesAtExactlyTenAndAFailedListLeavesNoRows) {
  account(10);
  open(10);
  EXPECT_TRUE(chooser->addBtn()->isHidden());
  close();

  for (const std::string& name : {std::string("nine"), std::string("eleven")}) {
    server->enqueue("login/iosxiaohao", sim::PlatformAPIReply::plain(kit::dict(
                                            {{"code", "1"},
                                             {"data", [&] {
                                                auto list = kit::MutableArray::make();
                                                for (int i = 0; i < (name == "nine" ? 9 : 11); ++i)
                                                  list->addObject(kit::dict({{"nickname", "n"}, {"sign", "S1"}}));
                                                return kit::Id(list);
                                              }()}})));
    open(name == "nine" ? 9 : 11);
    EXPECT_FALSE(chooser->addBtn()->isHidden()) << name;
    close();
  }

  server->enqueue("login/iosxiaohao", sim::PlatformAPIReply::plain(kit::dict({{"code", "0"}, {"msg", "失败"}})));
  open(0);
  EXPECT_EQ(rows(), 0);
  EXPECT_FALSE(toastShown("失败"));
}

TEST_F(SubNameChooser, AddingTakesOneToEightUnitsAndShowsTheRepliedList) {
  account(2);
  open(2);
  ASSERT_TRUE(kit::test::tap(chooser->addBtn()));
  auto alert = std::dynamic_pointer_cast<kit::AlertController>(chooser->presentedViewController());
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alertTitle(), "添加新小号");
  EXPECT_EQ(alert->message(), "");
  ASSERT_EQ(alert->textFields().size(), 1u);
  EXPECT_EQ(alert->textFields()[0]->placeholder(), "名称不能超过8个字符");
  ASSERT_EQ(alert->actions().size(), 2u);
  EXPECT_EQ(alert->actions()[0]->title(), "取消");
  EXPECT_EQ(alert->actions()[0]->style(), kit::AlertActionStyle::Destructive);
  EXPECT_EQ(alert->actions()[1]->title(), "确认");
  EXPECT_EQ(alert->actions()[1]->style(), kit::AlertActionStyle::Default);
  ASSERT_TRUE(kit::test::pressAlertAction(*alert, "取消"));
  clock.advance(1);

  // Too long, empty: no request.
  for (const std::string& bad : {std::string("一二三四五六七八九"), std::string("😀😀😀😀😀"), std::string("")}) {
    add(bad);
    EXPECT_TRUE(toastShown("请输入有效字符")) << bad;
    clock.advance(3);  // the toast fades
  }
  EXPECT_TRUE(server->requestsTo("login/iosaddxiaohao").empty());

  kit::Ref<PHProgressHUD> hud;
  add("一二三四五六七八", [&] {
    hud = chooser->hud();
    ASSERT_TRUE(hud);
    EXPECT_EQ(hud->superview(), chooser->view());
    EXPECT_TRUE(kit::isEqual(hud->backgroundView()->color(), kit::Color::white(0, 0.2)));
  });
  ASSERT_TRUE(hud);
  ASSERT_TRUE(waitForCalls("login/iosaddxiaohao", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return rows() == 3; }));
  EXPECT_EQ(chooser->hud(), nullptr);
  EXPECT_TRUE(hud->hasFinished());
  auto sent = sentTo("login/iosaddxiaohao");
  EXPECT_EQ(keysOf(sent), "c,e,f,x,z");
  EXPECT_EQ(d(sent["z"]), "player01");
  EXPECT_EQ(d(sent["c"]), "1001");
  EXPECT_EQ(d(sent["f"]), "10001");
  EXPECT_EQ(d(sent["e"]), d(ShareVale::sharedInstance()->chanelid()));
  EXPECT_EQ(d(sent["x"]), "一二三四五六七八");
  clock.advance(1);
  EXPECT_EQ(hud->superview(), nullptr);

  // Four emoji are eight units.
  add("😀😀😀😀");
  ASSERT_TRUE(waitForCalls("login/iosaddxiaohao", 2));
  ASSERT_TRUE(kit::test::runUntil([&] { return rows() == 4; }));
  EXPECT_EQ(d(sentTo("login/iosaddxiaohao")["x"]), "😀😀😀😀");
}

TEST_F(SubNameChooser, ANameOfBlanksAloneIsRefusedAsAnEmptyOne) {
  account(2);
  open(2);
  // Spaces, ideographic and no-break spaces, a zero-width space, a tab:
  // each would list a row nobody can see.
  for (const std::string& blank : {std::string(" "), std::string("        "), std::string("\u3000\u3000"),
                                   std::string("\u00a0"), std::string("\u200b"), std::string("\t")}) {
    add(blank);
    EXPECT_TRUE(toastShown("请输入有效字符")) << blank;
    clock.advance(3);  // the toast fades
  }
  EXPECT_TRUE(server->requestsTo("login/iosaddxiaohao").empty());
  EXPECT_EQ(rows(), 2);

  // Blanks around a visible character are a name.
  add(" 号 ");
  ASSERT_TRUE(waitForCalls("login/iosaddxiaohao", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return rows() == 3; }));
}

TEST_F(SubNameChooser, ANicknameIsShownAsTypedAndOnlyOneARowWouldNotShowIsRefused) {
  account(1);
  open(1);
  auto shownAt = [&](long row) {
    auto cell = std::dynamic_pointer_cast<CXRSubNameCell>(
        chooser->cellForRowAtIndexPath(*chooser->tableView(), kit::IndexPath::forRow(row, 0)));
    return cell ? cell->nickNameL()->text() : std::string("(no cell)");
  };
  // The spellings of a number are names: each is added and its row shows it.
  long expected = 1;
  size_t sent = 0;
  for (const std::string& name : {std::string("NaN"), std::string("nan"), std::string("inf"), std::string("Infinity"),
                                  std::string("-INF")}) {
    add(name);
    ASSERT_TRUE(waitForCalls("login/iosaddxiaohao", ++sent)) << name;
    ASSERT_TRUE(kit::test::runUntil([&] { return rows() == expected + 1; })) << name;
    ++expected;
    EXPECT_EQ(d(sentTo("login/iosaddxiaohao")["x"]), name);
    EXPECT_EQ(shownAt(expected - 1), name);
    EXPECT_FALSE(toastShown("请输入有效字符")) << name;
    clock.advance(1);  // the HUD fades
  }
  // The server's spellings of nothing would show an empty row: refused.
  for (const std::string& none : {std::string("<null>"), std::string("(null)"), std::string(" <null>\u3000")}) {
    add(none);
    EXPECT_TRUE(toastShown("请输入有效字符")) << none;
    clock.advance(3);  // the toast fades
  }
  EXPECT_EQ(server->requestsTo("login/iosaddxiaohao").size(), sent);
  EXPECT_EQ(rows(), expected);
}

TEST_F(SubNameChooser, ASubAccountWhoseNicknameShowsNothingIsListedByItsUserName) {
  account(0);
  auto list = kit::MutableArray::make();
  const std::vector<kit::Id> nicknames = {kit::Id(kit::str("<null>")), kit::Id(kit::str(" ")),
                                          kit::Id(kit::str("\u200b")), kit::Id(kit::null()), kit::Id(kit::num(true)),
                                          kit::Id(kit::str("NaN"))};
  for (size_t i = 0; i < nicknames.size(); ++i) {
    list->addObject(kit::dict({{"nickname", nicknames[i]}, {"username", "player01_" + std::to_string(i + 1)},
                               {"sign", "S1"}}));
  }
  server->enqueue("login/iosxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict({{"code", "1"}, {"data", kit::Id(list)}})));
  open(static_cast<long>(nicknames.size()));
  for (long row = 0; row + 1 < static_cast<long>(nicknames.size()); ++row) {
    auto cell = std::dynamic_pointer_cast<CXRSubNameCell>(
        chooser->cellForRowAtIndexPath(*chooser->tableView(), kit::IndexPath::forRow(row, 0)));
    ASSERT_TRUE(cell) << row;
    EXPECT_EQ(cell->nickNameL()->text(), "player01_" + std::to_string(row + 1)) << d(nicknames[row]);
  }
  auto last = std::dynamic_pointer_cast<CXRSubNameCell>(chooser->cellForRowAtIndexPath(
      *chooser->tableView(), kit::IndexPath::forRow(static_cast<long>(nicknames.size()) - 1, 0)));
  ASSERT_TRUE(last);
  EXPECT_EQ(last->nickNameL()->text(), "NaN") << "a nickname that is a number's spelling is the nickname";
}

TEST_F(SubNameChooser, TheTenthAddHidesTheButtonAndRefusalsAndFailuresToast) {
  account(9);
  open(9);
  EXPECT_FALSE(chooser->addBtn()->isHidden());
  add("十号");
  ASSERT_TRUE(kit::test::runUntil([&] { return rows() == 10; }));
  EXPECT_TRUE(chooser->addBtn()->isHidden());

  server->enqueue("login/iosaddxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict({{"code", "0"}, {"msg", "数量已达上限"}})));
  chooser->addSubNameWithNickName(kit::str("十一"));
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("小号数量已达上限"); }));
  EXPECT_EQ(rows(), 10);
  EXPECT_EQ(chooser->hud(), nullptr);
  clock.advance(3);  // the toast fades

  // A refusal without a message reads as a failed request.
  server->enqueue("login/iosaddxiaohao", sim::PlatformAPIReply::plain(kit::dict({{"code", "0"}, {"msg", kit::null()}})));
  chooser->addSubNameWithNickName(kit::str("十一"));
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("无法链接服务器"); }));
  EXPECT_FALSE(toastShown("小号<null>"));
  clock.advance(3);

  // Nor do blanks, a bare number or a flag make a message.
  for (const kit::Id& msg : {kit::Id(kit::str(" \n")), kit::Id(kit::num(0)), kit::Id(kit::num(false))}) {
    server->enqueue("login/iosaddxiaohao", sim::PlatformAPIReply::plain(kit::dict({{"code", "0"}, {"msg", msg}})));
    chooser->addSubNameWithNickName(kit::str("十一"));
    ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("无法链接服务器"); })) << kit::describe(msg);
    EXPECT_FALSE(toastShown("小号" + kit::describe(msg)));
    clock.advance(3);
  }

  pointClientAtClosedPort();
  chooser->addSubNameWithNickName(kit::str("十二"));
  kit::Ref<PHProgressHUD> hud = chooser->hud();
  ASSERT_TRUE(hud);
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("无法链接服务器"); }));
  EXPECT_EQ(chooser->hud(), nullptr);
  EXPECT_TRUE(hud->hasFinished());
  EXPECT_EQ(rows(), 10);
}

TEST_F(SubNameChooser, ChoosingReportsTheEntryAfterTheDismissalOnlyToADelegateThatTakesIt) {
  server->enqueue("login/iosxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict(
                      {{"code", "1"},
                       {"data", kit::array({kit::dict({{"nickname", "甲"}, {"username", "u1"}, {"sign", "S123"}}),
                                          kit::dict({{"nickname", "乙"}, {"username", "u2"}, {"sign", "S456"}})})}})));
  account(0);
  recorder->takes = false;
  open(2);
  chooser->view()->layoutIfNeeded();
  auto second = chooser->tableView()->cellForRowAtIndexPath(kit::IndexPath::forRow(1, 0));
  ASSERT_TRUE(second);
  ASSERT_TRUE(kit::test::tap(second));
  clock.advance(1);
  EXPECT_EQ(root->presentedViewController(), chooser);
  EXPECT_TRUE(recorder->events.empty());

  recorder->takes = true;
  ASSERT_TRUE(kit::test::tap(second));
  EXPECT_TRUE(recorder->events.empty());  // not before the page is gone
  clock.advance(1);
  ASSERT_EQ(recorder->events, std::vector<std::string>{"selected"});
  EXPECT_TRUE(recorder->dismissedAtCall);
  EXPECT_EQ(d(recorder->chosen->username()), "u2");
  EXPECT_EQ(d(recorder->chosen->sign()), "456");
}

TEST_F(SubNameChooser, ARowWithoutAUserNameLogsNobodyInAndSaysWhy) {
  server->enqueue("login/iosxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict(
                      {{"code", "1"},
                       {"data", kit::array({kit::dict({{"nickname", "甲"}, {"username", "u1"}, {"sign", "S123"}}),
                                          kit::dict({{"nickname", "乙"}, {"username", "u2"}, {"sign", "S456"}}),
                                          kit::dict({{"nickname", "丙"}, {"username", " "}, {"sign", "S789"}}),
                                          kit::dict({{"nickname", "丁"}})})}})));
  account(0);
  open(4);
  chooser->view()->layoutIfNeeded();
  for (long row : {3L, 2L}) {
    auto cell = chooser->tableView()->cellForRowAtIndexPath(kit::IndexPath::forRow(row, 0));
    ASSERT_TRUE(cell) << row;
    ASSERT_TRUE(kit::test::tap(cell)) << row;
    clock.advance(1);
    EXPECT_EQ(root->presentedViewController(), chooser) << "the page stays, row " << row;
    EXPECT_TRUE(recorder->events.empty()) << row;
    auto toast = toastLabel(CXRSubNameVC::NoUserNameMessage);
    ASSERT_TRUE(toast) << row;
    EXPECT_TRUE(toast->isDescendantOfView(chooser->view().get())) << row;
    clock.advance(3);  // the toast fades
    EXPECT_FALSE(toastLabel(CXRSubNameVC::NoUserNameMessage));
  }

  // A row with a user name is still taken.
  ASSERT_TRUE(kit::test::tap(chooser->tableView()->cellForRowAtIndexPath(kit::IndexPath::forRow(0, 0))));
  clock.advance(1);
  ASSERT_EQ(recorder->events, std::vector<std::string>{"selected"});
  EXPECT_EQ(d(recorder->chosen->username()), "u1");
}

TEST_F(SubNameChooser, ItsToastsShowOverThePageOnTheWindowOnScreen) {
  account(2);
  openOverTheGame(2);

  // A nickname the page refuses: empty, or 12 characters.
  for (const std::string& bad : {std::string(""), std::string("一二三四五六七八九十壹贰")}) {
    ASSERT_TRUE(kit::test::tap(chooser->addBtn()));
    auto alert = std::dynamic_pointer_cast<kit::AlertController>(chooser->presentedViewController());
    ASSERT_TRUE(alert);
    if (!bad.empty()) ASSERT_TRUE(kit::test::typeText(*alert->textFields().at(0), bad));
    ASSERT_TRUE(kit::test::pressAlertAction(*alert, "确认"));
    clock.advance(kit::ViewController::TransitionDuration);  // the alert goes; the toast has not begun to fade
    EXPECT_FALSE(chooser->presentedViewController());
    expectToastOnScreen("请输入有效字符");
    clock.advance(3);  // the toast fades
  }
  EXPECT_TRUE(server->requestsTo("login/iosaddxiaohao").empty());

  // The server's refusal.
  server->enqueue("login/iosaddxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict({{"code", "0"}, {"msg", "数量已达上限"}})));
  chooser->addSubNameWithNickName(kit::str("十号"));
  ASSERT_TRUE(kit::test::runUntil([&] { return toastLabel("小号数量已达上限") != nullptr; }));
  expectToastOnScreen("小号数量已达上限");
  clock.advance(3);

  // An unreachable server.
  pointClientAtClosedPort();
  chooser->addSubNameWithNickName(kit::str("十二"));
  ASSERT_TRUE(kit::test::runUntil([&] { return toastLabel("无法链接服务器") != nullptr; }));
  clock.advance(1);  // the HUD fades out; the toast is still whole
  ASSERT_TRUE(toastLabel("无法链接服务器"));
  EXPECT_EQ(toastLabel("无法链接服务器")->window(), loginWindow);
}

TEST_F(SubNameChooser, LogoutDismissesThenTellsTheDelegate) {
  account(1);
  open(1);
  ASSERT_TRUE(kit::test::tap(chooser->loginOutBtn()));
  EXPECT_TRUE(recorder->events.empty());
  clock.advance(1);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"logout"});
  EXPECT_TRUE(recorder->dismissedAtCall);

  // Without a delegate the page still goes.
  open(1, false);
  ASSERT_TRUE(kit::test::tap(chooser->loginOutBtn()));
  clock.advance(1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(SubNameChooser, TheBoxLinksOpenTheAppOrItsWebPage) {
  account(1);
  open(1);
  auto application = kit::Application::shared();
  application->clearOpenedURLs();
  ASSERT_TRUE(kit::test::tap(chooser->activityBtn()));
  ASSERT_TRUE(kit::test::tap(chooser->fanliBtn()));
  const std::string box = server->origin() + "/cdcloud/welcome/box?ag=" + d(ShareVale::sharedInstance()->chanelid());
  EXPECT_EQ(application->openedURLs(), (std::vector<std::string>{box, box}));

  application->clearOpenedURLs();
  application->addInstalledScheme("vexobox");  // schemes are matched in lower case
  ASSERT_TRUE(kit::test::tap(chooser->activityBtn()));
  ASSERT_TRUE(kit::test::tap(chooser->fanliBtn()));
  EXPECT_EQ(application->openedURLs(),
            (std::vector<std::string>{"vexoBox://activityURL", "vexoBox://fanliURL"}));
  EXPECT_EQ(root->presentedViewController(), chooser);
}

}  // namespace
