// Test support: every text a view tree shows (labels, text views, text
// fields, button titles) and the test for a text no player can read: the
// "%@" text of a value left out ("(null)"), of the null object ("<null>"),
// of a list ("(\n...)"), of a dictionary ("{\n...}") or of a number that
// is none ("NaN" on its own, not inside a word). The values a reply may
// put in a text's place, with what a label and a message make of each.
// Header-only.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/text_field.h"
#include "kit/ui/text_view.h"
#include "kit/ui/ui_test_driver.h"

namespace shown {

inline std::vector<std::string> textsIn(kit::View& root) {
  std::vector<std::string> texts;
  kit::test::findViews(root, [&](kit::View& view) {
    if (auto label = dynamic_cast<kit::Label*>(&view)) texts.push_back(label->text());
    if (auto field = dynamic_cast<kit::TextField*>(&view)) texts.push_back(field->text());
    if (auto text = dynamic_cast<kit::TextView*>(&view)) texts.push_back(text->text());
    if (auto button = dynamic_cast<kit::Button*>(&view)) texts.push_back(button->currentTitle());
    return false;
  });
  return texts;
}

// Whether `text` holds "NaN" that is not part of a longer word ("×NaN",
// "代金券:NaN元", but not "BaNaNa").
inline bool readsNaN(const std::string& text) {
  auto inWord = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  };
  for (size_t at = text.find("NaN"); at != std::string::npos; at = text.find("NaN", at + 1)) {
    const bool joinedBefore = at > 0 && inWord(text[at - 1]);
    const bool joinedAfter = at + 3 < text.size() && inWord(text[at + 3]);
    if (!joinedBefore && !joinedAfter) return true;
  }
  return false;
}

inline bool unreadable(const std::string& text) {
  for (const char* mark : {"(null)", "<null>", "(\n", "{\n"}) {
    if (text.find(mark) != std::string::npos) return true;
  }
  return readsNaN(text);
}

// The texts of the tree that no player can read.
inline std::vector<std::string> unreadableTextsIn(kit::View& root) {
  std::vector<std::string> found;
  for (const auto& text : textsIn(root)) {
    if (unreadable(text)) found.push_back(text);
  }
  return found;
}

// What a reply puts where a text belongs, which no screen may show: a list
// holding the null object, a list, a dictionary, empty ones and a flag
// (JSON texts).
inline const std::vector<std::string>& notTexts() {
  static const std::vector<std::string> values = {R"([null])", R"(["x"])", R"({"a":"b"})", "[]", "{}", "true"};
  return values;
}

// Texts that spell nothing a player can read: blanks, a line break, a
// zero-width space, the texts of a missing value and of the null object,
// and the spelling of a number that is none (JSON texts).
inline const std::vector<std::string>& spellingsOfNothing() {
  static const std::vector<std::string> values = {R"(" ")",      R"("\u3000")", R"("\n")",  R"("\u200b")",
                                                  R"("<null>")", R"j("(null)")j", R"("NaN")"};
  return values;
}

// Messages of blanks only, of characters that draw nothing, of a number or
// a flag, of a collection, of the texts of a missing value or of a number
// that is none: none is a message a toast could show (JSON texts).
inline const std::vector<std::string>& unreadableMessages() {
  static const std::vector<std::string> values = {
      R"([null])", R"(["x"])", R"({"a":"b"})", "[]",         "{}",          "0",         "false", "true",
      R"(" ")",    R"("\n")",  R"(" \t\u3000")", R"("\u200b")", R"("<null>")", R"j("(null)")j", R"("NaN")"};
  return values;
}

// A value a reply may put where a text belongs (a JSON text), with what a
// label shows of it and what a message reads of it (a toast, a name, a text
// on a plate or in a coloured box, where blanks would show an empty box).
// A collection, a flag, the texts of a missing value and the spelling of a
// number that is none show nothing anywhere; a number shows in a label but
// is no message; blanks and characters that draw nothing stay in a label
// as they are, and are no message.
struct Shape {
  std::string json;
  std::string label;
  std::string message;
};

inline const std::vector<Shape>& shapes() {
  static const std::vector<Shape> values = [] {
    std::vector<Shape> all;
    for (const std::string& json : notTexts()) all.push_back({json, "", ""});
    for (Shape shape : std::initializer_list<Shape>{{"0", "0", ""},
                                                    {"7.5", "7.5", ""},
                                                    {"false", "", ""},
                                                    {R"(" ")", " ", ""},
                                                    {R"("\u3000")", "\u3000", ""},
                                                    {R"("\n")", "\n", ""},
                                                    {R"("\u200b")", "\u200b", ""},
                                                    {R"("<null>")", "", ""},
                                                    {R"j("(null)")j", "", ""},
                                                    {R"("NaN")", "", ""},
                                                    {R"("-Infinity")", "", ""},
                                                    {R"("活动")", "活动", "活动"}}) {
      all.push_back(std::move(shape));
    }
    return all;
  }();
  return values;
}

}  // namespace shown
