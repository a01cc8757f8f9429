// Fuzzes the animated GIF model: creation from arbitrary bytes, then every
// frame requested (and one past the end), the decoding on the model's queue
// run to the end with its deliveries to the main queue, the frames read
// back, and a memory warning purging the cache.
//
// Inputs whose GIF canvas is above 256x256 are skipped: every decoded frame
// is as large as the canvas, so their cost is bounded by kit's decode
// limits rather than by anything the model does.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/data.h"
#include "kit/foundation/notification_center.h"
#include "ui/images/nuva_animated_gif.h"

namespace {

bool canvasTooLarge(const uint8_t* data, size_t size) {
  if (size < 10 || data[0] != 'G' || data[1] != 'I' || data[2] != 'F') return false;
  const size_t width = data[6] | (data[7] << 8), height = data[8] | (data[9] << 8);
  return width * height > 256 * 256;
}

// Lets queued decoding finish and its main-queue deliveries land, running
// the main run loop meanwhile.
void finishDecoding(const NUVAAnimatedGIF& gif) {
  kit::QueueActivityWatch watch;
  kit::RunLoop& loop = kit::RunLoop::main();
  if (gif.serialQueue()) {
    auto decoded = std::make_shared<std::atomic<bool>>(false);
    gif.serialQueue()->barrierAsync([decoded] { decoded->store(true); });
    loop.runUntil([&] { return decoded->load(); }, 10.0);
  }
  bool delivered = false;
  kit::Queue::main().async([&delivered] { delivered = true; });
  loop.runUntil([&] { return delivered; }, 10.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (canvasTooLarge(data, size)) return 0;
  auto gif = NUVAAnimatedGIF::initWithAnimatedGIFData(kit::Data::make(data, size), 0, true);
  if (!gif) return 0;
  const size_t frames = gif->frameCount();
  for (size_t i = 0; i <= frames; ++i) gif->imageLazilyCachedAtIndex(i);
  finishDecoding(*gif);
  for (size_t i = 0; i < frames; ++i) {
    auto image = gif->imageLazilyCachedAtIndex(i);
    if (image && image->bitmap()) image->bitmap()->pixelAt(image->bitmap()->width() - 1, 0);
  }
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
  gif->imageLazilyCachedAtIndex(frames / 2);
  if (gif->cachedFrameIndexes().size() > 2) __builtin_trap();  // the warning leaves one frame and the poster
  NUVAAnimatedGIF::sizeForImage(gif);
  gif->description();
  return 0;
}
