// Helpers for the tests of this folder: GIF files made on the spot (solid
// frames of known colours with chosen delays and loop count), a GIF with a
// frame's graphic control block cut out (a frame without a delay), and
// waiting for a model's decoding to finish, and recording the log sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/data.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/pixel_format.h"
#include "kit/testing/run_until.h"
#include "ui/images/nuva_animated_gif.h"

namespace giftest {

// Frame colours, by frame number.
inline const std::vector<kit::Pixel>& palette() {
  static const std::vector<kit::Pixel> colours{
      {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255},
      {0, 255, 255, 255}, {255, 0, 255, 255}, {128, 128, 128, 255}, {255, 255, 255, 255}};
  return colours;
}

inline kit::Ref<kit::Bitmap> solid(size_t width, size_t height, kit::Pixel colour) {
  std::vector<uint8_t> pixels(width * height * 4);
  for (size_t i = 0; i < width * height; ++i) {
    pixels[i * 4] = colour.r;
    pixels[i * 4 + 1] = colour.g;
    pixels[i * 4 + 2] = colour.b;
    pixels[i * 4 + 3] = colour.a;
  }
  return kit::Bitmap::create(width, height, kit::PixelFormat::rgba8(), 0, std::move(pixels));
}

// A GIF whose frame i is a solid square of palette()[i % 8] shown for
// delays[i] seconds. A loop count below 0 writes no loop block (no
// looping information, read as 0: forever).
inline std::vector<uint8_t> gifBytes(const std::vector<double>& delays, int loopCount = 0, size_t width = 4,
                                     size_t height = 4) {
  std::vector<kit::EncodeFrame> frames;
  for (size_t i = 0; i < delays.size(); ++i) {
    kit::EncodeFrame frame;
    frame.bitmap = solid(width, height, palette()[i % palette().size()]);
    frame.options.gifDelayTime = delays[i];
    frames.push_back(frame);
  }
  std::vector<uint8_t> out;
  std::string error;
  if (!kit::writeGIF(frames, loopCount, out, error)) out.clear();
  return out;
}

// A GIF with a large canvas but one-pixel frames, written by hand: cheap to
// write, while every decoded frame is as large as the canvas.
inline std::vector<uint8_t> sparseGIF(uint16_t width, uint16_t height, size_t frames) {
  std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a'};
  gif.insert(gif.end(), {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(height),
                         static_cast<uint8_t>(height >> 8), 0x80, 0, 0});
  gif.insert(gif.end(), {255, 0, 0, 0, 0, 255});  // two colours
  for (size_t i = 0; i < frames; ++i) {
    gif.insert(gif.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});               // 0.1 s
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0});             // 1x1 at the origin
    gif.insert(gif.end(), {2, 2, 0x44, 0x01, 0});                         // clear, colour 0, end
  }
  gif.push_back(0x3B);
  return gif;
}

// The GIF with the graphic control block in front of frame `frame` cut out,
// so that frame has no delay.
inline std::vector<uint8_t> withoutDelay(std::vector<uint8_t> gif, size_t frame) {
  auto skipSubBlocks = [&](size_t at) {
    while (at < gif.size() && gif[at] != 0) at += gif[at] + 1;
    return at + 1;
  };
  auto colourTable = [](uint8_t packed) -> size_t { return packed & 0x80 ? 3u << ((packed & 7) + 1) : 0; };
  size_t at = 13 + colourTable(gif[10]);
  size_t image = 0;
  while (at < gif.size()) {
    if (gif[at] == 0x21) {
      const size_t start = at;
      const bool control = gif[at + 1] == 0xF9;
      at = skipSubBlocks(at + 2);
      if (control && image == frame) {
        gif.erase(gif.begin() + static_cast<std::ptrdiff_t>(start), gif.begin() + static_cast<std::ptrdiff_t>(at));
        return gif;
      }
    } else if (gif[at] == 0x2C) {
      at = skipSubBlocks(at + 10 + colourTable(gif[at + 9]) + 1);
      ++image;
    } else {
      break;
    }
  }
  return gif;
}

inline kit::Ref<kit::Data> data(std::vector<uint8_t> bytes) { return kit::Data::make(std::move(bytes)); }

// Runs the model's queued decoding to the end and lets its deliveries to
// the main queue land. False on time-out.
inline bool finishDecoding(const NUVAAnimatedGIF& gif) {
  if (gif.serialQueue() && !kit::test::drain(*gif.serialQueue())) return false;
  // The marker outlives a wait that gives up: it runs later all the same.
  auto delivered = std::make_shared<bool>(false);
  kit::Queue::main().async([delivered] { *delivered = true; });
  return kit::test::runUntil([&] { return *delivered; });
}

// The frame number a solid picture shows, by its top-left colour; -1 for
// none or an unknown colour.
inline int frameNumber(const kit::Ref<kit::Image>& image) {
  if (!image || !image->bitmap()) return -1;
  const kit::Pixel p = image->bitmap()->pixelAt(0, 0);
  for (size_t i = 0; i < palette().size(); ++i)
    if (palette()[i] == p) return static_cast<int>(i);
  return -1;
}

// Records what the class-wide log sink receives while it lives.
class LogRecorder {
 public:
  explicit LogRecorder(NUVALogLevel level = NUVALogLevel::Verbose) {
    NUVAAnimatedGIF::setLogBlock(
        [this](const std::string& message, NUVALogLevel level) {
          entries_.emplace_back(message, level);
          if (!kit::RunLoop::isMainThread()) offMain_ = true;
        },
        level);
  }
  ~LogRecorder() { NUVAAnimatedGIF::setLogBlock(nullptr, NUVALogLevel::None); }

  bool contains(const std::string& text, NUVALogLevel level) const {
    for (const auto& [message, l] : entries_)
      if (l == level && message.find(text) != std::string::npos) return true;
    return false;
  }
  size_t count() const { return entries_.size(); }
  bool loggedOffMain() const { return offMain_; }

 private:
  std::vector<std::pair<std::string, NUVALogLevel>> entries_;
  std::atomic<bool> offMain_{false};
};

}  // namespace giftest
