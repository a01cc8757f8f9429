// URL connections: a request loaded on behalf of a delegate whose events
// (response, each chunk of data, finish or failure) arrive on the run loop
// of the thread that started the connection, in its default mode. The
// connection keeps its delegate alive until it ends. Authentication
// challenges (server trust, HTTP basic) and the proposal to cache the
// response reach the delegate there too and wait for its answer. Also the
// synchronous loads: sendSynchronousRequest and dataWithContentsOfURL.
#pragma once

#include <mutex>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/net/authentication_challenge.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

class RunLoop;
class URLConnection;
class URLSessionDataTask;

// How a connection's delegate answers an authentication challenge, once:
// with a credential (a user and password, or for server trust a credential
// for the presented trust), without one (the server's refusal is the answer;
// for server trust the default evaluation decides), or by the default
// handling (no credential; the default evaluation decides on trust). A sender
// dropped without an answer takes the default handling.
class URLAuthenticationChallengeSender : public Object {
 public:
  using Answer = std::function<void(URLSessionAuthChallengeDisposition, Ref<URLCredential>)>;
  explicit URLAuthenticationChallengeSender(Answer answer) : answer_(std::move(answer)) {}
  ~URLAuthenticationChallengeSender() override;

  void useCredential(const Ref<URLCredential>& credential);
  void continueWithoutCredential();
  void performDefaultHandling();
  void cancelAuthenticationChallenge();
  // Connections always offer the default handling.
  bool respondsToPerformDefaultHandling() const { return true; }

 private:
  void answer(URLSessionAuthChallengeDisposition disposition, Ref<URLCredential> credential);
  std::mutex mutex_;
  Answer answer_;
};

class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;
  // Before a redirect is followed: the request to send instead, or nil to
  // take the redirect response as the answer.
  virtual Ref<URLRequest> connectionWillSendRequest(URLConnection& connection, const Ref<URLRequest>& request,
                                                    const Ref<URLResponse>& redirectResponse);
  // Answers through `sender`; by default the default handling.
  virtual void connectionWillSendRequestForAuthenticationChallenge(
      URLConnection& connection, const Ref<URLAuthenticationChallenge>& challenge,
      const Ref<URLAuthenticationChallengeSender>& sender);
  virtual void connectionDidReceiveResponse(URLConnection& connection, const Ref<URLResponse>& response);
  virtual void connectionDidReceiveData(URLConnection& connection, const Ref<Data>& data);
  // The response the URL cache may keep: the proposal, another one, or nil
  // to keep nothing. Asked only for responses the cache would keep.
  virtual Ref<CachedURLResponse> connectionWillCacheResponse(URLConnection& connection,
                                                             const Ref<CachedURLResponse>& proposed);
  virtual void connectionDidFinishLoading(URLConnection& connection);
  virtual void connectionDidFailWithError(URLConnection& connection, const Ref<Error>& error);
};

class URLConnection : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // Starts at once on the calling thread's run loop. nil without a request.
  static Ref<URLConnection> connectionWithRequest(const Ref<URLRequest>& request,
                                                  Ref<URLConnectionDelegate> delegate);
  // Starts at once when `startImmediately`, else at start().
  static Ref<URLConnection> make(const Ref<URLRequest>& request, Ref<URLConnectionDelegate> delegate,
                                 bool startImmediately);

  // Loads the request and waits for it (up to its time-out). Returns the
  // body (nil on failure) and fills `response` and `error` when given.
  static Ref<Data> sendSynchronousRequest(const Ref<URLRequest>& request, Ref<URLResponse>* response,
                                          Ref<Error>* error);

  URLConnection(Ref<URLRequest> request, Ref<URLConnectionDelegate> delegate);
  ~URLConnection() override;

  // Schedules delivery on the calling thread's run loop and starts loading.
  // Does nothing the second time.
  void start();
  // Stops loading; the delegate hears nothing more.
  void cancel();

  const Ref<URLRequest>& originalRequest() const { return request_; }
  Ref<URLRequest> currentRequest() const;

  // ---- Used by the loading machinery
  void deliver(std::function<void(URLConnection&, URLConnectionDelegate&)> event, bool last);

 private:
  mutable std::mutex mutex_;
  Ref<URLRequest> request_;
  Ref<URLConnectionDelegate> delegate_;
  Ref<URLSessionDataTask> task_;
  RunLoop* runLoop_ = nullptr;
  bool started_ = false;
  bool cancelled_ = false;
};

// The contents of a URL, loaded synchronously with a time-out in seconds;
// nil with `error` filled on failure (an HTTP error status is not a
// failure).
Ref<Data> dataWithContentsOfURL(const Ref<URL>& url, double timeoutSeconds, Ref<Error>* error = nullptr);

}  // namespace kit
