// Image destinations write one or more bitmaps as an encoded file of a given
// type: PNG, JPEG (with a quality), GIF (colour-quantised, with per-frame
// delays and a loop count), BMP, ICO (PNG-compressed entries), TIFF (one
// page per image), JPEG 2000 (JP2, lossless at quality 1) and ICNS (one PNG
// entry per image of 16 to 1024 pixels a side).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_codecs.h"

namespace kit {

class ImageSource;

struct DestinationProperties {
  std::optional<int> gifLoopCount;  // GIF LoopCount; written when set (0 = endless)
};

class ImageDestination : public Object {
  KIT_OBJECT(ImageDestination)

 public:
  // A destination for `count` images of the type; nil for types kit cannot
  // write or a zero count.
  static Ref<ImageDestination> create(const std::string& type, size_t count);
  static std::vector<std::string> typeIdentifiers();

  void setProperties(const DestinationProperties& properties) { properties_ = properties; }
  // Images beyond the announced count are ignored.
  void addImage(Ref<Bitmap> bitmap, const EncodeOptions& options = {});
  // Adds a frame decoded from a source; false when it cannot be decoded.
  bool addImageFromSource(ImageSource& source, size_t index, const EncodeOptions& options = {});
  // Encodes everything added; false (with lastError) when the count was not
  // met or encoding failed. Only the first image is written for types that
  // hold one.
  bool finalize();
  const std::vector<uint8_t>& data() const { return data_; }
  const std::string& lastError() const { return error_; }

  // Use create; public for make.
  ImageDestination(std::string type, size_t count) : type_(std::move(type)), count_(count) {}

 private:
  std::string type_;
  size_t count_;
  DestinationProperties properties_;
  std::vector<EncodeFrame> frames_;
  std::vector<uint8_t> data_;
  std::string error_;
  bool finalized_ = false;
};

}  // namespace kit
