// Per-thread context stacks and image contexts.
#include "kit/graphics/image_context.h"

#include <atomic>
#include <cmath>
#include <vector>

#include "kit/graphics/image.h"

namespace kit {

namespace {
std::atomic<double> screenScale{2.0};

struct Entry {
  Ref<GraphicsContext> context;
  double scale = 0;  // 0 for a pushed context that is not an image context
};

std::vector<Entry>& stack() {
  thread_local std::vector<Entry> entries;
  return entries;
}
}  // namespace

double mainScreenScale() { return screenScale.load(); }
void setMainScreenScale(double scale) {
  if (scale > 0) screenScale.store(scale);
}

Ref<GraphicsContext> currentContext() {
  auto& s = stack();
  return s.empty() ? nullptr : s.back().context;
}

void pushContext(Ref<GraphicsContext> context) {
  if (context) stack().push_back({std::move(context), 0});
}

void popContext() {
  auto& s = stack();
  if (!s.empty()) s.pop_back();
}

bool beginImageContext(Size size, bool opaque, double scale) {
  if (scale <= 0) scale = mainScreenScale();
  if (!(size.width > 0) || !(size.height > 0)) return false;
  const double w = std::ceil(size.width * scale), h = std::ceil(size.height * scale);
  if (w > 32767 || h > 32767) return false;
  auto context = GraphicsContext::createBitmap(
      static_cast<size_t>(w), static_cast<size_t>(h), 8, 0, ColorSpace::deviceRGB(),
      makeBitmapInfo(opaque ? AlphaInfo::NoneSkipFirst : AlphaInfo::PremultipliedFirst, ByteOrder32Little));
  if (!context) return false;
  // Points, top-left origin, y downwards.
  context->translateCTM(0, h);
  context->scaleCTM(scale, -scale);
  stack().push_back({std::move(context), scale});
  return true;
}

Ref<Image> imageFromCurrentImageContext() {
  auto& s = stack();
  if (s.empty() || s.back().scale == 0) return nullptr;
  return Image::withBitmap(s.back().context->makeImage(), s.back().scale, ImageOrientation::Up);
}

void endImageContext() {
  auto& s = stack();
  if (!s.empty() && s.back().scale != 0) s.pop_back();
}

}  // namespace kit
