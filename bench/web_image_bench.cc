// The web-image loader against its peers in the same process:
// - 100 JPEGs of about 200 KB from a loopback server through
//   KTWebImageManager (download, decode for display, store in both cache
//   levels), against plain libcurl GETs (a multi handle, all in flight) each
//   followed by the same kit decode; goal: within 1.5x;
// - 10,000 memory-quick hits through setKT_imageURL on an image view,
//   against direct lookups in the memory cache (no goal: the ratio says what
//   the view category costs above the lookup).
// Each round runs the peer and then ours; ratios are of median wall times.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "kit/dispatch/runloop.h"
#include "kit/testing/temp_directory.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_web_image_view.h"
#include "ui/images/testing/web_image_test_support.h"

namespace {

constexpr int kImages = 100;
constexpr int kHits = 10000;

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

const std::vector<uint8_t>& pictureBytes() {
  // About 200 KB: a noisy 720x540 picture at quality 92.
  static const auto bytes = webimagetest::jpeg(720, 540, false, 92);
  return bytes;
}

kit::test::TestServer& server() {
  static auto* s = [] {
    auto* server = kit::test::TestServer::startHTTP().release();
    server->route("GET", "/img/*", webimagetest::image(pictureBytes(), "image/jpeg"));
    return server;
  }();
  return *s;
}

std::string address(int round, int i) {
  return server().url("/img/" + std::to_string(round) + "-" + std::to_string(i) + ".jpg");
}

// ---- Ours: the manager downloads, decodes and stores.

void runManager(int round) {
  kit::test::TempDirectory dir("web-image-bench");
  auto cache = KTImageCache::initWithPath(kit::String::make(dir.path()));
  // Room for every picture of a round (about 155 MB decoded), so that the
  // memory level ends holding them all, as the wait below expects.
  cache->memoryCache()->setCostLimit(uint64_t{1} << 30);
  auto manager = KTWebImageManager::initWithCache(cache, kit::OperationQueue::create("bench"));
  std::mutex mutex;
  std::condition_variable cv;
  int done = 0, failed = 0;
  std::vector<kit::Ref<KTWebImageOperation>> operations;
  for (int i = 0; i < kImages; ++i) {
    operations.push_back(manager->requestImageWithURL(
        kit::URL::URLWithString(address(round, i)), KTWebImageOptions{}, nullptr, nullptr,
        [&](const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>&, KTWebImageSource, KTWebImageStage stage,
            const kit::Ref<kit::Error>&) {
          if (stage == KTWebImageStageProgress) return;
          std::lock_guard lock(mutex);
          failed += image ? 0 : 1;
          if (++done == kImages) cv.notify_all();
        }));
  }
  std::unique_lock lock(mutex);
  cv.wait(lock, [&] { return done == kImages; });
  lock.unlock();
  if (failed) std::fprintf(stderr, "manager: %d downloads failed\n", failed);
  // The stores run after the completions; the work ends when both levels hold every picture.
  for (int i = 0; i < kImages; ++i) {
    auto key = kit::String::make(address(round, i));
    while (!cache->containsImageForKey(key, KTImageCacheTypeMemory) ||
           !cache->containsImageForKey(key, KTImageCacheTypeDisk)) {
      std::this_thread::yield();
    }
  }
}

// ---- The peer: libcurl, then the same decode.

size_t appendBody(char* bytes, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(bytes, size * count);
  return size * count;
}

void runCurl(int round) {
  CURLM* multi = curl_multi_init();
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
  std::vector<CURL*> handles(kImages);
  std::vector<std::string> bodies(kImages);
  std::vector<std::string> urls(kImages);
  for (int i = 0; i < kImages; ++i) {
    urls[i] = address(round, i);
    handles[i] = curl_easy_init();
    curl_easy_setopt(handles[i], CURLOPT_URL, urls[i].c_str());
    curl_easy_setopt(handles[i], CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(handles[i], CURLOPT_WRITEDATA, &bodies[i]);
    curl_easy_setopt(handles[i], CURLOPT_NOSIGNAL, 1L);
    curl_multi_add_handle(multi, handles[i]);
  }
  int running = 1;
  while (running) {
    curl_multi_perform(multi, &running);
    if (running) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  }
  int failed = 0;
  for (int i = 0; i < kImages; ++i) {
    auto image = KT_imageByDecoded(KTImage::imageWithData(kit::Data::make(bodies[i]), 1));
    failed += image ? 0 : 1;
    benchmark::DoNotOptimize(image);
    curl_multi_remove_handle(multi, handles[i]);
    curl_easy_cleanup(handles[i]);
  }
  curl_multi_cleanup(multi);
  if (failed) std::fprintf(stderr, "libcurl: %d pictures did not decode\n", failed);
}

std::vector<double> downloadOurs, downloadPeer, hitsOurs, hitsPeer;

void BM_WebImageDownloadVersusLibcurl(benchmark::State& state) {
  int round = 0;
  runCurl(round++);
  runManager(round++);
  for (auto _ : state) {
    auto start = Clock::now();
    runCurl(round++);
    downloadPeer.push_back(secondsSince(start));
    start = Clock::now();
    runManager(round++);
    const double ours = secondsSince(start);
    downloadOurs.push_back(ours);
    state.SetIterationTime(ours);
  }
}
BENCHMARK(BM_WebImageDownloadVersusLibcurl)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MemoryQuickHitsVersusLookups(benchmark::State& state) {
  kit::test::TempDirectory dir("web-image-bench-hits");
  auto cache = KTImageCache::initWithPath(kit::String::make(dir.path()));
  auto manager = KTWebImageManager::initWithCache(cache, nullptr);
  auto url = kit::URL::URLWithString(address(-1, 0));
  auto key = manager->cacheKeyForURL(url);
  cache->setImage(KT_imageByDecoded(KTImage::imageWithData(kit::Data::make(pictureBytes()), 1)), nullptr, key,
                  KTImageCacheTypeMemory);
  auto view = kit::ImageView::make();
  for (auto _ : state) {
    auto start = Clock::now();
    for (int i = 0; i < kHits; ++i) benchmark::DoNotOptimize(cache->memoryCache()->objectForKey(key));
    hitsPeer.push_back(secondsSince(start));
    start = Clock::now();
    for (int i = 0; i < kHits; ++i) {
      KT_setImageWithURL(*view, url, nullptr, KTWebImageOptions{}, manager, nullptr, nullptr, nullptr);
    }
    const double ours = secondsSince(start);
    hitsOurs.push_back(ours);
    state.SetIterationTime(ours);
    if (!view->image()) std::fprintf(stderr, "the view shows nothing\n");
  }
}
BENCHMARK(BM_MemoryQuickHitsVersusLookups)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  kit::RunLoop::declareMainThread();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("100 pictures of %zu bytes: manager %.1f ms, libcurl + decode %.1f ms\n", pictureBytes().size(),
              bench::medianOf(downloadOurs) * 1e3, bench::medianOf(downloadPeer) * 1e3);
  bench::reportRatio("web_image_100_jpeg_download_decode_store", bench::medianOf(downloadOurs),
                     bench::medianOf(downloadPeer), 1.5);
  std::printf("%d memory-quick hits: setKT_imageURL %.2f ms, memory cache lookups %.2f ms\n", kHits,
              bench::medianOf(hitsOurs) * 1e3, bench::medianOf(hitsPeer) * 1e3);
  bench::printRatio("web_image_quick_hits", "view category / lookup", bench::medianOf(hitsOurs), bench::medianOf(hitsPeer));
  return 0;
}
