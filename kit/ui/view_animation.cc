// View animation blocks. A block collects the property changes its views
// make; when it closes, each change becomes an animation on the view's
// layer (the model value is already final), and the block's completion runs
// once all of them have stopped, on the main run loop.
#include <algorithm>
#include <memory>
#include <set>

#include "kit/dispatch/clock.h"
#include "kit/foundation/no_destructor.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/view.h"

namespace kit {

namespace {

struct Block {
  std::function<void(bool)> completion;
  int pending = 0;
  bool finished = true;
  bool done = false;
};

struct Change {
  Weak<Layer> layer;
  std::string keyPath;
  AnimationValue from, to;
};

struct Context {
  double duration = 0.2;
  double delay = 0;
  unsigned options = 0;
  bool spring = false;
  double damping = 1, velocity = 0;
  std::vector<Change> changes;
};

// Blocks waiting for their animations; held here so that a completion that
// holds its owners does not form a cycle through the layers.
std::set<std::shared_ptr<Block>>& activeBlocks() {
  static NoDestructor<std::set<std::shared_ptr<Block>>> blocks;
  return *blocks;
}

std::vector<Context>& contexts() {
  static NoDestructor<std::vector<Context>> stack;
  return *stack;
}

bool& enabledFlag() {
  static bool enabled = true;
  return enabled;
}

void complete(const std::shared_ptr<Block>& block) {
  if (block->done) return;
  block->done = true;
  auto keep = block;
  activeBlocks().erase(block);
  if (keep->completion) keep->completion(keep->finished);
}

bool sameValue(const AnimationValue& a, const AnimationValue& b) {
  if (a.index() != b.index()) return false;
  if (auto x = std::get_if<Ref<Color>>(&a)) {
    const auto& y = std::get<Ref<Color>>(b);
    if (!*x || !y) return *x == y;
    return (*x)->isEqual(*y);
  }
  if (auto x = std::get_if<Ref<Path>>(&a)) return *x == std::get<Ref<Path>>(b);
  return a == b;
}

std::string timingFor(unsigned options) {
  switch ((options >> 16) & 0xF) {
    case 1: return TimingEaseIn;
    case 2: return TimingEaseOut;
    case 3: return TimingLinear;
    default: return TimingEaseInEaseOut;
  }
}

// Turns the changes of a closed block into layer animations.
void commit(Context& ctx, std::function<void(bool)> completion) {
  auto block = std::make_shared<Block>();
  block->completion = std::move(completion);
  activeBlocks().insert(block);
  const double now = Clock::now();
  std::weak_ptr<Block> weak = block;
  for (auto& change : ctx.changes) {
    auto layer = change.layer.lock();
    if (!layer) continue;
    Ref<BasicAnimation> animation;
    if (ctx.spring) {
      auto spring = SpringAnimation::withKeyPath(change.keyPath);
      spring->setDamping(ctx.damping);
      spring->setInitialVelocity(ctx.velocity);
      animation = spring;
    } else {
      animation = BasicAnimation::withKeyPath(change.keyPath);
      animation->setTimingFunction(timingFor(ctx.options));
    }
    animation->setFromValue(change.from);
    animation->setToValue(change.to);
    animation->setDuration(ctx.duration > 0 ? ctx.duration : 1e-6);
    if (ctx.delay > 0) {
      animation->setBeginTime(now + ctx.delay);
      animation->setFillMode(FillMode::Backwards);
    }
    if (ctx.options & AnimationOptionRepeat) animation->setRepeatCount(HUGE_VAL);
    if (ctx.options & AnimationOptionAutoreverse) animation->setAutoreverses(true);
    animation->onStop = [weak](Animation&, bool finished) {
      auto b = weak.lock();
      if (!b) return;
      if (!finished) b->finished = false;
      if (--b->pending == 0) complete(b);
    };
    ++block->pending;
    layer->addAnimation(animation, change.keyPath);
  }
  if (block->pending == 0) {
    // Nothing changed: the completion still never runs inside the call.
    runOnMainSoon([block] { complete(block); });
  }
}

void run(Context ctx, const std::function<void()>& animations, std::function<void(bool)> completion) {
  contexts().push_back(std::move(ctx));
  if (animations) animations();
  Context done = std::move(contexts().back());
  contexts().pop_back();
  commit(done, std::move(completion));
}

}  // namespace

void View::noteAnimatedChange(const std::string& keyPath, const AnimationValue& from, const AnimationValue& to) {
  if (contexts().empty() || !enabledFlag() || sameValue(from, to)) return;
  auto& changes = contexts().back().changes;
  // One change per layer and key path: the first value shown and the last set.
  for (auto& c : changes) {
    if (c.layer.lock() == layer_ && c.keyPath == keyPath) {
      c.to = to;
      return;
    }
  }
  changes.push_back({layer_, keyPath, from, to});
}

void View::animate(double duration, const std::function<void()>& animations, std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  animate(duration, 0, 0, animations, std::move(completion));
}

void View::animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                   std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  Context ctx;
  ctx.duration = duration;
  ctx.delay = delay;
  ctx.options = options;
  run(std::move(ctx), animations, std::move(completion));
}

