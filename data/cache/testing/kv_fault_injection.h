// Helpers for the key-value storage's I/O-error and crash tests: a plan that
// counts every call that changes what is on disk and fails (or runs an
// action, such as killing the process) at the Nth, a file system for the
// storage's value files that follows the plan, and a SQLite VFS that follows
// the same plan for the manifest's writes, syncs, truncations and removals,
// so that one count covers both halves of an operation.
//
//   auto plan = std::make_shared<kvtest::FaultPlan>();
//   kvtest::ScopedFaultyVFS vfs(plan);      // connections opened from now on
//   auto storage = KTKVStorage::initWithPath(path, type,
//                                            std::make_shared<kvtest::FaultyFileSystem>(plan));
//   plan->arm(3);                           // the third call fails with EIO
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "data/cache/kv_file_system.h"

namespace kvtest {

struct FaultPlan {
  // Calls counted since the plan was armed.
  int64_t calls = 0;
  // The call that fails, from 1; 0 fails none.
  int64_t failAt = 0;
  // Every call after the failing one fails too.
  bool sticky = false;
  // Runs at the failing call instead of failing it (it need not return).
  std::function<void()> action;
  // Whether a call failed since the plan was armed.
  bool fired = false;
  // Syncs are counted but not made (they matter for power cuts only, and
  // tests that need neither run much faster).
  bool skipSync = false;

  // Free space on the disk, in bytes; negative for no limit. A write that
  // would grow a file (a value file, the database, its log or its shared
  // memory) beyond it fails with ENOSPC (SQLITE_FULL; SQLITE_IOERR_SHMSIZE
  // for the shared memory), whole; removing, truncating or replacing a
  // file gives its bytes back.
  int64_t spaceLeft = -1;
  // The space each database's shared memory has taken, by database path.
  std::map<std::string, int64_t> shmCharged;

  // Takes `bytes` of the free space; false when they are not there.
  bool take(int64_t bytes) {
    if (spaceLeft < 0 || bytes <= 0) return true;
    if (bytes > spaceLeft) return false;
    spaceLeft -= bytes;
    return true;
  }
  void giveBack(int64_t bytes) {
    if (spaceLeft >= 0 && bytes > 0) spaceLeft += bytes;
  }

  void arm(int64_t at, bool stick = false) {
    calls = 0;
    failAt = at;
    sticky = stick;
    fired = false;
  }
  void disarm() { failAt = 0; }

  // Counts one call; true when it is to fail.
  bool hit() {
    ++calls;
    if (failAt == 0 || calls < failAt || (calls > failAt && !sticky)) return false;
    fired = true;
    if (action) {
      action();
      return false;
    }
    return true;
  }
};

// The size of the file at `path` (0 when there is none).
inline int64_t sizeOf(const char* path) {
  struct stat status{};
  return ::stat(path, &status) == 0 ? static_cast<int64_t>(status.st_size) : 0;
}

class FaultyFileSystem : public KTKVFileSystem {
 public:
  explicit FaultyFileSystem(std::shared_ptr<FaultPlan> plan) : plan_(std::move(plan)) {}

