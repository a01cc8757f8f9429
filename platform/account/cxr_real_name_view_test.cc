// The real-name form against the platform service: its look and the
// compulsory layout, submitting (the reply's message, then a second later
// the stored state, the updated login result and one report), refusals,
// skipping, a form or delegate gone within that second; and the play-time
// overlay's box, texts and the touches it swallows.

#include "platform/account/cxr_real_name_view.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/foundation/user_defaults.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_game_over_view.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

struct RecordingRealNameDelegate : CXRRealNameDelegate {
  bool takes = true;
  int calls = 0;
  ::CXRRealNameView* form = nullptr;
  kit::Ref<LoginResult> response;
  std::string storedAtCall;
  bool takesRealNameResponse() const override { return takes; }
  void CXRRealNameView(::CXRRealNameView& view, const kit::Ref<LoginResult>& result) override {
    ++calls;
    form = &view;
    response = result;
    storedAtCall = d(kit::UserDefaults::standardUserDefaults()->objectForKey("KT_isRz"));
  }
};

class RealNameForm : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    addPlayer("player01", "pass123");
    storeUserName("player01");
    form = CXRRealNameView::realNameView();
    ASSERT_TRUE(form);
    form->setCenter({187.5, 333.5});
    window->addSubview(form);
    recorder = std::make_shared<RecordingRealNameDelegate>();
    form->delegate = recorder;
  }
  void TearDown() override {
    form.reset();
    PlatformAPITest::TearDown();
  }
  static kit::Ref<LoginResult> loginResult(bool compulsory) {
    auto result = LoginResult::responseWithDic(kit::dict({{"z", "1"}, {"b", "player01"}, {"nrz", "0"}}));
    result->setIsMustRZ(compulsory);
    return result;
  }
  static std::string storedState() {
    return d(kit::UserDefaults::standardUserDefaults()->objectForKey("KT_isRz"));
  }
  // Types the two fields and taps submit; waits for the reply's toast.
  bool submit(const std::string& name, const std::string& number, const std::string& toast) {
    if (!name.empty() && !kit::test::typeText(*form->realNameF(), name)) return false;
    if (!number.empty() && !kit::test::typeText(*form->userNumberF(), number)) return false;
    if (!kit::test::tap(form->btn())) return false;
    return kit::test::runUntil([&] { return toastShown(toast); });
  }

  kit::VirtualClock clock;
  kit::Ref<CXRRealNameView> form;
  std::shared_ptr<RecordingRealNameDelegate> recorder;
};

TEST_F(RealNameForm, ItsLookAndTheCompulsoryLayout) {
  EXPECT_EQ(form->bounds(), (kit::Rect{0, 0, 300, 310}));
  for (const auto& frame : {form->nameView(), form->numberView()}) {
    ASSERT_TRUE(frame);
    EXPECT_DOUBLE_EQ(frame->layer()->cornerRadius(), 5);
    EXPECT_DOUBLE_EQ(frame->layer()->borderWidth(), 1);
    EXPECT_TRUE(kit::isEqual(frame->layer()->borderColor(), kit::Color::lightGrayColor()));
  }
  EXPECT_DOUBLE_EQ(form->btn()->layer()->cornerRadius(), 5);
  EXPECT_DOUBLE_EQ(form->refuseBtn()->layer()->cornerRadius(), 5);
  EXPECT_TRUE(form->realNameF()->isDescendantOfView(form->nameView().get()));
  EXPECT_TRUE(form->userNumberF()->isDescendantOfView(form->numberView().get()));

  // No login result, or one that lets the player skip: both buttons.
  form->layoutIfNeeded();
  EXPECT_FALSE(form->refuseBtn()->isHidden());
  const kit::Rect submitAlone = form->btn()->frame();
  form->setReponse(loginResult(false));
  form->layoutIfNeeded();
  EXPECT_FALSE(form->refuseBtn()->isHidden());
  EXPECT_EQ(form->btn()->frame(), submitAlone);
  EXPECT_LT(submitAlone.size.width, 264);

  form->setReponse(loginResult(true));
  form->layoutIfNeeded();
  EXPECT_TRUE(form->refuseBtn()->isHidden());
  EXPECT_DOUBLE_EQ(form->btn()->frame().origin.x, 18);
  EXPECT_DOUBLE_EQ(form->btn()->frame().size.width, 264);
}

