// PNG reading (libpng's progressive reader, so a prefix of a file decodes
// the rows it holds, interlaced passes included) and writing. Complete data
// whose image data libpng finds damaged (a failed check sum, a chunk that
// claims more bytes than the file has, no rows at all) is corrupt: it
// decodes to nothing rather than to the rows that happened to come out.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <utility>

#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

struct Header {
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  bool hasTransparency = false;
  std::optional<double> dpiX, dpiY;
};

// Reads IHDR and the few ancillary chunks the properties need, without
// decompressing anything.
bool readHeader(const ByteSnapshot& d, Header& h, std::string& error) {
  if (d.size() < 33 || std::memcmp(d.data(), "\x89PNG\r\n\x1a\n", 8) != 0) {
    error = "PNG header is incomplete";
    return false;
  }
  if (be32(&d[8]) != 13 || std::memcmp(&d[12], "IHDR", 4) != 0) {
    error = "PNG does not start with IHDR";
    return false;
  }
  h.width = be32(&d[16]);
  h.height = be32(&d[20]);
  h.bitDepth = d[24];
  h.colorType = d[25];
  h.interlace = d[28];
  size_t at = 33;
  while (at + 12 <= d.size()) {
    const uint32_t length = be32(&d[at]);
    const uint8_t* type = &d[at + 4];
    if (length > d.size() - at - 12) break;
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
    if (std::memcmp(type, "tRNS", 4) == 0) h.hasTransparency = true;
    if (std::memcmp(type, "pHYs", 4) == 0 && length == 9 && d[at + 16] == 1) {
      h.dpiX = be32(&d[at + 8]) * 0.0254;
      h.dpiY = be32(&d[at + 12]) * 0.0254;
    }
    at += 12 + length;
  }
  return true;
}

struct Progress {
  png_structp png = nullptr;
  png_infop info = nullptr;
  DecodeLimits limits;
  std::vector<uint8_t> pixels;
  size_t width = 0, height = 0;
  bool hasAlpha = false;
  bool interlaced = false;
  bool finished = false;
  size_t rows = 0;  // row callbacks received
  std::string error;
  // The first complaint about the image data (libpng reports a check-sum
  // mismatch or an oversized chunk only as a warning on "IDAT").
  std::string damage;
  bool overLimits = false;
};

void onError(png_structp png, png_const_charp message) {
  auto* p = static_cast<Progress*>(png_get_progressive_ptr(png));
  if (p && p->error.empty()) p->error = message ? message : "PNG error";
  png_longjmp(png, 1);
}

void onWarning(png_structp png, png_const_charp message) {
  auto* p = static_cast<Progress*>(png_get_progressive_ptr(png));
  if (p && p->damage.empty() && message && std::strncmp(message, "IDAT", 4) == 0) p->damage = message;
}

void ignoreWarning(png_structp, png_const_charp) {}

void onInfo(png_structp png, png_infop info) {
  auto* p = static_cast<Progress*>(png_get_progressive_ptr(png));
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (!p->limits.accepts(w, h)) {
    p->overLimits = true;
    png_error(png, "PNG image is larger than the decoder's limits");
  }
  const int colorType = png_get_color_type(png, info);
  p->hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
  // Interlaced passes are placed here, pixel by pixel, so that a prefix
  // shows exactly the pixels it holds and leaves the rest transparent.
  p->interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t{w} * 4) png_error(png, "unexpected PNG row layout");
  p->width = w;
  p->height = h;
  p->pixels.assign(size_t{w} * h * 4, 0);
}

void onRow(png_structp png, png_bytep row, png_uint_32 number, int pass) {
  auto* p = static_cast<Progress*>(png_get_progressive_ptr(png));
  if (!row) return;
  if (!p->interlaced) {
    if (number >= p->height) return;
    std::memcpy(p->pixels.data() + size_t{number} * p->width * 4, row, p->width * 4);
    ++p->rows;
    return;
  }
  static const int xStart[7] = {0, 4, 0, 2, 0, 1, 0}, yStart[7] = {0, 0, 4, 0, 2, 0, 1};
  static const int xStep[7] = {8, 8, 4, 4, 2, 2, 1}, yStep[7] = {8, 8, 8, 4, 4, 2, 2};
  if (pass < 0 || pass > 6) return;
  const size_t y = yStart[pass] + size_t{number} * yStep[pass];
  if (y >= p->height) return;
  uint8_t* dst = p->pixels.data() + y * p->width * 4;
  size_t i = 0;
  for (size_t x = xStart[pass]; x < p->width; x += xStep[pass], ++i) std::memcpy(dst + x * 4, row + i * 4, 4);
  ++p->rows;
}

void onEnd(png_structp png, png_infop) { static_cast<Progress*>(png_get_progressive_ptr(png))->finished = true; }

// Runs libpng over the bytes; separate so that nothing with a destructor
// lives in the frame that longjmp leaves.
bool feed(Progress& p, const uint8_t* data, size_t size) {
  if (setjmp(png_jmpbuf(p.png))) return false;
  png_process_data(p.png, p.info, const_cast<png_bytep>(data), size);
  return true;
}

class PNGReader : public ImageReader {
 public:
  PNGReader(Bytes data, bool complete, const Header& header, const DecodeLimits& limits)
      : data_(std::move(data)), complete_(complete), header_(header), limits_(limits) {}

