// Image sources and destinations over real encoded files: round trips,
// partial data, animation, EXIF and CMYK, the public PNG suite, and
// malformed or hostile files.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <jpeglib.h>

#include "kit/graphics/image.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {
namespace {

namespace fs = std::filesystem;

fs::path benchData() { return fs::path(KIT_BENCH_DATA_DIR); }

// A w x h RGBA picture with smooth colour (compresses like a photo).
Ref<Bitmap> gradient(size_t w, size_t h, bool noisy = false) {
  std::vector<uint8_t> px(w * h * 4);
  uint32_t seed = 12345;
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = &px[(y * w + x) * 4];
      seed = seed * 1103515245 + 12345;
      const int n = noisy ? static_cast<int>((seed >> 16) & 63) : 0;
      p[0] = static_cast<uint8_t>(x * 255 / (w - 1) / 2 + n);
      p[1] = static_cast<uint8_t>(y * 255 / (h - 1) / 2 + n);
      p[2] = static_cast<uint8_t>(128 + n);
      p[3] = 255;
    }
  }
  return Bitmap::create(w, h, PixelFormat::rgba8(), 0, px);
}

std::vector<uint8_t> encode(const Ref<Bitmap>& bitmap, const char* type, EncodeOptions options = {}) {
  auto destination = ImageDestination::create(type, 1);
  destination->addImage(bitmap, options);
  EXPECT_TRUE(destination->finalize()) << destination->lastError();
  return destination->data();
}

Ref<Bitmap> decode(const std::vector<uint8_t>& bytes) {
  auto source = ImageSource::create(bytes);
  return source ? source->createImageAtIndex(0) : nullptr;
}

// JPEG written by libjpeg itself, for files kit's writer does not make.
std::vector<uint8_t> libjpegFile(size_t w, size_t h, J_COLOR_SPACE space, int components, bool progressive,
                                 const std::function<void(size_t, size_t, uint8_t*)>& pixel) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(w * components);
  while (c.next_scanline < c.image_height) {
    for (size_t x = 0; x < w; ++x) pixel(x, c.next_scanline, &row[x * components]);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  free(buffer);
  return out;
}

std::vector<uint8_t> interlacedPNG(const Bitmap& bitmap) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.width());
  image.height = static_cast<png_uint_32>(bitmap.height());
  image.format = PNG_FORMAT_RGBA;
  // The simplified API cannot interlace; use the full writer.
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_bytep> rows(bitmap.height());
  for (size_t y = 0; y < bitmap.height(); ++y) rows[y] = const_cast<png_bytep>(bitmap.row(y));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(ImageIO, PNGRoundTripIsExact) {
  std::vector<uint8_t> px = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 128};
  auto original = Bitmap::create(2, 2, PixelFormat::rgba8(), 0, px);
  const auto png = encode(original, UTType::PNG);
  EXPECT_EQ(detectImageType(png.data(), png.size()), UTType::PNG);
  auto decoded = decode(png);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelAt(0, 0), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(decoded->pixelAt(1, 0), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(decoded->pixelAt(0, 1), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(decoded->pixelAt(1, 1), (Pixel{10, 20, 30, 128}));
  auto again = decode(encode(decoded, UTType::PNG));
  ASSERT_TRUE(again);
  EXPECT_TRUE(std::equal(again->data().begin(), again->data().end(), decoded->data().begin()));
  auto source = ImageSource::create(png);
  EXPECT_TRUE(source->propertiesAtIndex(0)->hasAlpha);
  EXPECT_EQ(source->status(), ImageSourceStatus::Complete);
}

TEST(ImageIO, JPEGRoundTripStaysClose) {
  auto original = gradient(32, 24);
  EncodeOptions options;
  options.quality = 0.9;
  const auto jpeg = encode(original, UTType::JPEG, options);
  auto decoded = decode(jpeg);
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->width(), 32u);
  int worst = 0;
  for (size_t y = 0; y < 24; ++y) {
    for (size_t x = 0; x < 32; ++x) {
      const Pixel a = original->pixelAt(x, y), b = decoded->pixelAt(x, y);
      worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      EXPECT_EQ(b.a, 255);
    }
  }
  EXPECT_LE(worst, 8);
  EXPECT_EQ(decoded->alphaInfo(), AlphaInfo::NoneSkipLast);
}

