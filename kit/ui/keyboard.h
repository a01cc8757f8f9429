// The on-screen keyboard of text inputs: the platform's text input traits
// that text fields and text views share, and the keyboard that shows while
// one of them is the first responder. Showing and hiding post the
// application's keyboard notifications with the keyboard's end frame and
// animation duration, so product code that moves its forms out of the
// keyboard's way can be tested. Hiding waits for the next main run loop
// pass, so that moving from one field to the next does not hide it.
#pragma once

#include "kit/graphics/geometry.h"

namespace kit {

class Responder;

enum class KeyboardType { Default = 0, ASCIICapable = 1, NumbersAndPunctuation = 2, URL = 3, NumberPad = 4,
                          PhonePad = 5, NamePhonePad = 6, EmailAddress = 7, DecimalPad = 8 };
enum class ReturnKeyType { Default = 0, Go, Google, Join, Next, Route, Search, Send, Yahoo, Done, EmergencyCall };
enum class TextAutocapitalizationType { None = 0, Words, Sentences, AllCharacters };
enum class TextAutocorrectionType { Default = 0, No, Yes };
enum class KeyboardAppearance { Default = 0, Dark, Light };

// What a text input asks of the keyboard.
class TextInputTraits {
 public:
  virtual ~TextInputTraits() = default;
  KeyboardType keyboardType() const { return keyboardType_; }
  void setKeyboardType(KeyboardType k) { keyboardType_ = k; }
  ReturnKeyType returnKeyType() const { return returnKeyType_; }
  void setReturnKeyType(ReturnKeyType r) { returnKeyType_ = r; }
  TextAutocapitalizationType autocapitalizationType() const { return autocapitalization_; }
  void setAutocapitalizationType(TextAutocapitalizationType t) { autocapitalization_ = t; }
  TextAutocorrectionType autocorrectionType() const { return autocorrection_; }
  void setAutocorrectionType(TextAutocorrectionType t) { autocorrection_ = t; }
  KeyboardAppearance keyboardAppearance() const { return appearance_; }
  void setKeyboardAppearance(KeyboardAppearance a) { appearance_ = a; }
  bool enablesReturnKeyAutomatically() const { return enablesReturn_; }
  void setEnablesReturnKeyAutomatically(bool v) { enablesReturn_ = v; }

 private:
  KeyboardType keyboardType_ = KeyboardType::Default;
  ReturnKeyType returnKeyType_ = ReturnKeyType::Default;
  TextAutocapitalizationType autocapitalization_ = TextAutocapitalizationType::Sentences;
  TextAutocorrectionType autocorrection_ = TextAutocorrectionType::Default;
  KeyboardAppearance appearance_ = KeyboardAppearance::Default;
  bool enablesReturn_ = false;
};

class Keyboard {
 public:
  static constexpr double AnimationDuration = 0.25;
  // The keyboard's frame on the current screen (216 points high in
  // portrait, 162 in landscape, plus the unsafe bottom edge).
  static Rect frame();
  // A text input became the first responder: shows the keyboard unless it
  // shows already.
  static void inputDidBegin();
  // A text input stopped being the first responder: hides the keyboard on
  // the next main run loop pass unless a text input is first responder
  // then.
  static void inputDidEnd();
  // Whether the first responder is a text input.
  static bool textInputIsActive();
};

}  // namespace kit
