// Image type detection from the first bytes of a file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/images/kt_image_type.h"

namespace {

// `lead` followed by zero bytes up to `length`.
std::vector<uint8_t> bytes(const std::string& lead, size_t length = 16) {
  std::vector<uint8_t> out(lead.begin(), lead.end());
  out.resize(std::max(length, out.size()), 0);
  return out;
}

TEST(ImageType, DetectedFromTheFirstBytes) {
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  EXPECT_EQ(KTDetectImageType(bytes(png.substr(0, 15), 15)), KTImageTypeUnknown);  // 15 bytes are too few
  EXPECT_EQ(KTDetectImageType(bytes(png)), KTImageTypePNG);
  EXPECT_EQ(KTDetectImageType(bytes("\x89PNG\r\n\x1a\x0b")), KTImageTypeUnknown);
  EXPECT_EQ(KTDetectImageType(bytes(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16))), KTImageTypeWebP);
  EXPECT_EQ(KTDetectImageType(bytes(std::string("RIFF\x10\0\0\0WAVEfmt ", 16))), KTImageTypeUnknown);
  EXPECT_EQ(KTDetectImageType(bytes(std::string("\0\0\1\0\2\0", 6))), KTImageTypeICO);
  EXPECT_EQ(KTDetectImageType(bytes(std::string("\0\0\2\0\1\0", 6))), KTImageTypeICO);  // cursor
  EXPECT_EQ(KTDetectImageType(bytes(std::string("II*\0", 4))), KTImageTypeTIFF);
  EXPECT_EQ(KTDetectImageType(bytes(std::string("MM\0*", 4))), KTImageTypeTIFF);
  EXPECT_EQ(KTDetectImageType(bytes("GIF89a")), KTImageTypeGIF);
  EXPECT_EQ(KTDetectImageType(bytes("GIF87a")), KTImageTypeGIF);
  EXPECT_EQ(KTDetectImageType(bytes("icns")), KTImageTypeICNS);
  for (const char* lead : {"BM", "BA", "CI", "CP", "IC", "PT"}) {
    EXPECT_EQ(KTDetectImageType(bytes(lead)), KTImageTypeBMP) << lead;
  }
  EXPECT_EQ(KTDetectImageType(bytes("\xff\x4f\xff\x51")), KTImageTypeJPEG2000);
  EXPECT_EQ(KTDetectImageType(bytes(std::string("\0\0\0\x0cjP  \r\n\x87\n", 12))), KTImageTypeJPEG2000);
  EXPECT_EQ(KTDetectImageType(bytes("\xff\xd8\xff\xe0")), KTImageTypeJPEG);
  EXPECT_EQ(KTDetectImageType(bytes("\xff\xd8\xfe")), KTImageTypeUnknown);
  // A PNG or RIFF lead that does not hold goes on to the JPEG tests only.
  EXPECT_EQ(KTDetectImageType(bytes(std::string("RIFFjP  \r", 9))), KTImageTypeJPEG2000);
  EXPECT_EQ(KTDetectImageType(bytes("plain text, not an image")), KTImageTypeUnknown);
  EXPECT_EQ(KTDetectImageType(kit::Ref<kit::Data>()), KTImageTypeUnknown);
  EXPECT_EQ(KTDetectImageType(kit::Data::make(bytes(png))), KTImageTypePNG);
}

}  // namespace
