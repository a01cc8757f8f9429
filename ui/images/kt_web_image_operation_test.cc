// The image download operation against the loopback image server: cache
// levels, progress, failures and the failed-address list, decoding and the
// transform, threads, authentication, cancellation and partial images.
#include "ui/images/kt_web_image_operation.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/format.h"
#include "kit/testing/temp_directory.h"
#include "kit/ui/screen.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_type.h"
#include "ui/images/kt_web_image_manager.h"
#include "ui/images/testing/web_image_recorder.h"
#include "ui/images/testing/web_image_test_support.h"

namespace {

using webimagetest::Call;
using webimagetest::ImageServer;
using webimagetest::Pictures;
using webimagetest::Recorder;

constexpr const char* kNetworkThread = "KTWebImageOperation.network";

// Addresses unique to the process: the failed-address list outlives tests.
std::string unique(const std::string& address) {
  static std::atomic<int> counter{0};
  return address + "?n=" + std::to_string(counter.fetch_add(1));
}

class WebImageOperationTest : public ::testing::Test {
 protected:
  kit::Ref<KTWebImageOperation> request(const std::string& path, KTWebImageOptions options, Recorder& recorder,
                                        KTWebImageTransformBlock transform = nullptr, bool withProgress = true) {
    return requestURL(server_.url(path), options, recorder, std::move(transform), withProgress);
  }
  kit::Ref<KTWebImageOperation> requestURL(const std::string& address, KTWebImageOptions options, Recorder& recorder,
                                           KTWebImageTransformBlock transform = nullptr, bool withProgress = true) {
    return manager_->requestImageWithURL(kit::URL::URLWithString(address), options,
                                         withProgress ? recorder.progress() : nullptr, std::move(transform),
                                         recorder.completion());
  }
  Call load(const std::string& path, KTWebImageOptions options = {}) {
    Recorder recorder;
    request(path, options, recorder);
    EXPECT_TRUE(recorder.waitForEnd());
    return recorder.last();
  }
  kit::Ref<kit::String> key(const std::string& path) { return kit::String::make(server_.url(path)); }
  // Waits for the queued store of a finished download.
  bool stored(const std::string& path, KTImageCacheType type) {
    return kit::test::runUntil([&] { return cache_->containsImageForKey(key(path), type); });
  }

  kit::test::TempDirectory dir_{"web-image-operation"};
  ImageServer server_;
  kit::Ref<KTImageCache> cache_ = KTImageCache::initWithPath(kit::String::make(dir_.path()));
  kit::Ref<KTWebImageManager> manager_ =
      KTWebImageManager::initWithCache(cache_, kit::OperationQueue::create("web-image-test"));
};

TEST_F(WebImageOperationTest, ComesFromTheServerThenMemoryThenDisk) {
  try {
    KTWebImageOperation::init();
    FAIL() << "init must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "KTWebImageOperation init error");
  }
  EXPECT_FALSE(KTWebImageOperation::initWithRequest(nullptr, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr,
                                                    nullptr));
  Recorder first;
  auto op = request("/baseline.jpg", KTWebImageOptions{}, first);
  ASSERT_TRUE(first.waitForEnd());
  Call remote = first.last();
  EXPECT_EQ(remote.from, KTWebImageSourceRemote);
  EXPECT_EQ(remote.stage, KTWebImageStageFinished);
  ASSERT_TRUE(remote.image);
  EXPECT_FALSE(remote.error);
  double scale = kit::Screen::main()->scale();
  EXPECT_EQ(remote.image->size().width * scale, 64);
  EXPECT_EQ(remote.image->size().height * scale, 48);
  ASSERT_TRUE(kit::test::runUntil([&] { return op->isFinished(); }));
  EXPECT_EQ(op->description(),
            kit::formatString("<KTWebImageOperation: %p  executing:NO finished:YES cancelled:NO>",
                              static_cast<const void*>(op.get())));
  ASSERT_TRUE(stored("/baseline.jpg", KTImageCacheTypeMemory));
  ASSERT_TRUE(stored("/baseline.jpg", KTImageCacheTypeDisk));
  auto bytes = cache_->getImageDataForKey(key("/baseline.jpg"));
  EXPECT_TRUE(bytes->isEqualToData(*kit::Data::make(Pictures::shared().baselineJPEG)));

  EXPECT_EQ(load("/baseline.jpg").from, KTWebImageSourceMemory);
  EXPECT_EQ(server_.hits("/baseline.jpg"), 1u);
  cache_->memoryCache()->removeAllObjects();
  Call disk = load("/baseline.jpg");
  EXPECT_EQ(disk.from, KTWebImageSourceDisk);
  ASSERT_TRUE(disk.image);
  EXPECT_TRUE(cache_->containsImageForKey(key("/baseline.jpg"), KTImageCacheTypeMemory));
  EXPECT_EQ(server_.hits("/baseline.jpg"), 1u);

  EXPECT_EQ(load("/baseline.jpg", KTWebImageOptionRefreshCache).from, KTWebImageSourceRemote);
  EXPECT_EQ(load("/baseline.jpg", KTWebImageOptionUseURLCache).from, KTWebImageSourceRemote);
  EXPECT_EQ(server_.hits("/baseline.jpg"), 3u);
}

TEST_F(WebImageOperationTest, ProgressStartsAtZeroAndCountsEveryChunk) {
  Recorder sized;
  request("/plain.png", KTWebImageOptions{}, sized);
  ASSERT_TRUE(sized.waitForEnd());
  const auto total = static_cast<int64_t>(Pictures::shared().plainPNG.size());
  auto calls = sized.progressCalls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), std::make_pair(int64_t{0}, total));
  EXPECT_EQ(calls.back(), std::make_pair(total, total));

  Recorder chunked;
  request("/chunked.jpg", KTWebImageOptions{}, chunked);
  ASSERT_TRUE(chunked.waitForEnd());
  EXPECT_TRUE(chunked.last().image);
  calls = chunked.progressCalls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), std::make_pair(int64_t{0}, int64_t{-1}));
  int64_t previous = 0;
  for (size_t i = 1; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].second, -1);
    EXPECT_GT(calls[i].first, previous);
    previous = calls[i].first;
  }
  EXPECT_EQ(previous, static_cast<int64_t>(Pictures::shared().baselineJPEG.size()));
}

