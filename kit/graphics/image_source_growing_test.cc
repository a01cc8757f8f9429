// Incremental image sources fed a growing prefix in many small pieces: the
// bytes are copied about once in all, what readers and images took earlier
// stays as it was, and data that does not continue the held bytes is taken
// whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "kit/graphics/byte_snapshot.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {
namespace {

// A w x h opaque picture with noise, which compresses poorly: a large file.
Ref<Bitmap> noisyPicture(size_t w, size_t h, uint32_t seed) {
  std::vector<uint8_t> px(w * h * 4);
  for (size_t i = 0; i < w * h; ++i) {
    seed = seed * 1103515245 + 12345;
    px[i * 4 + 0] = static_cast<uint8_t>((i % w) * 255 / w);
    px[i * 4 + 1] = static_cast<uint8_t>(seed >> 16);
    px[i * 4 + 2] = static_cast<uint8_t>(seed >> 24);
    px[i * 4 + 3] = 255;
  }
  return Bitmap::create(w, h, PixelFormat::rgba8(), 0, px);
}

std::vector<uint8_t> encodePNG(const Ref<Bitmap>& bitmap) {
  auto destination = ImageDestination::create(UTType::PNG, 1);
  destination->addImage(bitmap);
  EXPECT_TRUE(destination->finalize()) << destination->lastError();
  return destination->data();
}

std::vector<uint8_t> pixels(const Ref<Bitmap>& bitmap) { return {bitmap->data().begin(), bitmap->data().end()}; }

// Gives `source` the first `to` bytes of `file`, of which it was given the
// first `from` before.
void grow(ImageSource& source, const std::vector<uint8_t>& file, size_t from, size_t to) {
  source.updateData(std::span(file.data(), to), from, to == file.size());
}

TEST(ImageSourceGrowing, ManySmallPiecesDecodeAsTheWholeFileAndCopyItAboutOnce) {
  const auto file = encodePNG(noisyPicture(384, 384, 7));
  ASSERT_GT(file.size(), size_t{256} << 10);
  const auto oneShot = ImageSource::create(file)->createImageAtIndex(0);
  ASSERT_TRUE(oneShot);

  constexpr size_t kPiece = 1024;
  auto source = ImageSource::createIncremental();
  size_t given = 0;
  while (given < file.size()) {
    const size_t next = std::min(file.size(), given + kPiece);
    grow(*source, file, given, next);
    given = next;
  }
  EXPECT_EQ(source->status(), ImageSourceStatus::Complete);
  auto image = source->createImageAtIndex(0);
  ASSERT_TRUE(image) << source->lastError();
  EXPECT_EQ(pixels(image), pixels(oneShot));
  // Each piece once, and the moves of a buffer growing by half each time.
  EXPECT_GE(source->copiedBytes(), file.size());
  EXPECT_LE(source->copiedBytes(), 4 * file.size());
}

TEST(ImageSourceGrowing, AnImageOfAnEarlyPrefixStaysAsItWasAfterLaterPieces) {
  const auto file = encodePNG(noisyPicture(256, 256, 11));
  auto source = ImageSource::createIncremental();
  const size_t early = file.size() / 3;
  grow(*source, file, 0, early);
  auto partial = source->createImageAtIndex(0);
  ASSERT_TRUE(partial) << source->lastError();
  const auto partialPixels = pixels(partial);

  for (size_t given = early; given < file.size();) {
    const size_t next = std::min(file.size(), given + 512);
    grow(*source, file, given, next);
    given = next;
  }
  EXPECT_EQ(pixels(partial), partialPixels);
  // And it is what a source of that prefix alone gives.
  auto prefixOnly = ImageSource::createIncremental();
  prefixOnly->updateData(std::span(file.data(), early), false);
  EXPECT_EQ(partialPixels, pixels(prefixOnly->createImageAtIndex(0)));
  EXPECT_NE(partialPixels, pixels(source->createImageAtIndex(0)));
}

TEST(ImageSourceGrowing, DataThatDoesNotContinueTheHeldBytesIsTakenWhole) {
  const auto first = encodePNG(noisyPicture(64, 64, 1));
  const auto second = encodePNG(noisyPicture(64, 64, 2));
  ASSERT_NE(first, second);
  const size_t half = std::min(first.size(), second.size()) / 2;
  const auto expected = pixels(ImageSource::create(second)->createImageAtIndex(0));

  // A caller claiming the other file's first half as unchanged: the bytes
  // where the held data ends differ, so the whole of it is copied.
  auto source = ImageSource::createIncremental();
  grow(*source, first, 0, half);
  grow(*source, second, half, second.size());
  EXPECT_EQ(source->copiedBytes(), half + second.size());
  EXPECT_EQ(pixels(source->createImageAtIndex(0)), expected);

  // A count of unchanged bytes other than the held length is not trusted.
  auto miscounted = ImageSource::createIncremental();
  grow(*miscounted, second, 0, half);
  grow(*miscounted, second, half - 1, second.size());
  EXPECT_EQ(miscounted->copiedBytes(), half + second.size());
  EXPECT_EQ(pixels(miscounted->createImageAtIndex(0)), expected);
}

TEST(GrowingBytes, SnapshotsKeepTheirBytesWhileTheBufferGrowsAndMoves) {
  std::vector<uint8_t> all(10000);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i * 31 + 7);
  GrowingBytes buffer;
  buffer.append(std::span(all.data(), 100));
  std::vector<Bytes> snapshots{buffer.snapshot()};
  for (size_t at = 100; at < all.size(); at += 100) {
    buffer.append(std::span(all.data() + at, 100));
    snapshots.push_back(buffer.snapshot());
  }
  for (size_t k = 0; k < snapshots.size(); ++k) {
    ASSERT_EQ(snapshots[k]->size(), (k + 1) * 100);
    ASSERT_TRUE(std::equal(snapshots[k]->begin(), snapshots[k]->end(), all.begin())) << k;
  }
  // Later snapshots share storage with earlier ones until it has to move.
  EXPECT_EQ(snapshots[snapshots.size() - 2]->data(), snapshots.back()->data());
  EXPECT_LE(buffer.copiedBytes(), 4 * all.size());

  // Taking other bytes whole never writes over what a snapshot covers.
  const Bytes before = buffer.snapshot();
  const std::vector<uint8_t> other(50, 0xAB);
  buffer.assign(other);
  buffer.append(other);
  ASSERT_EQ(before->size(), all.size());
  EXPECT_TRUE(std::equal(before->begin(), before->end(), all.begin()));
  const Bytes after = buffer.snapshot();
  ASSERT_EQ(after->size(), 100u);
  EXPECT_TRUE(std::all_of(after->begin(), after->end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST(GrowingBytes, AReaderOverAnEarlySnapshotDecodesThatPrefixAfterLaterAppends) {
  const auto file = encodePNG(noisyPicture(128, 128, 5));
  const size_t early = file.size() / 2;
  GrowingBytes buffer;
  buffer.append(std::span(file.data(), early));
  std::string error;
  auto reader = openPNGReader(buffer.snapshot(), false, {}, error);
  ASSERT_TRUE(reader) << error;
  for (size_t at = early; at < file.size(); at += 256) {
    buffer.append(std::span(file.data() + at, std::min<size_t>(256, file.size() - at)));
  }
  auto late = reader->decode(0, error);
  ASSERT_TRUE(late) << error;
  auto fresh = openPNGReader(makeBytes(std::span(file.data(), early)), false, {}, error);
  ASSERT_TRUE(fresh) << error;
  EXPECT_EQ(pixels(late), pixels(fresh->decode(0, error)));
}

}  // namespace
}  // namespace kit
