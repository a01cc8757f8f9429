// The kernel's receive counters of a TCP socket (TCP_INFO), and a TLS
// connection's own count of the application data it reads: the reading
// side of its BIO frames the records as their bytes come, and OpenSSL's
// message callback tells what a TLS 1.3 record carried once decrypted.
// The same callbacks see the records it makes and the writes that take
// them to the socket.
#include "kit/net/socket_receipt.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <deque>
#include <utility>

namespace kit::netdetail {

std::optional<SocketReceipt> socketReceipt(int fd) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
      length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
    return std::nullopt;
  }
  SocketReceipt receipt;
  receipt.bytes = info.tcpi_bytes_received;
  receipt.secondsSinceLastData = info.tcpi_last_data_recv / 1000.0;
  return receipt;
}

namespace {

using Steady = std::chrono::steady_clock;

// Kept with the connection's SSL, freed with it.
struct RecordReceipt {
  uint64_t bytes = 0;  // of application data records
  Steady::time_point last = Steady::now();
  // The record being read: as much of its header as came, then the part
  // of its body still to come.
  enum class Kind { Application, Undecided, Other } kind = Kind::Other;
  unsigned char header[SSL3_RT_HEADER_LENGTH] = {};
  size_t headerRead = 0;
  size_t bodyLeft = 0;
  uint64_t recordBytes = 0;  // read of it so far, while undecided
  Steady::time_point recordBegan;  // when its first byte came
  // Undecided records read whole, oldest first, that OpenSSL has yet to
  // decrypt.
  struct Waiting {
    uint64_t bytes;
    Steady::time_point began, last;
  };
  std::deque<Waiting> waiting;
  uint64_t undecidedBytes = 0;
  uint64_t settledBytes = 0;  // of those, of records decrypted since
  Steady::time_point undecidedLast;
  // Sending: an application data record made whose bytes have not begun
  // to go out yet, and the mark to set once they do.
  bool applicationUnsent = false;
  std::shared_ptr<bool> sentMark;
};

int receiptIndex() {
  static const int index =
      SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, [](void*, void* receipt, CRYPTO_EX_DATA*, int, long, void*) {
        delete static_cast<RecordReceipt*>(receipt);
      });
  return index;
}

RecordReceipt* receiptOf(const SSL* ssl) { return static_cast<RecordReceipt*>(SSL_get_ex_data(ssl, receiptIndex())); }

RecordReceipt::Kind kindOf(unsigned char contentType, const SSL* ssl) {
  if (contentType != SSL3_RT_APPLICATION_DATA) return RecordReceipt::Kind::Other;
  // Every TLS 1.3 record after the hellos is "application data" outside.
  return SSL_version(ssl) < TLS1_3_VERSION ? RecordReceipt::Kind::Application : RecordReceipt::Kind::Undecided;
}

// Counts `length` bytes just read of the current record.
void countRecordBytes(RecordReceipt& receipt, size_t length, Steady::time_point now) {
  switch (receipt.kind) {
    case RecordReceipt::Kind::Application:
      receipt.bytes += length;
      receipt.last = now;
      break;
    case RecordReceipt::Kind::Undecided:
      receipt.recordBytes += length;
      receipt.undecidedBytes += length;
      receipt.undecidedLast = now;
      break;
    case RecordReceipt::Kind::Other:
      break;
  }
}

// Frames the bytes the connection read from its socket into records.
void noteRead(RecordReceipt& receipt, const SSL* ssl, const unsigned char* data, size_t length) {
  const auto now = Steady::now();
  while (length > 0) {
    size_t taken = 0;
    if (receipt.headerRead < SSL3_RT_HEADER_LENGTH) {
      if (receipt.headerRead == 0) {
        receipt.kind = kindOf(data[0], ssl);
        receipt.recordBegan = now;
      }
      taken = std::min(length, SSL3_RT_HEADER_LENGTH - receipt.headerRead);
      memcpy(receipt.header + receipt.headerRead, data, taken);
      receipt.headerRead += taken;
      if (receipt.headerRead == SSL3_RT_HEADER_LENGTH) {
        receipt.bodyLeft = static_cast<size_t>(receipt.header[3]) << 8 | receipt.header[4];
      }
    } else {
      taken = std::min(length, receipt.bodyLeft);
      receipt.bodyLeft -= taken;
    }
    countRecordBytes(receipt, taken, now);
    data += taken;
    length -= taken;
    if (receipt.headerRead == SSL3_RT_HEADER_LENGTH && receipt.bodyLeft == 0) {
      if (receipt.kind == RecordReceipt::Kind::Undecided) {
        receipt.waiting.push_back({receipt.recordBytes, receipt.recordBegan, now});
      }
      receipt.recordBytes = 0;
      receipt.headerRead = 0;
      receipt.kind = RecordReceipt::Kind::Other;
    }
  }
}

