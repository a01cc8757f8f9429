// URLs: parsing through the RFC 3986 parser, resolution against a base,
// the platform's accessors and path operations, and file URLs.

#include "kit/foundation/url.h"

#include <cctype>
#include <filesystem>

#include "kit/foundation/charset.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string_encoding.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URL, Object, "NSURL") {}

namespace {

Ref<String> optionalText(const std::optional<std::string>& text) { return text ? String::make(*text) : nullptr; }

// Decoded text, or the text as written when its escapes do not decode.
Ref<String> decodedOrRaw(const std::string& text) {
  auto decoded = stringByRemovingPercentEncoding(text);
  return decoded ? decoded : String::make(text);
}

// A path component or path percent-encoded for a URL path. A lone
// surrogate has no UTF-8 form and becomes U+FFFD.
std::string encodePath(std::string_view text) {
  auto encoded = stringByAddingPercentEncodingWithAllowedCharacters(text, *CharacterSet::urlPathAllowed());
  if (encoded) return encoded->utf8();
  auto utf8 = bytesUsingEncoding(*String::make(text), StringEncoding::UTF8, true);
  return stringByAddingPercentEncodingWithAllowedCharacters(*utf8, *CharacterSet::urlPathAllowed())->utf8();
}

// The platform's path formatting: decoded, no trailing "/" but the root.
Ref<String> formatPath(const std::string& encoded) {
  auto decoded = stringByRemovingPercentEncoding(encoded);
  if (!decoded) return nullptr;
  std::string path = decoded->utf8();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return String::make(path);
}

bool isDirectoryOnDisk(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

std::string currentDirectory() {
  std::error_code error;
  auto cwd = std::filesystem::current_path(error);
  std::string dir = error ? "/" : cwd.string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

URL::URL(std::string text, URLParts parts, Ref<URL> base)
    : text_(std::move(text)), parts_(std::move(parts)), base_(std::move(base)) {
  if (base_) {
    absoluteParts_ = resolveURLReference(base_->absoluteParts_, parts_);
    absolute_ = absoluteParts_.recompose();
  } else {
    absoluteParts_ = parts_;
    absolute_ = text_;
  }
}

Ref<URL> URL::URLWithString(std::string_view text) {
  if (text.empty()) return nullptr;
  auto parts = parseURLReference(text);
  if (!parts) return nullptr;
  return std::make_shared<URL>(std::string(text), std::move(*parts), nullptr);
}

Ref<URL> URL::URLWithString(const Ref<String>& text) { return text ? URLWithString(text->utf8()) : nullptr; }

Ref<URL> URL::URLWithString(std::string_view text, const Ref<URL>& base) {
  if (!base) return URLWithString(text);
  auto parts = parseURLReference(text);
  if (!parts) return nullptr;
  Ref<URL> keptBase = parts->scheme ? nullptr : base;
  return std::make_shared<URL>(std::string(text), std::move(*parts), std::move(keptBase));
}

Ref<URL> URL::fileURLWithPath(std::string_view path) {
  if (path.empty()) raise(InvalidArgumentException, "-[NSURL initFileURLWithPath:]: empty string parameter");
  std::string onDisk = path.starts_with('/') ? std::string(path) : currentDirectory() + std::string(path);
  return fileURLWithPath(path, isDirectoryOnDisk(onDisk));
}

Ref<URL> URL::fileURLWithPath(std::string_view path, bool isDirectory) {
  if (path.empty()) raise(InvalidArgumentException, "-[NSURL initFileURLWithPath:isDirectory:]: empty string parameter");
  std::string encoded = encodePath(path);
  if (isDirectory && !encoded.ends_with('/')) encoded += '/';
  if (path.starts_with('/')) return URLWithString("file://" + encoded);
  // A relative path is relative to the current directory; a first segment
  // holding ":" must not read as a scheme.
  if (encoded.substr(0, encoded.find('/')).find(':') != std::string::npos) encoded = "./" + encoded;
  auto base = URLWithString("file://" + encodePath(currentDirectory()));
  return URLWithString(encoded, base);
}

Ref<URL> URL::withParts(const URLParts& parts) {
  std::string text = parts.recompose();
  auto parsed = parseURLReference(text);
  if (!parsed) return nullptr;
  return std::make_shared<URL>(std::move(text), std::move(*parsed), nullptr);
}

Ref<URL> URL::withPath(std::string path) const {
  URLParts parts = absoluteParts_;
  parts.path = std::move(path);
  return withParts(parts);
}

Ref<URL> URL::absoluteURL() const {
  if (!base_) return std::static_pointer_cast<URL>(self());
  return withParts(absoluteParts_);
}

Ref<String> URL::scheme() const { return optionalText(absoluteParts_.scheme); }

Ref<String> URL::user() const { return absoluteParts_.user ? decodedOrRaw(*absoluteParts_.user) : nullptr; }

Ref<String> URL::password() const {
  return absoluteParts_.password ? decodedOrRaw(*absoluteParts_.password) : nullptr;
}

Ref<String> URL::host() const {
  const std::string& host = absoluteParts_.host;
  if (!absoluteParts_.hasAuthority || host.empty()) return nullptr;
  if (host.front() == '[') return String::make(host.substr(1, host.size() - 2));
  return decodedOrRaw(host);
}

Ref<Number> URL::port() const {
  const auto& port = absoluteParts_.port;
  if (!port || port->empty()) return nullptr;
  return Number::fromLong(std::stol(*port));
}

Ref<String> URL::path() const { return formatPath(absoluteParts_.path); }

Ref<String> URL::relativePath() const { return formatPath(parts_.path); }

Ref<String> URL::query() const { return optionalText(absoluteParts_.query); }

Ref<String> URL::fragment() const { return optionalText(absoluteParts_.fragment); }

Ref<String> URL::resourceSpecifier() const {
  if (!parts_.scheme) return String::make(text_);
  return String::make(text_.substr(parts_.scheme->size() + 1));
}

Ref<String> URL::lastPathComponent() const {
  auto p = path();
  return p ? p->lastPathComponent() : String::make("");
}

Ref<String> URL::pathExtension() const {
  auto p = path();
  return p ? p->pathExtension() : String::make("");
}

Ref<Array> URL::pathComponents() const {
  auto p = path();
  return p ? p->pathComponents() : Array::make();
}

bool URL::isFileURL() const {
  const auto& s = absoluteParts_.scheme;
  if (!s || s->size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (std::tolower(static_cast<unsigned char>((*s)[i])) != "file"[i]) return false;
  }
  return true;
}

Ref<URL> URL::URLByAppendingPathComponent(std::string_view component) const {
  auto appended = URLByAppendingPathComponent(component, false);
  if (!appended || !isFileURL()) return appended;
  auto onDisk = appended->path();
  if (onDisk && isDirectoryOnDisk(onDisk->utf8())) return URLByAppendingPathComponent(component, true);
  return appended;
}

Ref<URL> URL::URLByAppendingPathComponent(std::string_view component, bool isDirectory) const {
  std::string path = absoluteParts_.path;
  if (path.empty() && absoluteParts_.hasAuthority) path = "/";
  std::string encoded = encodePath(component);
  if (!path.empty() && !path.ends_with('/') && !encoded.empty()) path += '/';
  if (path.ends_with('/')) {
    while (encoded.starts_with('/')) encoded.erase(0, 1);
  }
  path += encoded;
  if (isDirectory && !path.ends_with('/')) path += '/';
  return withPath(std::move(path));
}

Ref<URL> URL::URLByDeletingLastPathComponent() const {
  std::string path = absoluteParts_.path;
  if (path.empty()) return withPath(absoluteParts_.hasAuthority ? "/" : "./");
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return withPath("./");
  return withPath(path.substr(0, slash + 1));
}

Ref<URL> URL::URLByAppendingPathExtension(std::string_view extension) const {
  std::string path = absoluteParts_.path;
  bool directory = path.size() > 1 && path.ends_with('/');
  if (directory) path.pop_back();
  if (path.empty() || path.ends_with('/') || extension.empty()) return absoluteURL();
  path += "." + encodePath(extension);
  if (directory) path += '/';
  return withPath(std::move(path));
}

Ref<URL> URL::URLByDeletingPathExtension() const {
  std::string path = absoluteParts_.path;
  bool directory = path.size() > 1 && path.ends_with('/');
  if (directory) path.pop_back();
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  size_t segmentStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot == std::string::npos || dot <= segmentStart) return absoluteURL();
  path.erase(dot);
  if (directory) path += '/';
  return withPath(std::move(path));
}

Ref<URL> URL::standardizedURL() const {
  const std::string& path = absoluteParts_.path;
  if (!path.starts_with('/')) return absoluteURL();
  return withPath(removeDotSegments(path));
}

bool URL::isEqual(const Object& other) const {
  auto* url = dynamic_cast<const URL*>(&other);
  return url && url->absolute_ == absolute_;
}

}  // namespace kit
