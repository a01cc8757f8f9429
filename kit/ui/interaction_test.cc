// Touches as a player makes them: buttons and their events, covers that
// swallow taps, recognizers competing for a touch (the deepest wins), pans,
// long presses on the virtual clock, text entry.
#include <gtest/gtest.h>

#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/button.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/image_view.h"
#include "kit/ui/text_field.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

class InteractionTest : public test::VirtualClockTest {
 protected:
  void SetUp() override {
    test::VirtualClockTest::SetUp();
    window = Window::make();
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    test::VirtualClockTest::TearDown();
  }
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
  Ref<Window> window;
};

TEST_F(InteractionTest, ButtonRunsItsTouchUpInsideActionOnTap) {
  auto button = Button::make(Rect{20, 100, 200, 44});
  button->setTitle("知道了");
  window->addSubview(button);
  std::vector<std::string> events;
  button->addAction(ControlEvent::TouchDown, [&] { events.push_back("down"); });
  button->addAction(ControlEvent::TouchUpInside, [&](Control& sender) {
    EXPECT_EQ(&sender, button.get());
    events.push_back("up");
  });
  ASSERT_TRUE(test::tap(button));
  EXPECT_EQ(events, (std::vector<std::string>{"down", "up"}));
  EXPECT_FALSE(button->isHighlighted());
  // Disabled: nothing runs.
  button->setEnabled(false);
  test::tap(button);
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(InteractionTest, DraggingOffAButtonEndsOutsideAndCancellingCancels) {
  auto button = Button::make(Rect{100, 100, 100, 44});
  window->addSubview(button);
  int inside = 0, outside = 0, cancelled = 0, exits = 0;
  button->addAction(ControlEvent::TouchUpInside, [&] { ++inside; });
  button->addAction(ControlEvent::TouchUpOutside, [&] { ++outside; });
  button->addAction(ControlEvent::TouchCancel, [&] { ++cancelled; });
  button->addAction(ControlEvent::TouchDragExit, [&] { ++exits; });
  test::touchDown(*window, {150, 120});
  EXPECT_TRUE(button->isHighlighted());
  test::touchMove(*window, {150, 200});  // within the 70-point slack
  EXPECT_TRUE(button->isHighlighted());
  test::touchMove(*window, {150, 300});
  EXPECT_FALSE(button->isHighlighted());
  test::touchUp(*window, {150, 300});
  EXPECT_EQ(inside, 0);
  EXPECT_EQ(outside, 1);
  EXPECT_EQ(exits, 1);
  test::touchDown(*window, {150, 120});
  test::touchCancel(*window, {150, 120});
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(inside, 0);
}

TEST_F(InteractionTest, FullWindowCoverButtonWithoutActionSwallowsTaps) {
  auto behind = Button::make(Rect{100, 100, 100, 44});
  int behindTaps = 0;
  behind->addAction(ControlEvent::TouchUpInside, [&] { ++behindTaps; });
  window->addSubview(behind);
  int windowTaps = 0;
  window->addGestureRecognizer(TapGestureRecognizer::make([&](GestureRecognizer&) { ++windowTaps; }));
  auto cover = Button::make(window->bounds());
  cover->setBackgroundColor(Color::white(0, 0.5));
  window->addSubview(cover);
  ASSERT_TRUE(test::tapAt(*window, {150, 120}));
  EXPECT_EQ(behindTaps, 0);
  EXPECT_EQ(windowTaps, 0);
  EXPECT_EQ(cover->actionCount(ControlEvent::TouchUpInside), 0u);
  cover->removeFromSuperview();
  test::tapAt(*window, {150, 120});
  EXPECT_EQ(behindTaps, 1);
  EXPECT_EQ(windowTaps, 0) << "a button keeps its tap from its ancestors' recognizers";
}

TEST_F(InteractionTest, CloseImageRecognizerWinsOverTheBannersOnItAndOnlyThere) {
  auto banner = View::make(Rect{37, 200, 300, 75});
  window->addSubview(banner);
  auto background = ImageView::make(Rect{0, 0, 300, 75});
  background->setUserInteractionEnabled(true);
  banner->addSubview(background);
  auto close = ImageView::make(Rect{275, 5, 25, 25});
  close->setUserInteractionEnabled(true);
  background->addSubview(close);
  int closeTaps = 0, bannerTaps = 0;
  close->addGestureRecognizer(TapGestureRecognizer::make([&](GestureRecognizer& g) {
    EXPECT_EQ(g.state(), GestureRecognizerState::Ended);
    ++closeTaps;
  }));
  banner->addGestureRecognizer(TapGestureRecognizer::make([&](GestureRecognizer&) { ++bannerTaps; }));

  ASSERT_TRUE(test::tap(close));
  EXPECT_EQ(closeTaps, 1);
  EXPECT_EQ(bannerTaps, 0);
  test::tapAt(*window, {37 + 100, 200 + 40});
  EXPECT_EQ(closeTaps, 1);
  EXPECT_EQ(bannerTaps, 1);
  // Recognizers are ready again for the next gesture.
  test::tap(close);
  EXPECT_EQ(closeTaps, 2);
  EXPECT_EQ(bannerTaps, 1);
}

TEST_F(InteractionTest, PanBeginsAfterMovementAndReportsTranslationAndCancelsTheViewsTouches) {
  struct TouchLog : View {
    using View::View;
    std::vector<std::string> log;
    void touchesBegan(const TouchSet&, const Event*) override { log.push_back("began"); }
    void touchesMoved(const TouchSet&, const Event*) override { log.push_back("moved"); }
    void touchesEnded(const TouchSet&, const Event*) override { log.push_back("ended"); }
    void touchesCancelled(const TouchSet&, const Event*) override { log.push_back("cancelled"); }
  };
  auto view = kit::make<TouchLog>(Rect{0, 0, 375, 667});
  window->addSubview(view);
  std::vector<GestureRecognizerState> states;
  Point translation;
  auto pan = PanGestureRecognizer::make();
  pan->addAction([&](GestureRecognizer& g) {
    states.push_back(g.state());
    translation = static_cast<PanGestureRecognizer&>(g).translationInView(view.get());
  });
  view->addGestureRecognizer(pan);
  auto tap = TapGestureRecognizer::make([&](GestureRecognizer&) { FAIL() << "a drag is not a tap"; });
  view->addGestureRecognizer(tap);
  test::drag(*window, {100, 100}, {200, 150}, 10);
  ASSERT_GE(states.size(), 3u);
  EXPECT_EQ(states.front(), GestureRecognizerState::Began);
  EXPECT_EQ(states.back(), GestureRecognizerState::Ended);
  EXPECT_EQ(translation, (Point{100, 50}));
  EXPECT_EQ(view->log.front(), "began");
  EXPECT_EQ(view->log.back(), "cancelled");
  EXPECT_EQ(std::count(view->log.begin(), view->log.end(), "cancelled"), 1);
  // A small wobble is still a tap for the tap recognizer, not a pan.
  tap->removeAllActions();
  int taps = 0;
  tap->addAction([&](GestureRecognizer&) { ++taps; });
  states.clear();
  test::drag(*window, {100, 100}, {104, 103}, 2);
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(states.empty());
}

TEST_F(InteractionTest, LongPressBeginsAfterItsDurationOnTheClock) {
  auto view = View::make(Rect{0, 0, 200, 200});
  window->addSubview(view);
  std::vector<GestureRecognizerState> states;
  auto press = LongPressGestureRecognizer::make([&](GestureRecognizer& g) { states.push_back(g.state()); });
  view->addGestureRecognizer(press);
  test::touchDown(*window, {50, 50});
  advance(0.49);
  EXPECT_TRUE(states.empty());
  advance(0.02);
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0], GestureRecognizerState::Began);
  test::touchUp(*window, {50, 50});
  EXPECT_EQ(states.back(), GestureRecognizerState::Ended);
  // Lifted too early: nothing.
  states.clear();
  test::touchDown(*window, {50, 50});
  advance(0.2);
  test::touchUp(*window, {50, 50});
  advance(1);
  EXPECT_TRUE(states.empty());
}

