// The store's served pictures. See store_pictures.h.

#include "sim/store_pictures.h"

#include <functional>
#include <iterator>

#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/pixel_format.h"

namespace sim {

namespace {

struct Rgb {
  uint8_t r, g, b;
};

constexpr Rgb kPalette[] = {{231, 76, 60}, {241, 196, 15}, {46, 204, 113}, {52, 152, 219}, {155, 89, 182}};

kit::Ref<kit::Bitmap> paint(int width, int height, const std::function<Rgb(int x, int y)>& colourAt) {
  std::vector<uint8_t> pixels;
  pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgb c = colourAt(x, y);
      pixels.insert(pixels.end(), {c.r, c.g, c.b, 255});
    }
  }
  return kit::Bitmap::create(static_cast<size_t>(width), static_cast<size_t>(height), kit::PixelFormat::rgba8(), 0,
                             std::move(pixels));
}

}  // namespace

std::vector<uint8_t> itemIconPNG(int index, int side) {
  const Rgb base = kPalette[static_cast<size_t>(index < 0 ? -index : index) % std::size(kPalette)];
  const Rgb light{static_cast<uint8_t>((base.r + 255) / 2), static_cast<uint8_t>((base.g + 255) / 2),
                  static_cast<uint8_t>((base.b + 255) / 2)};
  const int inset = side / 4;
  auto bitmap = paint(side, side, [&](int x, int y) {
    const bool inner = x >= inset && y >= inset && x < side - inset && y < side - inset;
    return inner ? light : base;
  });
  std::vector<uint8_t> out;
  std::string error;
  if (!kit::writePNG(*bitmap, out, error)) return {};
  return out;
}

std::vector<uint8_t> advertisingGIF() {
  constexpr int kWidth = 252, kHeight = 128;
  std::vector<kit::EncodeFrame> frames;
  for (int frame = 0; frame < 3; ++frame) {
    const int bandX = 30 + frame * 80;
    kit::EncodeFrame encoded;
    encoded.bitmap = paint(kWidth, kHeight, [&](int x, int y) {
      if (x >= bandX && x < bandX + 40) return Rgb{255, 211, 77};
      const uint8_t shade = static_cast<uint8_t>(120 + y / 2);
      return Rgb{shade, 40, 60};
    });
    encoded.options.gifDelayTime = 0.3;
    frames.push_back(encoded);
  }
  std::vector<uint8_t> out;
  std::string error;
  if (!kit::writeGIF(frames, 0, out, error)) return {};
  return out;
}

}  // namespace sim
