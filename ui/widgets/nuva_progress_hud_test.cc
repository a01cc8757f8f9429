// The status HUD as the channel uses it: error texts shown from any thread
// as a text-only box, display times on the virtual clock, an error over a
// visible message, and the box in a rendered picture.

#include "ui/widgets/nuva_progress_hud.h"

#include <gtest/gtest.h>

#include <filesystem>
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
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

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
                             NUVAProgressHUDWillDisappearNotification, NUVAProgressHUDDidDisappearNotification}) {
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
    // Leave the shared HUD hidden for the next test.
    NUVAProgressHUD::dismiss();
    advance(1);
    window = nullptr;
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }

  // Lets queued main-queue work and operations run without moving time.
  void settle() { clock().settle(); }

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

}  // namespace
