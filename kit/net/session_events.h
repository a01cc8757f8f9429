// Internal: the events a task driver sends to its session's delegate queue,
// and the way answers travel back to the network thread. Each post_*
// function queues one event on the session's event lane; the event finds
// the session through the task, updates the task as the platform does just
// before the delegate hears of it, and calls the delegate (or answers for
// it when it does not take part in that event).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "kit/net/transfer_engine.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_session.h"

namespace kit::netdetail {

class EventLane;
using LaneRef = std::shared_ptr<EventLane>;

// The end of a task.
struct Completion {
  Ref<URLSessionTask> task;
  Ref<Error> error;
  Ref<URLResponse> response;
  Ref<Data> body;            // for a data completion handler
  std::string downloadPath;  // the finished download, removed after the event
  URLSession::DataCompletion dataCompletion;
  URLSession::DownloadCompletion downloadCompletion;
  bool toDelegate = false;
};

void postTaskCompletion(const LaneRef& lane, Completion completion);
// `awaited`: the transfer waits for the delegate's answer (else the answer
// goes nowhere).
void postResponse(const LaneRef& lane, const Ref<URLSessionDataTask>& task, const Ref<URLResponse>& response,
                  TransferEngine* engine, uint64_t driverId, bool awaited);
void postData(const LaneRef& lane, const Ref<URLSessionDataTask>& task, const Ref<Data>& data, int64_t totalReceived);
void postWroteData(const LaneRef& lane, const Ref<URLSessionDownloadTask>& task, int64_t written, int64_t total,
                   int64_t expected);
void postSentBodyData(const LaneRef& lane, const Ref<URLSessionTask>& task, int64_t sent, int64_t total,
                      int64_t expected);
void postRedirect(const LaneRef& lane, const Ref<URLSessionTask>& task, const Ref<HTTPURLResponse>& response,
                  const Ref<URLRequest>& proposed, TransferEngine* engine, uint64_t driverId);
void postNeedBodyStream(const LaneRef& lane, const Ref<URLSessionTask>& task, TransferEngine* engine,
                        uint64_t driverId);
void postWillCache(const LaneRef& lane, const Ref<URLSessionDataTask>& task, const Ref<CachedURLResponse>& proposed,
                   TransferEngine* engine, uint64_t driverId);
void postHTTPChallenge(const LaneRef& lane, const Ref<URLSessionTask>& task, const Ref<URLProtectionSpace>& space,
                       long previousFailures, const Ref<HTTPURLResponse>& response, TransferEngine* engine,
                       uint64_t driverId);
// The network thread waits on the engine's gate for `driverId` until the
// answer arrives.
void postTrustChallenge(const LaneRef& lane, const Ref<URLSessionTask>& task, const Ref<URLProtectionSpace>& space,
                        TransferEngine* engine, uint64_t driverId);
void postDownloadResumed(const LaneRef& lane, const Ref<URLSessionTask>& task, int64_t offset, int64_t expected,
                         bool toDelegate);
void postBecameDownload(const LaneRef& lane, const Ref<URLSessionDataTask>& from,
                        const Ref<URLSessionDownloadTask>& to, const Ref<URLResponse>& response);

// kit's own evaluation of a server's chain for a URL's host.
TrustAnswer evaluateTrustByDefault(const Ref<Trust>& trust, const Ref<URL>& url);

// Resume data: what a cancelled download needs to continue.
struct ResumeState {
  Ref<URL> url;
  std::string path;
  int64_t offset = 0;
  std::string validator;
};
Ref<Data> encodeResumeData(const Ref<URLRequest>& request, const std::string& path, int64_t offset,
                           const std::string& validator);
std::optional<ResumeState> decodeResumeData(const Ref<Data>& data);

// A new download task in the data task's session carrying on its transfer.
Ref<URLSessionDownloadTask> adoptAsDownload(const Ref<URLSessionTask>& dataTask);

// Wall-clock seconds (for cache freshness).
double wallNow();

}  // namespace kit::netdetail
