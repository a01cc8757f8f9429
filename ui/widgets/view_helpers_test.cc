// The platform screens' view helpers: frame and layer shortcuts, views from
// registered scenes, colours from hex numbers, image-and-title insets on real
// buttons (laid out and rendered), colour backgrounds, label heights and the
// log texts of collections.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/font.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "ui/widgets/collection_log_descriptions.h"
#include "ui/widgets/cxr_image_title_btn.h"
#include "ui/widgets/ui_button_helpers.h"
#include "ui/widgets/ui_color_xt_extention.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

using V = UIViewExtension;

void expectRect(const kit::Rect& r, double x, double y, double w, double h) {
  EXPECT_DOUBLE_EQ(r.origin.x, x);
  EXPECT_DOUBLE_EQ(r.origin.y, y);
  EXPECT_DOUBLE_EQ(r.size.width, w);
  EXPECT_DOUBLE_EQ(r.size.height, h);
}

void expectInsets(const kit::EdgeInsets& e, double top, double left, double bottom, double right) {
  EXPECT_DOUBLE_EQ(e.top, top);
  EXPECT_DOUBLE_EQ(e.left, left);
  EXPECT_DOUBLE_EQ(e.bottom, bottom);
  EXPECT_DOUBLE_EQ(e.right, right);
}

void expectRGBA(const kit::Ref<kit::Color>& c, double r, double g, double b, double a) {
  ASSERT_TRUE(c);
  double cr = -1, cg = -1, cb = -1, ca = -1;
  ASSERT_TRUE(c->getRed(&cr, &cg, &cb, &ca));
  EXPECT_NEAR(cr, r, 1e-6);
  EXPECT_NEAR(cg, g, 1e-6);
  EXPECT_NEAR(cb, b, 1e-6);
  EXPECT_NEAR(ca, a, 1e-6);
}

