// One task on the network thread: transfers, response head, holds for the
// delegate, redirects, body sources, downloads, TLS trust and completion.
#include "kit/net/task_driver.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "kit/dispatch/clock.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/net/body_buffer_pool.h"
#include "kit/net/content_decoder.h"
#include "kit/net/event_lane.h"
#include "kit/net/input_stream.h"
#include "kit/net/mime_types.h"
#include "kit/net/session_events.h"
#include "kit/net/socket_receipt.h"
#include "kit/net/transfer_engine.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_error_mapping.h"

namespace kit::netdetail {

namespace {

constexpr int kMaxRedirects = 16;
// A stream body that cannot be rewound is asked for again this many times
// before the task gives up.
constexpr int kMaxBodyStreamRestarts = 3;
// About 24 days: far beyond any request time-out the engine enforces.
constexpr long kNoCurlConnectLimitMs = 0x7fffffffL;
// A response head beyond these is refused: one line (the status line or a
// field), and the whole head with its informational heads and trailers.
constexpr size_t kMaxHeadLine = 64 * 1024;
constexpr size_t kMaxHead = 256 * 1024;

size_t headerCallback(char* bytes, size_t size, size_t count, void* driver) {
  return static_cast<TaskDriver*>(driver)->onHeader(bytes, size * count);
}
size_t writeCallback(char* bytes, size_t size, size_t count, void* driver) {
  return static_cast<TaskDriver*>(driver)->onWrite(bytes, size * count);
}
size_t readCallback(char* buffer, size_t size, size_t count, void* driver) {
  return static_cast<TaskDriver*>(driver)->onRead(buffer, size * count);
}
int seekCallback(void* driver, curl_off_t offset, int origin) {
  return static_cast<TaskDriver*>(driver)->onSeek(offset, origin);
}
int socketCallback(void* driver, curl_socket_t fd, curlsocktype) {
  static_cast<TaskDriver*>(driver)->onSocket(fd);
  return CURL_SOCKOPT_OK;
}
// Connections outlive the transfer that opened them, so their sockets are
// closed through the engine, which outlives them all.
int closeSocketCallback(void* engine, curl_socket_t fd) {
  static_cast<TransferEngine*>(engine)->forgetSocket(fd);
  return close(fd);
}
int prerequestCallback(void* driver, char*, char*, int remotePort, int localPort) {
  return static_cast<TaskDriver*>(driver)->onConnectionReady(localPort, remotePort) ? CURL_PREREQFUNC_OK
                                                                                    : CURL_PREREQFUNC_ABORT;
}
CURLcode sslContextCallback(CURL*, void* sslContext, void* driver) {
  static_cast<TaskDriver*>(driver)->onSSLContext(static_cast<SSL_CTX*>(sslContext));
  return CURLE_OK;
}

bool isRedirectStatus(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::string makeTemporaryFile(FILE** file) {
  const char* dir = getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kitNetworkDownload_XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = mkstemp(buffer.data());
  if (fd < 0) return {};
  *file = fdopen(fd, "wb");
  if (!*file) {
    close(fd);
    unlink(buffer.data());
    return {};
  }
  return buffer.data();
}


TaskDriver::TaskDriver(Ref<URLSessionTask> task, DriverSettings settings, BodySource body,
                       URLSession::DataCompletion dataCompletion, URLSession::DownloadCompletion downloadCompletion)
    : task_(std::move(task)),
      id_(task_->taskIdentifier()),
      settings_(std::move(settings)),
      body_(std::move(body)),
      dataCompletion_(std::move(dataCompletion)),
      downloadCompletion_(std::move(downloadCompletion)) {
  request_ = task_->currentRequest();
  if (task_->kind() == URLSessionTask::Kind::Download) {
    sink_ = Sink::File;
  } else if (dataCompletion_ || !settings_.hasDelegate) {
    sink_ = Sink::Memory;
  } else {
    sink_ = Sink::Events;
  }
}

TaskDriver::~TaskDriver() {
  releaseEasy();
  closeBody();
  if (downloadFile_) fclose(downloadFile_);
  // A download that never reached its finish event leaves nothing behind,
  // unless its file was handed out as resume data.
  if (!downloadPath_.empty() && phase_ != Phase::Finished) unlink(downloadPath_.c_str());
}

// ---- Starting

void TaskDriver::start() {
  startedAt_ = Clock::now();
  touch();
  auto url = request_ ? request_->URL() : nullptr;
  if (!url) return finishWithError(URLErrorUnsupportedURL, "");
  const std::string scheme = urlScheme(url);
  secure_ = scheme == "https";
  if (scheme == "file") return serveFile();
  if (scheme != "http" && scheme != "https") return finishWithError(URLErrorUnsupportedURL, "");
  if (!urlHasHost(url)) return finishWithError(URLErrorBadURL, "");
  if (body_.kind == BodySource::Kind::File && access(body_.filePath.c_str(), R_OK) != 0) {
    return finishWithError(URLErrorFileDoesNotExist, "");
  }
  if (serveFromCache()) return;
  if (body_.kind == BodySource::Kind::Stream && body_.streamFromDelegate && !body_.stream) {
    return askForBodyStream([this] { beginAttempt(); });
  }
  beginAttempt();
}

void TaskDriver::setResumeState(std::string partialFile, int64_t offset, std::string validator) {
  downloadPath_ = std::move(partialFile);
  resumeOffset_ = offset;
  resumeValidator_ = std::move(validator);
  resumeRequested_ = true;
}

void TaskDriver::beginAttempt() {
  head_.reset();
  headDone_ = false;
  chunked_ = false;
  headBytes_ = 0;
  declaredLength_.reset();
  decoder_.reset();
  wireBytes_ = 0;
  inMemory_ = 0;
  fault_ = Fault::None;
  response_ = nullptr;
  heldBody_.clear();
  redirectPending_ = false;
  authPending_ = false;
  finishedWhileHeld_.reset();
  handshakeJudged_ = false;
  reusedConnection_ = false;
  phase_ = Phase::Transferring;
  touch();
  // Such a name is never looked up: a resolver may take its time to say so,
  // and a request's answer should not wait on it.
  if (urlHostIsReservedInvalid(request_->URL())) return finishWithError(URLErrorCannotFindHost, "");
  if (sink_ == Sink::File && !downloadFile_) {
    if (resumeRequested_ && !downloadPath_.empty()) {
      downloadFile_ = fopen(downloadPath_.c_str(), "ab");
    } else {
      downloadPath_ = makeTemporaryFile(&downloadFile_);
    }
    if (!downloadFile_) return finishWithError(URLErrorCannotCreateFile, "The file could not be created.");
  }
  if (!openBody()) return;
  if (!configureEasy()) return finishWithError(URLErrorBadURL, "");
  if (curl_multi_add_handle(settings_.engine->multi(), easy_) != CURLM_OK) {
    releaseEasy();
    return finishWithError(URLErrorCannotLoadFromNetwork, "");
  }
  applyPause();
}

bool TaskDriver::openBody() {
  closeBody();
  dataOffset_ = 0;
  bodyProvided_ = 0;
  uploaded_ = 0;  // the counters describe the request being sent
  postedUpload_ = 0;
  bodyLength_ = -1;
  switch (body_.kind) {
    case BodySource::Kind::None:
      break;
    case BodySource::Kind::Data:
      bodyLength_ = static_cast<int64_t>(body_.data->length());
      break;
    case BodySource::Kind::File: {
      // Only a regular file is sent: a FIFO or a device would hold the
      // network thread.
      const int fd = openRegularFileForReading(body_.filePath);
      uploadFile_ = fd >= 0 ? fdopen(fd, "rb") : nullptr;
      if (!uploadFile_) {
        if (fd >= 0) close(fd);
        finishWithError(URLErrorFileDoesNotExist, "");
        return false;
      }
      struct stat st {};
      if (fstat(fileno(uploadFile_), &st) == 0) bodyLength_ = st.st_size;
      break;
    }
    case BodySource::Kind::Stream: {
      activeStream_ = body_.stream;
      streamSource_ = activeStream_;
      body_.stream = nullptr;  // a stream is read once; a new request needs a new one
      if (!activeStream_) {
        finishWithError(URLErrorRequestBodyStreamExhausted, "");
        return false;
      }
      if (auto length = request_->headerFields().value("Content-Length")) {
        bodyLength_ = parseContentLength(*length).value_or(-1);
      }
      activeStream_->open();
      break;
    }
  }
  if (body_.kind != BodySource::Kind::None) {
    uploadExpected_ = bodyLength_ >= 0 ? bodyLength_ : URLSessionTransferSizeUnknown;
    task_->setCounter(URLSessionTaskCounter::BytesExpectedToSend, uploadExpected_ >= 0 ? uploadExpected_ : 0);
  }
  return true;
}

void TaskDriver::closeBody() {
  if (uploadFile_) fclose(uploadFile_);
  uploadFile_ = nullptr;
  if (activeStream_) activeStream_->close();
  activeStream_ = nullptr;
}

namespace {

constexpr int64_t kInlineBodyLimit = 64 * 1024;

// What a request sets on its easy handle beyond the options every request
// sets: a handle returned with one kind serves the next request of that
// kind as it stands.
enum EasyKind : unsigned {
  kGet = 1,
  kHead,
  kBody,        // POST, or another method named over it, with a body
  kInlineBody,  // the same with a body in memory that goes out with the head
  kEmptyPost,   // POST with no body
  kOther,       // another method without a body
  kKindMask = 0xf,
  kWithCookies = 0x10,
};

}  // namespace

bool TaskDriver::configureEasy() {
  releaseEasy();
  const std::string& method = request_->HTTPMethod();
  // The share carries the session's cookies, so a request that opts out of
  // cookies stays out of it.
  const bool cookies = settings_.setCookies && request_->HTTPShouldHandleCookies();
  // A small body in memory is handed to libcurl whole, which sends it in
  // one piece with the head (up to its own limit of 64 KiB); a larger one
  // is read out as it goes, so that its progress is heard of.
  inlineBody_ = body_.kind == BodySource::Kind::Data && bodyLength_ < kInlineBodyLimit;
  unsigned kind = inlineBody_                              ? kInlineBody
                  : body_.kind != BodySource::Kind::None ? kBody
                  : method == "GET"                      ? kGet
                  : method == "HEAD"                     ? kHead
                  : method == "POST"                     ? kEmptyPost
                                                         : kOther;
  if (cookies) kind |= kWithCookies;
  bool fresh = true;
  easy_ = settings_.engine->takeEasyHandle(kind, fresh);
  if (!easy_) return false;
  easyKind_ = kind;
  easyClean_ = false;
  attemptsOnEasy_ = 0;
  const std::string url = urlString(request_->URL());
  curl_easy_setopt(easy_, CURLOPT_PRIVATE, reinterpret_cast<char*>(static_cast<uintptr_t>(id_)));
  if (curl_easy_setopt(easy_, CURLOPT_URL, url.c_str()) != CURLE_OK) return false;
  curl_easy_setopt(easy_, CURLOPT_FRESH_CONNECT, std::exchange(freshConnection_, false) ? 1L : 0L);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy_, CURLOPT_SOCKOPTDATA, this);
  curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(easy_, CURLOPT_SSL_CTX_DATA, this);
  const bool withBody = (kind & kKindMask) == kBody || (kind & kKindMask) == kInlineBody;
  if (withBody) curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength_));
  if (inlineBody_) {
    // Not a null pointer for an empty body: libcurl would read the body
    // from its default reader, standard input.
    const char* bytes = bodyLength_ > 0 ? reinterpret_cast<const char*>(body_.data->bytes()) : "";
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, bytes);
  } else if (withBody) {
    curl_easy_setopt(easy_, CURLOPT_READDATA, this);
    curl_easy_setopt(easy_, CURLOPT_SEEKDATA, this);
  }
  // The method's name is the request's own, whatever the handle had.
  if ((withBody && method != "POST") || (kind & kKindMask) == kOther) {
    curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (withBody && !fresh) {
    curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, nullptr);
  }
  if (fresh) setUpFreshEasy(kind);

  HTTPHeaderFields fields = request_->headerFields();
  for (const auto& [name, value] : settings_.additionalHeaders.entries()) {
    if (!fields.contains(name)) fields.set(name, value);
  }
  if (authorization_) fields.set("Authorization", *authorization_);
  if (resumeRequested_ && resumeOffset_ > 0) {
    fields.set("Range", formatString("bytes=%lld-", static_cast<long long>(resumeOffset_)));
    if (!resumeValidator_.empty()) fields.set("If-Range", resumeValidator_);
  }
  // No implicit Accept, or Expect for a large body: the server sees what the
  // request says. ("Name:" tells libcurl to leave its own header out; it adds
  // Accept-Encoding only when asked to decode, which it never is here.) Each
  // line is matched against every header libcurl considers, so only the
  // lines it needs are sent along.
  if (!fields.contains("Accept")) headerList_ = curl_slist_append(headerList_, "Accept:");
  if (body_.kind != BodySource::Kind::None && !fields.contains("Expect")) {
    headerList_ = curl_slist_append(headerList_, "Expect:");
  }
  for (const auto& [name, value] : fields.entries()) {
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    if (line.find_first_of("\r\n") != std::string::npos) continue;  // no header injection
    headerList_ = curl_slist_append(headerList_, line.c_str());
  }
  curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
  return true;
}

