// Pixel operations on 4-byte pixels.
#include "kit/graphics/pixel_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kit {

namespace {

bool valid(const PixelBuffer& b, size_t bytesPerPixel = 4) {
  return b.width > 0 && b.height > 0 && b.rowBytes >= b.width * bytesPerPixel &&
         b.bytes.size() >= (b.height - 1) * b.rowBytes + b.width * bytesPerPixel;
}

long checkPair(const PixelBuffer& s, const PixelBuffer& d) {
  if (!valid(s) || !valid(d)) return PixelInvalidParameter;
  if (s.width != d.width || s.height != d.height) return PixelBufferSizeMismatch;
  return PixelNoError;
}

}  // namespace

long initBuffer(PixelBuffer& buffer, size_t height, size_t width, size_t bitsPerPixel) {
  if (height == 0 || width == 0 || bitsPerPixel == 0 || bitsPerPixel % 8 != 0) return PixelInvalidParameter;
  const size_t bpp = bitsPerPixel / 8;
  if (width > (size_t{1} << 20) || height > (size_t{1} << 20)) return PixelMemoryAllocationError;
  buffer.width = width;
  buffer.height = height;
  buffer.rowBytes = (width * bpp + 15) / 16 * 16;
  buffer.bytes.assign(buffer.rowBytes * height, 0);
  return PixelNoError;
}

long bufferFromBitmap(PixelBuffer& buffer, const Bitmap& bitmap, const PixelFormat& format) {
  if (!format.isSupported() || format.bitsPerComponent != 8) return PixelInvalidImageFormat;
  if (long e = initBuffer(buffer, bitmap.height(), bitmap.width(), format.bitsPerPixel)) return e;
  std::vector<uint8_t> rgba(bitmap.width() * 4);
  for (size_t y = 0; y < bitmap.height(); ++y) {
    unpackRow(bitmap.format(), bitmap.row(y), rgba.data(), bitmap.width());
    packRow(format, rgba.data(), buffer.row(y), bitmap.width());
  }
  return PixelNoError;
}

Ref<Bitmap> bitmapFromBuffer(PixelBuffer&& buffer, const PixelFormat& format) {
  if (!valid(buffer, format.bytesPerPixel())) return nullptr;
  const size_t w = buffer.width, h = buffer.height, rowBytes = buffer.rowBytes;
  return Bitmap::create(w, h, format, rowBytes, std::move(buffer.bytes));
}

long convertBuffer(const PixelBuffer& source, const PixelFormat& sourceFormat, PixelBuffer& destination,
                   const PixelFormat& destinationFormat) {
  if (!sourceFormat.isSupported() || !destinationFormat.isSupported()) return PixelInvalidImageFormat;
  if (!valid(source, sourceFormat.bytesPerPixel()) || !valid(destination, destinationFormat.bytesPerPixel())) {
    return PixelInvalidParameter;
  }
  if (source.width != destination.width || source.height != destination.height) return PixelBufferSizeMismatch;
  std::vector<uint8_t> rgba(source.width * 4);
  for (size_t y = 0; y < source.height; ++y) {
    unpackRow(sourceFormat, source.row(y), rgba.data(), source.width);
    packRow(destinationFormat, rgba.data(), destination.row(y), source.width);
  }
  return PixelNoError;
}

