// NUVAProgressHUD: the channel's status HUD. One shared overlay shows a
// short status text, optionally with an image, an indefinite spinner or a
// progress ring, in a rounded box centred on the screen. It fades in,
// dismisses itself after a time that grows with the length of its text,
// and fades out. The channel's screens use it as their toast.
//
// Everything is reached through the class operations, which may be called
// from any thread: shows and dismisses are queued on the main operation
// queue (one at a time, holding the HUD weakly), showErrorWithStatus hops to
// the main queue first, and all view work runs on the main thread. No images
// are supplied, so messages are text only: a box of the text plus 12 points
// on every side.
#pragma once

#include <functional>
#include <limits>
#include <string>

#include "kit/dispatch/timer.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/string.h"
#include "kit/graphics/image.h"
#include "kit/ui/activity_indicator_view.h"
#include "kit/ui/control.h"
#include "kit/ui/feedback_generator.h"
#include "kit/ui/font.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/touch.h"
#include "kit/ui/ui_types.h"
#include "kit/ui/view.h"
#include "kit/ui/visual_effect_view.h"

class NUVAIndefiniteAnimatedView;
class NUVAProgressAnimatedView;
class NUVARadialGradientLayer;

enum class NUVAProgressHUDStyle : long { Light = 0, Dark = 1, Custom = 2 };
// What lies behind the box: None lets touches through to the app; the
// others catch them.
enum class NUVAProgressHUDMaskType : unsigned long { None = 1, Clear = 2, Black = 3, Gradient = 4, Custom = 5 };
enum class NUVAProgressHUDAnimationType : unsigned long { Flat = 0, Native = 1 };

// A shift of the box from the screen centre.
struct NUVAProgressHUDOffset {
  double horizontal = 0;
  double vertical = 0;
};

inline constexpr const char* NUVAProgressHUDDidReceiveTouchEventNotification =
    "NUVAProgressHUDDidReceiveTouchEventNotification";
inline constexpr const char* NUVAProgressHUDDidTouchDownInsideNotification =
    "NUVAProgressHUDDidTouchDownInsideNotification";
inline constexpr const char* NUVAProgressHUDWillDisappearNotification = "NUVAProgressHUDWillDisappearNotification";
inline constexpr const char* NUVAProgressHUDDidDisappearNotification = "NUVAProgressHUDDidDisappearNotification";
inline constexpr const char* NUVAProgressHUDWillAppearNotification = "NUVAProgressHUDWillAppearNotification";
inline constexpr const char* NUVAProgressHUDDidAppearNotification = "NUVAProgressHUDDidAppearNotification";
inline constexpr const char* NUVAProgressHUDStatusUserInfoKey = "NUVAProgressHUDStatusUserInfoKey";

// The full-window control behind the HUD: reports every touch-down (with
// its window location) to the HUD.
class NUVAProgressHUDControlView : public kit::Control {
 public:
  std::function<void(kit::Point windowLocation)> onTouchDown;
  bool beginTracking(kit::Touch& touch, const kit::Event* event) override;
};

class NUVAProgressHUD : public kit::View {
 public:
  using Completion = std::function<void()>;

  // ---- Class operations ----------------------------------------------------
  // The one instance, made once with the bounds of the application
  // delegate's window.
  static kit::Ref<NUVAProgressHUD> sharedView();

  static void setStatus(const kit::Ref<kit::String>& status);
  static void setDefaultStyle(NUVAProgressHUDStyle style);
  static void setDefaultMaskType(NUVAProgressHUDMaskType maskType);
  static void setDefaultAnimationType(NUVAProgressHUDAnimationType type);
  static void setContainerView(kit::Ref<kit::View> containerView);
  static void setMinimumSize(kit::Size size);
  static void setRingThickness(double thickness);
  static void setRingRadius(double radius);
  static void setRingNoTextRadius(double radius);
  static void setCornerRadius(double radius);
  static void setBorderColor(kit::Ref<kit::Color> color);
  static void setBorderWidth(double width);
  static void setFont(kit::Ref<kit::Font> font);
  static void setForegroundColor(kit::Ref<kit::Color> color);
  // The box colour of the custom style (the platform's setBackgroundColor:,
  // renamed because a view already has a background colour of its own).
  static void setHudBackgroundColor(kit::Ref<kit::Color> color);
  static void setBackgroundLayerColor(kit::Ref<kit::Color> color);
  static void setImageViewSize(kit::Size size);
  static void setShouldTintImages(bool tint);
  static void setInfoImage(kit::Ref<kit::Image> image);
  static void setSuccessImage(kit::Ref<kit::Image> image);
  static void setErrorImage(kit::Ref<kit::Image> image);
  static void setViewForExtension(kit::Ref<kit::View> view);
  static void setGraceTimeInterval(double seconds);
  static void setMinimumDismissTimeInterval(double seconds);
  static void setMaximumDismissTimeInterval(double seconds);
  static void setFadeInAnimationDuration(double seconds);
  static void setFadeOutAnimationDuration(double seconds);
  static void setMaxSupportedWindowLevel(kit::WindowLevel level);
  static void setHapticsEnabled(bool enabled);