// The options a request of `kind` sets that stay as they are on a handle
// returned with that kind.
void TaskDriver::setUpFreshEasy(unsigned kind) {
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  // Loopback never goes through a proxy from the environment (this list
  // replaces no_proxy, so it carries that variable's hosts along).
  static const NoDestructor<std::string> noProxy([] {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
      if (const char* value = getenv(name); value && *value) return list + "," + value;
    }
    return list;
  }());
  curl_easy_setopt(easy_, CURLOPT_NOPROXY, noProxy->c_str());
  const bool cookies = (kind & kWithCookies) != 0;
  curl_easy_setopt(easy_, CURLOPT_SHARE, cookies ? settings_.engine->share() : nullptr);
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, headerCallback);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, writeCallback);
  // Declared content encodings are decoded here, not by libcurl, which
  // cannot tell a compressed stream cut short from a whole one.
  curl_easy_setopt(easy_, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(easy_, CURLOPT_TCP_NODELAY, 1L);
  curl_easy_setopt(easy_, CURLOPT_SOCKOPTFUNCTION, socketCallback);
  curl_easy_setopt(easy_, CURLOPT_CLOSESOCKETFUNCTION, closeSocketCallback);
  curl_easy_setopt(easy_, CURLOPT_CLOSESOCKETDATA, settings_.engine);
  curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, prerequestCallback);
  curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(easy_, CURLOPT_SSL_SESSIONID_CACHE, 0L);
  curl_easy_setopt(easy_, CURLOPT_SSL_CTX_FUNCTION, sslContextCallback);
  if (cookies) curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
  switch (kind & kKindMask) {
    case kBody:
      curl_easy_setopt(easy_, CURLOPT_POST, 1L);
      curl_easy_setopt(easy_, CURLOPT_READFUNCTION, readCallback);
      // libcurl sends a request again on its own (a kept-alive connection
      // the server had closed, an authentication round): the body starts
      // over.
      curl_easy_setopt(easy_, CURLOPT_SEEKFUNCTION, seekCallback);
      break;
    case kInlineBody:
      break;  // CURLOPT_POSTFIELDS makes it a POST
    case kGet:
      curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
      break;
    case kHead:
      curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
      break;
    case kEmptyPost:
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, "");
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE, 0L);
      break;
    default:
      break;
  }
  // Time-outs are the engine's, on kit::Clock (see deadline()): libcurl
  // reads the real clock, so its own connect limit (300 s unless set) is
  // moved out of the way and no other limit of its own is set.
  curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, kNoCurlConnectLimitMs);
}

