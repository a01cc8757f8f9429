// The per-task state of the URL session manager.
#include "net/url_session_task_delegate.h"

#include "kit/dispatch/group.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"
#include "net/url_session_manager.h"

namespace {

// Where replies are read by the response serializers, side by side.
kit::Queue& processingQueue() {
  static const kit::NoDestructor<kit::Ref<kit::Queue>> queue(
      kit::Queue::concurrent("com.sdp.networking.session.manager.processing"));
  return **queue;
}

// Replies up to this long are read on the session's delegate queue.
constexpr size_t kInlineSerializationLimit = 16 * 1024;

kit::Group& processWideCompletionGroup() {
  static const kit::NoDestructor<kit::Ref<kit::Group>> group(kit::Group::create());
  return **group;
}

// Runs `then` on the manager's completion queue inside its completion
// group, and afterwards posts the completed notification on the main queue.
void complete(const kit::Ref<SDPURLSessionManager>& manager, const kit::Ref<kit::URLSessionTask>& task,
              const kit::Ref<kit::MutableDictionary>& userInfo, std::function<void()> then) {
  kit::Ref<kit::Group> group = manager ? manager->completionGroup() : nullptr;
  kit::Ref<kit::Queue> queue = manager ? manager->completionQueue() : nullptr;
  (group ? *group : processWideCompletionGroup()).async(queue ? *queue : kit::Queue::main(), [task, userInfo, then] {
    if (then) then();
    kit::Queue::main().async([task, userInfo] {
      kit::NotificationCenter::defaultCenter()->postNotificationName(SDPManagerTaskCompletedNotification, task,
                                                                     userInfo);
    });
  });
}

}  // namespace

kit::Ref<kit::Error> SDPMoveDownloadedFile(const kit::Ref<kit::URLSessionDownloadTask>& task,
                                           const kit::Ref<kit::URL>& location, const kit::Ref<kit::URL>& destination) {
  kit::Ref<kit::Error> error;
  auto from = location ? location->path() : nullptr;
  auto to = destination ? destination->path() : nullptr;
  if (!from || !to || !destination->isFileURL()) {
    error = kit::Error::make(kit::CocoaErrorDomain, 4, "The download could not be moved to its destination");
  } else {
    kit::FileManager::defaultManager()->moveItemAtPath(from, to, &error);
  }
  if (error) {
    kit::NotificationCenter::defaultCenter()->postNotificationName(SDPManagerDownloadMoveFailedNotification, task,
                                                                   error->userInfo());
  }
  return error;
}

SDPURLSessionManagerTaskDelegate::SDPURLSessionManagerTaskDelegate()
    : uploadProgress(kit::Progress::progressWithTotalUnitCount(kit::URLSessionTransferSizeUnknown)),
      downloadProgress(kit::Progress::progressWithTotalUnitCount(kit::URLSessionTransferSizeUnknown)),
      mutableData_(kit::MutableData::make()) {}

SDPURLSessionManagerTaskDelegate::~SDPURLSessionManagerTaskDelegate() = default;

kit::Ref<kit::URL> SDPURLSessionManagerTaskDelegate::downloadFileURL() const {
  std::lock_guard lock(mutex_);
  return downloadFileURL_;
}

void SDPURLSessionManagerTaskDelegate::setDownloadFileURL(kit::Ref<kit::URL> url) {
  std::lock_guard lock(mutex_);
  downloadFileURL_ = std::move(url);
}

void SDPURLSessionManagerTaskDelegate::setDownloadMoveError(kit::Ref<kit::Error> error) {
  std::lock_guard lock(mutex_);
  downloadMoveError_ = std::move(error);
}

size_t SDPURLSessionManagerTaskDelegate::receivedLength() const {
  std::lock_guard lock(mutex_);
  return mutableData_ ? mutableData_->length() : 0;
}

void SDPURLSessionManagerTaskDelegate::setupProgressForTask(const kit::Ref<kit::URLSessionTask>& task) {
  kit::Weak<kit::URLSessionTask> weakTask = task;
  uploadProgress->setTotalUnitCount(task->countOfBytesExpectedToSend());
  downloadProgress->setTotalUnitCount(task->countOfBytesExpectedToReceive());
  for (const auto& progress : {uploadProgress, downloadProgress}) {
    progress->setCancellable(true);
    progress->setCancellationHandler([weakTask] {
      if (auto t = weakTask.lock()) t->cancel();
    });
    progress->setPausable(true);
    progress->setPausingHandler([weakTask] {
      if (auto t = weakTask.lock()) t->suspend();
    });
    progress->setResumingHandler([weakTask] {
      if (auto t = weakTask.lock()) t->resume();
    });
  }

  kit::Weak<SDPURLSessionManagerTaskDelegate> weak = weakSelf<SDPURLSessionManagerTaskDelegate>();
  counterToken_ =
      task->addCounterObserver([weak](kit::URLSessionTask&, kit::URLSessionTaskCounter counter, int64_t value) {
        if (auto self = weak.lock()) self->counterChanged(counter, value);
      });
  // Progress callbacks run on the thread that made the change.
  uploadToken_ = uploadProgress->addObserver([weak](kit::Progress&, kit::Progress::Key key) {
    auto self = weak.lock();
    if (self && key == kit::Progress::Key::FractionCompleted && self->uploadProgressBlock) {
      self->uploadProgressBlock(self->uploadProgress);
    }
  });
  downloadToken_ = downloadProgress->addObserver([weak](kit::Progress&, kit::Progress::Key key) {
    auto self = weak.lock();
    if (self && key == kit::Progress::Key::FractionCompleted && self->downloadProgressBlock) {
      self->downloadProgressBlock(self->downloadProgress);
    }
  });
}

