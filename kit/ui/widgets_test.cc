// Buttons, labels, image views, spinners, blur views and text styling:
// per-state content, the placing of title and image by their insets,
// shrinking fonts, attributed text, animation frames.
#include <gtest/gtest.h>

#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/activity_indicator_view.h"
#include "kit/ui/button.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/feedback_generator.h"
#include "kit/ui/render.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/visual_effect_view.h"

namespace kit {
namespace {

Ref<Image> solidImage(size_t w, size_t h, uint8_t r, uint8_t g, uint8_t b, double scale = 1) {
  std::vector<uint8_t> rgba;
  for (size_t i = 0; i < w * h; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
  PixelFormat format;
  format.colorSpace = ColorSpace::deviceRGB();
  format.bitmapInfo = makeBitmapInfo(AlphaInfo::Last);
  return Image::withBitmap(Bitmap::create(w, h, format, 0, rgba), scale);
}

class WidgetsTest : public test::VirtualClockTest {
 protected:
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
};

TEST_F(WidgetsTest, ButtonContentFollowsItsStateWithNormalAsFallback) {
  auto button = Button::make(Rect{0, 0, 200, 44});
  button->setTitle("领取");
  button->setTitleColor(Color::whiteColor());
  button->setTitle("已领取", ControlStateDisabled);
  button->setTitleColor(Color::grayColor(), ControlStateSelected);
  EXPECT_EQ(button->currentTitle(), "领取");
  EXPECT_EQ(button->titleLabel()->text(), "领取");
  button->setEnabled(false);
  EXPECT_EQ(button->currentTitle(), "已领取");
  EXPECT_EQ(button->titleLabel()->text(), "已领取");
  EXPECT_TRUE(button->currentTitleColor()->isEqual(*Color::whiteColor()));
  button->setEnabled(true);
  button->setSelected(true);
  EXPECT_EQ(button->state(), ControlStateSelected);
  EXPECT_EQ(button->currentTitle(), "领取");
  EXPECT_TRUE(button->titleLabel()->textColor()->isEqual(*Color::grayColor()));
  // Highlighted while selected falls back to the selected value.
  button->setHighlighted(true);
  EXPECT_TRUE(button->currentTitleColor()->isEqual(*Color::grayColor()));
  // A system button's title takes the tint.
  auto system = Button::withType(ButtonType::System);
  system->setTitle("确定");
  EXPECT_TRUE(system->currentTitleColor()->isEqual(*system->tintColor()));
}

TEST_F(WidgetsTest, ImageAboveTitleThroughEdgeInsets) {
  auto button = Button::make(Rect{0, 0, 100, 100});
  button->setImage(solidImage(30, 30, 255, 0, 0));
  button->setTitle("首页");
  button->titleLabel()->setFont(Font::systemFont(12));
  button->layoutIfNeeded();
  const Rect image0 = button->imageView()->frame(), title0 = button->titleLabel()->frame();
  EXPECT_DOUBLE_EQ(image0.maxX(), title0.minX()) << "side by side without insets";
  EXPECT_NEAR((image0.minX() + title0.maxX()) / 2, 50, 1e-9);
  // The image-above-title insets of the screens' button helper (space 10).
  const double iw = 30, ih = 30, tw = title0.width(), th = title0.height(), s = 10;
  button->setImageEdgeInsets({-(th + s / 2), 0, 0, -tw});
  button->setTitleEdgeInsets({0, -iw, -(ih + s / 2), 0});
  button->layoutIfNeeded();
  const Rect image = button->imageView()->frame(), title = button->titleLabel()->frame();
  EXPECT_NEAR(image.midX(), 50, 1e-9);
  EXPECT_NEAR(title.midX(), 50, 1e-9);
  // Each part moves by half its insets' difference, so these insets leave
  // half the space between image and title, as on the platform.
  EXPECT_NEAR(title.minY() - image.maxY(), s / 2, 1e-9);
  EXPECT_EQ(button->sizeThatFits({}), (Size{iw + tw, std::max(ih, th)}));
  // The background image fills the bounds.
  auto plain = Button::make(Rect{0, 0, 20, 20});
  plain->setBackgroundImage(solidImage(1, 1, 0, 0, 255));
  EXPECT_EQ(render(*plain, 1)->pixelAt(10, 10), (Pixel{0, 0, 255, 255}));
}

TEST_F(WidgetsTest, LabelShrinksToFitItsWidthAndKeepsPlainAndAttributedTextApart) {
  auto label = Label::make(Rect{0, 0, 60, 30});
  label->setFont(Font::systemFont(20));
  label->setText("五个汉字呀");  // 100 points at 20
  EXPECT_DOUBLE_EQ(label->fontForDrawing()->pointSize(), 20);
  label->setAdjustsFontSizeToFitWidth(true);
  EXPECT_NEAR(label->fontForDrawing()->pointSize(), 12, 0.1);
  label->setMinimumScaleFactor(0.8);
  EXPECT_DOUBLE_EQ(label->fontForDrawing()->pointSize(), 16);

  TextAttributes link;
  link.link = "wenzilianjie://";
  link.foregroundColor = Color::rgba(246 / 255.0, 71 / 255.0, 32 / 255.0, 1);
  auto text = AttributedString::make("点击这里查看");
  text->addAttributes(link, {2, 2});
  ASSERT_EQ(text->runs().size(), 3u);
  EXPECT_EQ(text->attributesAt(3).link, "wenzilianjie://");
  EXPECT_EQ(text->attributesAt(5).link, "");
  label->setAttributedText(text);
  EXPECT_EQ(label->text(), "点击这里查看");
  EXPECT_EQ(label->attributedText()->runs().size(), 3u);
  label->setText("plain");
  EXPECT_EQ(label->attributedText()->runs().size(), 1u);
  text->replaceCharacters({0, 2}, "请点");
  EXPECT_EQ(text->string(), "请点这里查看");
  EXPECT_EQ(text->attributesAt(2).link, "wenzilianjie://");
}

TEST_F(WidgetsTest, ParagraphSpacingStrikethroughAndFontMetrics) {
  TextAttributes plain;
  plain.font = Font::systemFont(18);
  const std::string body = "根据国家规定，未成年玩家每日在线时间受限。";
  const Rect tight = boundingRectWithSize(body, {150, 1e9}, StringDrawingUsesLineFragmentOrigin, plain);
  TextAttributes spaced = plain;
  spaced.paragraphStyle = ParagraphStyle::make();
  spaced.paragraphStyle->lineSpacing = 5;
  const Rect loose = boundingRectWithSize(body, {150, 1e9}, StringDrawingUsesLineFragmentOrigin, spaced);
  const int lines = static_cast<int>(std::round(tight.size.height / plain.font->lineHeight()));
  ASSERT_GT(lines, 1);
  EXPECT_NEAR(loose.size.height - tight.size.height, 5.0 * (lines - 1), 0.5);

  auto font = Font::systemFont(18);
  EXPECT_GT(font->ascender(), 0);
  EXPECT_LT(font->descender(), 0);
  EXPECT_NEAR(font->lineHeight(), font->ascender() - font->descender(), 1e-9);
  EXPECT_TRUE(Font::boldSystemFont(18)->isBold());
  EXPECT_TRUE(Font::named("PingFangSC-Semibold", 14)->isBold());
  EXPECT_EQ(Font::named("", 14), nullptr);
  EXPECT_TRUE(font->isEqual(*Font::systemFont(18)));
  EXPECT_FALSE(font->isEqual(*Font::boldSystemFont(18)));
  // A bold face draws more ink than the regular one.
  auto regular = Label::make(Rect{0, 0, 80, 30});
  regular->setText("知道了");
  regular->setFont(Font::systemFont(18));
  auto bold = Label::make(Rect{0, 0, 80, 30});
  bold->setText("知道了");
  bold->setFont(Font::boldSystemFont(18));
  auto ink = [](const Bitmap& b) {
    long sum = 0;
    for (size_t y = 0; y < b.height(); ++y)
      for (size_t x = 0; x < b.width(); ++x) sum += b.pixelAt(x, y).a;
    return sum;
  };
  EXPECT_GT(ink(*render(*bold, 2)), ink(*render(*regular, 2)) * 11 / 10);
  // A struck-through price draws a line through its middle.
  auto price = Label::make(Rect{0, 0, 80, 30});
  TextAttributes struck;
  struck.strikethroughStyle = UnderlineStyleSingle;
  price->setAttributedText(AttributedString::make("1111", struck));
  auto unstruck = Label::make(Rect{0, 0, 80, 30});
  unstruck->setText("1111");
  EXPECT_GT(ink(*render(*price, 2)), ink(*render(*unstruck, 2)));
}

TEST_F(WidgetsTest, ImageViewShowsTheFrameDueAndHighlightedImage) {
  auto red = solidImage(2, 2, 255, 0, 0), green = solidImage(2, 2, 0, 255, 0), blue = solidImage(2, 2, 0, 0, 255);
  auto view = ImageView::make(Rect{0, 0, 10, 10});
  view->setImage(red);
  view->setHighlightedImage(blue);
  EXPECT_EQ(view->displayedImage(), red);
  view->setHighlighted(true);
  EXPECT_EQ(view->displayedImage(), blue);
  view->setHighlighted(false);
  view->setAnimationImages({red, green, blue});
  view->setAnimationDuration(0.3);
  view->setAnimationRepeatCount(2);
  view->startAnimating();
  EXPECT_TRUE(view->isAnimating());
  EXPECT_EQ(view->displayedImage(), red);
  advance(0.15);
  EXPECT_EQ(view->displayedImage(), green);
  EXPECT_EQ(render(*view, 1)->pixelAt(5, 5), (Pixel{0, 255, 0, 255}));
  advance(0.5);
  EXPECT_FALSE(view->isAnimating()) << "two cycles of 0.3 s are over";
  EXPECT_EQ(view->displayedImage(), red);
  // An image at scale 2 is half its pixel size in points.
  EXPECT_EQ(solidImage(50, 50, 0, 0, 0, 2)->size(), (Size{25, 25}));
  EXPECT_EQ(ImageView::withImage(solidImage(50, 50, 0, 0, 0, 2))->frame(), (Rect{0, 0, 25, 25}));
  // A template image at scale 2 takes the tint where it is opaque, at its
  // size in points: here its right half.
  std::vector<uint8_t> rgba;
  for (size_t y = 0; y < 20; ++y) {
    for (size_t x = 0; x < 20; ++x) rgba.insert(rgba.end(), {0, 0, 0, static_cast<uint8_t>(x < 10 ? 0 : 255)});
  }
  PixelFormat format;
  format.colorSpace = ColorSpace::deviceRGB();
  format.bitmapInfo = makeBitmapInfo(AlphaInfo::Last);
  auto halfImage = Image::withBitmap(Bitmap::create(20, 20, format, 0, rgba), 2);
  auto tinted = ImageView::withImage(halfImage->withRenderingMode(ImageRenderingMode::AlwaysTemplate));
  tinted->setTintColor(Color::rgba(1, 0, 0, 1));
  auto picture = render(*tinted, 2);
  EXPECT_EQ(picture->pixelAt(15, 5), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(picture->pixelAt(5, 15).a, 0);
}

TEST_F(WidgetsTest, SpinnerBlurAndHapticsKeepTheirState) {
  auto spinner = ActivityIndicatorView::make(ActivityIndicatorStyle::WhiteLarge);
  EXPECT_EQ(spinner->bounds().size, (Size{37, 37}));
  EXPECT_TRUE(spinner->isHidden());
  spinner->startAnimating();
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_FALSE(spinner->isHidden());
  spinner->stopAnimating();
  EXPECT_TRUE(spinner->isHidden());
  spinner->setHidesWhenStopped(false);
  EXPECT_FALSE(spinner->isHidden());

  auto blur = VisualEffectView::make(BlurEffect::withStyle(BlurEffectStyle::Dark), Rect{0, 0, 40, 40});
  auto inside = View::make(Rect{0, 0, 10, 10});
  inside->setBackgroundColor(Color::redColor());
  blur->contentView()->addSubview(inside);
  auto picture = render(*blur, 1);
  EXPECT_EQ(picture->pixelAt(5, 5), (Pixel{255, 0, 0, 255}));
  const Pixel dim = picture->pixelAt(30, 30);
  EXPECT_LT(dim.r, 60);
  EXPECT_GT(dim.a, 150);
  blur->setFrame({0, 0, 80, 80});
  EXPECT_EQ(blur->contentView()->frame().size, (Size{80, 80}));

  auto haptics = NotificationFeedbackGenerator::make();
  haptics->prepare();
  haptics->notificationOccurred(NotificationFeedbackType::Error);
  EXPECT_EQ(haptics->occurred(), std::vector<NotificationFeedbackType>{NotificationFeedbackType::Error});
}

}  // namespace
}  // namespace kit