void TaskDriver::releaseEasy() {
  // The request leaves its connection first: libcurl closes a connection
  // whose transfer ends before its time, reading what came on it as it
  // does, and a handshake it finds there is no longer this request's (see
  // holdsConnection).
  if (CURL* easy = std::exchange(easy_, nullptr)) {
    curl_multi_remove_handle(settings_.engine->multi(), easy);
    // libcurl counts the times it sent a request again on a new connection
    // across the handle's transfers and gives up after a few: only a handle
    // whose transfer went out once and ended well is kept as it is.
    settings_.engine->returnEasyHandle(easy, easyClean_ ? easyKind_ : 0);
  }
  if (headerList_) curl_slist_free_all(headerList_);
  headerList_ = nullptr;
  socket_ = -1;
  framesOfOthers_ = false;
}

// ---- Commands

void TaskDriver::setSuspended(bool suspended) {
  if (userSuspended_ == suspended) return;
  userSuspended_ = suspended;
  if (!suspended) touch();
  applyPause();
}

void TaskDriver::applyPause() {
  if (!easy_) return;
  // Unpausing hands libcurl's held bytes to onWrite at once; when it
  // refuses them the transfer is over. (Before the transfer has a
  // connection libcurl refuses the call itself, which means nothing.)
  const CURLcode result = curl_easy_pause(easy_, userSuspended_ ? CURLPAUSE_ALL : CURLPAUSE_CONT);
  if (result == CURLE_WRITE_ERROR || fault_ != Fault::None) {
    closeBody();
    finishAfterCurlError(result, 0);
  }
}

