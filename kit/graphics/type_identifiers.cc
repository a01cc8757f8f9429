// The table of image type identifiers and content sniffing.
#include "kit/graphics/type_identifiers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace kit {

namespace {

struct TypeInfo {
  const char* type;
  const char* parent;
  const char* mime;
  const char* extensions;  // the preferred one first, space separated
  const char* otherMimes;  // space separated
};

constexpr TypeInfo kTypes[] = {
    {UTType::Item, "", "", "", ""},
    {UTType::Data, UTType::Item, "application/octet-stream", "", ""},
    {UTType::Content, "", "", "", ""},
    {UTType::Image, UTType::Data, "", "", ""},
    {UTType::JPEG, UTType::Image, "image/jpeg", "jpeg jpg jpe", "image/jpg image/pjpeg"},
    {UTType::JPEG2000, UTType::Image, "image/jp2", "jp2 j2k jpf jpx", "image/jpx image/jpm"},
    {UTType::PNG, UTType::Image, "image/png", "png", "image/apng"},
    {UTType::GIF, UTType::Image, "image/gif", "gif", ""},
    {UTType::TIFF, UTType::Image, "image/tiff", "tiff tif", "image/tif"},
    {UTType::BMP, UTType::Image, "image/bmp", "bmp dib", "image/x-bmp image/x-ms-bmp image/x-win-bitmap image/x-xbitmap"},
    {UTType::ICO, UTType::Image, "image/vnd.microsoft.icon", "ico cur", "image/x-icon image/ico"},
    {UTType::ICNS, UTType::Image, "image/x-icns", "icns", "image/icns"},
    {UTType::WebP, UTType::Image, "image/webp", "webp", ""},
};

const TypeInfo* find(std::string_view type) {
  for (const auto& t : kTypes) {
    if (type == t.type) return &t;
  }
  return nullptr;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool listContains(const char* list, std::string_view word) {
  std::string_view rest(list);
  while (!rest.empty()) {
    const size_t space = rest.find(' ');
    if (rest.substr(0, space) == word) return true;
    if (space == std::string_view::npos) break;
    rest.remove_prefix(space + 1);
  }
  return false;
}

}  // namespace

bool typeConformsTo(std::string_view type, std::string_view parent) {
  if (type == parent) return true;
  const TypeInfo* info = find(type);
  // Every image also counts as content.
  if (info && parent == UTType::Content && typeConformsTo(type, UTType::Image)) return true;
  while (info && *info->parent) {
    if (parent == info->parent) return true;
    info = find(info->parent);
  }
  return false;
}

std::string preferredMIMEType(std::string_view type) {
  const TypeInfo* info = find(type);
  return info ? info->mime : "";
}

std::string typeForMIMEType(std::string_view mime) {
  std::string m = lower(mime.substr(0, mime.find(';')));
  while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back()))) m.pop_back();
  for (const auto& t : kTypes) {
    if (*t.mime && (m == t.mime || listContains(t.otherMimes, m))) return t.type;
  }
  return "";
}

std::string preferredFilenameExtension(std::string_view type) {
  const TypeInfo* info = find(type);
  if (!info) return "";
  std::string_view list(info->extensions);
  return std::string(list.substr(0, list.find(' ')));
}

std::string typeForFilenameExtension(std::string_view extension) {
  const std::string e = lower(extension);
  if (e.empty()) return "";
  for (const auto& t : kTypes) {
    if (listContains(t.extensions, e)) return t.type;
  }
  return "";
}

std::string detectImageType(const uint8_t* d, size_t n) {
  auto starts = [&](const char* magic, size_t len, size_t at = 0) {
    return n >= at + len && std::memcmp(d + at, magic, len) == 0;
  };
  if (starts("\x89PNG\r\n\x1a\n", 8)) return UTType::PNG;
  if (starts("\xff\xd8\xff", 3)) return UTType::JPEG;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return UTType::GIF;
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return UTType::TIFF;
  if (starts("BM", 2) && n >= 26) return UTType::BMP;
  if (n >= 6 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || d[2] == 2) && d[3] == 0 && (d[4] | d[5]) != 0) {
    return UTType::ICO;
  }
  if (starts("icns", 4)) return UTType::ICNS;
  if (starts("\0\0\0\x0cjP  \r\n\x87\n", 12) || starts("\xff\x4f\xff\x51", 4)) return UTType::JPEG2000;
  if (starts("RIFF", 4) && starts("WEBP", 4, 8)) return UTType::WebP;
  return "";
}

}  // namespace kit
