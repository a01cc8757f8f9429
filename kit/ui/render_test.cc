// Rendering and text: pictures of windows with backgrounds, rounded cards,
// borders, images, shapes and Chinese text, checked pixel by pixel; text
// measurement agreeing with the drawn text.
#include <gtest/gtest.h>

#include <filesystem>

#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/gradient_layer.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/render.h"
#include "kit/ui/replicator_layer.h"
#include "kit/ui/shape_layer.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

std::string artifact(const std::string& name) { return std::string(KIT_UI_ARTIFACT_DIR) + "/" + name; }

struct InkBox {
  double minX = 1e9, minY = 1e9, maxX = -1, maxY = -1;
  bool empty() const { return maxX < 0; }
};

// The box of pixels that differ from `background`, in points.
InkBox inkBox(const Bitmap& b, double scale, Pixel background = {0, 0, 0, 0}) {
  InkBox box;
  for (size_t y = 0; y < b.height(); ++y)
    for (size_t x = 0; x < b.width(); ++x) {
      if (b.pixelAt(x, y) == background) continue;
      box.minX = std::min(box.minX, x / scale);
      box.maxX = std::max(box.maxX, (x + 1) / scale);
      box.minY = std::min(box.minY, y / scale);
      box.maxY = std::max(box.maxY, (y + 1) / scale);
    }
  return box;
}

Pixel at(const Bitmap& b, double x, double y, double scale) {
  return b.pixelAt(static_cast<size_t>(x * scale), static_cast<size_t>(y * scale));
}

class RenderTest : public ::testing::Test {
 protected:
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
};

TEST_F(RenderTest, WindowWithRedSquareRoundedCardAndChineseLabelWritesExpectedPixels) {
  auto window = Window::make();
  window->setBackgroundColor(Color::rgba(0, 0, 1, 1));
  auto red = View::make(Rect{10, 10, 100, 100});
  red->setBackgroundColor(Color::redColor());
  window->addSubview(red);
  auto card = View::make(Rect{40, 200, 295, 200});
  card->setBackgroundColor(Color::whiteColor());
  card->layer()->setCornerRadius(24);
  card->layer()->setBorderWidth(4);
  card->layer()->setBorderColor(Color::greenColor());
  window->addSubview(card);
  auto label = Label::make(Rect{20, 60, 255, 40});
  label->setText("知道了");
  label->setFont(Font::systemFont(30));
  label->setTextColor(Color::blackColor());
  label->setTextAlignment(TextAlignment::Center);
  card->addSubview(label);

  const std::string path = artifact("window_card_label.png");
  std::filesystem::remove(path);
  ASSERT_TRUE(writePNG(*window, path, 2));
  ASSERT_TRUE(std::filesystem::exists(path));
  // Read the file back: what a person looks at is what is checked.
  Ref<Image> image = Image::withContentsOfFile(path);
  ASSERT_TRUE(image);
  const Bitmap& png = *image->bitmap();
  ASSERT_EQ(png.width(), 750u);
  ASSERT_EQ(png.height(), 1334u);
  const double s = 2;
  EXPECT_EQ(at(png, 60, 60, s), (Pixel{255, 0, 0, 255}));        // inside the red square
  EXPECT_EQ(at(png, 5, 5, s), (Pixel{0, 0, 255, 255}));          // window background
  EXPECT_EQ(at(png, 112, 60, s), (Pixel{0, 0, 255, 255}));       // just right of the square
  EXPECT_EQ(at(png, 60, 230, s), (Pixel{255, 255, 255, 255}));   // card body
  EXPECT_EQ(at(png, 41.5, 201.5, s), (Pixel{0, 0, 255, 255}));   // outside the rounded corner
  EXPECT_EQ(at(png, 187, 201, s), (Pixel{0, 255, 0, 255}));      // the border along the top
  // The label's ink lies in the middle of the card, dark.
  auto labelPicture = render(*label, s);
  InkBox ink = inkBox(*labelPicture, s);
  ASSERT_FALSE(ink.empty());
  const double inkMidX = 40 + 20 + (ink.minX + ink.maxX) / 2, inkMidY = 200 + 60 + (ink.minY + ink.maxY) / 2;
  const Pixel mid = at(png, inkMidX, inkMidY, s);
  int darkest = 255;
  for (double dx = -20; dx <= 20; dx += 0.5) {
    const Pixel p = at(png, inkMidX + dx, inkMidY, s);
    darkest = std::min<int>(darkest, p.r);
  }
  EXPECT_LT(darkest, 80) << "no dark text pixels on the card's middle line";
  (void)mid;
}