void TaskDriver::cancel() {
  if (phase_ == Phase::Finished) return;
  releaseEasy();
  finishWithError(URLErrorCancelled, "");
}

void TaskDriver::cancelProducingResumeData(std::function<void(Ref<Data>)> completion) {
  if (phase_ == Phase::Finished) {
    settings_.lane->post([completion] { completion(nullptr); });
    return;
  }
  releaseEasy();
  Ref<Data> resumeData;
  auto http = as<HTTPURLResponse>(response_);
  std::string validator;
  if (http) {
    validator = http->headerFields().value("ETag").value_or(http->headerFields().value("Last-Modified").value_or(""));
  }
  if (downloadFile_ && received_ > 0 && !validator.empty()) {
    fflush(downloadFile_);
    int64_t offset = resumeOffset_ + received_;
    resumeData = encodeResumeData(request_, downloadPath_, offset, validator);
    fclose(downloadFile_);
    downloadFile_ = nullptr;
    downloadPath_.clear();  // the file now belongs to the resume data
  }
  settings_.lane->post([completion, resumeData] { completion(resumeData); });
  finishWithError(URLErrorCancelled, "");
}

void TaskDriver::onSocket(int fd) { settings_.engine->noteSocket(fd); }

bool TaskDriver::onConnectionReady(long localPort, long remotePort) {
  ++attemptsOnEasy_;
  socket_ = settings_.engine->socketFor(localPort, remotePort);
  framesOfOthers_ = secure_ && negotiatedHTTP2();
  // The stream's count starts over from the new connection's own, taken
  // here (or at the engine's next look, before any comparison with it).
  watchedBytes_ = 0;
  undecidedSeen_ = 0;
  undecidedLooks_.clear();
  undecidedActivity_.reset();
  socketBytesStale_ = false;
  countSocketBytesFromHere();
  // libcurl may send the request again on a new connection of its own.
  reusedConnection_ = false;
  refusedConnection_ = false;
  judgesHandshakeUnderWay_ = false;
  sentOnConnection_.reset();
  if (!secure_) return true;
  claimConnection();
  // A handshake just judged the connection, or it was kept alive.
  if (std::exchange(handshakeJudged_, false)) {
    if (chainPassedDefault_) settings_.engine->setTrustedByDefault(socket_, true);
    return true;
  }
  reusedConnection_ = true;
  // Whether the request goes out on it from here on. A connection that
  // cannot tell counts as having carried it.
  sentOnConnection_ = std::make_shared<bool>(false);
  SSL* ssl = connectionSSL();
  if (!ssl || !watchApplicationDataSent(ssl, sentOnConnection_)) *sentOnConnection_ = true;
  if (settings_.engine->refusedConnection(socket_)) {
    refusedConnection_ = true;
    return false;
  }
  if (!judgeReusedConnection()) return false;
  // An HTTP/2 connection's records are any stream's: the request has gone
  // out as far as anyone can tell.
  if (framesOfOthers_) *sentOnConnection_ = true;
  return true;
}

