// Fuzzes the framing of the TLS records a connection reads, which counts
// the bytes of application data as they come: the first byte picks the
// highest TLS version the client offers and how the rest is cut into
// pieces; the rest is what a server sent, handed to a client as it reads.
// Neither count ever holds more bytes than came, or shrinks; the records
// known of those undecided never outnumber them, and the oldest undecided
// record began no later than its last byte came.

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "kit/net/socket_receipt.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static SSL_CTX* const contexts[2] = {[] {
                                         SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
                                         SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
                                         kit::netdetail::noteApplicationRecords(ctx);
                                         return ctx;
                                       }(),
                                       [] {
                                         SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
                                         kit::netdetail::noteApplicationRecords(ctx);
                                         return ctx;
                                       }()};
  SSL* ssl = SSL_new(contexts[data[0] & 1]);
  const size_t piece = 1 + (data[0] >> 1);
  data += 1;
  size -= 1;
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  BIO_set_mem_eof_return(in, -1);
  SSL_set_bio(ssl, in, out);
  SSL_set_connect_state(ssl);
  SSL_do_handshake(ssl);
  uint64_t bytes = 0, undecided = 0, settled = 0;
  size_t fed = 0;
  for (size_t at = 0; at < size; at += piece) {
    const size_t length = std::min(piece, size - at);
    BIO_write(in, data + at, static_cast<int>(length));
    fed += length;
    char buffer[1024];
    while (SSL_read(ssl, buffer, sizeof buffer) > 0) {
    }
    const auto receipt = kit::netdetail::applicationDataReceipt(ssl);
    check(receipt.has_value());
    check(receipt->bytes >= bytes && receipt->undecidedBytes >= undecided);
    check(receipt->bytes <= fed && receipt->undecidedBytes <= fed);
    check(receipt->settledBytes >= settled && receipt->settledBytes <= receipt->undecidedBytes);
    check(receipt->secondsSinceUndecided.has_value() == receipt->secondsSinceUndecidedBegan.has_value());
    check(!receipt->secondsSinceUndecided || *receipt->secondsSinceUndecidedBegan >= *receipt->secondsSinceUndecided);
    bytes = receipt->bytes;
    undecided = receipt->undecidedBytes;
    settled = receipt->settledBytes;
  }
  SSL_free(ssl);
  return 0;
}
