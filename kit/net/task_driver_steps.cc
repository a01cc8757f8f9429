// The task driver's steps that need no transfer of their own, or decide
// whether a transfer may go on: answers from file URLs and the URL cache,
// the TLS trust step (in a handshake, and before a request goes out on a
// kept-alive connection), sending a request again when its kept-alive
// connection failed it, and HTTP authentication.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>

#include "kit/foundation/data_file.h"
#include "kit/net/event_lane.h"
#include "kit/net/mime_types.h"
#include "kit/net/session_events.h"
#include "kit/net/socket_receipt.h"
#include "kit/net/task_driver.h"
#include "kit/net/transfer_engine.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_error_mapping.h"

namespace kit::netdetail {

namespace {

std::string base64(std::string_view in) {
  static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  while (i + 2 < in.size()) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out += table[v >> 18];
    out += table[(v >> 12) & 63];
    out += table[(v >> 6) & 63];
    out += table[v & 63];
    i += 3;
  }
  if (i + 1 == in.size()) {
    uint32_t v = uint8_t(in[i]) << 16;
    out += table[v >> 18];
    out += table[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += table[v >> 18];
    out += table[(v >> 12) & 63];
    out += table[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

}  // namespace

namespace {

// The chain a server presented, leaf first.
std::vector<Ref<Certificate>> presentedChain(X509* leaf, STACK_OF(X509)* others) {
  std::vector<Ref<Certificate>> chain;
  if (leaf) {
    X509_up_ref(leaf);
    chain.push_back(std::make_shared<Certificate>(leaf));
  }
  for (int i = 0; others && i < sk_X509_num(others); ++i) {
    X509* c = sk_X509_value(others, i);
    if (leaf && X509_cmp(c, leaf) == 0) continue;
    X509_up_ref(c);
    chain.push_back(std::make_shared<Certificate>(c));
  }
  return chain;
}

// Whom a TLS connection's handshakes are judged for, kept with its
// context: the task of the request on it now (nonzero), and the
// connection's socket once that request took it up.
struct ConnectionHolder {
  uint64_t task = 0;
  int socket = -1;
};

int holderIndex() {
  static const int index =
      SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, [](void*, void* holder, CRYPTO_EX_DATA*, int, long, void*) {
        delete static_cast<ConnectionHolder*>(holder);
      });
  return index;
}

void hold(SSL_CTX* ctx, uint64_t task, int socket) {
  auto* holder = static_cast<ConnectionHolder*>(SSL_CTX_get_ex_data(ctx, holderIndex()));
  if (!holder) {
    holder = new ConnectionHolder;
    if (SSL_CTX_set_ex_data(ctx, holderIndex(), holder) != 1) {
      delete holder;
      return;
    }
  }
  holder->task = task;
  holder->socket = socket;
}

int verifyCallback(X509_STORE_CTX* store, void* engineArgument) {
  // A connection outlives the request that opened it, and a server may
  // renegotiate while another request uses it: the handshake is judged for
  // the request on the connection now, and never for one that has ended
  // or moved on to another connection, whatever its task still holds.
  auto* engine = static_cast<TransferEngine*>(engineArgument);
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  const auto* holder =
      ssl ? static_cast<const ConnectionHolder*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), holderIndex())) : nullptr;
  TaskDriver* driver = holder ? engine->driver(holder->task) : nullptr;
  if (driver && driver->holdsConnection(holder->socket)) return driver->onVerify(store);
  // No request holds it (it waits in the pool, or libcurl reads what is
  // left as it closes it): no one judges the handshake, which is refused,
  // and the connection is shut down with it and never handed to a request
  // again (a request that finds it so goes out on a fresh one).
  if (holder && holder->socket >= 0) engine->refuseConnection(holder->socket);
  return 0;
}

}  // namespace

void TaskDriver::onSSLContext(SSL_CTX* ctx) {
  // kit evaluates the chain itself (and asks the delegate) before the
  // handshake completes; a refusal ends the handshake.
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_cert_verify_callback(ctx, verifyCallback, settings_.engine);
  hold(ctx, id_, -1);
  // Only its application data shows a request is alive (see streamReceipt).
  noteApplicationRecords(ctx);
}

bool TaskDriver::holdsConnection(int socket) const {
  // A fresh connection's handshake comes before its socket is known.
  return phase_ == Phase::Transferring && easy_ && (socket < 0 || socket == socket_);
}

