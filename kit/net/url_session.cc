// URLSession: task creation, task lists, start/suspend/cancel plumbing to
// the network thread, and invalidation.
#include "kit/net/url_session.h"

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/net/event_lane.h"
#include "kit/net/input_stream.h"
#include "kit/net/session_events.h"
#include "kit/net/task_driver.h"
#include "kit/net/transfer_engine.h"
#include "kit/net/url_adapter.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_error_mapping.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLSession, Object, "NSURLSession") {}

using netdetail::BodySource;

struct URLSession::PendingTask {
  BodySource body;
  DataCompletion dataCompletion;
  DownloadCompletion downloadCompletion;
  std::optional<netdetail::ResumeState> resume;
};

Ref<URLSession> URLSession::sharedSession() {
  // Tasks may run until the process ends.
  static const NoDestructor<Ref<URLSession>> shared(
      std::make_shared<URLSession>(URLSessionConfiguration::defaultSessionConfiguration(), nullptr, nullptr, true));
  return *shared;
}

Ref<URLSession> URLSession::sessionWithConfiguration(const Ref<URLSessionConfiguration>& configuration) {
  return sessionWithConfiguration(configuration, nullptr, nullptr);
}

Ref<URLSession> URLSession::sessionWithConfiguration(const Ref<URLSessionConfiguration>& configuration,
                                                     Ref<URLSessionDelegate> delegate,
                                                     Ref<OperationQueue> delegateQueue) {
  auto config = configuration ? std::static_pointer_cast<URLSessionConfiguration>(configuration->copy())
                              : URLSessionConfiguration::defaultSessionConfiguration();
  return std::make_shared<URLSession>(config, std::move(delegate), std::move(delegateQueue), false);
}

URLSession::URLSession(Ref<URLSessionConfiguration> configuration, Ref<URLSessionDelegate> delegate,
                       Ref<OperationQueue> delegateQueue, bool shared, Delivery delivery)
    : configuration_(std::move(configuration)),
      ownsDelegateQueue_(!delegateQueue),
      delegateQueue_(delegateQueue ? std::move(delegateQueue)
                                   : netdetail::makeSerialOperationQueue("kit.net.session.delegate")),
      shared_(shared),
      delegate_(std::move(delegate)) {
  std::function<bool()> delegateIsPrompt;
  if (delegate_) {
    Weak<URLSessionDelegate> weak = delegate_;
    delegateIsPrompt = [weak] {
      auto delegate = weak.lock();
      return delegate && delegate->handlesEventsPromptly();
    };
  }
  // Only the session's own queue may be held by a drain waiting for more
  // events; a caller's queue runs the caller's other work too.
  lane_ = std::make_shared<netdetail::EventLane>(delivery == Delivery::DelegateQueue ? delegateQueue_ : nullptr,
                                                 ownsDelegateQueue_, std::move(delegateIsPrompt));
  netdetail::TransferEngine::Options options;
  options.lane = lane_;
  options.maxConnectionsPerHost = configuration_->HTTPMaximumConnectionsPerHost;
  options.pipelining = configuration_->HTTPShouldUsePipelining;
  engine_ = std::make_unique<netdetail::TransferEngine>(options);
}

URLSession::~URLSession() {
  // The last reference may go in an event run on the network thread itself,
  // which cannot wait for its own end: another thread ends it.
  if (engine_->onOwnThread()) {
    Queue::global().async([engine = std::shared_ptr<netdetail::TransferEngine>(std::move(engine_))] {});
    return;
  }
  engine_.reset();
}

Ref<URLSessionConfiguration> URLSession::configuration() const {
  return std::static_pointer_cast<URLSessionConfiguration>(configuration_->copy());
}

Ref<URLSessionDelegate> URLSession::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_;
}

Ref<String> URLSession::sessionDescription() const {
  std::lock_guard lock(mutex_);
  return description_;
}

void URLSession::setSessionDescription(Ref<String> description) {
  std::lock_guard lock(mutex_);
  description_ = std::move(description);
}

