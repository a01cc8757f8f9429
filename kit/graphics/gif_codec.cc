// GIF reading and writing with giflib. The reader walks the file's frame
// table when it opens (descriptors, colour tables and control extensions;
// the compressed pixel data is skipped, not decompressed), so opening costs
// no more than reading the blocks. Frames are decompressed when asked for,
// composited on the full canvas following each frame's disposal; the canvas
// is kept, so frames asked for in order cost one frame each. A file that
// ends inside a frame keeps that frame, with the rows it holds.
// The writer quantises colours by median cut.
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {

struct Frame {
  // Where the frame's image separator (0x2C) sits in the file.
  size_t offset = 0;
  int left = 0, top = 0, width = 0, height = 0;
  std::array<uint8_t, 256 * 3> palette{};
  int paletteSize = 0;
  int transparent = -1;
  int disposal = 0;
  // Delay and disposal come from a graphic control extension; a frame
  // without one has no delay at all (not a delay of 0).
  bool hasControl = false;
  int delayCentiseconds = 0;
};

// giflib reads through this: exactly the bytes it asks for, from `at`, so
// the position after any record is known and can be set back to a frame.
struct Reading {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
};

int readBytes(GifFileType* gif, GifByteType* buffer, int length) {
  auto* r = static_cast<Reading*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(std::max(length, 0)), r->size - r->at);
  if (n > 0) std::memcpy(buffer, r->data + r->at, n);
  r->at += n;
  return static_cast<int>(n);
}

// A giflib reader over the bytes, positioned after the screen descriptor
// and the global colour table; closed with the object.
class GIFStream {
 public:
  explicit GIFStream(const ByteSnapshot& data) : reading_{data.data(), data.size()} {
    gif_ = DGifOpen(&reading_, readBytes, &code_);
  }
  ~GIFStream() {
    if (gif_) DGifCloseFile(gif_, &code_);
  }
  GIFStream(const GIFStream&) = delete;
  GIFStream& operator=(const GIFStream&) = delete;

  GifFileType* get() const { return gif_; }
  int openError() const { return code_; }
  size_t position() const { return reading_.at; }
  void seek(size_t at) { reading_.at = std::min(at, reading_.size); }

 private:
  Reading reading_;
  int code_ = 0;
  GifFileType* gif_ = nullptr;
};

// The picture row of the n-th row in the file for an interlaced frame.
int interlacedRow(int n, int height) {
  static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int rows = start[pass] < height ? (height - start[pass] + step[pass] - 1) / step[pass] : 0;
    if (n < rows) return start[pass] + n * step[pass];
    n -= rows;
  }
  return -1;
}

class GIFReader : public ImageReader {
 public:
  GIFReader(Bytes data, const DecodeLimits& limits) : data_(std::move(data)), limits_(limits) {}

  // Reads the screen and the frame table; false when not even the first
  // frame's descriptor is present.
  bool parse(std::string& error) {
    GIFStream stream(*data_);
    GifFileType* gif = stream.get();
    if (!gif) {
      error = std::string("GIF header unreadable: ") +
              (GifErrorString(stream.openError()) ? GifErrorString(stream.openError()) : "");
      return false;
    }
    width_ = gif->SWidth;
    height_ = gif->SHeight;
    if (!limits_.accepts(width_, height_)) {
      error = "GIF canvas of " + std::to_string(width_) + "x" + std::to_string(height_) +
              " is beyond the decoder's limits";
      return false;
    }
    hasGlobalMap_ = gif->SColorMap != nullptr;
    readFrameTable(stream, error);
    if (frames_.empty()) {
      if (error.empty()) error = "GIF holds no frames yet";
      return false;
    }
    return true;
  }

  size_t frameCount() const override { return frames_.size(); }

  ImageProperties frameProperties(size_t index) const override {
    ImageProperties p;
    if (index >= frames_.size()) return p;
    p.pixelWidth = width_;
    p.pixelHeight = height_;
    p.hasAlpha = true;
    if (frames_[index].hasControl) {
      const double delay = frames_[index].delayCentiseconds / 100.0;
      p.gifUnclampedDelayTime = delay;
      p.gifDelayTime = delay < 0.011 ? 0.1 : delay;
    }
    return p;
  }

