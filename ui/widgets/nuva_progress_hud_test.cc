// The status HUD as the channel uses it: error texts shown from any thread
// as a text-only box, display times on the virtual clock, an error over a
// visible message, and the box in a rendered picture. And the rest of what
// it can show and do, in pictures and on the virtual clock: the turning
// spinner and the progress ring, the backdrops of the mask types and the
// touches they catch, the grace time, the activity count and the keyboard.

#include "ui/widgets/nuva_progress_hud.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <set>
#include <thread>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/format.h"
#include "kit/foundation/notification_center.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "ui/widgets/nuva_indefinite_animated_view.h"
#include "ui/widgets/nuva_progress_animated_view.h"

namespace {

// A little longer than the fade (0.15 in single precision, widened).
constexpr double kFade = 0.16;

// Records the HUD's notifications with the virtual time they came at.
struct NotificationLog {
  struct Entry {
    std::string name;
    double time;
    std::string status;
  };
  std::vector<Entry> entries;
  std::vector<kit::Id> tokens;

  NotificationLog() {
    auto center = kit::NotificationCenter::defaultCenter();
    for (const char* name : {NUVAProgressHUDWillAppearNotification, NUVAProgressHUDDidAppearNotification,
                             NUVAProgressHUDWillDisappearNotification, NUVAProgressHUDDidDisappearNotification,
                             NUVAProgressHUDDidReceiveTouchEventNotification,
                             NUVAProgressHUDDidTouchDownInsideNotification}) {
      tokens.push_back(center->addObserverForName(name, nullptr, [this](const kit::Ref<kit::Notification>& n) {
        std::string status;
        if (n->userInfo()) status = kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]);
        entries.push_back({n->name(), kit::Clock::now(), status});
      }));
    }
  }
  ~NotificationLog() {
    for (const auto& token : tokens) kit::NotificationCenter::defaultCenter()->removeObserver(token);
  }
  std::optional<double> timeOf(const std::string& name, size_t nth = 0) const {
    for (const auto& e : entries) {
      if (e.name == name && nth-- == 0) return e.time;
    }
    return std::nullopt;
  }
  size_t count(const std::string& name) const {
    size_t n = 0;
    for (const auto& e : entries) n += e.name == name;
    return n;
  }
};

class StatusHUD : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    kit::Application::shared()->reset();
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    // Leave the shared HUD hidden, with its defaults, for the next test.
    NUVAProgressHUD::dismiss();
    advance(1);
    NUVAProgressHUD::setDefaultMaskType(NUVAProgressHUDMaskType::None);
    NUVAProgressHUD::setDefaultAnimationType(NUVAProgressHUDAnimationType::Flat);
    NUVAProgressHUD::setGraceTimeInterval(0);
    NUVAProgressHUD::setBackgroundLayerColor(kit::Color::white(0, 0.4));
    NUVAProgressHUD::resetOffsetFromCenter();
    window = nullptr;
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }

  // Lets queued main-queue work and operations run without moving time.
  void settle() { clock().settle(); }
  // Shows, lets the fade-in finish.
  void shown(const std::function<void()>& show) {
    show();
    settle();
    advance(kFade);
  }
  // Dismisses and lets the fade-out finish.
  void hidden() {
    NUVAProgressHUD::dismiss();
    settle();
    advance(kFade);
  }
  // The screen at twice the point size, and one of its pixels by point.
  kit::Ref<kit::Bitmap> picture() { return kit::render(*window, 2); }
  static kit::Pixel at(const kit::Bitmap& picture, kit::Point p) {
    return picture.pixelAt(static_cast<int>(std::lround(p.x * 2)), static_cast<int>(std::lround(p.y * 2)));
  }
  static int lightness(kit::Pixel p) { return p.r + p.g + p.b; }
  // The box's centre on screen.
  kit::Point boxCentre() {
    kit::Rect frame = kit::test::frameInWindow(*NUVAProgressHUD::sharedView()->hudView());
    return {frame.midX(), frame.midY()};
  }
  void keepPicture(const std::string& name) {
#ifdef KIT_UI_ARTIFACT_DIR
    std::filesystem::create_directories(KIT_UI_ARTIFACT_DIR);
    EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/" + name, 2));
#endif
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
};