TEST(ImageIO, PartialProgressiveJPEGAndBaselineJPEG) {
  auto pixel = [](size_t x, size_t y, uint8_t* p) {
    p[0] = static_cast<uint8_t>(x * 2), p[1] = static_cast<uint8_t>(y * 2), p[2] = static_cast<uint8_t>((x ^ y) & 0xff);
  };
  for (bool progressive : {true, false}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    const auto file = libjpegFile(96, 96, JCS_RGB, 3, progressive, pixel);
    auto source = ImageSource::createIncremental();
    source->updateData(std::span(file.data(), file.size() / 2), false);
    EXPECT_EQ(source->status(), ImageSourceStatus::Incomplete);
    ASSERT_EQ(source->count(), 1u);
    EXPECT_EQ(*source->propertiesAtIndex(0)->jfifIsProgressive, progressive);
    auto partial = source->createImageAtIndex(0);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->width(), 96u);
    EXPECT_EQ(partial->height(), 96u);
    EXPECT_EQ(partial->pixelAt(0, 0).a, 255);
    if (!progressive) {
      EXPECT_EQ(partial->pixelAt(50, 95).a, 0);  // the bottom was never reached
    }
    // Every longer prefix decodes too, wherever it ends: inside a table, a
    // scan header or entropy-coded data.
    for (size_t n = file.size() / 2; n < file.size(); n += 7) {
      source->updateData(std::span(file.data(), n), false);
      auto grown = source->createImageAtIndex(0);
      ASSERT_TRUE(grown) << n << ": " << source->lastError();
      EXPECT_EQ(grown->width(), 96u);
    }
    source->updateData(file, true);
    EXPECT_EQ(source->status(), ImageSourceStatus::Complete);
    auto full = source->createImageAtIndex(0);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->pixelAt(50, 95).a, 255);
    const auto whole = decode(file);
    EXPECT_TRUE(std::equal(whole->data().begin(), whole->data().end(), full->data().begin()));
  }
}

TEST(ImageIO, PartialInterlacedPNGLeavesUndecodedPixelsTransparent) {
  auto picture = gradient(64, 64, true);
  const auto file = interlacedPNG(*picture);
  auto source = ImageSource::createIncremental();
  source->updateData(std::span(file.data(), file.size() / 2), false);
  ASSERT_EQ(source->count(), 1u);
  EXPECT_EQ(*source->propertiesAtIndex(0)->pngInterlaceType, 1);
  auto partial = source->createImageAtIndex(0);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->width(), 64u);
  EXPECT_EQ(partial->pixelAt(0, 0), picture->pixelAt(0, 0));  // first pass
  size_t transparent = 0;
  for (size_t y = 0; y < 64; ++y)
    for (size_t x = 0; x < 64; ++x) transparent += partial->pixelAt(x, y).a == 0;
  EXPECT_GT(transparent, 0u);
  EXPECT_LT(transparent, 64u * 64u);
  source->updateData(file, true);
  auto full = source->createImageAtIndex(0);
  ASSERT_TRUE(full);
  for (size_t y = 0; y < 64; y += 7)
    for (size_t x = 0; x < 64; x += 5) ASSERT_EQ(full->pixelAt(x, y), picture->pixelAt(x, y));
}

// A 4x4 GIF: frame 0 red; frame 1 a 2x2 green square (one pixel
// transparent) disposed to background; frame 2 mostly transparent with one
// blue pixel. Loop count 2.
std::vector<uint8_t> threeFrameGIF() {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* d, int n) {
        auto* o = static_cast<std::vector<uint8_t>*>(g->UserData);
        o->insert(o->end(), d, d + n);
        return n;
      },
      &error);
  GifColorType colors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 4, 4, 8, 0, map);
  const GifByteType loop[3] = {1, 2, 0};
  EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
  EGifPutExtensionBlock(gif, 3, loop);
  EGifPutExtensionTrailer(gif);
  auto frame = [&](int disposal, int delay, int transparent, int left, int top, int w, int h,
                   std::vector<GifPixelType> pixels) {
    GraphicsControlBlock gcb{disposal, false, delay, transparent};
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    EGifPutImageDesc(gif, left, top, w, h, false, nullptr);
    for (int y = 0; y < h; ++y) EGifPutLine(gif, pixels.data() + y * w, w);
  };
  frame(DISPOSE_DO_NOT, 10, NO_TRANSPARENT_COLOR, 0, 0, 4, 4, std::vector<GifPixelType>(16, 0));
  frame(DISPOSE_BACKGROUND, 20, 3, 0, 0, 2, 2, {1, 1, 1, 3});
  std::vector<GifPixelType> last(16, 3);
  last[15] = 2;
  frame(DISPOSE_DO_NOT, 30, 3, 0, 0, 4, 4, last);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