TEST_F(RenderTest, LabelSizeMatchesItsRenderedInk) {
  auto label = Label::make();
  label->setText("知道了");
  label->setFont(Font::systemFont(18));
  label->sizeToFit();
  const Size size = label->bounds().size;
  ASSERT_GT(size.width, 0);
  ASSERT_GT(size.height, 0);
  // Three full-width characters at 18 points.
  EXPECT_NEAR(size.width, 54, 1);

  const double s = 4;
  auto picture = render(*label, s);
  InkBox ink = inkBox(*picture, s);
  ASSERT_FALSE(ink.empty());
  // The drawn text lies inside the measured box (within a point) and is
  // centred on it: measurement and drawing use one layout.
  EXPECT_GE(ink.minX, -1);
  EXPECT_GE(ink.minY, -1);
  EXPECT_LE(ink.maxX, size.width + 1);
  EXPECT_LE(ink.maxY, size.height + 1);
  EXPECT_NEAR((ink.minX + ink.maxX) / 2, size.width / 2, 1);
  EXPECT_NEAR((ink.minY + ink.maxY) / 2, size.height / 2, 1);
  EXPECT_GT(ink.maxX - ink.minX, size.width - 4);
}

TEST_F(RenderTest, MeasurementWrapsAtTheWidthAndGrowsWithLines) {
  TextAttributes a;
  a.font = Font::systemFont(16);
  const Rect one = boundingRectWithSize("根据国家规定", {1e38, 20}, StringDrawingUsesLineFragmentOrigin, a);
  EXPECT_NEAR(one.size.width, 96, 1);
  const std::string longText = "根据国家规定，未成年玩家每日在线时间受限。您今天的游戏时间已经到达上限。";
  const Rect wrapped = boundingRectWithSize(longText, {250, 1e9}, StringDrawingUsesLineFragmentOrigin, a);
  EXPECT_LE(wrapped.size.width, 250);
  EXPECT_NEAR(wrapped.size.height / one.size.height, 3, 0.01) << "35 characters of 16 points in 250 points";
  // Without the line-fragment option the text stays on one line, measured
  // from its baseline.
  const Rect line = boundingRectWithSize(longText, {250, 1e9}, 0, a);
  EXPECT_GT(line.size.width, 500);
  EXPECT_LT(line.origin.y, 0);

  auto label = Label::make(Rect{0, 0, 250, 0});
  label->setFont(Font::systemFont(16));
  label->setText(longText);
  label->setNumberOfLines(2);
  const Size two = label->sizeThatFits({250, 0});
  EXPECT_NEAR(two.height, std::ceil(2 * one.size.height), 1);
  label->setNumberOfLines(0);
  EXPECT_NEAR(label->sizeThatFits({250, 0}).height, std::ceil(wrapped.size.height), 1);
}

TEST_F(RenderTest, TruncatedLabelDrawsWithinItsBounds) {
  auto host = View::make(Rect{0, 0, 100, 30});
  host->setBackgroundColor(Color::whiteColor());
  auto label = Label::make(Rect{0, 0, 60, 30});
  label->setText("这是一段很长很长的文字");
  host->addSubview(label);
  auto picture = render(*host, 2);
  InkBox ink = inkBox(*picture, 2, {255, 255, 255, 255});
  ASSERT_FALSE(ink.empty());
  EXPECT_LE(ink.maxX, 60.5);
}