TEST_F(RealNameForm, ASuccessReportsASecondAfterItsMessage) {
  auto result = loginResult(false);
  form->setReponse(result);
  server->enqueue("login/idcheck",
                  sim::PlatformAPIReply::scrambled(kit::dict(
                      {{"z", "1"}, {"b", "认证成功"}, {"frz", "1"}, {"nrz", "2"}, {"lmit", "1700000000000"}})));
  // Submit is disabled while the request runs: a second tap sends nothing.
  ASSERT_TRUE(kit::test::typeText(*form->realNameF(), "张三"));
  ASSERT_TRUE(kit::test::typeText(*form->userNumberF(), "11010519491231002X"));
  ASSERT_TRUE(kit::test::tap(form->btn()));
  EXPECT_FALSE(form->btn()->isEnabled());
  kit::test::tap(form->btn());
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("认证成功"); }));
  EXPECT_FALSE(form->btn()->isEnabled()) << "until the form has reported";
  auto sent = sentTo("login/idcheck");
  EXPECT_EQ(keysOf(sent), "i,id,r");
  EXPECT_EQ(d(sent["r"]), "张三");
  EXPECT_EQ(d(sent["i"]), "player01");
  EXPECT_EQ(d(sent["id"]), "11010519491231002X");
  EXPECT_FALSE(form->userNumberF()->isFirstResponder()) << "submit ends editing";

  clock.advance(0.99);
  EXPECT_EQ(recorder->calls, 0);
  EXPECT_EQ(storedState(), "(null)");
  EXPECT_EQ(d(result->rzStatus()), "0");
  clock.advance(0.02);
  EXPECT_EQ(recorder->calls, 1);
  EXPECT_EQ(recorder->form, form.get());
  EXPECT_EQ(recorder->response, result);
  EXPECT_EQ(recorder->storedAtCall, "2");
  EXPECT_EQ(storedState(), "2");
  EXPECT_TRUE(result->isMustRZ());
  EXPECT_EQ(d(result->rzStatus()), "2");
  EXPECT_EQ(d(result->lmitTime()), "1700000000000");
  EXPECT_EQ(form->superview(), window);  // the owner removes it
  EXPECT_TRUE(form->btn()->isEnabled());
  clock.advance(5);
  EXPECT_EQ(recorder->calls, 1);
  EXPECT_EQ(server->requestsTo("login/idcheck").size(), 1u);
}

TEST_F(RealNameForm, WithoutALoginResultTheStateIsStoredAndTheDelegateGetsNil) {
  ASSERT_TRUE(submit("张三", "11010519491231002X", "认证成功"));
  clock.advance(1.0);
  EXPECT_EQ(recorder->calls, 1);
  EXPECT_EQ(recorder->response, nullptr);
  EXPECT_EQ(storedState(), "1");
  EXPECT_EQ(platform->account("player01")->realNameStatus, "1");
}

TEST_F(RealNameForm, EmptyFieldsAreSentAsTheyAreAndARefusalStoresNothing) {
  ASSERT_TRUE(submit("", "", "姓名格式错误"));
  EXPECT_TRUE(form->btn()->isEnabled()) << "ready for another try";
  auto sent = sentTo("login/idcheck");
  EXPECT_EQ(keysOf(sent), "i,id,r");
  EXPECT_EQ(d(sent["r"]), "");
  EXPECT_EQ(d(sent["id"]), "");
  clock.advance(2);
  EXPECT_EQ(recorder->calls, 0);
  EXPECT_EQ(storedState(), "(null)");
  EXPECT_EQ(form->superview(), window);  // another try
}

