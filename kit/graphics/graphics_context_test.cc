// Bitmap contexts: layouts, the lower-left origin, paths, clipping, blend
// modes and gradients, checked on the pixels.
#include <gtest/gtest.h>

#include <numbers>

#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"

namespace kit {
namespace {

Ref<GraphicsContext> argbContext(size_t w, size_t h) {
  return GraphicsContext::createBitmap(w, h, 8, 0, ColorSpace::deviceRGB(),
                                       makeBitmapInfo(AlphaInfo::PremultipliedFirst, ByteOrder32Little));
}

// Pixel at (x, y) counted from the top-left, as stored.
Pixel at(GraphicsContext& c, size_t x, size_t y) { return c.makeImage()->pixelAt(x, y); }

TEST(GraphicsContext, AcceptsThePlatformLayoutsAndRefusesOthers) {
  auto rgb = ColorSpace::deviceRGB();
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 8, 0, rgb, makeBitmapInfo(AlphaInfo::PremultipliedLast)));
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 8, 0, rgb, makeBitmapInfo(AlphaInfo::NoneSkipFirst)));
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 8, 0, rgb,
                                            makeBitmapInfo(AlphaInfo::PremultipliedFirst, ByteOrder32Big)));
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 8, 0, ColorSpace::deviceGray(), makeBitmapInfo(AlphaInfo::None)));
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 8, 0, nullptr, makeBitmapInfo(AlphaInfo::Only)));
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 8, 0, ColorSpace::deviceCMYK(), makeBitmapInfo(AlphaInfo::None)));
  EXPECT_TRUE(GraphicsContext::createBitmap(4, 4, 16, 0, rgb, makeBitmapInfo(AlphaInfo::PremultipliedLast)));
  // Refused: non-premultiplied alpha, RGB without alpha or skip, odd sizes.
  EXPECT_FALSE(GraphicsContext::createBitmap(4, 4, 8, 0, rgb, makeBitmapInfo(AlphaInfo::Last)));
  EXPECT_FALSE(GraphicsContext::createBitmap(4, 4, 8, 0, rgb, makeBitmapInfo(AlphaInfo::First)));
  EXPECT_FALSE(GraphicsContext::createBitmap(4, 4, 8, 0, rgb, makeBitmapInfo(AlphaInfo::None)));
  EXPECT_FALSE(GraphicsContext::createBitmap(4, 4, 5, 0, rgb, makeBitmapInfo(AlphaInfo::NoneSkipFirst)));
  EXPECT_FALSE(GraphicsContext::createBitmap(0, 4, 8, 0, rgb, makeBitmapInfo(AlphaInfo::PremultipliedLast)));
  EXPECT_FALSE(GraphicsContext::createBitmap(4, 4, 8, 8, rgb, makeBitmapInfo(AlphaInfo::PremultipliedLast)));
  EXPECT_FALSE(GraphicsContext::createBitmap(100000, 100000, 8, 0, rgb, makeBitmapInfo(AlphaInfo::PremultipliedLast)));
}

TEST(GraphicsContext, ConvertsToTheRequestedByteLayout) {
  auto c = GraphicsContext::createBitmap(2, 1, 8, 8, ColorSpace::deviceRGB(), makeBitmapInfo(AlphaInfo::PremultipliedLast));
  c->setFillColor(Color::rgba(1, 0, 0, 0.5));
  c->fillRect(Rect(0, 0, 1, 1));
  auto bytes = c->data();
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_NEAR(bytes[0], 128, 1);  // R premultiplied
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_NEAR(bytes[3], 128, 1);  // A last
  EXPECT_EQ(bytes[7], 0);         // second pixel untouched

  auto big = GraphicsContext::createBitmap(1, 1, 8, 0, ColorSpace::deviceRGB(),
                                           makeBitmapInfo(AlphaInfo::PremultipliedFirst, ByteOrder32Big));
  big->setFillColor(Color::rgba(0, 0, 1, 1));
  big->fillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(big->data()[0], 255);  // A first in memory
  EXPECT_EQ(big->data()[3], 255);  // B last

  auto gray = GraphicsContext::createBitmap(1, 1, 8, 0, ColorSpace::deviceGray(), makeBitmapInfo(AlphaInfo::None));
  gray->setFillColor(Color::white(1));
  gray->fillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(gray->data()[0], 255);
  EXPECT_EQ(gray->makeImage()->bitsPerPixel(), 8u);

  auto mask = GraphicsContext::createBitmap(1, 1, 8, 0, nullptr, makeBitmapInfo(AlphaInfo::Only));
  mask->setFillColor(Color::rgba(0.2, 0.4, 0.6, 0.5));
  mask->fillRect(Rect(0, 0, 1, 1));
  EXPECT_NEAR(mask->data()[0], 128, 1);
}

