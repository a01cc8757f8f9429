// BMP reading and writing (own code). The device-independent bitmap part is
// shared with ICO/CUR files, which embed it without the file header and
// with an AND mask after the colour rows.
#include <algorithm>
#include <cstring>

#include "kit/graphics/bmp_dib.h"
#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {
uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Shift and width of a channel mask, for scaling its value to 8 bits.
void maskShape(uint32_t mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (!mask) return;
  while (!(mask & 1)) mask >>= 1, ++shift;
  while (mask & 1) mask >>= 1, ++bits;
}

uint8_t maskValue(uint32_t pixel, uint32_t mask, int shift, int bits) {
  if (!mask || bits == 0) return 0;
  const uint32_t v = (pixel & mask) >> shift;
  const uint32_t max = bits >= 32 ? 0xffffffffu : ((1u << bits) - 1);
  return static_cast<uint8_t>(v * 255 / max);
}
}  // namespace

bool readDIBHeader(const uint8_t* d, size_t n, DIBHeader& h, std::string& error) {
  if (n < 16) {
    error = "bitmap header is incomplete";
    return false;
  }
  h.headerSize = le32(d);
  if (h.headerSize == 12) {
    h.width = le16(d + 4);
    h.height = le16(d + 6);
    h.bitsPerPixel = le16(d + 10);
    h.paletteEntrySize = 3;
  } else if (h.headerSize >= 40 && h.headerSize <= 124) {
    if (n < 40) {
      error = "bitmap header is incomplete";
      return false;
    }
    h.width = static_cast<int32_t>(le32(d + 4));
    h.height = static_cast<int32_t>(le32(d + 8));
    h.bitsPerPixel = le16(d + 14);
    h.compression = le32(d + 16);
    h.colorsUsed = le32(d + 32);
    if (h.headerSize >= 52 && n >= 52) {
      h.redMask = le32(d + 40), h.greenMask = le32(d + 44), h.blueMask = le32(d + 48);
    }
    if (h.headerSize >= 56 && n >= 56) h.alphaMask = le32(d + 52);
  } else {
    error = "unsupported bitmap header size";
    return false;
  }
  h.topDown = h.height < 0;
  if (h.height == INT32_MIN) {
    error = "bitmap height out of range";
    return false;
  }
  if (h.height < 0) h.height = -h.height;
  const int bpp = h.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    error = "unsupported bits per pixel in bitmap";
    return false;
  }
  if (h.compression != 0 && h.compression != 3 && h.compression != 6) {
    error = "unsupported bitmap compression";
    return false;
  }
  return true;
}

Ref<Bitmap> decodeDIB(const uint8_t* d, size_t n, size_t pixelOffset, bool withAndMask, int32_t height,
                      const DecodeLimits& limits, std::string& error) {
  DIBHeader h;
  if (!readDIBHeader(d, n, h, error)) return nullptr;
  if (height > 0) h.height = height;  // icons store twice the height for the mask
  if (h.width <= 0 || h.height <= 0 || !limits.accepts(static_cast<size_t>(h.width), static_cast<size_t>(h.height))) {
    error = "bitmap size is beyond the decoder's limits";
    return nullptr;
  }
  const size_t w = static_cast<size_t>(h.width), ht = static_cast<size_t>(h.height);
  const int bpp = h.bitsPerPixel;
  // Bit-field masks follow a 40-byte header.
  size_t after = h.headerSize;
  if ((h.compression == 3 || h.compression == 6) && h.headerSize == 40) {
    if (n < 40 + 12) {
      error = "bitmap masks are missing";
      return nullptr;
    }
    h.redMask = le32(d + 40), h.greenMask = le32(d + 44), h.blueMask = le32(d + 48);
    after += h.compression == 6 ? 16 : 12;
    if (h.compression == 6 && n >= 56) h.alphaMask = le32(d + 52);
  }
  if (h.compression == 0 && bpp == 16) h.redMask = 0x7c00, h.greenMask = 0x03e0, h.blueMask = 0x001f;
  if (h.compression == 0 && bpp >= 24) h.redMask = 0xff0000, h.greenMask = 0xff00, h.blueMask = 0xff;
  // Palette.
  std::vector<uint8_t> palette;
  if (bpp <= 8) {
    size_t colors = h.colorsUsed ? h.colorsUsed : (size_t{1} << bpp);
    colors = std::min<size_t>(colors, 256);
    const size_t bytes = colors * h.paletteEntrySize;
    if (after + bytes > n) {
      error = "bitmap palette is incomplete";
      return nullptr;
    }
    palette.assign(d + after, d + after + bytes);
    after += bytes;
  }
  if (pixelOffset == 0) pixelOffset = after;
  const size_t stride = (w * bpp + 31) / 32 * 4;
  const size_t maskStride = (w + 31) / 32 * 4;
  std::vector<uint8_t> px(w * ht * 4, 0);
  int rs, rb, gs, gb, bs, bb, as, ab;
  maskShape(h.redMask, rs, rb), maskShape(h.greenMask, gs, gb), maskShape(h.blueMask, bs, bb), maskShape(h.alphaMask, as, ab);
  bool anyAlpha = false;
  size_t rowsRead = 0;
  for (size_t r = 0; r < ht; ++r) {
    const size_t at = pixelOffset + r * stride;
    if (at > n || n - at < stride) break;  // the data ends here; the rest stays transparent
    const uint8_t* row = d + at;
    const size_t y = h.topDown ? r : ht - 1 - r;
    uint8_t* out = &px[y * w * 4];
    for (size_t x = 0; x < w; ++x, out += 4) {
      if (bpp <= 8) {
        const size_t bit = x * bpp;
        const unsigned index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        const size_t e = size_t{index} * h.paletteEntrySize;
        if (e + 2 < palette.size()) out[0] = palette[e + 2], out[1] = palette[e + 1], out[2] = palette[e];
        out[3] = 255;
      } else {
        uint32_t p = 0;
        const size_t bytes = bpp / 8;
        for (size_t i = 0; i < bytes; ++i) p |= uint32_t(row[x * bytes + i]) << (8 * i);
        out[0] = maskValue(p, h.redMask, rs, rb);
        out[1] = maskValue(p, h.greenMask, gs, gb);
        out[2] = maskValue(p, h.blueMask, bs, bb);
        if (bpp == 32 && h.compression == 0) {
          out[3] = static_cast<uint8_t>(p >> 24);
        } else {
          out[3] = h.alphaMask ? maskValue(p, h.alphaMask, as, ab) : 255;
        }
        anyAlpha |= bpp == 32 && out[3] != 0;
      }
    }
    ++rowsRead;
  }
  if (rowsRead == 0) {
    error = "bitmap holds no pixel rows";
    return nullptr;
  }
  // 32-bit rows without any alpha are opaque (the byte is padding there).
  if (bpp == 32 && !anyAlpha) {
    for (size_t y = 0; y < ht; ++y)
      for (size_t x = 0; x < w; ++x) px[(y * w + x) * 4 + 3] = 255;
  }
  bool transparentPixels = false;
  if (withAndMask && !(bpp == 32 && anyAlpha)) {
    const size_t maskAt = pixelOffset + ht * stride;
    for (size_t r = 0; r < ht; ++r) {
      const size_t at = maskAt + r * maskStride;
      if (at > n || n - at < maskStride) break;
      const size_t y = ht - 1 - r;
      for (size_t x = 0; x < w; ++x) {
        if ((d[at + x / 8] >> (7 - x % 8)) & 1) {
          std::memset(&px[(y * w + x) * 4], 0, 4);
          transparentPixels = true;
        }
      }
    }
  }
  const bool partial = rowsRead < ht;
  if (partial && !h.topDown) {
    // Bottom-up rows that never arrived are at the top.
    std::memset(px.data(), 0, (ht - rowsRead) * w * 4);
  }
  const bool alpha = (bpp == 32 && anyAlpha) || transparentPixels || partial;
  return codec::fromRGBA(w, ht, std::move(px), alpha);
}

