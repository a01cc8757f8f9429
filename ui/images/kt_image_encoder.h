// KTImageEncoder: one or more images (pictures, image files or encoded
// data) encoded as a file of a chosen type: through kit's image
// destinations for JPEG, JPEG 2000, TIFF, BMP, ICO, ICNS, GIF and
// single-image PNG, and through the animated-PNG writer for PNG with
// several frames. Also the one-image encoding and the data representation
// every image has, which the image cache stores on disk.
#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/url.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/kt_image_type.h"

class KTImageEncoder : public kit::Object {
 public:
  // Raises "KTImageEncoder init error": an encoder needs a type.
  static kit::Ref<KTImageEncoder> make();
  // Nil, with a log line, for a type outside 1 to 8 (WebP cannot be
  // written here).
  static kit::Ref<KTImageEncoder> initWithType(KTImageType type);

  KTImageType type() const { return type_; }
  // 0 loops forever (GIF and animated PNG).
  size_t loopCount() const { return loopCount_; }
  void setLoopCount(size_t v) { loopCount_ = v; }
  // Recorded and reported only.
  bool lossless() const { return lossless_; }
  void setLossless(bool v) { lossless_ = v; }
  double quality() const { return quality_; }
  // Clamped to 0 to 1.
  void setQuality(double quality);

  // Ignored for an image without a bitmap, empty data or an empty path.
  // Negative durations are stored as 0.
  void addImage(const kit::Ref<kit::Image>& image, double duration);
  void addImageWithData(const kit::Ref<kit::Data>& data, double duration);
  void addImageWithFile(const std::string& path, double duration);

  // The encoded file, or nil.
  kit::Ref<kit::Data> encode();
  // Encodes into a temporary file beside `path` and moves it over `path`
  // only when encoding succeeded, so a failure leaves an existing file as
  // it was.
  bool encodeToFile(const std::string& path);

  static kit::Ref<kit::Data> encodeImage(const kit::Ref<kit::Image>& image, KTImageType type, double quality);
  // Every frame of the decoder with its duration; nil for a nil decoder or
  // one without frames.
  static kit::Ref<kit::Data> encodeImageWithDecoder(const kit::Ref<KTImageDecoder>& decoder, KTImageType type,
                                                    double quality);

  // Use the factories; public for make.
  explicit KTImageEncoder(KTImageType type);

 private:
  using Entry = std::variant<kit::Ref<kit::Image>, std::string, kit::Ref<kit::Data>>;
  bool imageIOCanEncode() const;
  kit::Ref<kit::Data> encodeWithImageIO();
  kit::Ref<kit::Data> encodeAnimatedPNG();

  KTImageType type_;
  size_t loopCount_ = 0;
  bool lossless_ = false;
  double quality_ = 1;
  std::vector<Entry> images_;
  std::vector<double> durations_;
};

// One bitmap encoded as the type, or nil (nil bitmap, WebP, unknown type,
// failed encoding).
kit::Ref<kit::Data> KTEncodeCGImage(const kit::Ref<kit::Bitmap>& image, KTImageType type, double quality);

// The bytes that best keep an image: an animated KTImage's own file, else
// PNG for pictures with alpha and JPEG at 0.9 for opaque ones, upright.
kit::Ref<kit::Data> KT_imageDataRepresentation(const kit::Ref<kit::Image>& image);
// The same for the system's photo album, which takes only GIF and PNG
// files as they are.
kit::Ref<kit::Data> KT_dataRepresentationForSystem(const kit::Ref<kit::Image>& image, bool forSystem);

// Saves the image's data for the system (an animated GIF or PNG as it is)
// as a new file in the application's pictures folder, off the main thread,
// then calls `completion` on the main thread with the file's URL, or nil
// and an error. A nil completion is not called.
void KT_saveToAlbumWithCompletionBlock(const kit::Ref<kit::Image>& image,
                                       std::function<void(kit::Ref<kit::URL>, kit::Ref<kit::Error>)> completion);
