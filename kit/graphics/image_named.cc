// Named images of the main bundle. See image_named.h.
#include "kit/graphics/image_named.h"

#include <filesystem>
#include <string>

#include "kit/foundation/bundle.h"

namespace kit {

Ref<Image> imageNamed(std::string_view name) {
  if (name.empty()) return nullptr;
  const std::filesystem::path relative{std::string(name)};
  if (relative.is_absolute()) return nullptr;
  for (const auto& part : relative) {
    if (part == "..") return nullptr;
  }
  std::filesystem::path file = std::filesystem::path(Bundle::main()->bundlePath()) / relative;
  if (!relative.has_extension()) file += ".png";
  return Image::withContentsOfFile(file.string());
}

}  // namespace kit
