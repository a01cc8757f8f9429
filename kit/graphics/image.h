// Images as the screens use them: an immutable bitmap with a scale (pixels
// per point), an orientation (how the bitmap is turned for display) and a
// rendering mode; or an animated image, a list of frames with a duration.
// Images come from bitmaps, encoded data, or files (with "@2x"/"@3x"
// variants chosen for the screen scale), draw themselves upright into the
// current context, and encode as PNG or JPEG.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/graphics_context.h"

namespace kit {

// The platform's image orientations, by number.
enum class ImageOrientation : int {
  Up = 0, Down, Left, Right, UpMirrored, DownMirrored, LeftMirrored, RightMirrored,
};

enum class ImageRenderingMode : int { Automatic = 0, AlwaysOriginal, AlwaysTemplate };

// EXIF orientation (1-8) to image orientation; anything else is Up.
ImageOrientation orientationFromEXIF(int exif);
int exifFromOrientation(ImageOrientation orientation);

class Image : public Object {
  KIT_OBJECT(Image)

 public:
  // Nil for a nil bitmap.
  static Ref<Image> withBitmap(Ref<Bitmap> bitmap, double scale = 1.0,
                               ImageOrientation orientation = ImageOrientation::Up);
  // The first frame of encoded data, oriented by its EXIF orientation; nil
  // when the data does not decode.
  static Ref<Image> withData(std::span<const uint8_t> data, double scale = 1.0);
  // A file, preferring the variant for the main screen scale ("name@2x.png"
  // for "name.png" on a 2x screen); the scale comes from the file name.
  static Ref<Image> withContentsOfFile(const std::string& path);
  // An animated image; its own bitmap, scale and orientation are the first
  // frame's. Nil without frames.
  static Ref<Image> animated(std::vector<Ref<Image>> images, double duration);

  const Ref<Bitmap>& bitmap() const { return bitmap_; }
  double scale() const { return scale_; }
  ImageOrientation orientation() const { return orientation_; }
  ImageRenderingMode renderingMode() const { return renderingMode_; }
  // Size in points, turned by the orientation.
  Size size() const;
  const std::vector<Ref<Image>>& images() const { return images_; }
  double duration() const { return duration_; }

  Ref<Image> withRenderingMode(ImageRenderingMode mode) const;
  // The bitmap turned upright (the bitmap itself when already upright).
  Ref<Bitmap> uprightBitmap() const;
  // Encoded upright; empty when encoding fails.
  std::vector<uint8_t> pngData() const;
  std::vector<uint8_t> jpegData(double quality) const;

  // Drawing into the current context (see image_context.h), upright in its
  // top-left-origin space. Nothing happens without a current context.
  void drawAtPoint(Point point) const;
  void drawInRect(const Rect& rect) const;
  void drawInRect(const Rect& rect, BlendMode mode, double alpha) const;
  // Drawing into a given context whose space runs top-down.
  void drawInContext(GraphicsContext& context, const Rect& rect) const;

  // Use the factories; public for make.
  Image(Ref<Bitmap> bitmap, double scale, ImageOrientation orientation);

 protected:
  // For subclasses that learn their picture after construction (decoding
  // from an archive): replaces the bitmap, scale and orientation.
  void setContents(Ref<Bitmap> bitmap, double scale, ImageOrientation orientation) {
    bitmap_ = std::move(bitmap);
    scale_ = scale > 0 ? scale : 1.0;
    orientation_ = orientation;
  }

 private:
  Ref<Bitmap> bitmap_;
  double scale_ = 1;
  ImageOrientation orientation_ = ImageOrientation::Up;
  ImageRenderingMode renderingMode_ = ImageRenderingMode::Automatic;
  std::vector<Ref<Image>> images_;
  double duration_ = 0;
};

}  // namespace kit
