// TIFF reading and writing with libtiff, entirely in memory. Every page (IFD)
// is a frame; pages decode through libtiff's RGBA interface (RGB, RGBA, gray,
// palette, CMYK, YCbCr, 8 and 16 bits) in their stored row order, and the
// Orientation tag is reported rather than applied, as for JPEG. libtiff's
// diagnostics go to per-file handlers that record the first error and never
// print; its allocations are capped by the decoder's memory limit.
#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {

// ---- libtiff plumbing ----

// The first error libtiff reported on a file; warnings are dropped.
struct Diagnostics {
  std::string error;
};

int recordError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* diagnostics = static_cast<Diagnostics*>(user);
  if (diagnostics && diagnostics->error.empty()) {
    char message[512];
    std::vsnprintf(message, sizeof message, format, args);
    diagnostics->error = (module && *module) ? std::string(module) + ": " + message : message;
  }
  return 1;  // handled: libtiff must not print it
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff's process-wide handlers print to stderr; nothing of kit's should.
void silenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

// A file libtiff reads from (a buffer) or writes to (a vector, from `base` on).
struct MemoryFile {
  const uint8_t* readData = nullptr;  // reading: the whole file
  size_t readSize = 0;
  std::vector<uint8_t>* out = nullptr;  // writing: the file starts at out[base]
  size_t base = 0;
  size_t position = 0;

  size_t size() const { return out ? out->size() - base : readSize; }
  const uint8_t* data() const { return out ? out->data() + base : readData; }
};

tmsize_t readBytes(thandle_t handle, void* buffer, tmsize_t count) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (count <= 0 || file->position >= file->size()) return 0;
  const size_t n = std::min(static_cast<size_t>(count), file->size() - file->position);
  std::memcpy(buffer, file->data() + file->position, n);
  file->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t writeBytes(thandle_t handle, void* buffer, tmsize_t count) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (!file->out || count < 0) return -1;
  const size_t n = static_cast<size_t>(count);
  const size_t end = file->base + file->position + n;
  if (end > file->out->size()) file->out->resize(end);
  std::memcpy(file->out->data() + file->base + file->position, buffer, n);
  file->position += n;
  return count;
}

toff_t seekTo(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  uint64_t from = 0;
  if (whence == SEEK_CUR) from = file->position;
  else if (whence == SEEK_END) from = file->size();
  if (offset > UINT64_MAX - from) return static_cast<toff_t>(-1);
  const uint64_t target = from + offset;
  // Past the end is allowed: reads there give nothing, writes extend the file.
  if (target > (uint64_t{1} << 40)) return static_cast<toff_t>(-1);
  file->position = static_cast<size_t>(target);
  return target;
}

int closeNothing(thandle_t) { return 0; }

toff_t fileSize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size(); }

int mapFile(thandle_t handle, void** base, toff_t* size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (file->out) return 0;
  *base = const_cast<uint8_t*>(file->readData);
  *size = file->readSize;
  return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

TIFF* openMemory(MemoryFile& file, const char* mode, Diagnostics& diagnostics, size_t maxAllocation) {
  silenceGlobalHandlers();
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, recordError, &diagnostics);
  TIFFOpenOptionsSetWarningHandlerExtR(options, dropWarning, nullptr);
  if (maxAllocation) TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(maxAllocation));
  TIFF* tif = TIFFClientOpenExt("memory", mode, &file, readBytes, writeBytes, seekTo, closeNothing, fileSize,
                                mapFile, unmapNothing, options);
  TIFFOpenOptionsFree(options);
  return tif;
}

// ---- Reading ----

struct Page {
  uint32_t width = 0, height = 0;
  int orientation = 0;  // the tag, 0 when absent
  uint16_t bitsPerSample = 1, samplesPerPixel = 1, photometric = PHOTOMETRIC_MINISWHITE;
  bool hasAlpha = false;
  // libtiff premultiplies the colour of RGB pages but hands gray pages'
  // alpha over as stored, so gray with unassociated alpha stays straight.
  bool straightAlpha = false;
  std::optional<double> dpiX, dpiY;
};

