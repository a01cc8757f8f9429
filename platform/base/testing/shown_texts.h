// Test support: every text a view tree shows (labels, text views, text
// fields, button titles) and the test for a text no player can read: the
// "%@" text of a value left out ("(null)"), of the null object ("<null>"),
// of a list ("(\n...)"), of a dictionary ("{\n...}") or of a number that
// is none ("NaN", "INF", "-Infinity", "nan(0x8000)" ... on its own, not
// inside a word). The values a reply may put in a text's place, with what
// a label and a message make of each. Header-only.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
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

// Whether `text` holds the spelling of a number that is none that is not
// part of a longer word ("×NaN", "代金券:NaN元", "满INF元可用", "¥nan(0x8000)",
// but not "BaNaNa" or "Info").
inline bool readsNaN(const std::string& text) {
  auto inWord = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '(' ||
           c == ')';
  };
  for (size_t at = 0; at < text.size();) {
    if (!inWord(text[at])) {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < text.size() && inWord(text[end])) ++end;
    if (kit::spellsNoNumber(std::string_view(text).substr(at, end - at))) return true;
    at = end;
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

// How servers spell a number that is none: any case, any sign, a NaN's
// payload, and characters that draw nothing around them (no-break and
// ideographic spaces, a vertical tab, a form feed, a zero-width space)
// (JSON texts).
inline const std::vector<std::string>& numberSpellings() {
  static const std::vector<std::string> values = {
      R"("NaN")",      R"("NAN")",         R"("INF")",          R"("-INF")",          R"("Inf")",
      R"("+Inf")",     R"("-Inf")",        R"("-NaN")",         R"("infinity")",      R"j("nan(0x8000)")j",
      R"("-Infinity")", R"("\u00a0NaN")", R"("\u3000INF\u3000")", R"("\u000bNAN\f")", R"("\u200b-inf")"};
  return values;
}

// Texts that spell nothing a player can read: blanks, a line break, a
// zero-width space, the texts of a missing value and of the null object,
// and the spellings of a number that is none (JSON texts).
inline const std::vector<std::string>& spellingsOfNothing() {
  static const std::vector<std::string> values = [] {
    std::vector<std::string> all = {R"(" ")",      R"("\u3000")",    R"("\n")",         R"("\u200b")",
                                    R"("<null>")", R"j("(null)")j", R"(" <null>\u3000")"};
    all.insert(all.end(), numberSpellings().begin(), numberSpellings().end());
    return all;
  }();
  return values;
}

// Messages of blanks only, of characters that draw nothing, of a number or
// a flag, of a collection, of the texts of a missing value or of a number
// that is none, and one a NUL ends before its first character: none is a
// message a toast could show (JSON texts).
inline const std::vector<std::string>& unreadableMessages() {
  static const std::vector<std::string> values = [] {
    std::vector<std::string> all = {
        R"([null])", R"(["x"])", R"({"a":"b"})", "[]",         "{}",          "0",         "false", "true",
        R"(" ")",    R"("\n")",  R"(" \t\u3000")", R"("\u200b")", R"("<null>")", R"j("(null)")j", R"("\u0000领取成功")"};
    all.insert(all.end(), numberSpellings().begin(), numberSpellings().end());
    return all;
  }();
  return values;
}

// A value a reply may put where a text belongs (a JSON text), with what a
// label shows of it, what a message reads of it (a toast, a text on a
// plate or in a coloured box, where blanks would show an empty box) and
// what a player's name (a user name, a nickname) shows of it. A
// collection, a flag and the texts of a missing value show nothing
// anywhere; a number shows in a label and as a name but is no message;
// blanks and characters that draw nothing stay in a label as they are,
// and are no message and no name; the spelling of a number that is none
// shows in no label and is no message, but is a name as it came.
struct Shape {
  std::string json;
  std::string label;
  std::string message;
  std::string name;
};

inline const std::vector<Shape>& shapes() {
  static const std::vector<Shape> values = [] {
    std::vector<Shape> all;
    for (const std::string& json : notTexts()) all.push_back({json, "", "", ""});
    for (Shape shape : std::initializer_list<Shape>{{"0", "0", "", "0"},
                                                    {"7.5", "7.5", "", "7.5"},
                                                    {"false", "", "", ""},
                                                    {R"(" ")", " ", "", ""},
                                                    {R"("\u3000")", "\u3000", "", ""},
                                                    {R"("\n")", "\n", "", ""},
                                                    {R"("\u200b")", "\u200b", "", ""},
                                                    {R"("<null>")", "", "", ""},
                                                    {R"j("(null)")j", "", "", ""},
                                                    {R"("活动")", "活动", "活动", "活动"}}) {
      all.push_back(std::move(shape));
    }
    for (const std::string& json : numberSpellings()) {
      auto text = kit::as<kit::String>(kit::JSONSerialization::JSONObjectWithData(
          kit::Data::make(json), kit::JSONReadingFragmentsAllowed));
      all.push_back({json, "", "", text ? text->utf8() : std::string("(not JSON text)")});
    }
    return all;
  }();
  return values;
}

}  // namespace shown
