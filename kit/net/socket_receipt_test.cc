// A TLS connection's count of the application data it reads, on a client
// and a server that talk through memory: the test moves the server's bytes
// to the client as a link would, a few at a time, and reads the client's
// count after each. Bytes of application data count as they come, whole
// records or not (over TLS 1.3 once the record shows to be one); a
// KeyUpdate, a renegotiation request and the client's own records do not.
// A TLS 1.3 record of unknown type is dated from its first byte. On the
// sending side, only application data that reaches the socket marks the
// request as sent.
#include "kit/net/socket_receipt.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "kit/net/testing/test_certificates.h"

namespace kit::netdetail {
namespace {

// A TLS version as OpenSSL names it (TLS1_2_VERSION, TLS1_3_VERSION).
using Version = int;

// A client whose context counts its application data, and a server with
// the test identity, both at `version`, joined by memory buffers.
class MemoryLink {
 public:
  explicit MemoryLink(Version version) {
    const auto& identity = test::TestCertificates::shared().localhost;
    serverContext_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(serverContext_, identity.certificate->x509());
    SSL_CTX_use_PrivateKey(serverContext_, identity.key.get());
    SSL_CTX_set_options(serverContext_, SSL_OP_NO_TICKET);
    clientContext_ = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(clientContext_, SSL_VERIFY_NONE, nullptr);
    for (SSL_CTX* ctx : {serverContext_, clientContext_}) {
      SSL_CTX_set_min_proto_version(ctx, version);
      SSL_CTX_set_max_proto_version(ctx, version);
    }
    noteApplicationRecords(clientContext_);
    server_ = SSL_new(serverContext_);
    client_ = SSL_new(clientContext_);
    toServer_ = memoryBIO();
    toClient_ = memoryBIO();
    fromServer_ = memoryBIO();
    fromClient_ = memoryBIO();
    SSL_set_bio(server_, toServer_, fromServer_);
    SSL_set_bio(client_, toClient_, fromClient_);
    SSL_set_accept_state(server_);
    SSL_set_connect_state(client_);
  }
  ~MemoryLink() {
    // A read-only memory BIO would not free its buffer.
    BIO_clear_flags(fromClient_, BIO_FLAGS_MEM_RDONLY);
    SSL_free(client_);
    SSL_free(server_);
    SSL_CTX_free(clientContext_);
    SSL_CTX_free(serverContext_);
  }
  MemoryLink(const MemoryLink&) = delete;
  MemoryLink& operator=(const MemoryLink&) = delete;

  // Runs both sides until neither has more to say.
  bool handshake() {
    for (int round = 0; round < 20; ++round) {
      const bool client = SSL_do_handshake(client_) == 1;
      moveToServer();
      const bool server = SSL_do_handshake(server_) == 1;
      deliver(SIZE_MAX);
      if (client && server) {
        readOnClient();
        return true;
      }
    }
    return false;
  }

  // What the server wrote and the client has yet to get.
  size_t inTransit() const { return BIO_ctrl_pending(fromServer_); }
  // Moves up to `bytes` of it to the client, which reads what it can.
  void deliver(size_t bytes) {
    std::string chunk(std::min(bytes, inTransit()), '\0');
    if (!chunk.empty()) {
      BIO_read(fromServer_, chunk.data(), static_cast<int>(chunk.size()));
      BIO_write(toClient_, chunk.data(), static_cast<int>(chunk.size()));
    }
    readOnClient();
  }
  void moveToServer() {
    std::string bytes(BIO_ctrl_pending(fromClient_), '\0');
    if (bytes.empty()) return;
    BIO_read(fromClient_, bytes.data(), static_cast<int>(bytes.size()));
    BIO_write(toServer_, bytes.data(), static_cast<int>(bytes.size()));
  }

  // Makes the client's outgoing buffer refuse writes, as a socket whose
  // peer is gone does.
  void breakClientLink() { BIO_set_flags(fromClient_, BIO_FLAGS_MEM_RDONLY); }

