// Literals, the "is set" test and the texts shown of outside values.

#include "kit/foundation/values.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cmath>
#include <cstdint>

namespace kit {

Ref<Dictionary> dict(std::initializer_list<std::pair<Value, Value>> entries) {
  Dictionary::Entries out;
  out.reserve(entries.size());
  for (const auto& [k, v] : entries) {
    if (v.id()) out.emplace_back(k.id(), v.id());
  }
  return Dictionary::make(std::move(out));
}

Ref<MutableDictionary> mutableDict(std::initializer_list<std::pair<Value, Value>> entries) {
  Dictionary::Entries out;
  for (const auto& [k, v] : entries) {
    if (v.id()) out.emplace_back(k.id(), v.id());
  }
  return MutableDictionary::make(std::move(out));
}

Ref<Array> array(std::initializer_list<Value> elements) {
  std::vector<Id> out;
  out.reserve(elements.size());
  for (const Value& v : elements) out.push_back(v.id());
  return Array::make(std::move(out));
}

Ref<MutableArray> mutableArray(std::initializer_list<Value> elements) {
  std::vector<Id> out;
  for (const Value& v : elements) out.push_back(v.id());
  return MutableArray::make(std::move(out));
}

namespace {

// What a number that is none prints as, from C's printf, JavaScript and
// JSON writers that let them through, with or without blanks around it.
bool spellsNoNumber(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  for (const char* spelling : {"NaN", "nan", "-nan", "+nan", "inf", "-inf", "+inf", "Infinity", "-Infinity",
                               "+Infinity"}) {
    if (text == spelling) return true;
  }
  return false;
}

// A code point that draws nothing on its own: white space and separators,
// control and format characters, the ones Unicode says to ignore when not
// supported (zero-width and filler characters, variation selectors) and
// combining marks with nothing to combine with.
bool drawsNothing(UChar32 c) {
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_NON_SPACING_MARK:
    case U_ENCLOSING_MARK:
    case U_SURROGATE:
    case U_UNASSIGNED:
      return true;
    default:
      return u_isUWhiteSpace(c) || u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) || c == 0x2800;
  }
}

}  // namespace

bool hasVisibleCharacter(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c >= 0 && !drawsNothing(c)) return true;
  }
  return false;
}

bool isSet(const Id& value) {
  if (auto string = as<String>(value)) {
    const std::string& text = string->utf8();
    return !text.empty() && text != "(null)" && text != "<null>";
  }
  auto number = as<Number>(value);
  return number && !number->isBool() && std::isfinite(number->doubleValue());
}

std::string shownText(const Id& value) {
  if (!isSet(value)) return std::string();
  std::string text = describe(value);
  return spellsNoNumber(text) ? std::string() : text;
}

std::string readableText(const Id& value) {
  if (!isKind<String>(value)) return std::string();
  std::string text = shownText(value);
  return hasVisibleCharacter(text) ? text : std::string();
}

}  // namespace kit