void URLSession::checkValid(const char* what) const {
  std::lock_guard lock(mutex_);
  if (invalidated_) {
    raise(GenericException, std::string("Task created in a session that has been invalidated (") + what + ")");
  }
}

template <class T>
Ref<T> URLSession::makeTask(URLSessionTask::Kind kind, const Ref<URLRequest>& request) {
  checkValid("task");
  uint64_t id;
  {
    std::lock_guard lock(mutex_);
    id = nextIdentifier_++;
  }
  auto copy = request ? std::static_pointer_cast<URLRequest>(request->copy()) : URLRequest::make(nullptr);
  auto task = std::make_shared<T>(kind, id, copy, std::static_pointer_cast<URLSession>(self()));
  return task;
}

void URLSession::registerTask(const Ref<URLSessionTask>& task, std::unique_ptr<PendingTask> pending) {
  std::lock_guard lock(mutex_);
  tasks_[task->taskIdentifier()] = task;
  pending_[task->taskIdentifier()] = std::move(pending);
}

namespace {

BodySource bodyOfRequest(const Ref<URLRequest>& request) {
  BodySource body;
  if (!request) return body;
  if (request->HTTPBody()) {
    body.kind = BodySource::Kind::Data;
    body.data = request->HTTPBody();
  } else if (request->HTTPBodyStream()) {
    body.kind = BodySource::Kind::Stream;
    body.stream = request->HTTPBodyStream();
  }
  return body;
}

// Lets the main run loop's waits take the answers to requests the main
// thread sent (see TransferEngine::beginCallerWatch()). The session is held
// from a wait's start to its end, so that the descriptor waited on stays.
class AnswerWatch : public RunLoopWaitWatch {
 public:
  explicit AnswerWatch(Weak<URLSession> session) : session_(std::move(session)) {}

  int beginWait() override {
    auto session = session_.lock();
    if (!session) return -1;
    const int fd = session->engine().beginCallerWatch();
    if (fd >= 0) held_ = std::move(session);
    return fd;
  }
  void endWait(bool ready) override {
    // Let go after the pass: its events may drop every other reference.
    auto session = std::move(held_);
    if (session) session->engine().endCallerWatch(ready);
  }

 private:
  Weak<URLSession> session_;
  Ref<URLSession> held_;  // the main thread's only
};

bool startsOnCallingThread(const URLSessionTask& task, BodySource::Kind body,
                           const netdetail::DriverSettings& settings) {
  // A data or upload task whose start can hold up nobody: its body is in
  // memory, the cache is not read for it, and no TLS handshake of it waits
  // for the delegate's word on the server's trust.
  if (task.kind() == URLSessionTask::Kind::Download) return false;
  if (body != BodySource::Kind::None && body != BodySource::Kind::Data) return false;
  const auto& request = task.originalRequest();
  if (!request || !request->URL()) return false;
  if (settings.cache && request->HTTPMethod() == "GET") return false;
  const std::string scheme = netdetail::urlScheme(request->URL());
  return scheme == "http" || (scheme == "https" && !settings.hasDelegate);
}

}  // namespace

Ref<URLSessionDataTask> URLSession::dataTaskWithRequest(const Ref<URLRequest>& request, DataCompletion completion) {
  auto task = makeTask<URLSessionDataTask>(URLSessionTask::Kind::Data, request);
  auto pending = std::make_unique<PendingTask>();
  pending->body = bodyOfRequest(task->originalRequest());
  pending->dataCompletion = std::move(completion);
  registerTask(task, std::move(pending));
  return task;
}

Ref<URLSessionDataTask> URLSession::dataTaskWithURL(const Ref<URL>& url, DataCompletion completion) {
  return dataTaskWithRequest(URLRequest::make(url), std::move(completion));
}

Ref<URLSessionUploadTask> URLSession::uploadTaskWithRequestFromFile(const Ref<URLRequest>& request,
                                                                   const Ref<URL>& fileURL, DataCompletion completion) {
  auto task = makeTask<URLSessionUploadTask>(URLSessionTask::Kind::Upload, request);
  auto pending = std::make_unique<PendingTask>();
  pending->body.kind = BodySource::Kind::File;
  pending->body.filePath = netdetail::urlIsFile(fileURL) ? netdetail::urlPath(fileURL) : std::string();
  pending->dataCompletion = std::move(completion);
  registerTask(task, std::move(pending));
  return task;
}