void SDPURLSessionManagerTaskDelegate::cleanUpProgressForTask(const kit::Ref<kit::URLSessionTask>& task) {
  if (task && counterToken_) task->removeCounterObserver(counterToken_);
  if (uploadToken_) uploadProgress->removeObserver(uploadToken_);
  if (downloadToken_) downloadProgress->removeObserver(downloadToken_);
  counterToken_ = uploadToken_ = downloadToken_ = 0;
}

void SDPURLSessionManagerTaskDelegate::counterChanged(kit::URLSessionTaskCounter counter, int64_t value) {
  switch (counter) {
    case kit::URLSessionTaskCounter::BytesReceived: downloadProgress->setCompletedUnitCount(value); break;
    case kit::URLSessionTaskCounter::BytesExpectedToReceive: downloadProgress->setTotalUnitCount(value); break;
    case kit::URLSessionTaskCounter::BytesSent: uploadProgress->setCompletedUnitCount(value); break;
    case kit::URLSessionTaskCounter::BytesExpectedToSend: uploadProgress->setTotalUnitCount(value); break;
  }
}

void SDPURLSessionManagerTaskDelegate::didReceiveData(const kit::Ref<kit::Data>& data) {
  if (!data) return;
  std::lock_guard lock(mutex_);
  if (mutableData_) mutableData_->appendData(*data);
}

void SDPURLSessionManagerTaskDelegate::didCompleteWithError(kit::URLSession&, const kit::Ref<kit::URLSessionTask>& task,
                                                            const kit::Ref<kit::Error>& error) {
  auto owner = manager.lock();
  auto serializer = owner ? owner->responseSerializer() : nullptr;
  auto userInfo = kit::MutableDictionary::make();
  if (serializer) userInfo->setObject(serializer, SDPCompletedTaskSerializerKey);

  kit::Ref<kit::Data> data;
  kit::Ref<kit::URL> fileURL;
  kit::Ref<kit::Error> moveError;
  {
    std::lock_guard lock(mutex_);
    if (mutableData_) data = kit::as<kit::Data>(mutableData_->copy());
    mutableData_ = nullptr;
    fileURL = downloadFileURL_;
    moveError = downloadMoveError_;
  }
  if (fileURL) {
    userInfo->setObject(fileURL, SDPCompletedTaskFileKey);
  } else if (data) {
    userInfo->setObject(data, SDPCompletedTaskDataKey);
  }

  const auto response = task->response();
  auto completion = completionHandler;
  // A download whose file could not be moved has failed, even though the
  // transfer itself went well.
  kit::Ref<kit::Error> failure = error ? error : moveError;
  if (failure) {
    userInfo->setObject(failure, SDPCompletedTaskErrorKey);
    complete(owner, task, userInfo, [completion, response, failure] {
      if (completion) completion(response, nullptr, failure);
    });
    return;
  }

  kit::Ref<SDPURLSessionManager> keep = owner;
  auto serialize = [keep, task, userInfo, serializer, data, fileURL, response, completion] {
    kit::Ref<kit::Error> serializationError;
    kit::Id responseObject;
    if (serializer) responseObject = serializer->responseObjectForResponse(response, data, &serializationError);
    if (fileURL) responseObject = fileURL;
    if (responseObject) userInfo->setObject(responseObject, SDPCompletedTaskObjectKey);
    if (serializationError) userInfo->setObject(serializationError, SDPCompletedTaskErrorKey);
    complete(keep, task, userInfo, [completion, response, responseObject, serializationError] {
      if (completion) completion(response, responseObject, serializationError);
    });
  };
  // A short reply is read here, off the main thread already, and goes
  // straight on to the completion queue: one thread hop less per request.
  // A long one is read on the processing queue, side by side with others,
  // so that it does not hold up the session's other events.
  if (!fileURL && (!data || data->length() <= kInlineSerializationLimit)) {
    serialize();
  } else {
    processingQueue().async(std::move(serialize));
  }
}

void SDPURLSessionManagerTaskDelegate::didFinishDownloading(kit::URLSession& session,
                                                            const kit::Ref<kit::URLSessionDownloadTask>& task,
                                                            const kit::Ref<kit::URL>& location) {
  setDownloadFileURL(nullptr);
  if (!downloadTaskDidFinishDownloading) return;
  auto destination = downloadTaskDidFinishDownloading(session, task, location);
  if (!destination) return;
  setDownloadFileURL(destination);
  if (auto error = SDPMoveDownloadedFile(task, location, destination)) setDownloadMoveError(error);
}
