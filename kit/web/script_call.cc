// Writing and reading scripts made of function calls with literal
// arguments. See script_call.h.
#include "kit/web/script_call.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

namespace kit {

namespace {

// Limits that keep a hostile script from costing much.
constexpr size_t kMaxCalls = 1000;
constexpr size_t kMaxArguments = 64;

bool isIdentifierStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; }
bool isIdentifierPart(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }
// JavaScript white space and line terminators (the ASCII ones, and the
// no-break space and line/paragraph separators in UTF-8).
size_t spaceLength(std::string_view s, size_t i) {
  const char c = s[i];
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return 1;
  if (s.compare(i, 2, "\xC2\xA0") == 0) return 2;
  if (s.compare(i, 3, "\xE2\x80\xA8") == 0 || s.compare(i, 3, "\xE2\x80\xA9") == 0 ||
      s.compare(i, 3, "\xEF\xBB\xBF") == 0)
    return 3;
  return 0;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp > 0x10FFFF) cp = 0xFFFD;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// One UTF-8 sequence at a position, as the WHATWG decoder reads it.
struct Sequence {
  size_t length;   // bytes taken: the sequence, or the ill-formed bytes
  bool wellFormed;
  bool surrogate;  // ED A0..BF 80..BF: a lone surrogate in kit's 3-byte form
};

Sequence sequenceAt(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return {1, true, false};
  size_t need = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) low = 0xA0;  // no overlong forms
    if (lead == 0xED) {
      if (i + 2 < s.size() && byte(i + 1) >= 0xA0 && byte(i + 1) <= 0xBF && (byte(i + 2) & 0xC0) == 0x80)
        return {3, true, true};
      high = 0x9F;
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return {1, false, false};  // a continuation byte, C0, C1 or F5..FF
  }
  for (size_t n = 1; n <= need; ++n) {
    if (i + n >= s.size() || byte(i + n) < low || byte(i + n) > high) return {n, false, false};
    low = 0x80, high = 0xBF;
  }
  return {need + 1, true, false};
}

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  ScriptCallParse run() {
    ScriptCallParse result;
    skipSpaceAndSemicolons();
    while (i_ < s_.size() && error_.empty()) {
      if (result.calls.size() >= kMaxCalls) {
        fail("RangeError: too many calls");
        break;
      }
      ScriptCall call;
      if (!readCall(call)) break;
      result.calls.push_back(std::move(call));
      // Another statement may follow a semicolon or a line break (the
      // engine inserts the semicolon there), nothing else.
      const size_t before = i_;
      skipSpace();
      const bool newLine = s_.substr(before, i_ - before).find_first_of("\n\r") != std::string_view::npos;
      if (i_ < s_.size() && s_[i_] != ';' && !newLine) {
        fail("SyntaxError: Unexpected token after call");
        break;
      }
      skipSpaceAndSemicolons();
    }
    result.error = error_;
    return result;
  }

 private:
  void fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
  }
  void skipSpace() {
    while (i_ < s_.size()) {
      if (size_t n = spaceLength(s_, i_)) {
        i_ += n;
      } else if (s_.compare(i_, 2, "//") == 0) {
        while (i_ < s_.size() && s_[i_] != '\n') ++i_;
      } else if (s_.compare(i_, 2, "/*") == 0) {
        const size_t end = s_.find("*/", i_ + 2);
        if (end == std::string_view::npos) {
          fail("SyntaxError: Unterminated comment");
          i_ = s_.size();
          return;
        }
        i_ = end + 2;
      } else {
        return;
      }
    }
  }
  void skipSpaceAndSemicolons() {
    for (;;) {
      skipSpace();
      if (i_ < s_.size() && s_[i_] == ';') {
        ++i_;
        continue;
      }
      return;
    }
  }

  bool readCall(ScriptCall& call) {
    if (!isIdentifierStart(s_[i_])) {
      fail("SyntaxError: Unexpected token '" + std::string(1, s_[i_]) + "'");
      return false;
    }
    for (;;) {
      while (i_ < s_.size() && isIdentifierPart(s_[i_])) call.function += s_[i_++];
      if (i_ < s_.size() && s_[i_] == '.' && i_ + 1 < s_.size() && isIdentifierStart(s_[i_ + 1])) {
        call.function += s_[i_++];
        continue;
      }
      break;
    }
    skipSpace();
    if (i_ >= s_.size() || s_[i_] != '(') {
      fail("SyntaxError: Unexpected end of script, expected '(' after " + call.function);
      return false;
    }
    ++i_;
    skipSpace();
    if (i_ < s_.size() && s_[i_] == ')') {
      ++i_;
      return true;
    }
    for (;;) {
      if (call.arguments.size() >= kMaxArguments) {
        fail("RangeError: too many arguments");
        return false;
      }
      Id value;
      if (!readValue(value)) return false;
      call.arguments.push_back(std::move(value));
      skipSpace();
      if (i_ >= s_.size()) {
        fail("SyntaxError: Unexpected end of script");
        return false;
      }
      if (s_[i_] == ',') {
        ++i_;
        skipSpace();
        continue;
      }
      if (s_[i_] == ')') {
        ++i_;
        return true;
      }
      fail("SyntaxError: Unexpected token '" + std::string(1, s_[i_]) + "'. Expected ')' to end an argument list.");
      return false;
    }
  }

  bool readValue(Id& value) {
    if (i_ >= s_.size()) {
      fail("SyntaxError: Unexpected end of script");
      return false;
    }
    const char c = s_[i_];
    if (c == '\'' || c == '"') return readString(value);
    if (c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9')) return readNumber(value);
    std::string word;
    while (i_ < s_.size() && isIdentifierPart(s_[i_])) word += s_[i_++];
    if (word == "true") value = Number::yes();
    else if (word == "false") value = Number::no();
    else if (word == "null") value = null();
    else if (word == "undefined") value = nullptr;
    else {
      fail(word.empty() ? "SyntaxError: Unexpected token '" + std::string(1, c) + "'"
                        : "SyntaxError: only literal arguments are read, found '" + word + "'");
      return false;
    }
    return true;
  }

  bool readNumber(Id& value) {
    const size_t start = i_;
    if (s_[i_] == '-' || s_[i_] == '+') ++i_;
    while (i_ < s_.size() && ((s_[i_] >= '0' && s_[i_] <= '9') || s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E' ||
                              ((s_[i_] == '-' || s_[i_] == '+') && (s_[i_ - 1] == 'e' || s_[i_ - 1] == 'E'))))
      ++i_;
    const std::string text(s_.substr(start, i_ - start));
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(d)) {
      fail("SyntaxError: No identifiers allowed directly after numeric literal");
      return false;
    }
    value = Number::fromDouble(d);
    return true;
  }

  bool readString(Id& value) {
    const char quote = s_[i_++];
    std::u16string units;
    std::string pending;  // plain bytes not yet converted
    auto flush = [&] {
      if (pending.empty()) return;
      units += utf8ToUTF16(replacingInvalidUTF8(pending));
      pending.clear();
    };
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == quote) {
        ++i_;
        flush();
        value = String::make(utf16ToUTF8(units));
        return true;
      }
      if (c == '\n' || c == '\r' || s_.compare(i_, 3, "\xE2\x80\xA8") == 0 || s_.compare(i_, 3, "\xE2\x80\xA9") == 0) {
        fail("SyntaxError: Unexpected EOF");  // an unterminated string literal
        return false;
      }
      if (c != '\\') {
        pending += c;
        ++i_;
        continue;
      }
      flush();
      if (++i_ >= s_.size()) break;
      const char e = s_[i_++];
      switch (e) {
        case 'n': units += u'\n'; break;
        case 'r': units += u'\r'; break;
        case 't': units += u'\t'; break;
        case 'b': units += u'\b'; break;
        case 'f': units += u'\f'; break;
        case 'v': units += u'\v'; break;
        case '0':
          if (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
            fail("SyntaxError: Octal escape sequences are not allowed");
            return false;
          }
          units += u'\0';
          break;
        case '\r':
          if (i_ < s_.size() && s_[i_] == '\n') ++i_;
          break;  // a line continuation
        case '\n': break;
        case 'x': {
          const int h = i_ + 1 < s_.size() ? hexValue(s_[i_]) : -1;
          const int l = i_ + 1 < s_.size() ? hexValue(s_[i_ + 1]) : -1;
          if (h < 0 || l < 0) {
            fail("SyntaxError: \\x can only be followed by a hex character sequence");
            return false;
          }
          units += static_cast<char16_t>(h * 16 + l);
          i_ += 2;
          break;
        }
        case 'u': {
          uint32_t cp = 0;
          if (i_ < s_.size() && s_[i_] == '{') {
            size_t j = i_ + 1;
            size_t digits = 0;
            while (j < s_.size() && hexValue(s_[j]) >= 0 && digits < 8) {
              cp = cp * 16 + static_cast<uint32_t>(hexValue(s_[j++]));
              ++digits;
            }
            if (digits == 0 || j >= s_.size() || s_[j] != '}' || cp > 0x10FFFF) {
              fail("SyntaxError: \\u can only be followed by a Unicode character sequence");
              return false;
            }
            i_ = j + 1;
            appendCodePoint(units, cp);
          } else {
            for (int k = 0; k < 4; ++k) {
              const int v = i_ < s_.size() ? hexValue(s_[i_]) : -1;
              if (v < 0) {
                fail("SyntaxError: \\u can only be followed by a Unicode character sequence");
                return false;
              }
              cp = cp * 16 + static_cast<uint32_t>(v);
              ++i_;
            }
            units += static_cast<char16_t>(cp);
          }
          break;
        }
        default:
          // Any other escaped character stands for itself (its UTF-8 bytes
          // follow as plain text).
          pending += e;
          break;
      }
    }
    fail("SyntaxError: Unexpected EOF");
    return false;
  }

  std::string_view s_;
  size_t i_ = 0;
  std::string error_;
};

}  // namespace

