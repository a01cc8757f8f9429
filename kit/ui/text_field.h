// kit::TextField: a one-line editable text. It becomes the first responder
// to edit, asks its delegate before every change, reports editing events,
// and draws its text (or its placeholder in grey; dots when secure).
// Typing comes from kit::test::typeText, as a player's keyboard would send it.
#pragma once

#include <optional>
#include <string>

#include "kit/foundation/string.h"
#include "kit/ui/control.h"
#include "kit/ui/font.h"

namespace kit {

class TextField;

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
enum class KeyboardType { Default = 0, ASCIICapable = 1, NumbersAndPunctuation = 2, URL = 3, NumberPad = 4,
                          PhonePad = 5, NamePhonePad = 6, EmailAddress = 7, DecimalPad = 8 };

class TextField : public Control {
 public:
  static Ref<TextField> make(const Rect& frame = {}) { return kit::make<TextField>(frame); }
  explicit TextField(const Rect& frame = {});

  const std::string& text() const { return text_; }
  void setText(std::string_view text);
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string_view p);
  const Ref<Font>& font() const { return font_; }
  void setFont(Ref<Font> f);
  const Ref<Color>& textColor() const { return textColor_; }
  void setTextColor(Ref<Color> c);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { alignment_ = a; setNeedsDisplay(); }
  bool isSecureTextEntry() const { return secure_; }
  void setSecureTextEntry(bool v) { secure_ = v; setNeedsDisplay(); }
  KeyboardType keyboardType() const { return keyboard_; }
  void setKeyboardType(KeyboardType k) { keyboard_ = k; }
  TextBorderStyle borderStyle() const { return border_; }
  void setBorderStyle(TextBorderStyle b) { border_ = b; setNeedsDisplay(); }
  bool isEditing() const { return editing_; }
  Weak<TextFieldDelegate> delegate;

  bool canBecomeFirstResponder() const override { return isEnabled(); }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;

  // What a keyboard does: replace the characters in `range` (UTF-16), when
  // the delegate agrees; true when the text changed.
  bool replaceCharacters(Range range, const std::string& replacement);
  // Types at the end of the text.
  bool insertText(const std::string& text);
  // The return key: asks the delegate; sends EditingDidEndOnExit.
  void pressReturn();

  void touchesEnded(const TouchSet& touches, const Event* event) override;

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  std::string text_, placeholder_;
  Ref<Font> font_;
  Ref<Color> textColor_;
  TextAlignment alignment_ = TextAlignment::Natural;
  bool secure_ = false;
  KeyboardType keyboard_ = KeyboardType::Default;
  TextBorderStyle border_ = TextBorderStyle::None;
  bool editing_ = false;
};

}  // namespace kit