TEST_F(StatusHUD, ErrorFromAWorkerThreadShowsATextOnlyBoxCentredOnScreen) {
  NotificationLog log;
  std::thread worker([] { NUVAProgressHUD::showErrorWithStatus(kit::str("服务器连接失败！")); });
  worker.join();
  ASSERT_TRUE(kit::test::runUntil([&] { return log.count(NUVAProgressHUDWillAppearNotification) == 1; }));
  advance(kFade);
  ASSERT_EQ(log.count(NUVAProgressHUDDidAppearNotification), 1u);
  EXPECT_EQ(log.entries.back().status, "服务器连接失败！");

  auto hud = NUVAProgressHUD::sharedView();
  EXPECT_TRUE(NUVAProgressHUD::iNUVAisible());
  EXPECT_EQ(hud->controlView()->superview().get(), window.get());
  EXPECT_TRUE(hud->isDescendantOfView(window.get()));

  // No image: the box is the measured text plus 12 on every side.
  auto label = hud->statusLabel();
  EXPECT_FALSE(label->isHidden());
  EXPECT_EQ(label->text(), "服务器连接失败！");
  kit::TextAttributes attributes;
  attributes.font = hud->font();
  kit::Rect measured = kit::boundingRectWithSize("服务器连接失败！", {200, 300},
                                                 kit::StringDrawingUsesLineFragmentOrigin |
                                                     kit::StringDrawingUsesFontLeading |
                                                     kit::StringDrawingTruncatesLastVisibleLine,
                                                 attributes);
  double textWidth = std::ceil(static_cast<float>(measured.width()));
  double textHeight = std::ceil(static_cast<float>(measured.height()));
  auto box = hud->hudView();
  EXPECT_DOUBLE_EQ(box->bounds().width(), textWidth + 24);
  EXPECT_DOUBLE_EQ(box->bounds().height(), textHeight + 24);
  EXPECT_DOUBLE_EQ(box->center().x, 375.0 / 2);
  EXPECT_DOUBLE_EQ(box->center().y, 667.0 / 2);
  EXPECT_DOUBLE_EQ(label->center().x, box->bounds().width() / 2);
  EXPECT_DOUBLE_EQ(label->center().y, box->bounds().height() / 2);
  EXPECT_TRUE(hud->indefiniteAnimatedView()->superview() == nullptr);

  // Touches pass through to the game, and nothing buzzes.
  EXPECT_FALSE(hud->controlView()->isUserInteractionEnabled());
  EXPECT_EQ(hud->hapticGenerator(), nullptr);
}

TEST_F(StatusHUD, DisplayTimeGrowsWithTheLengthOfTheText) {
  EXPECT_DOUBLE_EQ(NUVAProgressHUD::displayDurationForString(kit::str("0123456789")), 2.0);
  EXPECT_DOUBLE_EQ(NUVAProgressHUD::displayDurationForString(kit::str(std::string(40, 'x'))), 2.9);
  EXPECT_DOUBLE_EQ(NUVAProgressHUD::displayDurationForString(nullptr), 2.0);

  for (auto [text, stays] : std::vector<std::pair<std::string, double>>{{"0123456789", 2.0},
                                                                        {std::string(40, 'x'), 2.9}}) {
    NotificationLog log;
    NUVAProgressHUD::showErrorWithStatus(kit::str(text));
    settle();
    advance(kFade);
    auto appeared = log.timeOf(NUVAProgressHUDDidAppearNotification);
    ASSERT_TRUE(appeared);
    log.entries.clear();  // an error dismisses first, even when nothing shows
    advance(stays - 0.01);
    EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 0u) << text;
    advance(0.01);
    auto leaving = log.timeOf(NUVAProgressHUDWillDisappearNotification);
    ASSERT_TRUE(leaving) << text;
    EXPECT_NEAR(*leaving - *appeared, stays, 1e-9);
    advance(kFade);
    EXPECT_EQ(log.count(NUVAProgressHUDDidDisappearNotification), 1u);
    EXPECT_FALSE(NUVAProgressHUD::iNUVAisible());
    EXPECT_EQ(NUVAProgressHUD::sharedView()->controlView()->superview(), nullptr);
  }
}

