// The platform progress HUD: the callers' show-and-hide pattern, the grace,
// minimum-show and delayed-hide timers on the virtual clock, the zoom, the
// indicator modes (and a ring going back to a pie), the bezel layout, the
// class operations, a followed progress object, work on another queue, and
// a HUD added by hand.

#include "ui/widgets/ph_progress_hud.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/foundation/notification_center.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/render.h"
#include "kit/ui/window.h"

namespace {

struct RecordingDelegate : PHProgressHUDDelegate {
  int hidden = 0;
  double at = -1;
  void hudWasHidden(PHProgressHUD&) override {
    ++hidden;
    at = kit::Clock::now();
  }
};

class ProgressHUD : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    window->setFrame({0, 0, 375, 667});
    window->makeKeyAndVisible();
    view = kit::View::make({0, 0, 375, 667});
    window->addSubview(view);
    recorder = std::make_shared<RecordingDelegate>();
  }
  void TearDown() override {
    view.reset();
    window.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }
  // Moves the clock to `t` seconds after the test began.
  void at(double t) { advance(t - elapsed()); }
  // Watches a HUD's hides: the completion block and the delegate.
  void watch(const kit::Ref<PHProgressHUD>& hud) {
    hud->delegate = recorder;
    hud->completionBlock = [this] {
      ++completions;
      completedAt = elapsed();
    };
  }
  static kit::Pixel pixel(const kit::Bitmap& picture, kit::Point p) {
    return picture.pixelAt(static_cast<size_t>(p.x), static_cast<size_t>(p.y));
  }

  kit::Ref<kit::Window> window;
  kit::Ref<kit::View> view;
  std::shared_ptr<RecordingDelegate> recorder;
  int completions = 0;
  double completedAt = -1;
};

TEST_F(ProgressHUD, TheCallersPatternShowsASpinnerAndLeavesWhenTheHideEnds) {
  kit::Weak<PHProgressHUD> gone;
  {
    auto hud = PHProgressHUD::showHUDAddedTo(view, true);
    gone = hud;
    ASSERT_EQ(view->subviews().back(), hud);
    EXPECT_EQ(hud->frame(), view->bounds());
    EXPECT_EQ(hud->mode(), PHProgressHUDModeIndeterminate);
    auto spinner = std::dynamic_pointer_cast<kit::ActivityIndicatorView>(hud->indicator());
    ASSERT_TRUE(spinner);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->style(), kit::ActivityIndicatorStyle::WhiteLarge);
    EXPECT_DOUBLE_EQ(hud->alpha(), 1.0);
    EXPECT_TRUE(hud->removeFromSuperViewOnHide());

    hud->backgroundView()->setStyle(PHProgressHUDBackgroundStyleSolidColor);
    hud->backgroundView()->setColor(kit::Color::white(0, 0.1));
    at(0.4);  // the fade-in is over
    EXPECT_DOUBLE_EQ(hud->bezelView()->alpha(), 1.0);
    EXPECT_TRUE(kit::isEqual(hud->backgroundView()->backgroundColor(), kit::Color::white(0, 0.1)));
    EXPECT_EQ(hud->backgroundView()->effectView(), nullptr);

    watch(hud);
    hud->hideAnimated(true);
    EXPECT_TRUE(hud->hasFinished());
    at(0.4 + 0.29);
    EXPECT_EQ(hud->superview(), view);
    EXPECT_EQ(completions, 0);
    at(0.4 + 0.31);
    EXPECT_EQ(hud->superview(), nullptr);
    EXPECT_DOUBLE_EQ(hud->alpha(), 0.0);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(recorder->hidden, 1);
    at(2);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(recorder->hidden, 1);
    hud->completionBlock = nullptr;
  }
  EXPECT_TRUE(gone.expired());
}