TEST_F(WebImageOperationTest, FileAddressesLoadWithTheirSizeAndWithoutTheIndicator) {
  const auto& bytes = Pictures::shared().plainPNG;
  const std::string path = dir_.file("picture.png");
  ASSERT_TRUE(kit::FileManager::defaultManager()->createFileAtPath(path, kit::Data::make(bytes)));
  Recorder recorder;
  const long before = KTWebImageManager::currentNetworkActivityCount();
  requestURL("file://" + path, KTWebImageOptionNetworkIndicator, recorder);
  ASSERT_TRUE(recorder.waitForEnd());
  Call file = recorder.last();
  ASSERT_TRUE(file.image) << kit::describe(file.error);
  EXPECT_EQ(file.from, KTWebImageSourceRemote);
  bool sawSize = false;
  for (const auto& [received, expected] : recorder.progressCalls()) sawSize |= expected == int64_t(bytes.size());
  EXPECT_TRUE(sawSize);
  EXPECT_EQ(KTWebImageManager::currentNetworkActivityCount(), before);
}

TEST_F(WebImageOperationTest, FailuresFinishOnceAndTheFailedListRefusesOnlyOnRequest) {
  for (int status : {404, 500, 304}) {
    Recorder recorder;
    request("/status/" + std::to_string(status), KTWebImageOptions{}, recorder);
    ASSERT_TRUE(recorder.waitForEnd());
    kit::RunLoop::main().runUntil([] { return false; }, 0.05);
    ASSERT_EQ(recorder.calls().size(), 1u) << status;
    Call call = recorder.last();
    EXPECT_EQ(call.stage, KTWebImageStageFinished);
    EXPECT_FALSE(call.image);
    ASSERT_TRUE(call.error);
    EXPECT_EQ(call.error->code(), status);
  }

  const std::string missing = unique(server_.url("/status/404"));
  Recorder plain404, first, refused, again;
  requestURL(missing, KTWebImageOptions{}, plain404);
  ASSERT_TRUE(plain404.waitForEnd());
  requestURL(missing, KTWebImageOptionSkipFailedURL, first);
  ASSERT_TRUE(first.waitForEnd());
  EXPECT_EQ(first.last().error->code(), 404) << "a 404 without the option added nothing";
  EXPECT_EQ(server_.hits("/status/404"), 3u);
  requestURL(missing, KTWebImageOptionSkipFailedURL, refused);
  ASSERT_TRUE(refused.waitForEnd());
  ASSERT_TRUE(refused.last().error);
  EXPECT_EQ(refused.last().error->code(), -1100);
  EXPECT_EQ(refused.last().error->localizedDescription(), "Failed to load URL, blacklisted.");
  EXPECT_EQ(server_.hits("/status/404"), 3u);
  requestURL(missing, KTWebImageOptions{}, again);
  ASSERT_TRUE(again.waitForEnd());
  EXPECT_EQ(server_.hits("/status/404"), 4u);

  // A time-out does not put the address on the list.
  const std::string silent = unique(server_.url("/silent"));
  manager_->setTimeout(0.3);
  Recorder timedOut, retried;
  requestURL(silent, KTWebImageOptionSkipFailedURL, timedOut);
  ASSERT_TRUE(timedOut.waitForEnd());
  EXPECT_EQ(timedOut.last().error->code(), -1001);
  requestURL(silent, KTWebImageOptionSkipFailedURL, retried);
  ASSERT_TRUE(retried.waitForEnd());
  EXPECT_EQ(retried.last().error->code(), -1001);
}

