// The URL session manager: task creation, task delegates, task lists,
// invalidation and the manager-level notifications. The session events are
// in url_session_manager_events.cc.
#include "net/url_session_manager.h"

#include "kit/foundation/format.h"

namespace {

// The task-level resume and suspend announcements are installed when the
// program starts, as the platform's load-time method exchange would be.
[[maybe_unused]] const bool kAnnouncementsInstalled = [] {
  SDPURLSessionTaskSwizzling::load();
  return true;
}();

}  // namespace

KIT_DEFINE_CLASS(SDPURLSessionManager, kit::Object) {}

kit::Ref<SDPURLSessionManager> SDPURLSessionManager::make(const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  auto manager = kit::make<SDPURLSessionManager>();
  manager->initWithSessionConfiguration(configuration);
  return manager;
}

void SDPURLSessionManager::initWithSessionConfiguration(const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  SDPURLSessionTaskSwizzling::load();
  sessionConfiguration_ = configuration ? configuration : kit::URLSessionConfiguration::defaultSessionConfiguration();
  operationQueue_ = kit::OperationQueue::create("com.sdp.networking.session.manager.events");
  operationQueue_->setMaxConcurrentOperationCount(1);
  session_ = kit::URLSession::sessionWithConfiguration(
      sessionConfiguration_, std::static_pointer_cast<kit::URLSessionDelegate>(selfAs<SDPURLSessionManager>()),
      operationQueue_);
  responseSerializer_ = SDPJSONResponseSerializer::serializer();
  securityPolicy_ = SDPSecurityPolicy::defaultPolicy();
  reachabilityManager = SDPNetworkReachabilityManager::sharedManager();
  // A session that already has tasks (a background session coming back)
  // gets a delegate for each.
  for (const auto& task : session_->allTasks()) addDelegateForTask(task, nullptr, nullptr, nullptr, nullptr);
}

// The notification center holds the manager weakly, so its registrations
// lapse with it.
SDPURLSessionManager::~SDPURLSessionManager() = default;

kit::Ref<SDPHTTPResponseSerializer> SDPURLSessionManager::responseSerializer() const {
  std::lock_guard lock(lock_);
  return responseSerializer_;
}

void SDPURLSessionManager::setResponseSerializer(kit::Ref<SDPHTTPResponseSerializer> serializer) {
  std::lock_guard lock(lock_);
  responseSerializer_ = std::move(serializer);
}

kit::Ref<SDPSecurityPolicy> SDPURLSessionManager::securityPolicy() const {
  std::lock_guard lock(lock_);
  return securityPolicy_;
}

void SDPURLSessionManager::setSecurityPolicy(kit::Ref<SDPSecurityPolicy> policy) {
  std::lock_guard lock(lock_);
  securityPolicy_ = std::move(policy);
}

kit::Ref<kit::Queue> SDPURLSessionManager::completionQueue() const {
  std::lock_guard lock(lock_);
  return completionQueue_;
}

void SDPURLSessionManager::setCompletionQueue(kit::Ref<kit::Queue> queue) {
  std::lock_guard lock(lock_);
  completionQueue_ = std::move(queue);
}

kit::Ref<kit::Group> SDPURLSessionManager::completionGroup() const {
  std::lock_guard lock(lock_);
  return completionGroup_;
}

void SDPURLSessionManager::setCompletionGroup(kit::Ref<kit::Group> group) {
  std::lock_guard lock(lock_);
  completionGroup_ = std::move(group);
}

// ---- Task delegates

kit::Ref<SDPURLSessionManagerTaskDelegate> SDPURLSessionManager::delegateForTask(
    const kit::Ref<kit::URLSessionTask>& task) const {
  if (!task) return nullptr;
  std::lock_guard lock(lock_);
  auto it = mutableTaskDelegatesKeyedByTaskIdentifier_.find(task->taskIdentifier());
  return it == mutableTaskDelegatesKeyedByTaskIdentifier_.end() ? nullptr : it->second;
}

void SDPURLSessionManager::setDelegate(const kit::Ref<SDPURLSessionManagerTaskDelegate>& delegate,
                                       const kit::Ref<kit::URLSessionTask>& task) {
  if (!delegate || !task) return;
  std::lock_guard lock(lock_);
  mutableTaskDelegatesKeyedByTaskIdentifier_[task->taskIdentifier()] = delegate;
  delegate->setupProgressForTask(task);
  auto center = kit::NotificationCenter::defaultCenter();
  auto self = selfAs<SDPURLSessionManager>();
  center->addObserver(self, &SDPURLSessionManager::taskDidResume, SDPSessionTaskResumeNotification, task);
  center->addObserver(self, &SDPURLSessionManager::taskDidSuspend, SDPSessionTaskSuspendNotification, task);
}

