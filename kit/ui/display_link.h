// kit::DisplayLink: calls back once per frame (60 a second unless asked
// otherwise) on a run loop, from a timer on kit::Clock, so a test moves it
// frame by frame with a virtual clock. A frame interval of n calls back on
// every n-th frame only. Paused links skip frames; invalidating one removes
// it and releases its callback.
#pragma once

#include <functional>
#include <string>

#include "kit/dispatch/runloop.h"
#include "kit/dispatch/timer.h"
#include "kit/foundation/object.h"

namespace kit {

class DisplayLink : public Object {
 public:
  using Callback = std::function<void(DisplayLink&)>;
  static Ref<DisplayLink> make(Callback callback) { return kit::make<DisplayLink>(std::move(callback)); }
  explicit DisplayLink(Callback callback) : callback_(std::move(callback)) {}
  ~DisplayLink() override;

  void addToRunLoop(RunLoop& loop, const std::string& mode = DefaultRunLoopMode);
  void invalidate();
  bool isValid() const { return static_cast<bool>(callback_); }
  bool isPaused() const { return paused_; }
  void setPaused(bool v) { paused_ = v; }
  // 0 means the display's rate (60).
  int preferredFramesPerSecond() const { return fps_; }
  void setPreferredFramesPerSecond(int fps);
  // Frames per callback, at least 1: 6 calls back ten times a second at 60.
  int frameInterval() const { return frameInterval_; }
  void setFrameInterval(int interval);
  // The time of the frame being delivered and of the next callback.
  double timestamp() const { return timestamp_; }
  double targetTimestamp() const { return timestamp_ + duration() * frameInterval_; }
  // One frame of the display (not the time between callbacks).
  double duration() const { return 1.0 / (fps_ > 0 ? fps_ : 60); }
  long frameCount() const { return frames_; }

 private:
  void schedule();
  Callback callback_;
  Ref<Timer> timer_;
  RunLoop* loop_ = nullptr;
  std::string mode_;
  bool paused_ = false;
  int fps_ = 0;
  int frameInterval_ = 1;
  double timestamp_ = 0;
  long frames_ = 0;
};

}  // namespace kit