TEST_F(WebImageOperationTest, UndecodableBytesFailWithTheDecodeErrorAndAreKeptWhenRefreshing) {
  Call call = load("/corrupt.jpg", KTWebImageOptionRefreshCache);
  EXPECT_FALSE(call.image);
  ASSERT_TRUE(call.error);
  EXPECT_EQ(call.error->domain(), KTWebImageDecodeErrorDomain);
  EXPECT_EQ(call.error->code(), -1);
  EXPECT_EQ(call.error->localizedDescription(), "Web image decode fail.");
  ASSERT_TRUE(stored("/corrupt.jpg", KTImageCacheTypeDisk));
  EXPECT_TRUE(cache_->getImageDataForKey(key("/corrupt.jpg"))->isEqualToData(*kit::Data::make(Pictures::shared().corrupt)));

  const std::string address = unique(server_.url("/corrupt.jpg"));
  Recorder first, second;
  requestURL(address, KTWebImageOptionSkipFailedURL, first);
  ASSERT_TRUE(first.waitForEnd());
  EXPECT_EQ(first.last().error->domain(), KTWebImageDecodeErrorDomain);
  const size_t hits = server_.hits("/corrupt.jpg");
  requestURL(address, KTWebImageOptionSkipFailedURL, second);
  ASSERT_TRUE(second.waitForEnd());
  EXPECT_EQ(second.last().error->code(), -1100);
  EXPECT_EQ(server_.hits("/corrupt.jpg"), hits);
}

