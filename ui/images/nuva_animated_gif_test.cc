// The animated GIF model: what creation reads (delays with their fallbacks
// and floor, loop count, poster), what it refuses, the cache size chosen
// from the decoded size, the window of frames decoded ahead, memory
// warnings on the virtual clock, predrawing and the log sink.
#include "ui/images/nuva_animated_gif.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kit/foundation/app_notifications.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/string.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/type_identifiers.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "ui/images/testing/gif_test_support.h"
#include "ui/images/nuva_gif_weak_proxy.h"

namespace {

using giftest::data;
using giftest::gifBytes;
using giftest::LogRecorder;

void postMemoryWarning() {
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
}

TEST(NUVAAnimatedGIF, CreationReadsFramesDelaysLoopCountAndPoster) {
  auto bytes = data(gifBytes({0.1, 0.2, 0.3}, 2, 6, 5));
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(bytes);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->data(), bytes);
  EXPECT_EQ(gif->frameCount(), 3u);
  EXPECT_EQ(gif->loopCount(), 2u);
  const std::map<size_t, double> delays{{0, 0.1}, {1, 0.2}, {2, 0.3}};
  EXPECT_EQ(gif->delayTimesForIndexes(), delays);
  EXPECT_EQ(gif->posterImageFrameIndex(), 0u);
  EXPECT_EQ(giftest::frameNumber(gif->posterImage()), 0);
  EXPECT_EQ(gif->size(), (kit::Size{6, 5}));
  EXPECT_TRUE(gif->isPredrawingEnabled());
  // Small GIFs are cached whole; only the poster is decoded so far.
  EXPECT_EQ(gif->frameCacheSizeOptimal(), 3u);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 3u);
  EXPECT_EQ(gif->cachedFrameIndexes(), (std::set<size_t>{0}));
  EXPECT_FALSE(gif->serialQueue());
  EXPECT_NE(gif->description().find(" size={6, 5} frameCount=3"), std::string::npos) << gif->description();
  // Without a loop block the GIF loops forever.
  EXPECT_EQ(NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes({0.1, 0.1}, -1)))->loopCount(), 0u);
}

// A 1x1 GIF written by hand; each frame is its delay in hundredths and its
// compressed pixel: colour 0, colour 1, or bytes that are no valid code.
enum class Code { Colour0, Colour1, Damaged };
std::vector<uint8_t> handmadeGIF(const std::vector<std::pair<uint8_t, Code>>& frames) {
  std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255, 0, 0, 0, 0, 255};
  for (const auto& [centiseconds, pixel] : frames) {
    gif.insert(gif.end(), {0x21, 0xF9, 4, 0, centiseconds, 0, 0, 0});
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0});
    // Code size 2: clear (4), the colour, end (5), packed three bits each.
    const uint8_t first = pixel == Code::Colour0 ? 0x44 : pixel == Code::Colour1 ? 0x4C : 0xFF;
    const uint8_t second = pixel == Code::Damaged ? 0xFF : 0x01;
    gif.insert(gif.end(), {2, 2, first, second, 0});
  }
  gif.push_back(0x3B);
  return gif;
}

TEST(NUVAAnimatedGIF, CreationDecodesThePosterOnlyAndLaterFramesOnDemand) {
  // Frame 1's pixels cannot be decompressed. Creation never decompresses
  // it: every frame keeps its delay, and frame 2 after it is played.
  auto gif = NUVAAnimatedGIF::initWithAnimatedGIFData(
      data(handmadeGIF({{10, Code::Colour0}, {20, Code::Damaged}, {30, Code::Colour1}})), 0, false);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->frameCount(), 3u);
  const std::map<size_t, double> delays{{0, 0.1}, {1, 0.2}, {2, 0.3}};
  EXPECT_EQ(gif->delayTimesForIndexes(), delays);
  EXPECT_EQ(gif->cachedFrameIndexes(), (std::set<size_t>{0}));
  EXPECT_EQ(gif->posterImage()->bitmap()->pixelAt(0, 0), (kit::Pixel{255, 0, 0, 255}));

  EXPECT_FALSE(gif->imageLazilyCachedAtIndex(2));
  ASSERT_TRUE(giftest::finishDecoding(*gif));
  auto last = gif->imageLazilyCachedAtIndex(2);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->bitmap()->pixelAt(0, 0), (kit::Pixel{0, 0, 255, 255}));
  // The damaged frame shows what was on the canvas before it.
  auto damaged = gif->imageLazilyCachedAtIndex(1);
  ASSERT_TRUE(damaged);
  EXPECT_EQ(damaged->bitmap()->pixelAt(0, 0), (kit::Pixel{255, 0, 0, 255}));
}

