// kit::URLSession against plain libcurl on loopback, both talking to the
// same in-process server: a lean one (prepared answers, one epoll loop on
// one thread), so that the server's own cost does not hide the client's:
// - 1,000 sequential small GETs, against one reused libcurl easy handle;
// - 1,000 GETs with 32 in flight (small bodies, and 1 MB bodies), against a
//   libcurl multi handle driving 32 reused easy handles.
// The session gets its bodies as the platform hands them over (a fresh data
// object per request, in a completion handler on its delegate queue); the
// peer appends each body to a fresh string, as a plain libcurl client would.
// Each round runs the peer and then the session, five rounds interleaved;
// the ratios are of the median wall times (the work happens on other
// threads: the session's network thread and the server's) and of the
// process CPU time per request less the server thread's.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bench/bench_support.h"
#include "bench/lean_server.h"
#include "kit/net/url_session.h"

namespace {

constexpr int kRequests = 1000;
constexpr int kInFlight = 32;
constexpr int kRounds = 5;
constexpr size_t kLargeBody = 1 << 20;

// The goals, as ratios (session / libcurl) of wall time and of the client's
// CPU time (the process's less the server thread's); 0: no CPU goal.
struct Pattern {
  const char* name;
  const char* path;
  int inFlight;  // 1: sequential
  double goal;
  double cpuGoal;
};
constexpr Pattern kPatterns[] = {
    {"urlsession_sequential_small_get", "/small", 1, 1.5, 2.0},
    {"urlsession_32_in_flight_small_get", "/small", kInFlight, 1.5, 2.0},
    {"urlsession_32_in_flight_1mb_get", "/large", kInFlight, 1.5, 0},
};

using bench::LeanServer;
using bench::processCPUSeconds;

LeanServer& server() {
  static auto* s = [] {
    auto* server = new LeanServer;
    server->answer("/small", "{\"code\":200,\"msg\":\"ok\"}");
    server->answer("/large", std::string(kLargeBody, 'x'));
    server->start();
    return server;
  }();
  return *s;
}

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// ---- The session

kit::Ref<kit::URLSession> makeSession() {
  auto config = kit::URLSessionConfiguration::ephemeralSessionConfiguration();
  config->URLCache = nullptr;
  config->HTTPMaximumConnectionsPerHost = kInFlight;
  return kit::URLSession::sessionWithConfiguration(config);
}

// Runs `total` GETs with at most `inFlight` at a time: each completion
// starts the next request. Returns the bytes received.
size_t runSession(const kit::Ref<kit::URLSession>& session, const kit::Ref<kit::URL>& url, int total, int inFlight) {
  struct State {
    std::mutex mutex;
    std::condition_variable cv;
    int issued = 0;
    int done = 0;
    size_t bytes = 0;
    bool failed = false;
  };
  State state;
  std::function<void()> issue = [&] {
    session->dataTaskWithURL(url, [&](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse>, kit::Ref<kit::Error> error) {
      bool next = false;
      {
        std::lock_guard lock(state.mutex);
        state.bytes += data ? data->length() : 0;
        state.failed |= error != nullptr;
        ++state.done;
        if (state.issued < total) {
          ++state.issued;
          next = true;
        }
        if (state.done == total) state.cv.notify_all();
      }
      if (next) issue();
    })->resume();
  };
  {
    std::lock_guard lock(state.mutex);
    state.issued = std::min(inFlight, total);
  }
  for (int i = 0; i < std::min(inFlight, total); ++i) issue();
  std::unique_lock lock(state.mutex);
  state.cv.wait(lock, [&] { return state.done == total; });
  if (state.failed) std::fprintf(stderr, "URLSession: some requests failed\n");
  return state.bytes;
}

// ---- The peer

size_t appendBody(char* bytes, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(bytes, size * count);
  return size * count;
}

struct CurlPeer {
  CURLM* multi = nullptr;
  std::vector<CURL*> handles;
  std::vector<std::string> bodies;

  explicit CurlPeer(int count) : handles(count), bodies(count) {
    multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(kInFlight));
    for (int i = 0; i < count; ++i) {
      handles[i] = curl_easy_init();
      curl_easy_setopt(handles[i], CURLOPT_WRITEFUNCTION, appendBody);
      curl_easy_setopt(handles[i], CURLOPT_WRITEDATA, &bodies[i]);
      curl_easy_setopt(handles[i], CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(handles[i], CURLOPT_PRIVATE, reinterpret_cast<char*>(static_cast<intptr_t>(i)));
    }
  }
  ~CurlPeer() {
    for (CURL* easy : handles) curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
  }