Ref<URLSessionUploadTask> URLSession::uploadTaskWithRequestFromData(const Ref<URLRequest>& request,
                                                                   const Ref<Data>& body, DataCompletion completion) {
  auto task = makeTask<URLSessionUploadTask>(URLSessionTask::Kind::Upload, request);
  auto pending = std::make_unique<PendingTask>();
  pending->body.kind = BodySource::Kind::Data;
  pending->body.data = body ? std::static_pointer_cast<Data>(body->copy()) : Data::make();
  pending->dataCompletion = std::move(completion);
  registerTask(task, std::move(pending));
  return task;
}

Ref<URLSessionUploadTask> URLSession::uploadTaskWithStreamedRequest(const Ref<URLRequest>& request) {
  auto task = makeTask<URLSessionUploadTask>(URLSessionTask::Kind::Upload, request);
  auto pending = std::make_unique<PendingTask>();
  pending->body.kind = BodySource::Kind::Stream;
  pending->body.stream = task->originalRequest()->HTTPBodyStream();
  pending->body.streamFromDelegate = !pending->body.stream;
  registerTask(task, std::move(pending));
  return task;
}

Ref<URLSessionDownloadTask> URLSession::downloadTaskWithRequest(const Ref<URLRequest>& request,
                                                               DownloadCompletion completion) {
  auto task = makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::Download, request);
  auto pending = std::make_unique<PendingTask>();
  pending->body = bodyOfRequest(task->originalRequest());
  pending->downloadCompletion = std::move(completion);
  registerTask(task, std::move(pending));
  return task;
}

Ref<URLSessionDownloadTask> URLSession::downloadTaskWithURL(const Ref<URL>& url, DownloadCompletion completion) {
  return downloadTaskWithRequest(URLRequest::make(url), std::move(completion));
}

Ref<URLSessionDownloadTask> URLSession::downloadTaskWithResumeData(const Ref<Data>& resumeData,
                                                                  DownloadCompletion completion) {
  auto state = netdetail::decodeResumeData(resumeData);
  if (!state) return nullptr;
  auto task = makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::Download, URLRequest::make(state->url));
  auto pending = std::make_unique<PendingTask>();
  pending->downloadCompletion = std::move(completion);
  pending->resume = std::move(state);
  registerTask(task, std::move(pending));
  return task;
}

// ---- Running tasks

void URLSession::startTask(const Ref<URLSessionTask>& task) {
  std::unique_ptr<PendingTask> pending;
  Ref<URLSessionDelegate> delegate;
  {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(task->taskIdentifier());
    if (it == pending_.end()) return;
    pending = std::move(it->second);
    pending_.erase(it);
    delegate = delegate_;
  }
  task->retainSession(std::static_pointer_cast<URLSession>(self()));
  netdetail::DriverSettings settings;
  settings.lane = lane_;
  settings.engine = engine_.get();
  settings.hasDelegate = delegate != nullptr;
  settings.requestTimeout = configuration_->timeoutIntervalForRequest;
  settings.resourceTimeout = configuration_->timeoutIntervalForResource;
  settings.setCookies = configuration_->HTTPShouldSetCookies;
  settings.additionalHeaders = HTTPHeaderFields::fromDictionary(configuration_->HTTPAdditionalHeaders);
  // A process-wide session caches in the shared cache as it is now: one
  // set since the session was made takes over from the one it replaced.
  settings.cache = shared_ ? URLCache::sharedURLCache() : configuration_->URLCache;
  if (settings.cache) {
    settings.cacheEntryLimit = std::max(settings.cache->memoryCapacity(), settings.cache->diskCapacity()) / 20;
  }
  settings.sessionCachePolicy = configuration_->requestCachePolicy;
  settings.maximumInMemoryBody = configuration_->maximumInMemoryBodyLength();
  if (delegate) {
    settings.askResponse = delegate->implements(URLSessionDelegateEvent::DataTaskResponse);
    settings.awaitResponseAnswer = delegate->waitsForResponseAnswer();
    settings.askRedirect = delegate->implements(URLSessionDelegateEvent::Redirection);
    settings.askCache = delegate->implements(URLSessionDelegateEvent::WillCacheResponse);
  }
  const bool startsHere = startsOnCallingThread(*task, pending->body.kind, settings);
  // The main thread may take the answer while its run loop waits, if the
  // answer's events may run there.
  const bool answerHere =
      startsHere && RunLoop::isMainThread() && lane_->runsUnwatched(static_cast<bool>(pending->dataCompletion));
  if (answerHere) watchAnswersFromMainLoop();
  auto* driver = new netdetail::TaskDriver(task, std::move(settings), std::move(pending->body),
                                           std::move(pending->dataCompletion),
                                           std::move(pending->downloadCompletion));
  if (pending->resume) driver->setResumeState(pending->resume->path, pending->resume->offset, pending->resume->validator);
  auto* engine = engine_.get();
  uint64_t id = task->taskIdentifier();
  std::function<void()> start = [engine, id, driver] {
    engine->addDriver(id, std::unique_ptr<netdetail::TaskDriver>(driver));
    driver->start();
  };
  if (startsHere) {
    // Events of the start may drop the last other reference to the session.
    auto keep = self();
    if (engine->runHere(start, answerHere)) return;
  }
  engine->post(std::move(start), answerHere);
}

