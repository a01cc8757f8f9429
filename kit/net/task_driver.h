// Internal: drives one task on the network thread. It turns the task's
// request into libcurl transfers (one per redirect), parses the response
// head, holds the transfer while the delegate decides, buffers body bytes
// into events, follows redirects itself, runs the TLS trust step, writes
// download files and maps failures to URL errors. Events go to the
// session's event lane; answers come back as commands on the network thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/net/certificate.h"
#include "kit/net/http_header_fields.h"
#include "kit/net/trust.h"
#include "kit/net/url_session.h"

typedef void CURL;
struct curl_slist;
typedef struct x509_store_ctx_st X509_STORE_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace kit::netdetail {

class ContentDecoder;
struct TrustAnswer;
class EventLane;
struct SocketReceipt;
class TransferEngine;

// What a driver needs to know about its session, fixed when the task starts.
struct DriverSettings {
  std::shared_ptr<EventLane> lane;
  TransferEngine* engine = nullptr;
  bool hasDelegate = false;
  double requestTimeout = DefaultRequestTimeout;
  double resourceTimeout = 7 * 24 * 3600.0;
  bool setCookies = true;
  HTTPHeaderFields additionalHeaders;
  Ref<URLCache> cache;
  size_t cacheEntryLimit = 0;  // larger bodies are not cached
  URLRequestCachePolicy sessionCachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;
  // Longer decoded bodies fail a task that holds its body in memory.
  int64_t maximumInMemoryBody = URLSessionDefaultMaximumInMemoryBodyLength;
  // Whether the delegate takes part in these events (else kit answers).
  bool askResponse = false;
  // Whether the transfer waits for the delegate's answer to the response
  // (else the delegate only hears of it).
  bool awaitResponseAnswer = true;
  bool askRedirect = false;
  bool askCache = false;
};

// Where a task's body comes from.
struct BodySource {
  enum class Kind { None, Data, File, Stream } kind = Kind::None;
  Ref<Data> data;
  std::string filePath;
  Ref<InputStream> stream;
  // Ask the delegate for the first stream as well (no stream in the request).
  bool streamFromDelegate = false;
};

// A new file in the temporary directory, open for writing; its path, or ""
// when it cannot be made.
std::string makeTemporaryFile(FILE** file);

class TaskDriver {
 public:
  TaskDriver(Ref<URLSessionTask> task, DriverSettings settings, BodySource body,
             URLSession::DataCompletion dataCompletion, URLSession::DownloadCompletion downloadCompletion);
  ~TaskDriver();

  // ---- Commands (network thread)
  void start();
  void setSuspended(bool suspended);
  void cancel();
  // Cancels a download and hands its resume data (or nil) to `completion`.
  void cancelProducingResumeData(std::function<void(Ref<Data>)> completion);
  void answerResponse(URLSessionResponseDisposition disposition);
  void answerRedirect(Ref<URLRequest> request);
  void answerBodyStream(Ref<InputStream> stream);
  void answerCache(Ref<CachedURLResponse> cached);
  void answerAuthentication(URLSessionAuthChallengeDisposition disposition, Ref<URLCredential> credential);
  // Starts from resume data: the partial file and the request to continue.
  void setResumeState(std::string partialFile, int64_t offset, std::string validator);

  // ---- Engine hooks
  void onTransferDone(int curlCode);
  void onTimeout();
  void flush();
  // Posts what was sent of the body since the last time.
  void flushUpload();
  // When the task times out on kit::Clock: its request time-out after the
  // last sign of life (an idle time-out), or its resource time-out after it
  // started, whichever comes first. None while it waits for its delegate or
  // is suspended.
  std::optional<double> deadline() const;
  // Whether bytes of the request's stream came in on the transfer's
  // connection since the last look (and then the transfer is alive from
  // when they came): libcurl hands a head over a line at a time and keeps
  // the framing of a chunked body to itself. Only a connection that
  // carries nothing but this request counts so (HTTP/1.x), and over TLS
  // only its application data (see streamReceipt); on an HTTP/2 connection
  // a request lives by the bytes libcurl hands it, and this is always false.
  // A TLS 1.3 record whose type is not known yet, and that began while the
  // request was alive, holds the time-out from its last byte on, until it
  // is known (see noteUndecided); a look finds that too, and then the
  // deadline may have moved either way.
  bool bytesArrivedOnConnection();
  // For a transfer whose time-out runs: looks for bytes that came, and
  // returns its socket with what the socket had received, TLS records and
  // all, by the look before (see TransferClock::publishReceived).
  std::optional<std::pair<int, uint64_t>> watchedSocketBytes();
  // Takes the connection's received count again when the transfer has been
  // touched since the last look (the engine calls it shortly after).
  void refreshSocketBytes();

  // ---- libcurl callbacks
  size_t onHeader(const char* bytes, size_t length);
  size_t onWrite(const char* bytes, size_t length);
  size_t onRead(char* buffer, size_t length);
  // Moves the body to `offset` for a request libcurl sends again.
  int onSeek(int64_t offset, int origin);
  // A TLS connection's context is made for the transfer.
  void onSSLContext(SSL_CTX* ctx);
  int onVerify(X509_STORE_CTX* ctx);
  // Whether the request is on the connection with `socket` now (-1: a
  // connection still being made), its transfer under way: only then are
  // the connection's handshakes its to judge.
  bool holdsConnection(int socket) const;
  void onSocket(int fd);
  // The connection is made or taken for reuse; the request goes out next
  // unless false (its trust was refused).
  bool onConnectionReady(long localPort, long remotePort);

  uint64_t id() const { return id_; }

 private:
  enum class Phase {
    Idle,
    Transferring,         // bytes moving
    AwaitingDelegate,     // held for an answer (response, redirect, stream, cache, auth)
    Finished,             // completion posted
  };
  enum class Sink { Memory, Events, File };

  // Why a transfer was stopped from one of its callbacks.
  enum class Fault { None, BadHead, Undecodable, TooLong };

  void beginAttempt();
  // Takes decoded body bytes; false stops the transfer.
  bool takeBody(const uint8_t* bytes, size_t length);
  // The response declared a length and fewer body bytes came.
  bool bodyCutShort() const;
  // Sends the request again on a fresh connection when its kept-alive one
  // failed (`curlCode`) before any of the request went out on it; false
  // when it is not to be.
  bool retryOnFreshConnection(int curlCode);
  // Whether the attempt took a kept-alive TLS connection that has carried
  // no byte of the request and brought no byte of its answer, and the task
  // has not gone out on a new connection in its place yet: only such a
  // request can go out again without the server perhaps carrying it out
  // twice.
  bool mayGoOutAfresh() const;
  // The same, and its body can be sent again (a stream body is not read
  // twice).
  bool canGoOutAfresh() const;
  // Ends the task after libcurl stopped its transfer with `curlCode`.
  void finishAfterCurlError(int curlCode, long osErrno);
  void handleRedirect();
  void takeHeldResponseAsFinal();
  URLRequestCachePolicy cachePolicy() const;
  bool configureEasy();
  // A body handed to libcurl whole (`inlineBody_`) is counted as it says
  // it sent it.
  void countInlineUpload();
  void setUpFreshEasy(unsigned kind);
  void releaseEasy();
  bool openBody();
  // The current stream body, made again from its source and moved past
  // `offset` bytes; false when it has no source to start from.
  bool reopenStream(int64_t offset);
  void closeBody();
  // False when the head is not one to go on with (see fault_).
  bool headComplete();
  void deliverResponse();
  void continueAfterResponse();
  bool startRedirect(Ref<URLRequest> next);
  void finishSuccess();
  void afterCacheDecision();
  void finishWithError(long code, const std::string& description, Ref<Error> underlying = nullptr);
  void finishWithError(Ref<Error> error);
  void postCompletion(Ref<Error> error);
  void applyPause();
  void touch();
  void countSocketBytesFromHere();
  // What the transfer's connection has received of the request's stream:
  // everything over plain TCP, the application data over TLS, nothing that
  // counts over HTTP/2 (nullopt).
  std::optional<SocketReceipt> streamReceipt() const;
  // Takes the time the stream's last bytes came as a sign of life.
  void noteArrival(const SocketReceipt& receipt);
  // Notes the bytes of an undecided record (see SocketReceipt); true when
  // some came since the last look.
  bool noteUndecided(const SocketReceipt& receipt);
  // The TLS connection of the transfer (nullptr over plain TCP).
  SSL* connectionSSL() const;
  // Whether the TLS handshake of the transfer's connection chose HTTP/2.
  bool negotiatedHTTP2() const;
  bool serveFromCache();
  void serveFile();
  void becomeDownload();
  void askForBodyStream(std::function<void()> then);
  void askHTTPAuthentication();
  Ref<Error> errorFor(long code, const std::string& description, Ref<Error> underlying = nullptr) const;
  void removeDownloadFile();

  Ref<URLSessionTask> task_;
  const uint64_t id_;
  DriverSettings settings_;
  BodySource body_;
  URLSession::DataCompletion dataCompletion_;
  URLSession::DownloadCompletion downloadCompletion_;

  Ref<URLRequest> request_;  // the request of the current attempt
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  ResponseHeadParser head_;
  size_t headBytes_ = 0;
  std::optional<int64_t> declaredLength_;
  std::unique_ptr<ContentDecoder> decoder_;
  int64_t wireBytes_ = 0;   // body bytes as sent, this attempt
  int64_t inMemory_ = 0;    // decoded bytes held for memory or data events
  Ref<URLResponse> response_;
  std::optional<int> finishedWhileHeld_;  // curl result that arrived while held
  long authFailures_ = 0;
  std::optional<std::string> authorization_;

  std::vector<uint8_t> pending_;       // bytes not yet posted
  std::vector<uint8_t> accumulated_;   // body for a completion handler
  int64_t countedReceived_ = 0;        // the received counter as last set
  std::vector<uint8_t> heldBody_;      // body of a redirect or challenge response
  std::vector<uint8_t> cacheBody_;     // body kept for the URL cache
  int64_t pendingFileBytes_ = 0;       // written to the download file, not yet reported
  Ref<Error> activeStreamError_;
  std::function<void()> afterBodyStream_;
  int64_t received_ = 0;
  int64_t postedUpload_ = 0;
  int64_t uploaded_ = 0;
  int64_t uploadExpected_ = URLSessionTransferSizeUnknown;

  // Body source state for the current attempt.
  size_t dataOffset_ = 0;
  FILE* uploadFile_ = nullptr;
  Ref<InputStream> activeStream_;
  Ref<InputStream> streamSource_;  // the stream the body came from
  int64_t bodyLength_ = -1;  // -1: unknown (chunked)
  int64_t bodyProvided_ = 0;

  // Download state.
  FILE* downloadFile_ = nullptr;
  std::string downloadPath_;
  int64_t resumeOffset_ = 0;
  std::string resumeValidator_;
  std::function<void(Ref<Data>)> resumeDataCompletion_;

  // TLS trust step: judges `chain` (leaf first) for this request, as kit's
  // default evaluation or the delegate decides; `passedDefault`: the chain
  // is known to pass the default evaluation. False when refused (see
  // trustError_).
  bool judgeTrust(std::vector<Ref<Certificate>> chain, bool passedDefault);
  TrustAnswer askDelegateAboutTrust(const Ref<Trust>& trust);
  // Judges the kept-alive connection the request is about to go out on.
  bool judgeReusedConnection();
  // Makes the TLS connection's later handshakes (a renegotiation) this
  // request's to judge.
  void claimConnection();
  Ref<Error> trustError_;  // why the connection was refused

  double requestTimeout() const;
  // The idle or resource time-out, whichever comes first, while bytes move.
  double timeoutDeadline() const;

  double lastActivity_ = 0;  // on kit::Clock
  uint64_t streamBytes_ = 0;   // the stream's bytes at the last look
  uint64_t watchedBytes_ = 0;  // the socket's at the last look, for the clock
  uint64_t undecidedSeen_ = 0;  // the connection's undecided bytes at the last look
  // Virtual clock: the looks that saw undecided bytes come, as the count
  // they saw and when, back to the oldest record still undecided.
  std::deque<std::pair<uint64_t, double>> undecidedLooks_;
  // While a record of unknown type that holds the time-out is in transit:
  // when its last bytes came.
  std::optional<double> undecidedActivity_;
  double startedAt_ = 0;
  // Set once a byte of the request went out on the kept-alive TLS
  // connection it took (see watchApplicationDataSent); it outlives the
  // connection.
  std::shared_ptr<bool> sentOnConnection_;
  // Small members last, together, so that they pack: a driver is made for
  // every request.
  unsigned easyKind_ = 0;  // see configureEasy
  int attemptsOnEasy_ = 0;  // times libcurl sent the request
  Fault fault_ = Fault::None;
  Phase phase_ = Phase::Idle;
  Sink sink_ = Sink::Events;
  int redirectCount_ = 0;
  int bodyStreamRestarts_ = 0;
  enum class TrustStep { NotAsked, Accepted, Refused } trustStep_ = TrustStep::NotAsked;
  int socket_ = -1;           // the connection's socket while the transfer runs
  bool easyClean_ = false;  // see releaseEasy
  bool inlineBody_ = false;  // see configureEasy
  bool headDone_ = false;
  bool chunked_ = false;  // the head named a transfer encoding
  bool userSuspended_ = false;
  bool holdForDelegate_ = false;  // no bytes may be delivered yet
  bool redirectPending_ = false;
  bool authPending_ = false;
  bool cacheBodyUsable_ = true;
  bool servedFromCache_ = false;
  bool streamFailed_ = false;
  bool resumeRequested_ = false;
  bool socketBytesStale_ = false;  // touched since that look
  bool secure_ = false;            // the attempt goes over TLS
  bool framesOfOthers_ = false;    // the connection multiplexes (HTTP/2), see streamReceipt
  bool handshakeJudged_ = false;   // a handshake was accepted since the last connection
  // The attempt took a kept-alive connection in the middle of a handshake,
  // which it judges when the certificate comes.
  bool judgesHandshakeUnderWay_ = false;
  bool chainPassedDefault_ = false;  // the last chain judged passed the default evaluation
  bool timedOut_ = false;
  bool reusedConnection_ = false;  // the attempt went out on a kept-alive TLS connection
  // Which could not serve it: refused while no request held it, or in the
  // middle of a handshake whose server part had not come.
  bool refusedConnection_ = false;
  bool freshConnection_ = false;  // the next attempt opens a new connection
  bool retriedFresh_ = false;     // the task went out again on a new connection once
};

}  // namespace kit::netdetail
