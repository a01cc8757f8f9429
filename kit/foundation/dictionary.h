// Dictionaries. Dictionary and MutableDictionary are abstract, with the
// platform's primitive methods (count, objectForKey, keys; set and remove),
// so a product class can be a kind of dictionary. The default concrete
// classes keep insertion order, which makes logs, JSON output and form
// bodies deterministic. Keys are copied on insertion, as the platform does.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/object.h"

namespace kit {

class Dictionary : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // Primitives.
  virtual size_t count() const = 0;
  virtual Id objectForKey(const Id& key) const = 0;
  // A string key without building a String object.
  virtual Id objectForKey(std::string_view key) const = 0;
  // Keys in enumeration order.
  virtual std::vector<Id> keys() const = 0;
  virtual uint64_t mutationCount() const { return 0; }

  using Entries = std::vector<std::pair<Id, Id>>;
  static Ref<Dictionary> make(Entries entries = {});

  Id operator[](std::string_view key) const { return objectForKey(key); }
  Id operator[](const Id& key) const { return objectForKey(key); }

  bool empty() const { return count() == 0; }
  Ref<Array> allKeys() const { return Array::make(keys()); }
  Ref<Array> allValues() const;
  Entries entries() const;
  // Calls `block` for every entry in order; raises when mutated meanwhile.
  // The default goes through keys() and objectForKey(); the concrete
  // classes walk their storage directly.
  virtual void enumerateKeysAndObjects(
      const std::function<void(const Id& key, const Id& value, bool* stop)>& block) const;
  bool isEqualToDictionary(const Dictionary& other) const;

  Id valueForKey(const std::string& key) override { return objectForKey(std::string_view(key)); }
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return count(); }
  Id copy() const override;
  Id mutableCopy() const override;
};

class MutableDictionary : public Dictionary {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // Primitives. A nil key or value raises.
  virtual void setObject(const Id& object, const Id& key) = 0;
  virtual void removeObjectForKey(const Id& key) = 0;

  static Ref<MutableDictionary> make(Entries entries = {});

  void setObject(const Id& object, std::string_view key);
  // Sets, or removes when the value is nil (key-value coding's setValue:forKey:).
  void setValueForKey(const std::string& key, Id value) override;
  void removeObjectForKey(std::string_view key);
  void removeAllObjects();
  void removeObjectsForKeys(const std::vector<Id>& keys);
  void addEntriesFromDictionary(const Dictionary& other);
  void setDictionary(const Dictionary& other);

  Id copy() const override;
};

}  // namespace kit