// The current directory's properties.
Page describePage(TIFF* tif) {
  Page p;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
  uint16_t orientation = 0;
  if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8) {
    p.orientation = orientation;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.samplesPerPixel);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric)) {
    p.photometric = p.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  }
  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  // As libtiff's RGBA interface reads them: an unspecified extra sample is
  // alpha after three colours, and four RGB samples without the tag are RGBA.
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 && extraTypes) {
    p.hasAlpha = extraTypes[0] != EXTRASAMPLE_UNSPECIFIED || p.samplesPerPixel > 3;
    p.straightAlpha = extraTypes[0] == EXTRASAMPLE_UNASSALPHA &&
                      (p.photometric == PHOTOMETRIC_MINISBLACK || p.photometric == PHOTOMETRIC_MINISWHITE);
  } else {
    p.hasAlpha = p.samplesPerPixel == 4 && p.photometric == PHOTOMETRIC_RGB;
  }
  float xres = 0, yres = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) && xres > 0 &&
      yres > 0 && unit != RESUNIT_NONE) {
    const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    p.dpiX = xres * perInch;
    p.dpiY = yres * perInch;
  }
  return p;
}

ColorSpace::Model modelOf(uint16_t photometric) {
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      return ColorSpace::Model::Monochrome;
    case PHOTOMETRIC_SEPARATED:
      return ColorSpace::Model::CMYK;
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB:
      return ColorSpace::Model::Lab;
    default:
      return ColorSpace::Model::RGB;
  }
}

std::string sizeText(uint32_t w, uint32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

class TIFFReader : public ImageReader {
 public:
  TIFFReader(Bytes data, bool complete, const DecodeLimits& limits)
      : data_(std::move(data)), complete_(complete), limits_(limits) {
    file_.readData = data_->data();
    file_.readSize = data_->size();
  }
  ~TIFFReader() override {
    if (tif_) TIFFClose(tif_);
  }

  // Opens the file and reads every directory's properties.
  bool open(std::string& error) {
    tif_ = openMemory(file_, "r", diagnostics_, limits_.maxMemory);
    if (!tif_) {
      error = diagnostics_.error.empty() ? "TIFF header is incomplete" : "TIFF cannot be read: " + diagnostics_.error;
      return false;
    }
    do {
      if (pages_.size() >= limits_.maxFrames) {
        error = "TIFF has more pages than the decoder's limit";
        return false;
      }
      Page page = describePage(tif_);
      if (!limits_.accepts(page.width, page.height)) {
        error = "TIFF page " + std::to_string(pages_.size()) + " of " + sizeText(page.width, page.height) +
                " is beyond the decoder's limits";
        return false;
      }
      pages_.push_back(page);
    } while (TIFFReadDirectory(tif_));
    // A broken link to a further page ends the file; the pages before it stay.
    diagnostics_.error.clear();
    return true;
  }

  size_t frameCount() const override { return pages_.size(); }

  ImageProperties frameProperties(size_t index) const override {
    ImageProperties p;
    if (index >= pages_.size()) return p;
    const Page& page = pages_[index];
    p.pixelWidth = page.width;
    p.pixelHeight = page.height;
    p.orientation = page.orientation;
    p.hasAlpha = page.hasAlpha;
    p.depth = page.bitsPerSample;
    p.colorModel = modelOf(page.photometric);
    p.dpiWidth = page.dpiX;
    p.dpiHeight = page.dpiY;
    return p;
  }

  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index >= pages_.size()) {
      error = "TIFF page out of range";
      return nullptr;
    }
    diagnostics_.error.clear();
    if (!TIFFSetDirectory(tif_, static_cast<tdir_t>(index))) {
      error = "TIFF page " + std::to_string(index) + " cannot be read" +
              (diagnostics_.error.empty() ? "" : ": " + diagnostics_.error);
      return nullptr;
    }
    const Page& page = pages_[index];
    char reason[1024] = {};
    if (!TIFFRGBAImageOK(tif_, reason)) {
      error = std::string("TIFF page cannot be decoded: ") + reason;
      return nullptr;
    }
    if (!limits_.accepts(page.width, page.height)) {
      error = "TIFF page of " + sizeText(page.width, page.height) + " is beyond the decoder's limits";
      return nullptr;
    }
    const size_t w = page.width, h = page.height;
    std::vector<uint8_t> pixels(w * h * 4, 0);
    // Asking for the file's own orientation keeps the stored row order.
    uint16_t stored = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif_, TIFFTAG_ORIENTATION, &stored);
    diagnostics_.error.clear();
    const int ok = TIFFReadRGBAImageOriented(tif_, page.width, page.height,
                                             reinterpret_cast<uint32_t*>(pixels.data()), stored, 0);
    const bool failed = !ok || !diagnostics_.error.empty();
    // Whole data that does not decode is an error; a prefix keeps what it
    // holds, the rest transparent.
    if (failed && complete_) {
      error = "TIFF page cannot be decoded" + (diagnostics_.error.empty() ? "" : ": " + diagnostics_.error);
      return nullptr;
    }
    if (!ok) {
      error = "TIFF page holds no pixels yet";
      return nullptr;
    }
    if constexpr (std::endian::native == std::endian::big) {
      // libtiff packs R in the low byte of each 32-bit word.
      for (size_t i = 0; i < pixels.size(); i += 4) {
        std::swap(pixels[i], pixels[i + 3]);
        std::swap(pixels[i + 1], pixels[i + 2]);
      }
    }
    // Pages without alpha come out opaque; a partial page has transparent gaps.
    const bool alpha = page.hasAlpha || failed;
    const AlphaInfo layout = !alpha ? AlphaInfo::NoneSkipLast
                             : page.straightAlpha ? AlphaInfo::Last
                                                  : AlphaInfo::PremultipliedLast;
    PixelFormat format{8, 32, ColorSpace::deviceRGB(), makeBitmapInfo(layout)};
    return Bitmap::create(w, h, format, w * 4, std::move(pixels));
  }

 private:
  Bytes data_;
  bool complete_;
  DecodeLimits limits_;
  MemoryFile file_;
  Diagnostics diagnostics_;
  TIFF* tif_ = nullptr;
  std::vector<Page> pages_;
};

