// kit::Label: the platform's label. Plain or attributed text in a font and
// colour, aligned and broken into at most numberOfLines lines (0: any
// number), truncated or clipped by the line break mode, optionally shrunk to
// fit its width. It measures and draws through the same Pango layout, and
// draws its text centred vertically in its bounds. Rendering keeps the drawn
// text until a setter changes it.
//
//   auto label = kit::Label::make(kit::Rect{0, 0, W, 44});
//   label->setText("知道了");
//   label->setFont(kit::Font::systemFont(18));
#pragma once

#include <string>

#include "kit/ui/attributed_string.h"
#include "kit/ui/view.h"

namespace kit {

class Label : public View {
 public:
  static Ref<Label> make(const Rect& frame = {}) { return kit::make<Label>(frame); }
  explicit Label(const Rect& frame = {});

  // Plain text; setting it replaces any attributed text.
  const std::string& text() const { return text_; }
  void setText(std::string_view text);
  // Attributed text; nil goes back to plain text.
  Ref<AttributedString> attributedText() const;
  void setAttributedText(Ref<AttributedString> text);

  const Ref<Font>& font() const { return font_; }
  void setFont(Ref<Font> font);
  const Ref<Color>& textColor() const { return textColor_; }
  void setTextColor(Ref<Color> color);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a);
  int numberOfLines() const { return lines_; }
  void setNumberOfLines(int n);
  LineBreakMode lineBreakMode() const { return lineBreak_; }
  void setLineBreakMode(LineBreakMode m);
  bool adjustsFontSizeToFitWidth() const { return adjusts_; }
  void setAdjustsFontSizeToFitWidth(bool v);
  double minimumScaleFactor() const { return minimumScale_; }
  void setMinimumScaleFactor(double f);
  BaselineAdjustment baselineAdjustment() const { return baseline_; }
  void setBaselineAdjustment(BaselineAdjustment b) { baseline_ = b; }
  double preferredMaxLayoutWidth() const { return preferredMaxWidth_; }
  void setPreferredMaxLayoutWidth(double w);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool v);
  const Ref<Color>& highlightedTextColor() const { return highlightedTextColor_; }
  void setHighlightedTextColor(Ref<Color> c);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool v);

  // The text's size within `size` (wrapping at its width when the label
  // has more than one line), rounded up to whole points.
  Size sizeThatFits(Size size) const override;
  Size intrinsicContentSize() const override;
  // Where the text is drawn inside the bounds.
  virtual Rect textRectForBounds(const Rect& bounds, int numberOfLines) const;
  // The font actually drawn (smaller when adjusting to fit).
  Ref<Font> fontForDrawing() const;

  // The text is kept as pixels until a setter above changes what is drawn.
  LayerContent layerContent(const Layer&) const override { return LayerContent::Retained; }

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  Ref<AttributedString> content() const;
  Size measure(double width, const Ref<Font>& font) const;
  void changed();

  std::string text_;
  Ref<AttributedString> attributed_;
  Ref<Font> font_;
  Ref<Color> textColor_;
  Ref<Color> highlightedTextColor_;
  TextAlignment alignment_ = TextAlignment::Natural;
  int lines_ = 1;
  LineBreakMode lineBreak_ = LineBreakMode::ByTruncatingTail;
  bool adjusts_ = false;
  double minimumScale_ = 0;
  BaselineAdjustment baseline_ = BaselineAdjustment::AlignBaselines;
  double preferredMaxWidth_ = 0;
  bool enabled_ = true;
  bool highlighted_ = false;
};

}  // namespace kit
