// Animated PNG files for the tests and benchmarks, built chunk by chunk from
// the file format itself (signature; chunks of length, type, data and
// CRC-32; "IHDR", "acTL", "fcTL", "fdAT", "IDAT", "IEND"), independently of
// the codec's own writer, so that reader and writer cannot share a mistake.
// Image data is 8-bit RGBA with filter 0 on every row, deflated (or kept in
// stored blocks, when a test needs chunks of an exact size).
//
// Also here: a reference compositor that plays the frames by the format's
// rules (output buffer cleared at the start; blend source replaces, over
// composes; dispose background clears the frame's region, previous restores
// what was there before the frame), in floating point.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/graphics/bitmap.h"
#include "kit/graphics/pixel_format.h"

namespace apngtest {

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

inline void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
inline void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline uint32_t get32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The signature and every chunk with its CRC over type and data.
inline std::vector<uint8_t> serialize(const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const Chunk& c : chunks) {
    put32(out, static_cast<uint32_t>(c.data.size()));
    std::vector<uint8_t> typed(c.type.begin(), c.type.end());
    typed.insert(typed.end(), c.data.begin(), c.data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    put32(out, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
  }
  return out;
}

// The chunks of a PNG file (no CRC check), for reading back what was written.
inline std::vector<Chunk> parse(const std::vector<uint8_t>& file) {
  std::vector<Chunk> chunks;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t length = get32(&file[at]);
    if (at + 12 + uint64_t{length} > file.size()) break;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
    c.data.assign(file.begin() + at + 8, file.begin() + at + 8 + length);
    chunks.push_back(std::move(c));
    at += 12 + length;
  }
  return chunks;
}

inline Chunk ihdr(uint32_t width, uint32_t height, uint8_t bitDepth = 8, uint8_t colorType = 6) {
  Chunk c{"IHDR", {}};
  put32(c.data, width);
  put32(c.data, height);
  c.data.insert(c.data.end(), {bitDepth, colorType, 0, 0, 0});
  return c;
}
inline Chunk actl(uint32_t frames, uint32_t plays) {
  Chunk c{"acTL", {}};
  put32(c.data, frames);
  put32(c.data, plays);
  return c;
}
inline Chunk fctl(uint32_t sequence, uint32_t width, uint32_t height, uint32_t x, uint32_t y, uint16_t delayNumerator,
                  uint16_t delayDenominator, uint8_t dispose, uint8_t blend) {
  Chunk c{"fcTL", {}};
  put32(c.data, sequence);
  put32(c.data, width);
  put32(c.data, height);
  put32(c.data, x);
  put32(c.data, y);
  put16(c.data, delayNumerator);
  put16(c.data, delayDenominator);
  c.data.push_back(dispose);
  c.data.push_back(blend);
  return c;
}
inline Chunk fdat(uint32_t sequence, const std::vector<uint8_t>& imageData) {
  // Sized first and filled in place: g++ -O3 warns falsely about a vector
  // insert here.
  Chunk c{"fdAT", std::vector<uint8_t>(4 + imageData.size())};
  for (int i = 0; i < 4; ++i) c.data[i] = static_cast<uint8_t>(sequence >> (24 - 8 * i));
  std::copy(imageData.begin(), imageData.end(), c.data.begin() + 4);
  return c;
}
inline Chunk idat(std::vector<uint8_t> imageData) { return Chunk{"IDAT", std::move(imageData)}; }
inline Chunk iend() { return Chunk{"IEND", {}}; }

// Straight RGBA pixels, row after row.
inline std::vector<uint8_t> rgbaPixels(const kit::Bitmap& bitmap) {
  std::vector<uint8_t> out;
  for (size_t y = 0; y < bitmap.height(); ++y) {
    for (size_t x = 0; x < bitmap.width(); ++x) {
      const kit::Pixel p = bitmap.pixelAt(x, y);
      out.insert(out.end(), {p.r, p.g, p.b, p.a});
    }
  }
  return out;
}

// Rows with filter byte 0, then a zlib stream: deflated, or in stored
// blocks padded with empty stored blocks to `exactSize` bytes when that is
// given (it must leave a multiple of 5 bytes of padding).
inline std::vector<uint8_t> imageData(const kit::Bitmap& bitmap, bool stored = false, size_t exactSize = 0) {
  const std::vector<uint8_t> pixels = rgbaPixels(bitmap);
  std::vector<uint8_t> raw;
  const size_t row = bitmap.width() * 4;
  for (size_t y = 0; y < bitmap.height(); ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), pixels.begin() + y * row, pixels.begin() + (y + 1) * row);
  }
  if (!stored) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
  }
  std::vector<uint8_t> out{0x78, 0x01};
  const size_t minimum = 2 + 5 + raw.size() + 4;
  const size_t empties = exactSize > minimum ? (exactSize - minimum) / 5 : 0;
  for (size_t i = 0; i < empties; ++i) out.insert(out.end(), {0x00, 0x00, 0x00, 0xFF, 0xFF});
  const auto length = static_cast<uint16_t>(raw.size());
  out.insert(out.end(), {0x01, uint8_t(length), uint8_t(length >> 8), uint8_t(~length), uint8_t(~length >> 8)});
  out.insert(out.end(), raw.begin(), raw.end());
  put32(out, static_cast<uint32_t>(adler32(1, raw.data(), static_cast<uInt>(raw.size()))));
  return out;
}