TEST_F(InteractionTest, DelegateCanLetRecognizersShareATouch) {
  struct Both : GestureRecognizerDelegate {
    bool shouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override { return true; }
  };
  auto outer = View::make(Rect{0, 0, 300, 300});
  auto inner = View::make(Rect{0, 0, 100, 100});
  outer->addSubview(inner);
  window->addSubview(outer);
  int a = 0, b = 0;
  auto innerTap = TapGestureRecognizer::make([&](GestureRecognizer&) { ++a; });
  auto outerTap = TapGestureRecognizer::make([&](GestureRecognizer&) { ++b; });
  auto both = std::make_shared<Both>();
  outerTap->delegate = both;
  inner->addGestureRecognizer(innerTap);
  outer->addGestureRecognizer(outerTap);
  test::tap(inner);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
}

TEST_F(InteractionTest, TypingGoesThroughTheFieldsDelegate) {
  struct Limit : TextFieldDelegate {
    int returns = 0;
    bool shouldChangeCharacters(TextField&, Range, const std::string& replacement) override {
      return replacement != "\n";
    }
    bool textFieldShouldReturn(TextField& f) override {
      ++returns;
      f.resignFirstResponder();
      return false;
    }
  };
  auto field = TextField::make(Rect{20, 20, 200, 30});
  window->addSubview(field);
  auto limit = std::make_shared<Limit>();
  field->delegate = limit;
  int changes = 0;
  field->addAction(ControlEvent::EditingChanged, [&] { ++changes; });
  ASSERT_TRUE(test::typeText(*field, "player"));
  ASSERT_TRUE(test::typeText(*field, "01"));
  EXPECT_FALSE(test::typeText(*field, "\n"));
  EXPECT_EQ(field->text(), "player01");
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(field->isFirstResponder());
  field->pressReturn();
  EXPECT_EQ(limit->returns, 1);
  EXPECT_FALSE(field->isFirstResponder());
  // Replacing by UTF-16 range.
  field->setText("金币*100");
  ASSERT_TRUE(field->replaceCharacters({2, 1}, "x"));
  EXPECT_EQ(field->text(), "金币x100");
}

}  // namespace
}  // namespace kit