TEST(ImageIO, AnimatedGIFFramesAreCompositedOnTheCanvas) {
  const auto file = threeFrameGIF();
  auto source = ImageSource::create(file);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->type(), UTType::GIF);
  ASSERT_EQ(source->count(), 3u);
  EXPECT_EQ(*source->properties().gifLoopCount, 2);
  EXPECT_DOUBLE_EQ(*source->propertiesAtIndex(0)->gifDelayTime, 0.1);
  EXPECT_DOUBLE_EQ(*source->propertiesAtIndex(1)->gifDelayTime, 0.2);
  EXPECT_DOUBLE_EQ(*source->propertiesAtIndex(2)->gifUnclampedDelayTime, 0.3);
  const Pixel red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};
  // Out of order on purpose: the canvas is rebuilt as needed.
  auto f2 = source->createImageAtIndex(2);
  auto f0 = source->createImageAtIndex(0);
  auto f1 = source->createImageAtIndex(1);
  ASSERT_TRUE(f0 && f1 && f2);
  for (auto* f : {&f0, &f1, &f2}) {
    EXPECT_EQ((*f)->width(), 4u);
    EXPECT_EQ((*f)->height(), 4u);
  }
  EXPECT_EQ(f0->pixelAt(0, 0), red);
  EXPECT_EQ(f1->pixelAt(0, 0), green);
  EXPECT_EQ(f1->pixelAt(1, 1), red);  // transparent pixel shows the frame below
  EXPECT_EQ(f1->pixelAt(3, 3), red);
  EXPECT_EQ(f2->pixelAt(0, 0).a, 0);  // frame 1's square was cleared to background
  EXPECT_EQ(f2->pixelAt(3, 0), red);
  EXPECT_EQ(f2->pixelAt(3, 3), blue);
}

// Frame 0 has a control extension with a delay of 0, frame 1 has none: a
// zero delay is reported (clamped to 0.1), a missing one not at all.
TEST(ImageIO, GIFFrameWithoutControlExtensionHasNoDelay) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* d, int n) {
        auto* o = static_cast<std::vector<uint8_t>*>(g->UserData);
        o->insert(o->end(), d, d + n);
        return n;
      },
      &error);
  GifColorType colors[2] = {{255, 0, 0}, {0, 255, 0}};
  ColorMapObject* map = GifMakeMapObject(2, colors);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 2, 2, 1, 0, map);
  GraphicsControlBlock gcb{DISPOSE_DO_NOT, false, 0, NO_TRANSPARENT_COLOR};
  GifByteType ext[4];
  EGifGCBToExtension(&gcb, ext);
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
  for (int frame = 0; frame < 2; ++frame) {
    std::vector<GifPixelType> pixels(4, static_cast<GifPixelType>(frame));
    EGifPutImageDesc(gif, 0, 0, 2, 2, false, nullptr);
    for (int y = 0; y < 2; ++y) EGifPutLine(gif, pixels.data() + y * 2, 2);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);

  auto source = ImageSource::create(out);
  ASSERT_TRUE(source);
  ASSERT_EQ(source->count(), 2u);
  EXPECT_DOUBLE_EQ(*source->propertiesAtIndex(0)->gifUnclampedDelayTime, 0.0);
  EXPECT_DOUBLE_EQ(*source->propertiesAtIndex(0)->gifDelayTime, 0.1);
  EXPECT_FALSE(source->propertiesAtIndex(1)->gifUnclampedDelayTime);
  EXPECT_FALSE(source->propertiesAtIndex(1)->gifDelayTime);
  EXPECT_EQ(source->createImageAtIndex(1)->pixelAt(1, 1), (Pixel{0, 255, 0, 255}));
}

TEST(ImageIO, GIFWriterQuantisesAndKeepsTiming) {
  auto destination = ImageDestination::create(UTType::GIF, 3);
  destination->setProperties({0});
  for (int i = 0; i < 3; ++i) {
    EncodeOptions options;
    options.gifDelayTime = 0.1;
    destination->addImage(gradient(40, 30, i > 0), options);
  }
  ASSERT_TRUE(destination->finalize()) << destination->lastError();
  auto source = ImageSource::create(destination->data());
  ASSERT_EQ(source->count(), 3u);
  EXPECT_EQ(*source->properties().gifLoopCount, 0);
  EXPECT_DOUBLE_EQ(*source->propertiesAtIndex(2)->gifDelayTime, 0.1);
  auto frame = source->createImageAtIndex(1);
  ASSERT_TRUE(frame);
  const Pixel want = gradient(40, 30, true)->pixelAt(20, 15), got = frame->pixelAt(20, 15);
  EXPECT_NEAR(want.r, got.r, 24);
  EXPECT_NEAR(want.g, got.g, 24);
  EXPECT_NEAR(want.b, got.b, 24);
  // Fewer images than announced fails.
  auto short_ = ImageDestination::create(UTType::GIF, 2);
  short_->addImage(gradient(4, 4));
  EXPECT_FALSE(short_->finalize());
}

