// Animations on the virtual clock: view animation blocks set the final
// values at once and complete after their duration on the run loop; layer
// animations are recorded, evaluated for presentation, and end in order;
// display links tick per frame; transactions complete after their
// animations; the same steps give the same events whatever the clock reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/timer.h"
#include "kit/testing/own_process.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/display_link.h"
#include "kit/ui/shape_layer.h"
#include "kit/ui/transaction.h"
#include "kit/ui/view.h"

namespace kit {
namespace {

class AnimationTest : public test::VirtualClockTest {};

TEST_F(AnimationTest, AnimateSetsTheFinalFrameAtOnceAndCompletesAfterTheDuration) {
  auto view = View::make(Rect{0, 0, 100, 100});
  int completions = 0;
  bool finishedFlag = false;
  View::animate(
      2.0, [&] { view->setFrame({50, 60, 200, 100}); },
      [&](bool finished) {
        ++completions;
        finishedFlag = finished;
      });
  EXPECT_EQ(view->frame(), (Rect{50, 60, 200, 100}));
  EXPECT_EQ(completions, 0) << "never inside the call";
  advance(1.999);
  EXPECT_EQ(completions, 0);
  // Half-way the layer shows a position between the two.
  ASSERT_TRUE(view->layer()->animationForKey("position"));
  advance(0.001);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(finishedFlag);
  EXPECT_FALSE(view->layer()->hasAnimations()) << "removed on completion";
  advance(5);
  EXPECT_EQ(completions, 1);
}

TEST_F(AnimationTest, PresentationValuesMoveWithTheClockAndDelaysWait) {
  auto view = View::make(Rect{0, 0, 100, 100});
  View::animate(1.0, 0.5, AnimationOptionCurveLinear, [&] { view->setAlpha(0); });
  EXPECT_EQ(view->alpha(), 0);
  EXPECT_DOUBLE_EQ(view->layer()->presentationDouble("opacity"), 1) << "the old value shows during the delay";
  advance(1.0);  // half-way through the animation
  EXPECT_NEAR(view->layer()->presentationDouble("opacity"), 0.5, 1e-9);
  advance(0.6);
  EXPECT_DOUBLE_EQ(view->layer()->presentationDouble("opacity"), 0);
}

TEST_F(AnimationTest, NothingToAnimateStillCompletesOnTheRunLoop) {
  auto view = View::make(Rect{0, 0, 10, 10});
  bool done = false;
  View::animate(0.3, [&] { view->setFrame({0, 0, 10, 10}); }, [&](bool) { done = true; });
  EXPECT_FALSE(done);
  ASSERT_TRUE(test::runUntil([&] { return done; }));
}

TEST_F(AnimationTest, InterruptedAnimationCompletesUnfinished) {
  auto view = View::make(Rect{0, 0, 10, 10});
  std::vector<bool> results;
  View::animate(1.0, [&] { view->setCenter({100, 100}); }, [&](bool f) { results.push_back(f); });
  advance(0.5);
  View::animate(1.0, [&] { view->setCenter({0, 0}); }, [&](bool f) { results.push_back(f); });
  advance(0);
  ASSERT_TRUE(test::runUntil([&] { return results.size() == 1; }));
  EXPECT_FALSE(results[0]);
  advance(1.0);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[1]);
}

TEST_F(AnimationTest, SpringAndBeginCommitFormsRecordTheirAnimations) {
  auto view = View::make(Rect{0, 0, 10, 10});
  bool done = false;
  View::animateSpring(0.5, 0, 0.6, 0.8, 0, [&] { view->setTransform(AffineTransform::identity().translated(0, -600)); },
                      [&](bool) { done = true; });
  auto spring = as<SpringAnimation>(view->layer()->animationForKey("transform"));
  ASSERT_TRUE(spring);
  EXPECT_DOUBLE_EQ(spring->damping(), 0.6);
  advance(0.5);
  EXPECT_TRUE(done);

  // The older form: the duration set inside the block applies at commit.
  View::beginAnimations();
  view->setCenter({600, 0});
  View::setAnimationDuration(1.0);
  View::commitAnimations();
  auto move = view->layer()->animationForKey("position");
  ASSERT_TRUE(move);
  EXPECT_DOUBLE_EQ(move->duration(), 1.0);
  View::performWithoutAnimation([&] { view->setCenter({1, 1}); });
  EXPECT_EQ(view->layer()->animationForKey("position"), move);
}

TEST_F(AnimationTest, LayerAnimationsAreKeyedRepeatedAndStopped) {
  auto dot = Layer::make();
  auto scale = BasicAnimation::withKeyPath("transform.scale");
  scale->setFromValue(1.0);
  scale->setToValue(0.0);
  scale->setDuration(0.7);
  scale->setRepeatCount(HUGE_VAL);
  scale->setTimingFunction(TimingLinear);
  dot->addAnimation(scale, "pulse");
  EXPECT_EQ(dot->animationKeys(), std::vector<std::string>{"pulse"});
  advance(0.35);
  EXPECT_NEAR(dot->presentationTransform().m11, 0.5, 1e-9);
  advance(10);
  EXPECT_TRUE(dot->animationForKey("pulse")) << "an endless animation stays";

  auto ring = ShapeLayer::make();
  auto group = AnimationGroup::make();
  auto start = BasicAnimation::withKeyPath("strokeStart");
  start->setFromValue(0.015);
  start->setToValue(0.515);
  auto end = BasicAnimation::withKeyPath("strokeEnd");
  end->setFromValue(0.485);
  end->setToValue(0.985);
  group->setAnimations({start, end});
  group->setDuration(1.0);
  group->setRepeatCount(HUGE_VAL);
  group->setRemovedOnCompletion(false);
  ring->addAnimation(group, "progress");
  advance(0.5);
  EXPECT_NEAR(ring->presentationDouble("strokeStart"), 0.265, 1e-9);
  EXPECT_NEAR(ring->presentationDouble("strokeEnd"), 0.735, 1e-9);
  EXPECT_DOUBLE_EQ(ring->strokeEnd(), 1) << "the model value is untouched";

  int stops = 0;
  bool finished = true;
  auto fade = BasicAnimation::withKeyPath("opacity");
  fade->setToValue(0.0);
  fade->setDuration(1);
  fade->onStop = [&](Animation&, bool f) {
    ++stops;
    finished = f;
  };
  dot->addAnimation(fade, "fade");
  dot->removeAnimationForKey("fade");
  ASSERT_TRUE(test::runUntil([&] { return stops == 1; }));
  EXPECT_FALSE(finished);
  advance(2);
  EXPECT_EQ(stops, 1);

  // Forward fill keeps the end value after the end when not removed.
  auto hold = BasicAnimation::withKeyPath("opacity");
  hold->setToValue(0.25);
  hold->setDuration(1);
  hold->setFillMode(FillMode::Forwards);
  hold->setRemovedOnCompletion(false);
  dot->addAnimation(hold, "hold");
  advance(3);
  EXPECT_DOUBLE_EQ(dot->presentationDouble("opacity"), 0.25);
  dot->removeAllAnimations();
  EXPECT_DOUBLE_EQ(dot->presentationDouble("opacity"), 1);
}

TEST_F(AnimationTest, DisplayLinkTicksOncePerFrameOfClockTime) {
  int frames = 0;
  auto link = DisplayLink::make([&](DisplayLink&) { ++frames; });
  link->addToRunLoop(RunLoop::main());
  advance(1.0);
  EXPECT_NEAR(frames, 60, 1);
  link->setPaused(true);
  advance(1.0);
  EXPECT_NEAR(frames, 60, 1);
  link->setPaused(false);
  link->setPreferredFramesPerSecond(10);
  const int before = frames;
  advance(1.0);
  // Frames follow a computed schedule, so the tenth lands on the second.
  EXPECT_EQ(frames - before, 10);
  const int running = frames;
  link->invalidate();
  advance(1.0);
  EXPECT_EQ(frames, running) << "no frames after invalidation";
}

TEST_F(AnimationTest, DisplayLinkFrameIntervalCallsBackOnEveryNthFrame) {
  std::vector<double> stamps;
  double duration = 0;
  auto link = DisplayLink::make([&](DisplayLink& l) {
    stamps.push_back(l.timestamp() - startTime());
    duration = l.duration();
  });
  link->setFrameInterval(6);
  link->addToRunLoop(RunLoop::main());
  advance(0.35);
  ASSERT_EQ(stamps.size(), 3u);
  EXPECT_NEAR(stamps[0], 0.1, 1e-9);
  EXPECT_NEAR(stamps[2], 0.3, 1e-9);
  EXPECT_DOUBLE_EQ(duration, 1.0 / 60) << "the duration stays one display frame";
  EXPECT_NEAR(link->targetTimestamp() - link->timestamp(), 0.1, 1e-9);
  link->setFrameInterval(0);
  EXPECT_EQ(link->frameInterval(), 1);
  link->invalidate();
}

TEST_F(AnimationTest, TransactionCompletesAfterItsLongestAnimation) {
  auto layer = Layer::make();
  bool done = false;
  Transaction::begin();
  Transaction::setCompletionBlock([&] { done = true; });
  Transaction::setDisableActions(true);
  EXPECT_TRUE(Transaction::disableActions());
  auto a = BasicAnimation::withKeyPath("opacity");
  a->setDuration(0.5);
  auto b = BasicAnimation::withKeyPath("position");
  b->setDuration(1.5);
  layer->addAnimation(a, "a");
  layer->addAnimation(b, "b");
  Transaction::commit();
  EXPECT_FALSE(Transaction::disableActions());
  advance(1.4);
  EXPECT_FALSE(done);
  advance(0.1);
  EXPECT_TRUE(done);
}

// A 0.4 s layer animation, a repeating 0.1 s timer and a delayed call at
// 0.3 s that starts a 0.3 s animation, advanced in steps that sum to their
// deadlines (0.1 + 0.2 + 0.1 = 0.4, ... = 0.6): what ended or fired after
// each step. Monotonic time starts at `origin`.
std::vector<std::string> eventsOfTheSequenceAt(double origin) {
  VirtualClock clock(0, origin);
  std::vector<std::string> events;
  auto layer = Layer::make();
  auto animation = [&](const char* name, const char* keyPath, double duration) {
    auto a = BasicAnimation::withKeyPath(keyPath);
    a->setFromValue(0.0);
    a->setToValue(1.0);
    a->setDuration(duration);
    a->onStop = [&events, name](Animation&, bool finished) {
      events.push_back(std::string(name) + (finished ? " ended" : " cut"));
    };
    layer->addAnimation(a, name);
  };
  animation("slide", "position.y", 0.4);
  int ticks = 0;
  auto timer = Timer::scheduled(0.1, true, [&](Timer&) { ++ticks; });
  Queue::main().after(0.3, [&] {
    events.push_back("delayed call");
    animation("fade", "opacity", 0.3);
  });
  for (double step : {0.1, 0.2, 0.1, 0.2, 0.2, 0.1, 0.2, 0.1}) {
    clock.advance(step);
    events.push_back("ticks " + std::to_string(ticks) + (layer->hasAnimations() ? ", animating" : ", still"));
  }
  timer->invalidate();
  return events;
}

TEST(AnimationClock, TheSameStepsGiveTheSameEventsAtAnyOrigin) {
  // Clocks far ahead leave this process's time there: the test runs alone.
  if (!test::inOwnProcess()) return;
  const std::vector<std::string> expected{
      "ticks 1, animating",                  // 0.1
      "delayed call", "ticks 3, animating",  // 0.3
      "slide ended", "ticks 4, animating",   // 0.4
      "fade ended", "ticks 6, still",        // 0.6
      "ticks 8, still", "ticks 9, still", "ticks 11, still", "ticks 12, still"};
  for (double origin : {0.0, 2600.0, 1e6, 1e9}) {
    EXPECT_EQ(eventsOfTheSequenceAt(origin), expected) << "starting at " << origin << " s";
  }
}

}  // namespace
}  // namespace kit
