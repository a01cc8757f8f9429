// kit::URLSession: HTTP(S) and file transfers on libcurl's multi interface,
// on a network thread of the session's own. Tasks are created suspended.
// A session with a delegate delivers every event serially, in order, on its
// delegate queue (a private serial operation queue when none is given);
// tasks made with a completion handler get their result in that handler on
// the same queue instead of response, data and completion events.
//
// A session with a delegate keeps the delegate until it is invalidated
// (finishTasksAndInvalidate or invalidateAndCancel), as on the platform.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kit/net/url_session_configuration.h"
#include "kit/net/url_session_delegate.h"
#include "kit/net/url_session_task.h"

namespace kit {

class OperationQueue;

namespace netdetail {
class EventLane;
class TransferEngine;
struct BodySource;
class SessionEvents;
}  // namespace netdetail

// NSURLErrorRequestBodyStreamExhausted: a body had to be sent again and no
// new stream was given.
inline constexpr long URLErrorRequestBodyStreamExhausted = -1021;

class RunLoopWaitWatch;

class URLSession : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  using DataCompletion = std::function<void(Ref<Data> data, Ref<URLResponse> response, Ref<Error> error)>;
  using DownloadCompletion = std::function<void(Ref<URL> location, Ref<URLResponse> response, Ref<Error> error)>;

  // The process-wide session: default configuration, no delegate, callbacks
  // on a serial background queue. It cannot be invalidated.
  static Ref<URLSession> sharedSession();
  static Ref<URLSession> sessionWithConfiguration(const Ref<URLSessionConfiguration>& configuration);
  static Ref<URLSession> sessionWithConfiguration(const Ref<URLSessionConfiguration>& configuration,
                                                  Ref<URLSessionDelegate> delegate,
                                                  Ref<OperationQueue> delegateQueue);

  ~URLSession() override;

  // A copy of the configuration the session was made with.
  Ref<URLSessionConfiguration> configuration() const;
  Ref<URLSessionDelegate> delegate() const;
  const Ref<OperationQueue>& delegateQueue() const { return delegateQueue_; }
  Ref<String> sessionDescription() const;
  void setSessionDescription(Ref<String> description);

  // ---- Tasks (raise the platform's exception once invalidated)
  Ref<URLSessionDataTask> dataTaskWithRequest(const Ref<URLRequest>& request, DataCompletion completion = nullptr);
  Ref<URLSessionDataTask> dataTaskWithURL(const Ref<URL>& url, DataCompletion completion = nullptr);
  Ref<URLSessionUploadTask> uploadTaskWithRequestFromFile(const Ref<URLRequest>& request, const Ref<URL>& fileURL,
                                                         DataCompletion completion = nullptr);
  Ref<URLSessionUploadTask> uploadTaskWithRequestFromData(const Ref<URLRequest>& request, const Ref<Data>& body,
                                                         DataCompletion completion = nullptr);
  // The body comes from the request's body stream, or from the delegate's
  // needNewBodyStream when the request has none.
  Ref<URLSessionUploadTask> uploadTaskWithStreamedRequest(const Ref<URLRequest>& request);
  Ref<URLSessionDownloadTask> downloadTaskWithRequest(const Ref<URLRequest>& request,
                                                     DownloadCompletion completion = nullptr);
  Ref<URLSessionDownloadTask> downloadTaskWithURL(const Ref<URL>& url, DownloadCompletion completion = nullptr);
  // nil when the resume data is not resume data.
  Ref<URLSessionDownloadTask> downloadTaskWithResumeData(const Ref<Data>& resumeData,
                                                        DownloadCompletion completion = nullptr);

  // ---- Task lists: the tasks not yet completed, on the delegate queue.
  using TaskLists = std::function<void(std::vector<Ref<URLSessionDataTask>>, std::vector<Ref<URLSessionUploadTask>>,
                                       std::vector<Ref<URLSessionDownloadTask>>)>;
  void getTasksWithCompletionHandler(TaskLists completion);
  void getAllTasksWithCompletionHandler(std::function<void(std::vector<Ref<URLSessionTask>>)> completion);
  // The same list, now, on the calling thread.
  std::vector<Ref<URLSessionTask>> allTasks() const;

  // ---- Invalidation
  // No new tasks; once the running ones complete the delegate hears
  // didBecomeInvalid and the session lets go of it.
  void finishTasksAndInvalidate();
  // The same, cancelling every task first.
  void invalidateAndCancel();
  bool isInvalidated() const;

  // Clears the session's cookies and connections; `completion` runs on the
  // delegate queue.
  void resetWithCompletionHandler(std::function<void()> completion);
  void flushWithCompletionHandler(std::function<void()> completion);

  std::string description() const override;

  // ---- Used by the session's tasks and internals
  // Where the events go: to the delegate queue, or straight to the delegate
  // on the thread that has them (the network thread, mostly), for kit's
  // own delegates that only hand each event on and never block.
  enum class Delivery { DelegateQueue, PostingThread };
  URLSession(Ref<URLSessionConfiguration> configuration, Ref<URLSessionDelegate> delegate,
             Ref<OperationQueue> delegateQueue, bool shared, Delivery delivery = Delivery::DelegateQueue);
  void startTask(const Ref<URLSessionTask>& task);
  void suspendTask(const Ref<URLSessionTask>& task, bool suspended);
  void cancelTask(const Ref<URLSessionTask>& task);
  void cancelDownloadProducingResumeData(const Ref<URLSessionDownloadTask>& task,
                                         std::function<void(Ref<Data>)> completion);
  // Called on the delegate queue after a task's last event.
  void taskFinished(const Ref<URLSessionTask>& task);
  // A new task (a data task that became a download).
  Ref<URLSessionDownloadTask> adoptDownloadTask(const Ref<URLSessionDataTask>& from);
  netdetail::TransferEngine& engine() { return *engine_; }
  const std::shared_ptr<netdetail::EventLane>& lane() const { return lane_; }

 private:
  struct PendingTask;

  template <class T>
  Ref<T> makeTask(URLSessionTask::Kind kind, const Ref<URLRequest>& request);
  void registerTask(const Ref<URLSessionTask>& task, std::unique_ptr<PendingTask> pending);
  void checkValid(const char* what) const;
  void invalidateIfDone();
  // Has the main run loop's waits watch for the answers of requests the
  // main thread sends here (made once, on first use).
  void watchAnswersFromMainLoop();

  Ref<URLSessionConfiguration> configuration_;
  // Whether the delegate queue is the session's own (none was given).
  const bool ownsDelegateQueue_;
  Ref<OperationQueue> delegateQueue_;
  std::shared_ptr<netdetail::EventLane> lane_;
  std::unique_ptr<netdetail::TransferEngine> engine_;
  const bool shared_;

  mutable std::mutex mutex_;
  Ref<URLSessionDelegate> delegate_;
  Ref<String> description_;
  std::map<uint64_t, Ref<URLSessionTask>> tasks_;
  std::map<uint64_t, std::unique_ptr<PendingTask>> pending_;
  uint64_t nextIdentifier_ = 1;
  bool invalidated_ = false;
  bool invalidationDelivered_ = false;
  std::shared_ptr<RunLoopWaitWatch> answerWatch_;
};

}  // namespace kit
