// A model of the key-value storage for randomized tests: a sequence of
// operations drawn from a seed (saves inline and in files of 200 bytes to
// 300 KB, reads, single and batch removals, every trim, those down to
// nothing among them, removing everything with and without progress,
// closing and opening again, runs of saves that fill the disk, and another
// program taking the disk's free bytes or inodes and giving them back),
// each run on a storage and checked against what the model says every key
// holds: exactly its last saved value, or nothing because it was removed.
// A save may fail (the disk may be full; the file type refuses a value
// without a file name) and then changes nothing; every removal and trim
// must succeed. An open may fail only while the other program holds the
// disk, and then keeps every item for the open after it gives it back.
//
// The disk is small (kvtest::SmallDiskBytes): the sequences fill it again
// and again, and every removal must still succeed there. Failures are
// handed to the runner's `fail`, so that a forked child can report them on
// a pipe as a test in this process reports them to the test framework.
#pragma once

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_small_disk.h"
#include "kit/foundation/values.h"

namespace kvtest {

// Keys the sequences use: enough for values of 8,000 and 150,000 bytes in
// turn to fill the disk.
inline constexpr int ModelKeys = 128;

inline uint64_t mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// A number from the environment variable `name`, or `fallback`.
inline int fromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

enum class OpKind {
  SaveInline,
  SaveFile,
  Read,
  ReadMany,
  Remove,
  RemoveMany,
  TrimLarger,
  TrimSize,
  TrimCount,
  TrimTime,
  RemoveAll,
  RemoveAllWithProgress,
  Reopen,
  Fill,
  TakeDisk,
  GiveDiskBack,
};

struct Op {
  OpKind kind;
  int key;
  size_t size;
  uint64_t bits;  // more random bits for the operation's choices
};

inline const char* nameOf(OpKind kind) {
  static const char* const names[] = {"save inline",   "save in a file",
                                      "read",          "read many",
                                      "remove",        "remove many",
                                      "trim larger",   "trim to size",
                                      "trim to count", "trim by time",
                                      "remove all",    "remove all with progress",
                                      "reopen",        "fill",
                                      "take the disk", "give the disk back"};
  return names[static_cast<int>(kind)];
}

// A size from 200 bytes to 300 KB, small ones most often.
inline size_t sizeFrom(uint64_t bits) {
  const uint64_t pick = bits % 100;
  bits /= 100;
  if (pick < 50) return 200 + bits % 7800;
  if (pick < 85) return 8000 + bits % 142000;
  return 150000 + bits % 150001;
}

// Operation `index` of the sequence of `seed`; `fillsPerMille` more of
// them fill the disk.
inline Op opAt(uint64_t seed, int index, int fillsPerMille = 0) {
  const uint64_t h = mix(seed * 1000003 + static_cast<uint64_t>(index));
  const uint64_t more = mix(h);
  Op op{OpKind::SaveInline, static_cast<int>(more % ModelKeys), sizeFrom(mix(more)), mix(mix(more))};
  // How many in a thousand operations of each kind there are, in order.
  static constexpr std::pair<int, OpKind> kMix[] = {
      {250, OpKind::SaveInline}, {140, OpKind::SaveFile},  {130, OpKind::Read},
      {50, OpKind::ReadMany},    {120, OpKind::Remove},    {60, OpKind::RemoveMany},
      {20, OpKind::TrimLarger},  {20, OpKind::TrimSize},   {20, OpKind::TrimCount},
      {15, OpKind::TrimTime},    {15, OpKind::RemoveAll},  {10, OpKind::RemoveAllWithProgress},
      {50, OpKind::Reopen},      {50, OpKind::Fill},       {30, OpKind::TakeDisk},
      {20, OpKind::GiveDiskBack},
  };
  int pick = static_cast<int>(h % 1000);
  for (const auto& [share, kind] : kMix) {
    op.kind = kind;
    if (pick < share) break;
    pick -= share;
  }
  if (static_cast<int>((h >> 32) % 1000) < fillsPerMille) op.kind = OpKind::Fill;
  return op;
}

inline std::string keyName(int key) { return "key" + std::to_string(key); }

// "k=3 g=1234|" and then bytes that depend on key, generation and place.
inline std::string valueBytes(int key, int64_t generation, size_t size) {
  char header[48];
  std::snprintf(header, sizeof header, "k=%d g=%lld|", key, static_cast<long long>(generation));
  std::string out(header);
  out.reserve(std::max(size, out.size()));
  std::string run(251, '\0');
  for (size_t i = 0; i < run.size(); ++i) run[i] = static_cast<char>((key * 131 + generation * 7 + i) % 251);
  while (out.size() < size) out.append(run, 0, std::min(run.size(), size - out.size()));
  return out;
}

inline std::string extendedBytes(int64_t generation) { return "g=" + std::to_string(generation); }

// What the model says a key holds.
struct Stored {
  int64_t generation;
  size_t size;
  std::string filename;  // empty: inline
  bool operator==(const Stored&) const = default;
};
using Model = std::map<int, Stored>;

inline std::string describe(const std::optional<Stored>& s) {
  if (!s) return "nothing";
  return "generation " + std::to_string(s->generation) + " of " + std::to_string(s->size) + " bytes" +
         (s->filename.empty() ? " inline" : " in " + s->filename);
}

// What `item` (read with its value when `withValue`) holds, or why it
// holds no stored state.
inline std::optional<Stored> storedOf(const kit::Ref<KTKVStorageItem>& item, int key, bool withValue,
                                      std::string* wrong) {
  if (!item) return std::nullopt;
  const std::string extended = item->extendedData() ? item->extendedData()->toString() : "";
  long long generation = -1;
  if (std::sscanf(extended.c_str(), "g=%lld", &generation) != 1) {
    *wrong = "extended data \"" + extended + "\" of no save";
    return std::nullopt;
  }
  Stored s{generation, static_cast<size_t>(item->size()), item->filename() ? item->filename()->utf8() : ""};
  if (withValue) {
    const std::string value = item->value() ? item->value()->toString() : "";
    if (value != valueBytes(key, generation, s.size)) {
      *wrong = "bytes (" + std::to_string(value.size()) + ") that are not generation " + std::to_string(generation);
    }
  }
  return s;
}

// Another program on the storage's disk, where the runner has one: it
// takes the free bytes, or the free inodes where `inodes` says it can, all
// but `leave` of them, and gives back everything it took.
struct OutsideProgram {
  bool inodes = false;
  std::function<void(bool inodes, int64_t leave)> take;
  std::function<void()> giveBack;
};

// Runs operations on one storage folder and checks them against the model.
class ModelRun {
 public:
  using FreeSpace = std::function<int64_t()>;
  using Failure = std::function<void(const std::string&)>;

