// The session delegate: one interface for the platform's session, task,
// data and download delegate protocols. Every method has a default body
// doing what the session does when a delegate does not take part in that
// event. Events that carry a completion handler hold the transfer until the
// handler is called (from any thread, exactly once).
//
// Whether the delegate takes part in an event can matter (a delegate that
// does not answer session-level challenges gets them at task level); a
// delegate says so by overriding implements().
#pragma once

#include <cstdint>
#include <functional>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/net/authentication_challenge.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

class URLSession;
class URLSessionTask;
class URLSessionDataTask;
class URLSessionDownloadTask;
class InputStream;
class CachedURLResponse;

enum class URLSessionResponseDisposition : long {
  Cancel = 0,
  Allow = 1,
  BecomeDownload = 2,
  BecomeStream = 3,
};

// NSURLSessionTransferSizeUnknown.
inline constexpr int64_t URLSessionTransferSizeUnknown = -1;

enum class URLSessionDelegateEvent {
  SessionChallenge,
  BackgroundEventsFinished,
  Redirection,
  TaskChallenge,
  NeedNewBodyStream,
  SendBodyData,
  DataTaskResponse,
  DataTaskBecameDownloadTask,
  WillCacheResponse,
  DownloadWroteData,
  DownloadResumed,
};

class URLSessionDelegate {
 public:
  using ChallengeCompletion = std::function<void(URLSessionAuthChallengeDisposition, Ref<URLCredential>)>;
  using RedirectCompletion = std::function<void(Ref<URLRequest>)>;
  using ResponseCompletion = std::function<void(URLSessionResponseDisposition)>;
  using BodyStreamCompletion = std::function<void(Ref<InputStream>)>;
  using CacheCompletion = std::function<void(Ref<CachedURLResponse>)>;

  virtual ~URLSessionDelegate() = default;

  // Whether the delegate takes part in an event. By default it takes part
  // in all of them except session-level challenges, which go to the task
  // level unless this answers true for SessionChallenge.
  virtual bool implements(URLSessionDelegateEvent event) const {
    return event != URLSessionDelegateEvent::SessionChallenge;
  }

  // Whether every handler of the delegate, as it stands, returns promptly:
  // it waits on no other thread, no network and no long-held lock. The
  // session then may run the delegate's events on its network thread when
  // the delegate queue is idle (as one of the queue's operations, so that
  // the queue's rules hold), sparing a thread wake per event. Asked at
  // each delivery, from the network thread.
  virtual bool handlesEventsPromptly() const { return false; }

  // ---- Session
  virtual void didBecomeInvalid(URLSession& session, const Ref<Error>& error);
  virtual void didReceiveChallenge(URLSession& session, const Ref<URLAuthenticationChallenge>& challenge,
                                   ChallengeCompletion completion);
  virtual void didFinishEventsForBackgroundSession(URLSession& session);

  // ---- Task
  // The proposed request, or nil to take the redirect response as final.
  virtual void willPerformHTTPRedirection(URLSession& session, const Ref<URLSessionTask>& task,
                                          const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& request,
                                          RedirectCompletion completion);
  virtual void taskDidReceiveChallenge(URLSession& session, const Ref<URLSessionTask>& task,
                                       const Ref<URLAuthenticationChallenge>& challenge, ChallengeCompletion completion);
  // A fresh stream with the same body, when the body has to be sent again.
  virtual void needNewBodyStream(URLSession& session, const Ref<URLSessionTask>& task,
                                 BodyStreamCompletion completion);
  virtual void didSendBodyData(URLSession& session, const Ref<URLSessionTask>& task, int64_t bytesSent,
                               int64_t totalBytesSent, int64_t totalBytesExpectedToSend);
  virtual void didCompleteWithError(URLSession& session, const Ref<URLSessionTask>& task, const Ref<Error>& error);

  // ---- Data task
  // Whether a data task waits for the answer to didReceiveResponse before
  // it goes on. A delegate that only passes responses on and always allows
  // them answers false: its tasks go on at once, the response event still
  // comes before the task's data, and its answer is ignored.
  virtual bool waitsForResponseAnswer() const { return true; }
  virtual void didReceiveResponse(URLSession& session, const Ref<URLSessionDataTask>& task,
                                  const Ref<URLResponse>& response, ResponseCompletion completion);
  virtual void didBecomeDownloadTask(URLSession& session, const Ref<URLSessionDataTask>& dataTask,
                                     const Ref<URLSessionDownloadTask>& downloadTask);
  virtual void didReceiveData(URLSession& session, const Ref<URLSessionDataTask>& task, const Ref<Data>& data);
  virtual void willCacheResponse(URLSession& session, const Ref<URLSessionDataTask>& task,
                                 const Ref<CachedURLResponse>& proposed, CacheCompletion completion);

  // ---- Download task
  // The file exists only during this call; move or read it here.
  virtual void didFinishDownloading(URLSession& session, const Ref<URLSessionDownloadTask>& task,
                                    const Ref<URL>& location);
  virtual void didWriteData(URLSession& session, const Ref<URLSessionDownloadTask>& task, int64_t bytesWritten,
                            int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite);
  virtual void didResumeAtOffset(URLSession& session, const Ref<URLSessionDownloadTask>& task, int64_t fileOffset,
                                 int64_t expectedTotalBytes);
};

}  // namespace kit