void TaskDriver::claimConnection() {
  if (SSL* ssl = connectionSSL()) hold(SSL_get_SSL_CTX(ssl), id_, socket_);
}

int TaskDriver::onVerify(X509_STORE_CTX* ctx) {
  // Every handshake is judged, a second one of the same request (libcurl
  // connecting again) as well: it may meet another server; and so is a
  // renegotiation of the connection in use, which is the server's doing
  // and no sign that the request is alive.
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(ctx, SSL_get_ex_data_X509_STORE_CTX_idx()));
  const bool renegotiation = ssl && SSL_total_renegotiations(ssl) > 0;
  if (trustStep_ == TrustStep::Refused) {
    // Once refused, a request refuses its later handshakes too, but for a
    // new connection libcurl opens on its own after the request refused
    // the kept-alive one it took before a byte of the request went out on
    // it: that one is judged as any first one, and is the one new
    // connection the request gets (see retryOnFreshConnection). A request
    // that did go out may have been carried out: libcurl's new connection
    // is refused, and the request fails with its trust error.
    if (renegotiation || !mayGoOutAfresh()) return 0;
    retriedFresh_ = true;
  }
  const bool accepted =
      judgeTrust(presentedChain(X509_STORE_CTX_get0_cert(ctx), X509_STORE_CTX_get0_untrusted(ctx)), false);
  if (!renegotiation) handshakeJudged_ = accepted;
  // A renegotiation may bring another chain: whether the connection's chain
  // passed the default evaluation is the new one's to say (a delegate that
  // took it as it came says nothing of it).
  if (renegotiation) settings_.engine->setTrustedByDefault(socket_, accepted && chainPassedDefault_);
  // The judgement of a new connection, or of the handshake a kept-alive one
  // was in when the request took it, lets the request go out: the
  // delegate's answer is a sign of life, as on a kept-alive connection.
  if (!renegotiation || std::exchange(judgesHandshakeUnderWay_, false)) touch();
  return accepted ? 1 : 0;
}

bool TaskDriver::judgeReusedConnection() {
  // A kept-alive connection was accepted for the request that opened it,
  // perhaps by a delegate that takes any certificate: this request judges
  // it again as it would in a handshake. Without a delegate a connection
  // whose chain passed the default evaluation needs nothing more.
  SSL* ssl = connectionSSL();
  if (ssl && SSL_in_init(ssl)) {
    // The server asked for a new handshake, which is under way. OpenSSL
    // finishes it before it sends a byte of the request, and its
    // certificate is judged for this request then, as a new connection's
    // would be (see onVerify). Until the server's part of it has come,
    // libcurl would go round and round a request it cannot send: the
    // request goes out on a new connection instead, when it can.
    int waiting = 0;
    if ((ioctl(socket_, FIONREAD, &waiting) != 0 || waiting <= 0) && canGoOutAfresh()) {
      refusedConnection_ = true;
      return false;
    }
    // The connection holds no chain until the new certificate comes when
    // the session of the last handshake is not resumed; else the last
    // chain is judged now as well.
    if (!SSL_get0_peer_certificate(ssl)) {
      judgesHandshakeUnderWay_ = true;
      return true;
    }
  }
  const bool passed = settings_.engine->trustedByDefault(socket_);
  if (passed && !settings_.hasDelegate) {
    trustStep_ = TrustStep::Accepted;
    return true;
  }
  std::vector<Ref<Certificate>> chain;
  if (ssl) chain = presentedChain(SSL_get0_peer_certificate(ssl), SSL_get_peer_cert_chain(ssl));
  const bool accepted = judgeTrust(std::move(chain), passed);
  touch();
  if (!accepted) return false;
  if (chainPassedDefault_ && !passed) settings_.engine->setTrustedByDefault(socket_, true);
  return true;
}

bool TaskDriver::retryOnFreshConnection(int curlCode) {
  // A kept-alive TLS connection that turns out refused (a handshake came
  // while no request held it, or this request's judgement of it, or of a
  // handshake on it, refused it), in the middle of a handshake whose
  // server part has not come, or dead, before a byte of the request went
  // out on it says nothing of the server: the request goes out once more
  // on a new connection, whose handshake is judged as any first one.
  // (libcurl sends again on its own only when it sees such a connection
  // close, or fail the request as it goes out.) A request that went out is
  // never sent again here: the server may have carried it out. A stream
  // body is not read twice.
  if (!canGoOutAfresh()) return false;
  if (trustStep_ != TrustStep::Refused) {
    switch (curlCode) {
      case CURLE_ABORTED_BY_CALLBACK:
        if (!refusedConnection_) return false;
        break;
      case CURLE_SSL_CONNECT_ERROR:
      case CURLE_SEND_ERROR:
      case CURLE_RECV_ERROR:
      case CURLE_GOT_NOTHING:
        break;
      default:
        return false;
    }
  }
  trustStep_ = TrustStep::NotAsked;
  trustError_ = nullptr;
  retriedFresh_ = true;
  freshConnection_ = true;
  beginAttempt();
  return true;
}