  int open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_CREAT) && plan_->hit()) return fail();
    return KTKVFileSystem::open(path, flags, mode);
  }
  ssize_t write(int fd, const void* bytes, size_t length) override {
    if (plan_->hit()) return fail();
    // Two calls for a value of more than one page, so that a fault can fall
    // between them.
    if (length > 4096) length = (length / 2 + 4095) / 4096 * 4096;
    struct stat status{};
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at >= 0 && ::fstat(fd, &status) == 0 &&
        !plan_->take(static_cast<int64_t>(at) + static_cast<int64_t>(length) - status.st_size)) {
      errno = ENOSPC;
      return -1;
    }
    return KTKVFileSystem::write(fd, bytes, length);
  }
  int fsync(int fd) override {
    if (plan_->hit()) return fail();
    return plan_->skipSync ? 0 : KTKVFileSystem::fsync(fd);
  }
  int close(int fd) override {
    // The descriptor is released whatever the answer, as close does.
    const bool failing = plan_->hit();
    int result = KTKVFileSystem::close(fd);
    return failing ? fail() : result;
  }
  int rename(const char* from, const char* to) override {
    if (plan_->hit()) return fail();
    const int64_t replaced = sizeOf(to);
    const int result = KTKVFileSystem::rename(from, to);
    if (result == 0) plan_->giveBack(replaced);
    return result;
  }
  int unlink(const char* path) override {
    if (plan_->hit()) return fail();
    const int64_t size = sizeOf(path);
    const int result = KTKVFileSystem::unlink(path);
    if (result == 0) plan_->giveBack(size);
    return result;
  }
  int mkdir(const char* path, mode_t mode) override {
    if (plan_->hit()) return fail();
    return KTKVFileSystem::mkdir(path, mode);
  }
  // The plan's free space, when it sets one.
  int64_t availableBytes(const char* path) override {
    return plan_->spaceLeft >= 0 ? plan_->spaceLeft : KTKVFileSystem::availableBytes(path);
  }

 private:
  static int fail() {
    errno = EIO;
    return -1;
  }
  std::shared_ptr<FaultPlan> plan_;
};



// While it lives, a VFS that follows `plan` is SQLite's default, for the
// connections opened meanwhile (close them before it goes).
class ScopedFaultyVFS {
 public:
  explicit ScopedFaultyVFS(std::shared_ptr<FaultPlan> plan) {
    state().plan = std::move(plan);
    state().base = sqlite3_vfs_find(nullptr);
    vfs_ = *state().base;
    vfs_.zName = "kvtest-faulty";
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + state().base->szOsFile;
    vfs_.pAppData = nullptr;
    vfs_.xOpen = &ScopedFaultyVFS::xOpen;
    vfs_.xDelete = &ScopedFaultyVFS::xDelete;
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~ScopedFaultyVFS() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(state().base, 1);
    state().plan.reset();
  }
  ScopedFaultyVFS(const ScopedFaultyVFS&) = delete;
  ScopedFaultyVFS& operator=(const ScopedFaultyVFS&) = delete;

 private:
  struct State {
    std::shared_ptr<FaultPlan> plan;
    sqlite3_vfs* base = nullptr;
    sqlite3_io_methods methods{};
  };
  static State& state() {
    static State s;
    return s;
  }
  // Our file, followed by the base VFS's own. `name` is SQLite's, valid
  // until the file closes.
  struct File {
    sqlite3_file header;
    const char* name;
    sqlite3_file* inner() { return reinterpret_cast<sqlite3_file*>(this + 1); }
  };
  static sqlite3_file* inner(sqlite3_file* file) { return reinterpret_cast<File*>(file)->inner(); }
  static bool hit() { return state().plan && state().plan->hit(); }