  static void show();
  static void showWithMaskType(NUVAProgressHUDMaskType maskType);
  static void showWithStatus(const kit::Ref<kit::String>& status);
  static void showWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType);
  static void showProgress(float progress);
  static void showProgress(float progress, NUVAProgressHUDMaskType maskType);
  static void showProgress(float progress, const kit::Ref<kit::String>& status);
  static void showProgress(float progress, const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType);

  static void showInfoWithStatus(const kit::Ref<kit::String>& status);
  static void showInfoWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType);
  static void showSuccessWithStatus(const kit::Ref<kit::String>& status);
  static void showSuccessWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType);
  // From any thread: on the main queue, dismisses what is shown and shows
  // the text as an error message for its display time.
  static void showErrorWithStatus(const kit::Ref<kit::String>& status);
  static void showErrorWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType);
  static void showImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status);
  static void showImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status,
                        NUVAProgressHUDMaskType maskType);

  static void popActivity();
  static void dismiss();
  static void dismissWithCompletion(Completion completion);
  static void dismissWithDelay(double delay);
  static void dismissWithDelay(double delay, Completion completion);

  static void setOffsetFromCenter(NUVAProgressHUDOffset offset);
  static void resetOffsetFromCenter();
  // YES while the backdrop is not fully transparent.
  static bool iNUVAisible();
  // length x 0.06 + 0.5 seconds (length in UTF-16 units), kept within the
  // minimum and maximum dismiss times.
  static double displayDurationForString(const kit::Ref<kit::String>& text);

  // ---- The instance -------------------------------------------------------
  explicit NUVAProgressHUD(const kit::Rect& frame);

  NUVAProgressHUDStyle defaultStyle() const { return defaultStyle_; }
  NUVAProgressHUDMaskType defaultMaskType() const { return defaultMaskType_; }
  NUVAProgressHUDAnimationType defaultAnimationType() const { return defaultAnimationType_; }
  kit::Size minimumSize() const { return minimumSize_; }
  double ringThickness() const { return ringThickness_; }
  double ringRadius() const { return ringRadius_; }
  double ringNoTextRadius() const { return ringNoTextRadius_; }
  double cornerRadius() const { return cornerRadius_; }
  const kit::Ref<kit::Font>& font() const { return font_; }
  kit::Size imageViewSize() const { return imageViewSize_; }
  bool shouldTintImages() const { return shouldTintImages_; }
  double graceTimeInterval() const { return graceTimeInterval_; }
  double minimumDismissTimeInterval() const { return minimumDismissTimeInterval_; }
  double maximumDismissTimeInterval() const { return maximumDismissTimeInterval_; }
  double fadeInAnimationDuration() const { return fadeInAnimationDuration_; }
  double fadeOutAnimationDuration() const { return fadeOutAnimationDuration_; }
  kit::WindowLevel maxSupportedWindowLevel() const { return maxSupportedWindowLevel_; }
  bool hapticsEnabled() const { return hapticsEnabled_; }
  NUVAProgressHUDOffset offsetFromCenter() const { return offsetFromCenter_; }
  unsigned long activityCount() const { return activityCount_; }
  float progress() const { return progress_; }
  const kit::Ref<kit::Timer>& fadeOutTimer() const { return fadeOutTimer_; }

  // The views, each made on first use and kept.
  kit::Ref<kit::Control> controlView();
  kit::Ref<kit::View> backgroundView();
  kit::Ref<kit::VisualEffectView> hudView();
  kit::Ref<kit::Label> statusLabel();
  kit::Ref<kit::ImageView> imageView();
  kit::Ref<kit::View> indefiniteAnimatedView();
  kit::Ref<NUVAProgressAnimatedView> ringView();
  kit::Ref<NUVAProgressAnimatedView> backgroundRingView();
  // The feedback generator while haptics are on; nil otherwise.
  kit::Ref<kit::NotificationFeedbackGenerator> hapticGenerator();

  // The window the HUD attaches to when no container view is set: the
  // topmost visible key window of a level from normal up to the maximum.
  kit::Ref<kit::Window> frontWindow() const;
  double visibleKeyboardHeight() const;

 private:
  // Instance counterparts of the class operations.
  void updateStatus(const kit::Ref<kit::String>& status);
  void showProgressNow(float progress, const kit::Ref<kit::String>& status);
  void showImageNow(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status, double duration);
  void dismissNow(double delay, Completion completion);
  // The steps those post to the main operation queue (dropped when the HUD
  // is gone by then).
  void showProgressStep(float progress, const kit::Ref<kit::String>& status);
  void showImageStep(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status, double duration);
  void dismissStep(double delay, const Completion& completion);
  void fadeIn(const kit::Id& data);
  void fadeInEffects();
  void fadeOutEffects();

  void updateHUDFrame();
  void updateViewHierarchy();
  void updateMotionEffectForOrientation(kit::InterfaceOrientation orientation);
  void positionHUD(const kit::Ref<kit::Notification>& notification);
  void moveToPoint(kit::Point point, double angle);
  void registerNotifications();
  void unregisterNotifications();
  kit::Ref<kit::Dictionary> notificationUserInfo();
  void controlViewDidReceiveTouchEvent(kit::Point windowLocation);
  void setGraceTimer(kit::Ref<kit::Timer> timer);
  void setFadeOutTimer(kit::Ref<kit::Timer> timer);
  kit::Ref<kit::Timer> scheduleOneShot(double delay, std::function<void(NUVAProgressHUD&)> fire);
  void cancelRingLayerAnimation();
  void cancelIndefiniteAnimatedViewAnimation();
  kit::Ref<kit::Color> foregroundColorForStyle() const;
  kit::Ref<kit::Color> backgroundColorForStyle() const;
  static void hapticOccurred(kit::NotificationFeedbackType type);
  // Runs `body` with the mask type set, then restores it.
  static void withMaskType(NUVAProgressHUDMaskType maskType, const std::function<void()>& body);

  bool isInitializing_ = true;
  template <class T, class V>
  static void applySetting(T NUVAProgressHUD::*field, V&& value);
  NUVAProgressHUDStyle defaultStyle_ = NUVAProgressHUDStyle::Light;
  NUVAProgressHUDMaskType defaultMaskType_ = NUVAProgressHUDMaskType::None;
  NUVAProgressHUDAnimationType defaultAnimationType_ = NUVAProgressHUDAnimationType::Flat;
  kit::Weak<kit::View> containerView_;
  kit::Ref<kit::View> containerViewStrong_;
  kit::Size minimumSize_{0, 0};
  double ringThickness_ = 2;
  double ringRadius_ = 18;
  double ringNoTextRadius_ = 24;
  double cornerRadius_ = 14;
  kit::Ref<kit::Font> font_;
  kit::Ref<kit::Color> hudBackgroundColor_;
  kit::Ref<kit::Color> foregroundColor_;
  kit::Ref<kit::Color> backgroundLayerColor_;
  kit::Size imageViewSize_{28, 28};
  bool shouldTintImages_ = true;
  kit::Ref<kit::Image> infoImage_, successImage_, errorImage_;
  kit::Ref<kit::View> viewForExtension_;
  double graceTimeInterval_ = 0;
  double minimumDismissTimeInterval_ = 2.0;
  double maximumDismissTimeInterval_ = std::numeric_limits<double>::max();
  double fadeInAnimationDuration_ = static_cast<double>(0.15f);
  double fadeOutAnimationDuration_ = static_cast<double>(0.15f);
  kit::WindowLevel maxSupportedWindowLevel_ = kit::WindowLevelNormal;
  bool hapticsEnabled_ = false;
  NUVAProgressHUDOffset offsetFromCenter_{0, 0};

  kit::Ref<kit::Timer> graceTimer_;
  kit::Ref<kit::Timer> fadeOutTimer_;
  float progress_ = -1;
  unsigned long activityCount_ = 0;
  double keyboardHeight_ = 0;
  bool observing_ = false;

  kit::Ref<kit::Control> controlView_;
  kit::Ref<kit::View> backgroundView_;
  kit::Ref<NUVARadialGradientLayer> backgroundRadialGradientLayer_;
  kit::Ref<kit::VisualEffectView> hudView_;
  kit::Ref<kit::Label> statusLabel_;
  kit::Ref<kit::ImageView> imageView_;
  kit::Ref<kit::View> indefiniteAnimatedView_;
  kit::Ref<NUVAProgressAnimatedView> ringView_;
  kit::Ref<NUVAProgressAnimatedView> backgroundRingView_;
  kit::Ref<kit::NotificationFeedbackGenerator> hapticGenerator_;
};
