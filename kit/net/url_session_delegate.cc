// What the session does for a delegate that does not take part in an event.
#include "kit/net/url_session_delegate.h"

#include "kit/net/url_cache.h"
#include "kit/net/url_session.h"

namespace kit {

void URLSessionDelegate::didBecomeInvalid(URLSession&, const Ref<Error>&) {}

void URLSessionDelegate::didReceiveChallenge(URLSession&, const Ref<URLAuthenticationChallenge>&,
                                             ChallengeCompletion completion) {
  completion(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
}

void URLSessionDelegate::didFinishEventsForBackgroundSession(URLSession&) {}

void URLSessionDelegate::willPerformHTTPRedirection(URLSession&, const Ref<URLSessionTask>&,
                                                    const Ref<HTTPURLResponse>&, const Ref<URLRequest>& request,
                                                    RedirectCompletion completion) {
  completion(request);
}

void URLSessionDelegate::taskDidReceiveChallenge(URLSession&, const Ref<URLSessionTask>&,
                                                 const Ref<URLAuthenticationChallenge>&,
                                                 ChallengeCompletion completion) {
  completion(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
}

void URLSessionDelegate::needNewBodyStream(URLSession&, const Ref<URLSessionTask>&, BodyStreamCompletion completion) {
  completion(nullptr);
}

void URLSessionDelegate::didSendBodyData(URLSession&, const Ref<URLSessionTask>&, int64_t, int64_t, int64_t) {}

void URLSessionDelegate::didCompleteWithError(URLSession&, const Ref<URLSessionTask>&, const Ref<Error>&) {}

void URLSessionDelegate::didReceiveResponse(URLSession&, const Ref<URLSessionDataTask>&, const Ref<URLResponse>&,
                                            ResponseCompletion completion) {
  completion(URLSessionResponseDisposition::Allow);
}

void URLSessionDelegate::didBecomeDownloadTask(URLSession&, const Ref<URLSessionDataTask>&,
                                               const Ref<URLSessionDownloadTask>&) {}

void URLSessionDelegate::didReceiveData(URLSession&, const Ref<URLSessionDataTask>&, const Ref<Data>&) {}

void URLSessionDelegate::willCacheResponse(URLSession&, const Ref<URLSessionDataTask>&,
                                           const Ref<CachedURLResponse>& proposed, CacheCompletion completion) {
  completion(proposed);
}

void URLSessionDelegate::didFinishDownloading(URLSession&, const Ref<URLSessionDownloadTask>&, const Ref<URL>&) {}

void URLSessionDelegate::didWriteData(URLSession&, const Ref<URLSessionDownloadTask>&, int64_t, int64_t, int64_t) {}

void URLSessionDelegate::didResumeAtOffset(URLSession&, const Ref<URLSessionDownloadTask>&, int64_t, int64_t) {}

}  // namespace kit
