// The key-value cache's hot paths against plain peers in the same run:
//
// - the memory cache's lookups and stores, on 1 and 8 threads, against a
//   mutex-guarded std::unordered_map + std::list LRU holding the same keys
//   and values;
// - the storage's saves and reads of inline 1 KiB values and its reads of
//   100 KiB file values, against the same work done with plain SQLite
//   prepared statements (same table, same pragmas, reads refreshing the
//   access time) and plain files;
// - the storage's saves of 100 KiB file values against plain files written
//   with the same durability: a temporary file written, synced and renamed
//   over the value's file. The storage's save does that and commits its
//   manifest row and journal entry besides. Seven runs of each side, taking
//   turns; the median of the seven wall-time ratios of neighbouring runs is
//   the figure (the sync is most of the time), with the CPU times beside.
//
// Prints the throughput ratios (ours / peer) at the end, and the wall-time
// ratio of the synced file save against its goal.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/bench_support.h"
#include "data/cache/kv_file_system.h"
#include "data/cache/kv_storage.h"
#include "data/cache/memory_cache.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/data.h"
#include "kit/foundation/string.h"

namespace {

// The wall-time ratio (storage / plain files) that saving a 100 KiB value to
// a file must stay within, with the same durability on both sides.
constexpr double kSaveFileGoal = 1.3;
// Interleaved runs of each side of the file-save comparison, and the least
// time each runs for: the disk makes single runs vary by half.
constexpr int kSaveFileRuns = 7;
constexpr double kSaveFileRunSeconds = 0.5;

// ---- Memory cache ----------------------------------------------------------

constexpr int kMemoryKeys = 10000;

// The peer: the textbook LRU behind one mutex.
class PlainLRU {
 public:
  kit::Id get(const kit::Id& key) {
    std::lock_guard lock(mutex_);
    auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return found->second->second;
  }
  void set(const kit::Id& key, const kit::Id& value) {
    std::lock_guard lock(mutex_);
    auto found = index_.find(key);
    if (found != index_.end()) {
      found->second->second = value;
      order_.splice(order_.begin(), order_, found->second);
      return;
    }
    order_.emplace_front(key, value);
    index_.emplace(key, order_.begin());
  }

 private:
  std::mutex mutex_;
  std::list<std::pair<kit::Id, kit::Id>> order_;
  std::unordered_map<kit::Id, std::list<std::pair<kit::Id, kit::Id>>::iterator, kit::IdHash, kit::IdEqual> index_;
};

struct MemoryFixture {
  std::vector<kit::Id> keys;
  std::vector<kit::Id> values;
  kit::Ref<KTMemoryCache> cache = KTMemoryCache::make();
  PlainLRU plain;
  MemoryFixture() {
    for (int i = 0; i < kMemoryKeys; ++i) {
      keys.push_back(kit::str("image-key-" + std::to_string(i)));
      values.push_back(kit::Data::make(std::string(64, 'v')));
      cache->setObject(values.back(), keys.back());
      plain.set(keys.back(), values.back());
    }
  }
};

MemoryFixture& memory() {
  static auto* fixture = new MemoryFixture;
  return *fixture;
}

// Each thread walks the keys in its own pseudo-random order; a store puts
// another of the values under the key, so it really replaces one.
template <class Op>
void runMemory(benchmark::State& state, Op op) {
  MemoryFixture& f = memory();
  std::minstd_rand random(state.thread_index() + 1);
  for (auto _ : state) {
    const size_t i = random() % kMemoryKeys;
    op(f, i, (i + state.iterations()) % kMemoryKeys);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_MemoryCache_Get(benchmark::State& state) {
  runMemory(state, [](MemoryFixture& f, size_t i, size_t) { benchmark::DoNotOptimize(f.cache->objectForKey(f.keys[i])); });
}
void BM_PlainLRU_Get(benchmark::State& state) {
  runMemory(state, [](MemoryFixture& f, size_t i, size_t) { benchmark::DoNotOptimize(f.plain.get(f.keys[i])); });
}
void BM_MemoryCache_Set(benchmark::State& state) {
  runMemory(state, [](MemoryFixture& f, size_t i, size_t v) { f.cache->setObject(f.values[v], f.keys[i]); });
}
void BM_PlainLRU_Set(benchmark::State& state) {
  runMemory(state, [](MemoryFixture& f, size_t i, size_t v) { f.plain.set(f.keys[i], f.values[v]); });
}
BENCHMARK(BM_MemoryCache_Get)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_PlainLRU_Get)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_MemoryCache_Set)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_PlainLRU_Set)->Threads(1)->Threads(8)->UseRealTime();