  ModelRun(std::string root, KTKVStorageType type, std::shared_ptr<KTKVFileSystem> files, FreeSpace freeSpace,
           Failure fail)
      : root_(std::move(root)),
        type_(type),
        files_(std::move(files)),
        freeSpace_(std::move(freeSpace)),
        fail_(std::move(fail)) {}

  Model model;
  // Set when the operation of `doubt` may or may not have taken effect (a
  // killed process): each key it touches holds its old or its new state.
  std::optional<int> doubt;
  uint64_t seed = 0;
  // Operations in a thousand that fill the disk, beside those that do
  // anyway.
  int fillsPerMille = 0;
  // Failed checks so far.
  int failures = 0;
  // The free space once the storage was first opened.
  int64_t startFree = -1;
  // The other program, when there is one.
  OutsideProgram outside;
  // Opens refused while the other program held the disk.
  int refusedOpens = 0;

  KTKVStorage* storage() { return storage_.get(); }

  bool open() {
    storage_ = KTKVStorage::initWithPath(kit::str(root_), type_, files_);
    if (!storage_ && taken_) {
      // Refused for want of space or inodes: every item is there once the
      // disk is given back (the check after the open says so).
      ++refusedOpens;
      giveDiskBack();
      storage_ = KTKVStorage::initWithPath(kit::str(root_), type_, files_);
    }
    if (!storage_) return failed("the storage did not open");
    storage_->setErrorLogsEnabled(false);
    if (startFree < 0) startFree = freeSpace_();
    return true;
  }

