// JPEG reading and writing with libjpeg-turbo. A prefix of a file decodes
// as far as its data goes: the source feeds an end-of-image marker when the
// bytes run out, and rows the data never reached are left transparent. A
// prefix that ends inside a marker segment (a table, a scan header) is read
// only up to that marker, so that the end-of-image marker is never taken as
// part of a segment.
#include <cmath>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

struct Source {
  jpeg_source_mgr pub;
  const uint8_t* data;
  size_t size;
  bool ranOut = false;
  int scanAtEnd = 0;         // the scan being read when the data ran out
  unsigned iMCURowAtEnd = 0;  // and how many MCU rows of it were read
  j_decompress_ptr owner;
};

void initSource(j_decompress_ptr) {}

// The length of a file prefix that ends on a whole marker segment or inside
// entropy-coded data: marker segments are walked from the start, and one
// that runs past the data is cut off with its marker.
size_t usablePrefix(const uint8_t* data, size_t size) {
  constexpr uint8_t kStartOfImage = 0xD8, kStartOfScan = 0xDA;
  if (size < 2 || data[0] != 0xFF || data[1] != kStartOfImage) return size;
  size_t at = 2;
  while (true) {
    if (at + 2 > size) return at;
    if (data[at] != 0xFF) return size;  // not a marker where one belongs: leave it to libjpeg
    const uint8_t marker = data[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == JPEG_EOI) return size;
    if (marker == 0x01 || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7)) {  // no length
      at += 2;
      continue;
    }
    if (at + 4 > size) return at;
    const size_t end = at + 2 + ((size_t{data[at + 2]} << 8) | data[at + 3]);
    if (end > size) return at;
    at = end;
    if (marker != kStartOfScan) continue;
    // Entropy-coded data runs to the next marker other than a stuffed zero
    // or a restart marker; data that ends inside it is fine.
    while (true) {
      while (at < size && data[at] != 0xFF) ++at;
      if (at + 1 >= size) return size;
      const uint8_t next = data[at + 1];
      if (next == 0 || (next >= JPEG_RST0 && next <= JPEG_RST0 + 7)) {
        at += 2;
        continue;
      }
      break;
    }
  }
}

boolean fillInput(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  if (!src->ranOut) {
    src->ranOut = true;
    src->scanAtEnd = cinfo->input_scan_number;
    src->iMCURowAtEnd = cinfo->input_iMCU_row;
  }
  src->pub.next_input_byte = kEndOfImage;
  src->pub.bytes_in_buffer = 2;
  return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  if (count <= 0) return;
  if (static_cast<size_t>(count) > src->pub.bytes_in_buffer) {
    src->pub.bytes_in_buffer = 0;
    fillInput(cinfo);
    return;
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

void onMessage(j_common_ptr, int) {}

// One decompressor over the bytes, with the markers the properties need.
struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  Source src;

  Decoder(const uint8_t* data, size_t size, size_t maxMemory) {
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.message[0] = 0;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = static_cast<long>(maxMemory);
    src.pub.init_source = initSource;
    src.pub.fill_input_buffer = fillInput;
    src.pub.skip_input_data = skipInput;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = termSource;
    src.pub.next_input_byte = data;
    src.pub.bytes_in_buffer = size;
    src.data = data;
    src.size = size;
    src.owner = &cinfo;
    cinfo.src = &src.pub;
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  }
  ~Decoder() { jpeg_destroy_decompress(&cinfo); }
};

bool readHeader(Decoder& d) {
  if (setjmp(d.err.jump)) return false;
  return jpeg_read_header(&d.cinfo, TRUE) == JPEG_HEADER_OK;
}

struct Info {
  size_t width = 0, height = 0;
  ColorSpace::Model model = ColorSpace::Model::RGB;
  bool progressive = false;
  int orientation = 0;
  std::optional<double> dpiX, dpiY;
};

Info describe(const jpeg_decompress_struct& c) {
  Info info;
  info.width = c.image_width;
  info.height = c.image_height;
  if (c.jpeg_color_space == JCS_GRAYSCALE) info.model = ColorSpace::Model::Monochrome;
  else if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK) info.model = ColorSpace::Model::CMYK;
  info.progressive = c.progressive_mode;
  for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && !info.orientation) info.orientation = codec::exifOrientation(m->data, m->data_length);
  }
  if (c.saw_JFIF_marker && c.density_unit == 1 && c.X_density && c.Y_density) {
    info.dpiX = c.X_density;
    info.dpiY = c.Y_density;
  } else if (c.saw_JFIF_marker && c.density_unit == 2 && c.X_density && c.Y_density) {
    info.dpiX = c.X_density * 2.54;
    info.dpiY = c.Y_density * 2.54;
  }
  return info;
}

