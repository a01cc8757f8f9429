// URL connections over a shared internal session whose events are handed
// to each connection's run loop.
#include "kit/net/url_connection.h"

#include <condition_variable>
#include <map>
#include <utility>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_session.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLConnection, Object, "NSURLConnection") {}

namespace {

// The session delegate behind every connection: it finds the connection of
// a task and passes each event on, keeping the connection alive until its
// last event.
class ConnectionRouter : public URLSessionDelegate {
 public:
  void add(uint64_t task, Ref<URLConnection> connection) {
    std::lock_guard lock(mutex_);
    connections_[task] = std::move(connection);
  }
  void remove(uint64_t task) {
    std::lock_guard lock(mutex_);
    connections_.erase(task);
  }
  Ref<URLConnection> find(uint64_t task) {
    std::lock_guard lock(mutex_);
    auto it = connections_.find(task);
    return it == connections_.end() ? nullptr : it->second;
  }

  bool implements(URLSessionDelegateEvent event) const override {
    return event == URLSessionDelegateEvent::Redirection || event == URLSessionDelegateEvent::DataTaskResponse ||
           event == URLSessionDelegateEvent::TaskChallenge || event == URLSessionDelegateEvent::WillCacheResponse;
  }
  // A connection's delegate hears of the response, but cannot refuse it.
  bool waitsForResponseAnswer() const override { return false; }

  void taskDidReceiveChallenge(URLSession&, const Ref<URLSessionTask>& task,
                               const Ref<URLAuthenticationChallenge>& challenge,
                               ChallengeCompletion completion) override {
    // The sender answers the default handling if the event is dropped
    // (the connection was cancelled) before the delegate answered.
    auto sender = std::make_shared<URLAuthenticationChallengeSender>(std::move(completion));
    auto connection = find(task->taskIdentifier());
    if (!connection) return sender->performDefaultHandling();
    connection->deliver(
        [challenge, sender](URLConnection& c, URLConnectionDelegate& d) {
          d.connectionWillSendRequestForAuthenticationChallenge(c, challenge, sender);
        },
        false);
  }
  void willCacheResponse(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<CachedURLResponse>& proposed,
                         CacheCompletion completion) override {
    auto connection = find(task->taskIdentifier());
    if (!connection) return completion(nullptr);
    // Answered exactly once: by the delegate, or with nothing when the
    // event is dropped.
    auto answer = std::shared_ptr<CacheCompletion>(new CacheCompletion(std::move(completion)),
                                                   [](CacheCompletion* pending) {
                                                     if (*pending) (*pending)(nullptr);
                                                     delete pending;
                                                   });
    connection->deliver(
        [proposed, answer](URLConnection& c, URLConnectionDelegate& d) {
          auto chosen = d.connectionWillCacheResponse(c, proposed);
          auto complete = std::exchange(*answer, nullptr);
          complete(chosen);
        },
        false);
  }

  void willPerformHTTPRedirection(URLSession&, const Ref<URLSessionTask>& task, const Ref<HTTPURLResponse>& response,
                                  const Ref<URLRequest>& request, RedirectCompletion completion) override {
    auto connection = find(task->taskIdentifier());
    if (!connection) return completion(request);
    // The delegate answers on its run loop; the transfer waits for it.
    connection->deliver(
        [request, response, completion](URLConnection& c, URLConnectionDelegate& d) {
          completion(d.connectionWillSendRequest(c, request, response));
        },
        false);
  }
  void didReceiveResponse(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<URLResponse>& response,
                          ResponseCompletion completion) override {
    if (auto connection = find(task->taskIdentifier())) {
      connection->deliver([response](URLConnection& c, URLConnectionDelegate& d) { d.connectionDidReceiveResponse(c, response); },
                          false);
    }
    completion(URLSessionResponseDisposition::Allow);
  }
  void didReceiveData(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<Data>& data) override {
    if (auto connection = find(task->taskIdentifier())) {
      connection->deliver([data](URLConnection& c, URLConnectionDelegate& d) { d.connectionDidReceiveData(c, data); },
                          false);
    }
  }
  void didCompleteWithError(URLSession&, const Ref<URLSessionTask>& task, const Ref<Error>& error) override {
    auto connection = find(task->taskIdentifier());
    remove(task->taskIdentifier());
    if (!connection) return;
    if (error) {
      connection->deliver([error](URLConnection& c, URLConnectionDelegate& d) { d.connectionDidFailWithError(c, error); },
                          true);
    } else {
      connection->deliver([](URLConnection& c, URLConnectionDelegate& d) { d.connectionDidFinishLoading(c); }, true);
    }
  }

 private:
  std::mutex mutex_;
  std::map<uint64_t, Ref<URLConnection>> connections_;
};

struct ConnectionSession {
  std::shared_ptr<ConnectionRouter> router = std::make_shared<ConnectionRouter>();
  Ref<URLSession> session;
  ConnectionSession() {
    // Process-wide, as the shared session: connections use the shared
    // cache as it is when each one starts. The router only hands each
    // event on to its connection's run loop, so it takes them on the
    // network thread: one thread hop less per event.
    session = std::make_shared<URLSession>(URLSessionConfiguration::defaultSessionConfiguration(), router, nullptr,
                                           /*shared=*/true, URLSession::Delivery::PostingThread);
  }
};

// Connections may run until the process ends.
ConnectionSession& connectionSession() {
  static NoDestructor<ConnectionSession> shared;
  return *shared;
}

}  // namespace