SSL* TaskDriver::connectionSSL() const {
  curl_tlssessioninfo* session = nullptr;
  if (!easy_ || curl_easy_getinfo(easy_, CURLINFO_TLS_SSL_PTR, &session) != CURLE_OK || !session ||
      session->backend != CURLSSLBACKEND_OPENSSL) {
    return nullptr;
  }
  return static_cast<SSL*>(session->internals);
}

bool TaskDriver::negotiatedHTTP2() const {
  // libcurl speaks HTTP/2 on a TLS connection exactly when the handshake
  // settled on "h2"; it never does over plain TCP unless asked to. (Its own
  // CURLINFO_HTTP_VERSION is set only once a response head came.)
  SSL* ssl = connectionSSL();
  if (!ssl) return false;
  const unsigned char* protocol = nullptr;
  unsigned length = 0;
  SSL_get0_alpn_selected(ssl, &protocol, &length);
  return length == 2 && memcmp(protocol, "h2", 2) == 0;
}

// ---- libcurl callbacks

size_t TaskDriver::onHeader(const char* bytes, size_t length) {
  touch();
  if (headBytes_ == 0 && inlineBody_) {
    // The request went out before its answer came: the delegate hears of
    // the body sent ahead of the response.
    countInlineUpload();
    flushUpload();
  }
  headBytes_ += length;
  if (length > kMaxHeadLine || headBytes_ > kMaxHead) {
    fault_ = Fault::BadHead;
    return 0;
  }
  // Trailers of a chunked body come this way too; the head is done by then.
  if (head_.feedLine(std::string_view(bytes, length)) && head_.complete() && !headDone_) {
    headDone_ = true;
    if (!headComplete()) return 0;
  }
  return length;
}

size_t TaskDriver::onRead(char* buffer, size_t length) {
  touch();
  if (bodyLength_ >= 0) {
    int64_t left = bodyLength_ - bodyProvided_;
    if (left <= 0) return 0;
    length = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(length)));
  }
  size_t n = 0;
  switch (body_.kind) {
    case BodySource::Kind::None:
      return 0;
    case BodySource::Kind::Data:
      n = std::min(length, body_.data->length() - dataOffset_);
      memcpy(buffer, body_.data->bytes() + dataOffset_, n);
      dataOffset_ += n;
      break;
    case BodySource::Kind::File:
      n = fread(buffer, 1, length, uploadFile_);
      if (n == 0 && ferror(uploadFile_)) return CURL_READFUNC_ABORT;
      break;
    case BodySource::Kind::Stream: {
      if (!activeStream_) return 0;
      long got = activeStream_->read(reinterpret_cast<uint8_t*>(buffer), length);
      if (got < 0) {
        streamFailed_ = true;
        activeStreamError_ = activeStream_->streamError();
        return CURL_READFUNC_ABORT;
      }
      n = static_cast<size_t>(got);
      break;
    }
  }
  bodyProvided_ += static_cast<int64_t>(n);
  uploaded_ += static_cast<int64_t>(n);
  if (n) settings_.engine->markDirty(id_);
  return n;
}

int TaskDriver::onSeek(int64_t offset, int origin) {
  touch();
  if (origin != SEEK_SET || offset < 0 || (bodyLength_ >= 0 && offset > bodyLength_)) return CURL_SEEKFUNC_FAIL;
  switch (body_.kind) {
    case BodySource::Kind::None:
      if (offset != 0) return CURL_SEEKFUNC_FAIL;
      break;
    case BodySource::Kind::Data:
      if (static_cast<uint64_t>(offset) > body_.data->length()) return CURL_SEEKFUNC_FAIL;
      dataOffset_ = static_cast<size_t>(offset);
      break;
    case BodySource::Kind::File:
      if (!uploadFile_ || fseeko(uploadFile_, static_cast<off_t>(offset), SEEK_SET) != 0) return CURL_SEEKFUNC_FAIL;
      break;
    case BodySource::Kind::Stream:
      if (offset != bodyProvided_ && !reopenStream(offset)) return CURL_SEEKFUNC_CANTSEEK;
      break;
  }
  bodyProvided_ = offset;
  uploaded_ = offset;
  postedUpload_ = std::min(postedUpload_, offset);
  return CURL_SEEKFUNC_OK;
}

void TaskDriver::countInlineUpload() {
  if (!inlineBody_ || !easy_) return;
  curl_off_t sent = 0;
  if (curl_easy_getinfo(easy_, CURLINFO_SIZE_UPLOAD_T, &sent) != CURLE_OK) return;
  const int64_t counted = std::min<int64_t>(sent, bodyLength_);
  if (counted <= uploaded_) return;
  uploaded_ = counted;
  bodyProvided_ = counted;
  settings_.engine->markDirty(id_);
}

