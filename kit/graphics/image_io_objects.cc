// Conversions between image I/O values and kit objects.
#include "kit/graphics/image_io_objects.h"

#include "kit/foundation/number.h"
#include "kit/foundation/string.h"

namespace kit {

namespace {
const char* modelName(ColorSpace::Model model) {
  switch (model) {
    case ColorSpace::Model::Monochrome: return "Gray";
    case ColorSpace::Model::CMYK: return "CMYK";
    case ColorSpace::Model::Lab: return "Lab";
    default: return "RGB";
  }
}
}  // namespace

Ref<Dictionary> toDictionary(const ImageProperties& p) {
  Dictionary::Entries entries = {
      {str(ImageProperty::PixelWidth), num(static_cast<unsigned long long>(p.pixelWidth))},
      {str(ImageProperty::PixelHeight), num(static_cast<unsigned long long>(p.pixelHeight))},
      {str(ImageProperty::HasAlpha), num(p.hasAlpha)},
      {str(ImageProperty::Depth), num(p.depth)},
      {str(ImageProperty::ColorModel), str(modelName(p.colorModel))},
  };
  if (p.orientation) entries.push_back({str(ImageProperty::Orientation), num(p.orientation)});
  if (p.dpiWidth) entries.push_back({str(ImageProperty::DPIWidth), num(*p.dpiWidth)});
  if (p.dpiHeight) entries.push_back({str(ImageProperty::DPIHeight), num(*p.dpiHeight)});
  if (p.gifDelayTime || p.gifUnclampedDelayTime) {
    Dictionary::Entries gif;
    if (p.gifDelayTime) gif.push_back({str(ImageProperty::GIFDelayTime), num(*p.gifDelayTime)});
    if (p.gifUnclampedDelayTime) gif.push_back({str(ImageProperty::GIFUnclampedDelayTime), num(*p.gifUnclampedDelayTime)});
    entries.push_back({str(ImageProperty::GIFDictionary), Dictionary::make(std::move(gif))});
  }
  if (p.pngInterlaceType) {
    entries.push_back({str(ImageProperty::PNGDictionary),
                       Dictionary::make({{str(ImageProperty::PNGInterlaceType), num(*p.pngInterlaceType)}})});
  }
  if (p.jfifIsProgressive) {
    entries.push_back({str(ImageProperty::JFIFDictionary),
                       Dictionary::make({{str(ImageProperty::JFIFIsProgressive), num(*p.jfifIsProgressive)}})});
  }
  return Dictionary::make(std::move(entries));
}

Ref<Dictionary> toDictionary(const FileProperties& p) {
  Dictionary::Entries entries = {{str(ImageProperty::FileSize), num(static_cast<unsigned long long>(p.fileSize))}};
  if (p.gifLoopCount || p.gifHasGlobalColorMap) {
    Dictionary::Entries gif;
    if (p.gifLoopCount) gif.push_back({str(ImageProperty::GIFLoopCount), num(*p.gifLoopCount)});
    if (p.gifHasGlobalColorMap) gif.push_back({str(ImageProperty::GIFHasGlobalColorMap), num(*p.gifHasGlobalColorMap)});
    entries.push_back({str(ImageProperty::GIFDictionary), Dictionary::make(std::move(gif))});
  }
  return Dictionary::make(std::move(entries));
}

Ref<ImageSource> imageSourceWithData(const Ref<Data>& data, ImageSourceOptions options) {
  if (!data || data->empty()) return nullptr;
  return ImageSource::create(data->span(), std::move(options));
}

Ref<Image> imageWithData(const Ref<Data>& data, double scale) {
  if (!data || data->empty()) return nullptr;
  return Image::withData(data->span(), scale);
}

Ref<Dictionary> imagePropertiesAtIndex(const ImageSource& source, size_t index) {
  auto properties = source.propertiesAtIndex(index);
  return properties ? toDictionary(*properties) : nullptr;
}

Ref<Dictionary> imageSourceProperties(const ImageSource& source) { return toDictionary(source.properties()); }

Ref<Data> pngRepresentation(const Image& image) {
  auto bytes = image.pngData();
  return bytes.empty() ? nullptr : Data::make(std::move(bytes));
}

Ref<Data> jpegRepresentation(const Image& image, double quality) {
  auto bytes = image.jpegData(quality);
  return bytes.empty() ? nullptr : Data::make(std::move(bytes));
}

}  // namespace kit