  SSL* client() const { return client_; }
  SSL* server() const { return server_; }
  std::string read;  // what the client read

 private:
  static BIO* memoryBIO() {
    BIO* bio = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(bio, -1);  // empty: try again later
    return bio;
  }
  void readOnClient() {
    char buffer[4096];
    for (int n; (n = SSL_read(client_, buffer, sizeof buffer)) > 0;) read.append(buffer, static_cast<size_t>(n));
    moveToServer();
  }

  SSL_CTX* serverContext_ = nullptr;
  SSL_CTX* clientContext_ = nullptr;
  SSL* server_ = nullptr;
  SSL* client_ = nullptr;
  BIO* toServer_ = nullptr;
  BIO* toClient_ = nullptr;
  BIO* fromServer_ = nullptr;
  BIO* fromClient_ = nullptr;
};

class ApplicationDataReceipt : public ::testing::TestWithParam<Version> {
 protected:
  SocketReceipt receipt() {
    auto receipt = applicationDataReceipt(link.client());
    EXPECT_TRUE(receipt.has_value());
    return receipt.value_or(SocketReceipt{});
  }
  bool tls13() const { return GetParam() == TLS1_3_VERSION; }

  MemoryLink link{GetParam()};
};

TEST_P(ApplicationDataReceipt, CountsEachByteOfARecordAsItComesOverTLS12AndOnceKnownOverTLS13) {
  ASSERT_TRUE(link.handshake());
  const auto start = receipt();
  const uint64_t before = start.bytes;
  const auto written = std::chrono::steady_clock::now();
  const std::string answer(16000, 'a');
  ASSERT_EQ(SSL_write(link.server(), answer.data(), static_cast<int>(answer.size())), 16000);
  const size_t record = link.inTransit();
  ASSERT_GT(record, 16000u);
  ASSERT_LT(record, 16000u + 64) << "one record";
  for (size_t delivered = 200; delivered < record; delivered += 200) {
    link.deliver(200);
    const auto now = receipt();
    if (tls13()) {
      // Its type is inside, unknown until it is whole.
      EXPECT_EQ(now.bytes, before);
      EXPECT_EQ(now.undecidedBytes, start.undecidedBytes + delivered);
      EXPECT_TRUE(now.secondsSinceUndecided.has_value());
    } else {
      EXPECT_EQ(now.bytes, before + delivered);
      EXPECT_EQ(now.undecidedBytes, start.undecidedBytes);
    }
  }
  link.deliver(SIZE_MAX);
  EXPECT_EQ(link.read, answer);
  const auto whole = receipt();
  EXPECT_EQ(whole.bytes, before + record);
  EXPECT_FALSE(whole.secondsSinceUndecided.has_value());
  // Its last byte came after the write; the connection's first record, long
  // before.
  EXPECT_LT(whole.secondsSinceLastData,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - written).count());
}

TEST_P(ApplicationDataReceipt, CountsNeitherTheConnectionsOwnRecordsNorTheClientsWrites) {
  ASSERT_TRUE(link.handshake());
  const auto start = receipt();
  // The client's request, as libcurl would send it.
  const std::string request(1000, 'r');
  ASSERT_EQ(SSL_write(link.client(), request.data(), static_cast<int>(request.size())), 1000);
  link.moveToServer();
  // The server's records that carry no application data: a KeyUpdate over
  // TLS 1.3, a renegotiation request over TLS 1.2, a few bytes at a time.
  if (tls13()) {
    ASSERT_EQ(SSL_key_update(link.server(), SSL_KEY_UPDATE_NOT_REQUESTED), 1);
  } else {
    ASSERT_EQ(SSL_renegotiate(link.server()), 1);
  }
  SSL_do_handshake(link.server());
  ASSERT_GT(link.inTransit(), 0u);
  while (link.inTransit() > 0) {
    link.deliver(4);
    EXPECT_EQ(receipt().bytes, start.bytes);
  }
  const auto after = receipt();
  EXPECT_EQ(after.bytes, start.bytes);
  EXPECT_FALSE(after.secondsSinceUndecided.has_value());
  // And the stream goes on being counted after them.
  ASSERT_EQ(SSL_write(link.server(), "ok", 2), 2);
  const size_t record = link.inTransit();
  link.deliver(SIZE_MAX);
  EXPECT_EQ(receipt().bytes, start.bytes + record);
}

// What the client sends: only application data that reaches its socket
// sets the mark, not the connection's own records (a KeyUpdate over TLS
// 1.3, a renegotiation over TLS 1.2), nor a record whose write failed; a
// mark set before a new one was watched stays as it was.
TEST_P(ApplicationDataReceipt, MarksApplicationDataSentOnlyOnceItReachesTheSocket) {
  ASSERT_TRUE(link.handshake());
  auto first = std::make_shared<bool>(false);
  ASSERT_TRUE(watchApplicationDataSent(link.client(), first));
  if (tls13()) {
    ASSERT_EQ(SSL_key_update(link.client(), SSL_KEY_UPDATE_NOT_REQUESTED), 1);
  } else {
    SSL_set_options(link.server(), SSL_OP_ALLOW_CLIENT_RENEGOTIATION);
    ASSERT_EQ(SSL_renegotiate(link.client()), 1);
  }
  // Each side reads what the other sent, until the handshake is through.
  for (int round = 0; round < 10; ++round) {
    SSL_do_handshake(link.client());
    link.moveToServer();
    char byte;
    SSL_read(link.server(), &byte, 1);
    link.deliver(SIZE_MAX);
  }
  if (!tls13()) ASSERT_FALSE(SSL_renegotiate_pending(link.client())) << "the renegotiation is still under way";
  EXPECT_FALSE(*first) << "the connection's own records";

  ASSERT_EQ(SSL_write(link.client(), "GET", 3), 3);
  EXPECT_TRUE(*first);

  auto second = std::make_shared<bool>(false);
  ASSERT_TRUE(watchApplicationDataSent(link.client(), second));
  link.breakClientLink();
  EXPECT_LE(SSL_write(link.client(), "POST", 4), 0);
  EXPECT_FALSE(*second) << "a record whose write failed";
  EXPECT_TRUE(*first);
}

// The time since a TLS 1.3 record of unknown type began is taken from its
// first byte, whatever came of it after.
TEST(UndecidedRecordReceipt, IsDatedFromItsFirstByte) {
  MemoryLink link(TLS1_3_VERSION);
  ASSERT_TRUE(link.handshake());
  using Steady = std::chrono::steady_clock;
  const auto since = [](Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); };
  const std::string answer(16000, 'a');
  ASSERT_EQ(SSL_write(link.server(), answer.data(), static_cast<int>(answer.size())), 16000);
  const auto beforeFirst = Steady::now();
  link.deliver(200);
  const auto afterFirst = Steady::now();
  for (int i = 0; i < 5; ++i) link.deliver(200);
  const double atLeast = since(afterFirst);
  const auto receipt = applicationDataReceipt(link.client());
  const double atMost = since(beforeFirst);
  ASSERT_TRUE(receipt.has_value());
  ASSERT_TRUE(receipt->secondsSinceUndecidedBegan.has_value());
  ASSERT_TRUE(receipt->secondsSinceUndecided.has_value());
  EXPECT_GE(*receipt->secondsSinceUndecidedBegan, atLeast) << "dated from a later byte";
  EXPECT_LE(*receipt->secondsSinceUndecidedBegan, atMost) << "dated from before its first byte";
  EXPECT_LE(*receipt->secondsSinceUndecided, *receipt->secondsSinceUndecidedBegan);
}

INSTANTIATE_TEST_SUITE_P(Versions, ApplicationDataReceipt, ::testing::Values(TLS1_2_VERSION, TLS1_3_VERSION),
                         [](const auto& info) { return info.param == TLS1_3_VERSION ? "TLS13" : "TLS12"; });

}  // namespace
}  // namespace kit::netdetail
