// The image cache: what each level keeps, how stored bytes decode, which
// lookups fill memory, where blocks run, and when memory entries go.
#include "ui/images/kt_image_cache.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/number.h"
#include "kit/foundation/process_info.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/screen.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/testing/gif_test_support.h"

namespace {

kit::Ref<kit::String> key(const char* text) { return kit::String::make(text); }

kit::Ref<kit::Data> pngData(size_t width, size_t height) {
  auto image = kit::Image::withBitmap(giftest::solid(width, height, giftest::palette()[2]), 1);
  return kit::Data::make(image->pngData());
}

kit::Ref<kit::Data> withScale(const kit::Ref<kit::Data>& bytes, const kit::Id& scale) {
  auto copy = kit::Data::make(std::vector<uint8_t>(bytes->bytes(), bytes->bytes() + bytes->length()));
  KTDiskCache::setExtendedData(kit::KeyedArchiver::archivedDataWithRootObject(scale), copy);
  return copy;
}

class ImageCacheTest : public ::testing::Test {
 protected:
  kit::test::TempDirectory dir_{"image-cache"};
  kit::Ref<KTImageCache> cache_ = KTImageCache::initWithPath(kit::String::make(dir_.path()));
};

TEST(ImageCacheSetup, InitNeedsAPathAndTheSharedCacheLivesUnderCaches) {
  try {
    KTImageCache::init();
    FAIL() << "init must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "KTImageCache init error");
    EXPECT_EQ(e.reason(), "KTImageCache must be initialized with a path. Use 'initWithPath:' instead.");
  }
  auto shared = KTImageCache::sharedCache();
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared, KTImageCache::sharedCache());
  const std::string& path = shared->diskCache()->path()->utf8();
  EXPECT_TRUE(path.ends_with("/KTImageKit/images")) << path;
  EXPECT_FALSE(shared->name());
  EXPECT_TRUE(shared->allowAnimatedImage());
  EXPECT_TRUE(shared->decodeForDisplay());
  EXPECT_EQ(shared->memoryCache()->ageLimit(), 43200);
}

TEST_F(ImageCacheTest, StoresBytesAsGivenAndDecodesThemAtTheStoredScale) {
  ASSERT_TRUE(cache_);
  auto bytes = pngData(8, 6);
  auto image = KTImage::imageWithData(bytes, 2);
  cache_->setImage(image, bytes, nullptr, KTImageCacheTypeAll);
  cache_->setImage(nullptr, kit::Data::make(), key("empty"), KTImageCacheTypeAll);
  EXPECT_FALSE(cache_->containsImageForKey(key("empty")));

  cache_->setImage(image, bytes, key("a"), KTImageCacheTypeDisk);
  auto stored = cache_->getImageDataForKey(key("a"));
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->isEqualToData(*bytes));
  auto back = cache_->getImageForKey(key("a"), KTImageCacheTypeDisk);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->scale(), 2);
  EXPECT_EQ(back->size().width, 4);

  // A missing, zero or negative scale takes the main screen's.
  double screen = kit::Screen::main()->scale();
  EXPECT_EQ(cache_->imageFromData(bytes)->scale(), screen);
  EXPECT_EQ(cache_->imageFromData(withScale(bytes, kit::num(0.0)))->scale(), screen);
  EXPECT_EQ(cache_->imageFromData(withScale(bytes, kit::num(-3.0)))->scale(), screen);
  EXPECT_EQ(cache_->imageFromData(withScale(bytes, kit::num(3.0)))->scale(), 3);
  // A still frame when animated images are not wanted.
  cache_->setAllowAnimatedImage(false);
  EXPECT_EQ(cache_->imageFromData(withScale(bytes, kit::num(2.0)))->scale(), 2);
}

