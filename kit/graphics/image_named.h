// kit::imageNamed: an image of the main bundle by name, as the platform's
// named-image lookup finds it: the name is a path inside the main bundle
// ("VIROV.bundle/KT_nav_back"), ".png" is added when it has no extension,
// and the variant for the screen scale ("@2x") is preferred. Nil when there
// is no such file, it does not decode, or the name would leave the bundle.
//
//   auto back = kit::imageNamed("VIROV.bundle/KT_nav_back");
#pragma once

#include <string_view>

#include "kit/graphics/image.h"

namespace kit {

Ref<Image> imageNamed(std::string_view name);

}  // namespace kit