TEST_F(StatusHUD, EmptyTextStaysTwoSecondsWithAHiddenLabel) {
  NotificationLog log;
  NUVAProgressHUD::showErrorWithStatus(kit::str(""));
  settle();
  advance(kFade);
  EXPECT_TRUE(NUVAProgressHUD::sharedView()->statusLabel()->isHidden());
  auto box = NUVAProgressHUD::sharedView()->hudView();
  EXPECT_DOUBLE_EQ(box->bounds().width(), 24);
  log.entries.clear();
  advance(2.0);
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 1u);
}

TEST_F(StatusHUD, AnErrorOverAVisibleMessageDismissesItAndFadesInAnew) {
  NotificationLog log;
  NUVAProgressHUD::showSuccessWithStatus(kit::str("领取成功"));
  settle();
  advance(1.0);
  ASSERT_EQ(log.count(NUVAProgressHUDDidAppearNotification), 1u);

  log.entries.clear();
  NUVAProgressHUD::showErrorWithStatus(kit::str("请先登录"));
  settle();
  // The dismiss came first, then a fresh fade-in.
  ASSERT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 1u);
  ASSERT_EQ(log.count(NUVAProgressHUDWillAppearNotification), 1u);
  EXPECT_EQ(log.entries.front().name, NUVAProgressHUDWillDisappearNotification);
  advance(kFade);
  EXPECT_EQ(log.count(NUVAProgressHUDDidDisappearNotification), 0u);
  EXPECT_EQ(NUVAProgressHUD::sharedView()->statusLabel()->text(), "请先登录");
  EXPECT_TRUE(NUVAProgressHUD::iNUVAisible());
  // The new message keeps its own full display time.
  auto appeared = log.timeOf(NUVAProgressHUDDidAppearNotification);
  ASSERT_TRUE(appeared);
  advance(1.99);
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 1u);
  advance(0.01);
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 2u);
}

TEST_F(StatusHUD, ASuccessOverAVisibleMessageReplacesItsTextInPlace) {
  NotificationLog log;
  NUVAProgressHUD::showSuccessWithStatus(kit::str("第一条"));
  settle();
  advance(1.0);
  NUVAProgressHUD::showSuccessWithStatus(kit::str("第二条"));
  settle();
  EXPECT_EQ(log.count(NUVAProgressHUDWillAppearNotification), 1u);
  EXPECT_EQ(NUVAProgressHUD::sharedView()->statusLabel()->text(), "第二条");
  advance(1.5);  // past the first message's end
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 0u);
  advance(0.5);
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 1u);
}

TEST_F(StatusHUD, WithoutAKeyWindowNothingIsShown) {
  window->setHidden(true);
  NUVAProgressHUD::showErrorWithStatus(kit::str("无窗口"));
  settle();
  advance(kFade);
  EXPECT_EQ(NUVAProgressHUD::sharedView()->controlView()->superview(), nullptr);
}

TEST_F(StatusHUD, TheRenderedWindowShowsTheBox) {
  window->rootViewController()->view()->setBackgroundColor(kit::Color::rgba(0.1, 0.4, 0.2));
  NUVAProgressHUD::showErrorWithStatus(kit::str("网络请求超时，请稍后重试！"));
  settle();
  advance(kFade);
  auto picture = kit::render(*window, 1);
  ASSERT_TRUE(picture);
  auto box = NUVAProgressHUD::sharedView()->hudView();
  kit::Rect frame = box->frame();
  // The box is light over the dark green screen; outside it the screen shows.
  auto inside = picture->pixelAt(static_cast<int>(frame.origin.x + 4), static_cast<int>(frame.midY()));
  auto outside = picture->pixelAt(static_cast<int>(frame.origin.x - 10), static_cast<int>(frame.midY()));
  EXPECT_GT(inside.r + inside.g + inside.b, 3 * 128);
  EXPECT_LT(outside.r + outside.g + outside.b, 3 * 128);
#ifdef KIT_UI_ARTIFACT_DIR
  std::filesystem::create_directories(KIT_UI_ARTIFACT_DIR);
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/status_hud_error.png"));
#endif
}

