// Map annotation views take their image's size around their centre and draw
// the image.
#include "kit/ui/map_annotation_view.h"

#include <gtest/gtest.h>

#include "kit/graphics/bitmap.h"
#include "kit/ui/render.h"

namespace kit {
namespace {

TEST(MapAnnotationView, TakesItsImageSizeAroundItsCentreAndDrawsIt) {
  std::vector<uint8_t> red(8 * 4 * 4);
  for (size_t i = 0; i < red.size(); i += 4) red[i] = red[i + 3] = 255;
  auto image = Image::withBitmap(Bitmap::create(8, 4, PixelFormat::rgba8(), 0, std::move(red)), 1);
  auto view = MapAnnotationView::make(Rect{10, 10, 20, 20});
  view->setImage(image);
  EXPECT_EQ(view->bounds().size.width, 8);
  EXPECT_EQ(view->bounds().size.height, 4);
  EXPECT_EQ(view->center().x, 20);
  EXPECT_EQ(view->center().y, 20);
  EXPECT_FALSE(view->isHighlighted());
  view->setHighlighted(true);
  EXPECT_TRUE(view->isHighlighted());

  auto picture = render(*view, 1);
  ASSERT_TRUE(picture);
  auto pixel = picture->pixelAt(4, 2);
  EXPECT_EQ(pixel.r, 255);
  EXPECT_EQ(pixel.a, 255);

  view->setImage(nullptr);
  EXPECT_EQ(view->bounds().size.width, 0);
}

}  // namespace
}  // namespace kit
