// kit::ActivityIndicatorView: the platform's spinner. It keeps its style,
// colour and whether it animates (hidden when stopped, if asked), and draws
// twelve spokes whose brightness turns with the clock while animating.
#pragma once

#include "kit/ui/view.h"

namespace kit {

enum class ActivityIndicatorStyle { WhiteLarge = 0, White = 1, Gray = 2, Medium = 100, Large = 101 };

class ActivityIndicatorView : public View {
 public:
  static Ref<ActivityIndicatorView> make(ActivityIndicatorStyle style = ActivityIndicatorStyle::White) {
    return kit::make<ActivityIndicatorView>(style);
  }
  explicit ActivityIndicatorView(ActivityIndicatorStyle style = ActivityIndicatorStyle::White);

  ActivityIndicatorStyle style() const { return style_; }
  void setStyle(ActivityIndicatorStyle s);
  Ref<Color> color() const;
  void setColor(Ref<Color> c) { color_ = std::move(c); }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool v);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return animating_; }

  Size sizeThatFits(Size size) const override;
  Size intrinsicContentSize() const override { return sizeThatFits({}); }

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  ActivityIndicatorStyle style_;
  Ref<Color> color_;
  bool hidesWhenStopped_ = true;
  bool animating_ = false;
  double start_ = 0;
};

}  // namespace kit