// OpenSSL writes a record it made before it makes the next: the first
// write that takes bytes to the socket after an application data record
// was made takes some of that record.
void noteWritten(RecordReceipt& receipt) {
  if (!std::exchange(receipt.applicationUnsent, false)) return;
  if (receipt.sentMark) *receipt.sentMark = true;
}

long noteSocketIO(BIO* bio, int operation, const char* data, size_t, int, long, int result, size_t* processed) {
  if (result <= 0 || !processed || *processed == 0) return result;
  const auto* ssl = reinterpret_cast<const SSL*>(BIO_get_callback_arg(bio));
  RecordReceipt* receipt = ssl ? receiptOf(ssl) : nullptr;
  if (!receipt) return result;
  // The SSL reads from one side and writes to the other (a socket's BIO
  // may be both): only its own reads and writes count.
  if (operation == (BIO_CB_READ | BIO_CB_RETURN) && bio == SSL_get_rbio(ssl)) {
    noteRead(*receipt, ssl, reinterpret_cast<const unsigned char*>(data), *processed);
  } else if (operation == (BIO_CB_WRITE | BIO_CB_RETURN) && bio == SSL_get_wbio(ssl)) {
    noteWritten(*receipt);
  }
  return result;
}

void watchSocket(BIO* socket, SSL* ssl) {
  if (!socket || BIO_get_callback_ex(socket)) return;
  BIO_set_callback_arg(socket, reinterpret_cast<char*>(ssl));
  BIO_set_callback_ex(socket, noteSocketIO);
}

// Whether a record the connection makes carries application data: its
// header says so up to TLS 1.2; over TLS 1.3 every record after the hellos
// says so outside, and its inner type tells.
bool madeApplicationData(const SSL* ssl, int contentType, const unsigned char* bytes, size_t length) {
  if (length < 1 || bytes[0] != SSL3_RT_APPLICATION_DATA) return false;
  if (contentType == SSL3_RT_INNER_CONTENT_TYPE) return true;
  return contentType == SSL3_RT_HEADER && SSL_version(ssl) < TLS1_3_VERSION;
}

void noteRecord(int sent, int, int contentType, const void* buffer, size_t length, SSL* ssl, void*) {
  auto* receipt = receiptOf(ssl);
  if (!receipt) {
    // The first record the connection sends: from here on its reads and
    // writes are watched. (The BIOs go with the SSL; the callback finds the
    // receipt through them, so it does nothing once the SSL is being freed.)
    receipt = new RecordReceipt;
    if (SSL_set_ex_data(ssl, receiptIndex(), receipt) != 1) {
      delete receipt;
      return;
    }
    watchSocket(SSL_get_rbio(ssl), ssl);
    watchSocket(SSL_get_wbio(ssl), ssl);
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  if (sent) {
    if (madeApplicationData(ssl, contentType, bytes, length)) receipt->applicationUnsent = true;
    return;
  }
  // A TLS 1.3 record read whole is decrypted: what it carried decides its
  // bytes.
  if (contentType != SSL3_RT_INNER_CONTENT_TYPE || length < 1 || receipt->waiting.empty()) return;
  const auto record = receipt->waiting.front();
  receipt->waiting.pop_front();
  receipt->settledBytes += record.bytes;
  if (bytes[0] != SSL3_RT_APPLICATION_DATA) return;
  receipt->bytes += record.bytes;
  receipt->last = record.last;
}

double secondsSince(Steady::time_point time) { return std::chrono::duration<double>(Steady::now() - time).count(); }

}  // namespace

void noteApplicationRecords(SSL_CTX* ctx) {
  receiptIndex();
  SSL_CTX_set_msg_callback(ctx, noteRecord);
}

std::optional<SocketReceipt> applicationDataReceipt(SSL* ssl) {
  const RecordReceipt* receipt = receiptOf(ssl);
  if (!receipt) return std::nullopt;
  SocketReceipt out;
  out.bytes = receipt->bytes;
  out.secondsSinceLastData = secondsSince(receipt->last);
  out.undecidedBytes = receipt->undecidedBytes;
  out.settledBytes = receipt->settledBytes;
  const bool inTransit = receipt->headerRead > 0 && receipt->kind == RecordReceipt::Kind::Undecided;
  if (inTransit || !receipt->waiting.empty()) {
    out.secondsSinceUndecided = secondsSince(receipt->undecidedLast);
    out.secondsSinceUndecidedBegan =
        secondsSince(receipt->waiting.empty() ? receipt->recordBegan : receipt->waiting.front().began);
  }
  return out;
}

bool watchApplicationDataSent(SSL* ssl, std::shared_ptr<bool> sent) {
  RecordReceipt* receipt = receiptOf(ssl);
  if (!receipt) return false;
  receipt->sentMark = std::move(sent);
  receipt->applicationUnsent = false;
  return true;
}

}  // namespace kit::netdetail
