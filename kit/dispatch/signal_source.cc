// Signal sources: one process-wide signal handler that only writes the
// signal's number into a pipe (the one thing a handler may safely do), and
// one watcher thread that reads the pipe and hands each signal to the
// sources resumed for it, which post their handlers to their queues.
#include "kit/dispatch/signal_source.h"
#include "kit/foundation/no_destructor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <map>
#include <thread>
#include <vector>

namespace kit {

namespace {

class SignalWatcher {
 public:
  // Lives for the process: the watcher thread blocks on the pipe for good.
  static SignalWatcher& shared() {
    static NoDestructor<SignalWatcher> watcher;
    return *watcher;
  }

  void add(int signal, const Ref<SignalSource>& source) {
    std::lock_guard lock(mutex_);
    startLocked();
    auto& list = sources_[signal];
    if (list.empty()) {
      struct sigaction action {};
      action.sa_handler = &SignalWatcher::caught;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESTART;
      struct sigaction before {};
      sigaction(signal, &action, &before);
      previous_[signal] = before;
    }
    list.push_back(source);
  }

  void remove(int signal, const SignalSource* source) {
    std::lock_guard lock(mutex_);
    auto found = sources_.find(signal);
    if (found == sources_.end()) return;
    std::erase_if(found->second, [source](const Weak<SignalSource>& w) {
      auto s = w.lock();
      return !s || s.get() == source;
    });
    if (found->second.empty()) {
      sigaction(signal, &previous_[signal], nullptr);
      sources_.erase(found);
      previous_.erase(signal);
    }
  }

 private:
  static void caught(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = write(writeEnd_, &byte, 1);
    errno = saved;
  }

  void startLocked() {
    if (started_) return;
    started_ = true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    fcntl(fds[1], F_SETFL, O_NONBLOCK);  // a full pipe drops a signal rather than block the handler
    readEnd_ = fds[0];
    writeEnd_ = fds[1];
    std::thread([this] { watch(); }).detach();
  }

  void watch() {
    unsigned char bytes[64];
    for (;;) {
      const ssize_t n = read(readEnd_, bytes, sizeof bytes);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        std::vector<Ref<SignalSource>> live;
        {
          std::lock_guard lock(mutex_);
          auto found = sources_.find(bytes[i]);
          if (found == sources_.end()) continue;
          for (const auto& weak : found->second)
            if (auto source = weak.lock()) live.push_back(source);
        }
        for (const auto& source : live) source->signalArrived();
      }
    }
  }

  std::mutex mutex_;
  bool started_ = false;
  int readEnd_ = -1;
  static inline int writeEnd_ = -1;
  std::map<int, std::vector<Weak<SignalSource>>> sources_;
  std::map<int, struct sigaction> previous_;
};

}  // namespace

Ref<SignalSource> SignalSource::create(int signal, Queue& queue) {
  return std::make_shared<SignalSource>(signal, queue.selfAs<Queue>());
}

SignalSource::SignalSource(int signal, Ref<Queue> queue) : signal_(signal), queue_(std::move(queue)) {}

SignalSource::~SignalSource() = default;

void SignalSource::setEventHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  if (!cancelled_) handler_ = std::move(handler);
}

void SignalSource::resume() {
  {
    std::lock_guard lock(mutex_);
    if (resumed_ || cancelled_) return;
    resumed_ = true;
  }
  SignalWatcher::shared().add(signal_, selfAs<SignalSource>());
}

void SignalSource::cancel() {
  bool wasResumed;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    wasResumed = resumed_;
    handler_ = nullptr;
  }
  if (wasResumed) SignalWatcher::shared().remove(signal_, this);
}

bool SignalSource::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

unsigned long SignalSource::data() const {
  std::lock_guard lock(mutex_);
  return data_;
}

void SignalSource::signalArrived() {
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  ++pending_;
  if (queued_) return;
  queued_ = true;
  queue_->async([self = selfAs<SignalSource>()] { self->deliver(); });
}

void SignalSource::deliver() {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    queued_ = false;
    if (cancelled_) return;
    data_ = pending_;
    pending_ = 0;
    handler = handler_;
  }
  if (handler) handler();
}

}  // namespace kit