// Decodes every scanline into `pixels`; returns the number of rows whose
// data was present.
bool decodeRows(Decoder& d, bool cmyk, std::vector<uint8_t>& pixels, size_t& validRows, const DecodeLimits& limits) {
  jpeg_decompress_struct& c = d.cinfo;
  if (setjmp(d.err.jump)) return false;
  c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  c.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&c);
  if (!limits.accepts(c.output_width, c.output_height) || c.output_components != 4) return false;
  const size_t rowBytes = size_t{c.output_width} * 4;
  pixels.assign(rowBytes * c.output_height, 0);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = pixels.data() + size_t{c.output_scanline} * rowBytes;
    if (jpeg_read_scanlines(&c, &row, 1) != 1) break;
  }
  validRows = c.output_height;
  if (d.src.ranOut) {
    // Rows past the last MCU row read in the first scan never had data (a
    // progressive file past its first scan has coarse data everywhere).
    const bool firstScan = !c.progressive_mode || d.src.scanAtEnd <= 1;
    if (firstScan) {
      const size_t rowsPerMCU = static_cast<size_t>(c.max_v_samp_factor) * DCTSIZE;
      validRows = std::min<size_t>(c.output_height, size_t{d.src.iMCURowAtEnd} * rowsPerMCU);
    }
  }
  jpeg_abort_decompress(&c);
  return true;
}

class JPEGReader : public ImageReader {
 public:
  JPEGReader(Bytes data, size_t usable, Info info, const DecodeLimits& limits)
      : data_(std::move(data)), usable_(usable), info_(info), limits_(limits) {}

  size_t frameCount() const override { return 1; }

  ImageProperties frameProperties(size_t) const override {
    ImageProperties p;
    p.pixelWidth = info_.width;
    p.pixelHeight = info_.height;
    p.orientation = info_.orientation;
    p.colorModel = info_.model;
    p.jfifIsProgressive = info_.progressive;
    p.dpiWidth = info_.dpiX;
    p.dpiHeight = info_.dpiY;
    return p;
  }

  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index != 0) {
      error = "JPEG has one frame";
      return nullptr;
    }
    Decoder d(data_->data(), usable_, limits_.maxMemory);
    if (!readHeader(d)) {
      error = d.err.message;
      return nullptr;
    }
    const bool cmyk = info_.model == ColorSpace::Model::CMYK;
    const bool adobe = d.cinfo.saw_Adobe_marker;
    std::vector<uint8_t> pixels;
    size_t validRows = 0;
    if (!decodeRows(d, cmyk, pixels, validRows, limits_) || validRows == 0) {
      error = d.err.message[0] ? d.err.message : "JPEG holds no image rows yet";
      return nullptr;
    }
    const size_t w = d.cinfo.output_width, h = d.cinfo.output_height;
    if (cmyk) {
      // Stored inverted by the writers that add the Adobe marker; kit keeps
      // 255 as full ink.
      if (adobe) {
        for (uint8_t& v : pixels) v = static_cast<uint8_t>(255 - v);
      }
      PixelFormat format{8, 32, ColorSpace::deviceCMYK(), makeBitmapInfo(AlphaInfo::None)};
      return Bitmap::create(w, h, format, w * 4, std::move(pixels));
    }
    const bool partial = validRows < h;
    if (partial) std::fill(pixels.begin() + static_cast<std::ptrdiff_t>(validRows * w * 4), pixels.end(), 0);
    return codec::fromRGBA(w, h, std::move(pixels), partial);
  }

 private:
  Bytes data_;
  size_t usable_;  // the bytes handed to libjpeg
  Info info_;
  DecodeLimits limits_;
};