TEST(ImageIO, EXIFOrientationAndCMYK) {
  EncodeOptions options;
  options.orientation = 6;
  const auto jpeg = encode(gradient(40, 30), UTType::JPEG, options);
  auto source = ImageSource::create(jpeg);
  auto props = source->propertiesAtIndex(0);
  ASSERT_TRUE(props);
  EXPECT_EQ(props->orientation, 6);
  EXPECT_EQ(props->pixelWidth, 40u);
  EXPECT_EQ(props->pixelHeight, 30u);
  auto image = Image::withData(jpeg);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->orientation(), ImageOrientation::Right);
  EXPECT_EQ(image->size(), Size(30, 40));
  auto upright = image->uprightBitmap();
  EXPECT_EQ(upright->width(), 30u);
  // Turned clockwise: the stored top-left is now top-right.
  const Pixel storedTopLeft = source->createImageAtIndex(0)->pixelAt(0, 0);
  EXPECT_NEAR(upright->pixelAt(29, 0).r, storedTopLeft.r, 2);
  EXPECT_NEAR(upright->pixelAt(29, 0).g, storedTopLeft.g, 2);
  // The mirrored turns: 5 transposes (the stored top-left stays top-left),
  // 7 transverses (the stored top-left goes to the bottom-right).
  for (int exif : {5, 7}) {
    SCOPED_TRACE(exif);
    options.orientation = exif;
    auto turned = Image::withData(encode(gradient(40, 30), UTType::JPEG, options));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->orientation(), exif == 5 ? ImageOrientation::LeftMirrored : ImageOrientation::RightMirrored);
    auto shown = turned->uprightBitmap();
    ASSERT_EQ(shown->width(), 30u);
    const Pixel corner = exif == 5 ? shown->pixelAt(0, 0) : shown->pixelAt(29, 39);
    EXPECT_NEAR(corner.r, storedTopLeft.r, 2);
    EXPECT_NEAR(corner.g, storedTopLeft.g, 2);
  }

  // Adobe-style CMYK (stored inverted): no cyan, full magenta and yellow = red.
  const auto cmyk = libjpegFile(16, 16, JCS_CMYK, 4, false, [](size_t, size_t, uint8_t* p) {
    p[0] = 255, p[1] = 0, p[2] = 0, p[3] = 255;
  });
  auto cmykSource = ImageSource::create(cmyk);
  EXPECT_EQ(cmykSource->propertiesAtIndex(0)->colorModel, ColorSpace::Model::CMYK);
  auto bitmap = cmykSource->createImageAtIndex(0);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->colorSpace()->model(), ColorSpace::Model::CMYK);
  auto rgb = bitmap->converted(PixelFormat::rgba8());
  ASSERT_TRUE(rgb);
  const Pixel p = rgb->pixelAt(8, 8);
  EXPECT_GE(p.r, 250);
  EXPECT_LE(p.g, 5);
  EXPECT_LE(p.b, 5);
}