Ref<URLRequest> URLConnectionDelegate::connectionWillSendRequest(URLConnection&, const Ref<URLRequest>& request,
                                                                 const Ref<URLResponse>&) {
  return request;
}
void URLConnectionDelegate::connectionWillSendRequestForAuthenticationChallenge(
    URLConnection&, const Ref<URLAuthenticationChallenge>&, const Ref<URLAuthenticationChallengeSender>& sender) {
  sender->performDefaultHandling();
}
Ref<CachedURLResponse> URLConnectionDelegate::connectionWillCacheResponse(URLConnection&,
                                                                          const Ref<CachedURLResponse>& proposed) {
  return proposed;
}
void URLConnectionDelegate::connectionDidReceiveResponse(URLConnection&, const Ref<URLResponse>&) {}
void URLConnectionDelegate::connectionDidReceiveData(URLConnection&, const Ref<Data>&) {}
void URLConnectionDelegate::connectionDidFinishLoading(URLConnection&) {}
void URLConnectionDelegate::connectionDidFailWithError(URLConnection&, const Ref<Error>&) {}

URLAuthenticationChallengeSender::~URLAuthenticationChallengeSender() {
  if (answer_) answer_(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
}

void URLAuthenticationChallengeSender::answer(URLSessionAuthChallengeDisposition disposition,
                                              Ref<URLCredential> credential) {
  Answer answer;
  {
    std::lock_guard lock(mutex_);
    answer = std::exchange(answer_, nullptr);
  }
  if (answer) answer(disposition, std::move(credential));
}

void URLAuthenticationChallengeSender::useCredential(const Ref<URLCredential>& credential) {
  answer(URLSessionAuthChallengeDisposition::UseCredential, credential);
}
void URLAuthenticationChallengeSender::continueWithoutCredential() {
  answer(URLSessionAuthChallengeDisposition::UseCredential, nullptr);
}
void URLAuthenticationChallengeSender::performDefaultHandling() {
  answer(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
}
void URLAuthenticationChallengeSender::cancelAuthenticationChallenge() {
  answer(URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge, nullptr);
}

Ref<URLConnection> URLConnection::connectionWithRequest(const Ref<URLRequest>& request,
                                                        Ref<URLConnectionDelegate> delegate) {
  return make(request, std::move(delegate), true);
}

Ref<URLConnection> URLConnection::make(const Ref<URLRequest>& request, Ref<URLConnectionDelegate> delegate,
                                       bool startImmediately) {
  if (!request) return nullptr;
  auto connection = std::make_shared<URLConnection>(std::static_pointer_cast<URLRequest>(request->copy()),
                                                    std::move(delegate));
  if (startImmediately) connection->start();
  return connection;
}

URLConnection::URLConnection(Ref<URLRequest> request, Ref<URLConnectionDelegate> delegate)
    : request_(std::move(request)), delegate_(std::move(delegate)) {}

URLConnection::~URLConnection() = default;

Ref<URLRequest> URLConnection::currentRequest() const {
  std::lock_guard lock(mutex_);
  return task_ ? task_->currentRequest() : request_;
}

void URLConnection::start() {
  Ref<URLSessionDataTask> task;
  {
    std::lock_guard lock(mutex_);
    if (started_ || cancelled_) return;
    started_ = true;
    runLoop_ = &RunLoop::current();
    task_ = connectionSession().session->dataTaskWithRequest(request_);
    task = task_;
  }
  connectionSession().router->add(task->taskIdentifier(), std::static_pointer_cast<URLConnection>(self()));
  task->resume();
}

void URLConnection::cancel() {
  Ref<URLSessionDataTask> task;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    task = task_;
  }
  if (task) {
    connectionSession().router->remove(task->taskIdentifier());
    task->cancel();
  }
  // The delegate is let go once nothing more can reach it.
  std::lock_guard lock(mutex_);
  if (!task) delegate_ = nullptr;
}

void URLConnection::deliver(std::function<void(URLConnection&, URLConnectionDelegate&)> event, bool last) {
  RunLoop* loop;
  {
    std::lock_guard lock(mutex_);
    loop = runLoop_;
  }
  if (!loop) return;
  auto self = std::static_pointer_cast<URLConnection>(this->self());
  loop->perform(
      [self, event = std::move(event), last] {
        Ref<URLConnectionDelegate> delegate;
        {
          std::lock_guard lock(self->mutex_);
          if (self->cancelled_) {
            self->delegate_ = nullptr;
            return;
          }
          delegate = self->delegate_;
          if (last) self->delegate_ = nullptr;
        }
        if (delegate) event(*self, *delegate);
      },
      DefaultRunLoopMode);
}

Ref<Data> URLConnection::sendSynchronousRequest(const Ref<URLRequest>& request, Ref<URLResponse>* response,
                                                Ref<Error>* error) {
  struct Wait {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    Ref<Data> data;
    Ref<URLResponse> response;
    Ref<Error> error;
  };
  auto wait = std::make_shared<Wait>();
  auto task = URLSession::sharedSession()->dataTaskWithRequest(
      request, [wait](Ref<Data> data, Ref<URLResponse> response, Ref<Error> error) {
        std::lock_guard lock(wait->mutex);
        wait->data = data;
        wait->response = response;
        wait->error = error;
        wait->done = true;
        wait->cv.notify_all();
      });
  task->resume();
  std::unique_lock lock(wait->mutex);
  // The task ends by itself within its time-out; this waits for that.
  wait->cv.wait(lock, [&] { return wait->done; });
  if (response) *response = wait->response;
  if (error) *error = wait->error;
  return wait->data;
}

Ref<Data> dataWithContentsOfURL(const Ref<URL>& url, double timeoutSeconds, Ref<Error>* error) {
  auto request = MutableURLRequest::make(url, URLRequestCachePolicy::UseProtocolCachePolicy,
                                         timeoutSeconds > 0 ? timeoutSeconds : DefaultRequestTimeout);
  return URLConnection::sendSynchronousRequest(request, nullptr, error);
}

}  // namespace kit
