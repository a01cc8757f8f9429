// JXCountDownButton: a button that counts seconds down in its title, as the
// get-code button of phone registration does. startWithSecond(n) ticks once
// a second on the current run loop (default mode only, so it pauses while a
// scroll view tracks): the titles run n-1 down to 1, and the n-th tick
// finishes, putting back the start value and the finish title. Main thread.
//
//   button->didChange([](JXCountDownButton&, int left) { return kit::formatString("剩余%d秒", left); });
//   button->didFinished([](JXCountDownButton& b, int) { b.setEnabled(true); return std::string("重新获取"); });
//   button->startWithSecond(30);
#pragma once

#include <functional>
#include <string>

#include "kit/dispatch/timer.h"
#include "kit/ui/button.h"

class JXCountDownButton : public kit::Button {
 public:
  using ChangeBlock = std::function<std::string(JXCountDownButton& button, int second)>;
  using FinishedBlock = std::function<std::string(JXCountDownButton& button, int totalSecond)>;
  using TouchedBlock = std::function<void(JXCountDownButton& button, long tag)>;

  static kit::Ref<JXCountDownButton> make(const kit::Rect& frame = {}) {
    return kit::make<JXCountDownButton>(frame);
  }
  explicit JXCountDownButton(const kit::Rect& frame = {}) : kit::Button(frame) {}
  ~JXCountDownButton() override;

  // Keeps the block and calls it (with the button and its tag) on every
  // touch up inside.
  void addToucheHandler(TouchedBlock block);
  void touched();
  // Starts counting down from `second`, ticking every second.
  void startWithSecond(int second);
  // One tick: the last one stops, the others count down and retitle.
  void timerStart();
  // Only while the timer runs: ends it, puts back the start value and sets
  // the finish title ("重新获取" without a finish block).
  void stop();
  void didChange(ChangeBlock block) { didChangeBlock_ = std::move(block); }
  void didFinished(FinishedBlock block) { didFinishedBlock_ = std::move(block); }

  int second() const { return second_; }
  int totalSecond() const { return totalSecond_; }
  const kit::Ref<kit::Timer>& timer() const { return timer_; }

 private:
  int second_ = 0;
  int totalSecond_ = 0;
  kit::Ref<kit::Timer> timer_;
  ChangeBlock didChangeBlock_;
  FinishedBlock didFinishedBlock_;
  TouchedBlock touchedDownBlock_;
  bool touchWired_ = false;
};