  // One reused easy handle, one request after the other.
  size_t sequential(const std::string& url, int total) {
    size_t bytes = 0;
    curl_easy_setopt(handles[0], CURLOPT_URL, url.c_str());
    for (int i = 0; i < total; ++i) {
      std::string body;
      curl_easy_setopt(handles[0], CURLOPT_WRITEDATA, &body);
      if (curl_easy_perform(handles[0]) != CURLE_OK) std::fprintf(stderr, "libcurl: a request failed\n");
      bytes += body.size();
    }
    return bytes;
  }

  // The multi handle keeps every easy handle busy until `total` are done.
  size_t concurrent(const std::string& url, int total) {
    size_t bytes = 0;
    int issued = 0, done = 0;
    auto start = [&](int i) {
      bodies[i] = std::string();
      curl_easy_setopt(handles[i], CURLOPT_URL, url.c_str());
      curl_multi_add_handle(multi, handles[i]);
      ++issued;
    };
    for (int i = 0; i < static_cast<int>(handles.size()) && issued < total; ++i) start(i);
    while (done < total) {
      int running = 0;
      curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        if (msg->data.result != CURLE_OK) std::fprintf(stderr, "libcurl: a request failed\n");
        CURL* easy = msg->easy_handle;
        char* priv = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &priv);
        const int i = static_cast<int>(reinterpret_cast<intptr_t>(priv));
        curl_multi_remove_handle(multi, easy);
        bytes += bodies[i].size();
        ++done;
        if (issued < total) start(i);
      }
      if (done < total) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    return bytes;
  }
};

// ---- Rounds

std::map<std::string, std::vector<double>> oursSeconds, peerSeconds, oursCPU, peerCPU;

// The client's CPU seconds spent while `work` runs: the process's less the
// server thread's.
template <typename Work>
double clientCPU(Work&& work) {
  const double process = processCPUSeconds(), serverBefore = server().cpuSeconds();
  work();
  return (processCPUSeconds() - process) - (server().cpuSeconds() - serverBefore);
}

void BM_URLSessionVersusLibcurl(benchmark::State& state) {
  const Pattern& pattern = kPatterns[state.range(0)];
  state.SetLabel(pattern.name);
  const std::string address = server().url(pattern.path);
  auto url = kit::URL::URLWithString(address);
  auto session = makeSession();
  CurlPeer peer(pattern.inFlight);
  auto runPeer = [&] {
    return pattern.inFlight == 1 ? peer.sequential(address, kRequests) : peer.concurrent(address, kRequests);
  };
  // Warm up both: connections open, threads started.
  runPeer();
  runSession(session, url, pattern.inFlight * 4, pattern.inFlight);
  for (auto _ : state) {
    auto start = Clock::now();
    const double peerCPUTime = clientCPU([&] { benchmark::DoNotOptimize(runPeer()); });
    const double peerTime = secondsSince(start);
    start = Clock::now();
    const double oursCPUTime =
        clientCPU([&] { benchmark::DoNotOptimize(runSession(session, url, kRequests, pattern.inFlight)); });
    const double oursTime = secondsSince(start);
    state.SetIterationTime(oursTime);
    oursSeconds[pattern.name].push_back(oursTime);
    peerSeconds[pattern.name].push_back(peerTime);
    oursCPU[pattern.name].push_back(oursCPUTime);
    peerCPU[pattern.name].push_back(peerCPUTime);
  }
  session->invalidateAndCancel();
}

BENCHMARK(BM_URLSessionVersusLibcurl)
    ->DenseRange(0, static_cast<int>(std::size(kPatterns)) - 1)
    ->Iterations(kRounds)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const Pattern& pattern : kPatterns) {
    const double ours = median(oursSeconds[pattern.name]);
    const double peer = median(peerSeconds[pattern.name]);
    if (ours <= 0 || peer <= 0) continue;
    std::printf("%s: URLSession %.1f ms, libcurl %.1f ms (median of %zu)\n", pattern.name, ours * 1e3, peer * 1e3,
                oursSeconds[pattern.name].size());
    bench::reportRatio(pattern.name, ours, peer, pattern.goal);
    const double oursCPUTime = median(oursCPU[pattern.name]), peerCPUTime = median(peerCPU[pattern.name]);
    std::printf("%s: client CPU per request: URLSession %.1f us, libcurl %.1f us\n", pattern.name,
                oursCPUTime / kRequests * 1e6, peerCPUTime / kRequests * 1e6);
    if (pattern.cpuGoal > 0)
      bench::reportRatio((std::string(pattern.name) + "_cpu").c_str(), oursCPUTime, peerCPUTime, pattern.cpuGoal);
  }
  return 0;
}
