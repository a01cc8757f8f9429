// HTTP header fields: an ordered list of name/value pairs looked up without
// regard to case, and the parsers for what a server sends (status line,
// header lines, Content-Type, Content-Length). Everything here takes bytes
// from the network and must accept any input without failing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/foundation/dictionary.h"

namespace kit {

class HTTPHeaderFields {
 public:
  using Entry = std::pair<std::string, std::string>;

  // The value of a field, names compared without case.
  std::optional<std::string> value(std::string_view name) const;
  // The same without a copy: null when absent, else valid until the fields
  // change.
  const std::string* find(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name) != nullptr; }
  // Replaces every field of that name (keeping the first one's place), or
  // removes them when `value` is nullopt.
  void set(std::string_view name, std::optional<std::string_view> value);
  // Appends to an existing field with ",", or adds the field.
  void add(std::string_view name, std::string_view value);
  void remove(std::string_view name) { set(name, std::nullopt); }
  void clear() { entries_.clear(); }
  void reserve(size_t count) { entries_.reserve(count); }

  const std::vector<Entry>& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // A dictionary of String to String in field order.
  Ref<Dictionary> dictionary() const;
  static HTTPHeaderFields fromDictionary(const Ref<Dictionary>& fields);

  bool operator==(const HTTPHeaderFields&) const = default;

 private:
  std::vector<Entry> entries_;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// "HTTP/1.1 404 Not Found": the version and the status code. nullopt when
// the line is not a status line or the code is not three digits.
struct HTTPStatusLine {
  std::string version;
  int statusCode = 0;
  std::string reason;
};
std::optional<HTTPStatusLine> parseStatusLine(std::string_view line);

// "Name: value" with surrounding white space and the line end removed.
// nullopt for a line without a colon or with an empty or invalid name.
std::optional<HTTPHeaderFields::Entry> parseHeaderLine(std::string_view line);

// Content-Type: the MIME type in lower case and the charset parameter (also
// lower case, quotes removed), each empty when absent.
struct ContentType {
  std::string mimeType;
  std::string charset;
};
ContentType parseContentType(std::string_view value);

// A Content-Length value: a non-negative decimal that fits in 63 bits, or
// nullopt. The field repeated (or a list) with one value throughout is that
// value; lengths that differ are nullopt.
std::optional<int64_t> parseContentLength(std::string_view value);

// The filename parameter of a Content-Disposition value, or empty.
std::string dispositionFilename(std::string_view value);

// The header block of a response as the server sent it, line by line:
// collects the fields of the last status line's block (a later status line,
// as after "100 Continue", starts over).
class ResponseHeadParser {
 public:
  // Feeds one line (with or without its CR LF). Returns true when the line
  // ended a block (the empty line).
  bool feedLine(std::string_view line);
  bool hasStatus() const { return status_.has_value(); }
  const std::optional<HTTPStatusLine>& status() const { return status_; }
  const HTTPHeaderFields& fields() const { return fields_; }
  // Hands the fields over, leaving none.
  HTTPHeaderFields takeFields() {
    HTTPHeaderFields out = std::move(fields_);
    fields_.clear();
    return out;
  }
  // True after a block whose status is not informational (1xx) ended.
  bool complete() const { return complete_; }
  void reset();

 private:
  std::optional<HTTPStatusLine> status_;
  HTTPHeaderFields fields_;
  bool complete_ = false;
};

}  // namespace kit
