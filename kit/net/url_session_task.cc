// Session tasks: state, counters and their observers.
#include "kit/net/url_session_task.h"

#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/net/url_session.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLSessionTask, Object, "NSURLSessionTask") {}
KIT_DEFINE_CLASS_NAMED(URLSessionDataTask, URLSessionTask, "NSURLSessionDataTask") {}
KIT_DEFINE_CLASS_NAMED(URLSessionUploadTask, URLSessionDataTask, "NSURLSessionUploadTask") {}
KIT_DEFINE_CLASS_NAMED(URLSessionDownloadTask, URLSessionTask, "NSURLSessionDownloadTask") {}

URLSessionTask::URLSessionTask(Kind kind, uint64_t identifier, Ref<URLRequest> request, Weak<URLSession> session)
    : kind_(kind), identifier_(identifier), original_(request), session_(std::move(session)), current_(request) {
  if (request && request->HTTPBody()) expectedSend_ = static_cast<int64_t>(request->HTTPBody()->length());
}

URLSessionTask::~URLSessionTask() = default;

Ref<URLRequest> URLSessionTask::currentRequest() const {
  std::lock_guard lock(mutex_);
  return current_;
}

Ref<URLResponse> URLSessionTask::response() const {
  std::lock_guard lock(mutex_);
  return response_;
}

Ref<Error> URLSessionTask::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

Ref<String> URLSessionTask::taskDescription() const {
  std::lock_guard lock(mutex_);
  return description_;
}

void URLSessionTask::setTaskDescription(Ref<String> description) {
  std::lock_guard lock(mutex_);
  description_ = std::move(description);
}

void URLSessionTask::setCurrentRequest(Ref<URLRequest> request) {
  std::lock_guard lock(mutex_);
  current_ = std::move(request);
}

void URLSessionTask::setResponse(Ref<URLResponse> response) {
  std::lock_guard lock(mutex_);
  response_ = std::move(response);
}

void URLSessionTask::setError(Ref<Error> error) {
  std::lock_guard lock(mutex_);
  error_ = std::move(error);
}

uint64_t URLSessionTask::addCounterObserver(CounterObserver observer) {
  std::lock_guard lock(mutex_);
  uint64_t token = nextObserver_++;
  observers_[token] = std::move(observer);
  return token;
}

void URLSessionTask::removeCounterObserver(uint64_t token) {
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

void URLSessionTask::setCounter(URLSessionTaskCounter counter, int64_t value) {
  std::atomic<int64_t>* slot = nullptr;
  switch (counter) {
    case URLSessionTaskCounter::BytesReceived: slot = &received_; break;
    case URLSessionTaskCounter::BytesExpectedToReceive: slot = &expectedReceive_; break;
    case URLSessionTaskCounter::BytesSent: slot = &sent_; break;
    case URLSessionTaskCounter::BytesExpectedToSend: slot = &expectedSend_; break;
  }
  if (slot->exchange(value) == value) return;
  std::vector<CounterObserver> observers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [token, observer] : observers_) observers.push_back(observer);
  }
  for (const auto& observer : observers) observer(*this, counter, value);
}

void URLSessionTask::retainSession(Ref<URLSession> session) {
  std::lock_guard lock(mutex_);
  running_ = std::move(session);
}

Ref<URLSession> URLSessionTask::releaseSession() {
  std::lock_guard lock(mutex_);
  return std::move(running_);
}

namespace {

std::mutex hooksMutex;
std::map<uint64_t, URLSessionTask::LifecycleHook>& lifecycleHooks() {
  static NoDestructor<std::map<uint64_t, URLSessionTask::LifecycleHook>> hooks;
  return *hooks;
}
uint64_t nextHook = 1;

}  // namespace

uint64_t URLSessionTask::addLifecycleHook(LifecycleHook hook) {
  std::lock_guard lock(hooksMutex);
  uint64_t token = nextHook++;
  lifecycleHooks()[token] = std::move(hook);
  return token;
}

void URLSessionTask::removeLifecycleHook(uint64_t token) {
  std::lock_guard lock(hooksMutex);
  lifecycleHooks().erase(token);
}

void URLSessionTask::callLifecycleHooks(LifecycleCall call, URLSessionTaskState before) {
  std::vector<LifecycleHook> hooks;
  {
    std::lock_guard lock(hooksMutex);
    for (const auto& [token, hook] : lifecycleHooks()) hooks.push_back(hook);
  }
  for (const auto& hook : hooks) hook(*this, call, before);
}

void URLSessionTask::resume() {
  auto before = state_.load();
  resumeNow(before);
  callLifecycleHooks(LifecycleCall::Resume, before);
}

void URLSessionTask::resumeNow(URLSessionTaskState state) {
  auto session = session_.lock();
  if (!session) return;
  if (state == URLSessionTaskState::Completed || state == URLSessionTaskState::Canceling) return;
  if (!started_.exchange(true)) {
    state_ = URLSessionTaskState::Running;
    session->startTask(std::static_pointer_cast<URLSessionTask>(self()));
    return;
  }
  auto expected = URLSessionTaskState::Suspended;
  if (state_.compare_exchange_strong(expected, URLSessionTaskState::Running)) {
    session->suspendTask(std::static_pointer_cast<URLSessionTask>(self()), false);
  }
}

void URLSessionTask::suspend() {
  auto expected = URLSessionTaskState::Running;
  if (state_.compare_exchange_strong(expected, URLSessionTaskState::Suspended)) {
    if (auto session = session_.lock(); session && started_) {
      session->suspendTask(std::static_pointer_cast<URLSessionTask>(self()), true);
    }
  }
  callLifecycleHooks(LifecycleCall::Suspend, expected);
}

void URLSessionTask::cancel() {
  auto state = state_.load();
  do {
    if (state == URLSessionTaskState::Completed || state == URLSessionTaskState::Canceling) return;
  } while (!state_.compare_exchange_weak(state, URLSessionTaskState::Canceling));
  if (auto session = session_.lock()) session->cancelTask(std::static_pointer_cast<URLSessionTask>(self()));
}

std::string URLSessionTask::description() const {
  return formatString("<%s: %p> { taskIdentifier: %llu } { %s }", className(), static_cast<const void*>(this),
                      static_cast<unsigned long long>(identifier_),
                      original_ ? netdetail::urlString(original_->URL()) : std::string("(null)"));
}

void URLSessionDownloadTask::cancelByProducingResumeData(std::function<void(Ref<Data>)> completion) {
  auto current = state();
  if (current == URLSessionTaskState::Completed || current == URLSessionTaskState::Canceling) return;
  setState(URLSessionTaskState::Canceling);
  if (auto session = this->session()) {
    session->cancelDownloadProducingResumeData(std::static_pointer_cast<URLSessionDownloadTask>(self()),
                                               std::move(completion));
  }
}

}  // namespace kit