TEST_F(ImageCacheTest, BytesThatDoNotDecodeGiveNothingAndLeaveMemoryAlone) {
  auto garbage = kit::Data::make(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 1, 2, 3, 4, 5, 6, 7});
  cache_->setImage(nullptr, garbage, key("bad"), KTImageCacheTypeDisk);
  EXPECT_FALSE(cache_->getImageForKey(key("bad")));
  bool called = false;
  kit::Ref<kit::Image> found;
  KTImageCacheType type = KTImageCacheTypeMemory;
  cache_->getImageForKey(key("bad"), KTImageCacheTypeAll, [&](auto image, auto t) {
    called = true;
    found = image;
    type = t;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return called; }));
  EXPECT_FALSE(found);
  EXPECT_EQ(type, KTImageCacheTypeNone);
  EXPECT_EQ(cache_->memoryCache()->totalCount(), 0u);
}

TEST_F(ImageCacheTest, OnlyTheAsynchronousLookupFillsMemoryAndItAnswersOnTheMainQueue) {
  auto bytes = pngData(4, 4);
  cache_->setImage(KTImage::imageWithData(bytes, 1), bytes, key("k"), KTImageCacheTypeDisk);
  EXPECT_FALSE(cache_->containsImageForKey(key("k"), KTImageCacheTypeMemory));
  EXPECT_TRUE(cache_->containsImageForKey(key("k")));
  EXPECT_FALSE(cache_->containsImageForKey(key("k"), KTImageCacheTypeNone));

  ASSERT_TRUE(cache_->getImageForKey(key("k"), KTImageCacheTypeDisk));
  EXPECT_FALSE(cache_->containsImageForKey(key("k"), KTImageCacheTypeMemory));

  cache_->getImageForKey(key("k"), KTImageCacheTypeDisk, nullptr);  // nothing to call: nothing happens
  std::atomic<bool> onMain{false};
  KTImageCacheType type = KTImageCacheTypeNone;
  cache_->getImageForKey(key("k"), KTImageCacheTypeDisk, [&](auto image, auto t) {
    onMain = kit::RunLoop::isMainThread() && image;
    type = t;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return type != KTImageCacheTypeNone; }));
  EXPECT_TRUE(onMain);
  EXPECT_EQ(type, KTImageCacheTypeDisk);
  EXPECT_TRUE(cache_->containsImageForKey(key("k"), KTImageCacheTypeMemory));
  // Filled at the image's cost, which the cost limit counts.
  EXPECT_EQ(cache_->memoryCache()->totalCost(),
            KTImageCache::imageCost(cache_->getImageForKey(key("k"), KTImageCacheTypeMemory)));

  // The synchronous lookup with both levels fills memory too.
  cache_->removeImageForKey(key("k"), KTImageCacheTypeMemory);
  ASSERT_TRUE(cache_->getImageForKey(key("k")));
  EXPECT_TRUE(cache_->containsImageForKey(key("k"), KTImageCacheTypeMemory));

  kit::Ref<kit::Data> read;
  bool dataCalled = false;
  cache_->getImageDataForKey(key("k"), [&](auto data) {
    dataCalled = kit::RunLoop::isMainThread();
    read = data;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return dataCalled; }));
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->isEqualToData(*bytes));
}

TEST_F(ImageCacheTest, AnImageWithoutDataIsEncodedForDiskLaterAndDecodedForMemoryLater) {
  auto plain = kit::Image::withBitmap(giftest::solid(6, 3, giftest::palette()[1]), 1);
  ASSERT_FALSE(KT_isDecodedForDisplay(*plain));
  cache_->setImage(plain, nullptr, key("p"), KTImageCacheTypeAll);
  ASSERT_TRUE(kit::test::runUntil([&] { return cache_->containsImageForKey(key("p"), KTImageCacheTypeDisk); }));
  ASSERT_TRUE(kit::test::runUntil([&] { return cache_->containsImageForKey(key("p"), KTImageCacheTypeMemory); }));
  auto inMemory = cache_->getImageForKey(key("p"), KTImageCacheTypeMemory);
  ASSERT_TRUE(inMemory);
  EXPECT_TRUE(KT_isDecodedForDisplay(*inMemory));
  auto fromDisk = cache_->getImageForKey(key("p"), KTImageCacheTypeDisk);
  ASSERT_TRUE(fromDisk);
  EXPECT_EQ(fromDisk->size().width, 6);

  EXPECT_EQ(KTImageCache::imageCost(nullptr), 1u);
  EXPECT_EQ(KTImageCache::imageCost(plain), 3 * plain->bitmap()->bytesPerRow());
  EXPECT_EQ(cache_->memoryCache()->totalCost(), KTImageCache::imageCost(plain));
}

