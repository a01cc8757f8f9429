// PHProgressHUD: the platform screens' blocking progress indicator. A view
// the size of the view it covers, holding a dimmable background and, at its
// centre, a rounded panel (the bezel) that stacks an indicator (spinner,
// pie or ring, bar, a custom view, or none), a bold label, a multi-line
// details label and a button that shows only once it has an action. It
// fades or zooms in and out in 0.3 s, and keeps three timers: a grace time
// before a show becomes visible, a minimum time it stays once visible, and
// a delayed hide.
//
// The platform screens show one on a view, make its background a solid
// black at alpha 0.1, keep it while the request runs and hide it when the
// answer comes; a HUD made by showHUDAddedTo leaves its view when the hide
// ends:
//
//   auto hud = PHProgressHUD::showHUDAddedTo(view, true);
//   hud->backgroundView()->setStyle(PHProgressHUDBackgroundStyleSolidColor);
//   hud->backgroundView()->setColor(kit::Color::white(0, 0.1));
//   ...
//   hud->hideAnimated(true);
//
// The bezel is laid out by layoutBezel (see there), not by a constraint
// solver. Everything runs on the main thread except the work block of the
// whileExecutingBlock forms. Timers run on the current run loop in the
// common modes; a progress object is followed once per display frame.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/timer.h"
#include "kit/net/progress.h"
#include "kit/ui/activity_indicator_view.h"
#include "kit/ui/display_link.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"
#include "ui/widgets/ph_progress_hud_views.h"

class PHProgressHUD;

enum PHProgressHUDMode : long {
  PHProgressHUDModeIndeterminate = 0,             // the large white spinner
  PHProgressHUDModeDeterminate = 1,               // a pie
  PHProgressHUDModeDeterminateHorizontalBar = 2,  // a bar
  PHProgressHUDModeAnnularDeterminate = 3,        // a ring
  PHProgressHUDModeCustomView = 4,                // the custom view
  PHProgressHUDModeText = 5,                      // no indicator
};

enum PHProgressHUDAnimation : long {
  PHProgressHUDAnimationFade = 0,
  PHProgressHUDAnimationZoom = 1,  // zoom in when showing, out when hiding
  PHProgressHUDAnimationZoomOut = 2,
  PHProgressHUDAnimationZoomIn = 3,
};

class PHProgressHUDDelegate {
 public:
  virtual ~PHProgressHUDDelegate() = default;
  // After each hide has ended.
  virtual void hudWasHidden(PHProgressHUD& /*hud*/) {}
};

class PHProgressHUD : public kit::View {
 public:
  using CompletionBlock = std::function<void()>;

  // ---- Class operations
  // A new HUD over the view's bounds, removed from it when hidden, added as
  // its last subview and shown.
  static kit::Ref<PHProgressHUD> showHUDAddedTo(const kit::Ref<kit::View>& view, bool animated);
  // Hides (and will remove) the view's topmost unfinished HUD; false when
  // there is none.
  static bool hideHUDForView(const kit::Ref<kit::View>& view, bool animated);
  // The view's topmost HUD that is not finished, or nil.
  static kit::Ref<PHProgressHUD> HUDForView(const kit::Ref<kit::View>& view);
  // Every HUD among the view's subviews, in subview order.
  static std::vector<kit::Ref<PHProgressHUD>> allHUDsForView(const kit::Ref<kit::View>& view);
  // Hides (and will remove) them all; returns how many there were.
  static size_t hideAllHUDsForView(const kit::Ref<kit::View>& view, bool animated);

  // ---- Making one
  // A hidden HUD (alpha 0) over the view's bounds; not added to it.
  static kit::Ref<PHProgressHUD> initWithView(const kit::Ref<kit::View>& view);
  static kit::Ref<PHProgressHUD> initWithWindow(const kit::Ref<kit::View>& window) { return initWithView(window); }
  static kit::Ref<PHProgressHUD> make(const kit::Rect& frame) { return kit::make<PHProgressHUD>(frame); }
  explicit PHProgressHUD(const kit::Rect& frame);
  ~PHProgressHUD() override;

