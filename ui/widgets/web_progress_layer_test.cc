// Pausable block timers and the web pages' loading line on the virtual
// clock: pause and resume, what a block timer keeps alive, the line's growth
// curve, its finish and removal, and the line in a rendered picture.
#include <gtest/gtest.h>

#include <memory>

#include "kit/dispatch/clock.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/window.h"
#include "ui/widgets/kt_web_progress_layer.h"
#include "ui/widgets/ns_timer_kt_addition.h"

namespace {

using T = NSTimerKTAddition;

class BlockTimers : public kit::test::VirtualClockTest {};

TEST_F(BlockTimers, PausedResumedAndResumedLater) {
  int fires = 0;
  auto timer = T::wy_scheduledTimerWithTimeInterval(1.0, true, [&](kit::Timer&) { ++fires; });
  advance(1.0);
  EXPECT_EQ(fires, 1);

  T::pause(*timer);
  advance(10);
  EXPECT_EQ(fires, 1) << "a paused timer does not fire";

  T::resume(*timer);
  clock().settle();
  EXPECT_EQ(fires, 2) << "resume fires on the next run-loop pass";
  advance(1.0);
  EXPECT_EQ(fires, 3) << "and keeps its interval from there";

  T::resumeWithTimeInterval(*timer, 2);
  advance(1.99);
  EXPECT_EQ(fires, 3);
  advance(0.02);
  EXPECT_EQ(fires, 4);

  // An invalidated timer ignores all three.
  timer->invalidate();
  const double date = timer->fireDate();
  T::pause(*timer);
  T::resume(*timer);
  T::resumeWithTimeInterval(*timer, 2);
  EXPECT_EQ(timer->fireDate(), date);
  advance(5);
  EXPECT_EQ(fires, 4);
}

TEST_F(BlockTimers, KeepsNothingAliveButItsBlock) {
  struct Owner {
    kit::Ref<kit::Timer> timer;
    int ticks = 0;
  };
  // The owner holds the timer; the block holds the owner weakly.
  auto owner = std::make_shared<Owner>();
  std::weak_ptr<Owner> weak = owner;
  int blockRuns = 0;
  owner->timer = T::wy_scheduledTimerWithTimeInterval(0.5, true, [weak, &blockRuns](kit::Timer&) {
    ++blockRuns;
    if (auto self = weak.lock()) ++self->ticks;
  });
  kit::Ref<kit::Timer> timer = owner->timer;
  advance(1.0);
  EXPECT_EQ(owner->ticks, 2);
  owner.reset();
  EXPECT_TRUE(weak.expired()) << "the running timer does not keep its owner";
  advance(1.0);
  EXPECT_EQ(blockRuns, 4) << "the timer runs on with its block";

  // A block that holds its owner strongly lets it go once the timer is
  // invalidated: the timer drops its block then.
  auto held = std::make_shared<Owner>();
  std::weak_ptr<Owner> heldWeak = held;
  held->timer = T::wy_scheduledTimerWithTimeInterval(0.5, true, [held](kit::Timer&) { ++held->ticks; });
  advance(0.5);
  EXPECT_EQ(held->ticks, 1);
  held->timer->invalidate();
  held.reset();
  EXPECT_TRUE(heldWeak.expired());
  timer->invalidate();
}

class WebProgressLine : public kit::test::VirtualClockTest {
 protected:
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window = kit::Window::make();
  kit::Ref<KTWebProgressLayer> line = KTWebProgressLayer::layerWithFrame(kit::Rect{0, 44, 300, 2});