TEST(ImageIO, PNGSuiteDecodesToItsDocumentedPictures) {
  const fs::path suite = benchData() / "png" / "pngsuite";
  if (!fs::is_directory(suite)) GTEST_SKIP() << "PNG suite not found at " << suite;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(suite)) {
    if (entry.path().extension() != ".png") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++files;
    auto source = ImageSource::createWithFile(entry.path().string());
    ASSERT_TRUE(source);
    ASSERT_EQ(source->count(), 1u) << source->lastError();
    EXPECT_EQ(source->propertiesAtIndex(0)->pixelWidth, 32u);
    auto bitmap = source->createImageAtIndex(0);
    ASSERT_TRUE(bitmap) << source->lastError();
    EXPECT_EQ(bitmap->width(), 32u);
    EXPECT_EQ(bitmap->height(), 32u);
    // Interlaced copies hold the same picture.
    const std::string name = entry.path().filename().string();
    if (name[0] == 'i') {
      auto plain = ImageSource::createWithFile((suite / name.substr(1)).string())->createImageAtIndex(0);
      ASSERT_TRUE(plain);
      for (size_t y = 0; y < 32; ++y)
        for (size_t x = 0; x < 32; ++x) ASSERT_EQ(plain->pixelAt(x, y), bitmap->pixelAt(x, y)) << x << "," << y;
    }
  }
  EXPECT_GT(files, 40u);

  auto load = [&](const char* name) { return ImageSource::createWithFile((suite / name).string())->createImageAtIndex(0); };
  // 1-bit gray: only black and white, both present, opaque.
  auto g1 = load("basn0g01.png");
  bool black = false, white = false;
  for (size_t y = 0; y < 32; ++y)
    for (size_t x = 0; x < 32; ++x) {
      const Pixel p = g1->pixelAt(x, y);
      ASSERT_TRUE(p.r == 0 || p.r == 255);
      ASSERT_EQ(p.a, 255);
      black |= p.r == 0, white |= p.r == 255;
    }
  EXPECT_TRUE(black && white);
  // 2-bit gray: the four levels of two bits.
  auto g2 = load("basn0g02.png");
  for (size_t x = 0; x < 32; ++x) {
    const int v = g2->pixelAt(x, 5).r;
    EXPECT_TRUE(v == 0 || v == 85 || v == 170 || v == 255) << v;
  }
  // "Opaque" files are fully opaque; the transparent ones are not.
  auto opaque = load("ftp0n2c08.png");
  for (size_t y = 0; y < 32; ++y) EXPECT_EQ(opaque->pixelAt(y, y).a, 255);
  auto transparent = load("ftbbn0g01.png");
  bool anyClear = false;
  for (size_t y = 0; y < 32; ++y)
    for (size_t x = 0; x < 32; ++x) anyClear |= transparent->pixelAt(x, y).a == 0;
  EXPECT_TRUE(anyClear);
  // 16-bit gray reads as equal R, G and B.
  const Pixel g16 = load("basn0g16.png")->pixelAt(10, 20);
  EXPECT_TRUE(g16.r == g16.g && g16.g == g16.b);
}

TEST(ImageIO, MalformedAndHostileFilesFailCleanly) {
  const fs::path crashers = benchData() / "png" / "crashers";
  if (fs::is_directory(crashers)) {
    for (const auto& entry : fs::directory_iterator(crashers)) {
      SCOPED_TRACE(entry.path().filename().string());
      auto source = ImageSource::createWithFile(entry.path().string());
      ASSERT_TRUE(source);
      if (source->count() == 0) {
        EXPECT_FALSE(source->lastError().empty());
        continue;
      }
      auto bitmap = source->createImageAtIndex(0);
      if (!bitmap) {
        EXPECT_FALSE(source->lastError().empty());
      }
    }
  }

  // A PNG header announcing 100000 x 100000 pixels.
  auto png = encode(gradient(4, 4), UTType::PNG);
  png[16] = 0x00, png[17] = 0x01, png[18] = 0x86, png[19] = 0xA0;
  png[20] = 0x00, png[21] = 0x01, png[22] = 0x86, png[23] = 0xA0;
  auto forged = ImageSource::create(png);
  EXPECT_EQ(forged->count(), 0u);
  EXPECT_EQ(forged->status(), ImageSourceStatus::InvalidData);
  EXPECT_NE(forged->lastError().find("limits"), std::string::npos);

  // A JPEG whose frame header claims 65000 x 65000.
  auto jpeg = encode(gradient(8, 8), UTType::JPEG);
  for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = 0xFD, jpeg[i + 6] = 0xE8, jpeg[i + 7] = 0xFD, jpeg[i + 8] = 0xE8;
      break;
    }
  }
  EXPECT_EQ(ImageSource::create(jpeg)->count(), 0u);

  // A GIF screen of 65535 x 65535.
  auto gif = threeFrameGIF();
  gif[6] = gif[7] = gif[8] = gif[9] = 0xFF;
  EXPECT_EQ(ImageSource::create(gif)->count(), 0u);

  // Every prefix of real files either decodes or fails; none crashes.
  for (const auto& file : {encode(gradient(20, 20), UTType::PNG), encode(gradient(20, 20), UTType::JPEG), threeFrameGIF()}) {
    for (size_t n = 1; n < file.size(); n += 7) {
      auto source = ImageSource::create(std::span(file.data(), n));
      for (size_t i = 0; i < source->count(); ++i) source->createImageAtIndex(i);
    }
  }
  // Unknown and recognised-but-undecodable data.
  const uint8_t junk[] = "this is not an image at all";
  EXPECT_EQ(ImageSource::create(std::span(junk, sizeof junk))->status(), ImageSourceStatus::UnknownType);
  const uint8_t webp[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', ' '};
  auto webpSource = ImageSource::create(webp);
  EXPECT_EQ(webpSource->type(), UTType::WebP);
  EXPECT_EQ(webpSource->count(), 0u);
}

