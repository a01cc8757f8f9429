// SDPURLSessionManager owns one URL session and is the delegate of all its
// session, task, data and download events. It makes data, upload and
// download tasks, keeps a task delegate for each (reply bytes, progress,
// completion callback), reads each finished reply with its response
// serializer on a background queue and calls the caller's completion on
// the completion queue (the main queue unless set). Fifteen optional
// callback slots let a caller take over any of the session's events.
//
// A manager is made with make() (or a subclass's factory) and lives until
// its session is invalidated: the session keeps its delegate, as on the
// platform, so a manager that is done must invalidateSessionCancelingTasks.
//
// A manager can be archived: its session's configuration goes under
// "sessionConfiguration", and decoding makes a manager over it. Because a
// manager owns a session and its threads, it is made only by secure
// decoding (KeyedUnarchiver::unarchivedObjectOfClass naming a manager
// class); plain decoding gives nil for it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kit/dispatch/group.h"
#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "kit/foundation/notification_center.h"
#include "kit/net/url_session.h"
#include "net/network_reachability_manager.h"
#include "net/response_serializer.h"
#include "net/security_policy.h"
#include "net/session_task_notifications.h"
#include "net/url_session_task_delegate.h"

class SDPURLSessionManager : public kit::Object, public kit::URLSessionDelegate, public kit::Coding {
  KIT_OBJECT(SDPURLSessionManager)

 public:
  using ProgressBlock = SDPURLSessionManagerTaskDelegate::ProgressBlock;
  using CompletionHandler = SDPURLSessionManagerTaskDelegate::CompletionHandler;
  // (temporary file URL, response) -> where to move the download.
  using DestinationBlock = std::function<kit::Ref<kit::URL>(const kit::Ref<kit::URL>& targetPath,
                                                            const kit::Ref<kit::URLResponse>& response)>;
  using ChallengeBlock = std::function<kit::URLSessionAuthChallengeDisposition(
      kit::URLSession& session, const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
      kit::Ref<kit::URLCredential>* credential)>;
  using TaskChallengeBlock = std::function<kit::URLSessionAuthChallengeDisposition(
      kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
      const kit::Ref<kit::URLAuthenticationChallenge>& challenge, kit::Ref<kit::URLCredential>* credential)>;

  // init / initWithSessionConfiguration: nil takes the default configuration.
  static kit::Ref<SDPURLSessionManager> make(const kit::Ref<kit::URLSessionConfiguration>& configuration = nullptr);
  ~SDPURLSessionManager() override;

  const kit::Ref<kit::URLSession>& session() const { return session_; }
  const kit::Ref<kit::OperationQueue>& operationQueue() const { return operationQueue_; }
  const kit::Ref<kit::URLSessionConfiguration>& sessionConfiguration() const { return sessionConfiguration_; }

  kit::Ref<SDPHTTPResponseSerializer> responseSerializer() const;
  virtual void setResponseSerializer(kit::Ref<SDPHTTPResponseSerializer> serializer);
  kit::Ref<SDPSecurityPolicy> securityPolicy() const;
  void setSecurityPolicy(kit::Ref<SDPSecurityPolicy> policy);
  kit::Ref<SDPNetworkReachabilityManager> reachabilityManager;

  // nil: the main queue / one process-wide group.
  kit::Ref<kit::Queue> completionQueue() const;
  void setCompletionQueue(kit::Ref<kit::Queue> queue);
  kit::Ref<kit::Group> completionGroup() const;
  void setCompletionGroup(kit::Ref<kit::Group> group);
  bool attemptsToRecreateUploadTasksForBackgroundSessions = false;

  // "%p" of the manager: the description of every task it makes.
  const std::string& taskDescriptionForSessionTasks() const { return taskDescription_; }

  // ---- Task delegates
  kit::Ref<SDPURLSessionManagerTaskDelegate> delegateForTask(const kit::Ref<kit::URLSessionTask>& task) const;
  void setDelegate(const kit::Ref<SDPURLSessionManagerTaskDelegate>& delegate,
                   const kit::Ref<kit::URLSessionTask>& task);
  void removeDelegateForTask(const kit::Ref<kit::URLSessionTask>& task);
  size_t taskDelegateCount() const;