TEST_F(ProgressHUD, AHideWithinTheGraceTimeNeverShowsTheHUD) {
  auto hud = PHProgressHUD::initWithView(view);
  view->addSubview(hud);
  hud->setGraceTime(0.5);
  watch(hud);
  hud->showAnimated(true);
  ASSERT_TRUE(hud->graceTimer());
  at(0.2);
  EXPECT_DOUBLE_EQ(hud->alpha(), 0.0);
  hud->hideAnimated(true);
  EXPECT_EQ(completions, 1);
  EXPECT_NEAR(completedAt, 0.2, 1e-9);
  EXPECT_EQ(recorder->hidden, 1);
  at(1.0);
  EXPECT_DOUBLE_EQ(hud->alpha(), 0.0);
  EXPECT_FALSE(hud->showStarted());
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(recorder->hidden, 1);
}

TEST_F(ProgressHUD, AnEarlyHideWaitsForTheMinimumShowTime) {
  auto hud = PHProgressHUD::showHUDAddedTo(view, true);
  hud->setMinShowTime(1.0);
  watch(hud);
  at(0.2);
  hud->hideAnimated(true);
  ASSERT_TRUE(hud->minShowTimer());
  for (double t : {0.5, 0.99}) {
    at(t);
    EXPECT_DOUBLE_EQ(hud->bezelView()->alpha(), 1.0) << t;
    EXPECT_TRUE(hud->showStarted()) << t;
  }
  at(1.29);
  EXPECT_EQ(hud->superview(), view);
  at(1.31);
  EXPECT_EQ(hud->superview(), nullptr);
  EXPECT_EQ(completions, 1);
}

TEST_F(ProgressHUD, AHideOfANeverShownHUDEndsAtOnceAndADelayedHideWaits) {
  auto never = PHProgressHUD::initWithView(view);
  view->addSubview(never);
  watch(never);
  never->hideAnimated(true);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(recorder->hidden, 1);
  EXPECT_DOUBLE_EQ(never->alpha(), 0.0);
  EXPECT_EQ(never->superview(), view);  // not removed: added by hand

  auto later = PHProgressHUD::showHUDAddedTo(view, false);
  later->hideAnimated(false, 1.0);
  at(0.99);
  EXPECT_EQ(later->superview(), view);
  at(1.01);
  EXPECT_EQ(later->superview(), nullptr);

  // A show before the delay is up cancels the hide.
  auto kept = PHProgressHUD::showHUDAddedTo(view, false);
  kept->hideAnimated(false, 1.0);
  at(1.5);
  kept->showAnimated(false);
  at(3.0);
  EXPECT_EQ(kept->superview(), view);
  EXPECT_DOUBLE_EQ(kept->alpha(), 1.0);
}

TEST_F(ProgressHUD, TheZoomGrowsTheBezelFromHalfAndShrinksItToHalf) {
  auto hud = PHProgressHUD::initWithView(view);
  view->addSubview(hud);
  hud->setAnimationType(PHProgressHUDAnimationZoom);
  hud->showAnimated(true);
  // The model takes its final value; the recorded animation starts at 0.5.
  EXPECT_TRUE(hud->bezelView()->transform().isIdentity());
  auto shown = hud->bezelView()->layer()->presentationTransform();
  EXPECT_NEAR(shown.m11, 0.5, 1e-9);
  at(0.15);
  shown = hud->bezelView()->layer()->presentationTransform();
  EXPECT_GT(shown.m11, 0.5);
  EXPECT_LT(shown.m11, 1.0);
  at(0.4);
  EXPECT_TRUE(hud->bezelView()->layer()->presentationTransform().isIdentity());

  hud->hideAnimated(true);
  EXPECT_EQ(hud->bezelView()->transform(), kit::AffineTransform::makeScale(0.5, 0.5));
  EXPECT_DOUBLE_EQ(hud->bezelView()->alpha(), 0.0);
  at(0.8);
  EXPECT_EQ(hud->superview(), view);
}

