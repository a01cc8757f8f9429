// Dictionaries: the abstract classes' derived methods and the default
// insertion-ordered concrete classes.

#include "kit/foundation/dictionary.h"

#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

#include <unordered_map>

namespace kit {

KIT_DEFINE_CLASS_NAMED(Dictionary, Object, "NSDictionary") {}
KIT_DEFINE_CLASS_NAMED(MutableDictionary, Dictionary, "NSMutableDictionary") {}

namespace detail {
std::string describeCollection(const Object& collection, int indent);
}

namespace {

// Hashing that lets a std::string_view find a String key.
struct KeyHash {
  using is_transparent = void;
  size_t operator()(const Id& k) const { return k->hash(); }
  size_t operator()(std::string_view k) const { return String::hashOf(k); }
};
struct KeyEqual {
  using is_transparent = void;
  bool operator()(const Id& a, const Id& b) const { return a == b || a->isEqual(*b); }
  bool operator()(const Id& a, std::string_view b) const {
    auto* s = dynamic_cast<const String*>(a.get());
    return s && s->utf8() == b;
  }
  bool operator()(std::string_view a, const Id& b) const { return (*this)(b, a); }
};

// Insertion-ordered storage: entries in a vector (removed ones become holes
// that are compacted away) and an index from key to slot.
class OrderedStorage {
 public:
  size_t count() const { return index_.size(); }

  template <class K>
  Id find(const K& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : slots_[it->second].second;
  }

  void set(const Id& key, const Id& value) {
    auto it = index_.find(key);
    if (it != index_.end()) {
      Id old = std::move(slots_[it->second].second);
      slots_[it->second].second = value;
      return;
    }
    Id stored = key->copy();  // keys are copied, so a later mutation cannot move them
    index_.emplace(stored, slots_.size());
    slots_.emplace_back(std::move(stored), value);
  }

  void remove(const Id& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return;
    std::pair<Id, Id> removed = std::move(slots_[it->second]);
    slots_[it->second] = {};
    index_.erase(it);
    ++holes_;
    if (holes_ > 16 && holes_ * 2 > slots_.size()) compact();
  }

  std::vector<Id> keys() const {
    std::vector<Id> out;
    out.reserve(count());
    for (const auto& [k, v] : slots_) {
      if (k) out.push_back(k);
    }
    return out;
  }

  // Calls f(key, value) for each entry in order until it returns false.
  // Slots are read by index, so f may change the storage as long as it
  // then returns false.
  template <class F>
  void forEach(F&& f) const {
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].first && !f(slots_[i].first, slots_[i].second)) return;
    }
  }

 private:
  void compact() {
    std::vector<std::pair<Id, Id>> live;
    live.reserve(index_.size());
    for (auto& slot : slots_) {
      if (slot.first) live.push_back(std::move(slot));
    }
    slots_ = std::move(live);
    for (size_t i = 0; i < slots_.size(); ++i) index_[slots_[i].first] = i;
    holes_ = 0;
  }

  std::vector<std::pair<Id, Id>> slots_;
  std::unordered_map<Id, size_t, KeyHash, KeyEqual> index_;
  size_t holes_ = 0;
};

[[noreturn]] void raiseMutated(const Object& dictionary) {
  raise(GenericException,
        "*** Collection " + dictionary.defaultDescription() + " was mutated while being enumerated.");
}

[[noreturn]] void raiseNil(const char* what) {
  raise(InvalidArgumentException, std::string("*** -[__NSDictionaryM setObject:forKey:]: ") + what +
                                      " cannot be nil");
}

class OrderedDictionary final : public Dictionary {
 public:
  explicit OrderedDictionary(const Entries& entries) {
    for (const auto& [k, v] : entries) {
      if (!k) raiseNil("key");
      if (!v) raiseNil("object");
      storage_.set(k, v);
    }
  }
  size_t count() const override { return storage_.count(); }
  Id objectForKey(const Id& key) const override { return key ? storage_.find(key) : nullptr; }
  Id objectForKey(std::string_view key) const override { return storage_.find(key); }
  std::vector<Id> keys() const override { return storage_.keys(); }
  void enumerateKeysAndObjects(const std::function<void(const Id&, const Id&, bool*)>& block) const override {
    bool stop = false;
    storage_.forEach([&](const Id& k, const Id& v) {
      block(k, v, &stop);
      return !stop;
    });
  }
  Id copy() const override { return self(); }  // it never changes

 private:
  OrderedStorage storage_;
};