// ---- Indicators, backdrops, touches, timers and the keyboard -----------------

// Which of `n` points on a circle around `centre` are drawn dark.
std::vector<bool> darkOnCircle(const kit::Bitmap& picture, kit::Point centre, double radius, int n) {
  std::vector<bool> dark;
  for (int i = 0; i < n; ++i) {
    double angle = 2 * std::numbers::pi * i / n;
    kit::Point p{centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)};
    auto pixel = picture.pixelAt(static_cast<int>(std::lround(p.x * 2)), static_cast<int>(std::lround(p.y * 2)));
    dark.push_back(pixel.r + pixel.g + pixel.b < 3 * 110);
  }
  return dark;
}

TEST_F(StatusHUD, ASpinnerTurnsOverTheTextAndARingShowsTheProgress) {
  window->rootViewController()->view()->setBackgroundColor(kit::Color::whiteColor());
  NotificationLog log;
  shown([] { NUVAProgressHUD::showWithStatus(kit::str("加载中")); });
  auto hud = NUVAProgressHUD::sharedView();
  auto spinner = hud->indefiniteAnimatedView();
  ASSERT_TRUE(kit::isKind<NUVAIndefiniteAnimatedView>(spinner));
  EXPECT_EQ(spinner->superview(), hud->hudView()->contentView());
  EXPECT_EQ(hud->activityCount(), 1u);
  // The spinner (radius 18 with a text: 48 x 48) sits above the label, 12
  // from the top, 8 above the text; no display time: it stays.
  auto box = hud->hudView();
  auto label = hud->statusLabel();
  const double textHeight = label->bounds().height();
  EXPECT_EQ(spinner->bounds().size, (kit::Size{48, 48}));
  EXPECT_DOUBLE_EQ(box->bounds().height(), 12 + 48 + 8 + textHeight + 12);
  EXPECT_DOUBLE_EQ(spinner->center().y, 12 + 24);
  EXPECT_DOUBLE_EQ(label->center().y, 12 + 48 + 8 + textHeight / 2);
  EXPECT_EQ(hud->fadeOutTimer(), nullptr);

  // In the picture the arc runs round most of the circle, and its gap turns
  // with the clock.
  kit::Rect spinnerFrame = kit::test::frameInWindow(*spinner);
  kit::Point centre{spinnerFrame.midX(), spinnerFrame.midY()};
  auto before = darkOnCircle(*picture(), centre, 18, 72);
  keepPicture("status_hud_spinner.png");
  advance(0.25);
  auto after = darkOnCircle(*picture(), centre, 18, 72);
  EXPECT_GT(std::count(before.begin(), before.end(), true), 36);
  EXPECT_LT(std::count(before.begin(), before.end(), true), 72);
  EXPECT_NE(before, after);
  EXPECT_GT(lightness(at(*picture(), centre)), 3 * 200);  // the middle stays clear

  // A progress show replaces the spinner by the ring and its faint track;
  // without a text they are 24 in radius. Half the progress is the right
  // half of the circle, from the top, clockwise.
  shown([] { NUVAProgressHUD::showProgress(0.5f); });
  EXPECT_EQ(spinner->superview(), nullptr);
  ASSERT_EQ(hud->ringView()->superview(), box->contentView());
  ASSERT_EQ(hud->backgroundRingView()->superview(), box->contentView());
  EXPECT_DOUBLE_EQ(hud->ringView()->strokeEnd(), 0.5);
  EXPECT_EQ(hud->activityCount(), 1u) << "a progress above 0 does not count";
  EXPECT_TRUE(label->isHidden());
  centre = boxCentre();
  auto half = picture();
  keepPicture("status_hud_ring_half.png");
  EXPECT_LT(lightness(at(*half, {centre.x + 24, centre.y})), 3 * 110);
  EXPECT_LT(lightness(at(*half, {centre.x + 17, centre.y - 17})), 3 * 110);
  EXPECT_GT(lightness(at(*half, {centre.x - 24, centre.y})), 3 * 180);  // only the track
  EXPECT_LT(lightness(at(*half, {centre.x - 24, centre.y})), 3 * 255);
  shown([] { NUVAProgressHUD::showProgress(1.0f); });
  EXPECT_LT(lightness(at(*picture(), {centre.x - 24, centre.y})), 3 * 110);

  // Back to a spinner: the rings go, with their stroke emptied.
  NUVAProgressHUD::setDefaultAnimationType(NUVAProgressHUDAnimationType::Native);
  shown([] { NUVAProgressHUD::show(); });
  EXPECT_EQ(hud->ringView()->superview(), nullptr);
  EXPECT_DOUBLE_EQ(hud->ringView()->strokeEnd(), 0);
  auto native = kit::as<kit::ActivityIndicatorView>(hud->indefiniteAnimatedView());
  ASSERT_TRUE(native);
  EXPECT_TRUE(native->isAnimating());
  EXPECT_EQ(native->superview(), box->contentView());
  EXPECT_EQ(spinner->superview(), nullptr);
  // Nothing of it ever dismissed itself.
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 0u);
  hidden();
  EXPECT_FALSE(native->isAnimating());
}