  // ---- The session's unfinished tasks
  std::vector<kit::Ref<kit::URLSessionTask>> tasks() const;
  std::vector<kit::Ref<kit::URLSessionTask>> dataTasks() const;
  std::vector<kit::Ref<kit::URLSessionTask>> uploadTasks() const;
  std::vector<kit::Ref<kit::URLSessionTask>> downloadTasks() const;
  // On the main queue: invalidate and cancel, or let the tasks finish first.
  void invalidateSessionCancelingTasks(bool cancelPendingTasks);

  // ---- Task factories; every task comes back not yet resumed.
  kit::Ref<kit::URLSessionDataTask> dataTaskWithRequest(const kit::Ref<kit::URLRequest>& request,
                                                        CompletionHandler completion);
  kit::Ref<kit::URLSessionDataTask> dataTaskWithRequest(const kit::Ref<kit::URLRequest>& request,
                                                        ProgressBlock uploadProgress, ProgressBlock downloadProgress,
                                                        CompletionHandler completion);
  kit::Ref<kit::URLSessionUploadTask> uploadTaskWithRequestFromFile(const kit::Ref<kit::URLRequest>& request,
                                                                    const kit::Ref<kit::URL>& fileURL,
                                                                    ProgressBlock progress,
                                                                    CompletionHandler completion);
  kit::Ref<kit::URLSessionUploadTask> uploadTaskWithRequestFromData(const kit::Ref<kit::URLRequest>& request,
                                                                    const kit::Ref<kit::Data>& body,
                                                                    ProgressBlock progress,
                                                                    CompletionHandler completion);
  kit::Ref<kit::URLSessionUploadTask> uploadTaskWithStreamedRequest(const kit::Ref<kit::URLRequest>& request,
                                                                    ProgressBlock progress,
                                                                    CompletionHandler completion);
  kit::Ref<kit::URLSessionDownloadTask> downloadTaskWithRequest(const kit::Ref<kit::URLRequest>& request,
                                                                ProgressBlock progress, DestinationBlock destination,
                                                                CompletionHandler completion);
  kit::Ref<kit::URLSessionDownloadTask> downloadTaskWithResumeData(const kit::Ref<kit::Data>& resumeData,
                                                                   ProgressBlock progress, DestinationBlock destination,
                                                                   CompletionHandler completion);

  kit::Ref<kit::Progress> uploadProgressForTask(const kit::Ref<kit::URLSessionTask>& task) const;
  kit::Ref<kit::Progress> downloadProgressForTask(const kit::Ref<kit::URLSessionTask>& task) const;

  // ---- The fifteen callback slots
  std::function<void(kit::URLSession&, const kit::Ref<kit::Error>&)> sessionDidBecomeInvalid;
  ChallengeBlock sessionDidReceiveAuthenticationChallenge;
  std::function<void(kit::URLSession&)> didFinishEventsForBackgroundURLSession;
  std::function<kit::Ref<kit::URLRequest>(kit::URLSession&, const kit::Ref<kit::URLSessionTask>&,
                                          const kit::Ref<kit::HTTPURLResponse>&, const kit::Ref<kit::URLRequest>&)>
      taskWillPerformHTTPRedirection;
  TaskChallengeBlock taskDidReceiveAuthenticationChallenge;
  std::function<kit::Ref<kit::InputStream>(kit::URLSession&, const kit::Ref<kit::URLSessionTask>&)>
      taskNeedNewBodyStream;
  std::function<void(kit::URLSession&, const kit::Ref<kit::URLSessionTask>&, int64_t bytesSent, int64_t totalBytesSent,
                     int64_t totalBytesExpectedToSend)>
      taskDidSendBodyData;
  std::function<void(kit::URLSession&, const kit::Ref<kit::URLSessionTask>&, const kit::Ref<kit::Error>&)>
      taskDidComplete;
  std::function<kit::URLSessionResponseDisposition(kit::URLSession&, const kit::Ref<kit::URLSessionDataTask>&,
                                                   const kit::Ref<kit::URLResponse>&)>
      dataTaskDidReceiveResponse;
  std::function<void(kit::URLSession&, const kit::Ref<kit::URLSessionDataTask>&,
                     const kit::Ref<kit::URLSessionDownloadTask>&)>
      dataTaskDidBecomeDownloadTask;
  std::function<void(kit::URLSession&, const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Data>&)>
      dataTaskDidReceiveData;
  std::function<kit::Ref<kit::CachedURLResponse>(kit::URLSession&, const kit::Ref<kit::URLSessionDataTask>&,
                                                 const kit::Ref<kit::CachedURLResponse>&)>
      dataTaskWillCacheResponse;
  std::function<kit::Ref<kit::URL>(kit::URLSession&, const kit::Ref<kit::URLSessionDownloadTask>&,
                                   const kit::Ref<kit::URL>& location)>
      downloadTaskDidFinishDownloading;
  std::function<void(kit::URLSession&, const kit::Ref<kit::URLSessionDownloadTask>&, int64_t bytesWritten,
                     int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite)>
      downloadTaskDidWriteData;
  std::function<void(kit::URLSession&, const kit::Ref<kit::URLSessionDownloadTask>&, int64_t fileOffset,
                     int64_t expectedTotalBytes)>
      downloadTaskDidResume;

