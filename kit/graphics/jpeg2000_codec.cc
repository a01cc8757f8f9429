// JPEG 2000 reading and writing with openjpeg, over memory: the JP2 box
// format and raw codestreams (J2K). Before openjpeg sees a file, its SIZ
// marker is read here and checked against the decoder's limits (image size,
// component count, tile count), because openjpeg allocates per-tile state
// while it reads the header. openjpeg's messages go to handlers that keep the
// first error and never print. Whole data is decoded strictly (a truncated
// file is an error); a prefix of a download decodes what it holds.
#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Components kit turns into pixels: gray, gray + alpha, RGB, RGBA or CMYK.
constexpr uint32_t kMaxComponents = 4;
// What openjpeg keeps per tile and per tile component while it reads the
// header (coding parameters, step sizes), rounded up.
constexpr uint64_t kBytesPerTile = 8192;
constexpr uint64_t kBytesPerTileComponent = 2048;

bool isCodestream(const uint8_t* d, size_t n) { return n >= 4 && std::memcmp(d, "\xff\x4f\xff\x51", 4) == 0; }

// The offset of the codestream: 0 for a raw one, the contents of the JP2
// file's 'jp2c' box otherwise.
bool findCodestream(const uint8_t* d, size_t n, size_t& offset) {
  if (isCodestream(d, n)) {
    offset = 0;
    return true;
  }
  size_t at = 0;
  while (at + 8 <= n) {
    uint64_t length = be32(d + at);
    size_t header = 8;
    if (length == 1) {
      if (at + 16 > n) return false;
      length = (uint64_t{be32(d + at + 8)} << 32) | be32(d + at + 12);
      header = 16;
    } else if (length == 0) {
      length = n - at;
    }
    if (std::memcmp(d + at + 4, "jp2c", 4) == 0) {
      offset = at + header;
      return true;
    }
    if (length < header || length > n - at) return false;
    at += static_cast<size_t>(length);
  }
  return false;
}

// The image and tile grid of the SIZ marker.
struct Siz {
  uint32_t width = 0, height = 0;
  uint32_t components = 0;
  uint64_t tiles = 0;
};

bool readSiz(const uint8_t* d, size_t n, Siz& siz, std::string& error) {
  size_t at = 0;
  if (!findCodestream(d, n, at) || n - at < 42 || !isCodestream(d + at, n - at)) {
    error = "JPEG 2000 header is incomplete";
    return false;
  }
  const uint8_t* s = d + at + 4;  // Lsiz
  const uint32_t xsiz = be32(s + 4), ysiz = be32(s + 8), xo = be32(s + 12), yo = be32(s + 16);
  const uint32_t xt = be32(s + 20), yt = be32(s + 24), xto = be32(s + 28), yto = be32(s + 32);
  siz.components = be16(s + 36);
  if (xsiz <= xo || ysiz <= yo || xt == 0 || yt == 0 || xto > xo || yto > yo || xsiz <= xto || ysiz <= yto) {
    error = "JPEG 2000 image and tile grid are invalid";
    return false;
  }
  siz.width = xsiz - xo;
  siz.height = ysiz - yo;
  siz.tiles = ((uint64_t{xsiz} - xto + xt - 1) / xt) * ((uint64_t{ysiz} - yto + yt - 1) / yt);
  return true;
}

bool checkSiz(const Siz& siz, const DecodeLimits& limits, std::string& error) {
  if (!limits.accepts(siz.width, siz.height)) {
    error = "JPEG 2000 image of " + std::to_string(siz.width) + "x" + std::to_string(siz.height) +
            " is beyond the decoder's limits";
    return false;
  }
  if (siz.components == 0 || siz.components > kMaxComponents) {
    error = "JPEG 2000 images with " + std::to_string(siz.components) + " components are not supported";
    return false;
  }
  const uint64_t headerMemory = siz.tiles * (kBytesPerTile + kBytesPerTileComponent * siz.components);
  if (siz.tiles > 65535 || headerMemory > limits.maxMemory / 4) {
    error = "JPEG 2000 image has " + std::to_string(siz.tiles) + " tiles, beyond the decoder's limits";
    return false;
  }
  return true;
}

