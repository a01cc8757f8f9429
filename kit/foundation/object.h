// The root of kit's object model: reference-counted objects with class
// identity, equality, copying, key-value coding and associated values.
//
// Reference types derive from kit::Object and live in std::shared_ptr
// (kit::Ref<T>); kit::Weak<T> is the weak reference and an empty pointer is
// "nil". kit::Id is the dynamic value: a Ref<Object> that can also look up a
// key or an index in whatever it holds, giving nil when it holds nothing
// suitable, so reading a server reply is `reply["data"]["token"]`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace kit {

class Object;
class Class;
class String;
class Array;
class Dictionary;

template <class T>
using Ref = std::shared_ptr<T>;
template <class T>
using Weak = std::weak_ptr<T>;

// A dynamic value. It is a Ref<Object> in every respect, plus lookups that
// never throw: a key on something that is not a dictionary, or an index on
// something that is not an array or out of its bounds, gives nil.
class Id : public std::shared_ptr<Object> {
 public:
  using std::shared_ptr<Object>::shared_ptr;
  Id() = default;
  Id(const std::shared_ptr<Object>& p) : std::shared_ptr<Object>(p) {}
  Id(std::shared_ptr<Object>&& p) : std::shared_ptr<Object>(std::move(p)) {}

  Id operator[](std::string_view key) const;
  Id operator[](const char* key) const { return (*this)[std::string_view(key)]; }
  Id operator[](size_t index) const;
  Id operator[](int index) const;
};

// Creates a reference object.
template <class T, class... Args>
Ref<T> make(Args&&... args) {
  return std::make_shared<T>(std::forward<Args>(args)...);
}

// dynamic_pointer_cast that accepts nil.
template <class T, class U>
Ref<T> as(const std::shared_ptr<U>& p) {
  return std::dynamic_pointer_cast<T>(p);
}
template <class T, class U>
bool isKind(const std::shared_ptr<U>& p) {
  return dynamic_cast<const T*>(p.get()) != nullptr;
}

// How an associated value is held.
enum class Association { Strong, Copy, Weak };

struct AssociatedStore;

class Object : public std::enable_shared_from_this<Object> {
 public:
  Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object();

  // The runtime class. Classes that register (KIT_OBJECT / KIT_DEFINE_CLASS)
  // report themselves; others report the nearest registered ancestor.
  virtual const Class& objectClass() const;
  static const Class& staticClass();
  std::string className() const;
  bool isKindOfClass(const Class& cls) const;
  bool isMemberOfClass(const Class& cls) const;

  // The "%@" text.
  virtual std::string description() const;
  virtual std::string debugDescription() const { return description(); }

  virtual bool isEqual(const Object& other) const { return this == &other; }
  virtual size_t hash() const { return reinterpret_cast<uintptr_t>(this) >> 4; }

  // An immutable copy, or this object when it is immutable. The default
  // raises the platform's invalid-argument exception: the class does not
  // support copying.
  virtual Id copy() const;
  virtual Id mutableCopy() const;

  // Key-value coding. Properties declared with the runtime are found through
  // the class chain; the undefined-key hooks raise by default.
  virtual Id valueForKey(const std::string& key);
  virtual void setValueForKey(const std::string& key, Id value);
  virtual Id valueForUndefinedKey(const std::string& key);
  virtual void setValueForUndefinedKey(const std::string& key, Id value);
  virtual void setNilValueForKey(const std::string& key);
  Id valueForKeyPath(const std::string& path);
  void setValueForKeyPath(const std::string& path, Id value);
  void setValuesForKeysWithDictionary(const Ref<Dictionary>& values);

  // Associated values, keyed by the address of something the caller owns.
  void setAssociated(const void* key, Id value, Association policy = Association::Strong);
  Id associated(const void* key) const;

  Id self() { return shared_from_this(); }
  Id self() const { return std::const_pointer_cast<Object>(shared_from_this()); }
  template <class T>
  Ref<T> selfAs() {
    return std::static_pointer_cast<T>(shared_from_this());
  }
  template <class T>
  Weak<T> weakSelf() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

  // "<ClassName: 0x...>"
  std::string defaultDescription() const;

 private:
  mutable std::atomic<AssociatedStore*> associated_{nullptr};
};

// Equality and hashing through isEqual/hash, for standard containers.
struct IdHash {
  size_t operator()(const Id& v) const { return v ? v->hash() : 0; }
};
struct IdEqual {
  bool operator()(const Id& a, const Id& b) const {
    if (a == b) return true;
    if (!a || !b) return false;
    return a->isEqual(*b);
  }
};

// Null-safe equality: both nil, or isEqual.
bool isEqual(const Id& a, const Id& b);

}  // namespace kit