TEST_F(StatusHUD, MaskTypesPaintTheirBackdropAndCatchTouchesThatOtherwiseReachTheGame) {
  window->rootViewController()->view()->setBackgroundColor(kit::Color::whiteColor());
  int gameTaps = 0;
  auto button = kit::Button::make({20, 40, 100, 44});
  button->addAction(kit::ControlEvent::TouchUpInside, [&gameTaps] { ++gameTaps; });
  window->rootViewController()->view()->addSubview(button);
  // Outside the box, on the bare screen, beyond the radius at which the
  // gradient reaches its end colour.
  const kit::Point corner{2, 664};

  // The default: nothing behind the box, and the game gets the touch.
  NotificationLog log;
  shown([] { NUVAProgressHUD::showWithStatus(kit::str("遮罩")); });
  EXPECT_EQ(lightness(at(*picture(), corner)), 3 * 255);
  ASSERT_TRUE(kit::test::tap(button));
  EXPECT_EQ(gameTaps, 1);
  EXPECT_EQ(log.count(NUVAProgressHUDDidReceiveTouchEventNotification), 0u);
  hidden();

  struct Case {
    NUVAProgressHUDMaskType mask;
    const char* picture;
    kit::Pixel expected;  // at the corner
  };
  NUVAProgressHUD::setBackgroundLayerColor(kit::Color::rgba(1, 0, 0, 0.5));
  for (const Case& c : {Case{NUVAProgressHUDMaskType::Clear, "status_hud_mask_clear.png", {255, 255, 255, 255}},
                        Case{NUVAProgressHUDMaskType::Black, "status_hud_mask_black.png", {153, 153, 153, 255}},
                        Case{NUVAProgressHUDMaskType::Custom, "status_hud_mask_custom.png", {255, 128, 128, 255}},
                        Case{NUVAProgressHUDMaskType::Gradient, "status_hud_mask_gradient.png", {64, 64, 64, 255}}}) {
    SCOPED_TRACE(c.picture);
    NUVAProgressHUD::setDefaultMaskType(c.mask);
    log.entries.clear();
    shown([] { NUVAProgressHUD::showWithStatus(kit::str("遮罩")); });
    auto shot = picture();
    keepPicture(c.picture);
    kit::Pixel p = at(*shot, corner);
    EXPECT_NEAR(p.r, c.expected.r, 8);
    EXPECT_NEAR(p.g, c.expected.g, 8);
    EXPECT_NEAR(p.b, c.expected.b, 8);
    if (c.mask == NUVAProgressHUDMaskType::Gradient) {
      // Lighter towards the box than at the corner.
      kit::Point centre = boxCentre();
      kit::Rect box = kit::test::frameInWindow(*NUVAProgressHUD::sharedView()->hudView());
      EXPECT_GT(lightness(at(*shot, {centre.x, box.maxY() + 10})), lightness(p) + 3 * 100);
    }
    // The touch is caught: reported, never passed on, never a dismiss.
    ASSERT_TRUE(kit::test::tap(button));
    EXPECT_EQ(gameTaps, 1);
    EXPECT_EQ(log.count(NUVAProgressHUDDidReceiveTouchEventNotification), 1u);
    EXPECT_EQ(log.count(NUVAProgressHUDDidTouchDownInsideNotification), 0u);
    ASSERT_TRUE(kit::test::tapAt(*window, boxCentre()));
    EXPECT_EQ(log.count(NUVAProgressHUDDidReceiveTouchEventNotification), 2u);
    EXPECT_EQ(log.count(NUVAProgressHUDDidTouchDownInsideNotification), 1u);
    EXPECT_TRUE(NUVAProgressHUD::iNUVAisible());
    EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 0u);
    hidden();
  }

  // A mask variant called on the main thread restores the mask type before
  // its queued show runs: the show goes out under the default again.
  NUVAProgressHUD::setDefaultMaskType(NUVAProgressHUDMaskType::None);
  shown([] { NUVAProgressHUD::showWithStatus(kit::str("遮罩"), NUVAProgressHUDMaskType::Black); });
  EXPECT_EQ(NUVAProgressHUD::sharedView()->defaultMaskType(), NUVAProgressHUDMaskType::None);
  EXPECT_EQ(lightness(at(*picture(), corner)), 3 * 255);
  ASSERT_TRUE(kit::test::tap(button));
  EXPECT_EQ(gameTaps, 2);
}

