// Fuzzes what the disk cache reads back: arbitrary bytes stored as a cache
// value (inline or in a file, with extended data) are read with the keyed
// unarchiver. The read must give nil or an object, never raise or crash,
// and an object it gives must store and read again.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "data/cache/disk_cache.h"
#include "kit/foundation/data.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/string.h"

namespace {

std::string& folder() {
  static std::string path;
  return path;
}

kit::Ref<KTDiskCache>& cache() {
  static kit::Ref<KTDiskCache> c;
  return c;
}

void removeFolder() {
  cache().reset();
  std::error_code ignored;
  if (!folder().empty()) std::filesystem::remove_all(folder(), ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kv-cache-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) abort();
  folder() = pattern;
  // A small threshold, so that longer inputs take the file road.
  cache() = KTDiskCache::initWithPath(kit::str(folder() + "/cache"), 256);
  if (!cache()) abort();
  cache()->setErrorLogsEnabled(false);
  atexit(removeFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  KTDiskCache& disk = *cache();
  auto key = kit::str("value");
  auto raw = kit::Data::make(bytes, size);
  // Store the bytes as they are, with the first few as extended data.
  disk.setCustomArchiveBlock([](const kit::Id& object) { return kit::as<kit::Data>(object); });
  KTDiskCache::setExtendedData(size > 0 ? kit::Data::make(bytes, size < 8 ? size : 8) : nullptr, raw);
  disk.setObject(raw, key);
  disk.setCustomArchiveBlock(nullptr);

  kit::Id object = disk.objectForKey(key);
  if (object) {
    // What the reader accepted, the writer must take back.
    auto again = kit::str("again");
    disk.removeObjectForKey(again);
    kit::Ref<kit::Error> error;
    if (!kit::KeyedArchiver::archivedDataWithRootObject(object, &error)) abort();
    disk.setObject(object, again);
    if (!disk.objectForKey(again)) abort();
  }
  disk.removeObjectForKey(key);
  return 0;
}
