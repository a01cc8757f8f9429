// Response bodies against real servers on 127.0.0.1: content decoding
// (complete and cut-short streams of every encoding), the maximum of an
// in-memory body after decoding, and framing and head faults a server can
// send (malformed, conflicting or unmet lengths, oversized heads).
#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <random>

#include "kit/net/testing/raw_server.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"

namespace kit {
namespace {

using test::Latch;
using test::RawServer;
using test::RecordingDelegate;
using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

// Text that compresses well but not to nothing: words drawn at random.
std::string sampleText(size_t length) {
  static const char* words[] = {"login ", "role ", "server ", "order ", "coin ", "notice ", "hall ", "store "};
  std::mt19937 random(7);
  std::string out;
  while (out.size() < length) out += words[random() % 8];
  out.resize(length);
  return out;
}

// windowBits: 31 for gzip, 15 for zlib-wrapped deflate, -15 for raw deflate.
std::string zlibPack(const std::string& text, int windowBits) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string brotliPack(const std::string& text) {
  size_t size = BrotliEncoderMaxCompressedSize(text.size());
  std::string out(size, '\0');
  BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, text.size(),
                        reinterpret_cast<const uint8_t*>(text.data()), &size, reinterpret_cast<uint8_t*>(out.data()));
  out.resize(size);
  return out;
}

std::string zstdPack(const std::string& text) {
  std::string out(ZSTD_compressBound(text.size()), '\0');
  out.resize(ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 3));
  return out;
}

struct Fetch {
  Latch done;
  Ref<Data> data;
  Ref<URLResponse> response;
  Ref<Error> error;
  long code() const { return error ? error->code() : 0; }
};

std::shared_ptr<Fetch> fetch(const Ref<URLSession>& session, const std::string& address) {
  auto f = std::make_shared<Fetch>();
  session->dataTaskWithURL(url(address), [f](Ref<Data> d, Ref<URLResponse> r, Ref<Error> e) {
    f->data = d;
    f->response = r;
    f->error = e;
    f->done.open();
  })->resume();
  EXPECT_TRUE(f->done.wait());
  return f;
}

struct Download {
  Latch done;
  std::string body;
  Ref<Error> error;
};