  size_t frameCount() const override { return 1; }

  ImageProperties frameProperties(size_t) const override {
    ImageProperties p;
    p.pixelWidth = header_.width;
    p.pixelHeight = header_.height;
    p.hasAlpha = (header_.colorType & PNG_COLOR_MASK_ALPHA) || header_.hasTransparency;
    p.depth = header_.bitDepth;
    p.colorModel = (header_.colorType & PNG_COLOR_MASK_COLOR) ? ColorSpace::Model::RGB : ColorSpace::Model::Monochrome;
    p.pngInterlaceType = header_.interlace;
    p.dpiWidth = header_.dpiX;
    p.dpiHeight = header_.dpiY;
    return p;
  }

  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index != 0) {
      error = "PNG has one frame";
      return nullptr;
    }
    if (checked_) return std::exchange(checked_, nullptr);
    bool corrupt = false;
    return decodeImage(error, corrupt);
  }

  std::string corruption(size_t index) override {
    if (!complete_ || index != 0) return {};
    std::string error;
    bool corrupt = false;
    checked_ = decodeImage(error, corrupt);
    return corrupt ? error : std::string();
  }

 private:
  // The image, or nil with the reason; `corrupt` when complete data is
  // damaged (as opposed to a prefix, or a file beyond the limits).
  Ref<Bitmap> decodeImage(std::string& error, bool& corrupt) {
    Progress p;
    p.limits = limits_;
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &p, onError, onWarning);
    if (!p.png) {
      error = "out of memory";
      return nullptr;
    }
    p.info = png_create_info_struct(p.png);
    png_set_progressive_read_fn(p.png, &p, onInfo, onRow, onEnd);
    png_set_user_limits(p.png, static_cast<png_uint_32>(limits_.maxDimension),
                        static_cast<png_uint_32>(limits_.maxDimension));
    png_set_chunk_malloc_max(p.png, 8u << 20);
    png_set_chunk_cache_max(p.png, 1000);
    const bool ok = feed(p, data_->data(), data_->size());
    png_destroy_read_struct(&p.png, &p.info, nullptr);
    const bool noRows = p.pixels.empty() || p.rows == 0;
    if (complete_ && !p.overLimits && (noRows || !ok || !p.damage.empty())) {
      corrupt = true;
      error = "PNG data is corrupt: " + (!p.error.empty()    ? p.error
                                         : !p.damage.empty() ? p.damage
                                                             : std::string("the file ends before any image data"));
      return nullptr;
    }
    if (noRows) {
      error = !p.error.empty() ? p.error : "PNG holds no image rows yet";
      return nullptr;
    }
    // A prefix, or a file cut short without damage, keeps what was decoded,
    // the rest transparent.
    return codec::fromRGBA(p.width, p.height, std::move(p.pixels), p.hasAlpha || !p.finished);
  }

  Bytes data_;
  bool complete_;
  Header header_;
  DecodeLimits limits_;
  // The frame decoded to check the data, for the decode that follows.
  Ref<Bitmap> checked_;
};

// ---- Writing ----

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

void writeError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

bool writeRows(png_structp png, png_infop info, const Bitmap& bitmap, const std::vector<png_bytep>& rows,
               int colorType) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.width()), static_cast<png_uint_32>(bitmap.height()), 8,
               colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 6);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, info);
  return true;
}

}  // namespace

std::unique_ptr<ImageReader> openPNGReader(Bytes data, bool complete, const DecodeLimits& limits, std::string& error) {
  Header header;
  if (!readHeader(*data, header, error)) return nullptr;
  if (!limits.accepts(header.width, header.height)) {
    error = "PNG image of " + std::to_string(header.width) + "x" + std::to_string(header.height) +
            " is beyond the decoder's limits";
    return nullptr;
  }
  return std::make_unique<PNGReader>(std::move(data), complete, header, limits);
}

bool writePNG(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error) {
  const bool alpha = hasAlphaChannel(bitmap.alphaInfo()) || bitmap.alphaInfo() == AlphaInfo::Only;
  const bool gray = !alpha && bitmap.colorSpace() && bitmap.colorSpace()->model() == ColorSpace::Model::Monochrome;
  std::vector<uint8_t> rgba = codec::straightRGBA(bitmap);
  const size_t w = bitmap.width(), h = bitmap.height();
  const size_t channels = alpha ? 4 : gray ? 1 : 3;
  if (!alpha) {
    for (size_t i = 0; i < w * h; ++i) {
      if (gray) rgba[i] = rgba[i * 4];
      else std::memmove(&rgba[i * 3], &rgba[i * 4], 3);
    }
  }
  std::vector<png_bytep> rows(h);
  for (size_t y = 0; y < h; ++y) rows[y] = rgba.data() + y * w * channels;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, writeError, ignoreWarning);
  if (!png) {
    error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, appendBytes, flushNothing);
  const size_t start = out.size();
  const bool ok = writeRows(png, info, bitmap, rows,
                            alpha ? PNG_COLOR_TYPE_RGB_ALPHA : gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB);
  png_destroy_write_struct(&png, &info);
  if (!ok) {
    out.resize(start);
    error = "PNG encoding failed";
  }
  return ok;
}

}  // namespace kit
