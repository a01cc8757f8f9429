// Strings-file reader: decoding, then a single-pass scanner over the text.

#include "kit/foundation/strings_file.h"

#include <string>

#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

constexpr long CorruptError = 3840;  // the platform's property-list read corrupt error

bool isUnquotedCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  Ref<Dictionary> run(Ref<Error>* error) {
    Dictionary::Entries entries;
    std::string key, value;
    for (;;) {
      if (!skipSpaceAndComments()) return fail(error);
      if (atEnd()) break;
      if (!readString(key, "a key")) return fail(error);
      if (!skipSpaceAndComments()) return fail(error);
      if (peek() == ';') {
        ++pos_;
        entries.emplace_back(String::make(key), String::make(key));
        continue;
      }
      if (peek() != '=') return fail(error, "expected '=' or ';' after the key \"" + key + "\"");
      ++pos_;
      if (!skipSpaceAndComments()) return fail(error);
      if (!readString(value, "a value")) return fail(error);
      if (!skipSpaceAndComments()) return fail(error);
      if (peek() != ';') return fail(error, "expected ';' after the value of \"" + key + "\"");
      ++pos_;
      entries.emplace_back(String::make(key), String::make(value));
    }
    return Dictionary::make(std::move(entries));
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  size_t lineAt(size_t pos) const {
    size_t line = 1;
    for (size_t i = 0; i < pos && i < text_.size(); ++i) line += text_[i] == '\n';
    return line;
  }

  Ref<Dictionary> fail(Ref<Error>* error, const std::string& problem = {}) {
    if (!problem.empty()) problem_ = problem, problemAt_ = pos_;
    if (error) {
      std::string text = "Strings file is malformed at line " + std::to_string(lineAt(problemAt_)) + ": " + problem_;
      *error = Error::make(CocoaErrorDomain, CorruptError,
                           dict({{LocalizedDescriptionKey, "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
                                 {"NSDebugDescription", text}}));
    }
    return nullptr;
  }

  bool problem(const std::string& what) {
    problem_ = what;
    problemAt_ = pos_;
    return false;
  }

  // Skips white space and comments; false for an unterminated comment.
  bool skipSpaceAndComments() {
    while (!atEnd()) {
      char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (text_.substr(pos_, 2) == "/*") {
        size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) return problem("a comment is not closed");
        pos_ = end + 2;
      } else if (text_.substr(pos_, 2) == "//") {
        size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else {
        break;
      }
    }
    return true;
  }

  bool readString(std::string& out, const char* what) {
    out.clear();
    if (peek() == '"') return readQuoted(out);
    size_t start = pos_;
    while (!atEnd() && isUnquotedCharacter(text_[pos_])) ++pos_;
    if (pos_ == start) {
      if (atEnd()) return problem(std::string("expected ") + what + " before the end of the file");
      return problem(std::string("expected ") + what + ", found '" + std::string(1, text_[pos_]) + "'");
    }
    out.assign(text_.substr(start, pos_ - start));
    return true;
  }

  bool readQuoted(std::string& out) {
    size_t open = pos_++;
    while (!atEnd()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (atEnd()) break;
      char e = text_[pos_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'u':
        case 'U': {
          char32_t unit;
          if (!readHex4(unit)) return false;
          // A high surrogate followed by an escaped low one is one character.
          if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(pos_, 2).size() == 2 && text_[pos_] == '\\' &&
              (text_[pos_ + 1] == 'U' || text_[pos_ + 1] == 'u')) {
            size_t save = pos_;
            pos_ += 2;
            char32_t low;
            if (readHex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
              appendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
              break;
            }
            pos_ = save;
            problem_.clear();
          }
          appendCodePoint(out, unit);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned v = static_cast<unsigned>(e - '0');
            for (int i = 0; i < 2 && !atEnd() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++i) {
              v = v * 8 + static_cast<unsigned>(text_[pos_++] - '0');
            }
            appendCodePoint(out, v);
          } else {
            out += e;  // \" \\ \' and any other character stand for themselves
          }
      }
    }
    pos_ = open;
    return problem("a quoted string is not closed");
  }

  bool readHex4(char32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      int h = atEnd() ? -1 : hexValue(text_[pos_]);
      if (h < 0) return problem("\\U needs four hex digits");
      out = out << 4 | static_cast<char32_t>(h);
      ++pos_;
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string problem_;
  size_t problemAt_ = 0;
};

// The file's text as UTF-8, or false when it is neither UTF-16 nor UTF-8.
bool decode(std::string_view bytes, std::string& out) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  bool utf16 = false, littleEndian = true;
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    utf16 = true, bytes.remove_prefix(2);
  } else if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
    utf16 = true, littleEndian = false, bytes.remove_prefix(2);
  } else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && (at(0) == 0) != (at(1) == 0)) {
    utf16 = true, littleEndian = at(1) == 0;  // text starts with an ASCII character
  }
  if (!utf16) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (!isValidUTF8(bytes)) return false;
    out.assign(bytes);
    return true;
  }
  if (bytes.size() % 2) return false;
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    unsigned a = at(2 * i), b = at(2 * i + 1);
    units[i] = static_cast<char16_t>(littleEndian ? (b << 8 | a) : (a << 8 | b));
  }
  out = utf16ToUTF8(units);
  return true;
}

}  // namespace

Ref<Dictionary> StringsFile::parse(const Ref<Data>& data, Ref<Error>* error) {
  std::string text;
  if (!data || !decode(data->view(), text)) {
    if (error) {
      *error = Error::make(CocoaErrorDomain, CorruptError,
                           dict({{LocalizedDescriptionKey, "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
                                 {"NSDebugDescription", "Strings file is neither UTF-8 nor UTF-16 text."}}));
    }
    return nullptr;
  }
  return parseText(text, error);
}

Ref<Dictionary> StringsFile::parseText(std::string_view text, Ref<Error>* error) { return Scanner(text).run(error); }

}  // namespace kit