  static int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* ours = reinterpret_cast<File*>(file);
    ours->header.pMethods = nullptr;
    ours->name = name;
    int rc = state().base->xOpen(state().base, name, ours->inner(), flags, outFlags);
    if (ours->inner()->pMethods) {
      installMethods(ours->inner()->pMethods);
      ours->header.pMethods = &state().methods;
    }
    return rc;
  }
  static int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    if (hit()) return SQLITE_IOERR_DELETE;
    const int64_t size = sizeOf(name);
    const int rc = state().base->xDelete(state().base, name, syncDir);
    if (rc == SQLITE_OK && state().plan) state().plan->giveBack(size);
    return rc;
  }
  // What a write of `amount` bytes at `offset` adds to the file.
  static int64_t growth(sqlite3_file* f, int amount, sqlite3_int64 offset) {
    sqlite3_int64 size = 0;
    if (inner(f)->pMethods->xFileSize(inner(f), &size) != SQLITE_OK) return 0;
    return offset + amount - size;
  }

  static void installMethods(const sqlite3_io_methods* base) {
    static const sqlite3_io_methods* baseMethods = nullptr;
    if (baseMethods) return;
    baseMethods = base;
    sqlite3_io_methods& m = state().methods;
    m = *base;
    m.xClose = [](sqlite3_file* f) {
      int rc = inner(f)->pMethods->xClose(inner(f));
      f->pMethods = nullptr;
      return rc;
    };
    m.xRead = [](sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
      return inner(f)->pMethods->xRead(inner(f), buffer, amount, offset);
    };
    m.xWrite = [](sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
      if (hit()) return SQLITE_IOERR_WRITE;
      if (state().plan && !state().plan->take(growth(f, amount, offset))) return SQLITE_FULL;
      return inner(f)->pMethods->xWrite(inner(f), buffer, amount, offset);
    };
    m.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
      if (hit()) return SQLITE_IOERR_TRUNCATE;
      sqlite3_int64 before = 0;
      inner(f)->pMethods->xFileSize(inner(f), &before);
      const int rc = inner(f)->pMethods->xTruncate(inner(f), size);
      if (rc == SQLITE_OK && state().plan) state().plan->giveBack(before - size);
      return rc;
    };
    m.xSync = [](sqlite3_file* f, int flags) {
      if (hit()) return SQLITE_IOERR_FSYNC;
      if (state().plan && state().plan->skipSync) return SQLITE_OK;
      return inner(f)->pMethods->xSync(inner(f), flags);
    };
    m.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) { return inner(f)->pMethods->xFileSize(inner(f), size); };
    m.xLock = [](sqlite3_file* f, int lock) { return inner(f)->pMethods->xLock(inner(f), lock); };
    m.xUnlock = [](sqlite3_file* f, int lock) { return inner(f)->pMethods->xUnlock(inner(f), lock); };
    m.xCheckReservedLock = [](sqlite3_file* f, int* out) {
      return inner(f)->pMethods->xCheckReservedLock(inner(f), out);
    };
    m.xFileControl = [](sqlite3_file* f, int op, void* arg) {
      return inner(f)->pMethods->xFileControl(inner(f), op, arg);
    };
    m.xSectorSize = [](sqlite3_file* f) { return inner(f)->pMethods->xSectorSize(inner(f)); };
    m.xDeviceCharacteristics = [](sqlite3_file* f) { return inner(f)->pMethods->xDeviceCharacteristics(inner(f)); };
    if (base->iVersion >= 2) {
      // The shared-memory file beside the database takes the space of the
      // regions mapped. SQLite truncates it (outside the VFS's methods)
      // when a first connection opens it, which gives its space back.
      m.xShmMap = [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
        const char* name = reinterpret_cast<File*>(f)->name;
        if (extend && name && state().plan) {
          int64_t& charged = state().plan->shmCharged[name];
          const int64_t now = sizeOf((std::string(name) + "-shm").c_str());
          if (now < charged) {
            state().plan->giveBack(charged - now);
            charged = now;
          }
          const int64_t growth = int64_t{page + 1} * size - charged;
          if (growth > 0) {
            if (!state().plan->take(growth)) return SQLITE_IOERR_SHMSIZE;
            charged += growth;
          }
        }
        return inner(f)->pMethods->xShmMap(inner(f), page, size, extend, out);
      };
      m.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
        return inner(f)->pMethods->xShmLock(inner(f), offset, n, flags);
      };
      m.xShmBarrier = [](sqlite3_file* f) { inner(f)->pMethods->xShmBarrier(inner(f)); };
      m.xShmUnmap = [](sqlite3_file* f, int deleteFlag) {
        const char* name = reinterpret_cast<File*>(f)->name;
        const int rc = inner(f)->pMethods->xShmUnmap(inner(f), deleteFlag);
        // Removed with the last connection: its space comes back.
        if (name && state().plan && ::access((std::string(name) + "-shm").c_str(), F_OK) != 0) {
          auto found = state().plan->shmCharged.find(name);
          if (found != state().plan->shmCharged.end()) {
            state().plan->giveBack(found->second);
            state().plan->shmCharged.erase(found);
          }
        }
        return rc;
      };
    }
    if (base->iVersion >= 3) {
      m.xFetch = [](sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
        return inner(f)->pMethods->xFetch(inner(f), offset, amount, out);
      };
      m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 offset, void* page) {
        return inner(f)->pMethods->xUnfetch(inner(f), offset, page);
      };
    }
  }

  sqlite3_vfs vfs_{};
};

}  // namespace kvtest
