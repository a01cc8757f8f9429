// Image I/O with kit objects: sources and images from kit::Data, PNG and
// JPEG representations as kit::Data, and file and frame properties as
// kit::Dictionary under the platform's property key names.
#pragma once

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_source.h"

namespace kit {

// The platform's image property keys.
namespace ImageProperty {
inline constexpr const char* FileSize = "FileSize";
inline constexpr const char* PixelWidth = "PixelWidth";
inline constexpr const char* PixelHeight = "PixelHeight";
inline constexpr const char* Orientation = "Orientation";
inline constexpr const char* HasAlpha = "HasAlpha";
inline constexpr const char* Depth = "Depth";
inline constexpr const char* ColorModel = "ColorModel";  // "RGB", "Gray", "CMYK"
inline constexpr const char* DPIWidth = "DPIWidth";
inline constexpr const char* DPIHeight = "DPIHeight";
inline constexpr const char* GIFDictionary = "{GIF}";
inline constexpr const char* GIFLoopCount = "LoopCount";
inline constexpr const char* GIFDelayTime = "DelayTime";
inline constexpr const char* GIFUnclampedDelayTime = "UnclampedDelayTime";
inline constexpr const char* GIFHasGlobalColorMap = "HasGlobalColorMap";
inline constexpr const char* PNGDictionary = "{PNG}";
inline constexpr const char* PNGInterlaceType = "InterlaceType";
inline constexpr const char* JFIFDictionary = "{JFIF}";
inline constexpr const char* JFIFIsProgressive = "IsProgressive";
}  // namespace ImageProperty

Ref<Dictionary> toDictionary(const ImageProperties& properties);
Ref<Dictionary> toDictionary(const FileProperties& properties);

// Nil for nil or empty data.
Ref<ImageSource> imageSourceWithData(const Ref<Data>& data, ImageSourceOptions options = {});
Ref<Image> imageWithData(const Ref<Data>& data, double scale = 1.0);
// The frame's properties, or nil out of range.
Ref<Dictionary> imagePropertiesAtIndex(const ImageSource& source, size_t index);
Ref<Dictionary> imageSourceProperties(const ImageSource& source);
// Nil when encoding fails.
Ref<Data> pngRepresentation(const Image& image);
Ref<Data> jpegRepresentation(const Image& image, double quality);

}  // namespace kit
