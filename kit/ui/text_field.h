// kit::TextField: a one-line editable text. It becomes the first responder
// to edit (the keyboard shows while it is), asks its delegate before every
// change, reports editing events, and draws its text (or its placeholder in
// grey; dots when secure). While it edits, a caret in its tint colour shows
// where typing goes: at the end of the text when editing begins or the
// text is set, where a tap puts it, after what was typed; a text wider than
// the field scrolls to keep the caret in view. A clear button and left and
// right views show as their modes say. Typing comes from kit::test::type,
// one character at a time through the delegate, as a player's keyboard
// sends it.
#pragma once

#include <optional>
#include <string>

#include "kit/foundation/string.h"
#include "kit/ui/attributed_string.h"
#include "kit/ui/control.h"
#include "kit/ui/font.h"
#include "kit/ui/keyboard.h"

namespace kit {

class TextField;
class Button;

class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
  virtual void textFieldDidBeginEditing(TextField&) {}
  virtual bool textFieldShouldEndEditing(TextField&) { return true; }
  virtual void textFieldDidEndEditing(TextField&) {}
  // `range` in UTF-16 units of the current text.
  virtual bool shouldChangeCharacters(TextField&, Range /*range*/, const std::string& /*replacement*/) { return true; }
  virtual bool textFieldShouldReturn(TextField&) { return true; }
  virtual bool textFieldShouldClear(TextField&) { return true; }
};

enum class TextBorderStyle { None = 0, Line, Bezel, RoundedRect };
// When the clear button, or a left or right view, shows.
enum class TextFieldViewMode { Never = 0, WhileEditing, UnlessEditing, Always };

class TextField : public Control, public TextInputTraits {
 public:
  static Ref<TextField> make(const Rect& frame = {}) { return kit::make<TextField>(frame); }
  explicit TextField(const Rect& frame = {});

  const std::string& text() const { return text_; }
  void setText(std::string_view text);
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string_view p);
  // A placeholder with its own attributes (its text becomes placeholder()).
  const Ref<AttributedString>& attributedPlaceholder() const { return attributedPlaceholder_; }
  void setAttributedPlaceholder(Ref<AttributedString> p);
  const Ref<Font>& font() const { return font_; }
  void setFont(Ref<Font> f);
  const Ref<Color>& textColor() const { return textColor_; }
  void setTextColor(Ref<Color> c);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { alignment_ = a; setNeedsDisplay(); }
  bool isSecureTextEntry() const { return secure_; }
  void setSecureTextEntry(bool v) { secure_ = v; setNeedsDisplay(); }
  TextBorderStyle borderStyle() const { return border_; }
  void setBorderStyle(TextBorderStyle b) { border_ = b; setNeedsDisplay(); }
  bool isEditing() const { return editing_; }
  Weak<TextFieldDelegate> delegate;

  // ---- Clear button and side views
  TextFieldViewMode clearButtonMode() const { return clearMode_; }
  void setClearButtonMode(TextFieldViewMode m);
  bool clearsOnBeginEditing() const { return clearsOnBegin_; }
  void setClearsOnBeginEditing(bool v) { clearsOnBegin_ = v; }
  // The clear button, while it shows (nil otherwise).
  Ref<Button> clearButtonShown() const;
  const Ref<View>& leftView() const { return leftView_; }
  void setLeftView(Ref<View> v);
  TextFieldViewMode leftViewMode() const { return leftMode_; }
  void setLeftViewMode(TextFieldViewMode m);
  const Ref<View>& rightView() const { return rightView_; }
  void setRightView(Ref<View> v);
  TextFieldViewMode rightViewMode() const { return rightMode_; }
  void setRightViewMode(TextFieldViewMode m);
  // What the clear button does: asks textFieldShouldClear, then empties the
  // text (EditingChanged). True when it cleared.
  bool clear();
  // The area the text is drawn in.
  Rect textRectForBounds(const Rect& bounds) const;

  bool canBecomeFirstResponder() const override { return isEnabled(); }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;

  // What a keyboard does: replace the characters in `range` (UTF-16), when
  // the delegate agrees (the caret then follows the replacement); true when
  // the text changed.
  bool replaceCharacters(Range range, const std::string& replacement);
  // Types at the caret (over the selection).
  bool insertText(const std::string& text);
  // The delete key: removes the selection, or the character (composed
  // sequence) before the caret; true when the text changed.
  bool deleteBackward();
  // The selection in UTF-16 units of the text; empty, it is the caret.
  // Set, it is kept within the text.
  Range selectedRange() const { return selection_; }
  void setSelectedRange(Range range);
  // The caret position nearest to a point of the field (its bounds space).
  size_t closestPositionToPoint(Point point) const;
  // Where the caret is drawn while the field edits (its bounds space).
  Rect caretRect() const;
  // The return key: asks the delegate; sends EditingDidEndOnExit.
  void pressReturn();

  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void layoutSubviews() override;

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  bool shows(TextFieldViewMode mode) const;
  void updateSideViews();
  // The text as drawn (dots when secure), laid out on one line.
  std::string shownText() const;
  // Where the shown text's left edge lies, in the bounds space, and the x
  // of a position of it, in the text's own space.
  double textOriginX() const;
  double positionX(size_t position) const;
  // Scrolls a text wider than the field so that the caret shows.
  void revealCaret();

  std::string text_, placeholder_;
  Range selection_{0, 0};
  // How far a text wider than the field is scrolled while it edits.
  double scrollX_ = 0;
  Ref<AttributedString> attributedPlaceholder_;
  Ref<Font> font_;
  Ref<Color> textColor_;
  TextAlignment alignment_ = TextAlignment::Natural;
  bool secure_ = false;
  TextBorderStyle border_ = TextBorderStyle::None;
  bool editing_ = false;
  TextFieldViewMode clearMode_ = TextFieldViewMode::Never;
  bool clearsOnBegin_ = false;
  Ref<Button> clearButton_;
  Ref<View> leftView_, rightView_;
  TextFieldViewMode leftMode_ = TextFieldViewMode::Never, rightMode_ = TextFieldViewMode::Never;
};

}  // namespace kit