std::string replacingInvalidUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const Sequence sequence = sequenceAt(bytes, i);
    if (sequence.wellFormed) out.append(bytes.substr(i, sequence.length));
    else out += kReplacementCharacter;
    i += sequence.length;
  }
  return out;
}

std::string javaScriptStringLiteral(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 8);
  out += '\'';
  for (size_t i = 0; i < text.size();) {
    const Sequence sequence = sequenceAt(text, i);
    const std::string_view bytes = text.substr(i, sequence.length);
    i += sequence.length;
    if (!sequence.wellFormed) {
      out += kReplacementCharacter;
      continue;
    }
    const auto lead = static_cast<unsigned char>(bytes[0]);
    if (sequence.surrogate) {
      // ED A0..BF 80..BF holds the unit D800..DFFF.
      const unsigned unit = 0xD000 | ((static_cast<unsigned char>(bytes[1]) & 0x3F) << 6) |
                            (static_cast<unsigned char>(bytes[2]) & 0x3F);
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
      continue;
    }
    if (bytes == "\xE2\x80\xA8" || bytes == "\xE2\x80\xA9") {
      // Line and paragraph separators end a line inside a literal.
      out += bytes[2] == '\xA8' ? "\\u2028" : "\\u2029";
      continue;
    }
    switch (lead) {
      case '\\': out += "\\\\"; break;
      case '\'': out += "\\'"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (lead < 0x20) {  // other control characters, NUL among them
          out += "\\x";
          out += kHex[lead >> 4];
          out += kHex[lead & 0xF];
        } else {
          out.append(bytes);
        }
    }
  }
  out += '\'';
  return out;
}

std::string scriptCall(std::string_view function, std::string_view text) {
  std::string out(function);
  out += '(';
  out += javaScriptStringLiteral(text);
  out += ')';
  return out;
}

std::optional<std::string> ScriptCall::firstString() const {
  if (arguments.empty()) return std::nullopt;
  if (auto s = as<String>(arguments.front())) return s->utf8();
  return std::nullopt;
}

ScriptCallParse parseScriptCalls(std::string_view script) { return Reader(script).run(); }

std::optional<std::vector<Id>> decodeCallbackArguments(std::string_view script, std::string_view function) {
  ScriptCallParse parse = parseScriptCalls(script);
  if (!parse.ok()) return std::nullopt;
  std::vector<Id> out;
  for (const ScriptCall& call : parse.calls) {
    if (call.function != function || call.arguments.size() != 1) continue;
    auto text = call.firstString();
    if (!text) continue;
    Id json = JSONSerialization::JSONObjectWithData(Data::make(*text), JSONReadingFragmentsAllowed);
    out.push_back(json ? json : Id(String::make(*text)));
  }
  return out;
}

}  // namespace kit