  FileProperties fileProperties() const override {
    FileProperties f;
    f.fileSize = data_->size();
    f.gifLoopCount = loopCount_;
    f.gifHasGlobalColorMap = hasGlobalMap_;
    return f;
  }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index >= frames_.size()) {
      error = "GIF frame index out of range";
      return nullptr;
    }
    if (canvas_.empty() || nextFrame_ > index) {
      canvas_.assign(width_ * height_ * 4, 0);
      nextFrame_ = 0;
    }
    GIFStream stream(*data_);
    if (!stream.get()) {
      error = "GIF header unreadable";
      return nullptr;
    }
    Ref<Bitmap> result;
    while (nextFrame_ <= index) {
      const Frame& f = frames_[nextFrame_];
      std::vector<uint8_t> before;
      if (f.disposal == DISPOSE_PREVIOUS) before = canvas_;
      draw(f, stream);
      if (nextFrame_ == index) result = codec::fromRGBA(width_, height_, canvas_, true);
      if (f.disposal == DISPOSE_BACKGROUND) clear(f);
      else if (f.disposal == DISPOSE_PREVIOUS) canvas_ = std::move(before);
      ++nextFrame_;
    }
    if (!result) error = "out of memory";
    return result;
  }

 private:
  void readFrameTable(GIFStream& stream, std::string& error) {
    GifFileType* gif = stream.get();
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    bool sawControl = false;
    for (;;) {
      const size_t recordStart = stream.position();
      GifRecordType type;
      if (DGifGetRecordType(gif, &type) == GIF_ERROR) return;
      if (type == TERMINATE_RECORD_TYPE) return;
      if (type == EXTENSION_RECORD_TYPE) {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return;
        bool netscape = false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
          DGifExtensionToGCB(block[0], block + 1, &gcb);
          sawControl = true;
        } else if (code == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                   (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0)) {
          netscape = true;
        }
        while (block) {
          if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return;
          if (netscape && block && block[0] >= 3 && block[1] == 1) {
            loopCount_ = block[2] | (block[3] << 8);
            netscape = false;
          }
        }
        continue;
      }
      if (type != IMAGE_DESC_RECORD_TYPE) continue;
      if (frames_.size() >= limits_.maxFrames) {
        error = "GIF has more frames than the decoder's limit";
        return;
      }
      if (DGifGetImageDesc(gif) == GIF_ERROR) return;
      Frame f;
      f.offset = recordStart;
      const GifImageDesc& desc = gif->Image;
      f.left = desc.Left;
      f.top = desc.Top;
      f.width = desc.Width;
      f.height = desc.Height;
      if (f.width <= 0 || f.height <= 0 || !limits_.accepts(f.width, f.height)) {
        error = "GIF frame size is beyond the decoder's limits";
        return;
      }
      const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
      if (map) {
        f.paletteSize = std::min(map->ColorCount, 256);
        for (int i = 0; i < f.paletteSize; ++i) {
          f.palette[i * 3] = map->Colors[i].Red;
          f.palette[i * 3 + 1] = map->Colors[i].Green;
          f.palette[i * 3 + 2] = map->Colors[i].Blue;
        }
      }
      f.transparent = gcb.TransparentColor;
      f.disposal = gcb.DisposalMode;
      f.delayCentiseconds = gcb.DelayTime;
      f.hasControl = sawControl;
      gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
      sawControl = false;
      frames_.push_back(f);
      // Step over the compressed data, block by block.
      int codeSize = 0;
      GifByteType* block = nullptr;
      if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return;  // the data ends inside this frame
      while (block) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return;
      }
    }
  }

  // Decompresses the frame's rows from the file and paints them; rows the
  // file does not hold (it ends, or the data is damaged) are left alone.
  void draw(const Frame& f, GIFStream& stream) {
    GifFileType* gif = stream.get();
    stream.seek(f.offset);
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR || type != IMAGE_DESC_RECORD_TYPE) return;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return;
    const bool interlaced = gif->Image.Interlace;
    rowIndices_.resize(size_t(f.width));
    for (int n = 0; n < f.height; ++n) {
      const int y = interlaced ? interlacedRow(n, f.height) : n;
      if (y < 0 || DGifGetLine(gif, rowIndices_.data(), f.width) == GIF_ERROR) return;
      paintRow(f, y, rowIndices_.data());
    }
  }

  void paintRow(const Frame& f, int y, const uint8_t* row) {
    const int cy = f.top + y;
    if (cy < 0 || static_cast<size_t>(cy) >= height_) return;
    for (int x = 0; x < f.width; ++x) {
      const int cx = f.left + x;
      if (cx < 0 || static_cast<size_t>(cx) >= width_) continue;
      const int i = row[x];
      if (i == f.transparent || i >= f.paletteSize) continue;
      uint8_t* p = &canvas_[(size_t(cy) * width_ + cx) * 4];
      p[0] = f.palette[i * 3];
      p[1] = f.palette[i * 3 + 1];
      p[2] = f.palette[i * 3 + 2];
      p[3] = 255;
    }
  }

  void clear(const Frame& f) {
    for (int y = std::max(0, f.top); y < f.top + f.height && static_cast<size_t>(y) < height_; ++y) {
      const int x0 = std::max(0, f.left);
      const int x1 = std::min<int>(static_cast<int>(width_), f.left + f.width);
      if (x1 > x0) std::memset(&canvas_[(size_t(y) * width_ + x0) * 4], 0, size_t(x1 - x0) * 4);
    }
  }

  Bytes data_;
  DecodeLimits limits_;
  size_t width_ = 0, height_ = 0;
  bool hasGlobalMap_ = false;
  std::optional<int> loopCount_;
  std::vector<Frame> frames_;
  std::vector<uint8_t> canvas_;
  std::vector<uint8_t> rowIndices_;
  size_t nextFrame_ = 0;
};

