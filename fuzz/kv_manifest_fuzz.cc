// Fuzzes what the key-value storage reads back from its folder when it
// opens: arbitrary manifest rows (keys, file names, sizes, inline values,
// extended data), journal entries (temporary files to rename, files to
// remove) and value files, some of them links out of the data folder. The
// storage then opens (replaying the journal), reads every key one by one
// and all together, and removes them. Nothing may crash, and the file
// outside, which the links lead to, is watched: it may not be opened
// (a link followed), changed, moved or removed, and nothing may appear
// beside it.
//
// Input: records separated by '\n', fields by '\t'. A record's first byte
// says what it is: 'm' a manifest row (key, file name, size, inline value,
// extended data), 'j' a journal entry (temporary, file name, obsolete),
// 'f' a value file (name, contents), 'l' a link named by its one field to
// the file outside.

#include <sqlite3.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/string.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSecret = "outside the cache";

std::string& folder() {
  static std::string path;
  return path;
}

// The fuzzer's own connection to the manifest, with its two statements.
struct Writer {
  sqlite3* db = nullptr;
  sqlite3_stmt* row = nullptr;
  sqlite3_stmt* entry = nullptr;
};
Writer& writer() {
  static Writer w;
  return w;
}
std::string root() { return folder() + "/kv"; }
std::string outside() { return folder() + "/outside"; }
// Events on the file outside.
int& watch() {
  static int fd = -1;
  return fd;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string_view field(const std::vector<std::string_view>& fields, size_t index) {
  return index < fields.size() ? fields[index] : std::string_view();
}

// Binds a field as text, or NULL when it is empty.
void bindField(sqlite3_stmt* stmt, int index, std::string_view text, bool blob = false) {
  if (text.empty()) {
    sqlite3_bind_null(stmt, index);
  } else if (blob) {
    sqlite3_bind_blob64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }
}

// Only plain names: the fuzzer's own files stay inside the data folder.
bool plainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

void writeFolder(std::string_view input, std::vector<std::string>& keys) {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(root() + "/data")) fs::remove_all(entry.path(), ignored);
  Writer& w = writer();
  sqlite3_exec(w.db, "delete from manifest; delete from manifest_journal;", nullptr, nullptr, nullptr);
  for (std::string_view record : split(input, '\n')) {
    if (record.empty()) continue;
    auto fields = split(record.substr(1), '\t');
    switch (record[0]) {
      case 'm':
        bindField(w.row, 1, field(fields, 0));
        bindField(w.row, 2, field(fields, 1));
        sqlite3_bind_int64(w.row, 3, std::atoll(std::string(field(fields, 2)).c_str()));
        bindField(w.row, 4, field(fields, 3), true);
        bindField(w.row, 5, field(fields, 4), true);
        sqlite3_step(w.row);
        sqlite3_reset(w.row);
        keys.emplace_back(field(fields, 0));
        break;
      case 'j':
        bindField(w.entry, 1, field(fields, 0));
        bindField(w.entry, 2, field(fields, 1));
        bindField(w.entry, 3, field(fields, 2));
        sqlite3_step(w.entry);
        sqlite3_reset(w.entry);
        break;
      case 'f':
        if (plainName(field(fields, 0))) {
          // A link the input made earlier under this name goes first, so
          // the harness never writes through it to the file outside.
          const std::string path = root() + "/data/" + std::string(field(fields, 0));
          if (fs::is_symlink(fs::symlink_status(path, ignored))) fs::remove(path, ignored);
          std::ofstream(path, std::ios::binary) << field(fields, 1);
        }
        break;
      case 'l':
        if (plainName(field(fields, 0))) {
          fs::create_symlink(outside(), root() + "/data/" + std::string(field(fields, 0)), ignored);
        }
        break;
    }
  }
}

void checkOutside() {
  alignas(inotify_event) char events[4096];
  if (::read(watch(), events, sizeof events) > 0) abort();  // opened, changed, moved or removed
  // Nothing appears beside the storage folder and the file outside.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder())) names.insert(entry.path().filename().string());
  if (names != std::set<std::string>{"kv", "outside"}) abort();
}

void removeFolder() {
  Writer& w = writer();
  sqlite3_finalize(w.row);
  sqlite3_finalize(w.entry);
  sqlite3_close(w.db);
  ::close(watch());
  std::error_code ignored;
  if (!folder().empty()) fs::remove_all(folder(), ignored);
}

// Syncs are skipped: they only make every run slow.
kvtest::ScopedFaultyVFS& unsyncedVFS() {
  static auto* plan = new std::shared_ptr<kvtest::FaultPlan>(std::make_shared<kvtest::FaultPlan>());
  (*plan)->skipSync = true;
  static auto* vfs = new kvtest::ScopedFaultyVFS(*plan);
  return *vfs;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "kv-manifest-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) abort();
  folder() = pattern;
  std::ofstream(outside(), std::ios::binary) << kSecret;
  watch() = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch() < 0 || ::inotify_add_watch(watch(), outside().c_str(),
                                         IN_OPEN | IN_MODIFY | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF) < 0) {
    abort();
  }
  unsyncedVFS();
  {
    // Creates the folders and the schema, journal table included.
    auto storage = KTKVStorage::initWithPath(kit::str(root()), KTKVStorageTypeMixed);
    if (!storage) abort();
  }
  Writer& w = writer();
  if (sqlite3_open((root() + "/manifest.sqlite").c_str(), &w.db) != SQLITE_OK) abort();
  sqlite3_prepare_v2(w.db,
                     "insert or replace into manifest (key, filename, size, inline_data, modification_time, "
                     "last_access_time, extended_data) values (?1, ?2, ?3, ?4, 1, 1, ?5);",
                     -1, &w.row, nullptr);
  sqlite3_prepare_v2(w.db, "insert into manifest_journal (temporary, filename, obsolete) values (?1, ?2, ?3);", -1,
                     &w.entry, nullptr);
  if (!w.row || !w.entry) abort();
  atexit(removeFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::vector<std::string> keys;
  writeFolder(std::string_view(reinterpret_cast<const char*>(bytes), size), keys);

  auto storage = KTKVStorage::initWithPath(kit::str(root()), KTKVStorageTypeMixed);
  if (!storage) abort();
  storage->setErrorLogsEnabled(false);
  std::vector<kit::Id> keyList;
  for (const auto& key : keys) {
    if (key.empty()) continue;
    auto name = kit::str(key);
    keyList.push_back(name);
    storage->getItemForKey(name);
    storage->getItemValueForKey(name);
  }
  auto all = kit::Array::make(std::move(keyList));
  storage->getItemForKeys(all);
  storage->removeItemForKeys(all);
  storage->removeItemsToFitCount(1);
  storage.reset();
  checkOutside();
  return 0;
}