void SDPURLSessionManager::removeDelegateForTask(const kit::Ref<kit::URLSessionTask>& task) {
  auto delegate = delegateForTask(task);
  if (!task) return;
  std::lock_guard lock(lock_);
  if (delegate) delegate->cleanUpProgressForTask(task);
  auto center = kit::NotificationCenter::defaultCenter();
  center->removeObserver(self(), SDPSessionTaskResumeNotification, task);
  center->removeObserver(self(), SDPSessionTaskSuspendNotification, task);
  mutableTaskDelegatesKeyedByTaskIdentifier_.erase(task->taskIdentifier());
}

size_t SDPURLSessionManager::taskDelegateCount() const {
  std::lock_guard lock(lock_);
  return mutableTaskDelegatesKeyedByTaskIdentifier_.size();
}

void SDPURLSessionManager::addDelegateForTask(const kit::Ref<kit::URLSessionTask>& task, ProgressBlock uploadProgress,
                                              ProgressBlock downloadProgress, DestinationBlock destination,
                                              CompletionHandler completion) {
  if (!task) return;
  auto delegate = kit::make<SDPURLSessionManagerTaskDelegate>();
  delegate->manager = weakSelf<SDPURLSessionManager>();
  delegate->completionHandler = std::move(completion);
  if (destination) {
    delegate->downloadTaskDidFinishDownloading =
        [destination](kit::URLSession&, const kit::Ref<kit::URLSessionDownloadTask>& t,
                      const kit::Ref<kit::URL>& location) { return destination(location, t->response()); };
  }
  delegate->uploadProgressBlock = std::move(uploadProgress);
  delegate->downloadProgressBlock = std::move(downloadProgress);
  task->setTaskDescription(kit::str(taskDescriptionForSessionTasks()));
  // Filed with its blocks in place: the network thread reads them.
  setDelegate(delegate, task);
}

kit::Ref<kit::Progress> SDPURLSessionManager::uploadProgressForTask(const kit::Ref<kit::URLSessionTask>& task) const {
  auto delegate = delegateForTask(task);
  return delegate ? delegate->uploadProgress : nullptr;
}

kit::Ref<kit::Progress> SDPURLSessionManager::downloadProgressForTask(const kit::Ref<kit::URLSessionTask>& task) const {
  auto delegate = delegateForTask(task);
  return delegate ? delegate->downloadProgress : nullptr;
}

// ---- Manager-level resume and suspend notifications

void SDPURLSessionManager::taskDidResume(const kit::Ref<kit::Notification>& notification) {
  auto task = kit::as<kit::URLSessionTask>(notification->object());
  if (!task || !task->taskDescription() ||
      !task->taskDescription()->isEqualToString(taskDescriptionForSessionTasks())) {
    return;
  }
  kit::Queue::main().async([task] {
    kit::NotificationCenter::defaultCenter()->postNotificationName(SDPManagerTaskResumedNotification, task);
  });
}

void SDPURLSessionManager::taskDidSuspend(const kit::Ref<kit::Notification>& notification) {
  auto task = kit::as<kit::URLSessionTask>(notification->object());
  if (!task || !task->taskDescription() ||
      !task->taskDescription()->isEqualToString(taskDescriptionForSessionTasks())) {
    return;
  }
  kit::Queue::main().async([task] {
    kit::NotificationCenter::defaultCenter()->postNotificationName(SDPManagerTaskSuspendedNotification, task);
  });
}

// ---- Task lists

std::vector<kit::Ref<kit::URLSessionTask>> SDPURLSessionManager::tasks() const {
  std::vector<kit::Ref<kit::URLSessionTask>> all;
  for (auto list : {dataTasks(), uploadTasks(), downloadTasks()}) all.insert(all.end(), list.begin(), list.end());
  return all;
}

namespace {

std::vector<kit::Ref<kit::URLSessionTask>> tasksOfKind(const kit::Ref<kit::URLSession>& session,
                                                       kit::URLSessionTask::Kind kind) {
  std::vector<kit::Ref<kit::URLSessionTask>> out;
  if (!session) return out;
  // The session's list as it stands, read on the calling thread: unlike
  // waiting for the delegate queue, this cannot deadlock on that queue.
  for (const auto& task : session->allTasks()) {
    if (task->kind() == kind) out.push_back(task);
  }
  return out;
}

}  // namespace

std::vector<kit::Ref<kit::URLSessionTask>> SDPURLSessionManager::dataTasks() const {
  return tasksOfKind(session_, kit::URLSessionTask::Kind::Data);
}

std::vector<kit::Ref<kit::URLSessionTask>> SDPURLSessionManager::uploadTasks() const {
  return tasksOfKind(session_, kit::URLSessionTask::Kind::Upload);
}

std::vector<kit::Ref<kit::URLSessionTask>> SDPURLSessionManager::downloadTasks() const {
  return tasksOfKind(session_, kit::URLSessionTask::Kind::Download);
}