// A prefix of a file for openjpeg's lenient mode. openjpeg allocates each
// tile-part at the length its SOT marker declares and, when lenient, even
// when the data holds far less; so every tile-part that runs past the end of
// the prefix is marked as the last one, running to the end (length 0).
// Walking the markers by their lengths cannot find every SOT openjpeg will
// read: it passes over a marker it does not know by searching for the next
// known one, two bytes at a time. So every SOT marker segment after SIZ is
// looked at, wherever it starts. Entropy-coded data never holds a 0xFF byte
// followed by one above 0x8F, so only marker segments can be touched, and
// of those only bytes that spell a SOT whose length overruns the data.
std::vector<uint8_t> withTileDataInBounds(const ByteSnapshot& data) {
  std::vector<uint8_t> copy(data.begin(), data.end());
  size_t at = 0;
  if (!findCodestream(copy.data(), copy.size(), at) || copy.size() - at < 6) return copy;
  const size_t n = copy.size();
  at += 4 + size_t{be16(&copy[at + 4])};  // SOC, SIZ
  for (; at + 10 <= n; ++at) {
    if (copy[at] != 0xFF || copy[at + 1] != 0x90 || be16(&copy[at + 2]) != 10) continue;
    if (be32(&copy[at + 6]) > n - at) std::memset(&copy[at + 6], 0, 4);
  }
  return copy;
}

// ---- openjpeg plumbing ----

struct Messages {
  std::string error;
};

void recordError(const char* message, void* user) {
  auto* messages = static_cast<Messages*>(user);
  if (!messages->error.empty() || !message) return;
  messages->error = message;
  while (!messages->error.empty() && (messages->error.back() == '\n' || messages->error.back() == ' ')) {
    messages->error.pop_back();
  }
}

void dropMessage(const char*, void*) {}

void routeMessages(opj_codec_t* codec, Messages& messages) {
  opj_set_error_handler(codec, recordError, &messages);
  opj_set_warning_handler(codec, dropMessage, nullptr);
  opj_set_info_handler(codec, dropMessage, nullptr);
}

// The bytes openjpeg reads, or the vector it writes (from `base` on).
struct MemoryStream {
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::vector<uint8_t>* out = nullptr;
  size_t base = 0;
  size_t position = 0;

  size_t length() const { return out ? out->size() - base : size; }
};

OPJ_SIZE_T readStream(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  if (s->position >= s->size) return static_cast<OPJ_SIZE_T>(-1);
  const size_t n = std::min<size_t>(count, s->size - s->position);
  std::memcpy(buffer, s->data + s->position, n);
  s->position += n;
  return n;
}

OPJ_SIZE_T writeStream(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  const size_t end = s->base + s->position + count;
  if (end > s->out->size()) s->out->resize(end);
  std::memcpy(s->out->data() + s->base + s->position, buffer, count);
  s->position += count;
  return count;
}

OPJ_OFF_T skipStream(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  if (count < 0) {
    if (static_cast<uint64_t>(-count) > s->position) return -1;
    s->position -= static_cast<size_t>(-count);
    return count;
  }
  // Reading stops at the end; writing may move past it (the gap is filled
  // when written).
  const size_t room = s->out ? SIZE_MAX - s->position : s->size - std::min(s->position, s->size);
  const size_t n = std::min<uint64_t>(static_cast<uint64_t>(count), room);
  s->position += n;
  return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL seekStream(OPJ_OFF_T offset, void* user) {
  auto* s = static_cast<MemoryStream*>(user);
  if (offset < 0 || (!s->out && static_cast<uint64_t>(offset) > s->size)) return OPJ_FALSE;
  s->position = static_cast<size_t>(offset);
  return OPJ_TRUE;
}

opj_stream_t* makeStream(MemoryStream& memory, bool input) {
  opj_stream_t* stream = opj_stream_create(size_t{1} << 16, input ? OPJ_TRUE : OPJ_FALSE);
  if (!stream) return nullptr;
  if (input) opj_stream_set_read_function(stream, readStream);
  else opj_stream_set_write_function(stream, writeStream);
  opj_stream_set_skip_function(stream, skipStream);
  opj_stream_set_seek_function(stream, seekStream);
  opj_stream_set_user_data(stream, &memory, nullptr);
  if (input) opj_stream_set_user_data_length(stream, memory.size);
  return stream;
}

// One decompressor over the bytes; the image once the header was read.
struct Decompression {
  MemoryStream memory;
  Messages messages;
  opj_stream_t* stream = nullptr;
  opj_codec_t* codec = nullptr;
  opj_image_t* image = nullptr;

  ~Decompression() {
    if (image) opj_image_destroy(image);
    if (codec) opj_destroy_codec(codec);
    if (stream) opj_stream_destroy(stream);
  }

  bool readHeader(const ByteSnapshot& data, bool strict) {
    memory.data = data.data();
    memory.size = data.size();
    stream = makeStream(memory, true);
    codec = opj_create_decompress(isCodestream(data.data(), data.size()) ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    if (!stream || !codec) return false;
    routeMessages(codec, messages);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec, &parameters)) return false;
    opj_decoder_set_strict_mode(codec, strict ? OPJ_TRUE : OPJ_FALSE);
    return opj_read_header(stream, codec, &image) && image;
  }

  std::string reason(const char* fallback) const { return messages.error.empty() ? fallback : messages.error; }
};

