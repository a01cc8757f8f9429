// Image types of the image codec: which format encoded bytes hold, told from
// their first bytes, and the type identifier each format has in image I/O.
#pragma once

#include <cstdint>
#include <span>

#include "kit/foundation/data.h"

enum KTImageType : unsigned long {
  KTImageTypeUnknown = 0,
  KTImageTypeJPEG = 1,
  KTImageTypeJPEG2000 = 2,
  KTImageTypeTIFF = 3,
  KTImageTypeBMP = 4,
  KTImageTypeICO = 5,  // cursor files too
  KTImageTypeICNS = 6,
  KTImageTypeGIF = 7,
  KTImageTypePNG = 8,  // animated PNG too
  KTImageTypeWebP = 9,
};

// The format of encoded data from its first bytes; unknown for fewer than
// 16 bytes or nil.
KTImageType KTDetectImageType(std::span<const uint8_t> bytes);
KTImageType KTDetectImageType(const kit::Ref<kit::Data>& data);

// The image I/O type identifier of a type, or nullptr (unknown, WebP and
// any other value).
const char* KTImageTypeToUTType(KTImageType type);

// Whether WebP can be decoded here: it cannot.
bool KTWebPAvailable();
