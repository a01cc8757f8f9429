// KTSpriteSheetImage. See kt_sprite_sheet_image.h.
#include "ui/images/kt_sprite_sheet_image.h"

KTSpriteSheetImage::KTSpriteSheetImage(const kit::Image& sheet, std::vector<kit::Rect> rects,
                                       std::vector<double> durations, size_t loopCount)
    : kit::Image(sheet.bitmap(), sheet.scale(), sheet.orientation()),
      contentRects_(std::move(rects)),
      frameDurations_(std::move(durations)),
      loopCount_(loopCount) {}

kit::Ref<KTSpriteSheetImage> KTSpriteSheetImage::make(const kit::Ref<kit::Image>& sheet,
                                                      std::vector<kit::Rect> contentRects,
                                                      std::vector<double> frameDurations, size_t loopCount) {
  if (!sheet || !sheet->bitmap() || contentRects.empty() || frameDurations.empty() ||
      contentRects.size() != frameDurations.size()) {
    return nullptr;
  }
  return kit::make<KTSpriteSheetImage>(*sheet, std::move(contentRects), std::move(frameDurations), loopCount);
}

kit::Rect KTSpriteSheetImage::contentsRectForCALayerAtIndex(size_t index) const {
  const kit::Rect unit{0, 0, 1, 1};
  const kit::Size sheet = size();
  if (index >= contentRects_.size() || sheet.width <= 0.01 || sheet.height <= 0.01) return unit;
  const kit::Rect& r = contentRects_[index];
  const kit::Rect scaled{r.origin.x / sheet.width, r.origin.y / sheet.height, r.size.width / sheet.width,
                         r.size.height / sheet.height};
  const kit::Rect clipped = scaled.intersection(unit);
  return clipped.isEmpty() ? unit : clipped;
}

kit::Ref<kit::Image> KTSpriteSheetImage::animatedImageFrameAtIndex(size_t) const {
  return std::static_pointer_cast<kit::Image>(self());
}

double KTSpriteSheetImage::animatedImageDurationAtIndex(size_t index) const {
  return index < frameDurations_.size() ? frameDurations_[index] : 0;
}

std::optional<kit::Rect> KTSpriteSheetImage::animatedImageContentsRectAtIndex(size_t index) const {
  return index < contentRects_.size() ? contentRects_[index] : kit::Rect{};
}
