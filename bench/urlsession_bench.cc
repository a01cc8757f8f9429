// kit::URLSession against plain libcurl easy handles on loopback: 1,000
// sequential and 1,000 concurrent small GETs to the same in-process test
// server. Prints the time ratio (URLSession / libcurl) for each pattern.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "bench/bench_support.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"

namespace {

constexpr int kRequests = 1000;
constexpr long kConnectionsPerHost = 6;

kit::test::TestServer& server() {
  static auto* s = [] {
    auto* server = kit::test::TestServer::startHTTP().release();
    server->route("GET", "/small", kit::test::TestResponse::text("{\"code\":200,\"msg\":\"ok\"}"));
    return server;
  }();
  return *s;
}

std::mutex timesMutex;
std::map<std::string, double> secondsPerRun;

void record(const std::string& name, double seconds) {
  std::lock_guard lock(timesMutex);
  auto& slot = secondsPerRun[name];
  if (slot == 0 || seconds < slot) slot = seconds;  // best run
}

size_t discard(char*, size_t size, size_t count, void* sink) {
  *static_cast<size_t*>(sink) += size * count;
  return size * count;
}

kit::Ref<kit::URLSession> makeSession() {
  auto config = kit::URLSessionConfiguration::ephemeralSessionConfiguration();
  config->URLCache = nullptr;
  config->HTTPMaximumConnectionsPerHost = kConnectionsPerHost;
  return kit::URLSession::sessionWithConfiguration(config);
}

// Waits for a number of completions without sleeping.
struct Countdown {
  std::mutex mutex;
  std::condition_variable cv;
  int left;
  size_t bytes = 0;
  explicit Countdown(int n) : left(n) {}
  void done(size_t n) {
    std::lock_guard lock(mutex);
    bytes += n;
    if (--left == 0) cv.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return left == 0; });
  }
};

void BM_URLSessionSequential(benchmark::State& state) {
  auto session = makeSession();
  auto url = kit::URL::URLWithString(server().url("/small"));
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    size_t bytes = 0;
    for (int i = 0; i < kRequests; ++i) {
      Countdown one(1);
      session->dataTaskWithURL(url, [&](kit::Ref<kit::Data> d, kit::Ref<kit::URLResponse>, kit::Ref<kit::Error>) {
        one.done(d ? d->length() : 0);
      })->resume();
      one.wait();
      bytes += one.bytes;
    }
    record("sequential/URLSession", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::DoNotOptimize(bytes);
  }
  session->invalidateAndCancel();
}

void BM_CurlEasySequential(benchmark::State& state) {
  std::string url = server().url("/small");
  CURL* easy = curl_easy_init();
  size_t bytes = 0;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; ++i) curl_easy_perform(easy);
    record("sequential/libcurl", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  benchmark::DoNotOptimize(bytes);
  curl_easy_cleanup(easy);
}

void BM_URLSessionConcurrent(benchmark::State& state) {
  auto session = makeSession();
  auto url = kit::URL::URLWithString(server().url("/small"));
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Countdown all(kRequests);
    for (int i = 0; i < kRequests; ++i) {
      session->dataTaskWithURL(url, [&](kit::Ref<kit::Data> d, kit::Ref<kit::URLResponse>, kit::Ref<kit::Error>) {
        all.done(d ? d->length() : 0);
      })->resume();
    }
    all.wait();
    record("concurrent/URLSession", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::DoNotOptimize(all.bytes);
  }
  session->invalidateAndCancel();
}

void BM_CurlEasyConcurrent(benchmark::State& state) {
  std::string url = server().url("/small");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kConnectionsPerHost);
    std::vector<CURL*> handles;
    size_t bytes = 0;
    for (int i = 0; i < kRequests; ++i) {
      CURL* easy = curl_easy_init();
      curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_multi_add_handle(multi, easy);
      handles.push_back(easy);
    }
    int running = 1;
    while (running) {
      curl_multi_perform(multi, &running);
      if (running) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    for (CURL* easy : handles) {
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
    record("concurrent/libcurl", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::DoNotOptimize(bytes);
  }
}

BENCHMARK(BM_CurlEasySequential)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_URLSessionSequential)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlEasyConcurrent)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_URLSessionConcurrent)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // The work happens on other threads (the session's network thread, the
  // server), so the comparison is of wall time, best run of each.
  for (const char* pattern : {"sequential", "concurrent"}) {
    double kit = secondsPerRun[std::string(pattern) + "/URLSession"];
    double curl = secondsPerRun[std::string(pattern) + "/libcurl"];
    if (kit > 0 && curl > 0) {
      std::printf("%d %s GETs: URLSession %.1f ms, libcurl %.1f ms\n", kRequests, pattern, kit * 1e3, curl * 1e3);
    }
  }
  // The table's figures are medians of wall time per iteration. Goal: a
  // session within half again of libcurl doing the same GETs.
  constexpr double kGoal = 1.5;
  bench::reportRatio("URLSession_1000_sequential_GETs/libcurl_easy",
                     reporter.realTime("BM_URLSessionSequential/iterations:5/real_time"),
                     reporter.realTime("BM_CurlEasySequential/iterations:5/real_time"), kGoal);
  bench::reportRatio("URLSession_1000_concurrent_GETs/libcurl_multi",
                     reporter.realTime("BM_URLSessionConcurrent/iterations:5/real_time"),
                     reporter.realTime("BM_CurlEasyConcurrent/iterations:5/real_time"), kGoal);
  return 0;
}