TEST_F(ProgressHUD, ModesMakeTheirIndicatorsAndARingBecomesAPieAgain) {
  auto hud = PHProgressHUD::showHUDAddedTo(view, false);
  auto spinner = hud->indicator();
  hud->setMode(PHProgressHUDModeAnnularDeterminate);
  auto round = std::dynamic_pointer_cast<PHRoundProgressView>(hud->indicator());
  ASSERT_TRUE(round);
  EXPECT_TRUE(round->annular());
  EXPECT_EQ(spinner->superview(), nullptr);
  EXPECT_EQ(round->superview(), hud->bezelView());

  hud->setMode(PHProgressHUDModeIndeterminate);
  auto again = std::dynamic_pointer_cast<kit::ActivityIndicatorView>(hud->indicator());
  ASSERT_TRUE(again);
  EXPECT_NE(again, spinner);
  EXPECT_TRUE(again->isAnimating());

  hud->setProgress(0.5f);
  hud->setMode(PHProgressHUDModeDeterminate);
  round = std::dynamic_pointer_cast<PHRoundProgressView>(hud->indicator());
  ASSERT_TRUE(round);
  EXPECT_FALSE(round->annular());
  EXPECT_FLOAT_EQ(round->progress(), 0.5f);
  // Inside a HUD the indicator takes the content colour.
  EXPECT_TRUE(kit::isEqual(round->progressTintColor(), kit::Color::white(0, 0.7)));
  EXPECT_TRUE(kit::isEqual(round->backgroundTintColor(), kit::Color::white(0, 0.1)));

  hud->setMode(PHProgressHUDModeAnnularDeterminate);
  EXPECT_EQ(hud->indicator(), round);
  EXPECT_TRUE(round->annular());
  hud->setMode(PHProgressHUDModeDeterminate);
  EXPECT_EQ(hud->indicator(), round);
  EXPECT_FALSE(round->annular());

  hud->setMode(PHProgressHUDModeDeterminateHorizontalBar);
  auto bar = std::dynamic_pointer_cast<PHBarProgressView>(hud->indicator());
  ASSERT_TRUE(bar);
  EXPECT_FLOAT_EQ(bar->progress(), 0.5f);
  EXPECT_TRUE(kit::isEqual(bar->lineColor(), kit::Color::white(0, 0.7)));

  auto custom = kit::View::make({0, 0, 30, 20});
  hud->setCustomView(custom);
  EXPECT_EQ(hud->indicator(), bar);  // not in the custom mode yet
  hud->setMode(PHProgressHUDModeCustomView);
  EXPECT_EQ(hud->indicator(), custom);
  EXPECT_TRUE(kit::isEqual(custom->tintColor(), kit::Color::white(0, 0.7)));
  hud->setMode(PHProgressHUDModeText);
  EXPECT_EQ(hud->indicator(), nullptr);
  EXPECT_EQ(custom->superview(), nullptr);
}

TEST_F(ProgressHUD, APieAtHalfFillsTheRightHalfOnly) {
  auto hud = PHProgressHUD::showHUDAddedTo(view, false);
  hud->setMode(PHProgressHUDModeDeterminate);
  hud->setProgress(0.5f);
  hud->setContentColor(kit::Color::rgba(1, 0, 0, 1));
  auto round = std::dynamic_pointer_cast<PHRoundProgressView>(hud->indicator());
  ASSERT_TRUE(round);
  EXPECT_EQ(round->bounds().size, (kit::Size{37, 37}));
  auto picture = kit::render(*round, 1);
  ASSERT_TRUE(picture);
  const kit::Pixel right = pixel(*picture, {18.5 + 15, 18.5});
  const kit::Pixel left = pixel(*picture, {18.5 - 15, 18.5});
  EXPECT_GT(right.r, 200) << "progress tint on the right";
  EXPECT_GT(right.a, 200);
  EXPECT_LT(left.a, 40) << "nothing on the left";

  // As a ring the same view draws only its 2-point band.
  hud->setMode(PHProgressHUDModeAnnularDeterminate);
  picture = kit::render(*round, 1);
  EXPECT_LT(pixel(*picture, {18.5 + 15, 18.5}).a, 40);
  EXPECT_GT(pixel(*picture, {18.5 + 17.5, 18.5}).a, 150);
}