bool TaskDriver::reopenStream(int64_t offset) {
  // Streams over bytes or a file start again from their source; any other
  // stream is the delegate's to make again (see finishAfterCurlError).
  if (!streamSource_ || (!as<DataInputStream>(streamSource_) && !as<FileInputStream>(streamSource_))) return false;
  auto fresh = std::static_pointer_cast<InputStream>(streamSource_->copy());
  fresh->open();
  uint8_t buffer[16 * 1024];
  for (int64_t skipped = 0; skipped < offset;) {
    const long got = fresh->read(buffer, static_cast<size_t>(std::min<int64_t>(offset - skipped, sizeof buffer)));
    if (got <= 0) {
      fresh->close();
      return false;
    }
    skipped += got;
  }
  if (activeStream_) activeStream_->close();
  activeStream_ = std::move(fresh);
  return true;
}

// ---- Response head

bool TaskDriver::headComplete() {
  const auto& status = head_.status();
  // A length that is not a number, or two that differ, leaves no telling
  // where the body ends.
  if (const std::string* length = head_.fields().find("Content-Length")) {
    declaredLength_ = parseContentLength(*length);
    if (!declaredLength_) {
      fault_ = Fault::BadHead;
      return false;
    }
  }
  if (const std::string* encoding = head_.fields().find("Content-Encoding")) {
    decoder_ = ContentDecoder::forEncoding(*encoding);
  }
  chunked_ = head_.fields().contains("Transfer-Encoding");
  auto response = HTTPURLResponse::make(request_->URL(), status->statusCode, status->version, head_.takeFields());
  if (!response) return true;
  response_ = response;
  long code = response->statusCode();
  bool canRedirect = isRedirectStatus(code) && response->headerFields().contains("Location");
  if (canRedirect) {
    redirectPending_ = true;
    return true;
  }
  if (code == 401 && settings_.hasDelegate && response->headerFields().contains("WWW-Authenticate")) {
    authPending_ = true;
    return true;
  }
  // The body's buffer is made once at the length it says it has (a large
  // one from the pool).
  if (sink_ == Sink::Memory && !decoder_ && declaredLength_ && *declaredLength_ <= settings_.maximumInMemoryBody &&
      code != 204 && code != 304 && request_->HTTPMethod() != "HEAD" && accumulated_.empty()) {
    const auto length = static_cast<size_t>(*declaredLength_);
    if (length >= BodyBufferPool::kMinPooled) {
      accumulated_ = BodyBufferPool::shared().take(length);
    } else {
      accumulated_.reserve(length);
    }
  }
  if (resumeRequested_ && sink_ == Sink::File) {
    int64_t offset = resumeOffset_;
    if (code != 206) {
      // The server sent the whole file: start it over.
      offset = 0;
      resumeOffset_ = 0;
      if (downloadFile_) fclose(downloadFile_);
      downloadFile_ = fopen(downloadPath_.c_str(), "wb");
    }
    int64_t expected = response->expectedContentLength();
    postDownloadResumed(settings_.lane, task_, offset, expected >= 0 ? expected + offset : expected,
                        settings_.hasDelegate && !downloadCompletion_);
  }
  deliverResponse();
  return true;
}

void TaskDriver::deliverResponse() {
  auto response = response_;
  int64_t expected = response->expectedContentLength();
  if (resumeRequested_ && expected >= 0) expected += resumeOffset_;
  task_->setCounter(URLSessionTaskCounter::BytesExpectedToReceive, expected);
  if (sink_ == Sink::Events && settings_.askResponse && settings_.awaitResponseAnswer) {
    holdForDelegate_ = true;
    phase_ = Phase::AwaitingDelegate;
    postResponse(settings_.lane, as<URLSessionDataTask>(task_), response, settings_.engine, id_, true);
  } else if (sink_ == Sink::Events && settings_.askResponse) {
    // The delegate hears of the response ahead of the data; the transfer
    // goes on without its answer.
    task_->setResponse(response);
    postResponse(settings_.lane, as<URLSessionDataTask>(task_), response, settings_.engine, id_, false);
  } else {
    task_->setResponse(response);
  }
}

void TaskDriver::answerResponse(URLSessionResponseDisposition disposition) {
  if (phase_ == Phase::Finished || !holdForDelegate_) return;
  holdForDelegate_ = false;
  phase_ = Phase::Transferring;
  touch();
  switch (disposition) {
    case URLSessionResponseDisposition::Cancel:
      return cancel();
    case URLSessionResponseDisposition::BecomeDownload:
      becomeDownload();
      break;
    case URLSessionResponseDisposition::Allow:
    case URLSessionResponseDisposition::BecomeStream:
      break;
  }
  continueAfterResponse();
}

void TaskDriver::continueAfterResponse() {
  if (finishedWhileHeld_) {
    int code = *finishedWhileHeld_;
    finishedWhileHeld_.reset();
    onTransferDone(code);
    return;
  }
  settings_.engine->markDirty(id_);
  applyPause();
}

void TaskDriver::becomeDownload() {
  auto download = adoptAsDownload(task_);
  if (!download) return;
  FILE* file = nullptr;
  std::string path = makeTemporaryFile(&file);
  if (path.empty()) return finishWithError(URLErrorCannotCreateFile, "The file could not be created.");
  // Bytes the data task already delivered are not part of the download.
  auto from = as<URLSessionDataTask>(task_);
  task_ = download;
  downloadFile_ = file;
  downloadPath_ = path;
  sink_ = Sink::File;
  postBecameDownload(settings_.lane, from, download, response_);
}

