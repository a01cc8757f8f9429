// Image views: the image shown, its frames, and drawing it.
#include "kit/ui/image_view.h"

#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/ui/canvas_drawing.h"

namespace kit {

ImageView::ImageView(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

Ref<ImageView> ImageView::withImage(Ref<Image> image) {
  const Size s = image ? image->size() : Size{};
  auto view = make(Rect{0, 0, s.width, s.height});
  view->setImage(std::move(image));
  return view;
}

void ImageView::setImage(Ref<Image> image) {
  image_ = std::move(image);
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void ImageView::setHighlightedImage(Ref<Image> image) {
  highlightedImage_ = std::move(image);
  setNeedsDisplay();
}

void ImageView::setHighlighted(bool v) {
  highlighted_ = v;
  setNeedsDisplay();
}

void ImageView::startAnimating() {
  if (animationImages_.empty()) return;
  animating_ = true;
  animationStart_ = Clock::now();
}

void ImageView::stopAnimating() { animating_ = false; }

bool ImageView::isAnimating() const {
  if (!animating_) return false;
  if (animationRepeatCount_ <= 0) return true;
  const double cycle = animationDuration_ > 0 ? animationDuration_ : animationImages_.size() / 30.0;
  return Clock::now() - animationStart_ < cycle * animationRepeatCount_;
}

namespace {
// The frame of a sequence due `elapsed` seconds into it.
Ref<Image> frameAt(const std::vector<Ref<Image>>& frames, double cycle, double elapsed) {
  if (frames.empty()) return nullptr;
  if (cycle <= 0) return frames.front();
  const double within = std::fmod(std::max(0.0, elapsed), cycle);
  size_t index = static_cast<size_t>(within / cycle * static_cast<double>(frames.size()));
  return frames[std::min(index, frames.size() - 1)];
}
}  // namespace

Ref<Image> ImageView::displayedImage() const {
  if (ImageView::isAnimating()) {
    const double cycle = animationDuration_ > 0 ? animationDuration_ : animationImages_.size() / 30.0;
    return frameAt(animationImages_, cycle, Clock::now() - animationStart_);
  }
  Ref<Image> image = highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
  if (image && image->images().size() > 1) return frameAt(image->images(), image->duration(), Clock::now());
  return image;
}

Size ImageView::sizeThatFits(Size) const { return image_ ? image_->size() : Size{}; }

Size ImageView::intrinsicContentSize() const {
  if (!image_) return {NoIntrinsicMetric, NoIntrinsicMetric};
  return image_->size();
}

bool ImageView::drawContent(Canvas& canvas) {
  Ref<Image> image = displayedImage();
  if (!image) return false;
  Ref<Bitmap> bitmap = image->uprightBitmap();
  if (!bitmap) return false;
  const Rect dest = rectForContentMode(contentMode(), image->size(), bounds());
  if (image->renderingMode() == ImageRenderingMode::AlwaysTemplate) drawTemplate(canvas, *bitmap, dest, *tintColor());
  else drawBitmap(canvas, *bitmap, dest);
  return true;
}

}  // namespace kit