  // The platform's setter names for the slots.
  void setSessionDidBecomeInvalidBlock(decltype(sessionDidBecomeInvalid) b) { sessionDidBecomeInvalid = std::move(b); }
  void setSessionDidReceiveAuthenticationChallengeBlock(ChallengeBlock b) {
    sessionDidReceiveAuthenticationChallenge = std::move(b);
  }
  void setDidFinishEventsForBackgroundURLSessionBlock(decltype(didFinishEventsForBackgroundURLSession) b) {
    didFinishEventsForBackgroundURLSession = std::move(b);
  }
  void setTaskNeedNewBodyStreamBlock(decltype(taskNeedNewBodyStream) b) { taskNeedNewBodyStream = std::move(b); }
  void setTaskWillPerformHTTPRedirectionBlock(decltype(taskWillPerformHTTPRedirection) b) {
    taskWillPerformHTTPRedirection = std::move(b);
  }
  void setTaskDidReceiveAuthenticationChallengeBlock(TaskChallengeBlock b) {
    taskDidReceiveAuthenticationChallenge = std::move(b);
  }
  void setTaskDidSendBodyDataBlock(decltype(taskDidSendBodyData) b) { taskDidSendBodyData = std::move(b); }
  void setTaskDidCompleteBlock(decltype(taskDidComplete) b) { taskDidComplete = std::move(b); }
  void setDataTaskDidReceiveResponseBlock(decltype(dataTaskDidReceiveResponse) b) {
    dataTaskDidReceiveResponse = std::move(b);
  }
  void setDataTaskDidBecomeDownloadTaskBlock(decltype(dataTaskDidBecomeDownloadTask) b) {
    dataTaskDidBecomeDownloadTask = std::move(b);
  }
  void setDataTaskDidReceiveDataBlock(decltype(dataTaskDidReceiveData) b) { dataTaskDidReceiveData = std::move(b); }
  void setDataTaskWillCacheResponseBlock(decltype(dataTaskWillCacheResponse) b) {
    dataTaskWillCacheResponse = std::move(b);
  }
  void setDownloadTaskDidFinishDownloadingBlock(decltype(downloadTaskDidFinishDownloading) b) {
    downloadTaskDidFinishDownloading = std::move(b);
  }
  void setDownloadTaskDidWriteDataBlock(decltype(downloadTaskDidWriteData) b) {
    downloadTaskDidWriteData = std::move(b);
  }
  void setDownloadTaskDidResumeBlock(decltype(downloadTaskDidResume) b) { downloadTaskDidResume = std::move(b); }

  std::string description() const override;
  // A new manager of the same class over the session's configuration.
  kit::Id copy() const override;

  // ---- kit::Coding
  static bool supportsSecureCoding() { return true; }
  // The session's configuration, when the archiver can keep it.
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  // Initialises over the decoded configuration (the default one when the
  // archive holds none); refuses outside secure decoding.
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