TEST_F(WebImageOperationTest, WhatTheDiskKeepsFollowsTheTransformAndTheAnimationOption) {
  std::atomic<bool> transformOffThreads{true};
  kit::Ref<kit::Image> made = kit::Image::withBitmap(giftest::solid(5, 7, giftest::palette()[3]), 1);
  Recorder replaced;
  request("/baseline.jpg", KTWebImageOptions{}, replaced, [&](const kit::Ref<kit::Image>&, const kit::Ref<kit::URL>&) {
    if (kit::Thread::isMainThread() || kit::Thread::current()->name() == kNetworkThread) transformOffThreads = false;
    return made;
  });
  ASSERT_TRUE(replaced.waitForEnd());
  EXPECT_EQ(replaced.last().image, made);
  EXPECT_TRUE(transformOffThreads);
  ASSERT_TRUE(stored("/baseline.jpg", KTImageCacheTypeDisk));
  auto encoded = cache_->getImageDataForKey(key("/baseline.jpg"));
  EXPECT_NE(KTDetectImageType(encoded), KTImageTypeJPEG) << "the new image's encoding, not the downloaded bytes";
  // The memory cache takes its copy on a queue of its own, maybe after the disk.
  ASSERT_TRUE(stored("/baseline.jpg", KTImageCacheTypeMemory));
  auto inMemory = cache_->getImageForKey(key("/baseline.jpg"), KTImageCacheTypeMemory);
  ASSERT_TRUE(inMemory);
  EXPECT_EQ(inMemory->size().width, 5);
  EXPECT_EQ(inMemory->size().height, 7);

  Recorder kept;
  request("/plain.png", KTWebImageOptions{}, kept,
          [](const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>&) { return image; });
  ASSERT_TRUE(kept.waitForEnd());
  ASSERT_TRUE(stored("/plain.png", KTImageCacheTypeDisk));
  EXPECT_TRUE(cache_->getImageDataForKey(key("/plain.png"))->isEqualToData(*kit::Data::make(Pictures::shared().plainPNG)));

  Call animated = load("/animated.gif");
  auto gif = std::dynamic_pointer_cast<KTImage>(animated.image);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->animatedImageFrameCount(), 3u);
  ASSERT_TRUE(stored("/animated.gif", KTImageCacheTypeDisk));
  EXPECT_TRUE(cache_->getImageDataForKey(key("/animated.gif"))->isEqualToData(*kit::Data::make(Pictures::shared().gif)));

  cache_->removeImageForKey(key("/animated.gif"));
  Call still = load("/animated.gif", KTWebImageOptionNoAnimation);
  ASSERT_TRUE(still.image);
  auto stillKT = std::dynamic_pointer_cast<KTImage>(still.image);
  EXPECT_TRUE(!stillKT || stillKT->animatedImageFrameCount() <= 1);
  ASSERT_TRUE(stored("/animated.gif", KTImageCacheTypeDisk));
  auto frame = cache_->getImageDataForKey(key("/animated.gif"));
  EXPECT_FALSE(frame->isEqualToData(*kit::Data::make(Pictures::shared().gif)));
  EXPECT_NE(KTDetectImageType(frame), KTImageTypeGIF);
  auto decodedFrame = KTImage::imageWithData(frame, 1);
  ASSERT_TRUE(decodedFrame);
  EXPECT_EQ(decodedFrame->size().width, 16);

  // Without the disk level nothing is read from it or written to it.
  cache_->memoryCache()->removeAllObjects();
  EXPECT_EQ(load("/plain.png", KTWebImageOptionSkipDiskCache).from, KTWebImageSourceRemote);
  EXPECT_EQ(load("/progressive.jpg", KTWebImageOptionSkipDiskCache).from, KTWebImageSourceRemote);
  ASSERT_TRUE(stored("/progressive.jpg", KTImageCacheTypeMemory));
  kit::RunLoop::main().runUntil([] { return false; }, 0.1);
  EXPECT_FALSE(cache_->containsImageForKey(key("/progressive.jpg"), KTImageCacheTypeDisk));
}

TEST_F(WebImageOperationTest, CallsComeOnTheNetworkThreadAndTheDiskIsReadOffIt) {
  Recorder remote;
  request("/plain.png", KTWebImageOptions{}, remote);
  ASSERT_TRUE(remote.waitForEnd());
  EXPECT_EQ(remote.last().thread, kNetworkThread);
  EXPECT_FALSE(remote.progressOffThread());
  EXPECT_FALSE(remote.progressCalls().empty());
  ASSERT_TRUE(stored("/plain.png", KTImageCacheTypeDisk));
  cache_->memoryCache()->removeAllObjects();
  Recorder disk;
  request("/plain.png", KTWebImageOptions{}, disk);
  ASSERT_TRUE(disk.waitForEnd());
  EXPECT_EQ(disk.last().from, KTWebImageSourceDisk);
  EXPECT_EQ(disk.last().thread, kNetworkThread);
}

TEST_F(WebImageOperationTest, BasicAuthenticationAndServerTrust) {
  EXPECT_EQ(load("/basic.jpg").error->code(), 401);
  manager_->setUsername(kit::String::make("ann"));
  manager_->setPassword(kit::String::make("secret"));
  Call granted = load("/basic.jpg");
  EXPECT_TRUE(granted.image);
  EXPECT_FALSE(granted.error);

  Recorder refused, allowed;
  requestURL(server_.secureURL("/secure.jpg"), KTWebImageOptions{}, refused);
  ASSERT_TRUE(refused.waitForEnd());
  EXPECT_FALSE(refused.last().image);
  EXPECT_TRUE(refused.last().error);
  requestURL(server_.secureURL("/secure.jpg"), KTWebImageOptionAllowInvalidCertificates, allowed);
  ASSERT_TRUE(allowed.waitForEnd());
  EXPECT_TRUE(allowed.last().image);
}