TEST(GraphicsContext, OriginIsLowerLeftAndCTMComposes) {
  auto c = argbContext(10, 10);
  c->setFillColor(Color::redColor());
  c->fillRect(Rect(0, 0, 10, 2));  // the bottom two rows
  EXPECT_EQ(at(*c, 5, 9), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(*c, 5, 0).a, 0);

  c->saveGState();
  c->translateCTM(5, 5);
  c->scaleCTM(2, 2);
  EXPECT_EQ(c->ctm(), (AffineTransform{2, 0, 0, 2, 5, 5}));
  c->setFillColor(Color::blueColor());
  c->fillRect(Rect(0, 0, 1, 1));  // pixels x 5-6, y 5-6 from the bottom
  c->restoreGState();
  EXPECT_TRUE(c->ctm().isIdentity());
  EXPECT_EQ(at(*c, 6, 3), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(at(*c, 7, 3).a, 0);
  // State restored: fill is red again.
  c->fillRect(Rect(9, 9, 1, 1));
  EXPECT_EQ(at(*c, 9, 0), (Pixel{255, 0, 0, 255}));
}

TEST(GraphicsContext, RoundedRectWithOnlyTheTopLeftCorner) {
  // Drawn in an image context, whose space runs top-down like a view's.
  ASSERT_TRUE(beginImageContext(Size(40, 40), false, 1));
  auto c = currentContext();
  c->setFillColor(Color::greenColor());
  c->addPath(*Path::withRoundedRect(Rect(0, 0, 40, 40), RectCornerTopLeft, Size(16, 16)));
  c->fillPath();
  auto image = imageFromCurrentImageContext();
  endImageContext();
  ASSERT_TRUE(image);
  const Bitmap& b = *image->bitmap();
  EXPECT_EQ(b.pixelAt(1, 1).a, 0);             // inside the rounded-off top-left corner
  EXPECT_EQ(b.pixelAt(38, 1).a, 255);          // other corners stay square
  EXPECT_EQ(b.pixelAt(1, 38).a, 255);
  EXPECT_EQ(b.pixelAt(38, 38).a, 255);
  EXPECT_EQ(b.pixelAt(20, 20), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(b.pixelAt(8, 8).a, 255);           // inside the arc
  EXPECT_EQ(currentContext(), nullptr);
}

TEST(GraphicsContext, EvenOddFillStrokeAndClip) {
  auto c = argbContext(30, 30);
  c->setFillColor(Color::blackColor());
  c->addRect(Rect(0, 0, 30, 30));
  c->addRect(Rect(10, 10, 10, 10));
  c->eoFillPath();
  EXPECT_EQ(at(*c, 15, 15).a, 0);  // the hole
  EXPECT_EQ(at(*c, 2, 2).a, 255);

  auto s = argbContext(20, 20);
  s->setStrokeColor(Color::redColor());
  s->setLineWidth(2);
  s->strokeRect(Rect(5, 5, 10, 10));
  EXPECT_EQ(at(*s, 5, 10).r, 255);   // on the left edge
  EXPECT_EQ(at(*s, 10, 10).a, 0);    // inside untouched

  auto k = argbContext(20, 20);
  k->clipToRect(Rect(0, 0, 10, 20));
  k->setFillColor(Color::blueColor());
  k->fillRect(Rect(0, 0, 20, 20));
  EXPECT_EQ(at(*k, 5, 5).b, 255);
  EXPECT_EQ(at(*k, 15, 5).a, 0);
  EXPECT_EQ(k->clipBoundingBox(), Rect(0, 0, 10, 20));
}

TEST(GraphicsContext, BlendModesCopyClearAndDestinationIn) {
  auto c = argbContext(4, 1);
  c->setFillColor(Color::redColor());
  c->fillRect(Rect(0, 0, 4, 1));
  c->setBlendMode(BlendMode::Copy);
  c->setFillColor(Color::rgba(0, 0, 1, 0.5));
  c->fillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(at(*c, 0, 0).a, 128);  // replaced, not blended
  EXPECT_EQ(at(*c, 0, 0).r, 0);
  c->clearRect(Rect(1, 0, 1, 1));
  EXPECT_EQ(at(*c, 1, 0).a, 0);

  // Destination-in keeps the destination only where the source is opaque,
  // and (as on the platform) leaves pixels outside the shape alone.
  c->setBlendMode(BlendMode::DestinationIn);
  c->setFillColor(Color::blackColor());
  c->fillRect(Rect(2, 0, 1, 1));
  EXPECT_EQ(at(*c, 2, 0), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(*c, 3, 0), (Pixel{255, 0, 0, 255}));
  c->setFillColor(Color::clearColor());
  c->fillRect(Rect(2, 0, 1, 1));
  EXPECT_EQ(at(*c, 2, 0).a, 0);
  EXPECT_EQ(at(*c, 3, 0).a, 255);
}

TEST(GraphicsContext, RadialGradientReachesItsEndColourAtTheRadius) {
  auto c = argbContext(300, 500);
  auto gradient = Gradient::withComponents(ColorSpace::deviceRGB(), {0, 0, 0, 0, 0, 0, 0, 0.75}, {0, 1});
  ASSERT_TRUE(gradient);
  c->drawRadialGradient(*gradient, Point(150, 250), 0, Point(150, 250), 300, GradientDrawsAfterEndLocation);
  EXPECT_EQ(at(*c, 150, 250).a, 0);
  EXPECT_NEAR(at(*c, 150, 0).a, 191 * 250 / 300, 3);  // 250 from the centre
  // Beyond the radius: the end colour (corner is ~291 away; check past 300 via a bigger reach).
  auto wide = argbContext(400, 10);
  wide->drawRadialGradient(*gradient, Point(0, 5), 0, Point(0, 5), 300, GradientDrawsAfterEndLocation);
  EXPECT_NEAR(at(*wide, 350, 5).a, 191, 1);
  EXPECT_NEAR(at(*wide, 150, 5).a, 96, 3);

  auto none = argbContext(400, 10);
  none->drawRadialGradient(*gradient, Point(0, 5), 0, Point(0, 5), 300, 0);
  EXPECT_EQ(at(*none, 350, 5).a, 0);

  auto linear = argbContext(100, 1);
  auto redBlue = Gradient::create(ColorSpace::deviceRGB(), {Color::redColor(), Color::blueColor()});
  linear->drawLinearGradient(*redBlue, Point(25, 0), Point(75, 0), GradientDrawsAfterEndLocation);
  EXPECT_EQ(at(*linear, 10, 0).a, 0);  // before the start: not drawn
  EXPECT_EQ(at(*linear, 90, 0), (Pixel{0, 0, 255, 255}));
  EXPECT_NEAR(at(*linear, 50, 0).r, 127, 4);
}

TEST(GraphicsContext, DrawImageUprightAndClipToMask) {
  // A 1x2 bitmap: red on top, blue below.
  std::vector<uint8_t> px = {255, 0, 0, 255, 0, 0, 255, 255};
  auto bitmap = Bitmap::create(1, 2, PixelFormat::rgba8(), 0, px);
  ASSERT_TRUE(bitmap);
  auto c = argbContext(2, 4);
  c->drawImage(Rect(0, 0, 2, 4), *bitmap);
  EXPECT_EQ(at(*c, 0, 0), (Pixel{255, 0, 0, 255}));  // top stays on top
  EXPECT_EQ(at(*c, 1, 3), (Pixel{0, 0, 255, 255}));

  // Mask: white top half paints, black bottom half hides.
  std::vector<uint8_t> maskBytes = {255, 0};
  auto mask = Bitmap::create(1, 2, PixelFormat::gray8(), 0, maskBytes);
  auto m = argbContext(2, 4);
  m->clipToMask(Rect(0, 0, 2, 4), *mask);
  m->setFillColor(Color::greenColor());
  m->fillRect(Rect(0, 0, 2, 4));
  EXPECT_EQ(at(*m, 0, 0).g, 255);
  EXPECT_EQ(at(*m, 0, 3).a, 0);
}

TEST(GraphicsContext, ArcsFollowThePlatformDirection) {
  // A y-up quarter arc from 0 to pi/2, counter-clockwise, closed to the centre.
  auto c = argbContext(20, 20);
  c->moveTo(10, 10);
  c->addArc(10, 10, 9, 0, std::numbers::pi / 2, false);
  c->closePath();
  c->fillPath();
  EXPECT_EQ(at(*c, 14, 5).a, 255);   // upper right quadrant (y-up: +x, +y)
  EXPECT_EQ(at(*c, 5, 14).a, 0);
  auto cw = argbContext(20, 20);
  cw->moveTo(10, 10);
  cw->addArc(10, 10, 9, 0, std::numbers::pi / 2, true);  // the other three quarters
  cw->closePath();
  cw->fillPath();
  EXPECT_EQ(at(*cw, 14, 5).a, 0);
  EXPECT_EQ(at(*cw, 5, 14).a, 255);
  auto path = Path::withArc(Point(10, 10), 5, 0, std::numbers::pi, true);
  // In a top-down view, clockwise from 0 to pi passes through +y.
  EXPECT_GT(path->boundingBox().maxY(), 14.9);
  EXPECT_GT(path->boundingBox().minY(), 9.9);
}

}  // namespace
}  // namespace kit