  // ---- Showing and hiding
  // Shows after the grace time (if any), ends a pending minimum-show wait.
  void showAnimated(bool animated);
  // Hides, not before the minimum show time has passed since it became
  // visible; ends a pending grace wait. Marks the HUD finished.
  void hideAnimated(bool animated);
  // Hides after the delay, unless shown again first.
  void hideAnimated(bool animated, double delay);
  // Shows, runs the work on the queue, then hides on the main queue and
  // runs the completion (which becomes completionBlock).
  void showAnimated(bool animated, std::function<void()> work, kit::Queue& queue, CompletionBlock completion = {});
  // The same on the global queue of default priority.
  void showAnimated(bool animated, std::function<void()> work, CompletionBlock completion = {});
  // The older names.
  void show(bool animated) { showAnimated(animated); }
  void hide(bool animated) { hideAnimated(animated); }
  void hide(bool animated, double delay) { hideAnimated(animated, delay); }

  // ---- Appearance and behaviour
  long mode() const { return mode_; }
  // A different mode makes the matching indicator.
  void setMode(long mode);
  long animationType() const { return animationType_; }
  void setAnimationType(long type) { animationType_ = type; }
  double graceTime() const { return graceTime_; }
  void setGraceTime(double seconds) { graceTime_ = seconds; }
  double minShowTime() const { return minShowTime_; }
  void setMinShowTime(double seconds) { minShowTime_ = seconds; }
  bool removeFromSuperViewOnHide() const { return removeFromSuperViewOnHide_; }
  void setRemoveFromSuperViewOnHide(bool v) { removeFromSuperViewOnHide_ = v; }
  // The labels', the button's and the indicator's colour (black at 0.7).
  const kit::Ref<kit::Color>& contentColor() const { return contentColor_; }
  void setContentColor(kit::Ref<kit::Color> color);
  // The bezel centre's offset from the HUD's centre.
  kit::Point offset() const { return offset_; }
  void setOffset(kit::Point offset);
  // The bezel's inner margin, and its least distance from the HUD's edges.
  double margin() const { return margin_; }
  void setMargin(double margin);
  // The least bezel size; (0, 0) for none.
  kit::Size minSize() const { return minSize_; }
  void setMinSize(kit::Size size);
  // Makes the bezel as high as it is wide.
  bool square() const { return square_; }
  void setSquare(bool square);
  // Tilt parallax of the bezel: ±10 points on each axis.
  bool defaultMotionEffectsEnabled() const { return motionEffectsEnabled_; }
  void setDefaultMotionEffectsEnabled(bool enabled);
  float progress() const { return progress_; }
  void setProgress(float progress);
  // While set (and the HUD shown), progress follows its fraction completed
  // once per display frame.
  const kit::Ref<kit::Progress>& progressObject() const { return progressObject_; }
  void setProgressObject(kit::Ref<kit::Progress> progress);
  const kit::Ref<PHBackgroundView>& bezelView() const { return bezelView_; }
  const kit::Ref<PHBackgroundView>& backgroundView() const { return backgroundView_; }
  // The indicator of the custom-view mode.
  const kit::Ref<kit::View>& customView() const { return customView_; }
  void setCustomView(kit::Ref<kit::View> view);
  const kit::Ref<kit::Label>& label() const { return label_; }
  const kit::Ref<kit::Label>& detailsLabel() const { return detailsLabel_; }
  const kit::Ref<PHProgressHUDRoundedButton>& button() const { return button_; }
  kit::Weak<PHProgressHUDDelegate> delegate;
  // Run after each hide has ended.
  CompletionBlock completionBlock;

  // ---- State
  bool hasFinished() const { return finished_; }
  bool useAnimation() const { return useAnimation_; }
  bool taskInProgress() const { return taskInProgress_; }
  // The clock time the HUD became visible; none while hidden.
  std::optional<double> showStarted() const { return showStarted_; }
  const kit::Ref<kit::View>& indicator() const { return indicator_; }
  kit::Ref<kit::Timer> graceTimer() const { return graceTimer_.lock(); }
  kit::Ref<kit::Timer> minShowTimer() const { return minShowTimer_.lock(); }
  kit::Ref<kit::Timer> hideDelayTimer() const { return hideDelayTimer_.lock(); }
  const kit::Ref<kit::DisplayLink>& progressObjectDisplayLink() const { return displayLink_; }