TEST_F(WebImageOperationTest, CancellingReportsCancelledExactlyOnce) {
  Recorder early;
  auto op = KTWebImageOperation::initWithRequest(kit::URLRequest::make(kit::URL::URLWithString(server_.url("/plain.png"))),
                                                 KTWebImageOptions{}, cache_, nullptr, early.progress(), nullptr,
                                                 early.completion());
  op->cancel();
  op->start();
  EXPECT_TRUE(op->isFinished());
  ASSERT_TRUE(early.waitForEnd());
  kit::RunLoop::main().runUntil([] { return false; }, 0.05);
  ASSERT_EQ(early.calls().size(), 1u);
  EXPECT_EQ(early.last().stage, KTWebImageStageCancelled);

  Recorder silent;
  auto running = request("/silent", KTWebImageOptions{}, silent);
  ASSERT_TRUE(server_.http().waitForRequests(server_.http().requestCount(), 5));
  ASSERT_TRUE(kit::test::runUntil([&] { return server_.hits("/silent") == 1; }));
  running->cancel();
  silent.stop();
  ASSERT_TRUE(silent.waitForEnd());
  EXPECT_EQ(silent.last().stage, KTWebImageStageCancelled);
  EXPECT_TRUE(running->isFinished());

  // Released while it runs: cancelled, once.
  Recorder released;
  {
    auto manager = KTWebImageManager::initWithCache(nullptr, nullptr);
    auto dropped = manager->requestImageWithURL(kit::URL::URLWithString(server_.url("/silent")), KTWebImageOptions{},
                                                nullptr, nullptr, released.completion());
    ASSERT_TRUE(kit::test::runUntil([&] { return server_.hits("/silent") == 2; }));
  }
  ASSERT_TRUE(released.waitForEnd());
  kit::RunLoop::main().runUntil([] { return false; }, 0.05);
  ASSERT_EQ(released.calls().size(), 1u);
  EXPECT_EQ(released.last().stage, KTWebImageStageCancelled);
}

TEST_F(WebImageOperationTest, RequestCancelRacesEndWithExactlyOneReport) {
  std::vector<std::unique_ptr<Recorder>> silent, answering;
  for (int i = 0; i < 100; ++i) {
    silent.push_back(std::make_unique<Recorder>());
    answering.push_back(std::make_unique<Recorder>());
    auto a = request("/silent", KTWebImageOptions{}, *silent.back());
    auto b = request("/plain.png", KTWebImageOptionRefreshCache, *answering.back());
    a->cancel();
    silent.back()->stop();
    b->cancel();
    answering.back()->stop();
  }
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (size_t i = 0; i < silent.size(); ++i) {
      if (!silent[i]->ends() || !answering[i]->ends()) return false;
    }
    return true;
  }));
  kit::RunLoop::main().runUntil([] { return false; }, 0.2);
  for (size_t i = 0; i < silent.size(); ++i) {
    EXPECT_EQ(silent[i]->calls().size(), 1u);
    EXPECT_EQ(silent[i]->last().stage, KTWebImageStageCancelled);
    EXPECT_FALSE(silent[i]->progressAfterStop());
    EXPECT_EQ(answering[i]->ends(), 1u);
    EXPECT_EQ(answering[i]->finishedAfterStop(), 0u);
    EXPECT_FALSE(answering[i]->progressAfterStop());
  }
}

