// KTRefreshComponent: the base view of the pull-to-refresh kit. Added to a
// scroll view (through its header or footer slot, see
// ui_scroll_view_kt_refresh.h) it takes the scroll view's width, records its
// content inset, and follows its content offset, content size and pan state;
// subclasses (the headers and footers) turn those changes into states and
// inset changes. Starting a refresh runs the callbacks, in order, on a later
// main-queue turn: the block, the target's action, the begin-completion
// block.
//
//   auto header = KTRefreshNormalHeader::headerWithRefreshingBlock([weak] { ... load page 1 ... });
//   UIScrollViewKTRefresh::setKT_header(*table, header);
//   ... when the page has come:  header->endRefreshing();
//
// Main thread only (endRefreshing of the header and the back footer only
// posts and may be called from anywhere).
#pragma once

#include <functional>

#include "kit/foundation/object.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/key_value_observing.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/view.h"
#include "ui/widgets/kt_refresh_const.h"

class KTRefreshComponent;

// The action sent to a refresh target: false when the target does not
// answer it (it is then skipped). Made with KTRefreshSelector.
using KTRefreshAction = std::function<bool(kit::Object& target, KTRefreshComponent& component)>;

// An action that calls `method` on targets of class T and is not answered
// by any other target.
template <class T>
KTRefreshAction KTRefreshSelector(void (T::*method)(KTRefreshComponent&)) {
  return [method](kit::Object& target, KTRefreshComponent& component) {
    auto* receiver = dynamic_cast<T*>(&target);
    if (!receiver) return false;
    (receiver->*method)(component);
    return true;
  };
}

// The class operations every component class has: make() (init), and the
// factories with a block or a target and action.
#define KT_REFRESH_FACTORIES(Class, prefix)                                                          \
  static kit::Ref<Class> make() { return KTRefreshComponent::create<Class>(); }                       \
  static kit::Ref<Class> prefix##WithRefreshingBlock(Block block) {                                   \
    auto component = make();                                                                          \
    component->setRefreshingBlock(std::move(block));                                                  \
    return component;                                                                                 \
  }                                                                                                   \
  static kit::Ref<Class> prefix##WithRefreshingTarget(const kit::Id& target, KTRefreshAction action) { \
    auto component = make();                                                                          \
    component->setRefreshingTarget(target, std::move(action));                                        \
    return component;                                                                                 \
  }

class KTRefreshComponent : public kit::View {
 public:
  using Block = std::function<void()>;

  // Made through the subclasses' factories, which run initWithFrame.
  explicit KTRefreshComponent(const kit::Rect& frame = {});
  ~KTRefreshComponent() override;

  // Constructs a T and runs its set-up (prepare, then Idle).
  template <class T>
  static kit::Ref<T> create(const kit::Rect& frame = {}) {
    auto component = kit::make<T>(frame);
    static_cast<KTRefreshComponent&>(*component).initWithFrame();
    return component;
  }

  // ---- Scroll view
  kit::Ref<kit::ScrollView> scrollView() const { return scrollView_.lock(); }
  const kit::EdgeInsets& scrollViewOriginalInset() const { return scrollViewOriginalInset_; }
  const kit::Ref<kit::PanGestureRecognizer>& pan() const { return pan_; }

  // ---- Callbacks
  const Block& refreshingBlock() const { return refreshingBlock_; }
  void setRefreshingBlock(Block block) { refreshingBlock_ = std::move(block); }
  kit::Id refreshingTarget() const { return refreshingTarget_.lock(); }
  const KTRefreshAction& refreshingAction() const { return refreshingAction_; }
  void setRefreshingTarget(const kit::Id& target, KTRefreshAction action);
  const Block& beginRefreshingCompletionBlock() const { return beginCompletion_; }
  void setBeginRefreshingCompletionBlock(Block block) { beginCompletion_ = std::move(block); }
  const Block& endRefreshingCompletionBlock() const { return endCompletion_; }
  void setEndRefreshingCompletionBlock(Block block) { endCompletion_ = std::move(block); }

  // ---- State
  KTRefreshState state() const { return state_; }
  // The base stores the state and asks for layout on a later main-queue
  // turn; subclasses do nothing when the state does not change.
  virtual void setState(KTRefreshState state);
  void beginRefreshing();
  void beginRefreshingWithCompletionBlock(Block completion);
  // The base sets Idle at once.
  virtual void endRefreshing();
  void endRefreshingWithCompletionBlock(Block completion);
  // Refreshing or WillRefresh.
  bool isRefreshing() const;

  // ---- Pull and alpha
  double pullingPercent() const { return pullingPercent_; }
  virtual void setPullingPercent(double percent);
  bool isAutomaticallyChangeAlpha() const { return automaticallyChangeAlpha_; }
  void setAutomaticallyChangeAlpha(bool on);
  bool isAutoChangeAlpha() const { return isAutomaticallyChangeAlpha(); }
  void setAutoChangeAlpha(bool on) { setAutomaticallyChangeAlpha(on); }

  // Runs the callbacks on a later main-queue turn (see the top).
  void executeRefreshingCallback();

  // ---- View
  void layoutSubviews() override;
  void willMoveToSuperview(kit::View* newSuperview) override;
  void drawRect(const kit::Rect& rect) override;

 protected:
  // initWithFrame: prepare, then Idle.
  void initWithFrame();
  // Sets up subviews and sizes; the base makes the width flexible and the
  // background clear. Overrides call the inherited one first.
  virtual void prepare();
  // Lays out the subviews (before the inherited layout pass).
  virtual void placeSubviews() {}
  virtual void scrollViewContentOffsetDidChange(const kit::KeyValueChange&) {}
  virtual void scrollViewContentSizeDidChange(const kit::KeyValueChange&) {}
  virtual void scrollViewPanStateDidChange(const kit::KeyValueChange&) {}
  void addObservers();
  void removeObservers();

  // Runs a copy of the end-refreshing completion block: a block that sets a
  // new one keeps its own captures while it runs.
  void executeEndRefreshingCompletion() const;

  void setScrollViewOriginalInset(const kit::EdgeInsets& inset) { scrollViewOriginalInset_ = inset; }
  // The state as stored, for subclasses comparing before the inherited call.
  KTRefreshState state_ = KTRefreshState::Idle;

 private:
  void observeValue(const kit::KeyValueChange& change);

  kit::Weak<kit::ScrollView> scrollView_;
  kit::Weak<kit::ScrollView> observed_;  // where the offset and size observations are registered
  kit::EdgeInsets scrollViewOriginalInset_;
  kit::Ref<kit::PanGestureRecognizer> pan_;
  Block refreshingBlock_, beginCompletion_, endCompletion_;
  kit::Weak<kit::Object> refreshingTarget_;
  KTRefreshAction refreshingAction_;
  double pullingPercent_ = 0;
  bool automaticallyChangeAlpha_ = false;
};