  // The other program gives back what it took.
  void giveDiskBack() {
    if (taken_ && outside.giveBack) outside.giveBack();
    taken_ = false;
  }
  void close() { storage_.reset(); }

  // Compares every key with the model, values included when `values`;
  // with a doubt, a key the doubtful operation touched may hold its old
  // state or the one the operation gives, and the model takes what it
  // finds.
  bool check(bool values, const char* after) {
    std::vector<kit::Id> keys;
    for (int key = 0; key < ModelKeys; ++key) keys.push_back(kit::str(keyName(key)));
    auto list = kit::Array::make(std::move(keys));
    auto found = values ? storage_->getItemForKeys(list) : storage_->getItemInfoForKeys(list);
    std::map<int, kit::Ref<KTKVStorageItem>> items;
    if (found) {
      for (const kit::Id& element : *found) {
        auto item = kit::as<KTKVStorageItem>(element);
        items[std::stoi(item->key()->utf8().substr(3))] = item;
      }
    }
    bool good = true;
    for (int key = 0; key < ModelKeys; ++key) {
      std::string wrong;
      auto it = items.find(key);
      std::optional<Stored> state = storedOf(it == items.end() ? nullptr : it->second, key, values, &wrong);
      std::optional<Stored> expected;
      if (auto m = model.find(key); m != model.end()) expected = m->second;
      if (wrong.empty() && state == expected) continue;
      if (wrong.empty() && doubt && touches(*doubt, key) && mayBecome(*doubt, key, expected, state)) {
        if (state) {
          model[key] = *state;
        } else {
          model.erase(key);
        }
        continue;
      }
      good = failed(keyName(key) + " holds " + (wrong.empty() ? describe(state) : wrong) + " instead of " +
                    describe(expected) + " after " + after);
    }
    doubt.reset();
    return good;
  }

  // Fills the disk with values of 8,000 and 150,000 bytes in turn (these
  // in files where the type allows), generations from `generation`.
  void fillDisk(int64_t generation) { fill(0, true, generation); }

