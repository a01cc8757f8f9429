// Internal: what a connection has received of the stream it carries and
// how long ago the last of it came. On a connection that carries one
// request at a time (HTTP/1.x), bytes that libcurl reads but keeps to
// itself (part of a head line, a chunk's framing) still show the request is
// alive, and when they came; an HTTP/2 connection's bytes may be anyone's.
//
// Over plain TCP the kernel counts them. Over TLS the kernel's count holds
// records that carry none of the stream (a TLS 1.3 KeyUpdate or session
// ticket, a TLS 1.2 renegotiation, an alert): there the connection counts
// the bytes it reads of application data records itself, each as it is
// read, a record in transit included. Up to TLS 1.2 a record's header says
// what it carries; a TLS 1.3 record says it only once it is whole and
// decrypted, and until then its bytes are undecided: they count as the
// stream's once it shows to be application data, and not at all otherwise.
//
// The sending side tells one thing: whether application data went out
// since a point, so that a request that may have reached the server is
// never sent again.
#pragma once

#include <cstdint>
#include <memory>
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
  // Over TLS: the bytes read so far of records whose type was not known
  // when they came (only ever grows), and while one such record is still
  // undecided, the real time since the last of its bytes came.
  uint64_t undecidedBytes = 0;
  std::optional<double> secondsSinceUndecided;
  // Of `undecidedBytes`, those of records known by now (application data or
  // not): the records still undecided follow them. Only ever grows.
  uint64_t settledBytes = 0;
  // While a record is undecided: the real time since the first byte of the
  // oldest of them came.
  std::optional<double> secondsSinceUndecidedBegan;
};

// Everything the TCP socket `fd` has received, TLS records and all;
// nullopt when `fd` is not a TCP socket the kernel reports on.
std::optional<SocketReceipt> socketReceipt(int fd);

// Has every connection made from `ctx` count the application data it reads
// (on the thread that reads it).
void noteApplicationRecords(SSL_CTX* ctx);
// The application data `ssl` has read, counted in record bytes as sent
// (header and all); nullopt before it sent or read a record, or when its
// context does not count them.
std::optional<SocketReceipt> applicationDataReceipt(SSL* ssl);

// From now on `*sent` is set once a byte of an application data record
// that `ssl` makes goes out to its socket: the request on the connection
// has put something on it. Records of the connection's own (handshakes,
// alerts, a TLS 1.3 KeyUpdate) do not set it, nor does a record whose
// write failed. The mark it held before is let go. False when its context
// does not count its records, or before it sent one.
bool watchApplicationDataSent(SSL* ssl, std::shared_ptr<bool> sent);

}  // namespace kit::netdetail
