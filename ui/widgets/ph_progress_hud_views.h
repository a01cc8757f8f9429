// The parts of the platform progress HUD (ph_progress_hud.h), usable on
// their own as well:
//   PHBackgroundView            a panel that is either a solid colour or a
//                               light blur tinted by its colour;
//   PHRoundProgressView         a 37 x 37 progress circle: a pie (an arc
//                               inside an outline) or, annular, a ring;
//   PHBarProgressView           a 120 x 20 capsule that fills from the left;
//   PHProgressHUDRoundedButton  a pill-shaped button outlined in its title
//                               colour, taking no room until it has an action.
// Every setter that changes what is drawn does nothing for the value it
// already holds (colours compared by value) and otherwise asks for a new
// drawing. Main thread.
#pragma once

#include "kit/ui/button.h"
#include "kit/ui/view.h"
#include "kit/ui/visual_effect_view.h"

enum PHProgressHUDBackgroundStyle : long {
  PHProgressHUDBackgroundStyleSolidColor = 0,
  PHProgressHUDBackgroundStyleBlur = 1,
};

class PHBackgroundView : public kit::View {
 public:
  static kit::Ref<PHBackgroundView> make(const kit::Rect& frame = {}) { return kit::make<PHBackgroundView>(frame); }
  // Blur, tinted white 0.8 at alpha 0.6, clipping to its bounds.
  explicit PHBackgroundView(const kit::Rect& frame = {});

  long style() const { return style_; }
  // Blur puts a light blur effect view over the bounds (flexible size) and
  // turns off group opacity; solid colour takes the effect view away. Both
  // then paint the view's background in the colour.
  void setStyle(long style);
  const kit::Ref<kit::Color>& color() const { return color_; }
  void setColor(kit::Ref<kit::Color> color);
  // The blur while the style is blur, else nil.
  const kit::Ref<kit::VisualEffectView>& effectView() const { return effectView_; }

  kit::Size intrinsicContentSize() const override { return {0, 0}; }

 private:
  void updateForBackgroundStyle();

  long style_ = PHProgressHUDBackgroundStyleBlur;
  kit::Ref<kit::Color> color_;
  kit::Ref<kit::VisualEffectView> effectView_;
};

class PHRoundProgressView : public kit::View {
 public:
  static constexpr double Side = 37;
  static kit::Ref<PHRoundProgressView> make() { return make({0, 0, Side, Side}); }
  static kit::Ref<PHRoundProgressView> make(const kit::Rect& frame) { return kit::make<PHRoundProgressView>(frame); }
  // Clear and not opaque; white progress over white at alpha 0.1.
  explicit PHRoundProgressView(const kit::Rect& frame);

  float progress() const { return progress_; }
  void setProgress(float progress);
  const kit::Ref<kit::Color>& progressTintColor() const { return progressTintColor_; }
  void setProgressTintColor(kit::Ref<kit::Color> color);
  const kit::Ref<kit::Color>& backgroundTintColor() const { return backgroundTintColor_; }
  void setBackgroundTintColor(kit::Ref<kit::Color> color);
  bool annular() const { return annular_; }
  void setAnnular(bool annular);

  kit::Size intrinsicContentSize() const override { return {Side, Side}; }
  // Pie: a 2-point outline circle inset by 1, and a 4-point arc of the
  // progress from the top, clockwise, replacing what lies under it. Ring: a
  // 2-point background ring and the progress arc over it.
  void drawRect(const kit::Rect& rect) override;
  kit::LayerContent layerContent(const kit::Layer&) const override { return kit::LayerContent::Retained; }

 private:
  float progress_ = 0;
  kit::Ref<kit::Color> progressTintColor_;
  kit::Ref<kit::Color> backgroundTintColor_;
  bool annular_ = false;
};

class PHBarProgressView : public kit::View {
 public:
  static kit::Ref<PHBarProgressView> make() { return make({0, 0, 120, 20}); }
  static kit::Ref<PHBarProgressView> make(const kit::Rect& frame) { return kit::make<PHBarProgressView>(frame); }
  // Clear and not opaque; white line and progress, nothing where none is.
  explicit PHBarProgressView(const kit::Rect& frame);

  float progress() const { return progress_; }
  void setProgress(float progress);
  const kit::Ref<kit::Color>& lineColor() const { return lineColor_; }
  void setLineColor(kit::Ref<kit::Color> color);
  const kit::Ref<kit::Color>& progressColor() const { return progressColor_; }
  void setProgressColor(kit::Ref<kit::Color> color);
  const kit::Ref<kit::Color>& progressRemainingColor() const { return progressRemainingColor_; }
  void setProgressRemainingColor(kit::Ref<kit::Color> color);

  kit::Size intrinsicContentSize() const override { return {120, 10}; }
  // A capsule inset by 2 (filled with the remaining colour, outlined in 2
  // points of the line colour), and inside it, inset by 4, the part of a
  // second capsule left of progress x width, in the progress colour.
  void drawRect(const kit::Rect& rect) override;
  kit::LayerContent layerContent(const kit::Layer&) const override { return kit::LayerContent::Retained; }

 private:
  float progress_ = 0;
  kit::Ref<kit::Color> lineColor_;
  kit::Ref<kit::Color> progressColor_;
  kit::Ref<kit::Color> progressRemainingColor_;
};

class PHProgressHUDRoundedButton : public kit::Button {
 public:
  static kit::Ref<PHProgressHUDRoundedButton> make(const kit::Rect& frame = {}) {
    return kit::make<PHProgressHUDRoundedButton>(frame);
  }
  // A custom button with a 1-point border.
  explicit PHProgressHUDRoundedButton(const kit::Rect& frame = {});

  // Nothing until the button has an action for some event; then its
  // natural size and 20 points more in width.
  kit::Size intrinsicContentSize() const override;
  // The corner radius becomes the ceiling of half the height.
  void layoutSubviews() override;
  // Also outlines the button in the colour, and paints the highlight anew.
  void setTitleColor(kit::Ref<kit::Color> color, unsigned state = kit::ControlStateNormal);
  // Highlighted: the selected state's title colour at alpha 0.1 behind the
  // title; otherwise clear.
  void setHighlighted(bool highlighted) override;
};