// ---- Writing ----

int appendBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

struct Box {
  std::vector<uint32_t> colors;  // 15-bit buckets
  uint64_t weight = 0;
};

// A palette of at most `maxColors` colours for the opaque pixels, and each
// pixel's index (transparent pixels get `transparentIndex`).
void quantize(const std::vector<uint8_t>& rgba, size_t count, int maxColors, int transparentIndex,
              std::vector<uint8_t>& indices, std::vector<GifColorType>& palette) {
  std::vector<uint32_t> histogram(32768, 0);
  std::vector<uint32_t> exact;
  bool fitsExactly = true;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = &rgba[i * 4];
    if (p[3] < 128) continue;
    const uint32_t rgb = (uint32_t(p[0]) << 16) | (p[1] << 8) | p[2];
    ++histogram[((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3)];
    if (fitsExactly && std::find(exact.begin(), exact.end(), rgb) == exact.end()) {
      if (static_cast<int>(exact.size()) < maxColors) exact.push_back(rgb);
      else fitsExactly = false;
    }
  }
  indices.assign(count, static_cast<uint8_t>(transparentIndex));
  palette.clear();
  if (fitsExactly) {
    for (uint32_t rgb : exact) {
      palette.push_back({static_cast<GifByteType>(rgb >> 16), static_cast<GifByteType>(rgb >> 8),
                         static_cast<GifByteType>(rgb)});
    }
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* p = &rgba[i * 4];
      if (p[3] < 128) continue;
      const uint32_t rgb = (uint32_t(p[0]) << 16) | (p[1] << 8) | p[2];
      indices[i] = static_cast<uint8_t>(std::find(exact.begin(), exact.end(), rgb) - exact.begin());
    }
    return;
  }
  // Median cut over the 15-bit histogram.
  std::vector<Box> boxes(1);
  for (uint32_t c = 0; c < 32768; ++c) {
    if (histogram[c]) {
      boxes[0].colors.push_back(c);
      boxes[0].weight += histogram[c];
    }
  }
  auto channel = [](uint32_t c, int ch) { return (c >> (10 - 5 * ch)) & 31; };
  while (static_cast<int>(boxes.size()) < maxColors) {
    size_t pick = boxes.size();
    int bestRange = 0, bestChannel = 0;
    for (size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b].colors.size() < 2) continue;
      for (int ch = 0; ch < 3; ++ch) {
        uint32_t lo = 31, hi = 0;
        for (uint32_t c : boxes[b].colors) lo = std::min(lo, channel(c, ch)), hi = std::max(hi, channel(c, ch));
        if (static_cast<int>(hi - lo) > bestRange) bestRange = static_cast<int>(hi - lo), bestChannel = ch, pick = b;
      }
    }
    if (pick == boxes.size()) break;
    Box& box = boxes[pick];
    std::sort(box.colors.begin(), box.colors.end(),
              [&](uint32_t a, uint32_t b) { return channel(a, bestChannel) < channel(b, bestChannel); });
    uint64_t half = 0, running = 0;
    for (uint32_t c : box.colors) half += histogram[c];
    half /= 2;
    size_t split = 1;
    for (size_t i = 0; i + 1 < box.colors.size(); ++i) {
      running += histogram[box.colors[i]];
      split = i + 1;
      if (running >= half) break;
    }
    Box other;
    other.colors.assign(box.colors.begin() + static_cast<std::ptrdiff_t>(split), box.colors.end());
    box.colors.resize(split);
    boxes.push_back(std::move(other));
  }
  std::vector<int> bucketIndex(32768, -1);
  for (size_t b = 0; b < boxes.size(); ++b) {
    uint64_t r = 0, g = 0, bl = 0, w = 0;
    for (uint32_t c : boxes[b].colors) {
      const uint64_t n = histogram[c];
      r += n * (channel(c, 0) * 8 + 4), g += n * (channel(c, 1) * 8 + 4), bl += n * (channel(c, 2) * 8 + 4);
      w += n;
      bucketIndex[c] = static_cast<int>(b);
    }
    w = std::max<uint64_t>(w, 1);
    palette.push_back({static_cast<GifByteType>(r / w), static_cast<GifByteType>(g / w), static_cast<GifByteType>(bl / w)});
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = &rgba[i * 4];
    if (p[3] < 128) continue;
    indices[i] = static_cast<uint8_t>(bucketIndex[((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3)]);
  }
}

}  // namespace

