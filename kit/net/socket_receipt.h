// Internal: what a connection has received of the stream it carries and
// how long ago the last of it came. On a connection that carries one
// request at a time (HTTP/1.x), bytes that libcurl reads but keeps to
// itself (part of a head line, a chunk's framing) still show the request is
// alive, and when they came; an HTTP/2 connection's bytes may be anyone's.
//
// Over plain TCP the kernel counts them. Over TLS the kernel's count holds
// records that carry none of the stream (a TLS 1.3 KeyUpdate or session
// ticket, a TLS 1.2 renegotiation): there only the application data
// records OpenSSL reads count, as the connection notes them itself.
#pragma once

#include <cstdint>
#include <optional>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace kit::netdetail {

struct SocketReceipt {
  // Only ever grows while the connection lives.
  uint64_t bytes = 0;
  // Real time since the last data arrived (the kernel keeps it to a few
  // milliseconds).
  double secondsSinceLastData = 0;
};

// Everything the TCP socket `fd` has received, TLS records and all;
// nullopt when `fd` is not a TCP socket the kernel reports on.
std::optional<SocketReceipt> socketReceipt(int fd);

// Has every connection made from `ctx` note the application data records
// it reads (on the thread that reads them).
void noteApplicationRecords(SSL_CTX* ctx);
// The application data `ssl` has read, counted in record lengths as sent;
// nullopt before it read a record, or when its context does not note them.
std::optional<SocketReceipt> applicationDataReceipt(SSL* ssl);

}  // namespace kit::netdetail