TEST(NUVAAnimatedGIF, MissingAndTooShortDelaysFallBack) {
  // Frame 0 and frame 2 have no delay; frame 3 asks for 0.01 s, frame 4 for
  // the 0.02 s minimum.
  auto bytes = giftest::withoutDelay(giftest::withoutDelay(gifBytes({0.3, 0.05, 0.3, 0.01, 0.02}), 2), 0);
  LogRecorder logs;
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(bytes));
  ASSERT_TRUE(gif);
  const auto& delays = gif->delayTimesForIndexes();
  ASSERT_EQ(delays.size(), 5u);
  EXPECT_DOUBLE_EQ(delays.at(0), 0.1) << "a first frame without a delay gets the default";
  EXPECT_DOUBLE_EQ(delays.at(1), 0.05);
  EXPECT_DOUBLE_EQ(delays.at(2), 0.05) << "a later frame without a delay takes its predecessor's";
  EXPECT_DOUBLE_EQ(delays.at(3), 0.1) << "0.01 s is below the minimum";
  EXPECT_DOUBLE_EQ(delays.at(4), 0.02) << "the minimum itself stays";
  EXPECT_TRUE(logs.contains("Falling back to default delay time for first frame", NUVALogLevel::Info));
  EXPECT_TRUE(logs.contains("Falling back to preceding delay time for frame 2", NUVALogLevel::Info));
  EXPECT_TRUE(logs.contains("Rounding frame 3's `delayTime` from 0.010000 up to default 0.100000", NUVALogLevel::Info));
}

TEST(NUVAAnimatedGIF, RefusesWhatIsNotAUsableGIF) {
  LogRecorder logs;
  EXPECT_FALSE(NUVAAnimatedGIF::animatedImageWithGIFData(nullptr));
  EXPECT_FALSE(NUVAAnimatedGIF::animatedImageWithGIFData(kit::Data::make()));
  EXPECT_TRUE(logs.contains("No animated GIF data supplied.", NUVALogLevel::Error));

  auto png = kit::ImageDestination::create(kit::UTType::PNG, 1);
  png->addImage(giftest::solid(4, 4, giftest::palette()[0]));
  ASSERT_TRUE(png->finalize());
  EXPECT_FALSE(NUVAAnimatedGIF::animatedImageWithGIFData(data(png->data())));
  EXPECT_TRUE(logs.contains("Supplied data is of type public.png and doesn't seem to be GIF data", NUVALogLevel::Error));

  EXPECT_FALSE(NUVAAnimatedGIF::animatedImageWithGIFData(kit::Data::make(std::string_view("not a picture at all"))));
  // A GIF header and screen without a single frame.
  const std::vector<uint8_t> empty{'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B};
  EXPECT_FALSE(NUVAAnimatedGIF::animatedImageWithGIFData(data(empty)));
  // Cut inside the first frame's header.
  auto cut = gifBytes({0.1, 0.1});
  cut.resize(30);
  EXPECT_FALSE(NUVAAnimatedGIF::animatedImageWithGIFData(data(cut)));

  EXPECT_FALSE(NUVAAnimatedGIF::make());
  EXPECT_TRUE(logs.contains("Use `initWithAnimatedGIFData`", NUVALogLevel::Error));

  // One frame is enough.
  auto single = NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes({0.5})));
  ASSERT_TRUE(single);
  EXPECT_EQ(single->frameCount(), 1u);
  EXPECT_TRUE(logs.contains("Created valid GIF but with only a single frame", NUVALogLevel::Info));
}

