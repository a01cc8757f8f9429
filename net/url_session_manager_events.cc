// The URL session manager as its session's delegate: every session, task,
// data and download event, handed to the task's delegate and to the
// caller's callback slots.
#include "kit/foundation/exception.h"
#include "kit/net/input_stream.h"
#include "kit/net/url_cache.h"
#include "net/url_session_manager.h"

bool SDPURLSessionManager::implements(kit::URLSessionDelegateEvent event) const {
  using Event = kit::URLSessionDelegateEvent;
  switch (event) {
    case Event::Redirection: return static_cast<bool>(taskWillPerformHTTPRedirection);
    case Event::DataTaskResponse: return static_cast<bool>(dataTaskDidReceiveResponse);
    case Event::WillCacheResponse: return static_cast<bool>(dataTaskWillCacheResponse);
    case Event::BackgroundEventsFinished: return static_cast<bool>(didFinishEventsForBackgroundURLSession);
    default: return true;
  }
}

bool SDPURLSessionManager::handlesEventsPromptly() const {
  if (sessionDidBecomeInvalid || sessionDidReceiveAuthenticationChallenge || didFinishEventsForBackgroundURLSession ||
      taskWillPerformHTTPRedirection || taskDidReceiveAuthenticationChallenge || taskNeedNewBodyStream ||
      taskDidSendBodyData || taskDidComplete || dataTaskDidReceiveResponse || dataTaskDidBecomeDownloadTask ||
      dataTaskDidReceiveData || dataTaskWillCacheResponse || downloadTaskDidFinishDownloading ||
      downloadTaskDidWriteData || downloadTaskDidResume) {
    return false;
  }
  std::lock_guard lock(lock_);
  for (const auto& [identifier, delegate] : mutableTaskDelegatesKeyedByTaskIdentifier_) {
    if (delegate->uploadProgressBlock || delegate->downloadProgressBlock || delegate->downloadTaskDidFinishDownloading) {
      return false;
    }
  }
  return true;
}

void SDPURLSessionManager::didBecomeInvalid(kit::URLSession& session, const kit::Ref<kit::Error>& error) {
  if (sessionDidBecomeInvalid) sessionDidBecomeInvalid(session, error);
  kit::NotificationCenter::defaultCenter()->postNotificationName(SDPManagerSessionInvalidatedNotification,
                                                                 session.self());
}

kit::URLSessionAuthChallengeDisposition SDPURLSessionManager::evaluateChallenge(
    const kit::Ref<kit::URLAuthenticationChallenge>& challenge, bool sessionLevel,
    kit::Ref<kit::URLCredential>* credential) {
  using Disposition = kit::URLSessionAuthChallengeDisposition;
  const auto& space = challenge->protectionSpace();
  if (!space || space->authenticationMethod() != kit::URLAuthenticationMethodServerTrust) {
    return Disposition::PerformDefaultHandling;
  }
  auto policy = securityPolicy();
  if (!policy || !policy->evaluateServerTrust(space->serverTrust(), space->host())) {
    return Disposition::RejectProtectionSpace;
  }
  *credential = kit::URLCredential::credentialForTrust(space->serverTrust());
  if (!sessionLevel) return Disposition::UseCredential;
  return *credential ? Disposition::UseCredential : Disposition::PerformDefaultHandling;
}

void SDPURLSessionManager::didReceiveChallenge(kit::URLSession& session,
                                               const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
                                               ChallengeCompletion completion) {
  kit::Ref<kit::URLCredential> credential;
  auto disposition = sessionDidReceiveAuthenticationChallenge
                         ? sessionDidReceiveAuthenticationChallenge(session, challenge, &credential)
                         : evaluateChallenge(challenge, true, &credential);
  completion(disposition, credential);
}

void SDPURLSessionManager::taskDidReceiveChallenge(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                                                   const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
                                                   ChallengeCompletion completion) {
  kit::Ref<kit::URLCredential> credential;
  auto disposition = taskDidReceiveAuthenticationChallenge
                         ? taskDidReceiveAuthenticationChallenge(session, task, challenge, &credential)
                         : evaluateChallenge(challenge, false, &credential);
  completion(disposition, credential);
}

void SDPURLSessionManager::willPerformHTTPRedirection(kit::URLSession& session,
                                                      const kit::Ref<kit::URLSessionTask>& task,
                                                      const kit::Ref<kit::HTTPURLResponse>& response,
                                                      const kit::Ref<kit::URLRequest>& request,
                                                      RedirectCompletion completion) {
  completion(taskWillPerformHTTPRedirection ? taskWillPerformHTTPRedirection(session, task, response, request)
                                            : request);
}