// How the components make a pixel.
struct Layout {
  uint32_t width = 0, height = 0;
  int colorComponents = 0;  // 1 gray, 3 colour, 4 CMYK
  int alphaComponent = -1;
  int depth = 8;
  ColorSpace::Model model = ColorSpace::Model::RGB;
  bool ycc = false;
};

bool describe(const opj_image_t& image, Layout& layout, std::string& error) {
  const uint32_t n = image.numcomps;
  if (n == 0 || n > kMaxComponents || !image.comps || image.x1 <= image.x0 || image.y1 <= image.y0) {
    error = "JPEG 2000 image has no usable components";
    return false;
  }
  layout.width = image.x1 - image.x0;
  layout.height = image.y1 - image.y0;
  for (uint32_t i = 0; i < n; ++i) {
    if (image.comps[i].alpha) layout.alphaComponent = static_cast<int>(i);
    if (image.comps[i].dx == 0 || image.comps[i].dy == 0 || image.comps[i].prec == 0 || image.comps[i].prec > 31) {
      error = "JPEG 2000 component layout is invalid";
      return false;
    }
  }
  const bool cmyk = image.color_space == OPJ_CLRSPC_CMYK && n == 4;
  if (layout.alphaComponent < 0 && (n == 2 || (n == 4 && !cmyk))) layout.alphaComponent = static_cast<int>(n - 1);
  const int colour = static_cast<int>(n) - (layout.alphaComponent >= 0 ? 1 : 0);
  layout.colorComponents = colour >= 4 ? 4 : colour >= 3 ? 3 : 1;
  if (layout.colorComponents == 4 && !cmyk) layout.colorComponents = 3;
  layout.model = layout.colorComponents == 1 ? ColorSpace::Model::Monochrome
                 : layout.colorComponents == 4 ? ColorSpace::Model::CMYK
                                               : ColorSpace::Model::RGB;
  layout.ycc = layout.colorComponents == 3 &&
               (image.color_space == OPJ_CLRSPC_SYCC || image.color_space == OPJ_CLRSPC_EYCC);
  layout.depth = static_cast<int>(image.comps[0].prec);
  return true;
}

uint8_t clamp8(double v) { return static_cast<uint8_t>(std::clamp<long>(std::lround(v), 0, 255)); }

// Reads component samples at image pixels as 8-bit values, following each
// component's subsampling.
class ComponentSampler {
 public:
  ComponentSampler(const opj_image_t& image, const opj_image_comp_t& comp) : image_(image), comp_(comp) {
    const int prec = static_cast<int>(comp.prec);
    offset_ = comp.sgnd ? (int64_t{1} << (prec - 1)) : 0;
    max_ = (int64_t{1} << prec) - 1;
  }

  uint8_t at(uint32_t x, uint32_t y) const {
    if (!comp_.data || comp_.w == 0 || comp_.h == 0) return 0;
    const uint64_t cx = (uint64_t{image_.x0} + x) / comp_.dx, cy = (uint64_t{image_.y0} + y) / comp_.dy;
    const uint64_t col = std::min<uint64_t>(cx > comp_.x0 ? cx - comp_.x0 : 0, comp_.w - 1);
    const uint64_t row = std::min<uint64_t>(cy > comp_.y0 ? cy - comp_.y0 : 0, comp_.h - 1);
    const int64_t v = std::clamp<int64_t>(int64_t{comp_.data[row * comp_.w + col]} + offset_, 0, max_);
    return static_cast<uint8_t>((v * 255 + max_ / 2) / max_);
  }

 private:
  const opj_image_t& image_;
  const opj_image_comp_t& comp_;
  int64_t offset_ = 0, max_ = 255;
};