TEST(NUVAAnimatedGIF, CacheSizeFollowsTheDecodedSize) {
  auto optimalSize = [](uint16_t width, uint16_t height, size_t frames) {
    auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(giftest::sparseGIF(width, height, frames)));
    EXPECT_TRUE(gif);
    return gif ? gif->frameCacheSizeOptimal() : 0;
  };
  // 40 frames of 140x140 decode to 3 MB: cached whole.
  EXPECT_EQ(optimalSize(140, 140, 40), 40u);
  // 6 frames of 1700x1300 decode to 50.6 MB: a window of 5.
  EXPECT_EQ(optimalSize(1700, 1300, 6), 5u);
  // 2 frames of 3200x3100 decode to 75.7 MB: one frame.
  EXPECT_EQ(optimalSize(3200, 3100, 2), 1u);
  // 10 MB exactly is still cached whole.
  EXPECT_EQ(optimalSize(512, 512, 10), 10u);
  EXPECT_EQ(optimalSize(512, 513, 10), 5u);
  // An explicit size is used, but never beyond the frame count.
  auto threeFrames = data(gifBytes({0.1, 0.1, 0.1}));
  EXPECT_EQ(NUVAAnimatedGIF::initWithAnimatedGIFData(threeFrames, 10, false)->frameCacheSizeOptimal(), 3u);
  EXPECT_EQ(NUVAAnimatedGIF::initWithAnimatedGIFData(threeFrames, 2, false)->frameCacheSizeOptimal(), 2u);

  auto gif = NUVAAnimatedGIF::initWithAnimatedGIFData(threeFrames, 0, false);
  EXPECT_FALSE(gif->isPredrawingEnabled());
  gif->setFrameCacheSizeMax(2);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 2u);
  gif->setFrameCacheSizeMax(5);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 3u) << "a cap above the optimal size changes nothing";
  gif->setFrameCacheSizeMax(0);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 3u);
}

TEST(NUVAAnimatedGIF, DecodesAWindowAheadOfThePlayheadAndPurgesBehindIt) {
  auto gif = NUVAAnimatedGIF::initWithAnimatedGIFData(data(gifBytes(std::vector<double>(20, 0.1))), 5, false);
  ASSERT_TRUE(gif);
  EXPECT_FALSE(gif->imageLazilyCachedAtIndex(18)) << "not decoded yet";
  // 18, 19, then wrapping to 0, 1, 2; the poster (0) is already there.
  EXPECT_EQ(gif->requestedFrameIndexes(), (std::set<size_t>{1, 2, 18, 19}));
  ASSERT_TRUE(gif->serialQueue());
  EXPECT_EQ(gif->serialQueue()->label(), "NUVAAnimatedGIF.framecachingqueue");
  ASSERT_TRUE(giftest::finishDecoding(*gif));
  EXPECT_EQ(gif->cachedFrameIndexes(), (std::set<size_t>{0, 1, 2, 18, 19}));
  EXPECT_TRUE(gif->requestedFrameIndexes().empty());
  auto frame18 = gif->imageLazilyCachedAtIndex(18);
  ASSERT_TRUE(frame18);
  EXPECT_EQ(giftest::frameNumber(frame18), 18 % 8);

  // Moving on to frame 5 queues 5..9; once they are in, the next request
  // drops the frames outside the window but keeps the poster.
  EXPECT_FALSE(gif->imageLazilyCachedAtIndex(5));
  EXPECT_EQ(gif->requestedFrameIndexes(), (std::set<size_t>{5, 6, 7, 8, 9}));
  ASSERT_TRUE(giftest::finishDecoding(*gif));
  EXPECT_EQ(gif->cachedFrameIndexes().size(), 10u);
  EXPECT_TRUE(gif->imageLazilyCachedAtIndex(5));
  EXPECT_EQ(gif->cachedFrameIndexes(), (std::set<size_t>{0, 5, 6, 7, 8, 9}));

  // Lowering the cap purges at once.
  gif->setFrameCacheSizeMax(1);
  EXPECT_EQ(gif->cachedFrameIndexes(), (std::set<size_t>{0, 5}));

  LogRecorder logs;
  EXPECT_FALSE(gif->imageLazilyCachedAtIndex(20));
  EXPECT_TRUE(logs.contains("Skipping requested frame 20 beyond bounds (total frame count: 20)", NUVALogLevel::Warn));
}