TEST_F(ProgressHUD, TheBezelHugsItsContentAndKeepsItsMargins) {
  auto hud = PHProgressHUD::showHUDAddedTo(view, false);
  hud->layoutIfNeeded();
  const kit::Size spinner = hud->indicator()->intrinsicContentSize();
  ASSERT_GT(spinner.width, 0);
  EXPECT_EQ(hud->bezelView()->bounds().size, (kit::Size{spinner.width + 40, spinner.height + 40}));
  EXPECT_EQ(hud->bezelView()->center(), (kit::Point{187.5, 333.5}));
  EXPECT_EQ(hud->indicator()->frame(), (kit::Rect{20, 20, spinner.width, spinner.height}));
  EXPECT_DOUBLE_EQ(hud->bezelView()->layer()->cornerRadius(), 5);

  // The button takes room only once it has an action.
  EXPECT_EQ(hud->button()->intrinsicContentSize(), (kit::Size{0, 0}));
  hud->button()->setTitle("取消", kit::ControlStateNormal);
  EXPECT_EQ(hud->button()->intrinsicContentSize(), (kit::Size{0, 0}));
  hud->button()->addAction(kit::ControlEvent::TouchUpInside, [] {});
  const kit::Size natural = hud->button()->kit::Button::intrinsicContentSize();
  EXPECT_EQ(hud->button()->intrinsicContentSize(), (kit::Size{natural.width + 20, natural.height}));

  // A label and the button: 4 points between each shown view.
  hud->label()->setText("加载中");
  hud->layoutIfNeeded();
  const kit::Rect label = hud->label()->frame();
  const kit::Rect button = hud->button()->frame();
  EXPECT_DOUBLE_EQ(label.minY(), 20 + spinner.height + 4);
  EXPECT_DOUBLE_EQ(button.minY(), label.maxY() + 4);  // the empty details add nothing
  EXPECT_DOUBLE_EQ(hud->bezelView()->bounds().height(), button.maxY() + 20);
  EXPECT_DOUBLE_EQ(label.midX(), hud->bezelView()->bounds().width() / 2);

  // Pushed far down, the bezel stops 20 from the bottom edge.
  hud->setOffset({0, 1000});
  hud->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(hud->bezelView()->frame().maxY(), 667 - 20);

  hud->setOffset({0, 0});
  hud->label()->setText("");
  hud->button()->removeAllActions();
  hud->setMinSize({200, 100});
  hud->layoutIfNeeded();
  EXPECT_EQ(hud->bezelView()->bounds().size, (kit::Size{200, 100}));
  EXPECT_DOUBLE_EQ(hud->indicator()->frame().midY(), 50);  // the spacers share the room
  hud->setSquare(true);
  hud->layoutIfNeeded();
  EXPECT_EQ(hud->bezelView()->bounds().size, (kit::Size{200, 200}));

  // Long details wrap within the HUD's width less four margins.
  hud->setMinSize({0, 0});
  hud->setSquare(false);
  hud->setDetailsLabelText(std::string(40, 'x') + " " + std::string(40, 'y') + " " + std::string(40, 'z'));
  hud->layoutIfNeeded();
  EXPECT_LE(hud->detailsLabel()->frame().width(), 375 - 80);
  EXPECT_LE(hud->bezelView()->bounds().width(), 375 - 40);
  EXPECT_GT(hud->detailsLabel()->frame().height(), 20);
}