void SDPURLSessionManager::invalidateSessionCancelingTasks(bool cancelPendingTasks) {
  auto session = session_;
  kit::Queue::main().async([session, cancelPendingTasks] {
    if (cancelPendingTasks) {
      session->invalidateAndCancel();
    } else {
      session->finishTasksAndInvalidate();
    }
  });
}

// ---- Task factories

kit::Ref<kit::URLSessionDataTask> SDPURLSessionManager::dataTaskWithRequest(const kit::Ref<kit::URLRequest>& request,
                                                                            CompletionHandler completion) {
  return dataTaskWithRequest(request, nullptr, nullptr, std::move(completion));
}

kit::Ref<kit::URLSessionDataTask> SDPURLSessionManager::dataTaskWithRequest(const kit::Ref<kit::URLRequest>& request,
                                                                            ProgressBlock uploadProgress,
                                                                            ProgressBlock downloadProgress,
                                                                            CompletionHandler completion) {
  auto task = session_->dataTaskWithRequest(request);
  addDelegateForTask(task, std::move(uploadProgress), std::move(downloadProgress), nullptr, std::move(completion));
  return task;
}

kit::Ref<kit::URLSessionUploadTask> SDPURLSessionManager::uploadTaskWithRequestFromFile(
    const kit::Ref<kit::URLRequest>& request, const kit::Ref<kit::URL>& fileURL, ProgressBlock progress,
    CompletionHandler completion) {
  auto task = session_->uploadTaskWithRequestFromFile(request, fileURL);
  if (!task && attemptsToRecreateUploadTasksForBackgroundSessions && sessionConfiguration_->identifier()) {
    for (int attempt = 0; attempt < 3 && !task; ++attempt) {
      task = session_->uploadTaskWithRequestFromFile(request, fileURL);
    }
  }
  if (!task) return nullptr;
  addDelegateForTask(task, std::move(progress), nullptr, nullptr, std::move(completion));
  return task;
}

kit::Ref<kit::URLSessionUploadTask> SDPURLSessionManager::uploadTaskWithRequestFromData(
    const kit::Ref<kit::URLRequest>& request, const kit::Ref<kit::Data>& body, ProgressBlock progress,
    CompletionHandler completion) {
  auto task = session_->uploadTaskWithRequestFromData(request, body);
  addDelegateForTask(task, std::move(progress), nullptr, nullptr, std::move(completion));
  return task;
}

kit::Ref<kit::URLSessionUploadTask> SDPURLSessionManager::uploadTaskWithStreamedRequest(
    const kit::Ref<kit::URLRequest>& request, ProgressBlock progress, CompletionHandler completion) {
  auto task = session_->uploadTaskWithStreamedRequest(request);
  addDelegateForTask(task, std::move(progress), nullptr, nullptr, std::move(completion));
  return task;
}

kit::Ref<kit::URLSessionDownloadTask> SDPURLSessionManager::downloadTaskWithRequest(
    const kit::Ref<kit::URLRequest>& request, ProgressBlock progress, DestinationBlock destination,
    CompletionHandler completion) {
  auto task = session_->downloadTaskWithRequest(request);
  addDelegateForTask(task, nullptr, std::move(progress), std::move(destination), std::move(completion));
  return task;
}

kit::Ref<kit::URLSessionDownloadTask> SDPURLSessionManager::downloadTaskWithResumeData(
    const kit::Ref<kit::Data>& resumeData, ProgressBlock progress, DestinationBlock destination,
    CompletionHandler completion) {
  auto task = session_->downloadTaskWithResumeData(resumeData);
  addDelegateForTask(task, nullptr, std::move(progress), std::move(destination), std::move(completion));
  return task;
}

// ---- Description and copies

std::string SDPURLSessionManager::description() const {
  return kit::formatString("<%s: %p, session: %@, operationQueue: %@>", className(), static_cast<const void*>(this),
                           session_, operationQueue_);
}

kit::Ref<SDPURLSessionManager> SDPURLSessionManager::makeSameClass(
    const kit::Ref<kit::URLSessionConfiguration>& configuration) const {
  return make(configuration);
}

kit::Id SDPURLSessionManager::copy() const { return makeSameClass(session_->configuration()); }

// ---- Archiving

void SDPURLSessionManager::initFromArchive(const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  initWithSessionConfiguration(configuration);
}

void SDPURLSessionManager::encodeWithCoder(kit::KeyedArchiver& coder) const {
  if (!session_) return;
  auto configuration = session_->configuration();
  if (kit::KeyedArchiver::canArchiveObject(*configuration)) coder.encodeObject(configuration, "sessionConfiguration");
}

bool SDPURLSessionManager::initWithCoder(kit::KeyedUnarchiver& coder) {
  if (!coder.requiresSecureCoding()) return false;
  initFromArchive(coder.decodeObjectOfClass<kit::URLSessionConfiguration>("sessionConfiguration"));
  return true;
}