// ---- Completion of a transfer

void TaskDriver::onTransferDone(int curlCode) {
  long osErrno = 0;
  if (easy_) curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osErrno);
  easyClean_ = curlCode == CURLE_OK && attemptsOnEasy_ == 1;
  countInlineUpload();
  releaseEasy();
  if (phase_ == Phase::Finished) return;
  if (holdForDelegate_) {
    finishedWhileHeld_ = curlCode;
    return;
  }
  closeBody();
  if (curlCode != CURLE_OK) return finishAfterCurlError(curlCode, osErrno);
  if (redirectPending_) return handleRedirect();
  if (authPending_) return askHTTPAuthentication();
  if (!response_) return finishWithError(URLErrorBadServerResponse, "");
  if (decoder_ && !decoder_->complete()) return finishWithError(URLErrorCannotDecodeContentData, "");
  if (bodyCutShort()) return finishWithError(URLErrorNetworkConnectionLost, "");
  finishSuccess();
}

void TaskDriver::finishAfterCurlError(int curlCode, long osErrno) {
  switch (fault_) {
    case Fault::BadHead: return finishWithError(URLErrorBadServerResponse, "");
    case Fault::Undecodable: return finishWithError(URLErrorCannotDecodeContentData, "");
    case Fault::TooLong: return finishWithError(URLErrorDataLengthExceedsMaximum, "");
    case Fault::None: break;
  }
  if (retryOnFreshConnection(curlCode)) return;
  if (trustStep_ == TrustStep::Refused && trustError_) return finishWithError(trustError_);
  if (streamFailed_) {
    return finishWithError(URLErrorRequestBodyStreamExhausted, "The body stream failed.",
                           activeStreamError_);
  }
  // A stream that could not start again: its source (the delegate) is
  // asked for a new one and the request goes out again with it.
  if (curlCode == CURLE_SEND_FAIL_REWIND && body_.kind == BodySource::Kind::Stream && settings_.hasDelegate &&
      bodyStreamRestarts_ < kMaxBodyStreamRestarts) {
    ++bodyStreamRestarts_;
    return askForBodyStream([this] { beginAttempt(); });
  }
  if (curlCode == CURLE_SEND_FAIL_REWIND) {
    return finishWithError(URLErrorRequestBodyStreamExhausted,
                           "The request had to be sent again and its body stream cannot start over.");
  }
  // libcurl refuses a header line beyond its own limit as if memory ran out.
  if (curlCode == CURLE_OUT_OF_MEMORY && !headDone_) return finishWithError(URLErrorBadServerResponse, "");
  long code = urlErrorForCurlCode(curlCode, osErrno);
  // Only http and https reach libcurl, so an "unsupported protocol" here
  // is a reply that is not HTTP at all.
  if (code == URLErrorUnsupportedURL) code = URLErrorBadServerResponse;
  finishWithError(code, "");
}

void TaskDriver::handleRedirect() {
  redirectPending_ = false;
  auto http = as<HTTPURLResponse>(response_);
  auto location = http->headerFields().value("Location");
  auto target = resolveURL(*location, request_->URL());
  if (!target || (urlScheme(target) != "http" && urlScheme(target) != "https")) {
    // Nowhere to go: the redirect response is the answer.
    return takeHeldResponseAsFinal();
  }
  if (++redirectCount_ > kMaxRedirects) return finishWithError(URLErrorHTTPTooManyRedirects, "");
  auto next = std::static_pointer_cast<MutableURLRequest>(request_->mutableCopy());
  next->setURL(target);
  long code = http->statusCode();
  const std::string& method = request_->HTTPMethod();
  bool toGet = (code == 303 && method != "HEAD") || ((code == 301 || code == 302) && method == "POST");
  if (toGet) {
    next->setHTTPMethod("GET");
    next->setHTTPBody(nullptr);
    next->setHTTPBodyStream(nullptr);
    auto fields = next->headerFields();
    fields.remove("Content-Type");
    fields.remove("Content-Length");
    next->setAllHTTPHeaderFields(fields.dictionary());
  }
  if (urlHost(target) != urlHost(request_->URL()) || urlScheme(target) != urlScheme(request_->URL())) {
    auto fields = next->headerFields();
    fields.remove("Authorization");
    next->setAllHTTPHeaderFields(fields.dictionary());
  }
  if (settings_.hasDelegate && settings_.askRedirect) {
    phase_ = Phase::AwaitingDelegate;
    postRedirect(settings_.lane, task_, http, next, settings_.engine, id_);
  } else {
    answerRedirect(next);
  }
}

void TaskDriver::answerRedirect(Ref<URLRequest> request) {
  if (phase_ == Phase::Finished) return;
  if (!request) return takeHeldResponseAsFinal();
  request_ = std::static_pointer_cast<URLRequest>(request->copy());
  task_->setCurrentRequest(request_);
  secure_ = urlScheme(request_->URL()) == "https";
  trustStep_ = TrustStep::NotAsked;
  bool sendsBody = request_->HTTPMethod() != "GET" && request_->HTTPMethod() != "HEAD";
  if (!sendsBody) {
    body_ = BodySource{};
  } else if (request_->HTTPBody() && body_.kind != BodySource::Kind::File) {
    body_.kind = BodySource::Kind::Data;
    body_.data = request_->HTTPBody();
  }
  if (body_.kind == BodySource::Kind::Stream) {
    // The first stream was used up by the first request.
    return askForBodyStream([this] { beginAttempt(); });
  }
  beginAttempt();
}

