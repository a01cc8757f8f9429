// refresh_artwork: draws the pull-to-refresh arrow of the resource bundle
// "VIROV.bundle/KTRefresh.bundle" with kit graphics and writes it as a PNG
// at scale 2. The arrow points down (the header shows it so while the list
// is pulled, and turns it when releasing would refresh); it is drawn in
// black on clear, as a template the views tint. The file is committed under
// resources/; run this again only to change it.
//
//   refresh_artwork <resources folder>     (writes <folder>/VIROV.bundle/KTRefresh.bundle/arrow@2x.png)

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "kit/graphics/color.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"

namespace {

// The arrow's box in points, its shaft and its head.
constexpr double W = 15, H = 40;
constexpr double Shaft = 3, HeadHeight = 9, HeadWidth = 15;

kit::Ref<kit::Image> arrow(double scale) {
  if (!kit::beginImageContext({W, H}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::blackColor());
  ctx.fillRect(kit::Rect{(W - Shaft) / 2, 1, Shaft, H - 1 - HeadHeight});
  ctx.beginPath();
  ctx.moveTo((W - HeadWidth) / 2, H - HeadHeight - 1);
  ctx.addLineTo((W + HeadWidth) / 2, H - HeadHeight - 1);
  ctx.addLineTo(W / 2, H);
  ctx.closePath();
  ctx.fillPath();
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: refresh_artwork <resources folder>\n");
    return 2;
  }
  const auto path = std::filesystem::path(argv[1]) / "VIROV.bundle" / "KTRefresh.bundle" / "arrow@2x.png";
  kit::Ref<kit::Image> image = arrow(2);
  if (!image) {
    std::fprintf(stderr, "refresh_artwork: nothing drawn\n");
    return 1;
  }
  const std::vector<uint8_t> bytes = image->pngData();
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "refresh_artwork: cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%6zu bytes  %s\n", bytes.size(), path.c_str());
  return 0;
}