void SDPURLSessionManager::needNewBodyStream(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                                             BodyStreamCompletion completion) {
  kit::Ref<kit::InputStream> stream;
  if (taskNeedNewBodyStream) {
    stream = taskNeedNewBodyStream(session, task);
  } else if (const auto& original = task->originalRequest(); original && original->HTTPBodyStream()) {
    // A stream that can be copied starts over from the beginning.
    try {
      stream = kit::as<kit::InputStream>(original->HTTPBodyStream()->copy());
    } catch (const kit::Exception&) {
      stream = nullptr;
    }
  }
  completion(stream);
}

void SDPURLSessionManager::didSendBodyData(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                                           int64_t bytesSent, int64_t totalBytesSent,
                                           int64_t totalBytesExpectedToSend) {
  int64_t expected = totalBytesExpectedToSend;
  if (expected == kit::URLSessionTransferSizeUnknown && task->originalRequest()) {
    if (auto length = task->originalRequest()->valueForHTTPHeaderField("Content-Length")) {
      expected = length->longLongValue();
    }
  }
  if (taskDidSendBodyData) taskDidSendBodyData(session, task, bytesSent, totalBytesSent, expected);
}

void SDPURLSessionManager::didCompleteWithError(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                                                const kit::Ref<kit::Error>& error) {
  if (auto delegate = delegateForTask(task)) {
    delegate->didCompleteWithError(session, task, error);
    removeDelegateForTask(task);
  }
  if (taskDidComplete) taskDidComplete(session, task, error);
}

void SDPURLSessionManager::didReceiveResponse(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& task,
                                              const kit::Ref<kit::URLResponse>& response,
                                              ResponseCompletion completion) {
  completion(dataTaskDidReceiveResponse ? dataTaskDidReceiveResponse(session, task, response)
                                        : kit::URLSessionResponseDisposition::Allow);
}

void SDPURLSessionManager::didBecomeDownloadTask(kit::URLSession& session,
                                                 const kit::Ref<kit::URLSessionDataTask>& dataTask,
                                                 const kit::Ref<kit::URLSessionDownloadTask>& downloadTask) {
  if (auto delegate = delegateForTask(dataTask)) {
    removeDelegateForTask(dataTask);
    setDelegate(delegate, downloadTask);
  }
  if (dataTaskDidBecomeDownloadTask) dataTaskDidBecomeDownloadTask(session, dataTask, downloadTask);
}

void SDPURLSessionManager::didReceiveData(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& task,
                                          const kit::Ref<kit::Data>& data) {
  if (auto delegate = delegateForTask(task)) delegate->didReceiveData(data);
  if (dataTaskDidReceiveData) dataTaskDidReceiveData(session, task, data);
}

void SDPURLSessionManager::willCacheResponse(kit::URLSession& session, const kit::Ref<kit::URLSessionDataTask>& task,
                                             const kit::Ref<kit::CachedURLResponse>& proposed,
                                             CacheCompletion completion) {
  completion(dataTaskWillCacheResponse ? dataTaskWillCacheResponse(session, task, proposed) : proposed);
}

void SDPURLSessionManager::didFinishEventsForBackgroundSession(kit::URLSession& session) {
  if (!didFinishEventsForBackgroundURLSession) return;
  auto block = didFinishEventsForBackgroundURLSession;
  kit::Ref<kit::URLSession> keep = std::static_pointer_cast<kit::URLSession>(session.self());
  kit::Queue::main().async([block, keep] { block(*keep); });
}

void SDPURLSessionManager::didFinishDownloading(kit::URLSession& session,
                                                const kit::Ref<kit::URLSessionDownloadTask>& task,
                                                const kit::Ref<kit::URL>& location) {
  auto delegate = delegateForTask(task);
  if (downloadTaskDidFinishDownloading) {
    if (auto destination = downloadTaskDidFinishDownloading(session, task, location)) {
      if (delegate) delegate->setDownloadFileURL(destination);
      auto error = SDPMoveDownloadedFile(task, location, destination);
      if (error && delegate) delegate->setDownloadMoveError(error);
      return;
    }
  }
  if (delegate) delegate->didFinishDownloading(session, task, location);
}

void SDPURLSessionManager::didWriteData(kit::URLSession& session, const kit::Ref<kit::URLSessionDownloadTask>& task,
                                        int64_t bytesWritten, int64_t totalBytesWritten,
                                        int64_t totalBytesExpectedToWrite) {
  if (downloadTaskDidWriteData) {
    downloadTaskDidWriteData(session, task, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
  }
}

void SDPURLSessionManager::didResumeAtOffset(kit::URLSession& session,
                                             const kit::Ref<kit::URLSessionDownloadTask>& task, int64_t fileOffset,
                                             int64_t expectedTotalBytes) {
  if (downloadTaskDidResume) downloadTaskDidResume(session, task, fileOffset, expectedTotalBytes);
}
