// Image effects (a category on kit::Image): images made from a colour or a
// drawing block, drawing by content mode, resizing, cropping, edge insets,
// rounded corners with a border, rotation and flipping, tinting, and the
// blur with tint and saturation (which also gives grayscale and four preset
// looks); and a small animated GIF decoded into an animated image. Every
// operation leaves the image alone and returns a new one, or nil when it
// cannot make one. Sizes and rectangles are in points.
#pragma once

#include <functional>

#include "kit/foundation/data.h"
#include "kit/graphics/color.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image.h"

// The platform's view content modes, by number.
enum KTContentMode : int {
  KTContentModeScaleToFill = 0,
  KTContentModeScaleAspectFit = 1,
  KTContentModeScaleAspectFill = 2,
  KTContentModeRedraw = 3,
  KTContentModeCenter = 4,
  KTContentModeTop = 5,
  KTContentModeBottom = 6,
  KTContentModeLeft = 7,
  KTContentModeRight = 8,
  KTContentModeTopLeft = 9,
  KTContentModeTopRight = 10,
  KTContentModeBottomLeft = 11,
  KTContentModeBottomRight = 12,
};

// Corners of a rounded rectangle (top is the smaller y, as a view sees it).
enum KTRectCorner : unsigned {
  KTRectCornerTopLeft = 1,
  KTRectCornerTopRight = 2,
  KTRectCornerBottomLeft = 4,
  KTRectCornerBottomRight = 8,
  KTRectCornerAllCorners = 15,
};

struct KTEdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
};

// ---- Making images ----
// An animated image of a GIF's frames, each repeated so that it lasts its
// own delay (delays below 0.02 s count 0.1 s); a still image for one frame.
kit::Ref<kit::Image> KT_imageWithSmallGIFData(const kit::Ref<kit::Data>& data, double scale);
kit::Ref<kit::Image> KT_imageWithColor(const kit::Ref<kit::Color>& color);
// Nil without a colour or for a side that is not positive; at the main
// screen's scale.
kit::Ref<kit::Image> KT_imageWithColor(const kit::Ref<kit::Color>& color, kit::Size size);
kit::Ref<kit::Image> KT_imageWithSize(kit::Size size, const std::function<void(kit::GraphicsContext&)>& drawBlock);

// ---- Queries and drawing ----
bool KT_hasAlphaChannel(const kit::Image& image);
// Draws into the current context; clipping clips to `rect`.
void KT_drawInRect(const kit::Image& image, kit::Rect rect, int contentMode, bool clipsToBounds);

// ---- Geometry ----
kit::Ref<kit::Image> KT_imageByResizeToSize(const kit::Ref<kit::Image>& image, kit::Size size);
kit::Ref<kit::Image> KT_imageByResizeToSize(const kit::Ref<kit::Image>& image, kit::Size size, int contentMode);
kit::Ref<kit::Image> KT_imageByCropToRect(const kit::Ref<kit::Image>& image, kit::Rect rect);
// Positive insets cut edges off; negative ones add margins in the colour.
kit::Ref<kit::Image> KT_imageByInsetEdge(const kit::Ref<kit::Image>& image, KTEdgeInsets insets,
                                         const kit::Ref<kit::Color>& color);
kit::Ref<kit::Image> KT_imageByRoundCornerRadius(const kit::Ref<kit::Image>& image, double radius);
kit::Ref<kit::Image> KT_imageByRoundCornerRadius(const kit::Ref<kit::Image>& image, double radius, double borderWidth,
                                                 const kit::Ref<kit::Color>& borderColor);
kit::Ref<kit::Image> KT_imageByRoundCornerRadius(const kit::Ref<kit::Image>& image, double radius, unsigned corners,
                                                 double borderWidth, const kit::Ref<kit::Color>& borderColor,
                                                 kit::LineJoin borderLineJoin);
// Radians, counter-clockwise; fitSize grows the canvas to hold the turn.
kit::Ref<kit::Image> KT_imageByRotate(const kit::Ref<kit::Image>& image, double radians, bool fitSize);
kit::Ref<kit::Image> KT_imageByRotateLeft90(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByRotateRight90(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByRotate180(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByFlipVertical(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByFlipHorizontal(const kit::Ref<kit::Image>& image);

// ---- Colour effects ----
// The image's silhouette in the colour.
kit::Ref<kit::Image> KT_imageByTintColor(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Color>& color);
kit::Ref<kit::Image> KT_imageByGrayscale(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByBlurSoft(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByBlurLight(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByBlurExtraLight(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByBlurDark(const kit::Ref<kit::Image>& image);
kit::Ref<kit::Image> KT_imageByBlurWithTint(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Color>& tintColor);
// The general effect: a Gaussian-like blur of the radius (points) made of
// box passes, a saturation factor, then the tint laid over in its blend
// mode and the result shown through the mask. Radius 0, saturation 1, no
// tint and no mask give the image's own bitmap at scale 1.
kit::Ref<kit::Image> KT_imageByBlurRadius(const kit::Ref<kit::Image>& image, double blurRadius,
                                          const kit::Ref<kit::Color>& tintColor, int tintBlendMode, double saturation,
                                          const kit::Ref<kit::Image>& maskImage);
