// The codec layer under image sources and destinations: one reader per file
// format over an immutable byte buffer (which may be a prefix of the file
// while it downloads), and one writer per format. Readers parse headers when
// opened and decode frames on request; a prefix decodes what it holds and
// leaves the rest transparent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kit/graphics/bitmap.h"
#include "kit/graphics/byte_snapshot.h"
#include "kit/graphics/image_properties.h"

namespace kit {

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual size_t frameCount() const = 0;
  virtual ImageProperties frameProperties(size_t index) const = 0;
  virtual FileProperties fileProperties() const { return {}; }
  // A frame, or nil with a reason in `error`.
  virtual Ref<Bitmap> decode(size_t index, std::string& error) = 0;
  // For complete data: why frame `index` cannot be decoded because the data
  // is damaged, or empty when it can (or when a prefix is all there is). A
  // reader that can only tell by decoding may keep the frame it decoded
  // for the decode that follows.
  virtual std::string corruption(size_t /*index*/) { return {}; }
};

// Each opener gives nil with a reason when the header is unusable or breaks
// the limits. `complete` says whether the bytes are the whole file.
std::unique_ptr<ImageReader> openPNGReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error);
std::unique_ptr<ImageReader> openJPEGReader(Bytes data, bool complete, const DecodeLimits& limits,
                                            std::string& error);
std::unique_ptr<ImageReader> openGIFReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error);
std::unique_ptr<ImageReader> openBMPReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error);
std::unique_ptr<ImageReader> openICOReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error);
std::unique_ptr<ImageReader> openTIFFReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error);
// JP2 files and raw codestreams alike.
std::unique_ptr<ImageReader> openJPEG2000Reader(Bytes data, bool complete, const DecodeLimits& limits,
                                                std::string& error);
std::unique_ptr<ImageReader> openICNSReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error);

// Per-image options of a destination.
struct EncodeOptions {
  double quality = 1.0;          // LossyCompressionQuality, 0 to 1
  double gifDelayTime = 0;       // GIF DelayTime in seconds
  int orientation = 0;           // Orientation to record (JPEG, TIFF); 0 none
};

struct EncodeFrame {
  Ref<Bitmap> bitmap;
  EncodeOptions options;
};

// Writers append the encoded file to `out`; false with a reason on failure.
bool writePNG(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error);
bool writeJPEG(const Bitmap& bitmap, const EncodeOptions& options, std::vector<uint8_t>& out, std::string& error);
bool writeGIF(const std::vector<EncodeFrame>& frames, int loopCount, std::vector<uint8_t>& out, std::string& error);
bool writeBMP(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error);
bool writeICO(const std::vector<EncodeFrame>& frames, std::vector<uint8_t>& out, std::string& error);
// One PNG entry per image; each image is square, 16 to 1024 pixels a side
// in powers of two, and each size appears once.
bool writeICNS(const std::vector<EncodeFrame>& frames, std::vector<uint8_t>& out, std::string& error);
// One page per frame, LZW-compressed.
bool writeTIFF(const std::vector<EncodeFrame>& frames, std::vector<uint8_t>& out, std::string& error);
// A JP2 file, or a raw codestream when `codestream` is set. Quality 1 is
// lossless; lower qualities use the irreversible wavelet.
bool writeJPEG2000(const Bitmap& bitmap, const EncodeOptions& options, bool codestream, std::vector<uint8_t>& out,
                   std::string& error);

// Helpers shared by the codecs.
namespace codec {
// The pixels of any bitmap as straight (not premultiplied) RGBA rows.
std::vector<uint8_t> straightRGBA(const Bitmap& bitmap);
// A bitmap over straight RGBA pixels: opaque ones are labelled skip-last.
Ref<Bitmap> fromRGBA(size_t width, size_t height, std::vector<uint8_t> pixels, bool hasAlpha);
// EXIF orientation from an EXIF block ("Exif\0\0" + TIFF), 0 when absent.
int exifOrientation(const uint8_t* data, size_t size);
}  // namespace codec

}  // namespace kit
