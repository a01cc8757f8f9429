// Progress objects.
#include "kit/net/progress.h"

#include <vector>

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Progress, Object, "NSProgress") {}

Ref<Progress> Progress::progressWithTotalUnitCount(int64_t total) {
  auto p = std::make_shared<Progress>();
  p->total_ = total;
  return p;
}

int64_t Progress::totalUnitCount() const {
  std::lock_guard lock(mutex_);
  return total_;
}

void Progress::setTotalUnitCount(int64_t total) {
  {
    std::lock_guard lock(mutex_);
    if (total_ == total) return;
    total_ = total;
  }
  notify({Key::TotalUnitCount, Key::FractionCompleted});
}

int64_t Progress::completedUnitCount() const {
  std::lock_guard lock(mutex_);
  return completed_;
}

void Progress::setCompletedUnitCount(int64_t completed) {
  {
    std::lock_guard lock(mutex_);
    if (completed_ == completed) return;
    completed_ = completed;
  }
  notify({Key::CompletedUnitCount, Key::FractionCompleted});
}

double Progress::fractionCompleted() const {
  std::lock_guard lock(mutex_);
  if (total_ <= 0) return 0;
  return static_cast<double>(completed_) / static_cast<double>(total_);
}

bool Progress::isIndeterminate() const {
  std::lock_guard lock(mutex_);
  return total_ < 0 || completed_ < 0;
}

bool Progress::isFinished() const {
  std::lock_guard lock(mutex_);
  return total_ > 0 && completed_ >= total_;
}

bool Progress::isCancellable() const {
  std::lock_guard lock(mutex_);
  return cancellable_;
}

void Progress::setCancellable(bool v) {
  std::lock_guard lock(mutex_);
  cancellable_ = v;
}

bool Progress::isPausable() const {
  std::lock_guard lock(mutex_);
  return pausable_;
}

void Progress::setPausable(bool v) {
  std::lock_guard lock(mutex_);
  pausable_ = v;
}

bool Progress::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool Progress::isPaused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

void Progress::setCancellationHandler(std::function<void()> handler) {
  bool callNow;
  {
    std::lock_guard lock(mutex_);
    onCancel_ = handler;
    callNow = cancelled_;
  }
  // A handler set after cancelling runs at once, as on the platform.
  if (callNow && handler) handler();
}

void Progress::setPausingHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  onPause_ = std::move(handler);
}

void Progress::setResumingHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  onResume_ = std::move(handler);
}

void Progress::cancel() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    handler = onCancel_;
  }
  notify({Key::Cancelled});
  if (handler) handler();
}

void Progress::pause() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    if (paused_ || !pausable_) return;
    paused_ = true;
    handler = onPause_;
  }
  notify({Key::Paused});
  if (handler) handler();
}

void Progress::resume() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    if (!paused_) return;
    paused_ = false;
    handler = onResume_;
  }
  notify({Key::Paused});
  if (handler) handler();
}

uint64_t Progress::addObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  uint64_t token = nextObserver_++;
  observers_[token] = std::move(observer);
  return token;
}

void Progress::removeObserver(uint64_t token) {
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

void Progress::notify(std::initializer_list<Key> keys) {
  std::vector<Observer> observers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [token, o] : observers_) observers.push_back(o);
  }
  for (Key key : keys) {
    for (const auto& o : observers) o(*this, key);
  }
}

std::string Progress::description() const {
  std::lock_guard lock(mutex_);
  return formatString("<%s: %p> : Fraction completed: %.4f / Completed: %lld of %lld", className(),
                      static_cast<const void*>(this), total_ > 0 ? double(completed_) / double(total_) : 0.0,
                      static_cast<long long>(completed_), static_cast<long long>(total_));
}

}  // namespace kit