std::shared_ptr<Download> download(const Ref<URLSession>& session, const std::string& address) {
  auto d = std::make_shared<Download>();
  session->downloadTaskWithURL(url(address), [d](Ref<URL> location, Ref<URLResponse>, Ref<Error> e) {
    if (location) {
      std::ifstream in(location->path()->utf8(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      d->body = bytes.str();
    }
    d->error = e;
    d->done.open();
  })->resume();
  EXPECT_TRUE(d->done.wait());
  return d;
}

Ref<URLSession> plainSession(Ref<URLSessionConfiguration> config = nullptr) {
  return URLSession::sessionWithConfiguration(config ? config
                                                     : URLSessionConfiguration::ephemeralSessionConfiguration());
}

TestResponse encoded(const std::string& encoding, std::string body) {
  TestResponse response = TestResponse::text(std::move(body));
  response.contentType = "application/octet-stream";
  response.headers.set("Content-Encoding", encoding);
  return response;
}

// Every encoding decodes whole, and a stream cut short but sent with a
// length that matches what was sent fails to decode, for data tasks with a
// handler or a delegate and for downloads alike.
TEST(ResponseBody, EveryEncodingDecodesAndAStreamCutShortFailsToDecode) {
  const std::string text = sampleText(100000);
  const std::pair<std::string, std::string> packed[] = {
      {"gzip", zlibPack(text, 31)},    {"x-gzip", zlibPack(text, 31)}, {"deflate", zlibPack(text, 15)},
      {"deflate", zlibPack(text, -15)}, {"br", brotliPack(text)},        {"zstd", zstdPack(text)},
  };
  auto server = TestServer::startHTTP();
  auto session = plainSession();
  auto delegate = std::make_shared<RecordingDelegate>();
  auto delegateSession = URLSession::sessionWithConfiguration(
      URLSessionConfiguration::ephemeralSessionConfiguration(), delegate, nullptr);
  int n = 0;
  for (const auto& [encoding, bytes] : packed) {
    SCOPED_TRACE(encoding + " " + std::to_string(n));
    ASSERT_GT(bytes.size(), 1000u);
    const std::string whole = "/whole" + std::to_string(n), cut = "/cut" + std::to_string(n);
    ++n;
    server->route("GET", whole, encoded(encoding, bytes));
    server->route("GET", cut, encoded(encoding, bytes.substr(0, bytes.size() / 2)));

    auto ok = fetch(session, server->url(whole));
    ASSERT_FALSE(ok->error) << ok->error->description();
    EXPECT_TRUE(ok->data->view() == text);
    auto bad = fetch(session, server->url(cut));
    EXPECT_EQ(bad->code(), URLErrorCannotDecodeContentData);
    EXPECT_FALSE(bad->data);

    auto task = delegateSession->dataTaskWithURL(url(server->url(cut)));
    task->resume();
    ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
    auto done = delegate->completion(task->taskIdentifier());
    ASSERT_TRUE(done->error);
    EXPECT_EQ(done->error->code(), URLErrorCannotDecodeContentData);
    EXPECT_LT(delegate->body(task->taskIdentifier()).size(), text.size());

    EXPECT_EQ(download(session, server->url(whole))->body, text);
    auto cutDownload = download(session, server->url(cut));
    ASSERT_TRUE(cutDownload->error);
    EXPECT_EQ(cutDownload->error->code(), URLErrorCannotDecodeContentData);
  }
  // Bytes that are no stream of the declared encoding at all, and an
  // encoding kit does not know.
  server->route("GET", "/garbage", encoded("gzip", "this was never compressed"));
  EXPECT_EQ(fetch(session, server->url("/garbage"))->code(), URLErrorCannotDecodeContentData);
  server->route("GET", "/unknown", encoded("compress", "abc"));
  EXPECT_EQ(fetch(session, server->url("/unknown"))->code(), URLErrorCannotDecodeContentData);
  // Encodings applied one after the other are undone in reverse order.
  server->route("GET", "/stacked", encoded("deflate, gzip", zlibPack(zlibPack(text, 15), 31)));
  auto stacked = fetch(session, server->url("/stacked"));
  ASSERT_FALSE(stacked->error);
  EXPECT_TRUE(stacked->data->view() == text);
  // A declared encoding with no body at all is an empty body.
  server->route("GET", "/empty", encoded("gzip", ""));
  auto empty = fetch(session, server->url("/empty"));
  ASSERT_FALSE(empty->error);
  EXPECT_EQ(empty->data->length(), 0u);
  delegateSession->invalidateAndCancel();
  EXPECT_TRUE(delegate->waitForEvent("invalid"));
}

// A body held in memory (for a completion handler or as data events) stops
// at the session's maximum after decoding, so a small compressed body that
// decodes to far more fails instead of filling memory; a download writes to
// its file and is not bounded by it.
TEST(ResponseBody, InMemoryBodiesStopAtTheMaximumAfterDecodingAndDownloadsDoNot) {
  auto defaults = URLSessionConfiguration::defaultSessionConfiguration();
  EXPECT_EQ(defaults->maximumInMemoryBodyLength(), int64_t{64} << 20);
  constexpr int64_t kMaximum = 1 << 20;
  auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
  config->setMaximumInMemoryBodyLength(kMaximum);
  EXPECT_EQ(std::static_pointer_cast<URLSessionConfiguration>(config->copy())->maximumInMemoryBodyLength(), kMaximum);

  const std::string inflated(8 << 20, '\0');
  const std::string bomb = zlibPack(inflated, 31);
  ASSERT_LT(bomb.size(), 64u * 1024);
  auto server = TestServer::startHTTP();
  server->route("GET", "/bomb", encoded("gzip", bomb));
  server->route("GET", "/at-maximum", TestResponse::text(std::string(kMaximum, 'x')));
  server->route("GET", "/over-maximum", TestResponse::text(std::string(kMaximum + 1, 'x')));
  auto session = plainSession(config);

  auto f = fetch(session, server->url("/bomb"));
  EXPECT_EQ(f->code(), URLErrorDataLengthExceedsMaximum);
  EXPECT_FALSE(f->data);
  EXPECT_EQ(fetch(session, server->url("/over-maximum"))->code(), URLErrorDataLengthExceedsMaximum);
  auto atMaximum = fetch(session, server->url("/at-maximum"));
  ASSERT_FALSE(atMaximum->error);
  EXPECT_EQ(atMaximum->data->length(), static_cast<size_t>(kMaximum));

  auto delegate = std::make_shared<RecordingDelegate>();
  auto delegateSession = URLSession::sessionWithConfiguration(config, delegate, nullptr);
  auto task = delegateSession->dataTaskWithURL(url(server->url("/bomb")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  auto done = delegate->completion(task->taskIdentifier());
  ASSERT_TRUE(done->error);
  EXPECT_EQ(done->error->code(), URLErrorDataLengthExceedsMaximum);
  EXPECT_LE(delegate->body(task->taskIdentifier()).size(), static_cast<size_t>(kMaximum));
  delegateSession->invalidateAndCancel();
  EXPECT_TRUE(delegate->waitForEvent("invalid"));

  auto downloaded = download(session, server->url("/bomb"));
  ASSERT_FALSE(downloaded->error);
  EXPECT_TRUE(downloaded->body == inflated);

  // A file read into memory is held to the same maximum.
  std::string path = (std::filesystem::temp_directory_path() / "kit-body-test-XXXXXX").string();
  const int fd = mkstemp(path.data());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, kMaximum + 1), 0);
  close(fd);
  EXPECT_EQ(fetch(session, "file://" + path)->code(), URLErrorDataLengthExceedsMaximum);
  unlink(path.c_str());
}

// A length that is not a decimal number, two lengths that disagree, or one
// beyond 64 bits is a bad server response; a body shorter than its length
// is a connection lost, also when the server closes the connection.
TEST(ResponseBody, MalformedConflictingAndUnmetLengthsAreFailures) {
  auto session = plainSession();
  auto reply = [](const std::string& lengthLines, const std::string& body) {
    return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n" + lengthLines + "\r\n" + body;
  };
  const std::pair<std::string, std::string> bad[] = {
      {"Content-Length: 1e3\r\n", "abc"},
      {"Content-Length: 3\r\nContent-Length: 5\r\n", "abc"},
      {"Content-Length: 3, 5\r\n", "abc"},
      {"Content-Length: 184467440737095516160\r\n", "abc"},
      {"Content-Length: 9223372036854775808\r\n", "abc"},
      {"Content-Length: -3\r\n", "abc"},
      {"Content-Length: 0x3\r\n", "abc"},
      {"Content-Length:\r\n", "abc"},
  };
  for (const auto& [lines, body] : bad) {
    SCOPED_TRACE(lines);
    RawServer server(reply(lines, body));
    auto f = fetch(session, server.url());
    EXPECT_EQ(f->code(), URLErrorBadServerResponse);
    EXPECT_FALSE(f->data);
  }
  {
    RawServer server(reply("Content-Length: 1000\r\n", "only forty-two bytes of the thousand sent."));
    EXPECT_EQ(fetch(session, server.url())->code(), URLErrorNetworkConnectionLost);
  }
  {
    // The same length twice is one length.
    RawServer server(reply("Content-Length: 3\r\nContent-Length: 3\r\n", "abc"));
    auto f = fetch(session, server.url());
    ASSERT_FALSE(f->error);
    EXPECT_EQ(f->data->toString(), "abc");
  }
  {
    // Without a length, the body runs to the end of the connection.
    RawServer server(reply("", "until the end"));
    auto f = fetch(session, server.url());
    ASSERT_FALSE(f->error);
    EXPECT_EQ(f->data->toString(), "until the end");
  }
}

// A response head of a megabyte, in one header, in the reason phrase, in a
// redirect's Location, or in many headers, is a bad server response; a
// large but reasonable head is read.
TEST(ResponseBody, OversizedResponseHeadsAreBadServerResponses) {
  auto session = plainSession();
  const std::string mega(1 << 20, 'a');
  std::string manyHeaders;
  for (int i = 0; manyHeaders.size() < (1 << 20); ++i) {
    manyHeaders += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'b') + "\r\n";
  }
  const std::string heads[] = {
      "HTTP/1.1 200 OK\r\nX-Big: " + mega + "\r\nContent-Length: 2\r\n\r\nok",
      "HTTP/1.1 200 " + mega + "\r\nContent-Length: 2\r\n\r\nok",
      "HTTP/1.1 302 Found\r\nLocation: /" + mega + "\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.1 200 OK\r\n" + manyHeaders + "Content-Length: 2\r\n\r\nok",
  };
  for (const auto& head : heads) {
    SCOPED_TRACE(head.substr(0, 40));
    RawServer server(head);
    auto f = fetch(session, server.url());
    EXPECT_EQ(f->code(), URLErrorBadServerResponse);
  }
  std::string fine = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
  for (int i = 0; i < 20; ++i) fine += "X-Large-" + std::to_string(i) + ": " + std::string(2000, 'c') + "\r\n";
  RawServer server(fine + "\r\nok");
  auto f = fetch(session, server.url());
  ASSERT_FALSE(f->error);
  EXPECT_EQ(f->data->toString(), "ok");
}

}  // namespace
}  // namespace kit