std::unique_ptr<ImageReader> openGIFReader(Bytes data, bool, const DecodeLimits& limits, std::string& error) {
  auto reader = std::make_unique<GIFReader>(std::move(data), limits);
  if (!reader->parse(error)) return nullptr;
  return reader;
}

bool writeGIF(const std::vector<EncodeFrame>& frames, int loopCount, std::vector<uint8_t>& out, std::string& error) {
  if (frames.empty()) {
    error = "GIF needs at least one image";
    return false;
  }
  size_t canvasW = 0, canvasH = 0;
  for (const auto& f : frames) {
    canvasW = std::max(canvasW, f.bitmap->width());
    canvasH = std::max(canvasH, f.bitmap->height());
  }
  if (canvasW > 65535 || canvasH > 65535) {
    error = "GIF images are limited to 65535 pixels a side";
    return false;
  }
  const size_t start = out.size();
  int code = 0;
  GifFileType* gif = EGifOpen(&out, appendBytes, &code);
  if (!gif) {
    error = "GIF writer could not start";
    return false;
  }
  bool ok = true;
  EGifSetGifVersion(gif, true);
  ok = EGifPutScreenDesc(gif, static_cast<int>(canvasW), static_cast<int>(canvasH), 8, 0, nullptr) != GIF_ERROR;
  if (ok && loopCount >= 0) {
    const GifByteType loop[3] = {1, static_cast<GifByteType>(loopCount & 0xff),
                                 static_cast<GifByteType>((loopCount >> 8) & 0xff)};
    ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_ERROR && EGifPutExtensionBlock(gif, 3, loop) != GIF_ERROR &&
         EGifPutExtensionTrailer(gif) != GIF_ERROR;
  }
  for (size_t i = 0; ok && i < frames.size(); ++i) {
    const Bitmap& bitmap = *frames[i].bitmap;
    const size_t w = bitmap.width(), h = bitmap.height();
    const std::vector<uint8_t> rgba = codec::straightRGBA(bitmap);
    std::vector<uint8_t> indices;
    std::vector<GifColorType> colors;
    quantize(rgba, w * h, 255, 255, indices, colors);
    colors.resize(256, GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(256, colors.data());
    GraphicsControlBlock gcb;
    gcb.DisposalMode = DISPOSE_BACKGROUND;
    gcb.UserInputFlag = false;
    gcb.DelayTime = static_cast<int>(std::lround(std::max(0.0, frames[i].options.gifDelayTime) * 100));
    gcb.TransparentColor = 255;
    GifByteType extension[4];
    EGifGCBToExtension(&gcb, extension);
    ok = map && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
         EGifPutImageDesc(gif, 0, 0, static_cast<int>(w), static_cast<int>(h), false, map) != GIF_ERROR;
    for (size_t y = 0; ok && y < h; ++y) {
      ok = EGifPutLine(gif, indices.data() + y * w, static_cast<int>(w)) != GIF_ERROR;
    }
    GifFreeMapObject(map);
  }
  if (EGifCloseFile(gif, &code) == GIF_ERROR) ok = false;
  if (!ok) {
    out.resize(start);
    error = "GIF encoding failed";
  }
  return ok;
}

}  // namespace kit
