// Tests of the image encoder and the data representation: real files
// written, read back through the decoder and compared by pixels.
#include "ui/images/kt_image_encoder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/exception.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/spawn_attributes.h"
#include "kit/testing/temp_directory.h"
#include "ui/images/kt_image.h"
#include "ui/images/testing/gif_test_support.h"

// Every call of umask() from this program (the encoder's included) is
// counted, so a test can tell that writing a file leaves it alone.
std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask) {
  ++umaskCalls;
  return static_cast<mode_t>(syscall(SYS_umask, mask));
}

namespace {

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool contains(const kit::Data& data, std::string_view text) {
  return std::search(data.bytes(), data.bytes() + data.length(), text.begin(), text.end()) !=
         data.bytes() + data.length();
}

kit::Ref<kit::Image> solid(kit::Pixel colour, size_t w = 4, size_t h = 4) {
  return kit::Image::withBitmap(giftest::solid(w, h, colour), 1);
}

// A 16x8 picture, red on the left and blue on the right, to be shown
// turned to the right: upright it is 8x16, red above blue.
kit::Ref<kit::Image> turnedRight() {
  std::vector<uint8_t> px(16 * 8 * 4);
  for (size_t i = 0; i < 16 * 8; ++i) {
    const bool left = i % 16 < 8;
    px[i * 4] = left ? 255 : 0;
    px[i * 4 + 2] = left ? 0 : 255;
    px[i * 4 + 3] = 255;
  }
  return kit::Image::withBitmap(kit::Bitmap::create(16, 8, kit::PixelFormat::rgba8(), 0, std::move(px)), 1,
                                kit::ImageOrientation::Right);
}

TEST(KTImageEncoderTest, CreationAndSettings) {
  try {
    KTImageEncoder::make();
    FAIL() << "init must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "KTImageEncoder init error");
    EXPECT_EQ(e.reason(), "KTImageEncoder must be initialized with a type. Use 'initWithType:' instead.");
  }
  kit::test::LogCapture logs;
  EXPECT_FALSE(KTImageEncoder::initWithType(KTImageTypeUnknown));
  EXPECT_FALSE(KTImageEncoder::initWithType(static_cast<KTImageType>(10)));
  ASSERT_EQ(logs.count(), 2u);
  EXPECT_TRUE(logs.messages()[0].ends_with("Unsupported image type:0"));
  EXPECT_TRUE(logs.messages()[1].ends_with("Unsupported image type:10"));
  EXPECT_FALSE(KTImageEncoder::initWithType(KTImageTypeWebP));
  EXPECT_TRUE(logs.contains("WebP"));

  auto jpeg = KTImageEncoder::initWithType(KTImageTypeJPEG);
  EXPECT_EQ(jpeg->quality(), 0.9);
  EXPECT_FALSE(jpeg->lossless());
  auto gif = KTImageEncoder::initWithType(KTImageTypeGIF);
  EXPECT_EQ(gif->quality(), 1.0);
  EXPECT_TRUE(gif->lossless());
  gif->setQuality(1.5);
  EXPECT_EQ(gif->quality(), 1.0);
  gif->setQuality(-1);
  EXPECT_EQ(gif->quality(), 0);
  gif->addImageWithData(kit::Data::make(), 1);
  gif->addImageWithFile("", 1);
  gif->addImage(nullptr, 1);
  EXPECT_FALSE(gif->encode());  // nothing was added
}

TEST(KTImageEncoderTest, IconFamiliesAreWrittenForTheSizesTheyHold) {
  auto icns = KTImageEncoder::initWithType(KTImageTypeICNS);
  icns->addImage(solid({10, 20, 30, 255}, 32, 32), 0);
  icns->addImage(solid({40, 50, 60, 128}, 16, 16), 0);
  auto data = icns->encode();
  ASSERT_TRUE(data);
  EXPECT_EQ(KTDetectImageType(data), KTImageTypeICNS);
  // As for every format but GIF, the first image is written.
  auto decoder = KTImageDecoder::decoderWithData(data, 1);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->frameCount(), 1u);
  EXPECT_EQ(decoder->width(), 32u);
  auto single = KTEncodeCGImage(giftest::solid(64, 64, {1, 2, 3, 255}), KTImageTypeICNS, 1);
  ASSERT_TRUE(single);
  EXPECT_EQ(KTDetectImageType(single), KTImageTypeICNS);
  // A size an icon family has no place for gives nothing.
  EXPECT_FALSE(KTEncodeCGImage(giftest::solid(4, 4, {1, 2, 3, 255}), KTImageTypeICNS, 1));
}