// ---- Storage ---------------------------------------------------------------

constexpr int kStorageKeys = 200;
constexpr size_t kInlineSize = 1024;
constexpr size_t kFileSize = 100 * 1024;

// The peer: the manifest table driven directly with prepared statements,
// and large values in plain files written in place.
class PlainStore {
 public:
  explicit PlainStore(const std::string& folder) : folder_(folder) {
    ::mkdir((folder_ + "/data").c_str(), 0755);
    sqlite3_open((folder_ + "/manifest.sqlite").c_str(), &db_);
    sqlite3_exec(db_,
                 "pragma journal_mode = wal; pragma synchronous = normal; create table if not exists manifest (key "
                 "text, filename text, size integer, inline_data blob, modification_time integer, last_access_time "
                 "integer, extended_data blob, primary key(key)); create index if not exists last_access_time_idx on "
                 "manifest(last_access_time);",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_,
                       "insert or replace into manifest (key, filename, size, inline_data, modification_time, "
                       "last_access_time, extended_data) values (?1, ?2, ?3, ?4, ?5, ?6, ?7);",
                       -1, &insert_, nullptr);
    sqlite3_prepare_v2(db_,
                       "select key, filename, size, inline_data, modification_time, last_access_time, extended_data "
                       "from manifest where key = ?1;",
                       -1, &select_, nullptr);
    sqlite3_prepare_v2(db_, "update manifest set last_access_time = ?1 where key = ?2;", -1, &touch_, nullptr);
  }
  ~PlainStore() {
    sqlite3_finalize(insert_);
    sqlite3_finalize(select_);
    sqlite3_finalize(touch_);
    sqlite3_close(db_);
  }