long boxConvolveARGB8888(const PixelBuffer& s, PixelBuffer& d, size_t kh, size_t kw, const uint8_t* background,
                         unsigned flags) {
  if (kh == 0 || kw == 0 || kh % 2 == 0 || kw % 2 == 0) return PixelInvalidKernelSize;
  if (flags & PixelGetTempBufferSize) return static_cast<long>(std::max<size_t>(1, s.width * s.height * 16));
  if (long e = checkPair(s, d)) return e;
  const bool fill = (flags & PixelBackgroundColorFill) != 0;
  if (!fill && !(flags & PixelEdgeExtend)) {
    // Without an edge style the platform leaves edge pixels unchanged
    // ("copy in place" behaviour); kit extends edges, the usual choice.
    flags |= PixelEdgeExtend;
  }
  if (fill && !background) return PixelNullPointerArgument;
  const size_t w = s.width, h = s.height;
  const size_t rx = kw / 2, ry = kh / 2;
  const uint32_t area = static_cast<uint32_t>(kw * kh);
  // Rounded division by the area as a multiply and shift, exact for every
  // rounded sum (below 256 * area) while area < 2^20; a larger box divides.
  const bool reciprocal = area < (uint32_t{1} << 20);
  const uint64_t inverse = ((uint64_t{1} << 48) + area - 1) / area;

  // Horizontal sums of the kernel-high band of rows the vertical window
  // covers, in a ring: virtual row v (from -ry to h - 1 + ry) lives in slot
  // (v + ry) % kh, so each source row is summed once however tall the box.
  // The rows are walked in order, which keeps both passes in the cache.
  std::vector<uint32_t> ring(kh * w * 4);
  std::vector<uint8_t> padded((w + 2 * rx) * 4);
  std::vector<uint32_t> fillRow;
  if (fill) {
    fillRow.resize(w * 4);
    for (size_t x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c) fillRow[x * 4 + c] = background[c] * static_cast<uint32_t>(kw);
  }
  auto sumRow = [&](long v, uint32_t* out) {
    if (v < 0 || v >= static_cast<long>(h)) {
      if (fill) {
        std::memcpy(out, fillRow.data(), w * 4 * sizeof(uint32_t));
        return;
      }
      v = std::clamp<long>(v, 0, static_cast<long>(h) - 1);
    }
    // The row with rx pixels of edge (or background) on either side.
    const uint8_t* row = s.row(static_cast<size_t>(v));
    std::memcpy(padded.data() + rx * 4, row, w * 4);
    for (size_t i = 0; i < rx; ++i) {
      for (int c = 0; c < 4; ++c) {
        padded[i * 4 + c] = fill ? background[c] : row[c];
        padded[(rx + w + i) * 4 + c] = fill ? background[c] : row[(w - 1) * 4 + c];
      }
    }
    uint32_t sum[4] = {0, 0, 0, 0};
    for (size_t x = 0; x < kw; ++x)
      for (int c = 0; c < 4; ++c) sum[c] += padded[x * 4 + c];
    const uint8_t* enter = padded.data() + kw * 4;
    const uint8_t* leave = padded.data();
    for (size_t x = 0; x < w; ++x) {
      for (int c = 0; c < 4; ++c) out[x * 4 + c] = sum[c];
      if (x + 1 == w) break;
      for (int c = 0; c < 4; ++c) sum[c] += uint32_t{enter[x * 4 + c]} - leave[x * 4 + c];
    }
  };
  auto slot = [&](long v) { return ring.data() + static_cast<size_t>(v + static_cast<long>(ry)) % kh * w * 4; };

  std::vector<uint32_t> column(w * 4, 0);
  for (long v = -static_cast<long>(ry); v <= static_cast<long>(ry); ++v) {
    uint32_t* sums = slot(v);
    sumRow(v, sums);
    for (size_t i = 0; i < w * 4; ++i) column[i] += sums[i];
  }
  for (size_t y = 0; y < h; ++y) {
    uint8_t* out = d.row(y);
    if (reciprocal) {
      for (size_t i = 0; i < w * 4; ++i)
        out[i] = static_cast<uint8_t>((uint64_t{column[i] + area / 2} * inverse) >> 48);
    } else {
      for (size_t i = 0; i < w * 4; ++i) out[i] = static_cast<uint8_t>((column[i] + area / 2) / area);
    }
    if (y + 1 == h) break;
    // Slide down: the row leaving the window shares its slot with the one
    // entering it.
    const long entering = static_cast<long>(y + ry + 1);
    uint32_t* sums = slot(entering);
    for (size_t i = 0; i < w * 4; ++i) column[i] -= sums[i];
    sumRow(entering, sums);
    for (size_t i = 0; i < w * 4; ++i) column[i] += sums[i];
  }
  return PixelNoError;
}

long matrixMultiplyARGB8888(const PixelBuffer& s, PixelBuffer& d, const int16_t matrix[16], int32_t divisor,
                            const int16_t* preBias, const int32_t* postBias, unsigned) {
  if (!matrix) return PixelNullPointerArgument;
  if (divisor == 0) return PixelInvalidParameter;
  if (long e = checkPair(s, d)) return e;
  for (size_t y = 0; y < s.height; ++y) {
    const uint8_t* in = s.row(y);
    uint8_t* out = d.row(y);
    for (size_t x = 0; x < s.width; ++x, in += 4, out += 4) {
      int32_t v[4];
      for (int j = 0; j < 4; ++j) v[j] = in[j] + (preBias ? preBias[j] : 0);
      for (int i = 0; i < 4; ++i) {
        int64_t sum = postBias ? postBias[i] : 0;
        for (int j = 0; j < 4; ++j) sum += int64_t{v[j]} * matrix[4 * j + i];
        // Rounded to nearest, halves away from zero.
        const int64_t q = sum >= 0 ? (sum + divisor / 2) / divisor : -((-sum + divisor / 2) / divisor);
        out[i] = static_cast<uint8_t>(std::clamp<int64_t>(q, 0, 255));
      }
    }
  }
  return PixelNoError;
}