TEST_F(ImageCacheTest, MemoryKeepsWithinALimitFromTheMachinesMemoryEvictingTheOldestImages) {
  ASSERT_TRUE(cache_);
  EXPECT_EQ(KTImageCache::memoryCostLimit(uint64_t{1} << 30), uint64_t{64} << 20);
  EXPECT_EQ(KTImageCache::memoryCostLimit(uint64_t{64} << 30), uint64_t{128} << 20);
  EXPECT_EQ(KTImageCache::memoryCostLimit(uint64_t{128} << 20), uint64_t{16} << 20);
  const uint64_t limit = cache_->memoryCache()->costLimit();
  EXPECT_EQ(limit, KTImageCache::memoryCostLimit(kit::ProcessInfo::processInfo()->physicalMemory()));

  // Three decoded images of two fifths of the limit each (one bitmap, so
  // the test holds it once): the third passes the limit and the least
  // recently used goes.
  const size_t width = 1024;
  const size_t height = static_cast<size_t>(limit * 2 / 5 / (width * 4)) + 1;
  auto bitmap = giftest::solid(width, height, giftest::palette()[3]);
  auto decoded = [&] {
    auto image = kit::Image::withBitmap(bitmap, 1);
    setKT_isDecodedForDisplay(*image, true);
    return image;
  };
  cache_->setImage(decoded(), nullptr, key("first"), KTImageCacheTypeMemory);
  cache_->setImage(decoded(), nullptr, key("second"), KTImageCacheTypeMemory);
  ASSERT_TRUE(cache_->getImageForKey(key("first"), KTImageCacheTypeMemory));  // now the newer of the two
  cache_->setImage(decoded(), nullptr, key("third"), KTImageCacheTypeMemory);
  auto inMemory = [&](const char* name) { return cache_->containsImageForKey(key(name), KTImageCacheTypeMemory); };
  ASSERT_TRUE(kit::test::runUntil([&] { return !inMemory("second"); }));
  EXPECT_TRUE(inMemory("first"));
  EXPECT_TRUE(inMemory("third"));
  EXPECT_LE(cache_->memoryCache()->totalCost(), limit);
}

class ImageCacheAgeTest : public kit::test::VirtualClockTest {
 protected:
  kit::test::TempDirectory dir_{"image-cache-age"};
};

TEST_F(ImageCacheAgeTest, MemoryEntriesGoAfterTwelveHoursAndOnWarningsAndBackgroundingWhileDiskStays) {
  auto cache = KTImageCache::initWithPath(kit::String::make(dir_.path()));
  ASSERT_TRUE(cache);
  auto bytes = pngData(4, 4);
  auto image = KT_imageByDecoded(KTImage::imageWithData(bytes, 1));
  auto store = [&] { cache->setImage(image, bytes, key("x"), KTImageCacheTypeAll); };
  auto inMemory = [&] { return cache->containsImageForKey(key("x"), KTImageCacheTypeMemory); };

  store();
  ASSERT_TRUE(inMemory());
  advance(12 * 3600 - 60);
  EXPECT_TRUE(inMemory());
  advance(120);
  ASSERT_TRUE(kit::test::runUntil([&] { return !inMemory(); }));
  EXPECT_TRUE(cache->containsImageForKey(key("x"), KTImageCacheTypeDisk));

  store();
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
  ASSERT_TRUE(kit::test::runUntil([&] { return !inMemory(); }));
  store();
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidEnterBackgroundNotification);
  ASSERT_TRUE(kit::test::runUntil([&] { return !inMemory(); }));
  EXPECT_TRUE(cache->containsImageForKey(key("x"), KTImageCacheTypeDisk));
}

}  // namespace