TEST_F(StatusHUD, TheGraceTimeHoldsBackAHUDThatIsNotUpYet) {
  NUVAProgressHUD::setGraceTimeInterval(0.5);
  NotificationLog log;
  NUVAProgressHUD::showWithStatus(kit::str("稍候"));
  settle();
  advance(0.49);
  EXPECT_EQ(log.count(NUVAProgressHUDWillAppearNotification), 0u);
  EXPECT_FALSE(NUVAProgressHUD::iNUVAisible());
  advance(0.01);
  ASSERT_EQ(log.count(NUVAProgressHUDWillAppearNotification), 1u);
  EXPECT_NEAR(*log.timeOf(NUVAProgressHUDWillAppearNotification) - log.entries.front().time, 0, 1e-9);
  advance(kFade);
  EXPECT_TRUE(NUVAProgressHUD::iNUVAisible());

  // Once up, a new message replaces the text at once.
  NUVAProgressHUD::showSuccessWithStatus(kit::str("完成"));
  settle();
  EXPECT_EQ(NUVAProgressHUD::sharedView()->statusLabel()->text(), "完成");
  EXPECT_EQ(log.count(NUVAProgressHUDWillAppearNotification), 1u);
  hidden();

  // A dismiss within the grace time: the HUD never shows.
  log.entries.clear();
  NUVAProgressHUD::showWithStatus(kit::str("稍候"));
  settle();
  advance(0.3);
  NUVAProgressHUD::dismiss();
  settle();
  advance(1);
  EXPECT_EQ(log.count(NUVAProgressHUDWillAppearNotification), 0u);
  EXPECT_FALSE(NUVAProgressHUD::iNUVAisible());
  EXPECT_EQ(log.count(NUVAProgressHUDDidDisappearNotification), 1u);
}

