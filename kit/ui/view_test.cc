// Views: hierarchy and its hooks, geometry, autoresizing, layout passes,
// coordinate conversion, hit testing, safe areas, ownership, and the main
// thread check on the methods that change views, layers, controllers and
// the application.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/screen.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

class ViewTest : public ::testing::Test {
 protected:
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
};

// Records its hooks in a shared log.
struct Probe : View {
  Probe(std::string name, std::vector<std::string>* log) : View(Rect{}), name(std::move(name)), log(log) {}
  std::string name;
  std::vector<std::string>* log;
  int layouts = 0;
  void willMoveToSuperview(View* s) override { log->push_back(name + ".willMoveToSuperview(" + (s ? "view" : "nil") + ")"); }
  void didMoveToSuperview() override { log->push_back(name + ".didMoveToSuperview"); }
  void willMoveToWindow(Window* w) override { log->push_back(name + ".willMoveToWindow(" + (w ? "window" : "nil") + ")"); }
  void didMoveToWindow() override { log->push_back(name + ".didMoveToWindow"); }
  void layoutSubviews() override {
    View::layoutSubviews();
    ++layouts;
  }
};

TEST_F(ViewTest, CardCentredOnTheKeyWindowTakesTheExpectedFrame) {
  auto window = Window::make();
  window->makeKeyAndVisible();
  const double S = std::min(Screen::main()->bounds().size.width, Screen::main()->bounds().size.height);
  auto card = View::make(Rect{10, 0, S - 20, S - 80});
  card->setCenter(window->center());
  window->addSubview(card);
  EXPECT_EQ(card->frame(), (Rect{10, 186, 355, 295}));
}

TEST_F(ViewTest, HierarchyOrderInsertRemoveAndReAddBringsToFront) {
  auto root = View::make(Rect{0, 0, 100, 100});
  auto a = View::make(), b = View::make(), c = View::make();
  root->addSubview(a);
  root->addSubview(b);
  root->insertSubviewAt(c, 0);
  ASSERT_EQ(root->subviews(), (std::vector<Ref<View>>{c, a, b}));
  root->addSubview(c);  // already there: comes to the front
  EXPECT_EQ(root->subviews(), (std::vector<Ref<View>>{a, b, c}));
  root->insertSubviewBelow(c, a.get());
  EXPECT_EQ(root->subviews(), (std::vector<Ref<View>>{c, a, b}));
  root->insertSubviewAbove(c, b.get());
  EXPECT_EQ(root->subviews(), (std::vector<Ref<View>>{a, b, c}));
  root->bringSubviewToFront(a.get());
  root->sendSubviewToBack(b.get());
  EXPECT_EQ(root->subviews(), (std::vector<Ref<View>>{b, c, a}));
  // The layers follow the views.
  ASSERT_EQ(root->layer()->sublayers().size(), 3u);
  EXPECT_EQ(root->layer()->sublayers()[0], b->layer());
  EXPECT_EQ(root->layer()->sublayers()[2], a->layer());
  // Moving a view to another parent takes it from the first.
  auto other = View::make();
  other->addSubview(c);
  EXPECT_EQ(root->subviews().size(), 2u);
  EXPECT_EQ(c->superview(), other);
  c->removeFromSuperview();
  EXPECT_EQ(c->superview(), nullptr);
  EXPECT_TRUE(other->subviews().empty());
  // A view cannot become its own descendant's subview.
  a->addSubview(b);
  b->addSubview(a);
  EXPECT_EQ(a->superview(), root);
}

TEST_F(ViewTest, HooksRunInOrderWhenMovingInAndOutOfWindows) {
  std::vector<std::string> log;
  auto window = Window::make();
  auto parent = kit::make<Probe>("parent", &log);
  auto child = kit::make<Probe>("child", &log);
  parent->addSubview(child);
  EXPECT_EQ(log, (std::vector<std::string>{"child.willMoveToSuperview(view)", "child.didMoveToSuperview"}));
  log.clear();
  window->addSubview(parent);
  EXPECT_EQ(log, (std::vector<std::string>{"parent.willMoveToSuperview(view)", "parent.willMoveToWindow(window)",
                                           "child.willMoveToWindow(window)", "parent.didMoveToWindow",
                                           "child.didMoveToWindow", "parent.didMoveToSuperview"}));
  EXPECT_EQ(child->window(), window);
  log.clear();
  parent->removeFromSuperview();
  EXPECT_EQ(log, (std::vector<std::string>{"parent.willMoveToSuperview(nil)", "parent.willMoveToWindow(nil)",
                                           "child.willMoveToWindow(nil)", "parent.didMoveToWindow",
                                           "child.didMoveToWindow", "parent.didMoveToSuperview"}));
  EXPECT_EQ(child->window(), nullptr);
}

