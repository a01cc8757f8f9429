// The refresh component's attachment, observation, state and callbacks.
// See kt_refresh_component.h.
#include "ui/widgets/kt_refresh_component.h"

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/exception.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"

kit::Ref<kit::Font> KTRefreshLabelFont() { return kit::Font::boldSystemFont(KTRefreshLabelFontSize); }

kit::Ref<kit::Color> KTRefreshLabelTextColor() {
  return kit::Color::rgba(KTRefreshLabelGrey, KTRefreshLabelGrey, KTRefreshLabelGrey, 1.0);
}

KTRefreshComponent::KTRefreshComponent(const kit::Rect& frame) : kit::View(frame) {}

KTRefreshComponent::~KTRefreshComponent() = default;

void KTRefreshComponent::initWithFrame() {
  prepare();
  state_ = KTRefreshState::Idle;
}

void KTRefreshComponent::prepare() {
  setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  setBackgroundColor(kit::Color::clearColor());
}

void KTRefreshComponent::layoutSubviews() {
  placeSubviews();
  kit::View::layoutSubviews();
}

void KTRefreshComponent::willMoveToSuperview(kit::View* newSuperview) {
  KIT_CHECK_MAIN_THREAD();
  kit::View::willMoveToSuperview(newSuperview);
  if (!newSuperview) {
    removeObservers();
    return;
  }
  auto* scroll = dynamic_cast<kit::ScrollView*>(newSuperview);
  if (!scroll) return;
  removeObservers();
  kit::Rect frame = this->frame();
  frame.size.width = scroll->frame().size.width;
  frame.origin.x = 0;
  setFrame(frame);
  scrollView_ = std::static_pointer_cast<kit::ScrollView>(scroll->self());
  scroll->setAlwaysBounceVertical(true);
  scrollViewOriginalInset_ = scroll->contentInset();
  addObservers();
}

void KTRefreshComponent::drawRect(const kit::Rect& rect) {
  kit::View::drawRect(rect);
  if (state_ == KTRefreshState::WillRefresh) setState(KTRefreshState::Refreshing);
}

void KTRefreshComponent::addObservers() {
  auto scroll = scrollView();
  if (!scroll) return;
  kit::Weak<KTRefreshComponent> weak = weakSelf<KTRefreshComponent>();
  auto handler = [weak](const kit::KeyValueChange& change) {
    if (auto self = weak.lock()) self->observeValue(change);
  };
  scroll->addObserver(self(), "contentOffset", handler);
  scroll->addObserver(self(), "contentSize", handler);
  observed_ = scroll;
  pan_ = scroll->panGestureRecognizer();
  if (pan_) pan_->addObserver(self(), "state", handler);
}

void KTRefreshComponent::removeObservers() {
  if (auto observed = observed_.lock()) {
    observed->removeObserver(this, "contentOffset");
    observed->removeObserver(this, "contentSize");
  }
  observed_.reset();
  if (pan_) pan_->removeObserver(this, "state");
  pan_ = nullptr;
}

void KTRefreshComponent::observeValue(const kit::KeyValueChange& change) {
  if (!isUserInteractionEnabled()) return;
  if (change.keyPath == "contentSize") scrollViewContentSizeDidChange(change);
  if (isHidden()) return;
  if (change.keyPath == "contentOffset") {
    scrollViewContentOffsetDidChange(change);
  } else if (change.keyPath == "state") {
    scrollViewPanStateDidChange(change);
  }
}

void KTRefreshComponent::setRefreshingTarget(const kit::Id& target, KTRefreshAction action) {
  refreshingTarget_ = target;
  refreshingAction_ = std::move(action);
}

void KTRefreshComponent::setState(KTRefreshState state) {
  KIT_CHECK_MAIN_THREAD();
  state_ = state;
  kit::bindPost(kit::Queue::main(), weakSelf<KTRefreshComponent>(),
                [](KTRefreshComponent& self) { self.setNeedsLayout(); })();
}

void KTRefreshComponent::beginRefreshing() {
  KIT_CHECK_MAIN_THREAD();
  kit::View::animate(KTRefreshFastAnimationDuration, [this] { setAlpha(1.0); });
  setPullingPercent(1.0);
  if (window()) {
    setState(KTRefreshState::Refreshing);
  } else if (state_ != KTRefreshState::Refreshing) {
    setState(KTRefreshState::WillRefresh);
    setNeedsDisplay();
  }
}

void KTRefreshComponent::beginRefreshingWithCompletionBlock(Block completion) {
  beginCompletion_ = std::move(completion);
  beginRefreshing();
}

void KTRefreshComponent::endRefreshing() { setState(KTRefreshState::Idle); }

void KTRefreshComponent::endRefreshingWithCompletionBlock(Block completion) {
  endCompletion_ = std::move(completion);
  endRefreshing();
}

bool KTRefreshComponent::isRefreshing() const {
  return state_ == KTRefreshState::Refreshing || state_ == KTRefreshState::WillRefresh;
}

void KTRefreshComponent::setPullingPercent(double percent) {
  KIT_CHECK_MAIN_THREAD();
  pullingPercent_ = percent;
  if (isRefreshing()) return;
  if (automaticallyChangeAlpha_) setAlpha(percent);
}

void KTRefreshComponent::setAutomaticallyChangeAlpha(bool on) {
  KIT_CHECK_MAIN_THREAD();
  automaticallyChangeAlpha_ = on;
  if (isRefreshing()) return;
  setAlpha(on ? pullingPercent_ : 1.0);
}

void KTRefreshComponent::executeRefreshingCallback() {
  // Each callback runs as a copy: one that replaces a callback (its own
  // included) keeps its captures while it runs.
  kit::bindPost(kit::Queue::main(), weakSelf<KTRefreshComponent>(), [](KTRefreshComponent& self) {
    if (Block block = self.refreshingBlock_) block();
    if (auto target = self.refreshingTarget_.lock()) {
      if (KTRefreshAction action = self.refreshingAction_) action(*target, self);
    }
    if (Block completion = self.beginCompletion_) completion();
  })();
}

void KTRefreshComponent::executeEndRefreshingCompletion() const {
  if (Block completion = endCompletion_) completion();
}