  // Runs operation `index` and checks what it did.
  bool run(int index) {
    const Op op = opAt(seed, index, fillsPerMille);
    const std::string what = std::string(nameOf(op.kind)) + " (operation " + std::to_string(index) + ")";
    KTKVStorage& s = *storage_;
    switch (op.kind) {
      case OpKind::SaveInline:
      case OpKind::SaveFile:
        save(index, op.key, op.size, op.kind == OpKind::SaveFile);
        break;
      case OpKind::Fill:
        fill(op.key, op.bits & 1, index * 1000);
        break;
      case OpKind::TakeDisk:
        takeDisk(op.bits);
        break;
      case OpKind::GiveDiskBack:
        giveDiskBack();
        break;
      case OpKind::Read: {
        auto key = kit::str(keyName(op.key));
        auto it = model.find(op.key);
        std::string expected = it == model.end() ? "" : valueBytes(op.key, it->second.generation, it->second.size);
        kit::Ref<kit::Data> value;
        if (op.bits & 1) {
          value = s.getItemValueForKey(key);
        } else if (auto item = s.getItemForKey(key)) {
          value = item->value();
        }
        if ((value ? value->toString() : "") != expected) {
          return failed(keyName(op.key) + " read " + std::to_string(value ? value->length() : 0) + " bytes, not " +
                        describe(it == model.end() ? std::nullopt : std::optional<Stored>(it->second)));
        }
        break;
      }
      case OpKind::ReadMany:
        return check(true, what.c_str());
      case OpKind::Remove: {
        if (!s.removeItemForKey(kit::str(keyName(op.key))))
          return failed("the removal of " + keyName(op.key) + " failed");
        model.erase(op.key);
        break;
      }
      case OpKind::RemoveMany: {
        std::vector<kit::Id> keys;
        std::set<int> chosen;
        const int count = 1 + static_cast<int>(op.bits % 16);
        for (int n = 0; n < count; ++n) chosen.insert(static_cast<int>(mix(op.bits + n) % ModelKeys));
        for (int key : chosen) keys.push_back(kit::str(keyName(key)));
        // Sometimes many more keys than the storage holds.
        if (op.bits & 0x10000) {
          for (int n = 0; n < 1000; ++n) keys.push_back(kit::str("absent" + std::to_string(n)));
        }
        if (!s.removeItemForKeys(kit::Array::make(std::move(keys)))) {
          return failed("the removal of " + std::to_string(chosen.size()) + " keys failed");
        }
        for (int key : chosen) model.erase(key);
        break;
      }
      case OpKind::TrimLarger: {
        const int64_t size = op.bits % 5 == 0 ? 0 : static_cast<int64_t>(sizeFrom(op.bits));
        if (!s.removeItemsLargerThanSize(size))
          return failed("removing items larger than " + std::to_string(size) + " failed");
        std::erase_if(model, [&](const auto& entry) { return static_cast<int64_t>(entry.second.size) > size; });
        break;
      }
      case OpKind::TrimSize:
      case OpKind::TrimCount: {
        const bool bySize = op.kind == OpKind::TrimSize;
        int64_t total = 0;
        for (const auto& [key, stored] : model) total += bySize ? static_cast<int64_t>(stored.size) : 1;
        // A quarter of them down to nothing.
        const int64_t limit = op.bits % 4 == 0 ? 0 : total * static_cast<int64_t>(50 + op.bits % 50) / 100;
        const bool trimmed = bySize ? s.removeItemsToFitSize(limit) : s.removeItemsToFitCount(limit);
        if (!trimmed)
          return failed(std::string("trimming to ") + (bySize ? "size " : "count ") + std::to_string(limit) +
                        " failed");
        // Which items go depends on their access times: the model keeps
        // what remains, and the rest must fit.
        if (!keepWhatRemains(what)) return false;
        int64_t left = 0;
        for (const auto& [key, stored] : model) left += bySize ? static_cast<int64_t>(stored.size) : 1;
        if (left > limit) return failed(what + " left " + std::to_string(left) + " over " + std::to_string(limit));
        break;
      }
      case OpKind::TrimTime: {
        // Nothing, everything by time, or the no-limit form.
        const int64_t now = static_cast<int64_t>(std::time(nullptr));
        const int64_t times[] = {1, now + 2, KTKVStorage::NoLimit};
        const int64_t time = times[op.bits % 3];
        if (!s.removeItemsEarlierThanTime(time))
          return failed("removing items earlier than " + std::to_string(time) + " failed");
        if (time != 1) model.clear();
        break;
      }
      case OpKind::RemoveAll: {
        if (!s.removeAllItems()) return failed("removeAllItems failed");
        model.clear();
        break;
      }
      case OpKind::RemoveAllWithProgress: {
        int ends = 0;
        bool error = true;
        int64_t last = -1, total = -1;
        s.removeAllItemsWithProgressBlock(
            [&](int64_t removed, int64_t all) {
              last = removed;
              total = all;
            },
            [&](bool e) {
              ++ends;
              error = e;
            });
        if (ends != 1 || error)
          return failed("removeAllItemsWithProgressBlock ended " + std::to_string(ends) + " times, with an error");
        if (!model.empty() && (last != total || total != static_cast<int64_t>(model.size()))) {
          return failed("the progress ended at " + std::to_string(last) + " of " + std::to_string(total));
        }
        model.clear();
        break;
      }
      case OpKind::Reopen: {
        close();
        if (!open()) return false;
        return check(true, what.c_str());
      }
    }
    return check(false, what.c_str());
  }

