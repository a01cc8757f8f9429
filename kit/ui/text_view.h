// kit::TextView: the platform's multi-line text view, a scroll view over
// laid-out text. The text (plain, or attributed with links and paragraph
// styles) is laid out with the same Pango layout that draws it, inside the
// text container inset (8 points above and below) and a 5-point line
// fragment padding on each side, and the content size follows that layout
// at once, so code that measures or centres the text reads real numbers.
// An editable text view edits through its delegate as a text field does;
// a selectable, non-editable one opens a tapped link after asking its
// delegate. Positions under a point and the attributes at a position
// answer link taps that code handles itself.
//
//   textView->setAttributedText(text);
//   textView->setEditable(false);
//   auto position = textView->closestPositionToPoint(tap.locationInView(textView.get()));
//   if (!textView->textStylingAtPosition(position).link.empty()) ...
#pragma once

#include <optional>
#include <string>

#include "kit/foundation/string.h"
#include "kit/ui/attributed_string.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/scroll_view.h"

namespace kit {

class TextView;

// Optional methods answer nullopt for "not implemented".
class TextViewDelegate : public ScrollViewDelegate {
 public:
  virtual bool textViewShouldBeginEditing(TextView&) { return true; }
  virtual bool textViewShouldEndEditing(TextView&) { return true; }
  virtual void textViewDidBeginEditing(TextView&) {}
  virtual void textViewDidEndEditing(TextView&) {}
  // `range` in UTF-16 units of the current text.
  virtual bool shouldChangeTextInRange(TextView&, Range /*range*/, const std::string& /*replacement*/) {
    return true;
  }
  virtual void textViewDidChange(TextView&) {}
  virtual void textViewDidChangeSelection(TextView&) {}
  // Whether a tapped link may open (nullopt: not implemented, it opens).
  virtual std::optional<bool> shouldInteractWithURL(TextView&, const std::string& /*url*/, Range /*range*/) {
    return std::nullopt;
  }
};

// A position in the text: a UTF-16 offset.
struct TextPosition {
  size_t offset = 0;
  bool operator==(const TextPosition&) const = default;
};
enum class TextStorageDirection { Forward = 0, Backward };

class TextView : public ScrollView, public TextInputTraits {
 public:
  static Ref<TextView> make(const Rect& frame = {}) { return kit::make<TextView>(frame); }
  explicit TextView(const Rect& frame = {});

  Ref<TextViewDelegate> delegate() const { return textDelegate_.lock(); }
  // Also the scroll view's delegate.
  void setDelegate(Weak<TextViewDelegate> delegate);

  // ---- Text
  // Plain text; setting it drops the attributes (the view's font, colour
  // and alignment apply).
  std::string text() const { return storage_->string(); }
  void setText(std::string_view text);
  Ref<AttributedString> attributedText() const;
  void setAttributedText(Ref<AttributedString> text);
  const Ref<Font>& font() const { return font_; }
  void setFont(Ref<Font> font);
  const Ref<Color>& textColor() const { return textColor_; }
  void setTextColor(Ref<Color> color);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a);
  // The look of links (colour); nil keeps the default blue.
  const Ref<Color>& linkTextColor() const { return linkColor_; }
  void setLinkTextColor(Ref<Color> c);
  EdgeInsets textContainerInset() const { return containerInset_; }
  void setTextContainerInset(const EdgeInsets& e);
  double lineFragmentPadding() const { return padding_; }
  void setLineFragmentPadding(double p);

  bool isEditable() const { return editable_; }
  void setEditable(bool v);
  bool isSelectable() const { return selectable_; }
  void setSelectable(bool v) { selectable_ = v; }
  Range selectedRange() const { return selection_; }
  void setSelectedRange(Range r);

  // ---- Layout
  // The laid-out text's height within the container width, without insets.
  double textHeight() const { return textHeight_; }
  Size sizeThatFits(Size size) const override;
  // The position nearest to a point of the view (its bounds space).
  TextPosition closestPositionToPoint(Point point) const;
  // The attributes in effect at a position, reading the character after it
  // (forward) or before it (backward).
  TextAttributes textStylingAtPosition(TextPosition position,
                                       TextStorageDirection direction = TextStorageDirection::Forward) const;
  // The box of the first character of a range, in the view's bounds space.
  Rect firstRectForRange(Range range) const;
  // The range of the link at a point, and its target, if there is one.
  std::optional<std::pair<Range, std::string>> linkAtPoint(Point point) const;

  // ---- Editing, as a keyboard does it
  bool replaceCharacters(Range range, const std::string& replacement);
  // Types at the selection (the end of the text unless selected otherwise).
  bool insertText(const std::string& text);

  bool canBecomeFirstResponder() const override { return editable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;

 protected:
  bool drawContent(Canvas& canvas) override;
  void boundsSizeDidChange(Size old) override;

 private:
  // The text as drawn: the storage over the view's defaults and link look.
  Ref<AttributedString> displayed() const;
  double containerWidth() const;
  void relayout();
  Point textOrigin() const { return {containerInset_.left + padding_, containerInset_.top}; }

  Weak<TextViewDelegate> textDelegate_;
  Ref<AttributedString> storage_;
  bool attributed_ = false;
  Ref<Font> font_;
  Ref<Color> textColor_, linkColor_;
  TextAlignment alignment_ = TextAlignment::Natural;
  EdgeInsets containerInset_{8, 0, 8, 0};
  double padding_ = 5;
  bool editable_ = true, selectable_ = true;
  Range selection_{0, 0};
  double textHeight_ = 0;
};

}  // namespace kit
