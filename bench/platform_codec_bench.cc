// The platform API body codec against raw zlib on the same bytes (what the
// scrambling costs), and a NetWorkManager round trip to the local platform
// API server against a plain libcurl POST of the same body. Prints the
// ratios.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "bench/bench_support.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "net/body_codec.h"
#include "net/network_manager.h"
#include "sim/platform_api_server.h"
#include "sim/platform_body_codec.h"

namespace {

constexpr int kRoundTrips = 300;

kit::Ref<kit::Dictionary> parameters() {
  return kit::dict({{"uid", "1008611"},
                    {"token", "7f0c1a2b3c4d5e6f7a8b9c0d1e2f3a4b"},
                    {"game_id", "77"},
                    {"server_id", "s1001"},
                    {"role_id", "r-4242"},
                    {"role_name", "玩家一号"},
                    {"money", "6.00"},
                    {"order", "20240515100000123456"},
                    {"time", "1715738400"},
                    {"sign", "e3b0c44298fc1c149afbf4c8996fb924"}});
}

std::string json() { return kit::JSONSerialization::dataWithJSONObject(parameters())->toString(); }

std::string deflateGzip(const std::string& bytes) {
  z_stream s{};
  deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, bytes.size()), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  s.avail_in = static_cast<uInt>(bytes.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string inflateGzip(const std::string& bytes) {
  z_stream s{};
  inflateInit2(&s, 47);
  std::string out(bytes.size() * 8, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  s.avail_in = static_cast<uInt>(bytes.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

std::map<std::string, double> nanosecondsPerItem;

void record(benchmark::State& state, const std::string& name, std::chrono::steady_clock::time_point start) {
  double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
              static_cast<double>(state.iterations());
  nanosecondsPerItem[name] = ns;
}

void BM_CodecEncode(benchmark::State& state) {
  auto params = parameters();
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(DecodeGzipBase64::codingJSON(params));
  record(state, "encode/codec", start);
}

void BM_ZlibDeflate(benchmark::State& state) {
  std::string text = json();
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(deflateGzip(text));
  record(state, "encode/zlib", start);
}

void BM_CodecDecode(benchmark::State& state) {
  auto body = kit::Data::make(sim::PlatformBodyCodec::encodeReply(parameters()));
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(DecodeGzipBase64::decodingJSON(body));
  record(state, "decode/codec", start);
}

void BM_ZlibInflate(benchmark::State& state) {
  std::string packed = deflateGzip(json());
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(inflateGzip(packed));
  record(state, "decode/zlib", start);
}

sim::PlatformAPIServer& server() {
  static auto* s = [] {
    auto* api = sim::PlatformAPIServer::start().release();
    api->route("pay/getjiasu", sim::PlatformAPIReply::scrambled(kit::dict({{"code", "1"}, {"z", "ok"}})));
    return api;
  }();
  return *s;
}

void BM_NetWorkManagerRoundTrip(benchmark::State& state) {
  auto manager = NetWorkManager::sharedInstance();
  std::string url = server().baseURL() + "pay/getjiasu";
  auto params = parameters();
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < kRoundTrips; ++i) {
      bool done = false;
      manager->POST(
          url, params,
          [&](const kit::Id& reply) {
            benchmark::DoNotOptimize(reply);
            done = true;
          },
          [&](const kit::Ref<kit::Error>&) { done = true; });
      kit::RunLoop::main().runUntil([&] { return done; }, 10);
    }
  }
  record(state, "roundtrip/NetWorkManager", start);
}

size_t collect(char* data, size_t size, size_t count, void* sink) {
  static_cast<std::string*>(sink)->append(data, size * count);
  return size * count;
}

void BM_CurlRoundTrip(benchmark::State& state) {
  std::string url = server().baseURL() + "pay/getjiasu";
  auto body = DecodeGzipBase64::codingJSON(parameters());
  CURL* easy = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/html");
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body->bytes());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->length()));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < kRoundTrips; ++i) {
      std::string reply;
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
      curl_easy_perform(easy);
      benchmark::DoNotOptimize(reply);
    }
  }
  record(state, "roundtrip/libcurl", start);
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
}

BENCHMARK(BM_ZlibDeflate);
BENCHMARK(BM_CodecEncode);
BENCHMARK(BM_ZlibInflate);
BENCHMARK(BM_CodecDecode);
BENCHMARK(BM_CurlRoundTrip)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetWorkManagerRoundTrip)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  kit::RunLoop::main();  // this thread is the main thread
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto ratio = [](const char* what, const char* how, const char* ours, const char* peer) {
    bench::printRatio(what, how, nanosecondsPerItem[ours], nanosecondsPerItem[peer]);
  };
  ratio("body encode", "codec/zlib deflate", "encode/codec", "encode/zlib");
  ratio("reply decode", "codec/zlib inflate", "decode/codec", "decode/zlib");
  ratio((std::to_string(kRoundTrips) + " round trips").c_str(), "NetWorkManager/libcurl POST",
        "roundtrip/NetWorkManager", "roundtrip/libcurl");
  return 0;
}