TEST_F(RealNameForm, NothingIsStoredWhenTheFormOrTheDelegateIsGoneOrDeclines) {
  // The delegate does not take the outcome.
  recorder->takes = false;
  ASSERT_TRUE(submit("张三", "11010519491231002X", "认证成功"));
  clock.advance(1.0);
  EXPECT_EQ(recorder->calls, 0);
  EXPECT_EQ(storedState(), "(null)");

  // No delegate at all.
  server->enqueue("login/idcheck",
                  sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "成功二"}, {"nrz", "1"}})));
  form->delegate.reset();
  ASSERT_TRUE(submit("", "", "成功二"));
  clock.advance(1.0);
  EXPECT_EQ(storedState(), "(null)");

  // The form is released within the second.
  recorder->takes = true;
  form->delegate = recorder;
  server->enqueue("login/idcheck",
                  sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "成功三"}, {"nrz", "1"}})));
  ASSERT_TRUE(submit("", "", "成功三"));
  form->removeFromSuperview();
  form.reset();
  clock.advance(1.0);
  EXPECT_EQ(recorder->calls, 0);
  EXPECT_EQ(storedState(), "(null)");
}

TEST_F(RealNameForm, SkipReportsTheLoginResultUnchanged) {
  auto result = loginResult(false);
  form->setReponse(result);
  ASSERT_TRUE(kit::test::tap(form->refuseBtn()));
  EXPECT_EQ(recorder->calls, 1);
  EXPECT_EQ(recorder->response, result);
  EXPECT_EQ(d(result->rzStatus()), "0");
  EXPECT_EQ(storedState(), "(null)");
  EXPECT_TRUE(server->requestsTo("login/idcheck").empty());
}

TEST_F(RealNameForm, ATouchOnTheFormEndsEditing) {
  ASSERT_TRUE(kit::test::typeText(*form->realNameF(), "张"));
  ASSERT_TRUE(form->realNameF()->isFirstResponder());
  const kit::Point blank = form->convertPointToView({150, 10}, nullptr);
  ASSERT_TRUE(kit::test::tapAt(*window, blank));
  EXPECT_FALSE(form->realNameF()->isFirstResponder());
}

TEST(PlayTimeOverlay, ABoxWithTheTwoTextsOverADimmedScreenThatTakesEveryTouch) {
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  auto window = kit::Window::make();
  window->makeKeyAndVisible();
  int taps = 0;
  auto underneath = kit::Button::make({20, 20, 100, 44});
  underneath->addAction(kit::ControlEvent::TouchUpInside, [&] { ++taps; });
  window->addSubview(underneath);
  ASSERT_TRUE(kit::test::tap(underneath));
  ASSERT_EQ(taps, 1);

  auto over = KTGameOverView::make({0, 0, 375, 667});
  window->addSubview(over);
  EXPECT_TRUE(kit::isEqual(over->backgroundColor(), kit::Color::white(0, 0.2)));
  EXPECT_EQ(over->box()->frame(), (kit::Rect{37.5, 183.5, 300, 300}));
  EXPECT_DOUBLE_EQ(over->box()->layer()->cornerRadius(), 8);
  EXPECT_TRUE(over->box()->clipsToBounds());
  EXPECT_TRUE(kit::isEqual(over->box()->backgroundColor(), kit::Color::whiteColor()));

  auto title = over->titleLabel();
  EXPECT_EQ(title->text(), "防沉迷提示");
  EXPECT_TRUE(kit::isEqual(title->font(), kit::Font::systemFont(18)));
  EXPECT_DOUBLE_EQ(title->frame().origin.y, 15);
  EXPECT_DOUBLE_EQ(title->center().x, 150);
  auto message = over->messageLabel();
  EXPECT_EQ(message->text(), "根据国家规定，未成年玩家每日在线时间受限。您今天的游戏时间已经到达上限。");
  EXPECT_EQ(message->frame(), (kit::Rect{25, 100, 250, 100}));
  EXPECT_TRUE(kit::isEqual(message->textColor(), kit::Color::redColor()));
  EXPECT_TRUE(kit::isEqual(message->font(), kit::Font::systemFont(16)));
  EXPECT_EQ(message->numberOfLines(), 0);
  EXPECT_EQ(message->textAlignment(), kit::TextAlignment::Center);

  kit::test::tap(underneath);
  EXPECT_EQ(taps, 1);
  window.reset();
  kit::Application::shared()->reset();
}

}  // namespace