TEST_F(ProgressHUD, ClassOperationsFindAndHideTheViewsHUDs) {
  EXPECT_FALSE(PHProgressHUD::hideHUDForView(view, true));
  EXPECT_EQ(PHProgressHUD::HUDForView(view), nullptr);
  auto first = PHProgressHUD::showHUDAddedTo(view, false);
  auto second = PHProgressHUD::showHUDAddedTo(view, false);
  EXPECT_EQ(PHProgressHUD::HUDForView(view), second);
  EXPECT_EQ(PHProgressHUD::allHUDsForView(view), (std::vector<kit::Ref<PHProgressHUD>>{first, second}));

  // A finished HUD still in the view (its hide is running) is skipped.
  second->hideAnimated(true);
  EXPECT_EQ(second->superview(), view);
  EXPECT_EQ(PHProgressHUD::HUDForView(view), first);
  at(0.5);

  auto third = PHProgressHUD::showHUDAddedTo(view, false);
  EXPECT_EQ(PHProgressHUD::hideAllHUDsForView(view, false), 2u);
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_EQ(third->superview(), nullptr);
  EXPECT_TRUE(PHProgressHUD::allHUDsForView(view).empty());
}

TEST_F(ProgressHUD, TheDefaultBackgroundReadsBackUntilItsColourChanges) {
  auto hud = PHProgressHUD::initWithView(view);
  EXPECT_FALSE(hud->isDefaultBackground());
  hud->setIsDefaultBackground(true);
  EXPECT_TRUE(hud->isDefaultBackground());
  hud->backgroundView()->setColor(kit::Color::white(0, 0.1));
  EXPECT_FALSE(hud->isDefaultBackground());
  hud->setIsDefaultBackground(false);
  EXPECT_TRUE(kit::isEqual(hud->backgroundView()->color(), kit::Color::clearColor()));
}

TEST_F(ProgressHUD, AProgressObjectIsFollowedFrameByFrameWhileShown) {
  auto hud = PHProgressHUD::showHUDAddedTo(view, false);
  hud->setMode(PHProgressHUDModeDeterminate);
  auto progress = kit::Progress::progressWithTotalUnitCount(100);
  hud->setProgressObject(progress);
  ASSERT_TRUE(hud->progressObjectDisplayLink());
  progress->setCompletedUnitCount(25);
  EXPECT_FLOAT_EQ(hud->progress(), 0.0f);
  advance(1.0 / 60 + 0.001);
  EXPECT_FLOAT_EQ(hud->progress(), 0.25f);
  progress->setCompletedUnitCount(75);
  advance(1.0 / 60 + 0.001);
  EXPECT_FLOAT_EQ(hud->progress(), 0.75f);
  EXPECT_FLOAT_EQ(std::dynamic_pointer_cast<PHRoundProgressView>(hud->indicator())->progress(), 0.75f);

  hud->hideAnimated(false);
  EXPECT_EQ(hud->progressObjectDisplayLink(), nullptr);
  progress->setCompletedUnitCount(90);
  advance(0.1);
  EXPECT_FLOAT_EQ(hud->progress(), 0.75f);
}

TEST_F(ProgressHUD, WorkRunsOffTheMainThreadThenTheHUDHidesOnMain) {
  auto hud = PHProgressHUD::initWithView(view);
  hud->setRemoveFromSuperViewOnHide(true);
  view->addSubview(hud);
  std::atomic<bool> workOnMain{true};
  bool completedOnMain = false;
  hud->showAnimated(
      false, [&] { workOnMain = kit::RunLoop::isMainThread(); },
      [&] { completedOnMain = kit::RunLoop::isMainThread(); });
  EXPECT_TRUE(hud->taskInProgress());
  ASSERT_TRUE(kit::test::runUntil([&] { return hud->superview() == nullptr; }));
  EXPECT_FALSE(workOnMain);
  EXPECT_TRUE(completedOnMain);
  EXPECT_FALSE(hud->taskInProgress());
}

