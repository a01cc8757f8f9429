// Image type detection from the first bytes and the type-identifier table.
// See kt_image_type.h.
#include "ui/images/kt_image_type.h"

#include <cstring>

#include "kit/graphics/type_identifiers.h"

namespace {

bool startsWith(std::span<const uint8_t> bytes, size_t at, const char* text, size_t length) {
  return bytes.size() >= at + length && std::memcmp(bytes.data() + at, text, length) == 0;
}

}  // namespace

KTImageType KTDetectImageType(std::span<const uint8_t> bytes) {
  if (bytes.size() < 16) return KTImageTypeUnknown;
  const uint8_t* b = bytes.data();
  bool toJPEG = false;  // a PNG or RIFF lead that did not hold goes to the JPEG tests alone
  if (b[0] == 0 && b[1] == 0 && (b[2] == 1 || b[2] == 2) && b[3] == 0) return KTImageTypeICO;
  if (startsWith(bytes, 0, "II*\0", 4) || startsWith(bytes, 0, "MM\0*", 4)) return KTImageTypeTIFF;
  if (startsWith(bytes, 0, "GIF8", 4)) return KTImageTypeGIF;
  if (startsWith(bytes, 0, "\x89PNG", 4)) {
    if (startsWith(bytes, 4, "\r\n\x1a\n", 4)) return KTImageTypePNG;
    toJPEG = true;
  } else if (startsWith(bytes, 0, "icns", 4)) {
    return KTImageTypeICNS;
  } else if (startsWith(bytes, 0, "RIFF", 4)) {
    if (startsWith(bytes, 8, "WEBP", 4)) return KTImageTypeWebP;
    toJPEG = true;
  }
  if (!toJPEG) {
    static constexpr const char* kBMPLeads[] = {"BA", "BM", "CI", "CP", "IC", "PT"};
    for (const char* lead : kBMPLeads) {
      if (startsWith(bytes, 0, lead, 2)) return KTImageTypeBMP;
    }
    if (b[0] == 0xFF && b[1] == 0x4F) return KTImageTypeJPEG2000;
  }
  if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return KTImageTypeJPEG;
  if (startsWith(bytes, 4, "jP  \r", 5)) return KTImageTypeJPEG2000;
  return KTImageTypeUnknown;
}

KTImageType KTDetectImageType(const kit::Ref<kit::Data>& data) {
  if (!data) return KTImageTypeUnknown;
  return KTDetectImageType(data->span());
}

const char* KTImageTypeToUTType(KTImageType type) {
  switch (type) {
    case KTImageTypeJPEG: return kit::UTType::JPEG;
    case KTImageTypeJPEG2000: return kit::UTType::JPEG2000;
    case KTImageTypeTIFF: return kit::UTType::TIFF;
    case KTImageTypeBMP: return kit::UTType::BMP;
    case KTImageTypeICO: return kit::UTType::ICO;
    case KTImageTypeICNS: return kit::UTType::ICNS;
    case KTImageTypeGIF: return kit::UTType::GIF;
    case KTImageTypePNG: return kit::UTType::PNG;
    default: return nullptr;
  }
}

bool KTWebPAvailable() { return false; }
