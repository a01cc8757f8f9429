// Key-name conversions and the URL of a text.

#include "data/model/mx_string.h"

#include <string>
#include <string_view>

#include "kit/foundation/percent_encoding.h"

namespace {

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
char lower(char c) { return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return isLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

kit::Ref<kit::String> mx_underlineFromCamel(const kit::Ref<kit::String>& text) {
  if (!text || text->empty()) return text;
  std::string out;
  for (char c : text->utf8()) {
    if (isUpper(c)) out += '_';
    out += lower(c);
  }
  return kit::str(out);
}

kit::Ref<kit::String> mx_camelFromUnderline(const kit::Ref<kit::String>& text) {
  if (!text || text->empty()) return text;
  const std::string& in = text->utf8();
  std::string out;
  size_t start = 0;
  bool first = true;
  while (start <= in.size()) {
    size_t end = in.find('_', start);
    if (end == std::string::npos) end = in.size();
    std::string piece = in.substr(start, end - start);
    if (first) {
      out += piece;
      first = false;
    } else if (!piece.empty()) {
      piece[0] = upper(piece[0]);
      out += piece;
    }
    start = end + 1;
  }
  return kit::str(out);
}

kit::Ref<kit::String> mx_firstCharLower(const kit::Ref<kit::String>& text) {
  if (!text || text->empty()) return text;
  std::string out = text->utf8();
  out[0] = lower(out[0]);
  return kit::str(out);
}

kit::Ref<kit::String> mx_firstCharUpper(const kit::Ref<kit::String>& text) {
  if (!text || text->empty()) return text;
  std::string out = text->utf8();
  out[0] = upper(out[0]);
  return kit::str(out);
}

bool mx_isPureInt(const kit::Ref<kit::String>& text) {
  if (!text) return false;
  const std::string& in = text->utf8();
  size_t at = 0;
  while (at < in.size() && isSpace(in[at])) ++at;
  if (at < in.size() && (in[at] == '+' || in[at] == '-')) ++at;
  size_t digitsStart = at;
  while (at < in.size() && in[at] >= '0' && in[at] <= '9') ++at;
  if (at == digitsStart) return false;
  while (at < in.size() && isSpace(in[at])) ++at;
  return at == in.size();
}

kit::Ref<kit::URL> mx_url(const kit::Ref<kit::String>& text) {
  if (!text) return nullptr;
  static constexpr std::string_view kLeftAsTheyAre = "!$&'()*+,-./:;=?@_~%#[]";
  bool needsEscapes = false;
  for (char c : text->utf8()) {
    bool alphanumeric = (c >= '0' && c <= '9') || isLower(c) || isUpper(c);
    if (!alphanumeric && kLeftAsTheyAre.find(c) == std::string_view::npos) {
      needsEscapes = true;
      break;
    }
  }
  if (!needsEscapes) return kit::URL::URLWithString(text);
  kit::Ref<kit::String> escaped = kit::stringByAddingPercentEscapes(*text, kLeftAsTheyAre, "");
  return escaped ? kit::URL::URLWithString(escaped) : nullptr;
}
