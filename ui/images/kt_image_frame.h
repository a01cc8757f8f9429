// KTImageFrame: one frame of a decoded image with its place on the canvas,
// its duration and how it is disposed of and blended; and the decoder's own
// frame record, which adds what compositing needs.
#pragma once

#include <cstddef>

#include "kit/foundation/object.h"
#include "kit/graphics/image.h"

// How the canvas is left after a frame is shown.
enum KTImageDisposeMethod : unsigned long {
  KTImageDisposeNone = 0,        // leave the canvas as it is
  KTImageDisposeBackground = 1,  // clear the frame's rectangle to transparent
  KTImageDisposePrevious = 2,    // restore the canvas to what it was before the frame
};

// How a frame meets the canvas below it.
enum KTImageBlendOperation : unsigned long {
  KTImageBlendNone = 0,  // the frame's pixels replace the canvas's in its rectangle
  KTImageBlendOver = 1,  // the frame is drawn over the canvas with alpha
};

class KTImageFrame : public kit::Object {
 public:
  // A frame holding only an image.
  static kit::Ref<KTImageFrame> frameWithImage(kit::Ref<kit::Image> image);
  static kit::Ref<KTImageFrame> make() { return kit::make<KTImageFrame>(); }

  size_t index() const { return index_; }
  void setIndex(size_t v) { index_ = v; }
  // Pixels.
  size_t width() const { return width_; }
  void setWidth(size_t v) { width_ = v; }
  size_t height() const { return height_; }
  void setHeight(size_t v) { height_ = v; }
  // Pixels from the canvas's lower-left corner.
  size_t offsetX() const { return offsetX_; }
  void setOffsetX(size_t v) { offsetX_ = v; }
  size_t offsetY() const { return offsetY_; }
  void setOffsetY(size_t v) { offsetY_ = v; }
  // Seconds.
  double duration() const { return duration_; }
  void setDuration(double v) { duration_ = v; }
  KTImageDisposeMethod dispose() const { return dispose_; }
  void setDispose(KTImageDisposeMethod v) { dispose_ = v; }
  KTImageBlendOperation blend() const { return blend_; }
  void setBlend(KTImageBlendOperation v) { blend_ = v; }
  const kit::Ref<kit::Image>& image() const { return image_; }
  void setImage(kit::Ref<kit::Image> v) { image_ = std::move(v); }

  // A frame with every field (the image is immutable and shared).
  kit::Id copy() const override;

 protected:
  void copyFieldsTo(KTImageFrame& other) const;

 private:
  size_t index_ = 0;
  size_t width_ = 0, height_ = 0;
  size_t offsetX_ = 0, offsetY_ = 0;
  double duration_ = 0;
  KTImageDisposeMethod dispose_ = KTImageDisposeNone;
  KTImageBlendOperation blend_ = KTImageBlendNone;
  kit::Ref<kit::Image> image_;
};

// The decoder's frame record. (The decoder hands out copies of it.)
class KTImageDecoderFrame : public KTImageFrame {
 public:
  static kit::Ref<KTImageDecoderFrame> make() { return kit::make<KTImageDecoderFrame>(); }

  bool hasAlpha() const { return hasAlpha_; }
  void setHasAlpha(bool v) { hasAlpha_ = v; }
  // The frame covers the whole canvas at offset 0,0.
  bool isFullSize() const { return isFullSize_; }
  void setIsFullSize(bool v) { isFullSize_ = v; }
  // The earliest frame from which the canvas must be rebuilt to show this one.
  size_t blendFromIndex() const { return blendFromIndex_; }
  void setBlendFromIndex(size_t v) { blendFromIndex_ = v; }

  kit::Id copy() const override;

 private:
  bool hasAlpha_ = false;
  bool isFullSize_ = false;
  size_t blendFromIndex_ = 0;
};