  // Removes everything (in a way `how` picks) and checks that the disk
  // has its space back, less at most the room the storage keeps.
  bool emptyAndCheckSpace(uint64_t how, const std::function<void()>& waitForTrash) {
    KTKVStorage& s = *storage_;
    // From a full disk, which the other program (where there is one) fills
    // to the last byte or inode.
    giveDiskBack();
    fill(static_cast<int>(how % ModelKeys), how & 1, 1 << 20);
    if (outside.take) takeDisk(how >> 8);
    bool removed = false;
    switch (how % 6) {
      case 0: {
        removed = true;
        for (auto it = model.begin(); it != model.end() && removed; ++it) {
          removed = s.removeItemForKey(kit::str(keyName(it->first)));
        }
        break;
      }
      case 1: {
        std::vector<kit::Id> keys;
        for (int key = 0; key < ModelKeys; ++key) keys.push_back(kit::str(keyName(key)));
        removed = s.removeItemForKeys(kit::Array::make(std::move(keys)));
        break;
      }
      case 2:
        removed = s.removeItemsToFitSize(0);
        break;
      case 3:
        removed = s.removeItemsToFitCount(0);
        break;
      case 4:
        removed = s.removeAllItems();
        break;
      default: {
        bool error = true;
        s.removeAllItemsWithProgressBlock(nullptr, [&](bool e) { error = e; });
        removed = !error;
      }
    }
    if (!removed) return failed("removing everything failed");
    model.clear();
    if (!check(false, "removing everything")) return false;
    // The next removal makes the room again, once the disk is given back.
    giveDiskBack();
    if (!s.removeItemForKey(kit::str("absent"))) return failed("removing an absent key failed");
    if (waitForTrash) waitForTrash();
    const int64_t now = freeSpace_();
    if (now < startFree - static_cast<int64_t>(KTKVFileStore::RoomBytes)) {
      return failed("only " + std::to_string(now) + " bytes free after removing everything, " +
                    std::to_string(startFree) + " at the start");
    }
    // And the room is whole again.
    struct stat room {};
    if (::stat((root_ + "/room").c_str(), &room) != 0 || room.st_size != static_cast<off_t>(KTKVFileStore::RoomBytes)) {
      return failed("the room is not whole after removing everything");
    }
    return true;
  }

  // True when operation `index` may change `key`.
  bool touches(int index, int key) const {
    const Op op = opAt(seed, index, fillsPerMille);
    switch (op.kind) {
      case OpKind::SaveInline:
      case OpKind::SaveFile:
      case OpKind::Remove:
        return op.key == key;
      case OpKind::Read:
      case OpKind::ReadMany:
      case OpKind::Reopen:
      case OpKind::TakeDisk:
      case OpKind::GiveDiskBack:
        return false;
      default:
        return true;
    }
  }

 private:
  // Whether operation `index`, cut short, may have left `key` in `state`
  // where it held `before`: its new value, or nothing for a removal.
  bool mayBecome(int index, int key, const std::optional<Stored>& before, const std::optional<Stored>& state) const {
    const Op op = opAt(seed, index, fillsPerMille);
    switch (op.kind) {
      case OpKind::SaveInline:
      case OpKind::SaveFile:
        return state && *state == stored(index, op.key, op.size, op.kind == OpKind::SaveFile);
      case OpKind::Fill: {
        if (!state) return false;
        for (int n = 0; n < ModelKeys; ++n) {
          const bool small = n % 2 == 0;
          if ((op.key + n) % ModelKeys == key &&
              *state == stored(index * 1000 + n, key, small ? 8000 : 150000,
                               type_ == KTKVStorageTypeFile || (!small && (op.bits & 1)))) {
            return true;
          }
        }
        return false;
      }
      default:
        return !state && before;  // removed
    }
  }

  // Values of 8,000 and 150,000 bytes in turn (the large ones in files
  // when `inFiles`), generations from `generation`, until the disk refuses
  // two in a row.
  void fill(int firstKey, bool inFiles, int64_t generation) {
    int refused = 0;
    for (int n = 0; n < ModelKeys && refused < 2; ++n) {
      const bool small = n % 2 == 0;
      // The file type keeps every value in a file.
      const bool inFile = type_ == KTKVStorageTypeFile || (!small && inFiles);
      const bool saved = save(generation + n, (firstKey + n) % ModelKeys, small ? 8000 : 150000, inFile);
      refused = saved ? 0 : refused + 1;
    }
  }