TEST_F(StatusHUD, PopActivityDismissesWhenTheLastIndefiniteShowEnds) {
  NotificationLog log;
  auto hud = NUVAProgressHUD::sharedView();
  NUVAProgressHUD::show();
  NUVAProgressHUD::showWithStatus(kit::str("加载中"));
  NUVAProgressHUD::showProgress(0.0f);
  NUVAProgressHUD::showProgress(0.3f);  // above 0: not counted
  settle();
  advance(kFade);
  EXPECT_EQ(hud->activityCount(), 3u);
  NUVAProgressHUD::popActivity();
  NUVAProgressHUD::popActivity();
  settle();
  advance(kFade);
  EXPECT_EQ(hud->activityCount(), 1u);
  EXPECT_TRUE(NUVAProgressHUD::iNUVAisible());
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 0u);
  NUVAProgressHUD::popActivity();
  settle();
  advance(kFade);
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 1u);
  EXPECT_FALSE(NUVAProgressHUD::iNUVAisible());

  // With nothing counted, a pop dismisses at once.
  shown([] { NUVAProgressHUD::showSuccessWithStatus(kit::str("完成")); });
  EXPECT_EQ(hud->activityCount(), 0u);
  NUVAProgressHUD::popActivity();
  settle();
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 2u);
  advance(kFade);

  // A spinner shown while a message's dismiss timer runs starts the count
  // afresh.
  shown([] { NUVAProgressHUD::show(); });
  shown([] { NUVAProgressHUD::show(); });
  EXPECT_EQ(hud->activityCount(), 2u);
  shown([] { NUVAProgressHUD::showInfoWithStatus(kit::str("提示")); });
  ASSERT_TRUE(hud->fadeOutTimer() && hud->fadeOutTimer()->isValid());
  shown([] { NUVAProgressHUD::show(); });
  EXPECT_EQ(hud->activityCount(), 1u);
}

TEST_F(StatusHUD, TheKeyboardRepositionsTheBoxOverItsOwnAnimationTime) {
  NotificationLog log;
  shown([] { NUVAProgressHUD::showSuccessWithStatus(kit::str(std::string(60, 'k'))); });  // 4.1 s
  auto box = NUVAProgressHUD::sharedView()->hudView();
  const kit::Point screenCentre{375.0 / 2, 667.0 / 2};
  auto app = kit::Application::shared();

  // The box stays at the screen's centre, keyboard or not.
  app->showKeyboard({0, 451, 375, 216}, 0.4);
  advance(0.4);
  EXPECT_EQ(box->center(), screenCentre);
  app->hideKeyboard(0.2);
  advance(0.2);
  EXPECT_EQ(box->center(), screenCentre);

  // An offset applies at the next positioning, which the keyboard's
  // notification brings, moving the box over the keyboard's 0.4 s.
  NUVAProgressHUD::setOffsetFromCenter({0, -40});
  EXPECT_EQ(box->center(), screenCentre);
  app->showKeyboard({0, 451, 375, 216}, 0.4);
  EXPECT_EQ(box->center(), (kit::Point{screenCentre.x, screenCentre.y - 40}));
  auto shownY = [&] { return std::get<kit::Point>(box->layer()->presentationValue("position")).y; };
  EXPECT_DOUBLE_EQ(shownY(), screenCentre.y);
  advance(0.2);
  EXPECT_NEAR(shownY(), screenCentre.y - 20, 2);
  advance(0.2);
  EXPECT_NEAR(shownY(), screenCentre.y - 40, 1e-6);
  EXPECT_FALSE(box->layer()->hasAnimations());
  // Still the same message, on its own timer.
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 0u);
  advance(4.1 - 0.4 - 0.2 - 0.4);
  EXPECT_EQ(log.count(NUVAProgressHUDWillDisappearNotification), 1u);
}

}  // namespace

// The class operations may be called from any thread, the very first one
// included: the shared HUD is then made on the main thread, and the call
// goes on from there. In a process of its own, where no HUD exists yet.
TEST(NUVAProgressHUDThreads, AFirstDismissFromAnotherThreadMakesTheHUDOnTheMainThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        kit::RunLoop::declareMainThread();
        std::atomic<bool> returned{false};
        std::thread worker([&] {
          NUVAProgressHUD::dismiss();
          NUVAProgressHUD::showErrorWithStatus(kit::str("稍后再试"));
          returned = true;
        });
        const bool done = kit::test::runUntil([&] { return returned.load(); }, 10);
        worker.join();
        std::_Exit(done && NUVAProgressHUD::sharedView() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