void View::animateSpring(double duration, double delay, double damping, double initialVelocity, unsigned options,
                         const std::function<void()>& animations, std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  Context ctx;
  ctx.duration = duration;
  ctx.delay = delay;
  ctx.options = options;
  ctx.spring = true;
  ctx.damping = damping;
  ctx.velocity = initialVelocity;
  run(std::move(ctx), animations, std::move(completion));
}

void View::transition(View* view, double duration, unsigned options, const std::function<void()>& animations,
                      std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  performWithoutAnimation(animations);
  auto block = std::make_shared<Block>();
  block->completion = std::move(completion);
  activeBlocks().insert(block);
  if (!view) {
    runOnMainSoon([block] { complete(block); });
    return;
  }
  auto t = Transition::make();
  t->setDuration(duration > 0 ? duration : 1e-6);
  const unsigned kind = (options >> 20) & 0xF;
  t->setType(kind == 5 || kind == 0 ? TransitionFade : "flip");
  std::weak_ptr<Block> weak = block;
  t->onStop = [weak](Animation&, bool finished) {
    if (auto b = weak.lock()) {
      b->finished = finished;
      complete(b);
    }
  };
  view->layer()->addAnimation(t, "transition");
}

void View::performWithoutAnimation(const std::function<void()>& actions) {
  KIT_CHECK_MAIN_THREAD();
  const bool was = enabledFlag();
  enabledFlag() = false;
  if (actions) actions();
  enabledFlag() = was;
}

bool View::areAnimationsEnabled() { return enabledFlag(); }
void View::setAnimationsEnabled(bool enabled) {
  KIT_CHECK_MAIN_THREAD();
  enabledFlag() = enabled;
}

// The older form keeps its context open between begin and commit; the
// duration set in between applies to every change at commit.
void View::beginAnimations(const std::string&) {
  KIT_CHECK_MAIN_THREAD();
  contexts().push_back(Context{});
}

void View::setAnimationDuration(double seconds) {
  KIT_CHECK_MAIN_THREAD();
  if (!contexts().empty()) contexts().back().duration = seconds;
}

void View::setAnimationDelay(double seconds) {
  KIT_CHECK_MAIN_THREAD();
  if (!contexts().empty()) contexts().back().delay = seconds;
}

void View::setAnimationCurve(unsigned curveOption) {
  KIT_CHECK_MAIN_THREAD();
  if (!contexts().empty()) contexts().back().options = (contexts().back().options & ~(0xFu << 16)) | curveOption;
}

void View::commitAnimations() {
  KIT_CHECK_MAIN_THREAD();
  if (contexts().empty()) return;
  Context done = std::move(contexts().back());
  contexts().pop_back();
  commit(done, {});
}

}  // namespace kit