namespace {

class BMPReader : public ImageReader {
 public:
  BMPReader(Bytes data, DIBHeader header, const DecodeLimits& limits)
      : data_(std::move(data)), header_(header), limits_(limits) {}
  size_t frameCount() const override { return 1; }
  ImageProperties frameProperties(size_t) const override {
    ImageProperties p;
    p.pixelWidth = static_cast<size_t>(header_.width);
    p.pixelHeight = static_cast<size_t>(header_.height);
    p.depth = header_.bitsPerPixel >= 24 ? 8 : header_.bitsPerPixel;
    p.hasAlpha = header_.bitsPerPixel == 32;
    return p;
  }
  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }
  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index != 0) {
      error = "BMP has one frame";
      return nullptr;
    }
    const uint8_t* d = data_->data();
    const size_t offset = le32(d + 10);
    if (offset < 14) {
      error = "bitmap pixel offset is invalid";
      return nullptr;
    }
    return decodeDIB(d + 14, data_->size() - 14, offset - 14, false, 0, limits_, error);
  }

 private:
  Bytes data_;
  DIBHeader header_;
  DecodeLimits limits_;
};

void put16(std::vector<uint8_t>& out, uint32_t v) { out.push_back(v & 0xff), out.push_back((v >> 8) & 0xff); }
void put32(std::vector<uint8_t>& out, uint32_t v) { put16(out, v & 0xffff), put16(out, v >> 16); }

}  // namespace

std::unique_ptr<ImageReader> openBMPReader(Bytes data, bool, const DecodeLimits& limits, std::string& error) {
  if (data->size() < 14 + 16 || (*data)[0] != 'B' || (*data)[1] != 'M') {
    error = "BMP header is incomplete";
    return nullptr;
  }
  DIBHeader header;
  if (!readDIBHeader(data->data() + 14, data->size() - 14, header, error)) return nullptr;
  if (header.width <= 0 || header.height <= 0 ||
      !limits.accepts(static_cast<size_t>(header.width), static_cast<size_t>(header.height))) {
    error = "BMP size is beyond the decoder's limits";
    return nullptr;
  }
  return std::make_unique<BMPReader>(std::move(data), header, limits);
}

bool writeBMP(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error) {
  const size_t w = bitmap.width(), h = bitmap.height();
  if (w > 0x7fffffff || h > 0x7fffffff || w * h * 4 > 0x7fffffff - 54) {
    error = "image too large for BMP";
    return false;
  }
  const std::vector<uint8_t> rgba = codec::straightRGBA(bitmap);
  const uint32_t pixels = static_cast<uint32_t>(w * h * 4);
  out.push_back('B'), out.push_back('M');
  put32(out, 54 + pixels), put32(out, 0), put32(out, 54);
  put32(out, 40), put32(out, static_cast<uint32_t>(w)), put32(out, static_cast<uint32_t>(h));
  put16(out, 1), put16(out, 32), put32(out, 0), put32(out, pixels);
  put32(out, 2835), put32(out, 2835), put32(out, 0), put32(out, 0);
  for (size_t r = 0; r < h; ++r) {
    const uint8_t* row = &rgba[(h - 1 - r) * w * 4];
    for (size_t x = 0; x < w; ++x) {
      const uint8_t* p = row + x * 4;
      out.push_back(p[2]), out.push_back(p[1]), out.push_back(p[0]), out.push_back(p[3]);
    }
  }
  return true;
}

}  // namespace kit
