// URL connections: a request loaded on behalf of a delegate whose events
// (response, each chunk of data, finish or failure) arrive on the run loop
// of the thread that started the connection, in its default mode. The
// connection keeps its delegate alive until it ends. Also the synchronous
// loads: sendSynchronousRequest and dataWithContentsOfURL.
#pragma once

#include <mutex>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

class RunLoop;
class URLConnection;
class URLSessionDataTask;

class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;
  // Before a redirect is followed: the request to send instead, or nil to
  // take the redirect response as the answer.
  virtual Ref<URLRequest> connectionWillSendRequest(URLConnection& connection, const Ref<URLRequest>& request,
                                                    const Ref<URLResponse>& redirectResponse);
  virtual void connectionDidReceiveResponse(URLConnection& connection, const Ref<URLResponse>& response);
  virtual void connectionDidReceiveData(URLConnection& connection, const Ref<Data>& data);
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