void URLSession::watchAnswersFromMainLoop() {
  std::shared_ptr<RunLoopWaitWatch> made;
  {
    std::lock_guard lock(mutex_);
    if (answerWatch_) return;
    answerWatch_ = made = std::make_shared<AnswerWatch>(selfAs<URLSession>());
  }
  RunLoop::main().addWaitWatch(made);
}

void URLSession::suspendTask(const Ref<URLSessionTask>& task, bool suspended) {
  auto* engine = engine_.get();
  uint64_t id = task->taskIdentifier();
  engine->post([engine, id, suspended] {
    if (auto* driver = engine->driver(id)) driver->setSuspended(suspended);
  });
}

void URLSession::cancelTask(const Ref<URLSessionTask>& task) {
  bool started;
  {
    std::lock_guard lock(mutex_);
    started = pending_.erase(task->taskIdentifier()) == 0;
  }
  if (!started) {
    // Never resumed: it completes with the cancelled error without a transfer.
    netdetail::Completion c;
    c.task = task;
    c.error = netdetail::makeURLError(URLErrorCancelled, task->originalRequest()->URL());
    c.toDelegate = delegate() != nullptr;
    task->retainSession(std::static_pointer_cast<URLSession>(self()));
    netdetail::postTaskCompletion(lane_, std::move(c));
    return;
  }
  auto* engine = engine_.get();
  uint64_t id = task->taskIdentifier();
  engine->interruptGate(id);
  engine->post([engine, id] {
    if (auto* driver = engine->driver(id)) driver->cancel();
  });
}

void URLSession::cancelDownloadProducingResumeData(const Ref<URLSessionDownloadTask>& task,
                                                   std::function<void(Ref<Data>)> completion) {
  bool started;
  {
    std::lock_guard lock(mutex_);
    started = pending_.count(task->taskIdentifier()) == 0;
  }
  if (!started) {
    lane_->post([completion] { completion(nullptr); });
    cancelTask(task);
    return;
  }
  auto* engine = engine_.get();
  uint64_t id = task->taskIdentifier();
  engine->post([engine, id, completion] {
    if (auto* driver = engine->driver(id)) {
      driver->cancelProducingResumeData(completion);
    }
  });
}