class OrderedMutableDictionary final : public MutableDictionary {
 public:
  explicit OrderedMutableDictionary(const Entries& entries) {
    for (const auto& [k, v] : entries) setObject(v, k);
  }
  size_t count() const override { return storage_.count(); }
  Id objectForKey(const Id& key) const override { return key ? storage_.find(key) : nullptr; }
  Id objectForKey(std::string_view key) const override { return storage_.find(key); }
  std::vector<Id> keys() const override { return storage_.keys(); }
  uint64_t mutationCount() const override { return mutations_; }
  void enumerateKeysAndObjects(const std::function<void(const Id&, const Id&, bool*)>& block) const override {
    const uint64_t before = mutations_;
    bool stop = false;
    storage_.forEach([&](const Id& k, const Id& v) {
      block(k, v, &stop);
      if (stop) return false;
      if (mutations_ != before) raiseMutated(*this);  // before the storage is read again
      return true;
    });
  }

  void setObject(const Id& object, const Id& key) override {
    if (!key) raiseNil("key");
    if (!object) raiseNil("object");
    storage_.set(key, object);
    ++mutations_;
  }
  void removeObjectForKey(const Id& key) override {
    if (!key) raise(InvalidArgumentException, "*** -[__NSDictionaryM removeObjectForKey:]: key cannot be nil");
    storage_.remove(key);
    ++mutations_;
  }

 private:
  OrderedStorage storage_;
  uint64_t mutations_ = 0;
};

}  // namespace

Ref<Dictionary> Dictionary::make(Entries entries) { return std::make_shared<OrderedDictionary>(entries); }

Ref<MutableDictionary> MutableDictionary::make(Entries entries) {
  return std::make_shared<OrderedMutableDictionary>(entries);
}

Ref<Array> Dictionary::allValues() const {
  std::vector<Id> out;
  for (const Id& k : keys()) out.push_back(objectForKey(k));
  return Array::make(std::move(out));
}

Dictionary::Entries Dictionary::entries() const {
  Entries out;
  out.reserve(count());
  enumerateKeysAndObjects([&out](const Id& k, const Id& v, bool*) { out.emplace_back(k, v); });
  return out;
}

void Dictionary::enumerateKeysAndObjects(const std::function<void(const Id&, const Id&, bool*)>& block) const {
  uint64_t before = mutationCount();
  bool stop = false;
  for (const Id& k : keys()) {
    if (mutationCount() != before) raiseMutated(*this);
    Id v = objectForKey(k);
    if (!v) continue;
    block(k, v, &stop);
    if (stop) break;
  }
  if (mutationCount() != before && !stop) raiseMutated(*this);
}

bool Dictionary::isEqualToDictionary(const Dictionary& other) const {
  if (this == &other) return true;
  if (count() != other.count()) return false;
  for (const Id& k : keys()) {
    if (!kit::isEqual(objectForKey(k), other.objectForKey(k))) return false;
  }
  return true;
}

bool Dictionary::isEqual(const Object& other) const {
  auto* d = dynamic_cast<const Dictionary*>(&other);
  return d && isEqualToDictionary(*d);
}

std::string Dictionary::description() const { return detail::describeCollection(*this, 0); }

Id Dictionary::copy() const { return make(entries()); }

Id Dictionary::mutableCopy() const { return MutableDictionary::make(entries()); }

Id MutableDictionary::copy() const { return Dictionary::make(entries()); }

void MutableDictionary::setObject(const Id& object, std::string_view key) { setObject(object, String::make(key)); }

void MutableDictionary::setValueForKey(const std::string& key, Id value) {
  if (value) {
    setObject(value, String::make(key));
  } else {
    removeObjectForKey(String::make(key));
  }
}

void MutableDictionary::removeObjectForKey(std::string_view key) { removeObjectForKey(String::make(key)); }

void MutableDictionary::removeAllObjects() {
  for (const Id& k : keys()) removeObjectForKey(k);
}

void MutableDictionary::removeObjectsForKeys(const std::vector<Id>& keys) {
  for (const Id& k : keys) removeObjectForKey(k);
}

void MutableDictionary::addEntriesFromDictionary(const Dictionary& other) {
  for (const auto& [k, v] : other.entries()) setObject(v, k);
}

void MutableDictionary::setDictionary(const Dictionary& other) {
  auto add = other.entries();
  removeAllObjects();
  for (const auto& [k, v] : add) setObject(v, k);
}

}  // namespace kit