  void SetUp() override {
    VirtualClockTest::SetUp();
    window->layer()->addSublayer(line);
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    line->closeTimer();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }
  // Advances to `seconds` after the test began.
  void advanceTo(double seconds) { advance(seconds - elapsed()); }
  kit::Pixel pixel(double x, double y) {
    return kit::render(*window)->pixelAt(static_cast<size_t>(x * 2), static_cast<size_t>(y * 2));
  }
};

TEST_F(WebProgressLine, MadeWithItsLookAndNoTickBeforeStart) {
  EXPECT_EQ(line->frame(), (kit::Rect{0, 44, 300, 2}));
  EXPECT_EQ(line->anchorPoint(), (kit::Point{0, 0.5}));
  EXPECT_DOUBLE_EQ(line->lineWidth(), 2);
  double r, g, b, a;
  ASSERT_TRUE(line->strokeColor()->getRed(&r, &g, &b, &a));
  EXPECT_DOUBLE_EQ(r, 1);
  EXPECT_DOUBLE_EQ(g, 127 / 255.0);
  EXPECT_DOUBLE_EQ(b, 0);
  EXPECT_DOUBLE_EQ(a, 1);
  ASSERT_TRUE(line->path());
  const auto box = line->path()->boundingBox();
  EXPECT_EQ(box.origin, (kit::Point{0, 2}));
  EXPECT_DOUBLE_EQ(box.maxX(), 375) << "the line spans the screen, not the layer";
  EXPECT_DOUBLE_EQ(line->strokeEnd(), 0);
  advance(3);
  EXPECT_DOUBLE_EQ(line->strokeEnd(), 0) << "no tick before startLoad";
}

TEST_F(WebProgressLine, GrowsFastThenSlowAndWaitsAt97) {
  line->startLoad();
  advanceTo(1.5);
  EXPECT_NEAR(line->strokeEnd(), 0.50, 0.011);
  advanceTo(2.3);
  EXPECT_LT(line->strokeEnd(), 0.8);
  EXPECT_DOUBLE_EQ(line->plusWidth(), KTWebProgressLayer::FastStep);
  advanceTo(2.5);
  EXPECT_GT(line->strokeEnd(), 0.8);
  EXPECT_DOUBLE_EQ(line->plusWidth(), KTWebProgressLayer::SlowStep);
  const double before = line->strokeEnd();
  advance(0.3);  // ten ticks
  EXPECT_NEAR(line->strokeEnd() - before, 0.010, 0.0015);

  advanceTo(8);
  EXPECT_NEAR(line->strokeEnd(), 0.97, 0.002);
  EXPECT_EQ(line->timer()->fireDate(), kit::Forever) << "paused at the wait";
  advance(20);
  EXPECT_NEAR(line->strokeEnd(), 0.97, 0.002);

  // Half the line is drawn at 0.5: orange on the left, nothing on the right.
  line->setStrokeEnd(0.5);
  const kit::Pixel left = pixel(100, 45);
  EXPECT_EQ(left.r, 255);
  EXPECT_NEAR(left.g, 127, 2);
  EXPECT_LT(left.b, 10);
  EXPECT_NE(pixel(250, 45), left);
}

TEST_F(WebProgressLine, FinishFillsAtOnceThenHidesAndDetaches) {
  line->startLoad();
  advanceTo(1.0);
  EXPECT_LT(line->strokeEnd(), 0.5);
  line->finishedLoad();
  EXPECT_DOUBLE_EQ(line->strokeEnd(), 1.0);
  EXPECT_EQ(line->timer(), nullptr);
  advance(0.24);
  EXPECT_FALSE(line->isHidden());
  EXPECT_EQ(line->superlayer(), window->layer());
  advance(0.02);
  EXPECT_TRUE(line->isHidden());
  EXPECT_EQ(line->superlayer(), nullptr);

  line->startLoad();
  advance(1);
  EXPECT_DOUBLE_EQ(line->strokeEnd(), 1.0) << "startLoad after the finish changes nothing";
}

TEST_F(WebProgressLine, ALineDroppedWhileLoadingTakesItsTimerWithIt) {
  auto lone = KTWebProgressLayer::layerWithFrame(kit::Rect{0, 44, 300, 2});
  lone->startLoad();
  advance(0.3);
  kit::Ref<kit::Timer> timer = lone->timer();
  kit::Weak<KTWebProgressLayer> weak = lone;
  lone.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(timer->isValid());
  advance(1);
}

TEST_F(WebProgressLine, ALineMadeWithoutItsFactoryLooksAndGrowsTheSame) {
  auto plain = kit::make<KTWebProgressLayer>();
  plain->setFrame(kit::Rect{0, 44, 300, 2});
  window->layer()->addSublayer(plain);
  EXPECT_DOUBLE_EQ(plain->lineWidth(), 2);
  EXPECT_EQ(plain->anchorPoint(), (kit::Point{0, 0.5}));
  ASSERT_TRUE(plain->path());
  EXPECT_DOUBLE_EQ(plain->path()->boundingBox().maxX(), 375);
  EXPECT_DOUBLE_EQ(plain->strokeEnd(), 0) << "an empty line, not a full one";
  plain->startLoad();
  ASSERT_TRUE(plain->timer());
  advance(1.5);
  EXPECT_NEAR(plain->strokeEnd(), line->strokeEnd() + 0.50, 0.011);
  plain->finishedLoad();
  plain->startLoad();
  EXPECT_FALSE(plain->timer()) << "a finished line starts no new timer";
  plain->closeTimer();
}

}  // namespace