TEST_F(ViewTest, TagsGeometryAndDescription) {
  auto root = View::make(Rect{0, 0, 200, 200});
  auto deep = View::make(Rect{5, 5, 10, 10});
  deep->setTag(1000);
  auto mid = View::make(Rect{10, 10, 50, 50});
  mid->addSubview(deep);
  root->addSubview(mid);
  EXPECT_EQ(root->viewWithTag(1000), deep);
  EXPECT_EQ(root->viewWithTag(7), nullptr);
  EXPECT_EQ(root->viewWithTag(0), root);

  auto v = View::make(Rect{10, 20, 100, 50});
  EXPECT_EQ(v->center(), (Point{60, 45}));
  EXPECT_EQ(v->bounds(), (Rect{0, 0, 100, 50}));
  v->setCenter({100, 100});
  EXPECT_EQ(v->frame(), (Rect{50, 75, 100, 50}));
  v->setTransform(AffineTransform::makeScale(2, 2));
  EXPECT_EQ(v->frame(), (Rect{0, 50, 200, 100}));
  EXPECT_EQ(v->bounds().size, (Size{100, 50}));
  v->setTransform(AffineTransform::identity());
  v->setFrame({-5, -5, -10, 20});  // negative sizes are standardized
  EXPECT_EQ(v->frame(), (Rect{-15, -5, 10, 20}));
  v->setTag(3);
  EXPECT_NE(v->description().find("frame = (-15 -5; 10 20)"), std::string::npos) << v->description();
}

TEST_F(ViewTest, AutoresizingMasksFollowTheSuperviewsSize) {
  auto root = View::make(Rect{0, 0, 300, 300});
  auto fill = View::make(Rect{10, 10, 280, 280});
  fill->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  auto pinnedRight = View::make(Rect{250, 10, 40, 40});
  pinnedRight->setAutoresizingMask(AutoresizingFlexibleLeftMargin);
  auto centred = View::make(Rect{100, 100, 100, 100});
  centred->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin |
                               AutoresizingFlexibleTopMargin | AutoresizingFlexibleBottomMargin);
  auto fixed = View::make(Rect{5, 5, 5, 5});
  for (auto& v : {fill, pinnedRight, centred, fixed}) root->addSubview(v);
  root->setFrame({0, 0, 500, 400});
  EXPECT_EQ(fill->frame(), (Rect{10, 10, 480, 380}));
  EXPECT_EQ(pinnedRight->frame(), (Rect{450, 10, 40, 40}));
  EXPECT_EQ(centred->frame(), (Rect{200, 150, 100, 100}));
  EXPECT_EQ(fixed->frame(), (Rect{5, 5, 5, 5}));
  root->setAutoresizesSubviews(false);
  root->setFrame({0, 0, 100, 100});
  EXPECT_EQ(fill->frame(), (Rect{10, 10, 480, 380}));
}

TEST_F(ViewTest, LayoutPassesRunOncePerRequestAndOnTheRunLoop) {
  std::vector<std::string> log;
  auto window = Window::make();
  window->makeKeyAndVisible();
  auto view = kit::make<Probe>("v", &log);
  window->addSubview(view);
  view->layoutIfNeeded();
  const int first = view->layouts;
  EXPECT_EQ(first, 1);
  view->layoutIfNeeded();
  EXPECT_EQ(view->layouts, 1) << "no pass without a request";
  view->setNeedsLayout();
  view->setNeedsLayout();
  ASSERT_TRUE(test::runUntil([&] { return view->layouts == 2; }));
  EXPECT_FALSE(view->needsLayout());
  view->setFrame({0, 0, 30, 30});  // a size change asks for layout
  view->layoutIfNeeded();
  EXPECT_EQ(view->layouts, 3);
  view->setFrame({10, 10, 30, 30});  // a move does not
  view->layoutIfNeeded();
  EXPECT_EQ(view->layouts, 3);
}

TEST_F(ViewTest, CoordinateConversionAcrossBranchesAndBoundsOrigins) {
  auto window = Window::make();
  auto a = View::make(Rect{10, 20, 100, 100});
  auto b = View::make(Rect{5, 5, 50, 50});
  a->addSubview(b);
  window->addSubview(a);
  auto c = View::make(Rect{200, 300, 40, 40});
  window->addSubview(c);
  EXPECT_EQ(b->convertPointToView({1, 1}, nullptr), (Point{16, 26}));
  EXPECT_EQ(b->convertPointToView({1, 1}, c.get()), (Point{-184, -274}));
  EXPECT_EQ(c->convertPointFromView({1, 1}, b.get()), (Point{-184, -274}));
  EXPECT_EQ(b->convertRectToView(b->bounds(), window.get()), (Rect{15, 25, 50, 50}));
  // A scrolled superview (bounds origin moved) shifts its subviews.
  a->setBounds({0, 30, 100, 100});
  EXPECT_EQ(b->convertPointToView({0, 0}, nullptr), (Point{15, -5}));
}