// Splits image data into pieces of the given sizes (the rest in the last).
inline std::vector<std::vector<uint8_t>> split(const std::vector<uint8_t>& data, const std::vector<size_t>& sizes) {
  std::vector<std::vector<uint8_t>> pieces;
  size_t at = 0;
  for (size_t i = 0; i < sizes.size() && at < data.size(); ++i) {
    const size_t n = i + 1 == sizes.size() ? data.size() - at : std::min(sizes[i], data.size() - at);
    pieces.emplace_back(data.begin() + at, data.begin() + at + n);
    at += n;
  }
  return pieces;
}

struct Frame {
  kit::Ref<kit::Bitmap> pixels;
  uint32_t x = 0, y = 0;  // from the top-left corner
  uint16_t delayNumerator = 1, delayDenominator = 10;
  uint8_t dispose = 0, blend = 0;
};

struct Options {
  uint32_t plays = 0;
  // When set, the default image, shown by viewers without animation and
  // not part of it (its "IDAT" run comes before the first "fcTL").
  kit::Ref<kit::Bitmap> defaultImage;
  bool stored = false;
};

// An animated PNG's chunks: frame 0 is the default image unless
// options.defaultImage is given; sequence numbers run from 0 over "fcTL" and
// "fdAT" in file order.
inline std::vector<Chunk> animation(uint32_t width, uint32_t height, const std::vector<Frame>& frames,
                                    const Options& options = {}) {
  std::vector<Chunk> chunks{ihdr(width, height), actl(static_cast<uint32_t>(frames.size()), options.plays)};
  uint32_t sequence = 0;
  if (options.defaultImage) chunks.push_back(idat(imageData(*options.defaultImage, options.stored)));
  for (size_t i = 0; i < frames.size(); ++i) {
    const Frame& f = frames[i];
    chunks.push_back(fctl(sequence++, static_cast<uint32_t>(f.pixels->width()),
                          static_cast<uint32_t>(f.pixels->height()), f.x, f.y, f.delayNumerator, f.delayDenominator,
                          f.dispose, f.blend));
    std::vector<uint8_t> data = imageData(*f.pixels, options.stored);
    if (i == 0 && !options.defaultImage) chunks.push_back(idat(std::move(data)));
    else chunks.push_back(fdat(sequence++, data));
  }
  chunks.push_back(iend());
  return chunks;
}

inline std::vector<uint8_t> animatedPNG(uint32_t width, uint32_t height, const std::vector<Frame>& frames,
                                        const Options& options = {}) {
  return serialize(animation(width, height, frames, options));
}

// A bitmap of straight RGBA pixels given row after row.
inline kit::Ref<kit::Bitmap> bitmap(size_t width, size_t height, const std::vector<kit::Pixel>& pixels) {
  std::vector<uint8_t> bytes;
  for (const kit::Pixel& p : pixels) bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
  bytes.resize(width * height * 4);
  return kit::Bitmap::create(width, height, kit::PixelFormat::rgba8(), 0, std::move(bytes));
}

// A reference canvas pixel: premultiplied components from 0 to 255, and
// whether it came out of copies alone (no alpha arithmetic), so that it must
// match exactly.
struct Shown {
  double r = 0, g = 0, b = 0, a = 0;
  bool exact = true;
};
using Canvas = std::vector<Shown>;

// What the format's rules show for every frame, in order.
inline std::vector<Canvas> compose(size_t width, size_t height, const std::vector<Frame>& frames) {
  Canvas canvas(width * height);
  std::vector<Canvas> shown;
  for (const Frame& f : frames) {
    const Canvas before = canvas;
    for (size_t y = 0; y < f.pixels->height(); ++y) {
      for (size_t x = 0; x < f.pixels->width(); ++x) {
        const kit::Pixel p = f.pixels->pixelAt(x, y);
        // 8-bit premultiplied, rounded after every step as a bitmap holds it.
        auto premultiply = [&](uint8_t c) { return double((c * p.a + 127) / 255); };
        Shown source{premultiply(p.r), premultiply(p.g), premultiply(p.b), double(p.a), true};
        Shown& d = canvas[(f.y + y) * width + f.x + x];
        if (f.blend == 0 || p.a == 255) {
          d = source;
        } else if (p.a != 0) {
          const double keep = (255.0 - p.a) / 255.0;
          auto over = [&](double s, double under) { return std::round(s + under * keep); };
          d = {over(source.r, d.r), over(source.g, d.g), over(source.b, d.b), over(source.a, d.a), false};
        }
      }
    }
    shown.push_back(canvas);
    for (size_t y = 0; y < f.pixels->height(); ++y) {
      for (size_t x = 0; x < f.pixels->width(); ++x) {
        const size_t i = (f.y + y) * width + f.x + x;
        if (f.dispose == 1) canvas[i] = Shown{};
        if (f.dispose == 2) canvas[i] = before[i];
      }
    }
  }
  return shown;
}

// The largest difference between a decoded frame and a reference canvas,
// premultiplied components compared; 256 when a pixel that must be exact
// differs at all, or the sizes differ.
inline int difference(const kit::Bitmap& actual, const Canvas& expected, size_t width, size_t height) {
  if (actual.width() != width || actual.height() != height) return 256;
  const auto argb = actual.premultipliedARGB();
  int worst = 0;
  for (size_t i = 0; i < width * height; ++i) {
    const uint32_t v = argb[i];
    const int got[4] = {int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF), int(v >> 24)};
    const Shown& e = expected[i];
    const double want[4] = {e.r, e.g, e.b, e.a};
    for (int c = 0; c < 4; ++c) {
      const int d = std::abs(got[c] - static_cast<int>(std::lround(want[c])));
      if (d > 0 && e.exact) return 256;
      worst = std::max(worst, d);
    }
  }
  return worst;
}

}  // namespace apngtest
