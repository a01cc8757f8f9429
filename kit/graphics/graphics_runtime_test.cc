// The graphics classes in the kit runtime: registered under the platform's
// names, found by name, and readable by key where they declare properties.
#include <gtest/gtest.h>

#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/graphics/gradient.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/graphics/path.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {
namespace {

TEST(GraphicsRuntime, ClassesCarryThePlatformNames) {
  const std::pair<const char*, const Class*> expected[] = {
      {"UIImage", &Image::staticClass()},
      {"UIColor", &Color::staticClass()},
      {"CGImage", &Bitmap::staticClass()},
      {"CGColorSpace", &ColorSpace::staticClass()},
      {"CGGradient", &Gradient::staticClass()},
      {"CGContext", &GraphicsContext::staticClass()},
      {"CGPath", &Path::staticClass()},
      {"CGImageSource", &ImageSource::staticClass()},
      {"CGImageDestination", &ImageDestination::staticClass()},
  };
  for (const auto& [name, cls] : expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Class::named(name), cls);
    EXPECT_EQ(cls->name(), name);
    EXPECT_EQ(cls->superclass(), &Object::staticClass());
  }

  auto bitmap = test::patternBitmap(4, 2, false);
  auto image = Image::withBitmap(bitmap, 2.0);
  EXPECT_EQ(image->className(), "UIImage");
  EXPECT_EQ(bitmap->className(), "CGImage");
  EXPECT_EQ(Color::redColor()->className(), "UIColor");
  EXPECT_EQ(ColorSpace::deviceGray()->className(), "CGColorSpace");
  EXPECT_TRUE(Path::withRect(Rect(0, 0, 1, 1))->isKindOfClass(Object::staticClass()));
  auto source = ImageSource::create(test::encodeImages({bitmap}, UTType::PNG));
  EXPECT_TRUE(source->isMemberOfClass(*Class::named("CGImageSource")));
  EXPECT_EQ(describe(Id(source)).rfind("<CGImageSource", 0), 0u) << describe(Id(source));

  // Key-value reads of what UIImage declares.
  EXPECT_DOUBLE_EQ(as<Number>(image->valueForKey("scale"))->doubleValue(), 2.0);
  EXPECT_DOUBLE_EQ(as<Number>(image->valueForKey("duration"))->doubleValue(), 0.0);
  EXPECT_EQ(Image::staticClass().property("scale")->attributes, "Td,R,N,V_scale");
}

}  // namespace
}  // namespace kit
