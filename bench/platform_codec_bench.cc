// The platform API body codec and its two request clients against plain
// library calls doing the same work, in the same run:
//
// - reply decode: DecodeGzipBase64 on a scrambled reply against zlib
//   inflating the same body in one call plus kit's JSON parse of the JSON it
//   carries (the parser the codec itself ends in), so the ratio is the
//   codec's own cost; and against the same peer on the plain (gzip-only)
//   form of the reply, which adds what the scrambled form itself costs (its
//   text is five times the JSON, all of it inflated). A small reply (one
//   flat object) and a large one (a list of 60 orders). The plain decoder is
//   measured against the peer on the plain form.
// - body encode: DecodeGzipBase64::codingJSON against kit's JSON write plus
//   a zlib deflate of the same scrambled text.
// - round trips: NetWorkManager and CXRNetTool posting to a lean loopback
//   server (bench/lean_server.h: prepared replies, the platform API's
//   scrambled and plain forms, one epoll thread) and decoding its reply,
//   against libcurl on one reused easy handle encoding the same parameters
//   and decoding the same replies with the same codec (300 sequential round
//   trips per iteration); and kit::URLSession alone posting encoded bytes,
//   to tell the session's share from the client's. Two ratios each: wall
//   time, and the client's CPU time (the process's less the server
//   thread's, the `client_cpu_us` counter, per round trip).
//
// Prints one RATIO line per comparison (see bench_support.h).

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/lean_server.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/net/url_session.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "net/body_codec.h"
#include "net/cxr_net_tool.h"
#include "net/gzip_utility.h"
#include "net/network_manager.h"
#include "sim/platform_body_codec.h"