  bool save(const std::string& key, const std::vector<uint8_t>& value, const std::string& filename) {
    if (!filename.empty()) {
      int fd = ::open((folder_ + "/data/" + filename).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) return false;
      bool ok = ::write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
      ::close(fd);
      if (!ok) return false;
    }
    const sqlite3_int64 now = ::time(nullptr);
    sqlite3_reset(insert_);
    sqlite3_bind_text(insert_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (filename.empty()) {
      sqlite3_bind_null(insert_, 2);
      sqlite3_bind_blob(insert_, 4, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    } else {
      sqlite3_bind_text(insert_, 2, filename.data(), static_cast<int>(filename.size()), SQLITE_STATIC);
      sqlite3_bind_null(insert_, 4);
    }
    sqlite3_bind_int64(insert_, 3, static_cast<sqlite3_int64>(value.size()));
    sqlite3_bind_int64(insert_, 5, now);
    sqlite3_bind_int64(insert_, 6, now);
    sqlite3_bind_null(insert_, 7);
    bool ok = sqlite3_step(insert_) == SQLITE_DONE;
    sqlite3_reset(insert_);
    return ok;
  }

  std::vector<uint8_t> read(const std::string& key) {
    std::vector<uint8_t> value;
    std::string filename;
    sqlite3_reset(select_);
    sqlite3_bind_text(select_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (sqlite3_step(select_) == SQLITE_ROW) {
      if (auto* name = sqlite3_column_text(select_, 1)) filename = reinterpret_cast<const char*>(name);
      auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(select_, 3));
      value.assign(blob, blob + sqlite3_column_bytes(select_, 3));
    }
    sqlite3_reset(select_);
    if (!filename.empty()) {
      int fd = ::open((folder_ + "/data/" + filename).c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st{};
      ::fstat(fd, &st);
      value.resize(static_cast<size_t>(st.st_size));
      if (::read(fd, value.data(), value.size()) != st.st_size) value.clear();
      ::close(fd);
    }
    sqlite3_reset(touch_);
    sqlite3_bind_int64(touch_, 1, ::time(nullptr));
    sqlite3_bind_text(touch_, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_step(touch_);
    sqlite3_reset(touch_);
    return value;
  }

 private:
  std::string folder_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  sqlite3_stmt* touch_ = nullptr;
};

// A fresh folder under the temporary directory, removed at the end.
struct TempFolder {
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kv-cache-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

// The storage's value files without their syncs, for filling the storage
// for reads, which syncs would only slow.
class UnsyncedFileSystem : public KTKVFileSystem {
 public:
  int fsync(int) override { return 0; }
};

struct StorageFixture {
  TempFolder dir;
  kit::Ref<KTKVStorage> storage = KTKVStorage::initWithPath(kit::str(dir.file("ours")), KTKVStorageTypeMixed,
                                                            std::make_shared<UnsyncedFileSystem>());
  std::unique_ptr<PlainStore> plain;
  std::vector<std::string> keys;
  std::vector<kit::Ref<kit::String>> keyStrings, fileNames;
  std::vector<uint8_t> inlineBytes = std::vector<uint8_t>(kInlineSize, 'i');
  std::vector<uint8_t> fileBytes = std::vector<uint8_t>(kFileSize, 'f');
  kit::Ref<kit::Data> inlineValue = kit::Data::make(inlineBytes);
  kit::Ref<kit::Data> fileValue = kit::Data::make(fileBytes);
  StorageFixture() {
    ::mkdir(dir.file("plain").c_str(), 0755);
    plain = std::make_unique<PlainStore>(dir.file("plain"));
    for (int i = 0; i < kStorageKeys; ++i) {
      keys.push_back("k" + std::to_string(i));
      keyStrings.push_back(kit::str(keys.back()));
      fileNames.push_back(kit::str(keys.back() + ".bin"));
    }
  }
};

StorageFixture& storage() {
  static StorageFixture fixture;  // its folder goes when the program ends
  return fixture;
}

void BM_Storage_SaveInline(benchmark::State& state) {
  StorageFixture& f = storage();
  size_t i = 0;
  for (auto _ : state) f.storage->saveItemWithKey(f.keyStrings[i++ % kStorageKeys], f.inlineValue);
  state.SetItemsProcessed(state.iterations());
}
void BM_PlainSQLite_SaveInline(benchmark::State& state) {
  StorageFixture& f = storage();
  size_t i = 0;
  for (auto _ : state) f.plain->save(f.keys[i++ % kStorageKeys], f.inlineBytes, "");
  state.SetItemsProcessed(state.iterations());
}
// Every read benchmark first stores, untimed, the values of its kind under
// every key on its own side, so each repetition finds what it reads whatever
// order the runner interleaves the benchmarks in.
void fillOurs(StorageFixture& f, bool files) {
  for (int k = 0; k < kStorageKeys; ++k) {
    if (files) {
      f.storage->saveItemWithKey(f.keyStrings[k], f.fileValue, f.fileNames[k], nullptr);
    } else {
      f.storage->saveItemWithKey(f.keyStrings[k], f.inlineValue);
    }
  }
}
void fillPlain(StorageFixture& f, bool files) {
  for (int k = 0; k < kStorageKeys; ++k) {
    if (files) {
      f.plain->save(f.keys[k], f.fileBytes, f.keys[k] + ".bin");
    } else {
      f.plain->save(f.keys[k], f.inlineBytes, "");
    }
  }
}
// The bytes a read returned, checked after the timing: a read of the wrong
// kind (or of nothing) stops the benchmark instead of timing it.
void expectSize(benchmark::State& state, size_t got, size_t want) {
  if (got != want) state.SkipWithError("a read returned a value of the wrong size");
}
size_t sizeOf(const kit::Ref<kit::Data>& value) { return value ? value->length() : 0; }

void BM_Storage_ReadInline(benchmark::State& state) {
  StorageFixture& f = storage();
  fillOurs(f, false);
  size_t i = 0, last = 0;
  for (auto _ : state) {
    auto value = f.storage->getItemValueForKey(f.keyStrings[i++ % kStorageKeys]);
    last = sizeOf(value);
    benchmark::DoNotOptimize(value);
  }
  expectSize(state, last, kInlineSize);
  state.SetItemsProcessed(state.iterations());
}
void BM_PlainSQLite_ReadInline(benchmark::State& state) {
  StorageFixture& f = storage();
  fillPlain(f, false);
  size_t i = 0, last = 0;
  for (auto _ : state) {
    auto value = f.plain->read(f.keys[i++ % kStorageKeys]);
    last = value.size();
    benchmark::DoNotOptimize(value);
  }
  expectSize(state, last, kInlineSize);
  state.SetItemsProcessed(state.iterations());
}
void BM_Storage_ReadFile(benchmark::State& state) {
  StorageFixture& f = storage();
  fillOurs(f, true);
  size_t i = 0, last = 0;
  for (auto _ : state) {
    auto value = f.storage->getItemValueForKey(f.keyStrings[i++ % kStorageKeys]);
    last = sizeOf(value);
    benchmark::DoNotOptimize(value);
  }
  expectSize(state, last, kFileSize);
  state.SetItemsProcessed(state.iterations());
}
void BM_PlainSQLite_ReadFile(benchmark::State& state) {
  StorageFixture& f = storage();
  fillPlain(f, true);
  size_t i = 0, last = 0;
  for (auto _ : state) {
    auto value = f.plain->read(f.keys[i++ % kStorageKeys]);
    last = value.size();
    benchmark::DoNotOptimize(value);
  }
  expectSize(state, last, kFileSize);
  state.SetItemsProcessed(state.iterations());
}
// ---- Durable file saves ----------------------------------------------------

// The peer: one file per key, written as a careful program writes a file
// it must not tear: a temporary file, written, synced, renamed over.
bool writeDurably(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string temporary = folder + "/" + name + ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  if (ok) ok = ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  return ok && ::rename(temporary.c_str(), (folder + "/" + name).c_str()) == 0;
}

struct DurableFixture {
  TempFolder dir;
  kit::Ref<KTKVStorage> storage = KTKVStorage::initWithPath(kit::str(dir.file("storage")), KTKVStorageTypeMixed);
  std::vector<kit::Ref<kit::String>> keys, fileNames;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kFileSize, 'f');
  kit::Ref<kit::Data> value = kit::Data::make(bytes);
  DurableFixture() {
    ::mkdir(dir.file("plain").c_str(), 0755);
    for (int i = 0; i < kStorageKeys; ++i) {
      keys.push_back(kit::str("k" + std::to_string(i)));
      fileNames.push_back(kit::str("k" + std::to_string(i) + ".bin"));
    }
  }
};

DurableFixture& durable() {
  static DurableFixture fixture;  // its folder goes when the program ends
  return fixture;
}

// Each iteration saves the next of 200 keys over its earlier value.
void storageSaveFile(benchmark::State& state) {
  DurableFixture& f = durable();
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ % kStorageKeys;
    if (!f.storage->saveItemWithKey(f.keys[k], f.value, f.fileNames[k], nullptr)) state.SkipWithError("save failed");
  }
  state.SetItemsProcessed(state.iterations());
}
void plainSaveFile(benchmark::State& state) {
  DurableFixture& f = durable();
  const std::string folder = f.dir.file("plain");
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ % kStorageKeys;
    if (!writeDurably(folder, f.fileNames[k]->utf8(), f.bytes)) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations());
}

std::string durableName(bool ours, int run) {
  return std::string("save file 100 KiB/") + (ours ? "storage" : "plain files") + "/run:" + std::to_string(run);
}
// The name its results are reported under.
std::string durableResult(bool ours, int run) {
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, "/min_time:%.3f/real_time", kSaveFileRunSeconds);
  return durableName(ours, run) + suffix;
}

// Ours and the peer take turns, so that a busy moment of the machine falls
// on both alike.
void registerDurableSaves() {
  for (int run = 0; run < kSaveFileRuns; ++run) {
    benchmark::RegisterBenchmark(durableName(true, run).c_str(), storageSaveFile)
        ->UseRealTime()
        ->MinTime(kSaveFileRunSeconds);
    benchmark::RegisterBenchmark(durableName(false, run).c_str(), plainSaveFile)
        ->UseRealTime()
        ->MinTime(kSaveFileRunSeconds);
  }
}

BENCHMARK(BM_Storage_SaveInline);
BENCHMARK(BM_PlainSQLite_SaveInline);
BENCHMARK(BM_Storage_ReadInline);
BENCHMARK(BM_PlainSQLite_ReadInline);
BENCHMARK(BM_Storage_ReadFile);
BENCHMARK(BM_PlainSQLite_ReadFile);

// ---- Ratios ----------------------------------------------------------------

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Over the runs of the file-save comparison: the wall-time ratios of the
// neighbouring runs of the two sides, and each side's wall and CPU seconds
// a save.
struct DurableFigures {
  std::vector<double> ratios, oursWall, peerWall, oursCPU, peerCPU;
};
DurableFigures durableFigures(const bench::RecordingReporter& reporter) {
  DurableFigures figures;
  for (int run = 0; run < kSaveFileRuns; ++run) {
    const double ours = reporter.counter(durableResult(true, run), "items_per_second");
    const double peer = reporter.counter(durableResult(false, run), "items_per_second");
    if (ours <= 0 || peer <= 0) continue;
    figures.ratios.push_back(peer / ours);
    figures.oursWall.push_back(1 / ours);
    figures.peerWall.push_back(1 / peer);
    figures.oursCPU.push_back(reporter.cpuTime(durableResult(true, run)) * 1e-9);
    figures.peerCPU.push_back(reporter.cpuTime(durableResult(false, run)) * 1e-9);
  }
  return figures;
}

// Throughput ours / peer, from items per second.
void printRatios(const bench::RecordingReporter& reporter) {
  auto ratio = [&](const char* what, const char* how, const std::string& ours, const std::string& peer) {
    bench::printRatio(what, how, reporter.counter(ours, "items_per_second"),
                      reporter.counter(peer, "items_per_second"));
  };
  std::printf("\nThroughput ratios (above 1: ours is faster):\n");
  for (const char* threads : {"1", "8"}) {
    const std::string suffix = std::string("/real_time/threads:") + threads;
    ratio((std::string("memory get, ") + threads + " thr").c_str(), "memory cache/plain LRU", "BM_MemoryCache_Get" + suffix,
          "BM_PlainLRU_Get" + suffix);
    ratio((std::string("memory set, ") + threads + " thr").c_str(), "memory cache/plain LRU", "BM_MemoryCache_Set" + suffix,
          "BM_PlainLRU_Set" + suffix);
  }
  ratio("save inline 1 KiB", "storage/plain SQLite", "BM_Storage_SaveInline", "BM_PlainSQLite_SaveInline");
  ratio("read inline 1 KiB", "storage/plain SQLite", "BM_Storage_ReadInline", "BM_PlainSQLite_ReadInline");
  ratio("read file 100 KiB", "storage/SQLite+files", "BM_Storage_ReadFile", "BM_PlainSQLite_ReadFile");

  DurableFigures figures = durableFigures(reporter);
  if (!figures.ratios.empty()) {
    const double wall = median(figures.ratios);
    std::printf("\nWall-time ratio, median over %zu pairs of neighbouring runs (below 1: ours is faster):\n",
                figures.ratios.size());
    bench::reportRatio("kv_save_file_100KiB_vs_plain_files", wall, 1.0, kSaveFileGoal);
    std::printf("      a save (medians): %.0f us vs %.0f us wall, %.0f us vs %.0f us CPU\n",
                median(figures.oursWall) * 1e6, median(figures.peerWall) * 1e6, median(figures.oursCPU) * 1e6,
                median(figures.peerCPU) * 1e6);
  }
}

}  // namespace

int main(int argc, char** argv) {
  kit::RunLoop::declareMainThread();
  registerDurableSaves();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