std::vector<uint8_t> toRGBA(const opj_image_t& image, const Layout& layout) {
  const uint32_t w = layout.width, h = layout.height;
  std::vector<uint8_t> pixels(size_t{w} * h * 4);
  std::vector<ComponentSampler> colour;
  for (uint32_t i = 0; i < image.numcomps && colour.size() < static_cast<size_t>(layout.colorComponents); ++i) {
    if (static_cast<int>(i) != layout.alphaComponent) colour.emplace_back(image, image.comps[i]);
  }
  std::optional<ComponentSampler> alpha;
  if (layout.alphaComponent >= 0) alpha.emplace(image, image.comps[layout.alphaComponent]);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* p = pixels.data() + size_t{y} * w * 4;
    for (uint32_t x = 0; x < w; ++x, p += 4) {
      if (layout.colorComponents == 1) {
        p[0] = p[1] = p[2] = colour[0].at(x, y);
      } else if (layout.colorComponents == 4) {
        const double k = 1 - colour[3].at(x, y) / 255.0;
        for (int c = 0; c < 3; ++c) p[c] = clamp8((255 - colour[c].at(x, y)) * k);
      } else if (layout.ycc) {
        const double luma = colour[0].at(x, y), cb = colour[1].at(x, y) - 128.0, cr = colour[2].at(x, y) - 128.0;
        p[0] = clamp8(luma + 1.402 * cr);
        p[1] = clamp8(luma - 0.344136 * cb - 0.714136 * cr);
        p[2] = clamp8(luma + 1.772 * cb);
      } else {
        for (int c = 0; c < 3; ++c) p[c] = colour[c].at(x, y);
      }
      p[3] = alpha ? alpha->at(x, y) : 255;
    }
  }
  return pixels;
}

class JPEG2000Reader : public ImageReader {
 public:
  JPEG2000Reader(Bytes data, bool complete, const Layout& layout, const DecodeLimits& limits)
      : data_(std::move(data)), complete_(complete), layout_(layout), limits_(limits) {}

  size_t frameCount() const override { return 1; }

  ImageProperties frameProperties(size_t) const override {
    ImageProperties p;
    p.pixelWidth = layout_.width;
    p.pixelHeight = layout_.height;
    p.hasAlpha = layout_.alphaComponent >= 0;
    p.depth = layout_.depth;
    p.colorModel = layout_.model;
    return p;
  }

  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index != 0) {
      error = "JPEG 2000 has one frame";
      return nullptr;
    }
    Decompression d;
    if (!d.readHeader(*data_, complete_)) {
      error = d.reason("JPEG 2000 header cannot be read");
      return nullptr;
    }
    Layout layout;
    if (!describe(*d.image, layout, error)) return nullptr;
    if (!limits_.accepts(layout.width, layout.height)) {
      error = "JPEG 2000 image is beyond the decoder's limits";
      return nullptr;
    }
    // openjpeg holds every component as 32-bit samples, plus a tile's worth
    // again while it decodes, then kit makes the RGBA copy.
    uint64_t memory = uint64_t{layout.width} * layout.height * 4;
    for (uint32_t i = 0; i < d.image->numcomps; ++i) {
      const auto& c = d.image->comps[i];
      memory += 2 * ((uint64_t{layout.width} + c.dx - 1) / c.dx) * ((uint64_t{layout.height} + c.dy - 1) / c.dy) * 4;
    }
    if (memory > limits_.maxMemory) {
      error = "JPEG 2000 image needs more memory than the decoder's limit";
      return nullptr;
    }
    const bool decoded = opj_decode(d.codec, d.stream, d.image) && opj_end_decompress(d.codec, d.stream);
    if (!decoded && complete_) {
      error = "JPEG 2000 image cannot be decoded: " + d.reason("the codestream is damaged");
      return nullptr;
    }
    bool hasData = true;
    for (uint32_t i = 0; i < d.image->numcomps; ++i) hasData = hasData && d.image->comps[i].data;
    if (!hasData) {
      error = "JPEG 2000 image holds no decoded data: " + d.reason("the codestream is incomplete");
      return nullptr;
    }
    return codec::fromRGBA(layout.width, layout.height, toRGBA(*d.image, layout), layout.alphaComponent >= 0);
  }

 private:
  Bytes data_;
  bool complete_;
  Layout layout_;
  DecodeLimits limits_;
};

