// User defaults over a binary property-list file.

#include "kit/foundation/user_defaults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "kit/foundation/bundle.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(UserDefaults, Object, "NSUserDefaults") {}

namespace {

struct Standard {
  std::mutex mutex;
  std::string path;  // setStandardPath
  Ref<UserDefaults> defaults;
  bool exitHookInstalled = false;
};

Standard& standard() {
  static NoDestructor<Standard> s;  // lives for the whole process, so the exit hook can use it
  return *s;
}

void synchronizeAtExit() {
  Ref<UserDefaults> defaults;
  {
    Standard& s = standard();
    std::lock_guard lock(s.mutex);
    defaults = s.defaults;
  }
  if (defaults) defaults->synchronize();
}

std::string programName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "kit";
  std::string exe(buf, static_cast<size_t>(n));
  return exe.substr(exe.rfind('/') + 1);
}

// mkdir -p, private to the user.
void makeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0700);
  }
  ::mkdir(path.c_str(), 0700);
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// An exclusive lock on a lock file, held while the object lives. Without a
// lock file (a folder that cannot be written) it holds nothing, and the
// write that follows fails and says so.
class FileLock {
 public:
  explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

}  // namespace

// ---- The standard defaults ------------------------------------------------

std::string UserDefaults::standardPath() {
  {
    Standard& s = standard();
    std::lock_guard lock(s.mutex);
    if (!s.path.empty()) return s.path;
  }
  if (const char* env = std::getenv("KIT_USER_DEFAULTS_PATH"); env && *env) return env;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    config = std::string(home && *home ? home : ".") + "/.config";
  }
  Ref<String> identifier = Bundle::main()->bundleIdentifier();
  std::string domain = identifier && !identifier->empty() && identifier->utf8().find('/') == std::string::npos
                           ? identifier->utf8()
                           : programName();
  return config + "/" + domain + "/" + domain + ".plist";
}

Ref<UserDefaults> UserDefaults::standardUserDefaults() {
  Standard& s = standard();
  {
    std::lock_guard lock(s.mutex);
    if (s.defaults) return s.defaults;
  }
  auto created = std::make_shared<UserDefaults>(standardPath());
  std::lock_guard lock(s.mutex);
  if (!s.defaults) s.defaults = created;
  if (!s.exitHookInstalled) {
    s.exitHookInstalled = true;
    // Statics made after the hook is registered are destroyed before it
    // runs; make the singletons that reading a property list uses first.
    Number::yes();
    Number::no();
    Null::null();
    std::atexit(synchronizeAtExit);
  }
  return s.defaults;
}

void UserDefaults::resetStandardUserDefaults() {
  Ref<UserDefaults> old;
  {
    Standard& s = standard();
    std::lock_guard lock(s.mutex);
    old = std::move(s.defaults);
  }
  if (old) old->synchronize();
}

void UserDefaults::setStandardPath(const std::string& path) {
  resetStandardUserDefaults();
  Standard& s = standard();
  std::lock_guard lock(s.mutex);
  s.path = path;
}

// ---- Storage --------------------------------------------------------------

UserDefaults::UserDefaults(std::string path)
    : path_(std::move(path)), values_(MutableDictionary::make()), registered_(MutableDictionary::make()) {
  load();
}

Ref<MutableDictionary> UserDefaults::readFile(bool keepUnreadable) {
  Ref<Error> error;
  Ref<Data> bytes = dataWithContentsOfFile(path_, &error, kMaxPropertyListFileBytes);
  if (!bytes) {
    auto underlying = error ? error->underlyingError() : nullptr;
    if (underlying && underlying->code() != ENOENT) log("UserDefaults: cannot read %s: %@", path_, error);
    return MutableDictionary::make();  // no file yet
  }
  auto stored = as<Dictionary>(PropertyListSerialization::propertyListWithData(bytes, 0, nullptr, &error));
  if (stored) return as<MutableDictionary>(stored->mutableCopy());
  if (keepUnreadable) {
    // Keep an unreadable file aside instead of overwriting it later.
    std::string aside = path_ + ".corrupt";
    ::rename(path_.c_str(), aside.c_str());
    log("UserDefaults: %s is not a dictionary property list (%@); moved to %s, starting empty", path_,
        error ? Id(error) : Id(String::make("it holds another type")), aside);
  }
  return nullptr;
}

void UserDefaults::load() {
  Ref<MutableDictionary> stored = readFile(true);
  std::lock_guard lock(mutex_);
  values_ = stored ? stored : MutableDictionary::make();
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) {
    // The file is only ever replaced whole, so it reads whole without the
    // lock.
    Ref<MutableDictionary> stored = readFile(true);
    values_ = stored ? stored : MutableDictionary::make();
    return true;
  }
  makeDirectories(directoryOf(path_));
  // Another process's read-merge-write of this file comes before or after
  // ours, never in between, so that neither loses the other's keys.
  FileLock fileLock(path_ + ".lock");
  return writeLocked(readMergedLocked());
}