TEST_F(ProgressHUD, DefaultsOfTheHUDAndItsViews) {
  auto hud = PHProgressHUD::initWithView(view);
  EXPECT_DOUBLE_EQ(hud->margin(), 20);
  EXPECT_TRUE(kit::isEqual(hud->contentColor(), kit::Color::white(0, 0.7)));
  EXPECT_EQ(hud->bezelView()->style(), PHProgressHUDBackgroundStyleBlur);
  EXPECT_TRUE(hud->bezelView()->effectView());
  EXPECT_TRUE(kit::isEqual(hud->bezelView()->color(), kit::Color::white(0.8, 0.6)));
  EXPECT_DOUBLE_EQ(hud->cornerRadius(), 5);
  EXPECT_TRUE(kit::isEqual(hud->label()->font(), kit::Font::boldSystemFont(16)));
  EXPECT_TRUE(kit::isEqual(hud->detailsLabel()->font(), kit::Font::boldSystemFont(12)));
  EXPECT_EQ(hud->detailsLabel()->numberOfLines(), 0);
  EXPECT_DOUBLE_EQ(hud->alpha(), 0.0);
  EXPECT_EQ(hud->bezelView()->motionEffects().size(), 1u);
  hud->setDefaultMotionEffectsEnabled(false);
  EXPECT_TRUE(hud->bezelView()->motionEffects().empty());

  auto round = PHRoundProgressView::make();
  EXPECT_EQ(round->frame(), (kit::Rect{0, 0, 37, 37}));
  EXPECT_TRUE(kit::isEqual(round->progressTintColor(), kit::Color::white(1, 1)));
  EXPECT_TRUE(kit::isEqual(round->backgroundTintColor(), kit::Color::white(1, 0.1)));
  auto bar = PHBarProgressView::make();
  EXPECT_EQ(bar->frame(), (kit::Rect{0, 0, 120, 20}));
  EXPECT_EQ(bar->intrinsicContentSize(), (kit::Size{120, 10}));

  auto button = PHProgressHUDRoundedButton::make({0, 0, 80, 31});
  button->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(button->layer()->cornerRadius(), 16);
  EXPECT_DOUBLE_EQ(button->layer()->borderWidth(), 1);
  button->setTitleColor(kit::Color::redColor(), kit::ControlStateSelected);
  EXPECT_TRUE(kit::isEqual(button->layer()->borderColor(), kit::Color::redColor()));
  button->setHighlighted(true);
  EXPECT_TRUE(kit::isEqual(button->backgroundColor(), kit::Color::redColor()->withAlpha(0.1)));
  button->setHighlighted(false);
  EXPECT_TRUE(kit::isEqual(button->backgroundColor(), kit::Color::clearColor()));
}

TEST_F(ProgressHUD, AHUDAddedByHandStaysAndFollowsItsSuperview) {
  auto hud = PHProgressHUD::initWithView(view);
  auto other = kit::View::make({0, 0, 300, 200});
  window->addSubview(other);
  other->addSubview(hud);
  EXPECT_EQ(hud->frame(), other->bounds());  // moved to a superview
  hud->showAnimated(false);
  hud->hideAnimated(false);
  EXPECT_EQ(hud->superview(), other);
  EXPECT_DOUBLE_EQ(hud->alpha(), 0.0);
  EXPECT_EQ(PHProgressHUD::HUDForView(other), nullptr);
  hud->showAnimated(false);
  EXPECT_EQ(PHProgressHUD::HUDForView(other), hud);
  EXPECT_DOUBLE_EQ(hud->alpha(), 1.0);

  other->setFrame({0, 0, 500, 250});
  hud->setFrame({0, 0, 10, 10});
  kit::Application::shared()->postNotification(kit::ApplicationDidChangeStatusBarOrientationNotification);
  EXPECT_EQ(hud->frame(), other->bounds());

  hud->removeFromSuperview();
  kit::Weak<PHProgressHUD> weak = hud;
  hud.reset();
  EXPECT_TRUE(weak.expired());
  kit::Application::shared()->postNotification(kit::ApplicationDidChangeStatusBarOrientationNotification);
}

}  // namespace
