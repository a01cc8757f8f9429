// The extension table.
#include "kit/net/mime_types.h"

#include <cctype>
#include <unordered_map>

#include "kit/foundation/no_destructor.h"

namespace kit {

std::string MIMETypeForExtension(std::string_view extension) {
  // Worker threads may still look a type up while the process exits.
  static const NoDestructor table(std::unordered_map<std::string, std::string>{
      {"html", "text/html"}, {"htm", "text/html"}, {"css", "text/css"}, {"js", "text/javascript"},
      {"mjs", "text/javascript"}, {"json", "application/json"}, {"txt", "text/plain"}, {"text", "text/plain"},
      {"csv", "text/csv"}, {"xml", "application/xml"}, {"plist", "application/x-plist"},
      {"png", "image/png"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"gif", "image/gif"},
      {"webp", "image/webp"}, {"bmp", "image/bmp"}, {"ico", "image/vnd.microsoft.icon"}, {"tif", "image/tiff"},
      {"tiff", "image/tiff"}, {"svg", "image/svg+xml"}, {"heic", "image/heic"}, {"mp3", "audio/mpeg"},
      {"m4a", "audio/mp4"}, {"wav", "audio/wav"}, {"aac", "audio/aac"}, {"ogg", "audio/ogg"},
      {"mp4", "video/mp4"}, {"mov", "video/quicktime"}, {"m3u8", "application/vnd.apple.mpegurl"},
      {"pdf", "application/pdf"}, {"zip", "application/zip"}, {"gz", "application/x-gzip"},
      {"tar", "application/x-tar"}, {"wasm", "application/wasm"}, {"woff", "font/woff"}, {"woff2", "font/woff2"},
      {"ttf", "font/ttf"}, {"otf", "font/otf"}, {"cer", "application/pkix-cert"},
      {"der", "application/x-x509-ca-cert"}, {"pem", "application/x-pem-file"}, {"bin", "application/octet-stream"},
      {"apk", "application/vnd.android.package-archive"}, {"ipa", "application/octet-stream"},
      {"md", "text/markdown"}, {"rtf", "text/rtf"}, {"doc", "application/msword"},
      {"strings", "text/plain"}, {"db", "application/octet-stream"}, {"sqlite", "application/vnd.sqlite3"},
  });
  std::string key;
  for (char c : extension) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = table->find(key);
  return it == table->end() ? std::string() : it->second;
}

std::string MIMETypeForPathOrDefault(std::string_view path) {
  size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  std::string type = dot == std::string_view::npos || dot == 0 ? std::string() : MIMETypeForExtension(name.substr(dot + 1));
  return type.empty() ? "application/octet-stream" : type;
}

}  // namespace kit
