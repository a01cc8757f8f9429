// Records what a web-image request reports: every completion call (image,
// source, stage, error, the thread it ran on, when, and how many bytes had
// arrived by then) and every progress call, for the web-image tests.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/thread.h"
#include "kit/testing/lifeline.h"
#include "kit/testing/run_until.h"
#include "ui/images/kt_web_image_options.h"

namespace webimagetest {

struct Call {
  kit::Ref<kit::Image> image;
  kit::Ref<kit::URL> url;
  KTWebImageSource from = KTWebImageSourceNone;
  KTWebImageStage stage = KTWebImageStageFinished;
  kit::Ref<kit::Error> error;
  std::string thread;
  bool onMain = false;
  double at = 0;
  int64_t receivedBefore = 0;  // bytes the last progress call reported
};

// A block called after its recorder has gone (a wait for it gave up and
// the test ended) does nothing.
class Recorder {
 public:
  KTWebImageCompletionBlock completion() {
    return lifeline_.bind([](Recorder& self, const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>& url,
                             KTWebImageSource from, KTWebImageStage stage, const kit::Ref<kit::Error>& error) {
      std::lock_guard lock(self.mutex_);
      self.calls_.push_back(Call{image, url, from, stage, error, kit::Thread::current()->name(),
                                 kit::Thread::isMainThread(), kit::Clock::now(), self.received_});
      if (stage != KTWebImageStageProgress) ++self.ends_;
    });
  }
  KTWebImageProgressBlock progress() {
    return lifeline_.bind([](Recorder& self, int64_t received, int64_t expected) {
      std::lock_guard lock(self.mutex_);
      self.progress_.emplace_back(received, expected);
      self.received_ = received;
      if (kit::Thread::current()->name() != "KTWebImageOperation.network") self.progressOffThread_ = true;
      if (self.stopped_) self.progressAfterStop_ = true;
    });
  }
  // From now on a progress call counts as late.
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    endsAtStop_ = ends_;
    finishedAtStop_ = finishedCount();
  }

  bool waitForEnd(double timeout = 20) {
    return kit::test::runUntil([&] { return ends() > 0; }, timeout);
  }
  size_t ends() const {
    std::lock_guard lock(mutex_);
    return ends_;
  }
  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  Call last() const {
    std::lock_guard lock(mutex_);
    return calls_.empty() ? Call{} : calls_.back();
  }
  size_t count(KTWebImageStage stage) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& call : calls_) n += call.stage == stage;
    return n;
  }
  std::vector<std::pair<int64_t, int64_t>> progressCalls() const {
    std::lock_guard lock(mutex_);
    return progress_;
  }
  bool progressOffThread() const { return progressOffThread_; }
  bool progressAfterStop() const { return progressAfterStop_; }
  // Finished calls made after stop().
  size_t finishedAfterStop() const {
    std::lock_guard lock(mutex_);
    return finishedCount() - finishedAtStop_;
  }

 private:
  size_t finishedCount() const {
    size_t n = 0;
    for (const auto& call : calls_) n += call.stage == KTWebImageStageFinished;
    return n;
  }
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::vector<std::pair<int64_t, int64_t>> progress_;
  int64_t received_ = 0;
  size_t ends_ = 0;
  bool stopped_ = false;
  size_t endsAtStop_ = 0;
  size_t finishedAtStop_ = 0;
  std::atomic<bool> progressOffThread_{false};
  std::atomic<bool> progressAfterStop_{false};
  // The last member: cut before the others go.
  kit::test::Lifeline<Recorder> lifeline_{*this};
};

}  // namespace webimagetest
