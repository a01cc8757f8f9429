// Test support: every text a view tree shows (labels, text views, text
// fields, button titles) and the test for a text no player can read: the
// "%@" text of a value left out ("(null)"), of the null object ("<null>"),
// of a list ("(\n...)") or of a dictionary ("{\n...}"). Header-only.
#pragma once

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

inline bool unreadable(const std::string& text) {
  for (const char* mark : {"(null)", "<null>", "(\n", "{\n"}) {
    if (text.find(mark) != std::string::npos) return true;
  }
  return false;
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

// Messages of blanks only, of a number or a flag, of a collection: none is
// a message a toast could show (JSON texts).
inline const std::vector<std::string>& unreadableMessages() {
  static const std::vector<std::string> values = {R"([null])", R"(["x"])", R"({"a":"b"})", "[]",     "{}",
                                                  "0",         "false",    R"(" ")",      R"("\n")", R"(" \t\u3000")"};
  return values;
}

}  // namespace shown
