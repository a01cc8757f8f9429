// Case-insensitive header fields and the response-head parsers.
#include "kit/net/http_header_fields.h"

#include <cctype>
#include <cstdint>

#include "kit/foundation/format.h"
#include "kit/foundation/string.h"

namespace kit {

namespace {

// Header names and the tokens compared here are ASCII, whatever the locale.
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

bool isTokenChar(unsigned char c) {
  if (c <= 0x20 || c >= 0x7f) return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) == std::string_view::npos;
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = lower(c);
  return out;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

const std::string* HTTPHeaderFields::find(std::string_view name) const {
  for (const auto& [n, v] : entries_) {
    if (equalsIgnoringCase(n, name)) return &v;
  }
  return nullptr;
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
  const std::string* v = find(name);
  return v ? std::optional<std::string>(*v) : std::nullopt;
}

void HTTPHeaderFields::set(std::string_view name, std::optional<std::string_view> value) {
  bool placed = false;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (!equalsIgnoringCase(it->first, name)) {
      ++it;
      continue;
    }
    if (value && !placed) {
      it->second = std::string(*value);
      placed = true;
      ++it;
    } else {
      it = entries_.erase(it);
    }
  }
  if (value && !placed) entries_.emplace_back(std::string(name), std::string(*value));
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
  for (auto& [n, v] : entries_) {
    if (equalsIgnoringCase(n, name)) {
      v += ",";
      v += value;
      return;
    }
  }
  entries_.emplace_back(std::string(name), std::string(value));
}

Ref<Dictionary> HTTPHeaderFields::dictionary() const {
  auto out = MutableDictionary::make();
  for (const auto& [n, v] : entries_) out->setObject(String::make(v), n);
  return std::static_pointer_cast<Dictionary>(out->copy());
}

HTTPHeaderFields HTTPHeaderFields::fromDictionary(const Ref<Dictionary>& fields) {
  HTTPHeaderFields out;
  if (!fields) return out;
  for (const auto& [k, v] : fields->entries()) {
    auto name = as<String>(k);
    if (!name || !v) continue;
    out.set(name->utf8(), describe(v));
  }
  return out;
}

std::optional<HTTPStatusLine> parseStatusLine(std::string_view line) {
  line = trim(line);
  if (!line.starts_with("HTTP/")) return std::nullopt;
  size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  HTTPStatusLine out;
  out.version = std::string(line.substr(0, space));
  std::string_view rest = line.substr(space + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.size() < 3) return std::nullopt;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return std::nullopt;
    code = code * 10 + (rest[i] - '0');
  }
  if (rest.size() > 3 && rest[3] != ' ') return std::nullopt;
  out.statusCode = code;
  out.reason = std::string(trim(rest.substr(3)));
  return out;
}

namespace {

// The name and the trimmed value of a header line, pointing into it.
std::optional<std::pair<std::string_view, std::string_view>> splitHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view name = line.substr(0, colon);
  for (unsigned char c : name) {
    if (!isTokenChar(c)) return std::nullopt;
  }
  return std::pair{name, trim(line.substr(colon + 1))};
}

}  // namespace

std::optional<HTTPHeaderFields::Entry> parseHeaderLine(std::string_view line) {
  auto split = splitHeaderLine(line);
  if (!split) return std::nullopt;
  return HTTPHeaderFields::Entry{std::string(split->first), std::string(split->second)};
}

ContentType parseContentType(std::string_view value) {
  ContentType out;
  size_t semi = value.find(';');
  std::string_view type = trim(value.substr(0, semi));
  if (type.find('/') != std::string_view::npos && type.front() != '/' && type.back() != '/') {
    out.mimeType = lowered(type);
  }
  while (semi != std::string_view::npos) {
    std::string_view rest = value.substr(semi + 1);
    semi = rest.find(';');
    std::string_view param = trim(rest.substr(0, semi));
    value = rest;
    size_t eq = param.find('=');
    if (eq == std::string_view::npos) continue;
    if (!equalsIgnoringCase(trim(param.substr(0, eq)), "charset")) continue;
    std::string_view cs = trim(param.substr(eq + 1));
    if (cs.size() >= 2 && cs.front() == '"' && cs.back() == '"') cs = cs.substr(1, cs.size() - 2);
    out.charset = lowered(cs);
  }
  return out;
}

std::optional<int64_t> parseContentLength(std::string_view value) {
  std::optional<int64_t> length;
  for (;;) {
    const size_t comma = value.find(',');
    std::string_view item = trim(value.substr(0, comma));
    if (item.empty()) return std::nullopt;
    int64_t n = 0;
    for (char c : item) {
      if (c < '0' || c > '9') return std::nullopt;
      const int digit = c - '0';
      if (n > (INT64_MAX - digit) / 10) return std::nullopt;
      n = n * 10 + digit;
    }
    if (length && *length != n) return std::nullopt;
    length = n;
    if (comma == std::string_view::npos) return length;
    value.remove_prefix(comma + 1);
  }
}

std::string dispositionFilename(std::string_view value) {
  size_t pos = 0;
  while (pos < value.size()) {
    size_t semi = value.find(';', pos);
    std::string_view param = trim(value.substr(pos, semi == std::string_view::npos ? std::string_view::npos : semi - pos));
    pos = semi == std::string_view::npos ? value.size() : semi + 1;
    size_t eq = param.find('=');
    if (eq == std::string_view::npos) continue;
    if (!equalsIgnoringCase(trim(param.substr(0, eq)), "filename")) continue;
    std::string_view name = trim(param.substr(eq + 1));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    // Only the last path component: a server does not choose directories.
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    if (name == "." || name == "..") return {};
    return std::string(name);
  }
  return {};
}

bool ResponseHeadParser::feedLine(std::string_view line) {
  std::string_view content = line;
  while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) content.remove_suffix(1);
  if (content.empty()) {
    if (!status_) return false;
    if (status_->statusCode >= 200 || status_->statusCode < 100) complete_ = true;
    return true;
  }
  if (auto status = parseStatusLine(content)) {
    status_ = std::move(status);
    fields_.clear();
    fields_.reserve(8);  // a typical head's, in one allocation
    complete_ = false;
    return false;
  }
  if (!status_) return false;
  if ((content.front() == ' ' || content.front() == '\t') && !fields_.empty()) {
    // An obsolete folded continuation line belongs to the previous field.
    auto entries = fields_.entries();
    std::string name = entries.back().first;
    std::string value = entries.back().second + " " + std::string(trim(content));
    fields_.set(name, value);
    return false;
  }
  if (auto split = splitHeaderLine(content)) fields_.add(split->first, split->second);
  return false;
}

void ResponseHeadParser::reset() {
  status_.reset();
  fields_.clear();
  complete_ = false;
}

}  // namespace kit