  // ---- kit::URLSessionDelegate
  bool implements(kit::URLSessionDelegateEvent event) const override;
  // True while no callback slot is set and no task has progress blocks or
  // a destination: the events then only parse short replies and hand the
  // rest to other queues.
  bool handlesEventsPromptly() const override;
  void didBecomeInvalid(kit::URLSession& session, const kit::Ref<kit::Error>& error) override;
  void didReceiveChallenge(kit::URLSession& session, const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
                           ChallengeCompletion completion) override;
  void willPerformHTTPRedirection(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                                  const kit::Ref<kit::HTTPURLResponse>& response,
                                  const kit::Ref<kit::URLRequest>& request, RedirectCompletion completion) override;
  void taskDidReceiveChallenge(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                               const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
                               ChallengeCompletion completion) override;
  void needNewBodyStream(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                         BodyStreamCompletion completion) override;
  void didSendBodyData(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task, int64_t bytesSent,
                       int64_t totalBytesSent, int64_t totalBytesExpectedToSend) override;
  void didCompleteWithError(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                            const kit::Ref<kit::Error>& error) override;
  void didReceiveResponse(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& task,
                          const kit::Ref<kit::URLResponse>& response, ResponseCompletion completion) override;
  void didBecomeDownloadTask(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& dataTask,
                             const kit::Ref<kit::URLSessionDownloadTask>& downloadTask) override;
  void didReceiveData(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& task,
                      const kit::Ref<kit::Data>& data) override;
  void willCacheResponse(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& task,
                         const kit::Ref<kit::CachedURLResponse>& proposed, CacheCompletion completion) override;
  void didFinishEventsForBackgroundSession(kit::URLSession& session) override;
  void didFinishDownloading(kit::URLSession& session, const kit::Ref<kit::URLSessionDownloadTask>& task,
                            const kit::Ref<kit::URL>& location) override;
  void didWriteData(kit::URLSession& session, const kit::Ref<kit::URLSessionDownloadTask>& task, int64_t bytesWritten,
                    int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override;
  void didResumeAtOffset(kit::URLSession& session, const kit::Ref<kit::URLSessionDownloadTask>& task,
                         int64_t fileOffset, int64_t expectedTotalBytes) override;

  // Use make() or a subclass's factory; public for kit::make.
  SDPURLSessionManager() = default;

 protected:
  // The second step of creation, once a Ref owns the manager.
  void initWithSessionConfiguration(const kit::Ref<kit::URLSessionConfiguration>& configuration);
  // A new, initialised manager of this class for copy().
  virtual kit::Ref<SDPURLSessionManager> makeSameClass(
      const kit::Ref<kit::URLSessionConfiguration>& configuration) const;
  // Initialises a manager of this class decoded from an archive, as its
  // factory would with that configuration.
  virtual void initFromArchive(const kit::Ref<kit::URLSessionConfiguration>& configuration);

 private:
  void addDelegateForTask(const kit::Ref<kit::URLSessionTask>& task, ProgressBlock uploadProgress,
                          ProgressBlock downloadProgress, DestinationBlock destination, CompletionHandler completion);
  void taskDidResume(const kit::Ref<kit::Notification>& notification);
  void taskDidSuspend(const kit::Ref<kit::Notification>& notification);
  // The disposition and credential for a challenge under the policy.
  kit::URLSessionAuthChallengeDisposition evaluateChallenge(const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
                                                            bool sessionLevel,
                                                            kit::Ref<kit::URLCredential>* credential);

  // Made once: every task's description, and compared on each resume.
  const std::string taskDescription_ = kit::formatString("%p", static_cast<const void*>(this));
  kit::Ref<kit::URLSessionConfiguration> sessionConfiguration_;
  kit::Ref<kit::OperationQueue> operationQueue_;
  kit::Ref<kit::URLSession> session_;

  mutable std::mutex lock_;  // "com.sdp.networking.session.manager.lock"
  std::map<uint64_t, kit::Ref<SDPURLSessionManagerTaskDelegate>> mutableTaskDelegatesKeyedByTaskIdentifier_;
  kit::Ref<SDPHTTPResponseSerializer> responseSerializer_;
  kit::Ref<SDPSecurityPolicy> securityPolicy_;
  kit::Ref<kit::Queue> completionQueue_;
  kit::Ref<kit::Group> completionGroup_;
};