bool TaskDriver::mayGoOutAfresh() const {
  return reusedConnection_ && !retriedFresh_ && !(sentOnConnection_ && *sentOnConnection_) && headBytes_ == 0 &&
         !headDone_;
}

bool TaskDriver::canGoOutAfresh() const { return mayGoOutAfresh() && body_.kind != BodySource::Kind::Stream; }

bool TaskDriver::judgeTrust(std::vector<Ref<Certificate>> chain, bool passedDefault) {
  chainPassedDefault_ = false;
  const auto url = request_->URL();
  auto trust = Trust::create(std::move(chain), {TrustPolicy::SSL(true, urlHost(url))});
  TrustAnswer answer;
  if (!trust) {
    answer.error = errorFor(URLErrorSecureConnectionFailed, "");
  } else {
    answer.defaultHandling = true;
    if (settings_.hasDelegate) answer = askDelegateAboutTrust(trust);
    if (answer.defaultHandling) {
      answer = passedDefault ? TrustAnswer{true, nullptr} : evaluateTrustByDefault(trust, url);
      chainPassedDefault_ = answer.accepted;
    }
  }
  if (answer.accepted) {
    trustStep_ = TrustStep::Accepted;
    return true;
  }
  trustStep_ = TrustStep::Refused;
  trustError_ = answer.error ? answer.error : errorFor(URLErrorCancelled, "");
  return false;
}

TrustAnswer TaskDriver::askDelegateAboutTrust(const Ref<Trust>& trust) {
  // The network thread waits here for the delegate: nothing else moves on
  // this session's network thread until it answers, or the task is
  // cancelled.
  const auto url = request_->URL();
  TrustAnswer answer;
  auto gate = settings_.engine->openGate(id_);
  auto space = std::make_shared<URLProtectionSpace>(urlHost(url), urlPort(url), "https", "",
                                                    URLAuthenticationMethodServerTrust, trust);
  postTrustChallenge(settings_.lane, task_, space, settings_.engine, id_);
  {
    // The wait counts against the request's time-out like any other
    // silence: it ends when the task would have idled out.
    const bool ended = settings_.engine->waitAtGate(*gate, timeoutDeadline());
    std::lock_guard lock(gate->waitable->mutex);
    if (gate->answer) {
      answer = *gate->answer;
    } else {
      answer.error = errorFor(ended ? URLErrorCancelled : URLErrorTimedOut, "");
    }
  }
  settings_.engine->closeGate(id_);
  return answer;
}

void TaskDriver::askHTTPAuthentication() {
  auto http = as<HTTPURLResponse>(response_);
  auto url = request_->URL();
  std::string challengeText = http->headerFields().value("WWW-Authenticate").value_or("");
  std::string method = URLAuthenticationMethodDefault;
  if (challengeText.size() >= 5 && equalsIgnoringCase(challengeText.substr(0, 5), "basic")) {
    method = URLAuthenticationMethodHTTPBasic;
  } else if (challengeText.size() >= 6 && equalsIgnoringCase(challengeText.substr(0, 6), "digest")) {
    method = URLAuthenticationMethodHTTPDigest;
  }
  std::string realm;
  if (size_t r = challengeText.find("realm=\""); r != std::string::npos) {
    size_t end = challengeText.find('"', r + 7);
    if (end != std::string::npos) realm = challengeText.substr(r + 7, end - r - 7);
  }
  auto space = std::make_shared<URLProtectionSpace>(urlHost(url), urlPort(url), urlScheme(url), realm, method);
  phase_ = Phase::AwaitingDelegate;
  postHTTPChallenge(settings_.lane, task_, space, authFailures_, http, settings_.engine, id_);
}