TEST(NUVAAnimatedGIF, SmallGIFIsDecodedWholeAndPredrawn) {
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes({0.1, 0.1, 0.1})));
  EXPECT_FALSE(gif->imageLazilyCachedAtIndex(2));
  ASSERT_TRUE(giftest::finishDecoding(*gif));
  for (size_t i = 0; i < 3; ++i) {
    auto frame = gif->imageLazilyCachedAtIndex(i);
    ASSERT_TRUE(frame) << i;
    EXPECT_EQ(giftest::frameNumber(frame), static_cast<int>(i));
  }
  EXPECT_EQ(gif->cachedFrameIndexes().size(), 3u);
  // Predrawn frames are in the drawing layout; the poster is the decoded picture.
  EXPECT_EQ(gif->imageLazilyCachedAtIndex(1)->bitmap()->format(), kit::PixelFormat::argb32());
  EXPECT_EQ(gif->posterImage()->bitmap()->alphaInfo(), kit::AlphaInfo::Last);
}

TEST(NUVAAnimatedGIF, ReleasedWhileDecodingDeliversNothing) {
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes(std::vector<double>(8, 0.1), 0, 64, 64)));
  kit::Weak<NUVAAnimatedGIF> weak = gif;
  gif->imageLazilyCachedAtIndex(1);
  kit::Ref<kit::Queue> queue = gif->serialQueue();
  gif.reset();
  EXPECT_TRUE(weak.expired()) << "queued decoding does not hold the model";
  ASSERT_TRUE(kit::test::drain(*queue));
  bool flushed = false;
  kit::Queue::main().async([&] { flushed = true; });
  EXPECT_TRUE(kit::test::runUntil([&] { return flushed; }));
}

TEST(NUVAAnimatedGIF, PredrawingKeepsThePictureScaleAndOrientation) {
  // Straight alpha: a half-transparent red pixel.
  auto straight = giftest::solid(3, 2, {255, 0, 0, 128});
  auto image = kit::Image::withBitmap(straight, 2.0, kit::ImageOrientation::Left);
  auto predrawn = NUVAAnimatedGIF::predrawnImageFromImage(image);
  ASSERT_TRUE(predrawn);
  ASSERT_NE(predrawn, image);
  EXPECT_EQ(predrawn->bitmap()->format(), kit::PixelFormat::argb32());
  EXPECT_EQ(predrawn->bitmap()->width(), 3u);
  EXPECT_EQ(predrawn->bitmap()->height(), 2u);
  EXPECT_EQ(predrawn->bitmap()->bytesPerRow(), 12u);
  EXPECT_DOUBLE_EQ(predrawn->scale(), 2.0);
  EXPECT_EQ(predrawn->orientation(), kit::ImageOrientation::Left);
  const kit::Pixel p = predrawn->bitmap()->pixelAt(2, 1);
  EXPECT_NEAR(p.r, 255, 2);
  EXPECT_EQ(p.g, 0);
  EXPECT_NEAR(p.a, 128, 1);
  // Opaque pictures skip the alpha byte.
  auto gray = kit::Bitmap::create(2, 2, kit::PixelFormat::gray8(), 0, std::vector<uint8_t>(4, 200));
  auto opaque = NUVAAnimatedGIF::predrawnImageFromImage(kit::Image::withBitmap(gray));
  EXPECT_EQ(opaque->bitmap()->format(), kit::PixelFormat::xrgb32());
  EXPECT_EQ(opaque->bitmap()->pixelAt(1, 1), (kit::Pixel{200, 200, 200, 255}));
  EXPECT_FALSE(NUVAAnimatedGIF::predrawnImageFromImage(nullptr));
}

TEST(NUVAAnimatedGIF, SizeForImageAndTheLogSink) {
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes({0.1, 0.1}, 0, 7, 3)));
  EXPECT_EQ(NUVAAnimatedGIF::sizeForImage(gif), (kit::Size{7, 3}));
  EXPECT_EQ(NUVAAnimatedGIF::sizeForImage(kit::Image::withBitmap(giftest::solid(5, 2, {}))), (kit::Size{5, 2}));
  EXPECT_EQ(NUVAAnimatedGIF::sizeForImage(nullptr), (kit::Size{}));
  {
    LogRecorder logs(NUVALogLevel::Error);
    EXPECT_EQ(NUVAAnimatedGIF::sizeForImage(kit::str("a text")), (kit::Size{}));
    EXPECT_TRUE(logs.contains("a text", NUVALogLevel::Error));
    // Messages above the installed level are not even made.
    bool made = false;
    NUVAAnimatedGIF::logStringFromBlock([&] { made = true; return std::string("detail"); }, NUVALogLevel::Info);
    EXPECT_FALSE(made);
    EXPECT_EQ(logs.count(), 1u);
  }
  // Without a sink nothing is made at all.
  bool made = false;
  NUVAAnimatedGIF::logStringFromBlock([&] { made = true; return std::string("x"); }, NUVALogLevel::Error);
  EXPECT_FALSE(made);
}

