// User defaults: the application's small persistent settings, kept in a
// binary property-list file.
//
// The standard defaults live in, in order: the file given to
// UserDefaults::setStandardPath, the KIT_USER_DEFAULTS_PATH environment
// variable, or "$XDG_CONFIG_HOME/<domain>/<domain>.plist" (~/.config when
// XDG_CONFIG_HOME is unset), where the domain is the main bundle's
// identifier or else the program's name.
//
// Values are property-list objects, stored as immutable deep copies.
// synchronize() merges this process's changes into what is on disk and
// writes the file atomically (a temporary file renamed over it), holding an
// exclusive lock (flock) on "<file>.lock" beside it from the read to the
// write, so values survive a restart and another process's keys are not
// lost; the standard
// defaults also synchronize when the process exits normally. A value that
// several processes change in turn (a list each adds to) is changed with
// updateObject, which reads, changes and writes it under that same lock.
// All methods may be called from any thread.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

class UserDefaults : public Object {
 public:
  // Defaults kept in their own file (read now if it exists).
  explicit UserDefaults(std::string path);
  static Ref<UserDefaults> withFile(const std::string& path) { return std::make_shared<UserDefaults>(path); }

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<UserDefaults> standardUserDefaults();
  // Synchronizes and drops the shared instance; the next call reads the
  // file again.
  static void resetStandardUserDefaults();
  // Where the standard defaults live (see above).
  static std::string standardPath();
  // Moves the standard defaults to another file (tests, tools); empty
  // restores the default location. Resets the shared instance.
  static void setStandardPath(const std::string& path);

  const std::string& path() const { return path_; }

  // The value for `key`, or the registered default, or nil.
  Id objectForKey(std::string_view key) const;
  // Stores a deep immutable copy of `value`; nil removes the key. A value
  // that is not a property list raises InvalidArgumentException.
  void setObject(const Id& value, std::string_view key);
  void removeObjectForKey(std::string_view key) { setObject(nullptr, key); }

  // Typed readers: nil or 0 when the value is missing or of another kind.
  // Strings and numbers convert into each other as on the platform.
  Ref<String> stringForKey(std::string_view key) const;
  Ref<Array> arrayForKey(std::string_view key) const;
  Ref<Dictionary> dictionaryForKey(std::string_view key) const;
  Ref<Data> dataForKey(std::string_view key) const;
  long integerForKey(std::string_view key) const;
  bool boolForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  float floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }

  void setInteger(long value, std::string_view key);
  void setBool(bool value, std::string_view key);
  void setDouble(double value, std::string_view key);
  void setFloat(float value, std::string_view key);

  // Registered defaults overlaid with the stored values.
  Ref<Dictionary> dictionaryRepresentation() const;
  // Values to answer with when nothing is stored; never written to disk.
  void registerDefaults(const Ref<Dictionary>& defaults);

  // Writes pending changes (merged over the file's current contents), or
  // reads the file again when there are none. False when the file cannot
  // be written; the changes stay pending.
  bool synchronize();

  // Changes one value in step with the file: under the file's lock, reads
  // the file, hands the key's value there (after this object's pending
  // changes; nil when absent) to `update`, and writes what it returns (nil
  // removes the key) with the other pending changes. So a value that two
  // processes update never loses either's change. False when the file
  // cannot be written; the new value then stays pending. A value that is
  // not a property list raises InvalidArgumentException and changes
  // nothing. `update` runs once, under the locks, and must not use this
  // object.
  bool updateObject(std::string_view key, const std::function<Id(const Id& current)>& update);

 private:
  void load();
  Ref<MutableDictionary> readFile(bool keepUnreadable);
  // With mutex_ and the file lock held: the file's contents with the
  // pending changes over them, and writing such contents out.
  Ref<MutableDictionary> readMergedLocked();
  bool writeLocked(const Ref<MutableDictionary>& merged);

  const std::string path_;
  mutable std::mutex mutex_;
  Ref<MutableDictionary> values_;      // what this process sees
  Ref<MutableDictionary> registered_;  // registerDefaults
  // Keys changed since the last synchronize: the new value, or nil when
  // the key was removed.
  std::map<std::string, Id> pending_;
};

}  // namespace kit