TEST(KTImageEncoderTest, PNGJPEGAndGIFFiles) {
  auto png = KTImageEncoder::initWithType(KTImageTypePNG);
  png->addImage(solid({255, 0, 0, 255}), 0.1);
  auto plain = png->encode();
  ASSERT_TRUE(plain);
  EXPECT_FALSE(contains(*plain, "acTL"));
  png->addImage(solid({0, 255, 0, 255}), 0.2);
  auto animated = png->encode();
  ASSERT_TRUE(animated);
  EXPECT_TRUE(contains(*animated, "acTL"));
  auto decoded = KTImageDecoder::decoderWithData(animated, 1);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->frameCount(), 2u);
  EXPECT_NEAR(decoded->frameDurationAtIndex(1), 0.2, 1e-9);

  auto jpeg = KTImageEncoder::initWithType(KTImageTypeJPEG);
  for (auto c : {kit::Pixel{255, 0, 0, 255}, kit::Pixel{0, 255, 0, 255}, kit::Pixel{0, 0, 255, 255}})
    jpeg->addImage(solid(c), 0);
  auto jpg = jpeg->encode();
  ASSERT_TRUE(jpg);
  EXPECT_EQ(KTDetectImageType(jpg), KTImageTypeJPEG);
  EXPECT_EQ(KTImageDecoder::decoderWithData(jpg, 1)->frameCount(), 1u);

  auto gif = KTImageEncoder::initWithType(KTImageTypeGIF);
  gif->setLoopCount(0);
  for (int i = 0; i < 3; ++i) gif->addImage(solid(giftest::palette()[i]), 0.1);
  auto gifData = gif->encode();
  ASSERT_TRUE(gifData);
  auto gifDecoder = KTImageDecoder::decoderWithData(gifData, 1);
  ASSERT_TRUE(gifDecoder);
  EXPECT_EQ(gifDecoder->frameCount(), 3u);
  EXPECT_EQ(gifDecoder->loopCount(), 0u);
  for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(gifDecoder->frameDurationAtIndex(i), 0.1, 1e-9);
  EXPECT_TRUE(kit::test::near(gifDecoder->frameAtIndex(2, true)->image()->bitmap()->pixelAt(1, 1),
                              giftest::palette()[2], 2));
}

TEST(KTImageEncoderTest, OrientedImagesAreStoredUpright) {
  // Turned right, the red pixel shows on top of the blue one.
  for (KTImageType type : {KTImageTypePNG, KTImageTypeJPEG, KTImageTypeGIF}) {
    auto data = KTImageEncoder::encodeImage(turnedRight(), type, 1);
    ASSERT_TRUE(data) << type;
    auto bitmap = kit::test::decodeFirst(data->span());
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->width(), 8u) << type;
    ASSERT_EQ(bitmap->height(), 16u) << type;
    EXPECT_GT(bitmap->pixelAt(4, 2).r, 200) << type;
    EXPECT_GT(bitmap->pixelAt(4, 13).b, 200) << type;
  }
  auto png = KTImageEncoder::initWithType(KTImageTypePNG);
  png->addImage(turnedRight(), 0.1);
  png->addImage(turnedRight(), 0.1);
  auto decoder = KTImageDecoder::decoderWithData(png->encode(), 1);
  ASSERT_TRUE(decoder);
  auto frame = decoder->frameAtIndex(1, true)->image()->bitmap();
  ASSERT_EQ(frame->height(), 16u);
  EXPECT_TRUE(kit::test::near(frame->pixelAt(4, 2), {255, 0, 0, 255}, 1));
  EXPECT_TRUE(kit::test::near(frame->pixelAt(4, 13), {0, 0, 255, 255}, 1));
}