  Stored stored(int64_t generation, int key, size_t size, bool inFile) const {
    // The SQLite type keeps every value inline.
    const bool file = inFile && type_ != KTKVStorageTypeSQLite;
    return {generation, size, file ? keyName(key) + "-" + std::to_string(generation % 3) + ".bin" : ""};
  }

  // Saves generation `generation` of `key`; a refused save changes nothing.
  bool save(int64_t generation, int key, size_t size, bool inFile) {
    const Stored next = stored(generation, key, size, inFile);
    const int64_t before = freeSpace_();
    const bool saved = storage_->saveItemWithKey(
        kit::str(keyName(key)), kit::Data::make(valueBytes(key, generation, size)),
        inFile ? kit::str(keyName(key) + "-" + std::to_string(generation % 3) + ".bin") : nullptr,
        kit::Data::make(extendedBytes(generation)));
    // The file type refuses a value without a file name.
    if (type_ == KTKVStorageTypeFile && !inFile) {
      if (saved) failed("the file type saved " + keyName(key) + " without a file name");
      return false;
    }
    if (saved) model[key] = next;
    // Only a disk without the space (or, while the other program holds
    // them, the inodes) refuses a save.
    if (!saved && !taken_ && before >= 4 * static_cast<int64_t>(size) + (1 << 20)) {
      failed("a save of " + std::to_string(size) + " bytes failed with " + std::to_string(before) + " bytes free");
    }
    return saved;
  }

  // The other program takes the disk's free bytes or inodes (as `bits`
  // choose), all but what the storage's room lacks: the disk as it is once
  // the storage had the chance to make its room whole, which every call
  // that finds the space takes.
  void takeDisk(uint64_t bits) {
    if (!outside.take) return;
    const bool inodes = outside.inodes && (bits & 1);
    struct stat room {};
    const bool whole = ::stat((root_ + "/room").c_str(), &room) == 0 &&
                       room.st_size == static_cast<off_t>(KTKVFileStore::RoomBytes);
    int64_t leave = whole ? 0 : inodes ? 1 : static_cast<int64_t>(KTKVFileStore::RoomBytes);
    // Sometimes a little more is left.
    if (!inodes && (bits >> 1) % 3 == 0) leave += static_cast<int64_t>((bits >> 3) % (64 * 1024));
    outside.take(inodes, leave);
    taken_ = true;
  }

  // After a trim that removes items the model cannot foresee: every key
  // left holds its model state, and the model forgets the keys gone.
  bool keepWhatRemains(const std::string& what) {
    std::vector<kit::Id> keys;
    for (const auto& [key, stored] : model) keys.push_back(kit::str(keyName(key)));
    std::set<int> left;
    if (auto found = storage_->getItemInfoForKeys(kit::Array::make(std::move(keys)))) {
      for (const kit::Id& element : *found)
        left.insert(std::stoi(kit::as<KTKVStorageItem>(element)->key()->utf8().substr(3)));
    }
    std::erase_if(model, [&](const auto& entry) { return !left.count(entry.first); });
    return check(false, what.c_str());
  }

  bool failed(const std::string& text) {
    ++failures;
    fail_(text + " (seed " + std::to_string(seed) + ", " + std::to_string(freeSpace_()) + " bytes free)");
    return false;
  }

  const std::string root_;
  const KTKVStorageType type_;
  const std::shared_ptr<KTKVFileSystem> files_;
  const FreeSpace freeSpace_;
  const Failure fail_;
  kit::Ref<KTKVStorage> storage_;
  bool taken_ = false;
};

// True for a folder with nothing in it, or none.
inline bool folderIsEmpty(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return true;
  bool empty = true;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") empty = false;
  }
  ::closedir(dir);
  return empty;
}

}  // namespace kvtest