// ---- Writing ----

bool writePage(TIFF* tif, const EncodeFrame& frame, size_t pageNumber, size_t pageCount) {
  const Bitmap& bitmap = *frame.bitmap;
  const bool alpha = hasAlphaChannel(bitmap.alphaInfo()) || bitmap.alphaInfo() == AlphaInfo::Only;
  const bool gray = !alpha && bitmap.colorSpace() && bitmap.colorSpace()->model() == ColorSpace::Model::Monochrome;
  const uint32_t w = static_cast<uint32_t>(bitmap.width()), h = static_cast<uint32_t>(bitmap.height());
  const uint16_t samples = alpha ? 4 : gray ? 1 : 3;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, gray ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0f);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (alpha) {
    const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  if (frame.options.orientation >= 1 && frame.options.orientation <= 8) {
    TIFFSetField(tif, TIFFTAG_ORIENTATION, static_cast<uint16_t>(frame.options.orientation));
  }
  if (pageCount > 1) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(pageNumber), static_cast<uint16_t>(pageCount));
  }
  std::vector<uint8_t> rgba = codec::straightRGBA(bitmap);
  std::vector<uint8_t> row(size_t{w} * samples);
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* source = rgba.data() + size_t{y} * w * 4;
    for (size_t x = 0; x < w; ++x) std::memcpy(&row[x * samples], source + x * 4, samples);
    if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
  }
  return TIFFWriteDirectory(tif) != 0;
}

}  // namespace

std::unique_ptr<ImageReader> openTIFFReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error) {
  if (data->size() < 8) {
    error = "TIFF header is incomplete";
    return nullptr;
  }
  auto reader = std::make_unique<TIFFReader>(std::move(data), complete, limits);
  if (!reader->open(error)) return nullptr;
  return reader;
}

bool writeTIFF(const std::vector<EncodeFrame>& frames, std::vector<uint8_t>& out, std::string& error) {
  if (frames.empty() || frames.size() > 0xffff) {
    error = "TIFF needs 1 to 65535 images";
    return false;
  }
  MemoryFile file;
  file.out = &out;
  file.base = out.size();
  Diagnostics diagnostics;
  TIFF* tif = openMemory(file, "w", diagnostics, 0);
  if (!tif) {
    error = "TIFF encoding failed: " + diagnostics.error;
    return false;
  }
  bool ok = true;
  for (size_t i = 0; i < frames.size() && ok; ++i) ok = writePage(tif, frames[i], i, frames.size());
  TIFFClose(tif);
  if (!ok || !diagnostics.error.empty()) {
    out.resize(file.base);
    error = "TIFF encoding failed" + (diagnostics.error.empty() ? "" : ": " + diagnostics.error);
    return false;
  }
  return true;
}

}  // namespace kit
