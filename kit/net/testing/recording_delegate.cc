// The recording delegate.
#include "kit/net/testing/recording_delegate.h"

#include <sys/stat.h>

#include <chrono>

namespace kit::test {

namespace {

RecordingDelegate::Event makeEvent(std::string name, int64_t a = 0, int64_t b = 0, int64_t c = 0) {
  RecordingDelegate::Event e;
  e.name = std::move(name);
  e.a = a;
  e.b = b;
  e.c = c;
  return e;
}

}  // namespace

void RecordingDelegate::record(Event event, const Ref<URLSessionTask>& task) {
  event.thread = std::this_thread::get_id();
  event.queue = OperationQueue::current();
  if (task) {
    event.task = task->taskIdentifier();
    event.bytesReceived = task->countOfBytesReceived();
  }
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  changed_.notify_all();
}

std::vector<RecordingDelegate::Event> RecordingDelegate::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<std::string> RecordingDelegate::names(uint64_t task) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& e : events_) {
    if (task == 0 || e.task == task) out.push_back(e.name);
  }
  return out;
}

std::string RecordingDelegate::body(uint64_t task) const {
  std::lock_guard lock(mutex_);
  std::string out;
  for (const auto& e : events_) {
    if (e.task == task && e.name == "data") out += e.data->toString();
  }
  return out;
}

std::optional<RecordingDelegate::Event> RecordingDelegate::completion(uint64_t task) const {
  std::lock_guard lock(mutex_);
  for (const auto& e : events_) {
    if (e.task == task && e.name == "complete") return e;
  }
  return std::nullopt;
}

bool RecordingDelegate::waitFor(const std::function<bool(const std::vector<Event>&)>& condition,
                                double timeoutSeconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return condition(events_); });
}

bool RecordingDelegate::waitForCompletion(uint64_t task, double timeoutSeconds) const {
  return waitFor(
      [task](const std::vector<Event>& events) {
        for (const auto& e : events) {
          if (e.task == task && e.name == "complete") return true;
        }
        return false;
      },
      timeoutSeconds);
}

bool RecordingDelegate::waitForEvent(const std::string& name, double timeoutSeconds) const {
  return waitFor(
      [&name](const std::vector<Event>& events) {
        for (const auto& e : events) {
          if (e.name == name) return true;
        }
        return false;
      },
      timeoutSeconds);
}

bool RecordingDelegate::implements(URLSessionDelegateEvent event) const {
  switch (event) {
    case URLSessionDelegateEvent::SessionChallenge: return takesSessionChallenges;
    case URLSessionDelegateEvent::DataTaskResponse: return takesResponses;
    case URLSessionDelegateEvent::Redirection: return takesRedirects;
    default: return true;
  }
}

void RecordingDelegate::didBecomeInvalid(URLSession&, const Ref<Error>& error) {
  Event e = makeEvent("invalid");
  e.error = error;
  record(std::move(e), nullptr);
}

void RecordingDelegate::didReceiveChallenge(URLSession&, const Ref<URLAuthenticationChallenge>& challenge,
                                            ChallengeCompletion completion) {
  Event e = makeEvent("sessionChallenge");
  e.challenge = challenge;
  record(std::move(e), nullptr);
  if (onChallenge) return onChallenge(challenge, std::move(completion));
  completion(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
}

void RecordingDelegate::willPerformHTTPRedirection(URLSession&, const Ref<URLSessionTask>& task,
                                                   const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& request,
                                                   RedirectCompletion completion) {
  Event e = makeEvent("redirect");
  e.response = response;
  e.request = request;
  record(std::move(e), task);
  if (onRedirect) return onRedirect(response, request, std::move(completion));
  completion(request);
}

void RecordingDelegate::taskDidReceiveChallenge(URLSession&, const Ref<URLSessionTask>& task,
                                                const Ref<URLAuthenticationChallenge>& challenge,
                                                ChallengeCompletion completion) {
  Event e = makeEvent("challenge");
  e.challenge = challenge;
  record(std::move(e), task);
  if (onChallenge) return onChallenge(challenge, std::move(completion));
  completion(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
}

void RecordingDelegate::needNewBodyStream(URLSession&, const Ref<URLSessionTask>& task,
                                          BodyStreamCompletion completion) {
  record(makeEvent("bodyStream"), task);
  if (onNeedBodyStream) return onNeedBodyStream(std::move(completion));
  completion(nullptr);
}

void RecordingDelegate::didSendBodyData(URLSession&, const Ref<URLSessionTask>& task, int64_t bytesSent,
                                        int64_t totalBytesSent, int64_t totalBytesExpectedToSend) {
  record(makeEvent("sent", bytesSent, totalBytesSent, totalBytesExpectedToSend), task);
}

void RecordingDelegate::didCompleteWithError(URLSession&, const Ref<URLSessionTask>& task, const Ref<Error>& error) {
  Event e = makeEvent("complete");
  e.error = error;
  e.response = task->response();
  record(std::move(e), task);
}

void RecordingDelegate::didReceiveResponse(URLSession&, const Ref<URLSessionDataTask>& task,
                                           const Ref<URLResponse>& response, ResponseCompletion completion) {
  Event e = makeEvent("response");
  e.response = response;
  record(std::move(e), task);
  if (onResponse) return onResponse(response, std::move(completion));
  completion(URLSessionResponseDisposition::Allow);
}

void RecordingDelegate::didBecomeDownloadTask(URLSession&, const Ref<URLSessionDataTask>& dataTask,
                                              const Ref<URLSessionDownloadTask>& downloadTask) {
  record(makeEvent("becameDownload", static_cast<int64_t>(downloadTask->taskIdentifier())), dataTask);
}

void RecordingDelegate::didReceiveData(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<Data>& data) {
  Event e = makeEvent("data", static_cast<int64_t>(data->length()));
  e.data = data;
  record(std::move(e), task);
}

void RecordingDelegate::didFinishDownloading(URLSession&, const Ref<URLSessionDownloadTask>& task,
                                             const Ref<URL>& location) {
  Event e = makeEvent("finishDownloading");
  e.location = location;
  struct stat st {};
  e.locationExisted = location && stat(location->path()->utf8().c_str(), &st) == 0;
  if (onFinishDownloading) onFinishDownloading(location);
  record(std::move(e), task);
}

void RecordingDelegate::didWriteData(URLSession&, const Ref<URLSessionDownloadTask>& task, int64_t bytesWritten,
                                     int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) {
  record(makeEvent("wrote", bytesWritten, totalBytesWritten, totalBytesExpectedToWrite), task);
}

void RecordingDelegate::didResumeAtOffset(URLSession&, const Ref<URLSessionDownloadTask>& task, int64_t fileOffset,
                                          int64_t expectedTotalBytes) {
  record(makeEvent("resumed", fileOffset, expectedTotalBytes), task);
}

void Latch::open() {
  // Notified under the lock: a waiter that sees the latch open may return
  // and destroy it at once, so the notify must be done by then.
  std::lock_guard lock(mutex_);
  open_ = true;
  cv_.notify_all();
}

bool Latch::wait(double timeoutSeconds) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return open_; });
}

bool Latch::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

}  // namespace kit::test
