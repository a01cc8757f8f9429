// kit::Transaction: the platform's layer transactions. Transactions nest;
// each keeps the flags its begin/commit bracket sets (actions disabled, an
// animation duration and timing) and a completion block that runs on the
// main run loop once every animation added inside the bracket has ended,
// or on the next pass when none was added. Property changes always apply
// at once: kit does not animate them implicitly.
#pragma once

#include <functional>
#include <string>

namespace kit {

class Transaction {
 public:
  static void begin();
  static void commit();
  // Completes any open transactions (the run loop's end-of-pass flush).
  static void flush();

  static bool disableActions();
  static void setDisableActions(bool v);
  static double animationDuration();
  static void setAnimationDuration(double seconds);
  static std::string animationTimingFunction();
  static void setAnimationTimingFunction(const std::string& name);
  static void setCompletionBlock(std::function<void()> block);

  // Called by layers when an animation that ends at `endTime` (kit::Clock
  // seconds; infinite for endless ones) is added.
  static void noteAnimation(double endTime);
};

}  // namespace kit
