// Named images of the main bundle: the added extension, the preferred
// screen-scale variant, paths inside resource bundles, and names that do
// not resolve.
#include "kit/graphics/image_named.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "kit/foundation/bundle.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/temp_directory.h"

namespace {

void writeSquare(const std::string& path, double side, double scale) {
  kit::beginImageContext(kit::Size{side, side}, false, scale);
  kit::currentContext()->setFillColor(kit::Color::redColor());
  kit::currentContext()->fillRect(kit::Rect{0, 0, side, side});
  const std::vector<uint8_t> png = kit::imageFromCurrentImageContext()->pngData();
  kit::endImageContext();
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()),
                                             static_cast<std::streamsize>(png.size()));
}

TEST(ImageNamed, FindsBundleImagesByName) {
  kit::test::TempDirectory bundle("image-named");
  writeSquare(bundle.file("Res.bundle/back.png"), 20, 1);
  writeSquare(bundle.file("Res.bundle/back@2x.png"), 20, 2);
  writeSquare(bundle.file("plain.png"), 8, 1);
  writeSquare(bundle.file("outside.png"), 8, 1);
  kit::Bundle::setMainBundlePath(bundle.file("app"));
  std::filesystem::create_directories(bundle.file("app"));
  EXPECT_EQ(kit::imageNamed("../outside"), nullptr) << "names stay inside the bundle";
  kit::Bundle::setMainBundlePath(bundle.path());

  kit::setMainScreenScale(2);
  auto back = kit::imageNamed("Res.bundle/back");
  ASSERT_TRUE(back);
  EXPECT_DOUBLE_EQ(back->scale(), 2);
  EXPECT_EQ(back->size(), (kit::Size{20, 20}));
  auto plain = kit::imageNamed("plain.png");
  ASSERT_TRUE(plain);
  EXPECT_DOUBLE_EQ(plain->scale(), 1);
  EXPECT_EQ(kit::imageNamed("missing"), nullptr);
  EXPECT_EQ(kit::imageNamed(""), nullptr);
  EXPECT_EQ(kit::imageNamed(bundle.file("plain.png")), nullptr) << "absolute paths are not names";
  kit::Bundle::setMainBundlePath("");
}

}  // namespace
