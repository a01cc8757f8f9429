// kit::Object: identity, descriptions, copying, key-value coding and
// associated values.

#include "kit/foundation/object.h"

#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

namespace kit {

struct AssociatedStore {
  struct Entry {
    Id strong;
    std::weak_ptr<Object> weak;
    bool isWeak = false;
  };
  std::mutex mutex;
  std::unordered_map<const void*, Entry> entries;
};

void raise(const std::string& name, const std::string& reason) { throw Exception(name, reason); }

Id Id::operator[](std::string_view key) const {
  if (auto* d = dynamic_cast<const Dictionary*>(get())) return d->objectForKey(key);
  return nullptr;
}

Id Id::operator[](size_t index) const {
  if (auto* a = dynamic_cast<const Array*>(get())) return a->objectAtIndexOrNil(index);
  return nullptr;
}

Id Id::operator[](int index) const {
  if (index < 0) return nullptr;
  return (*this)[static_cast<size_t>(index)];
}

Object::Object() = default;

Object::~Object() { delete associated_.load(std::memory_order_acquire); }

const Class& Object::staticClass() {
  static const Class& c = Class::registerClass("NSObject", nullptr, typeid(Object));
  return c;
}
[[maybe_unused]] static const Class& kitLoadedObject = Object::staticClass();

const Class& Object::objectClass() const { return staticClass(); }

std::string Object::className() const { return objectClass().name(); }

bool Object::isKindOfClass(const Class& cls) const { return objectClass().isSubclassOf(cls); }

bool Object::isMemberOfClass(const Class& cls) const { return &objectClass() == &cls; }

std::string Object::defaultDescription() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, ": %p>", static_cast<const void*>(this));
  return "<" + className() + buf;
}

std::string Object::description() const { return defaultDescription(); }

Id Object::copy() const {
  raise(InvalidArgumentException, "-[" + className() + " copyWithZone:]: unrecognized selector sent to instance");
}

Id Object::mutableCopy() const {
  raise(InvalidArgumentException,
        "-[" + className() + " mutableCopyWithZone:]: unrecognized selector sent to instance");
}

Id Object::valueForKey(const std::string& key) {
  if (const Property* p = objectClass().property(key)) return p->get(*this);
  return valueForUndefinedKey(key);
}

void Object::setValueForKey(const std::string& key, Id value) {
  const Property* p = objectClass().property(key);
  if (!p) return setValueForUndefinedKey(key, std::move(value));
  if (!p->set) {
    raise(UndefinedKeyException, "[<" + className() + "> setValue:forKey:]: the key " + key + " is read-only.");
  }
  p->set(*this, value);
}

Id Object::valueForUndefinedKey(const std::string& key) {
  raise(UndefinedKeyException, "[<" + className() +
                                   "> valueForUndefinedKey:]: this class is not key value coding-compliant "
                                   "for the key " +
                                   key + ".");
}

void Object::setValueForUndefinedKey(const std::string& key, Id) {
  raise(UndefinedKeyException, "[<" + className() +
                                   "> setValue:forUndefinedKey:]: this class is not key value "
                                   "coding-compliant for the key " +
                                   key + ".");
}

void Object::setNilValueForKey(const std::string& key) {
  raise(InvalidArgumentException,
        "[<" + className() + "> setNilValueForKey]: could not set nil as the value for the key " + key + ".");
}

Id Object::valueForKeyPath(const std::string& path) {
  size_t dot = path.find('.');
  if (dot == std::string::npos) return valueForKey(path);
  Id head = valueForKey(path.substr(0, dot));
  return head ? head->valueForKeyPath(path.substr(dot + 1)) : nullptr;
}

void Object::setValueForKeyPath(const std::string& path, Id value) {
  size_t dot = path.find('.');
  if (dot == std::string::npos) return setValueForKey(path, std::move(value));
  Id head = valueForKey(path.substr(0, dot));
  if (head) head->setValueForKeyPath(path.substr(dot + 1), std::move(value));
}

void Object::setValuesForKeysWithDictionary(const Ref<Dictionary>& values) {
  if (!values) return;
  values->enumerateKeysAndObjects([this](const Id& key, const Id& value, bool*) {
    Id v = dynamic_cast<const Null*>(value.get()) ? nullptr : value;
    setValueForKey(key ? key->description() : std::string(), v);
  });
}

void Object::setAssociated(const void* key, Id value, Association policy) {
  AssociatedStore* store = associated_.load(std::memory_order_acquire);
  if (!store) {
    auto* fresh = new AssociatedStore;
    if (associated_.compare_exchange_strong(store, fresh, std::memory_order_acq_rel)) {
      store = fresh;
    } else {
      delete fresh;
    }
  }
  if (value && policy == Association::Copy) value = value->copy();
  Id old;  // released outside the lock
  std::lock_guard lock(store->mutex);
  auto it = store->entries.find(key);
  if (it != store->entries.end()) old = std::move(it->second.strong);
  if (!value) {
    if (it != store->entries.end()) store->entries.erase(it);
    return;
  }
  AssociatedStore::Entry e;
  if (policy == Association::Weak) {
    e.weak = value;
    e.isWeak = true;
  } else {
    e.strong = std::move(value);
  }
  store->entries[key] = std::move(e);
}

Id Object::associated(const void* key) const {
  AssociatedStore* store = associated_.load(std::memory_order_acquire);
  if (!store) return nullptr;
  std::lock_guard lock(store->mutex);
  auto it = store->entries.find(key);
  if (it == store->entries.end()) return nullptr;
  return it->second.isWeak ? Id(it->second.weak.lock()) : it->second.strong;
}

bool isEqual(const Id& a, const Id& b) { return IdEqual()(a, b); }

}  // namespace kit