TEST_F(WebImageOperationTest, AnOversizeAnswerStopsWithAClearErrorOnceItPassesTheLimit) {
  const auto limit = KTWebImageOperation::MaxDownloadBytes;
  // JPEG by its first bytes, then more than a download may hold: announced
  // with its length, and streamed without one in pieces of 1 MiB.
  std::string huge(static_cast<size_t>(limit) + 1, 'x');
  huge.replace(0, 3, "\xFF\xD8\xFF");
  kit::test::TestResponse announced;
  announced.contentType = "image/jpeg";
  announced.body = huge;
  server_.http().route("GET", "/huge/announced.jpg", announced);
  kit::test::TestResponse streamed;
  streamed.contentType = "image/jpeg";
  for (size_t at = 0; at < huge.size(); at += 1 << 20) streamed.chunks.push_back(huge.substr(at, 1 << 20));
  huge.clear();
  server_.http().route("GET", "/huge/streamed.jpg", streamed);

  for (const char* path : {"/huge/announced.jpg", "/huge/streamed.jpg"}) {
    SCOPED_TRACE(path);
    Recorder recorder;
    request(path, KTWebImageOptionProgressive, recorder);
    ASSERT_TRUE(recorder.waitForEnd(60));
    EXPECT_EQ(recorder.ends(), 1u);
    Call end = recorder.last();
    EXPECT_EQ(end.stage, KTWebImageStageFinished);
    EXPECT_EQ(end.from, KTWebImageSourceNone);
    EXPECT_FALSE(end.image);
    ASSERT_TRUE(end.error);
    EXPECT_EQ(end.error->domain(), kit::URLErrorDomain);
    EXPECT_EQ(end.error->code(), kit::URLErrorDataLengthExceedsMaximum);
    EXPECT_EQ(end.error->localizedDescription(), "The image is larger than the 33554432 bytes a download may hold.");
    for (const auto& [received, expected] : recorder.progressCalls()) EXPECT_LE(received, limit);
    EXPECT_FALSE(cache_->containsImageForKey(key(path)));
  }
  // The announced length is refused before its body is taken.
  Recorder announcedAgain;
  request("/huge/announced.jpg", KTWebImageOptions{}, announcedAgain);
  ASSERT_TRUE(announcedAgain.waitForEnd(60));
  EXPECT_TRUE(announcedAgain.progressCalls().empty());
  EXPECT_TRUE(announcedAgain.last().error);
}

TEST_F(WebImageOperationTest, ProgressiveDownloadsDeliverPartialImages) {
  Recorder progressive, tiny;
  request("/stream/progressive.jpg", KTWebImageOptionProgressive, progressive);
  request("/stream/tiny.jpg", KTWebImageOptionProgressive, tiny);
  ASSERT_TRUE(progressive.waitForEnd());
  ASSERT_TRUE(tiny.waitForEnd());
  EXPECT_GE(progressive.count(KTWebImageStageProgress), 1u);
  EXPECT_EQ(progressive.calls().back().stage, KTWebImageStageFinished);
  EXPECT_TRUE(progressive.calls().back().image);
  // Partial images need 17 bytes in the newest chunk; the tiny route's
  // chunks are 16 bytes, unless the transport joined some.
  auto calls = tiny.progressCalls();
  int64_t largest = 0;
  for (size_t i = 1; i < calls.size(); ++i) largest = std::max(largest, calls[i].first - calls[i - 1].first);
  EXPECT_GT(calls.size(), 10u);
  if (largest < 17) {
    EXPECT_EQ(tiny.count(KTWebImageStageProgress), 0u);
  }
  EXPECT_TRUE(tiny.last().image);
}

TEST_F(WebImageOperationTest, BlurredPartialImagesOnlyForProgressiveFilesAndOnlyAfterANewScan) {
  Recorder baseline, plain, blurred;
  request("/stream/baseline.jpg", KTWebImageOptionProgressiveBlur, baseline);
  request("/stream/plain.png", KTWebImageOptionProgressiveBlur, plain);
  request("/stream/blur.jpg", KTWebImageOptionProgressiveBlur, blurred);
  ASSERT_TRUE(baseline.waitForEnd() && plain.waitForEnd() && blurred.waitForEnd());
  EXPECT_EQ(baseline.count(KTWebImageStageProgress), 0u);
  EXPECT_TRUE(baseline.last().image);
  EXPECT_EQ(plain.count(KTWebImageStageProgress), 0u);
  EXPECT_TRUE(plain.last().image);

  const auto& bytes = Pictures::shared().progressiveJPEG;
  std::vector<Call> partial;
  for (const auto& call : blurred.calls()) {
    if (call.stage == KTWebImageStageProgress) partial.push_back(call);
  }
  ASSERT_GE(partial.size(), 1u);
  for (size_t i = 0; i < partial.size(); ++i) {
    ASSERT_TRUE(partial[i].image);
    if (i > 0) {
      EXPECT_GE(partial[i].at - partial[i - 1].at, 0.4);
    }
    // Each blurred picture needs one more scan than the pictures before it.
    EXPECT_GE(webimagetest::countScanMarkers(bytes.data(), static_cast<size_t>(partial[i].receivedBefore)), i + 1);
  }
  EXPECT_TRUE(blurred.last().image);
  EXPECT_EQ(blurred.last().stage, KTWebImageStageFinished);
}

}  // namespace
