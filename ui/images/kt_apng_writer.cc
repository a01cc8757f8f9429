// Animated PNG writing: every image encoded alone as an 8-bit RGBA PNG, then
// frame 0's chunks with the animation control and frame 0's frame control
// before its image data, and every later image's frame control and image
// data (as "fdAT") after it. See kt_apng.h.
#include "ui/images/kt_apng.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/type_identifiers.h"
#include "ui/images/kt_apng_bytes.h"
#include "ui/images/kt_image_utilities.h"

namespace {

using namespace ktapng;

// The image as a PNG of 8-bit straight RGBA, whatever its own layout, so
// that every frame shares one "IHDR" layout.
std::vector<uint8_t> encodeRGBA(const kit::Bitmap& image) {
  auto rgba = kit::codec::fromRGBA(image.width(), image.height(), kit::codec::straightRGBA(image), true);
  if (!rgba) return {};
  auto destination = kit::ImageDestination::create(kit::UTType::PNG, 1);
  if (!destination) return {};
  kit::EncodeOptions options;
  options.quality = 1.0;
  destination->addImage(rgba, options);
  if (!destination->finalize()) return {};
  return destination->data();
}

// Frame 0 on a canvas of its own when it is smaller: drawn with its top-left
// corner at the canvas's top-left.
kit::Ref<kit::Bitmap> onCanvas(const kit::Ref<kit::Bitmap>& image, size_t width, size_t height) {
  if (image->width() == width && image->height() == height) return image;
  auto context = kit::GraphicsContext::createBitmap(width, height, 8, 0, KTDeviceRGBColorSpace(),
                                                    KTStandardBitmapInfo(true));
  if (!context) return nullptr;
  const double w = static_cast<double>(image->width()), h = static_cast<double>(image->height());
  context->drawImage(kit::Rect(0, static_cast<double>(height) - h, w, h), *image);
  return context->makeImage();
}

void putFrameControl(std::vector<uint8_t>& out, uint32_t sequence, uint32_t width, uint32_t height, double seconds) {
  uint16_t numerator = 0, denominator = 0;
  KTAPNGDelayFraction(seconds, numerator, denominator);
  std::vector<uint8_t> data;
  putBE32(data, sequence);
  putBE32(data, width);
  putBE32(data, height);
  putBE32(data, 0);  // x offset
  putBE32(data, 0);  // y offset
  putBE16(data, numerator);
  putBE16(data, denominator);
  data.push_back(1);  // dispose to the background
  data.push_back(0);  // blend as source
  putChunk(out, kfcTL, data.data(), static_cast<uint32_t>(data.size()));
}

bool sameLayout(const KTAPNGInfo& a, const KTAPNGInfo& b) {
  return a.bitDepth == b.bitDepth && a.colorType == b.colorType && a.interlaceMethod == b.interlaceMethod;
}

}  // namespace

void KTAPNGDelayFraction(double seconds, uint16_t& numerator, uint16_t& denominator) {
  constexpr double kMax = 255;
  if (!(seconds < kMax)) {  // NaN too
    numerator = 255;
    denominator = 1;
    return;
  }
  if (seconds <= 1.0 / kMax) {
    numerator = 1;
    denominator = 255;
    return;
  }
  // Continued-fraction convergents h/k of the delay.
  double whole = std::floor(seconds);
  double remainder = seconds - whole;
  uint64_t h = static_cast<uint64_t>(whole), k = 1, hPrevious = 1, kPrevious = 0;
  for (int terms = 0; terms < 7 && remainder >= 1.0 / 510; ++terms) {
    const double reciprocal = 1.0 / remainder;
    const double term = std::floor(reciprocal);
    remainder = reciprocal - term;
    if (term > kMax) break;
    const uint64_t a = static_cast<uint64_t>(term);
    const uint64_t hNext = a * h + hPrevious, kNext = a * k + kPrevious;
    if (hNext > 255 || kNext > 255) break;
    hPrevious = h;
    kPrevious = k;
    h = hNext;
    k = kNext;
  }
  if (h == 0 || k == 0) {
    numerator = 1;
    denominator = 100;
    return;
  }
  numerator = static_cast<uint16_t>(h);
  denominator = static_cast<uint16_t>(k);
}

kit::Ref<kit::Data> KTAPNGWrite(const std::vector<kit::Ref<kit::Bitmap>>& images, const std::vector<double>& durations,
                                uint32_t loopCount) {
  if (images.empty() || images.size() > 0x7FFFFFFF) return nullptr;
  size_t canvasWidth = 0, canvasHeight = 0;
  for (const auto& image : images) {
    if (!image || image->width() == 0 || image->height() == 0) return nullptr;
    canvasWidth = std::max(canvasWidth, image->width());
    canvasHeight = std::max(canvasHeight, image->height());
  }
  auto duration = [&](size_t i) { return i < durations.size() ? std::max(0.0, durations[i]) : 0.0; };

  std::vector<std::vector<uint8_t>> pngs;
  std::vector<std::unique_ptr<KTAPNGInfo>> infos;
  for (size_t i = 0; i < images.size(); ++i) {
    auto image = i == 0 ? onCanvas(images[0], canvasWidth, canvasHeight) : images[i];
    if (!image) return nullptr;
    std::vector<uint8_t> png = encodeRGBA(*image);
    if (png.empty()) return nullptr;
    auto info = KTAPNGReadChunks(png);
    if (!info) return nullptr;
    // Later images keep only their image data: their layout must be frame 0's.
    if (i > 0 && !sameLayout(*infos[0], *info)) return nullptr;
    pngs.push_back(std::move(png));
    infos.push_back(std::move(info));
  }

  const KTAPNGInfo& first = *infos[0];
  const std::vector<uint8_t>& firstPNG = pngs[0];
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  uint32_t sequence = 0;
  auto writeLaterFrames = [&] {
    for (size_t i = 1; i < images.size(); ++i) {
      const KTAPNGInfo& info = *infos[i];
      putFrameControl(out, sequence++, info.width, info.height, duration(i));
      for (const KTAPNGChunk& chunk : info.chunks) {
        if (chunk.type != kIDAT) continue;
        std::vector<uint8_t> data;
        putBE32(data, sequence++);
        const uint8_t* payload = pngs[i].data() + chunk.offset + 8;
        data.insert(data.end(), payload, payload + chunk.length);
        putChunk(out, kfdAT, data.data(), static_cast<uint32_t>(data.size()));
      }
    }
  };
  bool idatSeen = false, laterWritten = false;
  for (const KTAPNGChunk& chunk : first.chunks) {
    if (chunk.type == kIDAT && !idatSeen) {
      idatSeen = true;
      std::vector<uint8_t> control;
      putBE32(control, static_cast<uint32_t>(images.size()));
      putBE32(control, loopCount);
      putChunk(out, kacTL, control.data(), 8);
      putFrameControl(out, sequence++, static_cast<uint32_t>(canvasWidth), static_cast<uint32_t>(canvasHeight),
                      duration(0));
    } else if (chunk.type != kIDAT && idatSeen && !laterWritten) {
      writeLaterFrames();
      laterWritten = true;
    }
    const uint8_t* start = firstPNG.data() + chunk.offset;
    out.insert(out.end(), start, start + chunk.length + 12);
  }
  if (!idatSeen || !laterWritten) return nullptr;
  return kit::Data::make(std::move(out));
}
