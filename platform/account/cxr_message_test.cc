// The toast on a 375 x 667 window: its box for empty, short and wrapping
// texts, its look in a picture, its life on the virtual clock, and the text
// measure it uses.
#include "platform/account/cxr_message.h"

#include <gtest/gtest.h>

#include <string>

#include "kit/graphics/color.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

class Toast : public kit::test::VirtualClockTest {
 protected:
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;

  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    window->setOpaque(true);
    window->setBackgroundColor(kit::Color::whiteColor());
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }
  // The toast boxes on the window, oldest first.
  std::vector<kit::Ref<kit::View>> boxes() const { return window->subviews(); }
  static kit::Ref<kit::Label> labelIn(const kit::Ref<kit::View>& box) {
    return box->subviews().empty() ? nullptr : std::dynamic_pointer_cast<kit::Label>(box->subviews().front());
  }
};

TEST_F(Toast, EmptyTextShowsABlackTwentyPointBox) {
  CXRMessage::showMessage(kit::str(""), window);
  ASSERT_EQ(boxes().size(), 1u);
  const kit::Rect box = boxes()[0]->frame();
  EXPECT_DOUBLE_EQ(box.origin.x, 177.5);
  EXPECT_NEAR(box.origin.y, 431.33, 0.01);
  EXPECT_EQ(box.size, (kit::Size{20, 20}));
  auto label = labelIn(boxes()[0]);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), "");
  EXPECT_EQ(label->frame(), (kit::Rect{10, 10, 0, 0}));
}

TEST_F(Toast, NilTextOrNoViewShowsNothing) {
  CXRMessage::showMessage(kit::Ref<kit::String>{}, window);
  CXRMessage::showMessage(kit::str("x"), kit::Ref<kit::View>{});
  CXRMessage::showMessage(kit::Ref<kit::String>{});
  EXPECT_TRUE(boxes().empty());
}

TEST_F(Toast, OneLineTextSitsCentredAtTwoThirdsInWhiteBoldOnBlack) {
  CXRMessage::showMessage(kit::str("无法连接服务器"));  // on the top window
  ASSERT_EQ(boxes().size(), 1u);
  auto box = boxes()[0];
  auto label = labelIn(box);
  ASSERT_TRUE(label);
  const kit::Size text = label->frame().size;
  EXPECT_GT(text.width, 0);
  EXPECT_NEAR(text.height, std::ceil(kit::Font::boldSystemFont(16)->lineHeight()), 1);
  EXPECT_GE(text.width + 0.5, label->sizeThatFits(kit::Size{}).width) << "the whole text fits on its line";
  EXPECT_EQ(label->frame().origin, (kit::Point{10, 10}));
  const kit::Rect frame = box->frame();
  EXPECT_DOUBLE_EQ(frame.size.width, text.width + 20);
  EXPECT_DOUBLE_EQ(frame.size.height, text.height + 20);
  EXPECT_DOUBLE_EQ(frame.origin.x, (375 - text.width - 20) / 2);
  EXPECT_DOUBLE_EQ(frame.origin.y, (667 - text.height - 20) / 3 * 2);

  EXPECT_TRUE(label->textColor()->isEqual(*kit::Color::whiteColor()));
  EXPECT_TRUE(label->font()->isBold());
  EXPECT_DOUBLE_EQ(label->font()->pointSize(), 16);
  EXPECT_EQ(label->numberOfLines(), 1);
  EXPECT_DOUBLE_EQ(box->layer()->cornerRadius(), 5);
  EXPECT_TRUE(box->clipsToBounds());

  // The picture: a black box with white text on the window.
  auto picture = kit::render(*window);
  const auto pixel = [&](double x, double y) {
    return picture->pixelAt(static_cast<size_t>(x * 2), static_cast<size_t>(y * 2));
  };
  EXPECT_EQ(pixel(frame.minX() + 4, frame.midY()), (kit::Pixel{0, 0, 0, 255}));
  int white = 0;
  for (double x = frame.minX() + 10; x < frame.maxX() - 10; x += 0.5) {
    const auto p = pixel(x, frame.midY());
    if (p.r > 200 && p.g > 200 && p.b > 200) ++white;
  }
  EXPECT_GT(white, 3) << "the text shows in white";
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/cxr_message_toast.png");
}

