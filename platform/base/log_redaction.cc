// Secrets masked in log lines. See log_redaction.h.
#include "platform/base/log_redaction.h"

#include <algorithm>
#include <cctype>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

namespace {

bool isWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_';
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isQuote(char c) { return c == '"' || c == '\''; }

// Where an unquoted value ends.
bool endsValue(char c) {
  return std::isspace(static_cast<unsigned char>(c)) || isQuote(c) || c == '&' || c == ';' || c == ',' ||
         c == '}' || c == ']' || c == ')' || c == '<' || c == '>';
}

// A value that opens a nested list or dictionary is not masked whole: its
// own secret keys are.
bool opensNesting(char c) { return c == '{' || c == '[' || c == '('; }

}  // namespace

bool LogRedaction::isSecretKey(std::string_view key) {
  std::string lower(key);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  for (const char* part : {"token", "password", "passwd", "pwd", "session"}) {
    if (lower.find(part) != std::string::npos) return true;
  }
  return lower == "sid" || lower.ends_with("_sid");
}

std::string LogRedaction::redactedText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (!isWordByte(text[i])) {
      out += text[i++];
      continue;
    }
    const size_t start = i;
    while (i < n && isWordByte(text[i])) ++i;
    out.append(text.substr(start, i - start));
    if (!isSecretKey(text.substr(start, i - start))) continue;

    // The key, a closing quote, blanks, "=" or ":", blanks, then the value.
    size_t j = i;
    if (j < n && isQuote(text[j])) ++j;
    while (j < n && isBlank(text[j])) ++j;
    if (j >= n || (text[j] != '=' && text[j] != ':')) continue;
    ++j;
    while (j < n && isBlank(text[j])) ++j;
    if (j >= n || opensNesting(text[j])) continue;
    if (isQuote(text[j])) {
      const char quote = text[j];
      size_t end = j + 1;
      while (end < n && text[end] != quote) end += (text[end] == '\\' && end + 1 < n) ? 2 : 1;
      out.append(text.substr(i, j + 1 - i));
      out += kMask;
      if (end < n) out += quote;
      i = std::min(end + 1, n);
    } else {
      size_t end = j;
      while (end < n && !endsValue(text[end])) ++end;
      if (end == j) continue;
      out.append(text.substr(i, j - i));
      out += kMask;
      i = end;
    }
  }
  return out;
}

kit::Id LogRedaction::redacted(const kit::Id& value) {
  if (auto dictionary = kit::as<kit::Dictionary>(value)) {
    kit::Dictionary::Entries entries = dictionary->entries();
    bool changed = false;
    for (auto& [key, entry] : entries) {
      kit::Id masked;
      auto name = kit::as<kit::String>(key);
      if (name && isSecretKey(name->utf8()) && entry && !kit::isKind<kit::Null>(entry)) {
        masked = kit::str(kMask);
      } else {
        masked = redacted(entry);
      }
      changed = changed || masked != entry;
      entry = masked;
    }
    return changed ? kit::Id(kit::Dictionary::make(std::move(entries))) : value;
  }
  if (auto array = kit::as<kit::Array>(value)) {
    std::vector<kit::Id> objects = array->objects();
    bool changed = false;
    for (auto& object : objects) {
      kit::Id masked = redacted(object);
      changed = changed || masked != object;
      object = masked;
    }
    return changed ? kit::Id(kit::Array::make(std::move(objects))) : value;
  }
  if (auto text = kit::as<kit::String>(value)) {
    std::string masked = redactedText(text->utf8());
    return masked == text->utf8() ? value : kit::Id(kit::str(masked));
  }
  return value;
}
