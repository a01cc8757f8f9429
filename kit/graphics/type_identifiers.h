// Uniform type identifiers for image files: the platform's identifier
// texts, their conformance (a PNG is an image is data), and the mapping to
// MIME types and file extensions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kit {

namespace UTType {
inline constexpr const char* Item = "public.item";
inline constexpr const char* Content = "public.content";
inline constexpr const char* Data = "public.data";
inline constexpr const char* Image = "public.image";
inline constexpr const char* JPEG = "public.jpeg";
inline constexpr const char* JPEG2000 = "public.jpeg-2000";
inline constexpr const char* PNG = "public.png";
inline constexpr const char* GIF = "com.compuserve.gif";
inline constexpr const char* TIFF = "public.tiff";
inline constexpr const char* BMP = "com.microsoft.bmp";
inline constexpr const char* ICO = "com.microsoft.ico";
inline constexpr const char* ICNS = "com.apple.icns";
inline constexpr const char* WebP = "org.webmproject.webp";
}  // namespace UTType

// Whether `type` is `parent` or descends from it.
bool typeConformsTo(std::string_view type, std::string_view parent);
// "image/png" for public.png; empty when unknown.
std::string preferredMIMEType(std::string_view type);
// The identifier for a MIME type (case-insensitive, parameters ignored).
std::string typeForMIMEType(std::string_view mime);
// "png" for public.png; empty when unknown.
std::string preferredFilenameExtension(std::string_view type);
// The identifier for an extension without the dot (case-insensitive).
std::string typeForFilenameExtension(std::string_view extension);

// The image type of encoded data from its first bytes, or empty.
std::string detectImageType(const uint8_t* data, size_t size);

}  // namespace kit
