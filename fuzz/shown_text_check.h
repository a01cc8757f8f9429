// What the reply fuzz targets check of the screen once a reply has been
// taken: no text a player can see (labels, text views, text fields, button
// titles, in every window, the toasts' included) reads "(null)" or
// "<null>", the texts of a value the reply did not set, "NaN", the text of
// an amount that is no number, or the "%@" text of a list ("(\n") or a
// dictionary ("{\n"), which is what a collection in a text's place shows.
// A reply may show such a text when it carries it itself: in one of its
// strings, or in its bytes (some screens show a text that is no JSON as it
// came); only the texts a reply carries go unchecked. A "NaN" that stands
// alone in a reply (a string or a body that is nothing but the spelling of
// a number that is none) is no text of the reply but an amount that is
// none: it never licenses a "NaN" on screen, nor does the "NaN" of a JSON
// body outside its strings; except on screens that show names the reply
// gives, which show any text that draws something as it came.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/text_field.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace shownfuzz {

// The texts no screen shows of its own.
inline constexpr std::array<std::string_view, 5> kUnsetTexts = {"(null)", "<null>", "NaN", "(\n", "{\n"};
static_assert(kUnsetTexts[2] == "NaN");

// Whether the screen checked shows the names a reply gives (a player's
// user name or nickname), which may be the spelling of a number.
enum class Names { NotShown, Shown };

// Which of kUnsetTexts the reply carries and may therefore show.
class Carried {
 public:
  Carried(const uint8_t* data, size_t size, Names names = Names::NotShown) : names_(names) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kit::Id value = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(std::string(bytes)),
                                                              kit::JSONReadingFragmentsAllowed);
    // The bytes of a JSON reply carry "NaN" only inside its strings.
    note(bytes, /*numberSpellings=*/!value);
    noteStrings(value, 0);
  }

  // Whether the text reads one of kUnsetTexts the reply does not carry.
  bool readsUnset(std::string_view text) const {
    for (size_t i = 0; i < kUnsetTexts.size(); ++i) {
      if (!carried_[i] && text.find(kUnsetTexts[i]) != std::string_view::npos) return true;
    }
    return false;
  }

 private:
  static constexpr size_t kNaN = 2;

  void note(std::string_view text, bool numberSpellings = true) {
    for (size_t i = 0; i < kUnsetTexts.size(); ++i) {
      // A spelling of a number that is none (kit::shownText never shows
      // one) licenses "NaN" only where names show as they came.
      const bool amount = kit::spellsNoNumber(text) && names_ == Names::NotShown;
      if (i == kNaN && (!numberSpellings || amount)) continue;
      if (text.find(kUnsetTexts[i]) != std::string_view::npos) carried_[i] = true;
    }
  }
  void noteStrings(const kit::Id& value, int depth) {
    if (depth > 64) return;
    if (auto string = kit::as<kit::String>(value)) note(string->utf8());
    if (auto array = kit::as<kit::Array>(value)) {
      for (const kit::Id& element : *array) noteStrings(element, depth + 1);
    }
    if (auto dictionary = kit::as<kit::Dictionary>(value)) {
      for (const auto& [key, element] : dictionary->entries()) {
        noteStrings(key, depth + 1);
        noteStrings(element, depth + 1);
      }
    }
  }

  Names names_;
  std::array<bool, kUnsetTexts.size()> carried_{};
};

inline void checkView(const kit::View& view, const Carried& carried) {
  std::string text;
  if (auto label = dynamic_cast<const kit::Label*>(&view)) text = label->text();
  if (auto field = dynamic_cast<const kit::TextField*>(&view)) text = field->text();
  if (auto textView = dynamic_cast<const kit::TextView*>(&view)) text = textView->text();
  if (auto button = dynamic_cast<const kit::Button*>(&view)) text = button->currentTitle();
  if (carried.readsUnset(text)) std::abort();
  for (const auto& subview : view.subviews()) checkView(*subview, carried);
}

// Checks the view tree of a view not on screen.
inline void checkTree(const kit::View& root, const uint8_t* data, size_t size, Names names = Names::NotShown) {
  checkView(root, Carried(data, size, names));
}

// Checks every window's view tree.
inline void checkScreen(const uint8_t* data, size_t size) {
  const Carried carried(data, size);
  for (const auto& window : kit::Application::shared()->windows()) checkView(*window, carried);
}

}  // namespace shownfuzz