static long alphaScale(const PixelBuffer& s, PixelBuffer& d, int alphaAt, bool multiply) {
  if (long e = checkPair(s, d)) return e;
  for (size_t y = 0; y < s.height; ++y) {
    const uint8_t* in = s.row(y);
    uint8_t* out = d.row(y);
    for (size_t x = 0; x < s.width; ++x, in += 4, out += 4) {
      const uint8_t a = in[alphaAt];
      for (int c = 0; c < 4; ++c) {
        if (c == alphaAt) {
          out[c] = a;
        } else if (multiply) {
          out[c] = static_cast<uint8_t>((in[c] * a + 127) / 255);
        } else {
          out[c] = a == 0 ? 0 : static_cast<uint8_t>(std::min(255, (in[c] * 255 + a / 2) / a));
        }
      }
    }
  }
  return PixelNoError;
}

long premultiplyARGB8888(const PixelBuffer& s, PixelBuffer& d) { return alphaScale(s, d, 0, true); }
long unpremultiplyARGB8888(const PixelBuffer& s, PixelBuffer& d) { return alphaScale(s, d, 0, false); }
long premultiplyRGBA8888(const PixelBuffer& s, PixelBuffer& d) { return alphaScale(s, d, 3, true); }
long unpremultiplyRGBA8888(const PixelBuffer& s, PixelBuffer& d) { return alphaScale(s, d, 3, false); }

long permuteChannelsARGB8888(const PixelBuffer& s, PixelBuffer& d, const uint8_t map[4]) {
  if (!map) return PixelNullPointerArgument;
  for (int i = 0; i < 4; ++i) {
    if (map[i] > 3) return PixelInvalidParameter;
  }
  if (long e = checkPair(s, d)) return e;
  for (size_t y = 0; y < s.height; ++y) {
    const uint8_t* in = s.row(y);
    uint8_t* out = d.row(y);
    for (size_t x = 0; x < s.width; ++x, in += 4, out += 4) {
      const uint8_t p[4] = {in[0], in[1], in[2], in[3]};
      for (int i = 0; i < 4; ++i) out[i] = p[map[i]];
    }
  }
  return PixelNoError;
}

long affineWarpARGB8888(const PixelBuffer& s, PixelBuffer& d, const AffineTransform& transform,
                        const uint8_t* background, unsigned flags) {
  if (!valid(s) || !valid(d)) return PixelInvalidParameter;
  if (!transform.isInvertible()) return PixelInvalidParameter;
  const bool extend = (flags & PixelEdgeExtend) != 0;
  const uint8_t clear[4] = {0, 0, 0, 0};
  if (!background) background = clear;
  const AffineTransform inverse = transform.inverted();
  const double sh = static_cast<double>(s.height), dh = static_cast<double>(d.height);
  for (size_t y = 0; y < d.height; ++y) {
    uint8_t* out = d.row(y);
    for (size_t x = 0; x < d.width; ++x, out += 4) {
      // Destination pixel centre, y-up, back into the source.
      const Point p = inverse.apply(Point(x + 0.5, dh - y - 0.5));
      const double sx = p.x - 0.5, sy = (sh - p.y) - 0.5;  // source column / row space
      if (!extend && (sx < -0.5 || sy < -0.5 || sx > s.width - 0.5 || sy > s.height - 0.5)) {
        std::memcpy(out, background, 4);
        continue;
      }
      const double cx = std::clamp(sx, 0.0, static_cast<double>(s.width - 1));
      const double cy = std::clamp(sy, 0.0, static_cast<double>(s.height - 1));
      const size_t x0 = static_cast<size_t>(cx), y0 = static_cast<size_t>(cy);
      const size_t x1 = std::min(x0 + 1, s.width - 1), y1 = std::min(y0 + 1, s.height - 1);
      const double fx = cx - x0, fy = cy - y0;
      for (int c = 0; c < 4; ++c) {
        const double top = s.row(y0)[x0 * 4 + c] * (1 - fx) + s.row(y0)[x1 * 4 + c] * fx;
        const double bottom = s.row(y1)[x0 * 4 + c] * (1 - fx) + s.row(y1)[x1 * 4 + c] * fx;
        out[c] = static_cast<uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
      }
    }
  }
  return PixelNoError;
}

long reflectHorizontalARGB8888(const PixelBuffer& s, PixelBuffer& d) {
  if (long e = checkPair(s, d)) return e;
  for (size_t y = 0; y < s.height; ++y) {
    std::vector<uint8_t> row(s.row(y), s.row(y) + s.width * 4);
    for (size_t x = 0; x < s.width; ++x) std::memcpy(d.row(y) + x * 4, &row[(s.width - 1 - x) * 4], 4);
  }
  return PixelNoError;
}

long reflectVerticalARGB8888(const PixelBuffer& s, PixelBuffer& d) {
  if (long e = checkPair(s, d)) return e;
  std::vector<uint8_t> copy(s.bytes);
  for (size_t y = 0; y < s.height; ++y) {
    std::memcpy(d.row(y), copy.data() + (s.height - 1 - y) * s.rowBytes, s.width * 4);
  }
  return PixelNoError;
}

}  // namespace kit
