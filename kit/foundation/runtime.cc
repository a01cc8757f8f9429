// The class registry and the helpers of key-value coding's type checks.

#include "kit/foundation/runtime.h"

#include <map>

#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"

namespace kit {
namespace {

struct Registry {
  std::recursive_mutex mutex;
  std::map<std::string, Class*, std::less<>> byName;
  std::unordered_map<std::type_index, Class*> byType;
};

Registry& registry() {
  static NoDestructor<Registry> r;  // lives for the whole process
  return *r;
}

}  // namespace

Class::Class(std::string name, const Class* superclass) : name_(std::move(name)), super_(superclass) {}

Class& Class::registerClass(std::string name, const Class* superclass, std::type_index type) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  // A name names one class for the process: registering it again answers
  // the class already there (callers may hold it), never a second one.
  if (auto it = r.byName.find(name); it != r.byName.end()) {
    if (it->second->super_ != superclass) {
      raise(InternalInconsistencyException, "class " + name + " is already registered with another superclass");
    }
    r.byType.try_emplace(type, it->second);
    return *it->second;
  }
  auto* cls = new Class(name, superclass);  // class objects live for the process
  r.byName[name] = cls;
  r.byType[type] = cls;
  return *cls;
}

const Class* Class::named(std::string_view name) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.byName.find(name);
  return it == r.byName.end() ? nullptr : it->second;
}

const Class* Class::forType(std::type_index type) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.byType.find(type);
  return it == r.byType.end() ? nullptr : it->second;
}

std::vector<const Class*> Class::classList() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::vector<const Class*> out;
  out.reserve(r.byName.size());
  for (const auto& [name, cls] : r.byName) out.push_back(cls);
  return out;
}

bool Class::isSubclassOf(const Class& other) const {
  for (const Class* c = this; c; c = c->super_) {
    if (c == &other) return true;
  }
  return false;
}

const Property* Class::property(std::string_view name) const {
  for (const Class* c = this; c; c = c->super_) {
    for (const Property& p : c->properties_) {
      if (p.name == name) return &p;
    }
  }
  return nullptr;
}

void Class::setHook(const std::string& name, std::any value) const {
  std::lock_guard lock(mutex_);
  hooks_[name] = &hookValues_.emplace_back(std::move(value));
}

bool Class::hasOwnHook(std::string_view name) const {
  std::lock_guard lock(mutex_);
  return hooks_.count(std::string(name)) != 0;
}

void Class::setAssociated(const void* key, Id value) const {
  Id old;
  std::lock_guard lock(mutex_);
  auto it = associated_.find(key);
  if (it != associated_.end()) old = std::move(it->second);
  if (value) {
    associated_[key] = std::move(value);
  } else if (it != associated_.end()) {
    associated_.erase(it);
  }
}

Id Class::associated(const void* key) const {
  std::lock_guard lock(mutex_);
  auto it = associated_.find(key);
  return it == associated_.end() ? nullptr : it->second;
}

bool ClassValue::isEqual(const Object& other) const {
  auto* value = dynamic_cast<const ClassValue*>(&other);
  return value && value->cls_ == cls_;
}

namespace detail {

void raiseNotNumber(Object& target, const std::string& key) {
  raise(InvalidArgumentException,
        "[<" + target.className() + "> setValue:forKey:]: the value for the key " + key + " is not a number.");
}

void raiseWrongClass(Object& target, const std::string& key, const Id& value) {
  raise(InvalidArgumentException, "[<" + target.className() + "> setValue:forKey:]: a " + value->className() +
                                      " cannot be stored in the property " + key + ".");
}

}  // namespace detail
}  // namespace kit
