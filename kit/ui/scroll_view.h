// kit::ScrollView: the platform's scroll view. Its content offset is the
// origin of its bounds; a pan recognizer of its own drags the content one
// point for one point of finger movement (also beyond the edges when it
// bounces), and on release the content settles: a bounced edge springs
// back, a flick decelerates, a paged view snaps to a page. Every step of a
// settling or an animated offset change runs on main run loop timers on
// kit::Clock, so a test drives it with a virtual clock.
//
// The delegate hears the platform's sequence: willBeginDragging, didScroll
// for every offset, willEndDragging (it may move the target),
// didEndDragging(decelerate), then willBeginDecelerating ...
// didEndDecelerating when the content settles, or
// didEndScrollingAnimation after an animated setContentOffset. Observers
// can follow "contentOffset", "contentSize" and "contentInset" with old and
// new values, and the pan recognizer's "state".
//
//   auto scroll = kit::ScrollView::make(kit::Rect{0, 0, 300, 400});
//   scroll->setContentSize({600, 0});
//   scroll->setPagingEnabled(true);
//   scroll->setDelegate(self);
#pragma once

#include <functional>
#include <string>

#include "kit/dispatch/timer.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/key_value_observing.h"
#include "kit/ui/view.h"

namespace kit {

class ScrollView;

class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView&) {}
  virtual void scrollViewWillBeginDragging(ScrollView&) {}
  // `targetContentOffset` may be changed to settle elsewhere.
  virtual void scrollViewWillEndDragging(ScrollView&, Point /*velocity*/, Point* /*targetContentOffset*/) {}
  virtual void scrollViewDidEndDragging(ScrollView&, bool /*willDecelerate*/) {}
  virtual void scrollViewWillBeginDecelerating(ScrollView&) {}
  virtual void scrollViewDidEndDecelerating(ScrollView&) {}
  virtual void scrollViewDidEndScrollingAnimation(ScrollView&) {}
  virtual bool scrollViewShouldScrollToTop(ScrollView&) { return true; }
  virtual void scrollViewDidScrollToTop(ScrollView&) {}
  virtual void scrollViewDidChangeAdjustedContentInset(ScrollView&) {}
};

// When the safe area is added to the content inset.
enum class ScrollViewContentInsetAdjustmentBehavior { Automatic = 0, ScrollableAxes, Never, Always };
enum class ScrollViewIndicatorStyle { Default = 0, Black, White };
enum class ScrollViewKeyboardDismissMode { None = 0, OnDrag, Interactive };

// The platform's deceleration rates (the fraction of velocity kept per ms).
inline constexpr double ScrollViewDecelerationRateNormal = 0.998;
inline constexpr double ScrollViewDecelerationRateFast = 0.99;

class ScrollView : public View {
 public:
  static Ref<ScrollView> make(const Rect& frame = {}) { return kit::make<ScrollView>(frame); }
  explicit ScrollView(const Rect& frame = {});
  ~ScrollView() override;

  Ref<ScrollViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(Weak<ScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }

  // ---- Content geometry
  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point offset);
  // Animated: the offset moves over AnimationDuration and then the delegate
  // hears didEndScrollingAnimation (also when it was already there).
  void setContentOffset(Point offset, bool animated);
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size);
  EdgeInsets contentInset() const { return contentInset_; }
  void setContentInset(const EdgeInsets& inset);
  // The inset including the safe area, as the adjustment behaviour adds it.
  EdgeInsets adjustedContentInset() const;
  ScrollViewContentInsetAdjustmentBehavior contentInsetAdjustmentBehavior() const { return adjustment_; }
  void setContentInsetAdjustmentBehavior(ScrollViewContentInsetAdjustmentBehavior b);
  // The offsets the content rests between (with the adjusted inset).
  Point minimumContentOffset() const;
  Point maximumContentOffset() const;
  // Scrolls the least to make `rect` (content space) visible.
  void scrollRectToVisible(const Rect& rect, bool animated);
  // Stops dragging, deceleration and animation where the content is.
  void stopScrolling();

  // ---- Behaviour flags
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool v);
  bool isPagingEnabled() const { return pagingEnabled_; }
  void setPagingEnabled(bool v) { pagingEnabled_ = v; }
  bool bounces() const { return bounces_; }
  void setBounces(bool v) { bounces_ = v; }
  bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
  void setAlwaysBounceVertical(bool v) { alwaysBounceVertical_ = v; }
  bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
  void setAlwaysBounceHorizontal(bool v) { alwaysBounceHorizontal_ = v; }
  bool isDirectionalLockEnabled() const { return directionalLock_; }
  void setDirectionalLockEnabled(bool v) { directionalLock_ = v; }
  bool scrollsToTop() const { return scrollsToTop_; }
  void setScrollsToTop(bool v) { scrollsToTop_ = v; }
  double decelerationRate() const { return decelerationRate_; }
  void setDecelerationRate(double rate) { decelerationRate_ = rate; }
  bool delaysContentTouches() const { return delaysContentTouches_; }
  void setDelaysContentTouches(bool v) { delaysContentTouches_ = v; }
  bool canCancelContentTouches() const { return canCancelContentTouches_; }
  void setCanCancelContentTouches(bool v) { canCancelContentTouches_ = v; }
  ScrollViewKeyboardDismissMode keyboardDismissMode() const { return keyboardDismissMode_; }
  void setKeyboardDismissMode(ScrollViewKeyboardDismissMode m) { keyboardDismissMode_ = m; }

  // ---- Indicators (kept for those who read them; flashing is counted)
  bool showsVerticalScrollIndicator() const { return showsVertical_; }
  void setShowsVerticalScrollIndicator(bool v) { showsVertical_ = v; }
  bool showsHorizontalScrollIndicator() const { return showsHorizontal_; }
  void setShowsHorizontalScrollIndicator(bool v) { showsHorizontal_ = v; }
  ScrollViewIndicatorStyle indicatorStyle() const { return indicatorStyle_; }
  void setIndicatorStyle(ScrollViewIndicatorStyle s) { indicatorStyle_ = s; }
  EdgeInsets scrollIndicatorInsets() const { return indicatorInsets_; }
  void setScrollIndicatorInsets(const EdgeInsets& e) { indicatorInsets_ = e; }
  void flashScrollIndicators() { ++indicatorFlashes_; }
  int indicatorFlashCount() const { return indicatorFlashes_; }

  // ---- Zoom scale (kept; the content is not scaled)
  double zoomScale() const { return zoomScale_; }
  void setZoomScale(double s) { zoomScale_ = s; }
  double minimumZoomScale() const { return minimumZoomScale_; }
  void setMinimumZoomScale(double s) { minimumZoomScale_ = s; }
  double maximumZoomScale() const { return maximumZoomScale_; }
  void setMaximumZoomScale(double s) { maximumZoomScale_ = s; }

  // ---- State
  // A finger is on the content (from touch down until it lifts).
  bool isTracking() const { return tracking_; }
  // The content is being dragged (the pan has begun).
  bool isDragging() const { return dragging_; }
  // The content settles after a drag.
  bool isDecelerating() const { return decelerating_; }
  // An animated setContentOffset or scrollRectToVisible runs.
  bool isScrollAnimating() const { return static_cast<bool>(animation_); }
  const Ref<PanGestureRecognizer>& panGestureRecognizer() const { return pan_; }

  // ---- Observation of "contentOffset" (Point), "contentSize" (Size) and
  // "contentInset" (EdgeInsets). See key_value_observing.h.
  void addObserver(const Id& observer, const std::string& keyPath, KeyValueHandler handler) {
    observers_.add(observer, keyPath, std::move(handler));
  }
  void removeObserver(const Object* observer, const std::string& keyPath) { observers_.remove(observer, keyPath); }

  // Durations of the settling steps.
  static constexpr double AnimationDuration = 0.3;
  static constexpr double BounceDuration = 0.4;

  bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override;
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 protected:
  // Called after every change of the offset (before the delegate hears
  // didScroll); subclasses bring their visible content up to date.
  virtual void contentOffsetDidChange() {}
  virtual void contentSizeDidChange() {}
  void boundsSizeDidChange(Size old) override;
  void safeAreaInsetsDidChange() override;

 private:
  void handlePan(PanGestureRecognizer& pan);
  void endDrag(Point velocity);
  // Whether the content can move along an axis (0: x, 1: y).
  bool scrollsAlong(int axis) const;
  Point clampedOffset(Point p) const;
  Point pagedTarget(Point velocity) const;
  // Moves the offset to `target` in steps over `duration`; `done` runs at
  // the end (not when interrupted).
  void animateOffset(Point target, double duration, std::function<void(ScrollView&)> done);
  void cancelAnimation();
  void applyOffset(Point offset);
  void finishDeceleration();

  Weak<ScrollViewDelegate> delegate_;
  Size contentSize_;
  EdgeInsets contentInset_;
  ScrollViewContentInsetAdjustmentBehavior adjustment_ = ScrollViewContentInsetAdjustmentBehavior::Automatic;
  EdgeInsets lastAdjustedInset_;
  bool scrollEnabled_ = true, pagingEnabled_ = false, bounces_ = true;
  bool alwaysBounceVertical_ = false, alwaysBounceHorizontal_ = false;
  bool directionalLock_ = false, scrollsToTop_ = true;
  bool delaysContentTouches_ = true, canCancelContentTouches_ = true;
  ScrollViewKeyboardDismissMode keyboardDismissMode_ = ScrollViewKeyboardDismissMode::None;
  double decelerationRate_ = ScrollViewDecelerationRateNormal;
  bool showsVertical_ = true, showsHorizontal_ = true;
  ScrollViewIndicatorStyle indicatorStyle_ = ScrollViewIndicatorStyle::Default;
  EdgeInsets indicatorInsets_;
  int indicatorFlashes_ = 0;
  double zoomScale_ = 1, minimumZoomScale_ = 1, maximumZoomScale_ = 1;

  bool tracking_ = false, dragging_ = false, decelerating_ = false;
  Point dragStartOffset_;
  int lockedAxis_ = -1;
  Ref<PanGestureRecognizer> pan_;
  struct OffsetAnimation;
  std::shared_ptr<OffsetAnimation> animation_;
  KeyValueObservers observers_;
};

}  // namespace kit