TEST(NUVAGIFWeakProxy, ForwardsWhileTheTargetLivesAndAnswersZeroAfter) {
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes({0.1, 0.1})));
  auto proxy = NUVAGIFWeakProxy::weakProxyForObject(gif);
  auto frames = [](NUVAAnimatedGIF& g) { return g.frameCount(); };
  EXPECT_EQ(proxy->forward<NUVAAnimatedGIF>(frames), 2u);
  EXPECT_EQ(proxy->forward<kit::String>([](kit::String&) { return 7; }), 0) << "a target of another kind";
  gif.reset();
  EXPECT_FALSE(proxy->target()) << "the proxy does not hold its target";
  EXPECT_EQ(proxy->forward<NUVAAnimatedGIF>(frames), 0u);
}

class NUVAAnimatedGIFMemory : public kit::test::VirtualClockTest {
 protected:
  // A five-frame GIF with every frame decoded.
  kit::Ref<NUVAAnimatedGIF> decodedGIF() {
    auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(data(gifBytes(std::vector<double>(5, 0.1))));
    gif->imageLazilyCachedAtIndex(3);
    EXPECT_TRUE(giftest::finishDecoding(*gif));
    EXPECT_EQ(gif->cachedFrameIndexes().size(), 5u);
    return gif;
  }
};

TEST_F(NUVAAnimatedGIFMemory, WarningShrinksTheCacheThenItGrowsBackAndResets) {
  auto gif = decodedGIF();
  ASSERT_EQ(gif->frameCacheSizeCurrent(), 5u);
  postMemoryWarning();
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 1u);
  // The window of one is the last requested frame, plus the poster.
  EXPECT_EQ(gif->cachedFrameIndexes(), (std::set<size_t>{0, 3}));
  advance(1.95);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 1u);
  advance(0.1);  // 2.05 s
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 2u);
  advance(2.9);  // 4.95 s
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 2u);
  advance(0.1);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 5u);
}

TEST_F(NUVAAnimatedGIFMemory, SecondWarningRestartsTheGrowthAndTheFourthKeepsOneFrame) {
  auto gif = decodedGIF();
  postMemoryWarning();
  advance(1.5);
  postMemoryWarning();
  advance(1.0);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 1u) << "the first growth was cancelled";
  advance(1.05);  // 2.05 s after the second warning
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 2u);
  // A warning after growth cancels the pending reset too.
  postMemoryWarning();
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 1u);
  advance(5.1);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 5u);
  // The fourth warning is not followed by growth.
  postMemoryWarning();
  advance(10.0);
  EXPECT_EQ(gif->frameCacheSizeCurrent(), 1u);
}

TEST_F(NUVAAnimatedGIFMemory, WarningFromAnotherThreadIsHandledOnTheMainThread) {
  auto gif = decodedGIF();
  LogRecorder logs(NUVALogLevel::Debug);
  std::thread poster(postMemoryWarning);
  poster.join();
  ASSERT_TRUE(kit::test::runUntil([&] { return gif->frameCacheSizeCurrent() == 1; }));
  EXPECT_TRUE(logs.contains("after memory warning #1 for animated image", NUVALogLevel::Debug));
  EXPECT_FALSE(logs.loggedOffMain());
}

TEST_F(NUVAAnimatedGIFMemory, PendingGrowthDoesNotKeepTheModelAlive) {
  auto gif = decodedGIF();
  kit::Weak<NUVAAnimatedGIF> weak = gif;
  postMemoryWarning();
  gif.reset();
  EXPECT_TRUE(weak.expired());
  advance(6.0);  // the cancelled growth and reset never run
  auto other = decodedGIF();
  postMemoryWarning();
  EXPECT_EQ(other->frameCacheSizeCurrent(), 1u) << "the table still reaches live instances";
}

}  // namespace