void TaskDriver::askForBodyStream(std::function<void()> then) {
  afterBodyStream_ = std::move(then);
  if (!settings_.hasDelegate) return answerBodyStream(nullptr);
  phase_ = Phase::AwaitingDelegate;
  postNeedBodyStream(settings_.lane, task_, settings_.engine, id_);
}

void TaskDriver::answerBodyStream(Ref<InputStream> stream) {
  if (phase_ == Phase::Finished) return;
  if (!stream) return finishWithError(URLErrorRequestBodyStreamExhausted, "");
  body_.stream = std::move(stream);
  auto then = std::move(afterBodyStream_);
  afterBodyStream_ = nullptr;
  if (then) then();
}

void TaskDriver::takeHeldResponseAsFinal() {
  redirectPending_ = false;
  authPending_ = false;
  phase_ = Phase::Transferring;
  std::vector<uint8_t> body = std::move(heldBody_);
  heldBody_.clear();
  if (!body.empty()) {
    received_ += static_cast<int64_t>(body.size());
    if (sink_ == Sink::File) {
      if (downloadFile_) fwrite(body.data(), 1, body.size(), downloadFile_);
      pendingFileBytes_ += static_cast<int64_t>(body.size());
    } else {
      pending_.insert(pending_.end(), body.begin(), body.end());
    }
  }
  deliverResponse();
  if (holdForDelegate_) {
    finishedWhileHeld_ = CURLE_OK;
  } else {
    finishSuccess();
  }
}

void TaskDriver::finishSuccess() {
  phase_ = Phase::Transferring;
  flush();
  if (downloadFile_) {
    fclose(downloadFile_);
    downloadFile_ = nullptr;
  }
  // A body held in memory is the cache's body as it stands; one handed out
  // as data events was kept aside while it came.
  const bool memory = sink_ == Sink::Memory;
  const bool usable = memory ? accumulated_.size() <= settings_.cacheEntryLimit : cacheBodyUsable_;
  if (!servedFromCache_ && settings_.cache && sink_ != Sink::File && usable &&
      URLCache::isCacheable(request_, response_) && cachePolicy() != URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData) {
    auto proposed = std::make_shared<CachedURLResponse>(response_, Data::make(memory ? accumulated_ : std::move(cacheBody_)));
    cacheBody_.clear();
    if (sink_ == Sink::Events && settings_.askCache) {
      phase_ = Phase::AwaitingDelegate;
      postWillCache(settings_.lane, as<URLSessionDataTask>(task_), proposed, settings_.engine, id_);
      return;
    }
    settings_.cache->storeCachedResponse(proposed, request_);
  }
  postCompletion(nullptr);
}

void TaskDriver::answerCache(Ref<CachedURLResponse> cached) {
  if (phase_ == Phase::Finished) return;
  if (cached && settings_.cache) settings_.cache->storeCachedResponse(cached, request_);
  postCompletion(nullptr);
}

Ref<Error> TaskDriver::errorFor(long code, const std::string& description, Ref<Error> underlying) const {
  return makeURLError(code, request_ ? request_->URL() : task_->originalRequest()->URL(), description,
                      std::move(underlying));
}

void TaskDriver::finishWithError(long code, const std::string& description, Ref<Error> underlying) {
  finishWithError(errorFor(code, description, std::move(underlying)));
}

void TaskDriver::finishWithError(Ref<Error> error) {
  if (phase_ == Phase::Finished) return;
  releaseEasy();
  closeBody();
  if (downloadFile_) {
    fclose(downloadFile_);
    downloadFile_ = nullptr;
  }
  if (!downloadPath_.empty()) {
    unlink(downloadPath_.c_str());
    downloadPath_.clear();
  }
  holdForDelegate_ = false;
  pending_.clear();
  pendingFileBytes_ = 0;
  postCompletion(std::move(error));
}

void TaskDriver::postCompletion(Ref<Error> error) {
  phase_ = Phase::Finished;
  holdForDelegate_ = false;
  Completion c;
  c.task = task_;
  c.error = std::move(error);
  c.response = response_;
  if (!c.error) {
    if (sink_ == Sink::Memory) c.body = BodyBufferPool::shared().makeData(std::move(accumulated_));
    if (sink_ == Sink::File) c.downloadPath = downloadPath_;
  }
  accumulated_.clear();
  downloadPath_.clear();  // the completion event removes the file after use
  c.dataCompletion = std::move(dataCompletion_);
  c.downloadCompletion = std::move(downloadCompletion_);
  c.toDelegate = settings_.hasDelegate;
  postTaskCompletion(settings_.lane, std::move(c));
  TransferEngine* engine = settings_.engine;
  uint64_t id = id_;
  engine->post([engine, id] { engine->removeDriver(id); });
}

}  // namespace kit::netdetail