// PNG chunks written by hand, with their CRC-32.
uint32_t pngCRC(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void putBE32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The offset of the first chunk of `type` (its length field).
size_t pngChunk(const std::vector<uint8_t>& png, const char* type) {
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = (uint32_t(png[at]) << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (std::memcmp(&png[at + 4], type, 4) == 0) return at;
    at += 12 + length;
  }
  return png.size();
}

TEST(ImageIO, CompletePNGDataThatCannotDecodeIsInvalid) {
  const auto intact = encode(gradient(16, 16), UTType::PNG);
  const size_t idat = pngChunk(intact, "IDAT");
  ASSERT_LT(idat, intact.size());
  const uint32_t idatLength = (uint32_t(intact[idat]) << 24) | (intact[idat + 1] << 16) | (intact[idat + 2] << 8) |
                              intact[idat + 3];

  // The image data's Adler-32 is wrong; every chunk's CRC is right.
  auto badAdler = intact;
  badAdler[idat + 8 + idatLength - 1] ^= 0x5A;
  putBE32(badAdler, idat + 8 + idatLength, pngCRC(&badAdler[idat + 4], idatLength + 4));
  // Chunks claiming 2^30 bytes where the image data should be, ancillary
  // and critical.
  auto hugeIDAT = std::vector<uint8_t>(intact.begin(), intact.begin() + static_cast<long>(idat));
  const uint8_t claim[] = {0x40, 0, 0, 0, 'I', 'D', 'A', 'T', 1, 2, 3, 4, 5, 6, 7, 8};
  hugeIDAT.insert(hugeIDAT.end(), std::begin(claim), std::end(claim));
  auto hugeText = hugeIDAT;
  std::memcpy(&hugeText[idat + 4], "tEXt", 4);

  for (const auto* file : {&badAdler, &hugeIDAT, &hugeText}) {
    SCOPED_TRACE(file == &badAdler ? "bad Adler-32" : file == &hugeIDAT ? "2^30 IDAT" : "2^30 tEXt");
    auto source = ImageSource::create(*file);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->status(), ImageSourceStatus::InvalidData);
    EXPECT_EQ(source->statusAtIndex(0), ImageSourceStatus::InvalidData);
    EXPECT_FALSE(source->createImageAtIndex(0));
    EXPECT_NE(source->lastError().find("corrupt"), std::string::npos) << source->lastError();
    // Asked the other way round: the frame first, then the status.
    auto fresh = ImageSource::create(*file);
    EXPECT_FALSE(fresh->createImageAtIndex(0));
    EXPECT_NE(fresh->lastError().find("PNG data is corrupt"), std::string::npos) << fresh->lastError();
    EXPECT_EQ(fresh->statusAtIndex(0), ImageSourceStatus::InvalidData);
  }

  // The same bytes while they arrive are a prefix still waiting for rows.
  auto arriving = ImageSource::createIncremental();
  arriving->updateData(hugeIDAT, false);
  EXPECT_EQ(arriving->status(), ImageSourceStatus::Incomplete);
  EXPECT_FALSE(arriving->createImageAtIndex(0));
  EXPECT_NE(arriving->lastError().find("no image rows yet"), std::string::npos) << arriving->lastError();

  // Intact data stays complete, and the frame decoded for the check is the
  // picture handed out.
  auto good = ImageSource::create(intact);
  EXPECT_EQ(good->status(), ImageSourceStatus::Complete);
  EXPECT_EQ(good->statusAtIndex(0), ImageSourceStatus::Complete);
  auto bitmap = good->createImageAtIndex(0);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->pixelAt(15, 15), gradient(16, 16)->pixelAt(15, 15));
}

TEST(ImageIO, TypeIdentifiers) {
  EXPECT_TRUE(typeConformsTo(UTType::PNG, UTType::Image));
  EXPECT_TRUE(typeConformsTo(UTType::PNG, UTType::Data));
  EXPECT_TRUE(typeConformsTo(UTType::JPEG, UTType::Item));
  EXPECT_FALSE(typeConformsTo(UTType::Image, UTType::PNG));
  EXPECT_EQ(typeForMIMEType("image/x-icon"), UTType::ICO);
  EXPECT_EQ(typeForMIMEType("IMAGE/JPEG; q=1"), UTType::JPEG);
  EXPECT_EQ(preferredMIMEType(UTType::GIF), "image/gif");
  EXPECT_EQ(typeForFilenameExtension("JPG"), UTType::JPEG);
  EXPECT_EQ(preferredFilenameExtension(UTType::TIFF), "tiff");
}

}  // namespace
}  // namespace kit