namespace {

// The goals, as time ratios (ours/peer).
constexpr double kDecodeGoal = 1.5;
constexpr double kEncodeGoal = 1.5;
constexpr double kRoundTripGoal = 1.5;
constexpr double kRoundTripCPUGoal = 2.0;

constexpr int kRoundTrips = 300;
constexpr int kLargeReplyOrders = 60;

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

// A reply with a list in it, as an order history or a goods list comes.
kit::Ref<kit::Dictionary> largeReply() {
  auto list = kit::MutableArray::make();
  for (int i = 0; i < kLargeReplyOrders; ++i) {
    list->addObject(kit::dict({{"order", "202405151000" + std::to_string(100000 + i * 7919)},
                               {"goods_name", "月卡 " + std::to_string(i % 12 + 1) + " 档"},
                               {"money", std::to_string(6 + i % 5 * 30) + ".00"},
                               {"status", i % 3},
                               {"paid", i % 4 != 0},
                               {"role_name", "玩家" + std::to_string(i)},
                               {"time", 1715738400 + i * 3600}}));
  }
  return kit::dict({{"code", "1"}, {"msg", "成功"}, {"data", kit::dict({{"total", kLargeReplyOrders}, {"list", list}})}});
}

kit::Ref<kit::Dictionary> replyObject(int large) { return large ? largeReply() : parameters(); }

std::string jsonText(const kit::Id& object) { return kit::JSONSerialization::dataWithJSONObject(object)->toString(); }

std::string deflateGzip(std::string_view bytes) {
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

// The plain library way at its best: one inflate call into a buffer of the
// size the gzip trailer gives, with room for zlib's fast path at the end.
std::vector<uint8_t> inflateGzip(std::string_view packed) {
  const auto* tail = reinterpret_cast<const uint8_t*>(packed.data() + packed.size() - 4);
  std::vector<uint8_t> out((tail[0] | tail[1] << 8 | tail[2] << 16 | static_cast<uint32_t>(tail[3]) << 24) + 512);
  z_stream s{};
  inflateInit2(&s, 47);
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  s.avail_in = static_cast<uInt>(packed.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  if (inflate(&s, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

void BM_DecodeScrambled(benchmark::State& state) {
  auto body = kit::Data::make(sim::PlatformBodyCodec::encodeReply(replyObject(state.range(0))));
  if (!DecodeGzipBase64::decodingJSON(body)) state.SkipWithError("the codec does not read the reply");
  for (auto _ : state) benchmark::DoNotOptimize(DecodeGzipBase64::decodingJSON(body));
  state.counters["body_bytes"] = static_cast<double>(body->length());
  state.counters["text_bytes"] = static_cast<double>(cxrLFCGzipUtillity::uncompressZippedData(body)->length());
}

void BM_DecodePlain(benchmark::State& state) {
  auto body = kit::Data::make(sim::PlatformBodyCodec::encodePlainReply(replyObject(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(DecodeGzipBase64::cxr_decodingJSON(body));
}

// The peer of both decoders: zlib inflating the same reply body (scrambled:1
// for the scrambled form, scrambled:0 for the plain one) in one call, and
// kit's JSON parse of the JSON the reply carries.
void BM_ZlibInflateAndParse(benchmark::State& state) {
  const bool scrambled = state.range(0);
  const auto object = replyObject(state.range(1));
  const std::string json = jsonText(object);
  const std::string body =
      scrambled ? sim::PlatformBodyCodec::encodeReply(object) : sim::PlatformBodyCodec::encodePlainReply(object);
  for (auto _ : state) {
    auto inflated = inflateGzip(body);
    auto text = scrambled ? kit::Data::make(json) : kit::Data::make(std::move(inflated));
    benchmark::DoNotOptimize(kit::JSONSerialization::JSONObjectWithData(text, kit::JSONReadingMutableLeaves));
  }
  state.counters["body_bytes"] = static_cast<double>(body.size());
  state.counters["text_bytes"] = static_cast<double>(inflateGzip(body).size());
}

void BM_EncodeCodec(benchmark::State& state) {
  auto params = parameters();
  for (auto _ : state) benchmark::DoNotOptimize(DecodeGzipBase64::codingJSON(params));
}

// The encoder's peer: kit's JSON write of the same parameters and a zlib
// deflate of the same body text (the scrambled one the codec compresses).
void BM_JSONWriteAndDeflate(benchmark::State& state) {
  auto params = parameters();
  const std::string text = *sim::PlatformBodyCodec::gunzip(DecodeGzipBase64::codingJSON(params)->view());
  for (auto _ : state) {
    benchmark::DoNotOptimize(jsonText(params));
    benchmark::DoNotOptimize(deflateGzip(text));
  }
}

constexpr const char* kScrambledPath = "/sdkapicoupon/pay/getjiasu";
constexpr const char* kPlainPath = "/sdkapicoupon/pay/plain";

bench::LeanServer& server() {
  static auto* s = [] {
    auto* lean = new bench::LeanServer;
    const auto reply = kit::dict({{"code", "1"}, {"z", "ok"}});
    lean->answer(kScrambledPath, sim::PlatformBodyCodec::encodeReply(reply), "POST", "text/html");
    lean->answer(kPlainPath, sim::PlatformBodyCodec::encodePlainReply(reply), "POST", "text/html");
    lean->start();
    return lean;
  }();
  return *s;
}

// Runs `roundTrips` and records the client's CPU time per round trip: the
// process's less the server thread's.
template <typename RoundTrips>
void measureClient(benchmark::State& state, RoundTrips&& roundTrips) {
  double client = 0;
  for (auto _ : state) {
    const double process = bench::processCPUSeconds(), serving = server().cpuSeconds();
    if (!roundTrips()) return state.SkipWithError("a round trip failed");
    client += (bench::processCPUSeconds() - process) - (server().cpuSeconds() - serving);
  }
  state.counters["client_cpu_us"] = client / static_cast<double>(state.iterations()) / kRoundTrips * 1e6;
}

void BM_NetWorkManagerRoundTrip(benchmark::State& state) {
  auto manager = NetWorkManager::sharedInstance();
  std::string url = server().url(kScrambledPath);
  auto params = parameters();
  measureClient(state, [&] {
    for (int i = 0; i < kRoundTrips; ++i) {
      bool done = false, ok = false;
      manager->POST(
          url, params,
          [&](const kit::Id& reply) {
            ok = reply != nullptr;
            done = true;
          },
          [&](const kit::Ref<kit::Error>&) { done = true; });
      kit::RunLoop::main().runUntil([&] { return done; }, 10);
      if (!ok) return false;
    }
    return true;
  });
}

void BM_CXRNetToolRoundTrip(benchmark::State& state) {
  std::string url = server().url(kPlainPath);
  auto params = parameters();
  measureClient(state, [&] {
    for (int i = 0; i < kRoundTrips; ++i) {
      bool done = false, ok = false;
      CXRNetTool::sharedInstance()->POST(
          url, params,
          [&](const kit::Id& reply) {
            ok = reply != nullptr;
            done = true;
          },
          [&](const kit::Ref<kit::Error>&) { done = true; });
      kit::RunLoop::main().runUntil([&] { return done; }, 10);
      if (!ok) return false;
    }
    return true;
  });
}

// The URL session under NetWorkManager on its own: the same encoded bytes
// posted with kit::URLSession, the answer handed back to the main thread.
// It splits the NetWorkManager ratio into what the session's thread hops
// cost and what the client adds on top (encoding, serializers, decoding).
void BM_URLSessionRoundTrip(benchmark::State& state) {
  auto session = kit::URLSession::sessionWithConfiguration(kit::URLSessionConfiguration::defaultSessionConfiguration());
  auto url = kit::URL::URLWithString(server().url(kScrambledPath));
  auto body = DecodeGzipBase64::codingJSON(parameters());
  measureClient(state, [&] {
    for (int i = 0; i < kRoundTrips; ++i) {
      bool done = false, ok = false;
      auto request = kit::MutableURLRequest::make(url);
      request->setHTTPMethod("POST");
      request->setValue("text/html", "Content-Type");
      request->setHTTPBody(body);
      session
          ->dataTaskWithRequest(request,
                                [&](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse>, kit::Ref<kit::Error>) {
                                  const bool received = data && !data->empty();
                                  kit::Queue::main().async([&done, &ok, received] {
                                    ok = received;
                                    done = true;
                                  });
                                })
          ->resume();
      kit::RunLoop::main().runUntil([&] { return done; }, 10);
      if (!ok) return false;
    }
    return true;
  });
  session->invalidateAndCancel();
}

size_t collect(char* data, size_t size, size_t count, void* sink) {
  static_cast<std::string*>(sink)->append(data, size * count);
  return size * count;
}

// Posts to the endpoint of the client it is compared with: the scrambled
// reply (plain:0) or the plain one (plain:1). Like the clients, it encodes
// the parameters for every request and decodes every reply with the same
// codec, on the calling thread, so the ratio is what the clients add around
// the codec and the transfer.
void BM_CurlRoundTrip(benchmark::State& state) {
  const bool plain = state.range(0);
  std::string url = server().url(plain ? kPlainPath : kScrambledPath);
  auto params = parameters();
  CURL* easy = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/html");
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  measureClient(state, [&] {
    for (int i = 0; i < kRoundTrips; ++i) {
      auto body = DecodeGzipBase64::codingJSON(params);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body->bytes());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->length()));
      std::string reply;
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
      kit::Id decoded;
      if (curl_easy_perform(easy) == CURLE_OK && !reply.empty()) {
        auto data = kit::Data::make(std::string_view(reply));
        decoded = plain ? DecodeGzipBase64::cxr_decodingJSON(data) : DecodeGzipBase64::decodingJSON(data);
      }
      if (!decoded) return false;
      benchmark::DoNotOptimize(decoded);
    }
    return true;
  });
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
}

BENCHMARK(BM_DecodeScrambled)->ArgName("large")->Arg(0)->Arg(1);
BENCHMARK(BM_DecodePlain)->ArgName("large")->Arg(0)->Arg(1);
BENCHMARK(BM_ZlibInflateAndParse)->ArgNames({"scrambled", "large"})->ArgsProduct({{0, 1}, {0, 1}});
BENCHMARK(BM_EncodeCodec);
BENCHMARK(BM_JSONWriteAndDeflate);
BENCHMARK(BM_CurlRoundTrip)->ArgName("plain")->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetWorkManagerRoundTrip)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CXRNetToolRoundTrip)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_URLSessionRoundTrip)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  kit::RunLoop::main();  // this thread is the main thread
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  for (const std::string size : {"0", "1"}) {
    const std::string suffix = size == "1" ? "_large" : "";
    const double scrambled = reporter.cpuTime("BM_DecodeScrambled/large:" + size);
    const double plain = reporter.cpuTime("BM_DecodePlain/large:" + size);
    const double peerOnScrambled = reporter.cpuTime("BM_ZlibInflateAndParse/scrambled:1/large:" + size);
    const double peerOnPlain = reporter.cpuTime("BM_ZlibInflateAndParse/scrambled:0/large:" + size);
    // The codec's own cost: against inflating the same body and parsing.
    bench::reportRatio(("platform_reply_decode" + suffix + "/inflate+parse").c_str(), scrambled, peerOnScrambled,
                       kDecodeGoal);
    // What the scrambled form costs over a plain reply of the same JSON.
    bench::reportRatio(("platform_reply_decode" + suffix + "/plain_reply_peer").c_str(), scrambled, peerOnPlain,
                       kDecodeGoal);
    bench::reportRatio(("plain_reply_decode" + suffix + "/inflate+parse").c_str(), plain, peerOnPlain, kDecodeGoal);
  }
  bench::reportRatio("platform_body_encode/json+deflate", reporter.cpuTime("BM_EncodeCodec"),
                     reporter.cpuTime("BM_JSONWriteAndDeflate"), kEncodeGoal);
  // The work happens on the session's and the server's threads too, so the
  // round trips compare wall time, and the client's CPU time.
  const struct {
    const char* name;
    const char* ours;
    const char* peer;
  } roundTrips[] = {
      {"NetWorkManager_POST", "BM_NetWorkManagerRoundTrip", "BM_CurlRoundTrip/plain:0"},
      {"CXRNetTool_POST", "BM_CXRNetToolRoundTrip", "BM_CurlRoundTrip/plain:1"},
      {"URLSession_POST_under_NetWorkManager", "BM_URLSessionRoundTrip", "BM_CurlRoundTrip/plain:0"},
  };
  for (const auto& row : roundTrips) {
    const std::string ours = std::string(row.ours) + "/iterations:3/real_time";
    const std::string peer = std::string(row.peer) + "/iterations:3/real_time";
    bench::reportRatio((std::string(row.name) + "/libcurl").c_str(), reporter.realTime(ours), reporter.realTime(peer),
                       kRoundTripGoal);
    bench::reportRatio((std::string(row.name) + "_cpu/libcurl").c_str(), reporter.counter(ours, "client_cpu_us"),
                       reporter.counter(peer, "client_cpu_us"), kRoundTripCPUGoal);
  }
  return 0;
}
