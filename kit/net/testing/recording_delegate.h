// A session delegate for tests: records every event in the order it
// arrives (with the thread it ran on and the task's byte counter at that
// moment), answers the events that take a completion handler as a test
// scripts it, and lets a test wait for a condition on the record without
// sleeping.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/operation_queue.h"
#include "kit/net/url_response.h"
#include "kit/net/url_session.h"
#include "kit/testing/lifeline.h"

namespace kit::test {

class RecordingDelegate : public URLSessionDelegate {
 public:
  struct Event {
    std::string name;  // "response", "data", "complete", "redirect", ...
    uint64_t task = 0;
    int64_t a = 0, b = 0, c = 0;  // the event's numbers (bytes, totals)
    int64_t bytesReceived = 0;    // the task's counter when the event ran
    Ref<Data> data;
    Ref<Error> error;
    Ref<URLResponse> response;
    Ref<URLRequest> request;
    Ref<URLAuthenticationChallenge> challenge;
    Ref<URL> location;
    bool locationExisted = false;  // the download file existed during the event
    std::thread::id thread;
    Ref<OperationQueue> queue;  // the operation queue the event ran on
  };

  std::vector<Event> events() const;
  std::vector<std::string> names(uint64_t task = 0) const;
  // The bytes of every data event of the task, joined.
  std::string body(uint64_t task) const;
  // The completion event of the task, if it arrived.
  std::optional<Event> completion(uint64_t task) const;
  bool waitFor(const std::function<bool(const std::vector<Event>&)>& condition, double timeoutSeconds = 10) const;
  bool waitForCompletion(uint64_t task, double timeoutSeconds = 10) const;
  bool waitForEvent(const std::string& name, double timeoutSeconds = 10) const;

  // Answers; unset ones answer as a delegate without the method would.
  std::function<void(const Ref<URLResponse>&, ResponseCompletion)> onResponse;
  std::function<void(const Ref<URLAuthenticationChallenge>&, ChallengeCompletion)> onChallenge;
  std::function<void(const Ref<HTTPURLResponse>&, const Ref<URLRequest>&, RedirectCompletion)> onRedirect;
  std::function<void(BodyStreamCompletion)> onNeedBodyStream;
  std::function<void(const Ref<URL>&)> onFinishDownloading;
  // Take session-level challenges (else they come at task level).
  bool takesSessionChallenges = false;
  bool takesResponses = true;
  bool takesRedirects = true;

  bool implements(URLSessionDelegateEvent event) const override;
  void didBecomeInvalid(URLSession& session, const Ref<Error>& error) override;
  void didReceiveChallenge(URLSession& session, const Ref<URLAuthenticationChallenge>& challenge,
                           ChallengeCompletion completion) override;
  void willPerformHTTPRedirection(URLSession& session, const Ref<URLSessionTask>& task,
                                  const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& request,
                                  RedirectCompletion completion) override;
  void taskDidReceiveChallenge(URLSession& session, const Ref<URLSessionTask>& task,
                               const Ref<URLAuthenticationChallenge>& challenge, ChallengeCompletion completion) override;
  void needNewBodyStream(URLSession& session, const Ref<URLSessionTask>& task, BodyStreamCompletion completion) override;
  void didSendBodyData(URLSession& session, const Ref<URLSessionTask>& task, int64_t bytesSent, int64_t totalBytesSent,
                       int64_t totalBytesExpectedToSend) override;
  void didCompleteWithError(URLSession& session, const Ref<URLSessionTask>& task, const Ref<Error>& error) override;
  void didReceiveResponse(URLSession& session, const Ref<URLSessionDataTask>& task, const Ref<URLResponse>& response,
                          ResponseCompletion completion) override;
  void didBecomeDownloadTask(URLSession& session, const Ref<URLSessionDataTask>& dataTask,
                             const Ref<URLSessionDownloadTask>& downloadTask) override;
  void didReceiveData(URLSession& session, const Ref<URLSessionDataTask>& task, const Ref<Data>& data) override;
  void didFinishDownloading(URLSession& session, const Ref<URLSessionDownloadTask>& task,
                            const Ref<URL>& location) override;
  void didWriteData(URLSession& session, const Ref<URLSessionDownloadTask>& task, int64_t bytesWritten,
                    int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override;
  void didResumeAtOffset(URLSession& session, const Ref<URLSessionDownloadTask>& task, int64_t fileOffset,
                         int64_t expectedTotalBytes) override;

 private:
  void record(Event event, const Ref<URLSessionTask>& task);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Event> events_;
};

// A flag one thread raises and another waits for.
class Latch {
 public:
  void open();
  bool wait(double timeoutSeconds = 10) const;
  bool isOpen() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool open_ = false;
};

// The result of a task with a completion handler: what the handler got,
// on which thread, and a latch that opens once it has run. A handler that
// runs after its result has gone (a wait for it gave up and the test
// ended) does nothing.
struct CompletionResult {
  Latch done;
  std::mutex mutex;
  Ref<Data> data;
  Ref<URLResponse> response;
  Ref<Error> error;
  std::thread::id thread;

  URLSession::DataCompletion handler() {
    return lifeline.bind([](CompletionResult& self, Ref<Data> d, Ref<URLResponse> r, Ref<Error> e) {
      {
        std::lock_guard lock(self.mutex);
        self.data = d;
        self.response = r;
        self.error = e;
        self.thread = std::this_thread::get_id();
      }
      self.done.open();
    });
  }
  // The HTTP status of the response, 0 without one.
  long status() {
    std::lock_guard lock(mutex);
    auto http = as<HTTPURLResponse>(response);
    return http ? http->statusCode() : 0;
  }
  // The error's code, 0 without an error.
  long errorCode() {
    std::lock_guard lock(mutex);
    return error ? error->code() : 0;
  }
  // The body as text.
  std::string body() {
    std::lock_guard lock(mutex);
    return data ? data->toString() : "";
  }

  // The last member: cut before the others go.
  Lifeline<CompletionResult> lifeline{*this};
};

}  // namespace kit::test