int resolutionsFor(size_t w, size_t h) {
  int levels = 1;
  while (levels < 6 && (std::min(w, h) >> levels) > 0) ++levels;
  return levels;
}

}  // namespace

std::unique_ptr<ImageReader> openJPEG2000Reader(Bytes data, bool complete, const DecodeLimits& limits,
                                                std::string& error) {
  Siz siz;
  if (!readSiz(data->data(), data->size(), siz, error) || !checkSiz(siz, limits, error)) return nullptr;
  if (!complete) data = makeBytes(withTileDataInBounds(*data));
  Decompression d;
  if (!d.readHeader(*data, complete)) {
    error = "JPEG 2000 header cannot be read: " + d.reason("the header is damaged");
    return nullptr;
  }
  Layout layout;
  if (!describe(*d.image, layout, error)) return nullptr;
  if (!limits.accepts(layout.width, layout.height)) {
    error = "JPEG 2000 image is beyond the decoder's limits";
    return nullptr;
  }
  return std::make_unique<JPEG2000Reader>(std::move(data), complete, layout, limits);
}

bool writeJPEG2000(const Bitmap& bitmap, const EncodeOptions& options, bool codestream, std::vector<uint8_t>& out,
                   std::string& error) {
  const bool alpha = hasAlphaChannel(bitmap.alphaInfo()) || bitmap.alphaInfo() == AlphaInfo::Only;
  const bool gray = bitmap.colorSpace() && bitmap.colorSpace()->model() == ColorSpace::Model::Monochrome;
  const uint32_t w = static_cast<uint32_t>(bitmap.width()), h = static_cast<uint32_t>(bitmap.height());
  const uint32_t colours = gray ? 1 : 3, count = colours + (alpha ? 1 : 0);

  opj_image_cmptparm_t params[kMaxComponents];
  std::memset(params, 0, sizeof params);
  for (uint32_t i = 0; i < count; ++i) {
    params[i].dx = params[i].dy = 1;
    params[i].w = w;
    params[i].h = h;
    params[i].prec = 8;
  }
  opj_image_t* image = opj_image_create(count, params, gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (!image) {
    error = "out of memory";
    return false;
  }
  image->x0 = image->y0 = 0;
  image->x1 = w;
  image->y1 = h;
  if (alpha) image->comps[count - 1].alpha = 1;
  const std::vector<uint8_t> rgba = codec::straightRGBA(bitmap);
  for (size_t i = 0; i < size_t{w} * h; ++i) {
    for (uint32_t c = 0; c < colours; ++c) image->comps[c].data[i] = rgba[i * 4 + c];
    if (alpha) image->comps[count - 1].data[i] = rgba[i * 4 + 3];
  }

  opj_cparameters_t parameters;
  opj_set_default_encoder_parameters(&parameters);
  parameters.numresolution = resolutionsFor(w, h);
  parameters.tcp_numlayers = 1;
  parameters.tcp_mct = colours == 3 ? 1 : 0;
  const double quality = std::clamp(options.quality, 0.0, 1.0);
  if (quality >= 1.0) {
    parameters.irreversible = 0;  // the reversible 5/3 wavelet: lossless
    parameters.tcp_rates[0] = 0;
    parameters.cp_disto_alloc = 1;
  } else {
    // A target signal-to-noise ratio from 20 dB (quality 0) to 45 dB.
    parameters.irreversible = 1;
    parameters.tcp_distoratio[0] = static_cast<float>(20 + 25 * quality);
    parameters.cp_fixed_quality = 1;
  }

  Messages messages;
  MemoryStream memory;
  memory.out = &out;
  memory.base = out.size();
  opj_codec_t* codec = opj_create_compress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
  opj_stream_t* stream = makeStream(memory, false);
  bool ok = codec && stream;
  if (ok) {
    routeMessages(codec, messages);
    ok = opj_setup_encoder(codec, &parameters, image) && opj_start_compress(codec, image, stream) &&
         opj_encode(codec, stream) && opj_end_compress(codec, stream);
  }
  if (stream) opj_stream_destroy(stream);
  if (codec) opj_destroy_codec(codec);
  opj_image_destroy(image);
  if (!ok) {
    out.resize(memory.base);
    error = "JPEG 2000 encoding failed" + (messages.error.empty() ? "" : ": " + messages.error);
  }
  return ok;
}

}  // namespace kit
