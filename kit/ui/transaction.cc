// The stack of open layer transactions on the main thread.
#include "kit/ui/transaction.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/foundation/no_destructor.h"
#include "kit/ui/main_loop.h"

namespace kit {

namespace {

struct Frame {
  bool disableActions = false;
  double duration = 0.25;
  std::string timing = "default";
  std::function<void()> completion;
  double latestEnd = 0;
};

std::vector<Frame>& stack() {
  static NoDestructor<std::vector<Frame>> frames;
  return *frames;
}

Frame* top() { return stack().empty() ? nullptr : &stack().back(); }

}  // namespace

void Transaction::begin() {
  Frame f;
  if (Frame* outer = top()) {
    f.disableActions = outer->disableActions;
    f.duration = outer->duration;
    f.timing = outer->timing;
  }
  stack().push_back(std::move(f));
}

void Transaction::commit() {
  if (stack().empty()) return;
  Frame f = std::move(stack().back());
  stack().pop_back();
  if (Frame* outer = top()) outer->latestEnd = std::max(outer->latestEnd, f.latestEnd);
  if (!f.completion) return;
  const double now = Clock::now();
  if (!std::isfinite(f.latestEnd)) return;  // endless animations never complete
  const double delay = std::max(0.0, f.latestEnd - now);
  if (delay == 0) runOnMainSoon(std::move(f.completion));
  else runOnMainAfter(delay, std::move(f.completion));
}

void Transaction::flush() {
  while (!stack().empty()) commit();
}

bool Transaction::disableActions() { return top() ? top()->disableActions : false; }
void Transaction::setDisableActions(bool v) {
  if (Frame* f = top()) f->disableActions = v;
}
double Transaction::animationDuration() { return top() ? top()->duration : 0.25; }
void Transaction::setAnimationDuration(double seconds) {
  if (Frame* f = top()) f->duration = seconds;
}
std::string Transaction::animationTimingFunction() { return top() ? top()->timing : "default"; }
void Transaction::setAnimationTimingFunction(const std::string& name) {
  if (Frame* f = top()) f->timing = name;
}
void Transaction::setCompletionBlock(std::function<void()> block) {
  if (Frame* f = top()) f->completion = std::move(block);
}

void Transaction::noteAnimation(double endTime) {
  for (Frame& f : stack()) f.latestEnd = std::max(f.latestEnd, endTime);
}

}  // namespace kit