TEST_F(ViewTest, HitTestingSkipsHiddenTransparentAndNonInteractiveViews) {
  auto window = Window::make();
  EXPECT_EQ(window->hitTest({10, 10}, nullptr), nullptr) << "a hidden window takes no touches";
  window->makeKeyAndVisible();
  auto back = View::make(Rect{0, 0, 200, 200});
  auto front = View::make(Rect{50, 50, 100, 100});
  auto inner = View::make(Rect{10, 10, 20, 20});
  front->addSubview(inner);
  back->addSubview(front);
  window->addSubview(back);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr), inner);
  EXPECT_EQ(window->hitTest({100, 100}, nullptr), front);
  EXPECT_EQ(window->hitTest({10, 10}, nullptr), back);
  inner->setHidden(true);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr), front);
  front->setAlpha(0.005);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr), back);
  front->setAlpha(1);
  front->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr), back);
  // A subview sticking out of its superview is not reached outside it.
  auto outside = View::make(Rect{190, 190, 50, 50});
  back->addSubview(outside);
  EXPECT_EQ(window->hitTest({195, 195}, nullptr), outside);
  EXPECT_EQ(window->hitTest({220, 220}, nullptr), window);
}

TEST_F(ViewTest, SafeAreaComesFromTheDeviceProfile) {
  DeviceProfileScope notched(DeviceProfile::notched812x375());
  auto window = Window::make();
  EXPECT_EQ(window->frame(), (Rect{0, 0, 812, 375}));
  EXPECT_EQ(window->safeAreaInsets(), (EdgeInsets{0, 44, 21, 44}));
  auto inner = View::make(Rect{100, 0, 100, 400});
  window->addSubview(inner);
  EXPECT_EQ(inner->safeAreaInsets(), (EdgeInsets{0, 0, 46, 0}));
  EXPECT_EQ(window->safeAreaLayoutFrame(), (Rect{44, 0, 724, 354}));
  DeviceProfileScope flat(DeviceProfile::phone375x667());
  auto plain = Window::make();
  EXPECT_EQ(plain->safeAreaInsets(), EdgeInsets{});
}

TEST_F(ViewTest, SuperviewAndControllerBackReferencesKeepNothingAlive) {
  Weak<View> weakParent, weakChild;
  Weak<ViewController> weakController;
  {
    auto parent = View::make();
    auto child = View::make();
    parent->addSubview(child);
    weakParent = parent;
    weakChild = child;
    auto controller = ViewController::make();
    controller->view()->addSubview(parent);
    weakController = controller;
    EXPECT_EQ(child->nextResponder(), parent);
    EXPECT_EQ(controller->view()->nextResponder(), controller);
  }
  EXPECT_TRUE(weakParent.expired());
  EXPECT_TRUE(weakChild.expired());
  EXPECT_TRUE(weakController.expired());
  // A subview that outlives its superview forgets it.
  auto survivor = View::make();
  {
    auto parent = View::make();
    parent->addSubview(survivor);
  }
  EXPECT_EQ(survivor->superview(), nullptr);
}

TEST_F(ViewTest, EndEditingResignsTheFirstResponderInside) {
  struct Editable : View {
    bool canBecomeFirstResponder() const override { return true; }
  };
  auto root = View::make();
  auto field = kit::make<Editable>();
  root->addSubview(field);
  ASSERT_TRUE(field->becomeFirstResponder());
  EXPECT_TRUE(field->isFirstResponder());
  auto elsewhere = View::make();
  EXPECT_TRUE(elsewhere->endEditing(false));
  EXPECT_TRUE(field->isFirstResponder());
  EXPECT_TRUE(root->endEditing(true));
  EXPECT_FALSE(field->isFirstResponder());
}

// A change made from another thread aborts at the call, naming the method;
// the same changes on the main thread go through.
TEST(ViewThreadDeathTest, ChangesOffTheMainThreadAbortNamingTheMethod) {
#if defined(NDEBUG) && !defined(KIT_THREAD_CHECKS)
  GTEST_SKIP() << "thread checks are compiled out of this build";
#endif
  auto offMain = [](const std::function<void()>& change) { std::thread(change).join(); };
  auto view = View::make(Rect{0, 0, 10, 10});
  auto controller = ViewController::make();
  EXPECT_DEATH(offMain([&] { view->setFrame({0, 0, 20, 20}); }), "View::setFrame.*must be called on the main thread");
  auto child = View::make();
  EXPECT_DEATH(offMain([&] { view->addSubview(child); }), "View::addSubview.*on the main thread");
  EXPECT_DEATH(offMain([] { View::make(); }), "View::View.*on the main thread");
  EXPECT_DEATH(offMain([&] { view->setUserInteractionEnabled(false); }), "View::setUserInteractionEnabled");
  EXPECT_DEATH(offMain([&] { view->layer()->setOpacity(0.5); }), "Layer::setOpacity.*on the main thread");
  EXPECT_DEATH(offMain([&] { controller->setTitle("x"); }), "ViewController::setTitle.*on the main thread");
  EXPECT_DEATH(offMain([] { Application::shared()->setStatusBarHidden(true); }),
               "Application::setStatusBarHidden.*on the main thread");

  view->setFrame({0, 0, 20, 20});
  view->addSubview(child);
  view->layer()->setOpacity(0.5);
  controller->setTitle("x");
  EXPECT_EQ(view->frame(), (Rect{0, 0, 20, 20}));
  EXPECT_EQ(view->subviews().size(), 1u);
  EXPECT_EQ(view->alpha(), 0.5);
  EXPECT_EQ(controller->title(), "x");
}

}  // namespace
}  // namespace kit
