// KTSpriteSheetImage: an animation whose frames are rectangles cut from one
// sheet image; every frame is the sheet itself, shown through a layer's
// contents rectangle.
#pragma once

#include <vector>

#include "ui/images/kt_image.h"

class KTSpriteSheetImage : public kit::Image, public KTAnimatedImage {
 public:
  // Nil when the sheet has no bitmap, either list is empty, or the lists
  // differ in length. Rectangles are in the sheet's points.
  static kit::Ref<KTSpriteSheetImage> make(const kit::Ref<kit::Image>& sheet, std::vector<kit::Rect> contentRects,
                                           std::vector<double> frameDurations, size_t loopCount);

  const std::vector<kit::Rect>& contentRects() const { return contentRects_; }
  const std::vector<double>& frameDurations() const { return frameDurations_; }
  size_t loopCount() const { return loopCount_; }

  // The frame's rectangle in unit coordinates of the sheet, for a layer's
  // contents rectangle; the unit rectangle beyond the list or for a sheet
  // of (almost) no size.
  kit::Rect contentsRectForCALayerAtIndex(size_t index) const;

  size_t animatedImageFrameCount() const override { return contentRects_.size(); }
  size_t animatedImageLoopCount() const override { return loopCount_; }
  size_t animatedImageBytesPerFrame() const override { return 0; }
  kit::Ref<kit::Image> animatedImageFrameAtIndex(size_t) const override;
  double animatedImageDurationAtIndex(size_t index) const override;
  std::optional<kit::Rect> animatedImageContentsRectAtIndex(size_t index) const override;

  // Use make; public for make.
  KTSpriteSheetImage(const kit::Image& sheet, std::vector<kit::Rect> rects, std::vector<double> durations,
                     size_t loopCount);

 private:
  std::vector<kit::Rect> contentRects_;
  std::vector<double> frameDurations_;
  size_t loopCount_ = 0;
};