bool UserDefaults::updateObject(std::string_view key, const std::function<Id(const Id& current)>& update) {
  std::lock_guard lock(mutex_);
  makeDirectories(directoryOf(path_));
  // As in synchronize: no other process writes between our read and our
  // write, so the value `update` sees is the one we replace.
  FileLock fileLock(path_ + ".lock");
  Ref<MutableDictionary> merged = readMergedLocked();
  Id next = update ? update(merged->objectForKey(key)) : merged->objectForKey(key);
  Id stored;
  if (next) {
    stored = PropertyListSerialization::deepCopy(next);
    if (!stored) {
      raise(InvalidArgumentException, "Attempt to insert non-property list object " + describe(next) + " for key " +
                                          std::string(key));
    }
    merged->setObject(stored, key);
    values_->setObject(stored, key);
  } else {
    merged->removeObjectForKey(key);
    values_->removeObjectForKey(key);
  }
  pending_[std::string(key)] = stored;
  return writeLocked(merged);
}

Ref<MutableDictionary> UserDefaults::readMergedLocked() {
  // What is on disk now, which another process may have changed.
  Ref<MutableDictionary> merged = readFile(true);
  if (!merged) merged = MutableDictionary::make();
  for (const auto& [key, value] : pending_) {
    if (value) merged->setObject(value, std::string_view(key));
    else merged->removeObjectForKey(std::string_view(key));
  }
  return merged;
}

bool UserDefaults::writeLocked(const Ref<MutableDictionary>& merged) {
  Ref<Error> error;
  Ref<Data> data = PropertyListSerialization::dataWithPropertyList(merged, PropertyListFormat::Binary, &error);
  if (!data || !writeDataToFile(*data, path_, true, &error)) {
    log("UserDefaults: cannot save %s: %@", path_, error);
    return false;
  }
  values_ = merged;
  pending_.clear();
  return true;
}

// ---- Values ---------------------------------------------------------------

Id UserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard lock(mutex_);
  if (Id v = values_->objectForKey(key)) return v;
  return registered_->objectForKey(key);
}

void UserDefaults::setObject(const Id& value, std::string_view key) {
  Id stored;
  if (value) {
    stored = PropertyListSerialization::deepCopy(value);
    if (!stored) {
      raise(InvalidArgumentException, "Attempt to insert non-property list object " + describe(value) +
                                          " for key " + std::string(key));
    }
  }
  std::lock_guard lock(mutex_);
  if (stored) values_->setObject(stored, key);
  else values_->removeObjectForKey(key);
  pending_[std::string(key)] = stored;
}

Ref<String> UserDefaults::stringForKey(std::string_view key) const {
  Id v = objectForKey(key);
  if (auto s = as<String>(v)) return s;
  if (auto n = as<Number>(v)) return String::make(n->stringValue());
  return nullptr;
}

Ref<Array> UserDefaults::arrayForKey(std::string_view key) const { return as<Array>(objectForKey(key)); }
Ref<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const { return as<Dictionary>(objectForKey(key)); }
Ref<Data> UserDefaults::dataForKey(std::string_view key) const { return as<Data>(objectForKey(key)); }

long UserDefaults::integerForKey(std::string_view key) const {
  Id v = objectForKey(key);
  if (auto n = as<Number>(v)) return n->integerValue();
  if (auto s = as<String>(v)) return s->integerValue();
  return 0;
}

bool UserDefaults::boolForKey(std::string_view key) const {
  Id v = objectForKey(key);
  if (auto n = as<Number>(v)) return n->boolValue();
  if (auto s = as<String>(v)) return s->boolValue();
  return false;
}

double UserDefaults::doubleForKey(std::string_view key) const {
  Id v = objectForKey(key);
  if (auto n = as<Number>(v)) return n->doubleValue();
  if (auto s = as<String>(v)) return s->doubleValue();
  return 0;
}

void UserDefaults::setInteger(long value, std::string_view key) { setObject(Number::fromLong(value), key); }
void UserDefaults::setBool(bool value, std::string_view key) { setObject(Number::fromBool(value), key); }
void UserDefaults::setDouble(double value, std::string_view key) { setObject(Number::fromDouble(value), key); }
void UserDefaults::setFloat(float value, std::string_view key) { setObject(Number::fromFloat(value), key); }

Ref<Dictionary> UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  auto all = as<MutableDictionary>(registered_->mutableCopy());
  all->addEntriesFromDictionary(*values_);
  return as<Dictionary>(all->copy());
}

void UserDefaults::registerDefaults(const Ref<Dictionary>& defaults) {
  if (!defaults) return;
  auto copy = as<Dictionary>(PropertyListSerialization::deepCopy(defaults));
  if (!copy) raise(InvalidArgumentException, "Attempt to register non-property list defaults " + describe(defaults));
  std::lock_guard lock(mutex_);
  registered_->addEntriesFromDictionary(*copy);
}

}  // namespace kit