// ---- Writing ----

struct Destination {
  jpeg_destination_mgr pub;
  std::vector<uint8_t>* out;
  size_t start;
  JOCTET buffer[16384];
};

void initDestination(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = sizeof dst->buffer;
}

boolean emptyBuffer(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
  dst->out->insert(dst->out->end(), dst->buffer, dst->buffer + sizeof dst->buffer);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = sizeof dst->buffer;
  return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
  dst->out->insert(dst->out->end(), dst->buffer, dst->buffer + (sizeof dst->buffer - dst->pub.free_in_buffer));
}

std::vector<uint8_t> exifWithOrientation(int orientation) {
  // "Exif\0\0", a big-endian TIFF header and one IFD holding Orientation.
  std::vector<uint8_t> e = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                            0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0};
  return e;
}

bool compress(jpeg_compress_struct& c, ErrorManager& err, const std::vector<uint8_t>& rgba, size_t w, size_t h,
              bool gray, int quality, int orientation) {
  if (setjmp(err.jump)) return false;
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 4;
  c.in_color_space = JCS_EXT_RGBX;
  jpeg_set_defaults(&c);
  if (gray) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
  jpeg_set_quality(&c, quality, TRUE);
  c.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&c, TRUE);
  if (orientation >= 1 && orientation <= 8) {
    const auto exif = exifWithOrientation(orientation);
    jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgba.data() + size_t{c.next_scanline} * w * 4);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  return true;
}

}  // namespace

std::unique_ptr<ImageReader> openJPEGReader(Bytes data, bool complete, const DecodeLimits& limits,
                                            std::string& error) {
  const size_t usable = complete ? data->size() : usablePrefix(data->data(), data->size());
  Info info;
  {
    Decoder d(data->data(), usable, limits.maxMemory);
    if (!readHeader(d)) {
      error = d.err.message[0] ? d.err.message : "JPEG header is incomplete";
      return nullptr;
    }
    info = describe(d.cinfo);
  }
  if (!limits.accepts(info.width, info.height)) {
    error = "JPEG image of " + std::to_string(info.width) + "x" + std::to_string(info.height) +
            " is beyond the decoder's limits";
    return nullptr;
  }
  return std::make_unique<JPEGReader>(std::move(data), usable, info, limits);
}

bool writeJPEG(const Bitmap& bitmap, const EncodeOptions& options, std::vector<uint8_t>& out, std::string& error) {
  const size_t w = bitmap.width(), h = bitmap.height();
  // Premultiplied colour: transparent areas come out black, as the platform's.
  std::vector<uint8_t> rgba(w * h * 4);
  for (size_t y = 0; y < h; ++y) unpackRow(bitmap.format(), bitmap.row(y), rgba.data() + y * w * 4, w);
  const bool gray = bitmap.colorSpace() && bitmap.colorSpace()->model() == ColorSpace::Model::Monochrome;
  const int quality = std::clamp(static_cast<int>(std::lround(std::clamp(options.quality, 0.0, 1.0) * 100)), 1, 100);

  jpeg_compress_struct c;
  ErrorManager err;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = onMessage;
  jpeg_create_compress(&c);
  Destination dst;
  dst.pub.init_destination = initDestination;
  dst.pub.empty_output_buffer = emptyBuffer;
  dst.pub.term_destination = termDestination;
  dst.out = &out;
  dst.start = out.size();
  c.dest = &dst.pub;
  const bool ok = compress(c, err, rgba, w, h, gray, quality, options.orientation);
  jpeg_destroy_compress(&c);
  if (!ok) {
    out.resize(dst.start);
    error = std::string("JPEG encoding failed: ") + err.message;
  }
  return ok;
}

}  // namespace kit
