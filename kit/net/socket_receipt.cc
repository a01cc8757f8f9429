// The kernel's receive counters of a TCP socket (TCP_INFO), and OpenSSL's
// record callback counting a TLS connection's application data.
#include "kit/net/socket_receipt.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <chrono>
#include <cstddef>

namespace kit::netdetail {

std::optional<SocketReceipt> socketReceipt(int fd) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
      length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
    return std::nullopt;
  }
  return SocketReceipt{info.tcpi_bytes_received, info.tcpi_last_data_recv / 1000.0};
}

namespace {

// Kept with the connection's SSL, freed with it.
struct RecordReceipt {
  uint64_t bytes = 0;
  std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
  size_t lastRecordLength = 0;  // of the record whose header came last
};

int receiptIndex() {
  static const int index =
      SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, [](void*, void* receipt, CRYPTO_EX_DATA*, int, long, void*) {
        delete static_cast<RecordReceipt*>(receipt);
      });
  return index;
}

void noteRecord(int sent, int, int contentType, const void* buffer, size_t length, SSL* ssl, void*) {
  if (sent || (contentType != SSL3_RT_HEADER && contentType != SSL3_RT_INNER_CONTENT_TYPE)) return;
  auto* receipt = static_cast<RecordReceipt*>(SSL_get_ex_data(ssl, receiptIndex()));
  if (!receipt) {
    receipt = new RecordReceipt;
    if (SSL_set_ex_data(ssl, receiptIndex(), receipt) != 1) {
      delete receipt;
      return;
    }
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  bool applicationData = false;
  if (contentType == SSL3_RT_HEADER) {
    if (length < SSL3_RT_HEADER_LENGTH) return;
    receipt->lastRecordLength = static_cast<size_t>(bytes[3]) << 8 | bytes[4];
    // Up to TLS 1.2 the header says what a record carries; a TLS 1.3
    // record says it inside, once decrypted (the callback below).
    applicationData = bytes[0] == SSL3_RT_APPLICATION_DATA && SSL_version(ssl) < TLS1_3_VERSION;
  } else {
    applicationData = length >= 1 && bytes[0] == SSL3_RT_APPLICATION_DATA;
  }
  if (!applicationData) return;
  receipt->bytes += receipt->lastRecordLength;
  receipt->last = std::chrono::steady_clock::now();
}

}  // namespace

void noteApplicationRecords(SSL_CTX* ctx) {
  receiptIndex();
  SSL_CTX_set_msg_callback(ctx, noteRecord);
}

std::optional<SocketReceipt> applicationDataReceipt(SSL* ssl) {
  // Made at the first record the connection read, its handshake's.
  const auto* receipt = static_cast<const RecordReceipt*>(SSL_get_ex_data(ssl, receiptIndex()));
  if (!receipt) return std::nullopt;
  const std::chrono::duration<double> since = std::chrono::steady_clock::now() - receipt->last;
  return SocketReceipt{receipt->bytes, since.count()};
}

}  // namespace kit::netdetail