  // ---- The older property forms
  std::string labelText() const { return label_->text(); }
  void setLabelText(std::string_view text);
  kit::Ref<kit::Font> labelFont() const { return label_->font(); }
  void setLabelFont(kit::Ref<kit::Font> font);
  kit::Ref<kit::Color> labelColor() const { return label_->textColor(); }
  void setLabelColor(kit::Ref<kit::Color> color) { label_->setTextColor(std::move(color)); }
  std::string detailsLabelText() const { return detailsLabel_->text(); }
  void setDetailsLabelText(std::string_view text);
  kit::Ref<kit::Font> detailsLabelFont() const { return detailsLabel_->font(); }
  void setDetailsLabelFont(kit::Ref<kit::Font> font);
  kit::Ref<kit::Color> detailsLabelColor() const { return detailsLabel_->textColor(); }
  void setDetailsLabelColor(kit::Ref<kit::Color> color) { detailsLabel_->setTextColor(std::move(color)); }
  // The bezel's colour.
  kit::Ref<kit::Color> color() const { return bezelView_->color(); }
  void setColor(kit::Ref<kit::Color> color) { bezelView_->setColor(std::move(color)); }
  double xOffset() const { return offset_.x; }
  void setXOffset(double x) { setOffset({x, offset_.y}); }
  double yOffset() const { return offset_.y; }
  void setYOffset(double y) { setOffset({offset_.x, y}); }
  double cornerRadius() const { return bezelView_->layer()->cornerRadius(); }
  void setCornerRadius(double radius) { bezelView_->layer()->setCornerRadius(radius); }
  // The bezel's current size.
  kit::Size size() const { return bezelView_->frame().size; }
  // The bezel's alpha when shown.
  double opacity() const { return opacity_; }
  void setOpacity(double opacity) { opacity_ = opacity; }
  // When set, the indicator's colour instead of the content colour.
  const kit::Ref<kit::Color>& activityIndicatorColor() const { return activityIndicatorColor_; }
  void setActivityIndicatorColor(kit::Ref<kit::Color> color);

  // YES while the background is solid black at alpha 0.2; setting YES makes
  // it so, NO makes it solid clear.
  bool isDefaultBackground() const;
  void setIsDefaultBackground(bool v);

  // ---- Layout
  // Sizes and places the bezel and its stack (what the constraints of the
  // original widget give): the stack's views at their natural sizes,
  // centred across the bezel at least `margin` from its sides, 4 points
  // apart above each view that has something to show (not hidden, not of
  // zero size) under another such view; the stack `margin` from the top
  // and bottom and centred up and down; the bezel at least minSize, square
  // if asked, centred at the HUD's centre plus the offset, and never closer
  // than `margin` to the HUD's edges.
  void layoutBezel();
  void layoutSubviews() override;
  void didMoveToSuperview() override;

  static constexpr double Padding = 4;
  static constexpr double AnimationDuration = 0.3;

 private:
  void setupViews();
  void updateIndicators();
  void updateViewsForColor(const kit::Ref<kit::Color>& color);
  void updateBezelMotionEffects();
  void showUsingAnimation(bool animated);
  void hideUsingAnimation(bool animated);
  void animateIn(bool animatingIn, long type, std::function<void(bool)> completion);
  void done();
  void setProgressDisplayLinkEnabled(bool enabled);
  void followProgressObject();
  void updateForCurrentOrientation();
  kit::Ref<kit::Timer> schedule(double seconds, std::function<void(PHProgressHUD&)> fire);

  long mode_ = PHProgressHUDModeIndeterminate;
  long animationType_ = PHProgressHUDAnimationFade;
  double graceTime_ = 0;
  double minShowTime_ = 0;
  bool removeFromSuperViewOnHide_ = false;
  kit::Ref<kit::Color> contentColor_;
  kit::Point offset_{0, 0};
  double margin_ = 20;
  kit::Size minSize_{0, 0};
  bool square_ = false;
  bool motionEffectsEnabled_ = true;
  float progress_ = 0;
  kit::Ref<kit::Progress> progressObject_;
  kit::Ref<PHBackgroundView> bezelView_;
  kit::Ref<PHBackgroundView> backgroundView_;
  kit::Ref<kit::View> customView_;
  kit::Ref<kit::Label> label_;
  kit::Ref<kit::Label> detailsLabel_;
  kit::Ref<PHProgressHUDRoundedButton> button_;
  kit::Ref<kit::View> topSpacer_;
  kit::Ref<kit::View> bottomSpacer_;
  kit::Ref<kit::View> indicator_;

  bool useAnimation_ = false;
  bool finished_ = false;
  bool taskInProgress_ = false;
  std::optional<double> showStarted_;
  kit::Weak<kit::Timer> graceTimer_;
  kit::Weak<kit::Timer> minShowTimer_;
  kit::Weak<kit::Timer> hideDelayTimer_;
  kit::Ref<kit::DisplayLink> displayLink_;
  double opacity_ = 1.0;
  kit::Ref<kit::Color> activityIndicatorColor_;
  kit::Id orientationObserver_;
};