TEST(KTImageEncoderTest, DataRepresentationAndFiles) {
  auto opaque = KTImage::imageWithData(KTImageEncoder::encodeImage(solid({10, 20, 30, 255}), KTImageTypeJPEG, 0.9), 1);
  ASSERT_TRUE(opaque);
  EXPECT_EQ(KTDetectImageType(KT_imageDataRepresentation(opaque)), KTImageTypeJPEG);
  auto clear = kit::Image::withBitmap(giftest::solid(4, 4, {10, 20, 30, 128}), 1);
  EXPECT_EQ(KTDetectImageType(KT_imageDataRepresentation(clear)), KTImageTypePNG);
  const auto gifBytes = giftest::gifBytes({0.1, 0.2});
  auto gif = KTImage::imageWithData(giftest::data(gifBytes), 1);
  auto representation = KT_imageDataRepresentation(gif);
  ASSERT_TRUE(representation);
  EXPECT_TRUE(std::equal(gifBytes.begin(), gifBytes.end(), representation->bytes(),
                         representation->bytes() + representation->length()));
  EXPECT_FALSE(KTImageEncoder::encodeImageWithDecoder(nullptr, KTImageTypePNG, 1));
  auto reencoded = KTImageEncoder::encodeImageWithDecoder(KTImageDecoder::decoderWithData(giftest::data(gifBytes), 1),
                                                          KTImageTypeGIF, 1);
  ASSERT_TRUE(reencoded);
  EXPECT_EQ(KTImageDecoder::decoderWithData(reencoded, 1)->frameCount(), 2u);

  kit::test::TempDirectory dir;
  const std::string path = dir.file("kept.png");
  auto encoder = KTImageEncoder::initWithType(KTImageTypePNG);
  encoder->addImage(solid({1, 2, 3, 255}), 0);
  ASSERT_TRUE(encoder->encodeToFile(path));
  const auto before = readBytes(path);
  EXPECT_EQ(KTDetectImageType(kit::Data::make(before)), KTImageTypePNG);
  // Entries that cannot be read fail the encoding: the file stays as it was,
  // on the image-destination path and on the animated-PNG path alike.
  auto broken = KTImageEncoder::initWithType(KTImageTypePNG);
  broken->addImageWithFile(dir.file("missing.png"), 0);
  EXPECT_FALSE(broken->encodeToFile(path));
  EXPECT_EQ(readBytes(path), before);
  broken->addImageWithData(kit::Data::make(std::string_view("not an image")), 0);
  EXPECT_FALSE(broken->encodeToFile(path));
  EXPECT_EQ(readBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

}  // namespace

namespace {

TEST(KTImageEncoderTest, SavingToTheAlbumWritesIntoThePicturesFolder) {
  kit::test::TempDirectory dir;
  kit::Application::shared()->setPicturesDirectory(dir.file("album"));
  const auto gifBytes = giftest::gifBytes({0.1, 0.2});
  auto gif = KTImage::imageWithData(giftest::data(gifBytes), 1);
  kit::Ref<kit::URL> saved;
  bool done = false, onMain = false;
  KT_saveToAlbumWithCompletionBlock(gif, [&](kit::Ref<kit::URL> url, kit::Ref<kit::Error> error) {
    EXPECT_FALSE(error);
    saved = url;
    onMain = kit::RunLoop::isMainThread();
    done = true;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_TRUE(onMain);
  ASSERT_TRUE(saved);
  EXPECT_TRUE(saved->path()->utf8().ends_with(".gif"));
  EXPECT_EQ(readBytes(saved->path()->utf8()), gifBytes);  // the GIF as it is
  kit::Application::shared()->setPicturesDirectory("");
}

}  // namespace

namespace {

// The process's umask, read without changing it.
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("Umask:")) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

TEST(KTImageEncoderTest, WritingAFileNeverTouchesTheUmask) {
  kit::test::TempDirectory dir;
  auto encoder = KTImageEncoder::initWithType(KTImageTypePNG);
  encoder->addImage(solid({1, 2, 3, 255}), 0);
  const int before = umaskCalls;
  ASSERT_TRUE(encoder->encodeToFile(dir.file("a.png")));
  EXPECT_EQ(umaskCalls.load(), before);
  struct stat info {};
  ASSERT_EQ(::stat(dir.file("a.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~currentUmask());
}

// Runs this test binary again, running only `test`, with `variable` set.
int runChild(const std::string& test, const std::string& variable) {
  std::string filter = "--gtest_filter=" + test;
  std::vector<std::string> env{variable};
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  char* argv[] = {exe.data(), filter.data(), nullptr};
  pid_t pid;
  const kit::test::SpawnAttributes attributes;
  if (posix_spawn(&pid, exe.c_str(), nullptr, attributes.get(), argv, envp.data()) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The child half of AFailedWriteLeavesNoPartOfAPicture: under a file-size
// limit (which fails a write even for root) with SIGXFSZ ignored, so the
// write fails instead of ending the process. Skipped when run alone.
TEST(KTImageEncoderChild, WritesUnderAFileSizeLimit) {
  const char* folder = std::getenv("KT_ENCODER_FSIZE_CHILD");
  if (!folder) GTEST_SKIP() << "runs as a child process only";
  const std::string album = std::string(folder) + "/album";
  kit::Application::shared()->setPicturesDirectory(album);
  const std::string kept = std::string(folder) + "/kept.png";
  auto big = kit::Image::withBitmap(kit::test::photoBitmap(400, 400), 1);
  auto small = KTImageEncoder::initWithType(KTImageTypePNG);
  small->addImage(solid({1, 2, 3, 255}), 0);
  ASSERT_TRUE(small->encodeToFile(kept));
  const auto before = readBytes(kept);

  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, 4096};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  auto encoder = KTImageEncoder::initWithType(KTImageTypePNG);
  encoder->addImage(big, 0);
  EXPECT_FALSE(encoder->encodeToFile(kept));
  EXPECT_EQ(readBytes(kept), before);

  bool done = false;
  kit::Ref<kit::URL> saved;
  kit::Ref<kit::Error> failed;
  KT_saveToAlbumWithCompletionBlock(big, [&](kit::Ref<kit::URL> url, kit::Ref<kit::Error> error) {
    saved = url;
    failed = error;
    done = true;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_FALSE(saved);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->localizedDescription(), "the picture cannot be written");
  // Nothing is left behind: no partial picture, no temporary file.
  EXPECT_TRUE(std::filesystem::is_empty(album));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);
  kit::Application::shared()->setPicturesDirectory("");
}

TEST(KTImageEncoderTest, AFailedWriteLeavesNoPartOfAPicture) {
  kit::test::TempDirectory dir;
  EXPECT_EQ(runChild("KTImageEncoderChild.WritesUnderAFileSizeLimit", "KT_ENCODER_FSIZE_CHILD=" + dir.path()), 0);
}

}  // namespace
