// The test server's multipart/form-data reader. See multipart_form.h.
#include "kit/net/testing/multipart_form.h"

namespace kit::test {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Reads a parameter value at the start of `text`: a quoted string (with
// backslash escapes) or a token up to the next ";". Leaves `text` after it.
std::optional<std::string> readValue(std::string_view& text) {
  if (text.empty() || text.front() != '"') {
    size_t end = text.find(';');
    std::string value(trim(text.substr(0, end)));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    return value;
  }
  std::string value;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      value += text[++i];
    } else if (text[i] == '"') {
      text.remove_prefix(i + 1);
      return value;
    } else {
      value += text[i];
    }
  }
  return std::nullopt;  // unterminated quote
}

// Reads the header block at the start of `text` up to and including its
// blank line into `part`; false when the block has no blank line or a line
// is not a header.
bool readHeaders(std::string_view& text, FormPart& part) {
  for (;;) {
    size_t end = text.find(kLineEnd);
    if (end == std::string_view::npos) return false;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + kLineEnd.size());
    if (line.empty()) break;
    auto field = parseHeaderLine(line);
    if (!field) return false;
    part.headers.add(field->first, field->second);
  }
  if (auto disposition = part.headers.value("Content-Disposition")) {
    part.name = headerParameter(*disposition, "name").value_or("");
    part.filename = headerParameter(*disposition, "filename").value_or("");
  }
  part.contentType = part.headers.value("Content-Type").value_or("");
  return true;
}

}  // namespace

std::optional<std::string> headerParameter(std::string_view headerValue, std::string_view name) {
  size_t semicolon = headerValue.find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  std::string_view rest = headerValue.substr(semicolon);
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the ";"
    size_t equals = rest.find('=');
    size_t next = rest.find(';');
    if (equals == std::string_view::npos || (next != std::string_view::npos && next < equals)) {
      if (next == std::string_view::npos) break;
      rest.remove_prefix(next);
      continue;
    }
    std::string_view key = trim(rest.substr(0, equals));
    rest.remove_prefix(equals + 1);
    while (!rest.empty() && isSpace(rest.front())) rest.remove_prefix(1);
    auto value = readValue(rest);
    if (!value) return std::nullopt;
    if (equalsIgnoringCase(key, name)) return value;
    size_t after = rest.find(';');
    if (after == std::string_view::npos) break;
    rest.remove_prefix(after);
  }
  return std::nullopt;
}

std::optional<std::vector<FormPart>> parseMultipartFormData(std::string_view contentType, std::string_view body) {
  if (parseContentType(contentType).mimeType != "multipart/form-data") return std::nullopt;
  auto boundary = headerParameter(contentType, "boundary");
  if (!boundary || boundary->empty() || boundary->size() > 70) return std::nullopt;
  const std::string delimiter = "--" + *boundary;
  const std::string inner = std::string(kLineEnd) + delimiter;

  // The first delimiter opens the body or a line after the preamble.
  size_t start;
  if (body.starts_with(delimiter)) {
    start = 0;
  } else {
    start = body.find(inner);
    if (start == std::string_view::npos) return std::nullopt;
    start += kLineEnd.size();
  }
  std::string_view rest = body.substr(start + delimiter.size());
  std::vector<FormPart> parts;
  for (;;) {
    if (rest.starts_with("--")) return parts;  // the closing delimiter; an epilogue may follow
    while (!rest.empty() && isSpace(rest.front())) rest.remove_prefix(1);
    if (!rest.starts_with(kLineEnd)) return std::nullopt;
    rest.remove_prefix(kLineEnd.size());
    FormPart part;
    if (!readHeaders(rest, part)) return std::nullopt;
    size_t end = rest.find(inner);
    if (end == std::string_view::npos) return std::nullopt;
    part.content = std::string(rest.substr(0, end));
    parts.push_back(std::move(part));
    rest.remove_prefix(end + inner.size());
  }
}

}  // namespace kit::test