#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"
#include "kit/graphics/image_io_objects.h"

namespace kit {
namespace {

TEST(ImageIO, PropertiesAsDictionariesAndDataRepresentations) {
  auto gif = Data::make(threeFrameGIF());
  auto source = imageSourceWithData(gif);
  ASSERT_TRUE(source);
  auto file = imageSourceProperties(*source);
  EXPECT_EQ(as<Number>(file->objectForKey(ImageProperty::FileSize))->unsignedLongLongValue(), gif->length());
  Id loop = Id(file)[ImageProperty::GIFDictionary][ImageProperty::GIFLoopCount];
  ASSERT_TRUE(loop);
  EXPECT_EQ(as<Number>(loop)->intValue(), 2);
  auto frame = imagePropertiesAtIndex(*source, 1);
  ASSERT_TRUE(frame);
  EXPECT_EQ(as<Number>(frame->objectForKey(ImageProperty::PixelWidth))->intValue(), 4);
  EXPECT_DOUBLE_EQ(as<Number>(Id(frame)[ImageProperty::GIFDictionary][ImageProperty::GIFDelayTime])->doubleValue(), 0.2);
  EXPECT_EQ(imagePropertiesAtIndex(*source, 3), nullptr);

  auto image = imageWithData(gif);
  ASSERT_TRUE(image);
  auto png = pngRepresentation(*image);
  ASSERT_TRUE(png);
  auto back = imageSourceWithData(png);
  EXPECT_EQ(back->type(), UTType::PNG);
  auto props = imagePropertiesAtIndex(*back, 0);
  EXPECT_EQ(describe(props->objectForKey(ImageProperty::ColorModel)), "RGB");
  auto jpeg = jpegRepresentation(*image, 0.8);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(imageSourceWithData(jpeg)->type(), UTType::JPEG);
  EXPECT_EQ(imageSourceWithData(Data::make()), nullptr);
}

}  // namespace
}  // namespace kit

namespace kit {
namespace {

TEST(ImageIO, BMPAndIconRoundTripsAndClassicIcons) {
  std::vector<uint8_t> px = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 255};
  auto original = Bitmap::create(2, 2, PixelFormat::rgba8(), 0, px);
  const auto bmp = encode(original, UTType::BMP);
  auto decoded = decode(bmp);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelAt(0, 0), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(decoded->pixelAt(1, 0), (Pixel{0, 255, 0, 128}));
  EXPECT_EQ(decoded->pixelAt(0, 1).a, 0);
  EXPECT_EQ(decoded->pixelAt(1, 1), (Pixel{9, 9, 9, 255}));
  // Cut short: the missing (top) rows of a bottom-up file are transparent.
  auto partial = ImageSource::create(std::span(bmp.data(), bmp.size() - 8))->createImageAtIndex(0);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->pixelAt(0, 0).a, 0);
  EXPECT_EQ(partial->pixelAt(1, 1), (Pixel{9, 9, 9, 255}));

  auto icon = ImageDestination::create(UTType::ICO, 2);
  icon->addImage(gradient(16, 16));
  icon->addImage(gradient(32, 32));
  ASSERT_TRUE(icon->finalize()) << icon->lastError();
  auto source = ImageSource::create(icon->data());
  EXPECT_EQ(source->type(), UTType::ICO);
  ASSERT_EQ(source->count(), 2u);
  EXPECT_EQ(source->propertiesAtIndex(1)->pixelWidth, 32u);
  EXPECT_EQ(source->createImageAtIndex(1)->width(), 32u);
  EXPECT_EQ(source->createImageAtIndex(0)->width(), 16u);
  auto tooBig = ImageDestination::create(UTType::ICO, 1);
  tooBig->addImage(gradient(300, 4));
  EXPECT_FALSE(tooBig->finalize());