void TaskDriver::answerAuthentication(URLSessionAuthChallengeDisposition disposition, Ref<URLCredential> credential) {
  if (phase_ == Phase::Finished) return;
  switch (disposition) {
    case URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge:
      return finishWithError(URLErrorCancelled, "");
    case URLSessionAuthChallengeDisposition::UseCredential:
      if (credential && credential->hasPassword()) {
        ++authFailures_;
        authorization_ = "Basic " + base64(credential->user() + ":" + credential->password());
        trustStep_ = TrustStep::NotAsked;
        if (body_.kind == BodySource::Kind::Stream) return askForBodyStream([this] { beginAttempt(); });
        return beginAttempt();
      }
      [[fallthrough]];
    case URLSessionAuthChallengeDisposition::PerformDefaultHandling:
    case URLSessionAuthChallengeDisposition::RejectProtectionSpace:
      // Without a credential the 401 response is the answer.
      return takeHeldResponseAsFinal();
  }
}

URLRequestCachePolicy TaskDriver::cachePolicy() const {
  auto policy = request_->cachePolicy();
  if (policy == URLRequestCachePolicy::UseProtocolCachePolicy) policy = settings_.sessionCachePolicy;
  return policy;
}

bool TaskDriver::serveFromCache() {
  if (!settings_.cache || request_->HTTPMethod() != "GET" || sink_ == Sink::File) return false;
  auto policy = cachePolicy();
  if (policy == URLRequestCachePolicy::ReloadIgnoringLocalCacheData ||
      policy == URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData ||
      policy == URLRequestCachePolicy::ReloadRevalidatingCacheData) {
    return false;
  }
  auto cached = settings_.cache->cachedResponseForRequest(request_);
  bool usable = cached && (policy != URLRequestCachePolicy::UseProtocolCachePolicy ||
                           URLCache::isFresh(*cached, wallNow()));
  if (!usable) {
    if (policy == URLRequestCachePolicy::ReturnCacheDataDontLoad) {
      finishWithError(URLErrorResourceUnavailable, "");
      return true;
    }
    return false;
  }
  const auto& data = cached->data();
  if (static_cast<int64_t>(data->length()) > settings_.maximumInMemoryBody) {
    finishWithError(URLErrorDataLengthExceedsMaximum, "");
    return true;
  }
  servedFromCache_ = true;
  phase_ = Phase::Transferring;
  response_ = cached->response();
  pending_.assign(data->bytes(), data->bytes() + data->length());
  received_ = static_cast<int64_t>(data->length());
  deliverResponse();
  if (holdForDelegate_) {
    finishedWhileHeld_ = CURLE_OK;
  } else {
    finishSuccess();
  }
  return true;
}

void TaskDriver::serveFile() {
  std::string path = urlPath(request_->URL());
  // Only a regular file is read: a FIFO or a device would hold the
  // network thread.
  const int fd = openRegularFileForReading(path);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR: return finishWithError(URLErrorFileDoesNotExist, "");
      case EISDIR: return finishWithError(URLErrorFileIsDirectory, "");
      case EINVAL: return finishWithError(URLErrorResourceUnavailable, "");
      default: return finishWithError(URLErrorNoPermissionsToReadFile, "");
    }
  }
  struct stat st {};
  fstat(fd, &st);
  if (sink_ != Sink::File && st.st_size > settings_.maximumInMemoryBody) {
    close(fd);
    return finishWithError(URLErrorDataLengthExceedsMaximum, "");
  }
  FILE* file = fdopen(fd, "rb");
  if (!file) {
    close(fd);
    return finishWithError(URLErrorNoPermissionsToReadFile, "");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t n = bytes.empty() ? 0 : fread(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  bytes.resize(n);
  phase_ = Phase::Transferring;
  servedFromCache_ = true;  // nothing to store
  response_ = URLResponse::make(request_->URL(), String::make(MIMETypeForPathOrDefault(path)),
                                static_cast<int64_t>(bytes.size()), nullptr);
  received_ = static_cast<int64_t>(bytes.size());
  if (sink_ == Sink::File) {
    if (downloadFile_ || !(downloadPath_ = makeTemporaryFile(&downloadFile_)).empty()) {
      if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), downloadFile_);
    }
    pendingFileBytes_ = static_cast<int64_t>(bytes.size());
  } else {
    pending_ = std::move(bytes);
  }
  deliverResponse();
  if (holdForDelegate_) {
    finishedWhileHeld_ = CURLE_OK;
  } else {
    finishSuccess();
  }
}

}  // namespace kit::netdetail
