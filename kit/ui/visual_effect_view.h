// kit::VisualEffectView: a view behind whose content the screen is blurred.
// Rendering blurs what lies behind the view within its bounds (the picture
// drawn so far: windows, views, a web view's snapshot), then draws a
// translucent tint of the effect's style (dark, light, extra light) and the
// content view that subviews go in. The view's alpha weakens the tint and
// the content, not the blur.
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