  // A classic 24-bit icon entry: 2x2, the AND mask hides the top-left pixel.
  std::vector<uint8_t> ico = {0, 0, 1, 0, 1, 0,                  // header, one entry
                              2, 2, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 22, 0, 0, 0};
  std::vector<uint8_t> dib(40, 0);
  dib[0] = 40, dib[4] = 2, dib[8] = 4, dib[12] = 1, dib[14] = 24;
  const uint8_t rows[16] = {0, 0, 255, 0, 255, 0, 0, 0,     // bottom row: red, green (BGR)
                            255, 0, 0, 255, 255, 255, 0, 0};  // top row: blue, white
  dib.insert(dib.end(), rows, rows + 16);
  const uint8_t mask[8] = {0, 0, 0, 0, 0x80, 0, 0, 0};  // bottom row clear, top row: first pixel masked
  dib.insert(dib.end(), mask, mask + 8);
  const uint32_t size = static_cast<uint32_t>(dib.size());
  ico[14] = size & 0xff, ico[15] = size >> 8;
  ico.insert(ico.end(), dib.begin(), dib.end());
  auto classic = ImageSource::create(ico);
  ASSERT_EQ(classic->count(), 1u) << classic->lastError();
  auto b = classic->createImageAtIndex(0);
  ASSERT_TRUE(b) << classic->lastError();
  EXPECT_EQ(b->pixelAt(0, 0).a, 0);
  EXPECT_EQ(b->pixelAt(1, 0), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(b->pixelAt(0, 1), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(b->pixelAt(1, 1), (Pixel{0, 255, 0, 255}));

  // Hostile: a BMP header claiming 2^30 x 2^30 pixels.
  auto forged = bmp;
  forged[18] = forged[22] = 0, forged[19] = forged[23] = 0, forged[20] = forged[24] = 0, forged[21] = forged[25] = 0x40;
  EXPECT_EQ(ImageSource::create(forged)->count(), 0u);
  for (const auto& file : {bmp, ico, icon->data()}) {
    for (size_t n = 1; n < file.size(); n += 3) {
      auto s = ImageSource::create(std::span(file.data(), n));
      for (size_t i = 0; i < s->count(); ++i) s->createImageAtIndex(i);
    }
  }
}

}  // namespace
}  // namespace kit

namespace kit {
namespace {

// A GIF with a large screen and one-pixel frames: little data, while every
// decoded frame is as large as the screen.
std::vector<uint8_t> sparseGIF(uint16_t side, size_t frames) {
  std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a'};
  gif.insert(gif.end(), {static_cast<uint8_t>(side), static_cast<uint8_t>(side >> 8), static_cast<uint8_t>(side),
                         static_cast<uint8_t>(side >> 8), 0x80, 0, 0, 255, 0, 0, 0, 0, 255});
  for (size_t i = 0; i < frames; ++i) {
    gif.insert(gif.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0});
  }
  gif.push_back(0x3B);
  return gif;
}

TEST(ImageIO, ASourceKeepsDecodedFramesWithinItsLimit) {
  constexpr size_t kFrame = 512 * 512 * 4;
  const auto file = sparseGIF(512, 40);  // 40 MB of frames
  auto source = ImageSource::create(file);
  ASSERT_TRUE(source);
  ASSERT_EQ(source->count(), 40u);
  for (size_t i = 0; i < source->count(); ++i) {
    ASSERT_TRUE(source->createImageAtIndex(i)) << source->lastError();
    EXPECT_LE(source->cachedBytes(), ImageSourceOptions::kDefaultMaxCachedBytes);
  }
  EXPECT_EQ(source->cachedBytes(), ImageSourceOptions::kDefaultMaxCachedBytes / kFrame * kFrame);

  // The frames asked for last are the ones kept.
  ImageSourceOptions four;
  four.maxCachedBytes = 4 * kFrame;
  auto small = ImageSource::create(file, four);
  std::vector<Ref<Bitmap>> first;
  for (size_t i = 0; i < 6; ++i) first.push_back(small->createImageAtIndex(i));
  EXPECT_EQ(small->cachedBytes(), 4 * kFrame);
  EXPECT_EQ(small->createImageAtIndex(2), first[2]);  // kept, and now the newest
  EXPECT_EQ(small->createImageAtIndex(5), first[5]);
  EXPECT_NE(small->createImageAtIndex(0), first[0]);  // gone, decoded again
  EXPECT_EQ(small->createImageAtIndex(2), first[2]);
  EXPECT_NE(small->createImageAtIndex(3), first[3]);  // pushed out by 0

  // A frame larger than the limit, and a source told not to keep frames.
  ImageSourceOptions tiny;
  tiny.maxCachedBytes = kFrame - 1;
  auto none = ImageSource::create(file, tiny);
  ASSERT_TRUE(none->createImageAtIndex(0));
  EXPECT_EQ(none->cachedBytes(), 0u);
  ImageSourceOptions off;
  off.shouldCache = false;
  auto uncached = ImageSource::create(file, off);
  ASSERT_TRUE(uncached->createImageAtIndex(0));
  EXPECT_EQ(uncached->cachedBytes(), 0u);
}

}  // namespace
}  // namespace kit
