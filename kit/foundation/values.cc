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

// What a label draws of the text (all up to its first NUL character),
// without the characters that draw nothing (and bytes that are no UTF-8)
// at either end.
std::string_view drawnWithoutBlanksAround(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  int32_t begin = 0, end = static_cast<int32_t>(text.size());
  while (begin < end) {
    int32_t next = begin;
    UChar32 c;
    U8_NEXT(bytes, next, end, c);
    if (c >= 0 && !drawsNothing(c)) break;
    begin = next;
  }
  while (end > begin) {
    int32_t previous = end;
    UChar32 c;
    U8_PREV(bytes, begin, previous, c);
    if (c >= 0 && !drawsNothing(c)) break;
    end = previous;
  }
  return text.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) return false;
  }
  return true;
}

// A NaN's payload as C reads one: letters, digits and underscores.
bool isPayload(std::string_view text) {
  for (const char c : text) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!word) return false;
  }
  return true;
}

}  // namespace

bool spellsNoNumber(std::string_view text) {
  text = drawnWithoutBlanksAround(text);
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  if (equalsIgnoringCase(text, "inf") || equalsIgnoringCase(text, "infinity")) return true;
  if (text.size() < 3 || !equalsIgnoringCase(text.substr(0, 3), "nan")) return false;
  text.remove_prefix(3);
  if (text.empty()) return true;
  return text.size() >= 2 && text.front() == '(' && text.back() == ')' && isPayload(text.substr(1, text.size() - 2));
}

bool spellsNull(std::string_view text) {
  text = drawnWithoutBlanksAround(text);
  return text == "(null)" || text == "<null>";
}

bool hasVisibleCharacter(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c == 0) return false;  // nothing after it is drawn
    if (c > 0 && !drawsNothing(c)) return true;
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
  return spellsNull(text) || spellsNoNumber(text) ? std::string() : text;
}

std::string nameText(const Id& value) {
  if (!isSet(value)) return std::string();
  std::string text = describe(value);
  return !hasVisibleCharacter(text) || spellsNull(text) ? std::string() : text;
}

std::string readableText(const Id& value) {
  if (!isKind<String>(value)) return std::string();
  std::string text = shownText(value);
  return hasVisibleCharacter(text) ? text : std::string();
}

}  // namespace kit
