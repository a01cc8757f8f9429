// What the URL session manager keeps for each task it made: the reply bytes
// collected so far, upload and download progress fed by the task's byte
// counters, the download destination, and the caller's completion callback,
// which it calls once the manager's response serializer has read the reply.
#pragma once

#include <functional>
#include <mutex>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/url.h"
#include "kit/net/progress.h"
#include "kit/net/url_session.h"

class SDPURLSessionManager;

class SDPURLSessionManagerTaskDelegate : public kit::Object {
 public:
  using ProgressBlock = std::function<void(const kit::Ref<kit::Progress>& progress)>;
  using CompletionHandler = std::function<void(const kit::Ref<kit::URLResponse>& response,
                                               const kit::Id& responseObject, const kit::Ref<kit::Error>& error)>;
  using DownloadDestination = std::function<kit::Ref<kit::URL>(
      kit::URLSession& session, const kit::Ref<kit::URLSessionDownloadTask>& task, const kit::Ref<kit::URL>& location)>;

  SDPURLSessionManagerTaskDelegate();
  ~SDPURLSessionManagerTaskDelegate() override;

  kit::Weak<SDPURLSessionManager> manager;
  kit::Ref<kit::Progress> uploadProgress;
  kit::Ref<kit::Progress> downloadProgress;
  DownloadDestination downloadTaskDidFinishDownloading;
  ProgressBlock uploadProgressBlock;
  ProgressBlock downloadProgressBlock;
  CompletionHandler completionHandler;

  kit::Ref<kit::URL> downloadFileURL() const;
  void setDownloadFileURL(kit::Ref<kit::URL> url);
  // A failed move of the downloaded file, reported at completion.
  void setDownloadMoveError(kit::Ref<kit::Error> error);

  // Progress totals from the task, cancel / pause / resume handlers that
  // act on the task, and observation of its byte counters and of both
  // progress objects.
  void setupProgressForTask(const kit::Ref<kit::URLSessionTask>& task);
  void cleanUpProgressForTask(const kit::Ref<kit::URLSessionTask>& task);

  // Session events for this task.
  void didCompleteWithError(kit::URLSession& session, const kit::Ref<kit::URLSessionTask>& task,
                            const kit::Ref<kit::Error>& error);
  void didReceiveData(const kit::Ref<kit::Data>& data);
  void didFinishDownloading(kit::URLSession& session, const kit::Ref<kit::URLSessionDownloadTask>& task,
                            const kit::Ref<kit::URL>& location);

  // The bytes collected so far (for tests and diagnostics).
  size_t receivedLength() const;

 private:
  void counterChanged(kit::URLSessionTaskCounter counter, int64_t value);

  mutable std::mutex mutex_;
  kit::Ref<kit::MutableData> mutableData_;
  kit::Ref<kit::URL> downloadFileURL_;
  kit::Ref<kit::Error> downloadMoveError_;
  uint64_t counterToken_ = 0;
  uint64_t uploadToken_ = 0;
  uint64_t downloadToken_ = 0;
};

// Moves a finished download to `destination`; on failure posts the
// move-failed notification for the task and returns the error.
kit::Ref<kit::Error> SDPMoveDownloadedFile(const kit::Ref<kit::URLSessionDownloadTask>& task,
                                           const kit::Ref<kit::URL>& location, const kit::Ref<kit::URL>& destination);
