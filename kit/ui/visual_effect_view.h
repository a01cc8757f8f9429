// kit::VisualEffectView: a view behind whose content the screen is blurred.
// Rendering draws the blur as a translucent tint of the effect's style
// (dark, light, extra light), under the content view that subviews go in.
#pragma once

#include "kit/ui/view.h"

namespace kit {

enum class BlurEffectStyle { ExtraLight = 0, Light = 1, Dark = 2, Regular = 4, Prominent = 5 };

class BlurEffect : public Object {
 public:
  static Ref<BlurEffect> withStyle(BlurEffectStyle style) {
    auto e = kit::make<BlurEffect>();
    e->style = style;
    return e;
  }
  BlurEffectStyle style = BlurEffectStyle::Light;
};

class VisualEffectView : public View {
 public:
  static Ref<VisualEffectView> make(Ref<BlurEffect> effect, const Rect& frame = {}) {
    return kit::make<VisualEffectView>(std::move(effect), frame);
  }
  explicit VisualEffectView(Ref<BlurEffect> effect, const Rect& frame = {});
  const Ref<BlurEffect>& effect() const { return effect_; }
  void setEffect(Ref<BlurEffect> effect);
  // Where subviews of the effect view go.
  const Ref<View>& contentView() const { return contentView_; }

 private:
  void applyTint();
  Ref<BlurEffect> effect_;
  Ref<View> contentView_;
  Ref<View> tint_;
};

}  // namespace kit
