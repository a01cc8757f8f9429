// The login view's progress dialog: the ring's geometry and pulse, the
// caption's dots on the virtual clock, and dismissing (twice).

#include "ui/widgets/kt_progress_dp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/animation.h"

namespace {

class ProgressDialog : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    container = kit::View::make({0, 0, 300, 200});
    dialog = KTProgressDP::make({0, 0, 144, 85});
    container->addSubview(dialog);
  }
  void TearDown() override {
    dialog.reset();
    container.reset();
    VirtualClockTest::TearDown();
  }
  std::string caption() const { return dialog->label() ? dialog->label()->text() : "(none)"; }

  kit::Ref<kit::View> container;
  kit::Ref<KTProgressDP> dialog;
};

TEST_F(ProgressDialog, TheNineDotsLieOnACircleAroundTheCentre) {
  auto ring = dialog->replayer();
  auto dot = dialog->dotLayer();
  ASSERT_TRUE(ring && dot);
  EXPECT_EQ(ring->frame(), (kit::Rect{0, 0, 144, 85}));
  EXPECT_EQ(ring->superlayer(), dialog->layer());
  EXPECT_EQ(ring->instanceCount(), 9);
  EXPECT_DOUBLE_EQ(ring->instanceDelay(), static_cast<double>(0.7f / 9));
  EXPECT_EQ(dot->bounds(), (kit::Rect{0, 0, 13, 13}));
  EXPECT_EQ(dot->position(), (kit::Point{72, 10}));
  EXPECT_DOUBLE_EQ(dot->cornerRadius(), 6.5);
  EXPECT_TRUE(dot->masksToBounds());
  EXPECT_EQ(dot->transform(), kit::Transform3D::makeScale(0, 0, 0));
  EXPECT_FALSE(dot->hasAnimations());

  // Each copy turns the previous one by 2π/9 about the ring's centre.
  const kit::Point centre{72, 42.5};
  kit::Point p = dot->position();
  std::vector<double> angles;
  for (int i = 0; i < 9; ++i) {
    const double dx = p.x - centre.x, dy = p.y - centre.y;
    EXPECT_NEAR(std::hypot(dx, dy), 32.5, 1e-9) << "dot " << i;
    angles.push_back(std::atan2(dy, dx));
    const kit::Point turned = ring->instanceTransform().apply({dx, dy});
    p = {centre.x + turned.x, centre.y + turned.y};
  }
  for (int i = 1; i < 9; ++i) {
    double step = std::remainder(angles[i] - angles[i - 1], 2 * std::numbers::pi);
    EXPECT_NEAR(std::fabs(step), 2 * std::numbers::pi / 9, 1e-9) << "dot " << i;
  }
  EXPECT_NEAR(p.x, 72, 1e-9);  // nine turns come back to the start
  EXPECT_NEAR(p.y, 10, 1e-9);
}

TEST_F(ProgressDialog, ShowingPulsesTheDotAndPutsTheCaptionUnderTheRing) {
  dialog->showWithTitle("正在登陆");
  auto animations = dialog->dotLayer()->allAnimations();
  ASSERT_EQ(animations.size(), 1u);
  auto pulse = std::dynamic_pointer_cast<kit::BasicAnimation>(animations[0]);
  ASSERT_TRUE(pulse);
  EXPECT_EQ(pulse->keyPath(), "transform.scale");
  EXPECT_EQ(std::get<double>(pulse->fromValue()), 1.0);
  EXPECT_EQ(std::get<double>(pulse->toValue()), 0.0);
  EXPECT_DOUBLE_EQ(pulse->duration(), static_cast<double>(0.7f));
  EXPECT_EQ(pulse->timingFunction().name(), kit::TimingEaseInEaseOut);
  EXPECT_EQ(pulse->repeatCount(), static_cast<double>(std::numeric_limits<float>::max()));
  EXPECT_TRUE(dialog->dotLayer()->animationKeys().empty());

  auto label = dialog->label();
  ASSERT_TRUE(label);
  EXPECT_EQ(label->superview(), dialog);
  EXPECT_EQ(label->text(), "正在登陆...");
  EXPECT_DOUBLE_EQ(label->frame().origin.y, 93);
  EXPECT_DOUBLE_EQ(label->center().x, 72);
  EXPECT_GT(label->frame().size.width, 0);
  EXPECT_DOUBLE_EQ(label->font()->pointSize(), 15);
  EXPECT_EQ(dialog->title(), "正在登陆");
  ASSERT_TRUE(dialog->timer());
  EXPECT_TRUE(dialog->timer()->repeats());
  EXPECT_DOUBLE_EQ(dialog->timer()->timeInterval(), 0.2);

  // Mid-pulse, the dot shows between full size and nothing.
  advance(0.35);
  const double scale = dialog->dotLayer()->presentationTransform().m11;
  EXPECT_GT(scale, 0.0);
  EXPECT_LT(scale, 1.0);
}

TEST_F(ProgressDialog, TheCaptionsDotsCountDownEveryFifthOfASecond) {
  dialog->showWithTitle("正在登陆");
  const std::pair<double, const char*> samples[] = {{0.0, "正在登陆..."}, {0.1, "正在登陆..."}, {0.3, "正在登陆..."},
                                                    {0.5, "正在登陆.."},  {0.7, "正在登陆."},   {0.9, "正在登陆..."},
                                                    {1.1, "正在登陆.."}};
  for (const auto& [at, text] : samples) {
    advance(at - elapsed());
    EXPECT_EQ(caption(), text) << "at " << at << " s";
  }
  // A tag the caption does not know stops the count.
  dialog->label()->setTag(7);
  advance(0.4);
  EXPECT_EQ(caption(), "正在登陆..");
}

TEST_F(ProgressDialog, DismissingRemovesRingCaptionAndTimerOnce) {
  dialog->showWithTitle("正在注册");
  kit::Ref<kit::Layer> dot = dialog->dotLayer();
  kit::Ref<kit::Label> label = dialog->label();
  kit::Ref<kit::Timer> timer = dialog->timer();
  dialog->dismiss();
  EXPECT_FALSE(dot->hasAnimations());
  EXPECT_EQ(label->superview(), nullptr);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(dialog->timer(), nullptr);
  for (const auto& sublayer : dialog->layer()->sublayers()) {
    EXPECT_FALSE(std::dynamic_pointer_cast<kit::ReplicatorLayer>(sublayer));
  }
  EXPECT_EQ(dialog->superview(), container);
  // The ring and the caption were only held by the view: they are gone.
  dot.reset();
  label.reset();
  EXPECT_EQ(dialog->dotLayer(), nullptr);
  EXPECT_EQ(dialog->label(), nullptr);

  EXPECT_NO_THROW(dialog->dismiss());
  advance(1);
  EXPECT_EQ(dialog->superview(), container);
  EXPECT_TRUE(dialog->subviews().empty());
}

TEST_F(ProgressDialog, ADialogDroppedWhileShowingStopsItsTimer) {
  dialog->showWithTitle("正在登陆");
  kit::Ref<kit::Timer> timer = dialog->timer();
  dialog->removeFromSuperview();
  dialog.reset();
  EXPECT_FALSE(timer->isValid());
  advance(1);  // nothing left to tick
}

}  // namespace
