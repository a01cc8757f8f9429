// Image sources read encoded images: from whole data, from a file, or
// incrementally while the bytes arrive. A source reports its type, frame
// count, file and frame properties and a status, and decodes frames into
// bitmaps on request. Every decoder enforces DecodeLimits and fails with a
// reason (lastError) instead of allocating what a file asks for.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/byte_snapshot.h"
#include "kit/graphics/image_properties.h"

namespace kit {

class ImageReader;

// The platform's source status values.
enum class ImageSourceStatus : int {
  UnexpectedEOF = -5,
  InvalidData = -4,
  UnknownType = -3,
  ReadingHeader = -2,
  Incomplete = -1,
  Complete = 0,
};

struct ImageSourceOptions {
  DecodeLimits limits;
  // The type to assume when the data's first bytes do not say.
  std::string typeHint;
  // Keep decoded frames of complete data for later requests: at most
  // maxCachedBytes of pixels in all, the frames asked for last kept first.
  // A frame larger than that is never kept.
  bool shouldCache = true;
  size_t maxCachedBytes = kDefaultMaxCachedBytes;

  // 32 MiB: eight 1024 x 1024 frames.
  static constexpr size_t kDefaultMaxCachedBytes = size_t{32} << 20;
};

class ImageSource : public Object {
  KIT_OBJECT(ImageSource)

 public:
  // A source over complete data; nil for empty data.
  static Ref<ImageSource> create(std::span<const uint8_t> data, ImageSourceOptions options = {});
  // A source over a file's contents; nil when it cannot be read.
  static Ref<ImageSource> createWithFile(const std::string& path, ImageSourceOptions options = {});
  // A source that is given data as it arrives.
  static Ref<ImageSource> createIncremental(ImageSourceOptions options = {});

  // Replaces the data with a longer prefix of the file (or the same), and
  // says whether it is the whole file. Ignored once final data was given.
  void updateData(std::span<const uint8_t> data, bool final);
  // The same for a caller that knows the first `unchanged` bytes of `data`
  // are those it gave before: only the bytes after them are copied. When
  // they are not a continuation of the data held (another length, or other
  // bytes where the held data ends), the whole of `data` is copied.
  void updateData(std::span<const uint8_t> data, size_t unchanged, bool final);

  // Complete data whose first frame the reader finds damaged is InvalidData
  // for the source, and so is any such frame for its index (finding out may
  // decode the frame once).
  ImageSourceStatus status() const;
  ImageSourceStatus statusAtIndex(size_t index) const;
  // The type identifier of the data, or empty when unknown.
  std::string type() const;
  size_t count() const;
  FileProperties properties() const;
  // Nothing for an index out of range.
  std::optional<ImageProperties> propertiesAtIndex(size_t index) const;
  // The frame as a bitmap, or nil (see lastError).
  Ref<Bitmap> createImageAtIndex(size_t index);
  // The frame scaled down so that its longer side is at most maxPixelSize.
  Ref<Bitmap> createThumbnailAtIndex(size_t index, size_t maxPixelSize);
  std::string lastError() const;
  // The pixel bytes of the frames kept for later requests.
  size_t cachedBytes() const;
  // Every encoded byte the source has copied into its buffers so far:
  // about the data's length when it arrives as a growing prefix.
  uint64_t copiedBytes() const;

  // The type identifiers sources can decode.
  static std::vector<std::string> typeIdentifiers();

  // Use the factories; public for make.
  explicit ImageSource(ImageSourceOptions options);
  ~ImageSource() override;

 private:
  void reopen();
  // The reader's verdict on frame `index` of complete data, asked once.
  const std::string& corruptionLocked(size_t index) const;

  mutable std::mutex mutex_;
  ImageSourceOptions options_;
  // The bytes given so far, and the readers' immutable snapshot of them
  // (images and readers keep snapshots past later updates).
  GrowingBytes buffer_;
  Bytes data_;
  bool final_ = false;
  std::string type_;
  std::unique_ptr<ImageReader> reader_;
  std::string error_;
  // Kept frames, the one asked for last at the front of cacheOrder_.
  void keepLocked(size_t index, const Ref<Bitmap>& bitmap);
  void clearCacheLocked();
  std::map<size_t, Ref<Bitmap>> cache_;
  std::list<size_t> cacheOrder_;
  size_t cachedBytes_ = 0;
  // What the reader found damaged in complete data, per frame checked.
  mutable std::map<size_t, std::string> corruption_;
};

}  // namespace kit