TEST_F(Toast, WideTextWrapsWithinTheViewLess40) {
  const std::string wide =
      "当前账号未完成实名认证，根据国家相关规定，请先完成实名认证后再进行充值，感谢您的理解与支持";
  ASSERT_GT(CXRMessage::getWidthWithText(kit::str(wide), 20, 16), 335);
  CXRMessage::showMessage(kit::str(wide), window);
  auto box = boxes().at(0);
  auto label = labelIn(box);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->numberOfLines(), 0);
  EXPECT_LE(label->frame().width(), 335);
  EXPECT_GT(label->frame().width(), 300);
  EXPECT_GE(label->frame().height(), 2 * std::floor(kit::Font::boldSystemFont(16)->lineHeight()));
  // The box, 10 points wider on each side, stays inside the window.
  EXPECT_GE(box->frame().minX(), 10 - 1e-9);
  EXPECT_LE(box->frame().maxX(), 365 + 1e-9);
  EXPECT_DOUBLE_EQ(box->frame().midX(), 187.5);
}

TEST_F(Toast, LivesTwoPointThreeSecondsAndOverlaps) {
  CXRMessage::showMessage(kit::str("领取成功"), window);
  advance(1.0);
  CXRMessage::showMessage(kit::str("已复制"), window);
  EXPECT_EQ(boxes().size(), 2u);
  auto first = boxes()[0];
  advance(1.29);  // 2.29 s after the first
  EXPECT_EQ(first->superview(), window);
  EXPECT_LT(first->layer()->presentationDouble("opacity"), 0.05);
  advance(0.02);  // 2.31 s
  EXPECT_FALSE(first->superview());
  EXPECT_EQ(boxes().size(), 1u);
  advance(1.0);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(Toast, TapsGoThroughWhileItFades) {
  int taps = 0;
  auto button = kit::Button::make(kit::Rect{0, 0, 375, 667});
  button->addAction(kit::ControlEvent::TouchUpInside, [&] { ++taps; });
  window->addSubview(button);
  CXRMessage::showMessage(kit::str("提示"), window);
  advance(0.5);
  const kit::Rect box = boxes().back()->frame();
  // The fading box lets a tap on it reach what lies below.
  ASSERT_TRUE(kit::test::tapAt(*window, kit::Point{box.midX(), box.midY()}));
  EXPECT_EQ(taps, 1);
  ASSERT_TRUE(kit::test::tapAt(*window, kit::Point{20, 20}));
  EXPECT_EQ(taps, 2);
}

TEST_F(Toast, WithoutAnyWindowNothingShows) {
  window.reset();
  kit::Application::shared()->reset();
  CXRMessage::showMessage("无法连接服务器");
  EXPECT_TRUE(kit::Application::shared()->windows().empty());
  advance(3);
}

TEST(ToastMeasure, EmptyTextsDefaultSizeAndNegativeHeight) {
  const double stand = CXRMessage::getWidthWithText(kit::str("无"), 20, 16);
  EXPECT_GT(stand, 0);
  EXPECT_DOUBLE_EQ(CXRMessage::getWidthWithText(nullptr, 20, 16), stand);
  EXPECT_DOUBLE_EQ(CXRMessage::getWidthWithText(kit::str(""), 20, 16), stand);
  const double thirteen = CXRMessage::getWidthWithText(kit::str("abc"), 20, 13);
  EXPECT_DOUBLE_EQ(CXRMessage::getWidthWithText(kit::str("abc"), 20, 0), thirteen);
  EXPECT_DOUBLE_EQ(CXRMessage::getWidthWithText(kit::str("abc"), 20, -4), thirteen);
  EXPECT_GT(CXRMessage::getWidthWithText(kit::str("abc"), 20, 16), thirteen);
  EXPECT_DOUBLE_EQ(CXRMessage::getWidthWithText(kit::str("abc"), -5, 16),
                   CXRMessage::getWidthWithText(kit::str("abc"), 0, 16));
  // One line, however long.
  const std::string line(200, 'w');
  EXPECT_GT(CXRMessage::getWidthWithText(kit::str(line), 20, 16), 1000);
}

}  // namespace
