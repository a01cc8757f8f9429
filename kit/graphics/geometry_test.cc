// Geometry, transforms and colours.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kit/graphics/affine_transform.h"
#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"

namespace kit {
namespace {

TEST(Geometry, RectRulesForNegativeNullAndEmpty) {
  const Rect negative(10, 10, -4, -6);
  EXPECT_EQ(negative.standardized(), Rect(6, 4, 4, 6));
  EXPECT_EQ(negative.minX(), 6);
  EXPECT_EQ(negative.maxY(), 10);

  EXPECT_TRUE(Rect(0, 0, 5, 5).intersection(Rect(6, 6, 2, 2)).isNull());
  EXPECT_EQ(Rect(0, 0, 10, 10).intersection(Rect(5, -5, 10, 10)), Rect(5, 0, 5, 5));
  EXPECT_FALSE(Rect(0, 0, 10, 10).intersects(Rect(10, 0, 5, 5)));  // touching only
  EXPECT_TRUE(Rect(0, 0, 10, 10).intersects(Rect(9, 0, 5, 5)));

  EXPECT_EQ(Rect::null().unionWith(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
  EXPECT_EQ(Rect(0, 0, 1, 1).unionWith(Rect(5, 5, 1, 1)), Rect(0, 0, 6, 6));
  EXPECT_TRUE(Rect::null().isEmpty());
  EXPECT_TRUE(Rect(3, 3, 0, 4).isEmpty());
  EXPECT_FALSE(Rect(3, 3, 0, 4).isNull());

  EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(2, 3), Rect(2, 3, 6, 4));
  EXPECT_TRUE(Rect(0, 0, 10, 10).insetBy(6, 0).isNull());
  EXPECT_EQ(Rect(0.5, 1.2, 2.2, 3.3).integral(), Rect(0, 1, 3, 4));
  EXPECT_TRUE(Rect::null().integral().isNull());
  EXPECT_TRUE(Rect(0, 0, 10, 10).contains(Point(0, 0)));
  EXPECT_FALSE(Rect(0, 0, 10, 10).contains(Point(10, 5)));

  EXPECT_EQ(insetRect(Rect(0, 0, 100, 50), EdgeInsets{1, 2, 3, 4}), Rect(2, 1, 94, 46));
  EXPECT_EQ(toString(Rect(0, 0, 10, 20.5)), "{{0, 0}, {10, 20.5}}");
}

TEST(Geometry, TransformsComposeInThePlatformOrder) {
  const AffineTransform t = AffineTransform::identity().translated(10, 0).scaled(2, 2);
  // Scale first, then translate.
  EXPECT_EQ(t.apply(Point(1, 1)), Point(12, 2));
  const AffineTransform r = AffineTransform::makeRotation(std::numbers::pi / 2);
  const Point p = r.apply(Point(1, 0));
  EXPECT_NEAR(p.x, 0, 1e-12);
  EXPECT_NEAR(p.y, 1, 1e-12);

  const AffineTransform m = AffineTransform::makeScale(2, 4).concat(AffineTransform::makeTranslation(5, 6));
  const AffineTransform inv = m.inverted();
  const Point back = inv.apply(m.apply(Point(3, 7)));
  EXPECT_NEAR(back.x, 3, 1e-12);
  EXPECT_NEAR(back.y, 7, 1e-12);
  const AffineTransform singular = AffineTransform::makeScale(0, 1);
  EXPECT_EQ(singular.inverted(), singular);

  const Rect box = r.apply(Rect(0, 0, 10, 20));
  EXPECT_NEAR(box.minX(), -20, 1e-9);
  EXPECT_NEAR(box.width(), 20, 1e-9);
  EXPECT_NEAR(box.height(), 10, 1e-9);
  EXPECT_TRUE(t.apply(Rect::null()).isNull());
}

TEST(Color, ComponentsConversionsAndEquality) {
  double r, g, b, a, w;
  auto gray = Color::white(0.25, 0.5);
  EXPECT_EQ(gray->numberOfComponents(), 2u);
  EXPECT_TRUE(gray->getRed(&r, &g, &b, &a));
  EXPECT_EQ(r, 0.25);
  EXPECT_EQ(a, 0.5);
  EXPECT_TRUE(gray->getWhite(&w, &a));
  EXPECT_FALSE(Color::redColor()->getWhite(&w, &a));

  EXPECT_TRUE(Color::rgba(1, 0, 0, 1)->isEqual(*Color::redColor()));
  EXPECT_FALSE(Color::white(1)->isEqual(*Color::rgba(1, 1, 1, 1)));  // different spaces
  EXPECT_EQ(Color::rgba(1, 0, 0)->hash(), Color::redColor()->hash());
  EXPECT_EQ(Color::clearColor()->alpha(), 0);
  EXPECT_EQ(Color::redColor()->withAlpha(0.3)->alpha(), 0.3);

  auto cmyk = Color::cmyk(0, 1, 1, 0);
  EXPECT_EQ(cmyk->colorSpace()->model(), ColorSpace::Model::CMYK);
  EXPECT_EQ(cmyk->rgbaComponents(), (RGBA{1, 0, 0, 1}));
  EXPECT_FALSE(cmyk->getRed(&r, &g, &b, &a));
  EXPECT_EQ(Color::hex(0x336699)->rgbaComponents().green, 0x66 / 255.0);
  EXPECT_EQ(Color::withComponents(ColorSpace::deviceRGB(), {1, 2}), nullptr);
  EXPECT_EQ(ColorSpace::deviceRGB(), ColorSpace::deviceRGB());
}

}  // namespace
}  // namespace kit