// A 20 x 20 point picture of one colour.
kit::Ref<kit::Image> square(double side, const kit::Ref<kit::Color>& color) {
  kit::beginImageContext(kit::Size{side, side}, false, 1);
  kit::currentContext()->setFillColor(color);
  kit::currentContext()->fillRect(kit::Rect{0, 0, side, side});
  auto image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

TEST(ViewFrames, EachShortcutChangesOnlyItsOwnValue) {
  auto view = kit::View::make(kit::Rect{10, 20, 30, 40});
  V::setCenterX(*view, 100);
  expectRect(view->frame(), 85, 20, 30, 40);
  view->setFrame(kit::Rect{10, 20, 30, 40});
  V::setCenterY(*view, 100);
  expectRect(view->frame(), 10, 80, 30, 40);
  view->setFrame(kit::Rect{10, 20, 30, 40});
  V::setWidth(*view, 50);
  expectRect(view->frame(), 10, 20, 50, 40);
  V::setHeight(*view, 60);
  expectRect(view->frame(), 10, 20, 50, 60);
  V::setSize(*view, kit::Size{5, 6});
  expectRect(view->frame(), 10, 20, 5, 6);
  V::setX(*view, -3);
  expectRect(view->frame(), -3, 20, 5, 6);
  V::setY(*view, 7);
  V::setOrigin(*view, kit::Point{1, 2});
  expectRect(view->frame(), 1, 2, 5, 6);
  EXPECT_DOUBLE_EQ(V::centerX(*view), 3.5);
}

TEST(ViewLayers, BorderCornerAndBorderColour) {
  auto view = kit::View::make(kit::Rect{0, 0, 50, 50});
  auto red = kit::Color::redColor();
  V::setLayerBorderWidth(*view, 1.5, red);
  EXPECT_DOUBLE_EQ(view->layer()->borderWidth(), 1.5);
  EXPECT_EQ(view->layer()->borderColor(), red);
  EXPECT_FALSE(view->clipsToBounds());
  V::setLayerCornerRadius(*view, 8);
  EXPECT_DOUBLE_EQ(view->layer()->cornerRadius(), 8);
  EXPECT_TRUE(view->clipsToBounds());

  auto blue = kit::Color::blueColor();
  CALayerKTColor::setBorderUIColor(*view->layer(), blue);
  EXPECT_EQ(CALayerKTColor::borderUIColor(*view->layer()), blue);
}

TEST(ViewScenes, ViewFromXibReturnsTheLastTopLevelView) {
  kit::SceneRegistry::shared().registerNib("KTTwoViewsScene", [](const kit::Id&) {
    auto first = kit::View::make(kit::Rect{0, 0, 1, 1});
    first->setTag(1);
    auto second = kit::View::make(kit::Rect{0, 0, 2, 2});
    second->setTag(2);
    return std::vector<kit::Id>{first, second};
  });
  kit::SceneRegistry::shared().registerNib("KTNotAViewScene", [](const kit::Id&) {
    return std::vector<kit::Id>{kit::View::make(), kit::str("text")};
  });
  auto view = V::ViewFromXib("KTTwoViewsScene");
  ASSERT_TRUE(view);
  EXPECT_EQ(view->tag(), 2);
  EXPECT_EQ(V::ViewFromXib("KTNoSuchScene"), nullptr);
  EXPECT_EQ(V::ViewFromXib("KTNotAViewScene"), nullptr);
  EXPECT_EQ(V::ViewFromXib<kit::Button>("KTTwoViewsScene"), nullptr);
  kit::SceneRegistry::shared().removeNib("KTTwoViewsScene");
  kit::SceneRegistry::shared().removeNib("KTNotAViewScene");
}

TEST(Colours, FromHexAndShortHexValues) {
  expectRGBA(UIColorXTExtention::fromHexValue(0x00FF8000), 1, 128 / 255.0, 0, 1);
  expectRGBA(UIColorXTExtention::fromHexValue(0x80000000), 0, 0, 0, 128 / 255.0);
  expectRGBA(UIColorXTExtention::fromHexValue(0xFFFFFFFF), 1, 1, 1, 1);
  expectRGBA(UIColorXTExtention::fromHexValue(0x123456, 0.25), 0x12 / 255.0, 0x34 / 255.0, 0x56 / 255.0, 0.25);
  expectRGBA(UIColorXTExtention::fromShortHexValue(0xF80), 1, 8 / 15.0, 0, 1);
  expectRGBA(UIColorXTExtention::fromShortHexValue(0x0F0, 0.5), 0, 1, 0, 0.5);
}

TEST(ButtonInsets, EveryStyleForA20x20ImageAnd40x18Title) {
  using B = UIButtonKTImageTitleSpacing;
  const kit::Size image{20, 20}, title{40, 18};
  auto top = B::insetsFor(0, image, title, 10);
  expectInsets(top.image, -23, 0, 0, -40);
  expectInsets(top.title, 0, -20, -25, 0);
  auto left = B::insetsFor(1, image, title, 10);
  expectInsets(left.image, 0, -5, 0, 5);
  expectInsets(left.title, 0, 5, 0, -5);
  auto bottom = B::insetsFor(2, image, title, 10);
  expectInsets(bottom.image, 0, 0, -23, -40);
  expectInsets(bottom.title, -25, -20, 0, 0);
  auto right = B::insetsFor(3, image, title, 10);
  expectInsets(right.image, 0, 45, 0, -45);
  expectInsets(right.title, 0, -25, 0, 25);
  for (unsigned long style : {4ul, 99ul}) {
    auto none = B::insetsFor(style, image, title, 10);
    expectInsets(none.image, 0, 0, 0, 0);
    expectInsets(none.title, 0, 0, 0, 0);
  }
}

// A button as a screen makes one: an image, a title, laid out in a window.
struct ImageTitleButton {
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window = kit::Window::make();
  kit::Ref<kit::Button> button;

  explicit ImageTitleButton(kit::Ref<kit::Button> made) : button(std::move(made)) {
    button->setFrame(kit::Rect{100, 100, 120, 120});
    button->setImage(square(20, kit::Color::redColor()));
    button->setTitle("首页");
    button->setTitleColor(kit::Color::blackColor());
    button->titleLabel()->setFont(kit::Font::systemFont(15));
    window->addSubview(button);
    window->makeKeyAndVisible();
    button->layoutIfNeeded();
  }
  ~ImageTitleButton() { kit::Application::shared()->reset(); }
  kit::Rect imageFrame() const { return kit::test::frameInWindow(*button->imageView()); }
  kit::Rect titleFrame() const { return kit::test::frameInWindow(*button->titleLabel()); }
};

TEST(ButtonInsets, ImageAboveAndRightOfTheTitleOnAButton) {
  ImageTitleButton made(kit::Button::make());
  auto& button = *made.button;
  const kit::Size title = button.titleLabel()->intrinsicContentSize();
  ASSERT_DOUBLE_EQ(button.imageView()->frame().width(), 20);

  UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(button, KTButtonEdgeInsetsStyleTop, 10);
  expectInsets(button.imageEdgeInsets(), -(title.height + 5), 0, 0, -title.width);
  expectInsets(button.titleEdgeInsets(), 0, -20, -25, 0);
  button.layoutIfNeeded();
  // The image sits centred above the title. Insets move a part by half
  // their amount, so stacked parts end half the space apart.
  const kit::Rect image = made.imageFrame(), text = made.titleFrame();
  EXPECT_NEAR(image.maxY() + 5, text.minY(), 1.0);
  EXPECT_NEAR(image.midX(), 160, 1.0);
  EXPECT_NEAR(text.midX(), 160, 1.0);
  // The picture has the red square above the black title.
  auto picture = kit::render(*made.window);
  auto pixel = picture->pixelAt(static_cast<size_t>(image.midX() * 2), static_cast<size_t>(image.midY() * 2));
  EXPECT_GT(pixel.r, 200);
  EXPECT_LT(pixel.g, 60);

  // Side by side the whole space lies between them.
  UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(button, KTButtonEdgeInsetsStyleRight, 6);
  button.layoutIfNeeded();
  EXPECT_NEAR(made.titleFrame().maxX() + 6, made.imageFrame().minX(), 1.0);
  EXPECT_NEAR(made.imageFrame().midY(), made.titleFrame().midY(), 1.0);

  UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(button, 7, 5);
  expectInsets(button.imageEdgeInsets(), 0, 0, 0, 0);
  expectInsets(button.titleEdgeInsets(), 0, 0, 0, 0);
}

TEST(ButtonInsets, ImageTitleButtonStacksWhenItsSceneWakesIt) {
  kit::SceneRegistry::shared().registerNib("CXRImageTitleBtnTestScene", [](const kit::Id&) {
    auto button = CXRImageTitleBtn::make(kit::Rect{0, 0, 80, 80});
    button->setImage(square(20, kit::Color::redColor()));
    button->setTitle("礼包");
    button->layoutIfNeeded();
    return std::vector<kit::Id>{button};
  });
  auto button = V::ViewFromXib<CXRImageTitleBtn>("CXRImageTitleBtnTestScene");
  kit::SceneRegistry::shared().removeNib("CXRImageTitleBtnTestScene");
  ASSERT_TRUE(button);
  const kit::Size title = button->titleLabel()->intrinsicContentSize();
  expectInsets(button->titleEdgeInsets(), 0, -20, -25, 0);
  expectInsets(button->imageEdgeInsets(), -(title.height + 5), 0, 0, -title.width);
  // The same as the helper's style 0 with a 10-point space.
  auto helper = UIButtonKTImageTitleSpacing::insetsFor(0, kit::Size{20, 20}, title, 10);
  EXPECT_EQ(helper.title, button->titleEdgeInsets());
  EXPECT_EQ(helper.image, button->imageEdgeInsets());
}

TEST(ButtonBackgrounds, OnePixelImagePerState) {
  auto orange = UIColorXTExtention::fromHexValue(0xFF7F00);
  auto image = UIButtonFillColor::imageWithColor(orange);
  ASSERT_TRUE(image);
  EXPECT_DOUBLE_EQ(image->scale(), 1);
  EXPECT_EQ(image->size(), (kit::Size{1, 1}));
  auto pixel = image->bitmap()->pixelAt(0, 0);
  EXPECT_EQ(pixel, (kit::Pixel{255, 127, 0, 255}));

  auto button = kit::Button::make(kit::Rect{0, 0, 60, 30});
  UIButtonFillColor::setBackgroundColor(*button, orange, kit::ControlStateNormal);
  UIButtonFillColor::setBackgroundColor(*button, kit::Color::grayColor(), kit::ControlStateDisabled);
  ASSERT_TRUE(button->backgroundImage(kit::ControlStateNormal));
  ASSERT_TRUE(button->backgroundImage(kit::ControlStateDisabled));
  EXPECT_EQ(button->backgroundImage(kit::ControlStateNormal)->bitmap()->pixelAt(0, 0), pixel);
  EXPECT_NE(button->backgroundImage(kit::ControlStateDisabled)->bitmap()->pixelAt(0, 0), pixel);

  // The whole button shows the colour.
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  auto window = kit::Window::make();
  window->addSubview(button);
  window->makeKeyAndVisible();
  auto picture = kit::render(*window);
  EXPECT_EQ(picture->pixelAt(100, 50), (kit::Pixel{255, 127, 0, 255}));
  kit::Application::shared()->reset();
}

TEST(LabelHeights, OneLineWrappedAndNarrower) {
  auto font = kit::Font::systemFont(14);
  const double line = UIViewLabelHeight::getLabelHeightByWidth(270, "领取成功", font);
  EXPECT_NEAR(line, std::ceil(font->lineHeight()), 1.0);
  const std::string longText =
      "本活动每日开放，完成任务即可领取丰厚奖励，奖励将发放到游戏角色的邮箱中，请注意查收。";
  const double wrapped = UIViewLabelHeight::getLabelHeightByWidth(270, longText, font);
  EXPECT_GE(wrapped, 2 * line - 1);
  EXPECT_GT(UIViewLabelHeight::getLabelHeightByWidth(135, longText, font), wrapped);
  EXPECT_EQ(UIViewLabelHeight::getLabelHeightByWidth(270, "", font), 0);
}

TEST(LogTexts, DictionariesAndArraysOnePerLine) {
  EXPECT_EQ(NSDictionaryLog::descriptionWithLocale(*kit::dict()), "{\n}");
  EXPECT_EQ(NSDictionaryLog::descriptionWithLocale(*kit::dict({{"a", "1"}})), "{\n\ta : 1\n}");
  EXPECT_EQ(NSArrayLog::descriptionWithLocale(*kit::array()), "[\n]");
  EXPECT_EQ(NSArrayLog::descriptionWithLocale(*kit::array({"x", "y"})), "[\n\tx,\n\ty\n]");
  // Chinese texts as they are, a comma inside a value kept, nested
  // collections in the same form.
  EXPECT_EQ(NSArrayLog::descriptionWithLocale(*kit::array({"成功,1", kit::dict({{"msg", "余额不足"}})})),
            "[\n\t成功,1,\n\t{\n\tmsg : 余额不足\n}\n]");
  EXPECT_EQ(NSDictionaryLog::descriptionWithLocale(*kit::dict({{"list", kit::array({1, 2})}})),
            "{\n\tlist : [\n\t1,\n\t2\n]\n}");
}

}  // namespace