TEST_F(RenderTest, ClippingAlphaTransformsAndHiddenViews) {
  auto root = View::make(Rect{0, 0, 200, 200});
  root->setBackgroundColor(Color::whiteColor());
  auto clip = View::make(Rect{0, 0, 50, 50});
  clip->setClipsToBounds(true);
  auto overflow = View::make(Rect{25, 25, 100, 100});
  overflow->setBackgroundColor(Color::redColor());
  clip->addSubview(overflow);
  root->addSubview(clip);
  auto half = View::make(Rect{100, 0, 50, 50});
  half->setBackgroundColor(Color::blackColor());
  half->setAlpha(0.5);
  root->addSubview(half);
  auto hidden = View::make(Rect{0, 100, 50, 50});
  hidden->setBackgroundColor(Color::redColor());
  hidden->setHidden(true);
  root->addSubview(hidden);
  auto moved = View::make(Rect{100, 100, 20, 20});
  moved->setBackgroundColor(Color::blueColor());
  moved->setTransform(AffineTransform::makeScale(2, 2));  // about its centre: 90..130
  root->addSubview(moved);

  auto p = render(*root, 1);
  EXPECT_EQ(at(*p, 40, 40, 1), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(*p, 60, 60, 1), (Pixel{255, 255, 255, 255})) << "drawn outside a clipping view";
  const Pixel grey = at(*p, 120, 20, 1);
  EXPECT_NEAR(grey.r, 128, 2);
  EXPECT_EQ(at(*p, 20, 120, 1), (Pixel{255, 255, 255, 255})) << "a hidden view was drawn";
  EXPECT_EQ(at(*p, 92, 92, 1), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(at(*p, 128, 128, 1), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(at(*p, 132, 132, 1), (Pixel{255, 255, 255, 255}));
}

TEST_F(RenderTest, ImageViewContentModes) {
  // A 2x1 picture: red on the left, green on the right.
  std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 255};
  PixelFormat format;
  format.bitsPerComponent = 8;
  format.bitsPerPixel = 32;
  format.colorSpace = ColorSpace::deviceRGB();
  format.bitmapInfo = makeBitmapInfo(AlphaInfo::Last);
  auto image = Image::withBitmap(Bitmap::create(2, 1, format, 0, rgba), 1);
  ASSERT_TRUE(image);
  auto view = ImageView::make(Rect{0, 0, 100, 101});
  view->setImage(image);
  view->setContentMode(ContentMode::ScaleAspectFit);
  auto fit = render(*view, 1);
  EXPECT_EQ(at(*fit, 10, 50, 1), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(*fit, 90, 50, 1), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(at(*fit, 50, 10, 1).a, 0) << "aspect fit leaves the top empty";
  view->setContentMode(ContentMode::ScaleAspectFill);
  auto fill = render(*view, 1);
  EXPECT_EQ(at(*fill, 50, 10, 1).a, 255);
  view->setContentMode(ContentMode::Center);
  auto centre = render(*view, 1);
  EXPECT_EQ(at(*centre, 49, 50, 1), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(*centre, 10, 50, 1).a, 0);
  EXPECT_EQ(view->intrinsicContentSize(), (Size{2, 1}));
}

TEST_F(RenderTest, ShapeLayerStrokeEndDrawsPartOfTheRing) {
  auto layer = Layer::make();
  layer->setBounds({0, 0, 100, 100});
  auto ring = ShapeLayer::make();
  ring->setFrame({0, 0, 100, 100});
  // A full turn from the top, clockwise on screen.
  ring->setPath(Path::withArc({50, 50}, 40, -M_PI / 2, 3 * M_PI / 2, true));
  ring->setFillColor(nullptr);
  ring->setStrokeColor(Color::redColor());
  ring->setLineWidth(6);
  ring->setStrokeEnd(0.3);
  layer->addSublayer(ring);
  auto p = renderLayer(*layer, 1);
  const Pixel top = at(*p, 50, 10, 1), bottom = at(*p, 50, 90, 1);
  const Pixel left = at(*p, 10, 50, 1), right = at(*p, 90, 50, 1);
  // A little more than a quarter, clockwise from the top.
  EXPECT_EQ(top.r, 255);
  EXPECT_EQ(right.r, 255);
  EXPECT_EQ(left.a, 0);
  EXPECT_EQ(bottom.a, 0);
  ring->setStrokeEnd(0);
  EXPECT_TRUE(inkBox(*renderLayer(*layer, 1), 1).empty());
}

TEST_F(RenderTest, ReplicatorDrawsRotatedCopiesAndGradientsBlend) {
  auto replicator = ReplicatorLayer::make();
  replicator->setFrame({0, 0, 100, 100});
  replicator->setInstanceCount(4);
  replicator->setInstanceTransform(Transform3D::makeRotation(M_PI / 2, 0, 0, 1));
  auto dot = Layer::make();
  dot->setFrame({45, 5, 10, 10});
  dot->setBackgroundColor(Color::redColor());
  replicator->addSublayer(dot);
  auto p = renderLayer(*replicator, 1);
  EXPECT_EQ(at(*p, 50, 10, 1).r, 255);
  EXPECT_EQ(at(*p, 90, 50, 1).r, 255);
  EXPECT_EQ(at(*p, 50, 90, 1).r, 255);
  EXPECT_EQ(at(*p, 10, 50, 1).r, 255);
  EXPECT_EQ(at(*p, 50, 50, 1).a, 0);

  auto gradient = GradientLayer::make();
  gradient->setFrame({0, 0, 10, 100});
  gradient->setColors({Color::blackColor(), Color::whiteColor()});
  auto g = renderLayer(*gradient, 1);
  EXPECT_LT(at(*g, 5, 2, 1).r, 20);
  EXPECT_NEAR(at(*g, 5, 50, 1).r, 128, 4);
  EXPECT_GT(at(*g, 5, 98, 1).r, 235);
}

TEST_F(RenderTest, CustomDrawRectIsDrawnAndCachedUntilSetNeedsDisplay) {
  struct Dot : View {
    using View::View;
    int draws = 0;
    Ref<Color> color = Color::redColor();
    void drawRect(const Rect&) override {
      ++draws;
      auto ctx = currentContext();
      ASSERT_TRUE(ctx);
      ctx->setFillColor(color);
      ctx->fillRect({0, 0, 10, 10});  // the top-left corner
    }
  };
  auto dot = kit::make<Dot>(Rect{0, 0, 40, 40});
  auto p = render(*dot, 1);
  EXPECT_EQ(at(*p, 5, 5, 1), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(*p, 20, 20, 1).a, 0);
  render(*dot, 1);
  EXPECT_EQ(dot->draws, 1);
  dot->color = Color::blueColor();
  dot->setNeedsDisplay();
  EXPECT_EQ(at(*render(*dot, 1), 5, 5, 1), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(dot->draws, 2);
}

}  // namespace
}  // namespace kit
