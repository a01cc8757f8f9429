// Fuzz target for the texts shown of outside values (kit/foundation/values):
// any bytes as a server's text. The rules agree with each other and with
// what a label draws: a message is a shown text with something drawn in
// it, a name is any text with something drawn that is no spelling of
// nothing, a spelling of a number that is none is never shown and stays
// one in any case and with blanks added around it, and nothing after a
// NUL character changes what a text reads as.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/foundation/values.h"

namespace {

// Stops the run, saying which rule broke.
#define REQUIRE(holds)                                   \
  do {                                                   \
    if (!(holds)) {                                      \
      std::fprintf(stderr, "broken rule: %s\n", #holds); \
      std::abort();                                      \
    }                                                    \
  } while (0)

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text as a string object holds it (bytes that are no UTF-8 become
  // replacement characters).
  const kit::Ref<kit::String> value = kit::str(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string& text = value->utf8();
  const std::string shown = kit::shownText(value);
  const std::string readable = kit::readableText(value);
  const std::string name = kit::nameText(value);
  const bool visible = kit::hasVisibleCharacter(text);
  const bool noNumber = kit::spellsNoNumber(text);
  const bool null = kit::spellsNull(text);

  REQUIRE(shown.empty() || shown == text);
  REQUIRE(readable.empty() || readable == text);
  REQUIRE(name.empty() || name == text);
  REQUIRE(readable.empty() == (shown.empty() || !visible));
  REQUIRE(name.empty() == (text.empty() || !visible || null || text == "(null)" || text == "<null>"));
  if (noNumber || null) REQUIRE(shown.empty());
  REQUIRE(!(noNumber && null));

  // Blanks of every kind around a text, and the case of its letters, do
  // not change whether it spells a number that is none.
  const std::string wrapped = "\u00a0\u3000\v\f\u200b " + text + " \u200b\t\u3000";
  if (text.find('\0') == std::string::npos) {
    REQUIRE(kit::spellsNoNumber(wrapped) == noNumber);
    REQUIRE(kit::spellsNull(wrapped) == null);
    REQUIRE(kit::hasVisibleCharacter(wrapped) == visible);
  }
  REQUIRE(kit::spellsNoNumber(upper(text)) == noNumber);

  // What follows a NUL character is never drawn: it changes nothing.
  const std::string drawn = text.substr(0, text.find('\0'));
  const std::string tail = drawn + std::string(1, '\0') + "可见 text";
  REQUIRE(kit::hasVisibleCharacter(tail) == kit::hasVisibleCharacter(drawn));
  REQUIRE(kit::spellsNoNumber(tail) == kit::spellsNoNumber(drawn));
  REQUIRE(kit::readableText(kit::str(std::string(1, '\0') + text)).empty());
  return 0;
}