Ref<URLSessionDownloadTask> URLSession::adoptDownloadTask(const Ref<URLSessionDataTask>& from) {
  uint64_t id;
  {
    std::lock_guard lock(mutex_);
    id = nextIdentifier_++;
  }
  auto download = std::make_shared<URLSessionDownloadTask>(URLSessionTask::Kind::Download, id, from->originalRequest(),
                                                           std::static_pointer_cast<URLSession>(self()));
  download->setCurrentRequest(from->currentRequest());
  download->setState(URLSessionTaskState::Running);
  download->retainSession(std::static_pointer_cast<URLSession>(self()));
  {
    std::lock_guard lock(mutex_);
    tasks_[id] = download;
  }
  engine_->aliasDriver(id, from->taskIdentifier());
  // The data task's part is over: it leaves the lists without a completion.
  from->setState(URLSessionTaskState::Completed);
  lane_->post([from, self = std::static_pointer_cast<URLSession>(self())] { self->taskFinished(from); });
  return download;
}

void URLSession::taskFinished(const Ref<URLSessionTask>& task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.erase(task->taskIdentifier());
  }
  invalidateIfDone();
  auto keep = task->releaseSession();
  (void)keep;  // the session may end here, on the delegate queue
}

// ---- Lists

std::vector<Ref<URLSessionTask>> URLSession::allTasks() const {
  std::lock_guard lock(mutex_);
  std::vector<Ref<URLSessionTask>> out;
  for (const auto& [id, task] : tasks_) {
    if (task->state() != URLSessionTaskState::Completed) out.push_back(task);
  }
  return out;
}

void URLSession::getTasksWithCompletionHandler(TaskLists completion) {
  auto self = std::static_pointer_cast<URLSession>(this->self());
  lane_->post([self, completion] {
    std::vector<Ref<URLSessionDataTask>> data;
    std::vector<Ref<URLSessionUploadTask>> upload;
    std::vector<Ref<URLSessionDownloadTask>> download;
    for (const auto& task : self->allTasks()) {
      if (auto u = as<URLSessionUploadTask>(task)) {
        upload.push_back(u);
      } else if (auto d = as<URLSessionDataTask>(task)) {
        data.push_back(d);
      } else if (auto dl = as<URLSessionDownloadTask>(task)) {
        download.push_back(dl);
      }
    }
    completion(std::move(data), std::move(upload), std::move(download));
  });
}

void URLSession::getAllTasksWithCompletionHandler(std::function<void(std::vector<Ref<URLSessionTask>>)> completion) {
  auto self = std::static_pointer_cast<URLSession>(this->self());
  lane_->post([self, completion] { completion(self->allTasks()); });
}

// ---- Invalidation

bool URLSession::isInvalidated() const {
  std::lock_guard lock(mutex_);
  return invalidated_;
}

void URLSession::finishTasksAndInvalidate() {
  if (shared_) return;
  {
    std::lock_guard lock(mutex_);
    invalidated_ = true;
  }
  invalidateIfDone();
}

void URLSession::invalidateAndCancel() {
  if (shared_) return;
  std::vector<Ref<URLSessionTask>> running;
  {
    std::lock_guard lock(mutex_);
    invalidated_ = true;
    for (const auto& [id, task] : tasks_) running.push_back(task);
  }
  for (const auto& task : running) task->cancel();
  invalidateIfDone();
}

void URLSession::invalidateIfDone() {
  {
    std::lock_guard lock(mutex_);
    if (!invalidated_ || invalidationDelivered_ || !tasks_.empty()) return;
    invalidationDelivered_ = true;
  }
  auto self = std::static_pointer_cast<URLSession>(this->self());
  lane_->post([self] {
    Ref<URLSessionDelegate> delegate;
    {
      std::lock_guard lock(self->mutex_);
      delegate = std::move(self->delegate_);
      self->delegate_ = nullptr;
    }
    if (delegate) delegate->didBecomeInvalid(*self, nullptr);
  });
}

void URLSession::resetWithCompletionHandler(std::function<void()> completion) {
  auto* engine = engine_.get();
  auto lane = lane_;
  engine->post([engine, lane, completion] {
    engine->clearCookies();
    lane->post(completion);
  });
}

void URLSession::flushWithCompletionHandler(std::function<void()> completion) {
  auto lane = lane_;
  engine_->post([lane, completion] { lane->post(completion); });
}

std::string URLSession::description() const {
  return formatString("<%s: %p>", className(), static_cast<const void*>(this));
}

}  // namespace kit
