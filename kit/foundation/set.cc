// Sets of objects, kept in first-insertion order.

#include "kit/foundation/set.h"

#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Set, Object, "NSSet") {}
KIT_DEFINE_CLASS_NAMED(MutableSet, Set, "NSMutableSet") {}

namespace {

[[noreturn]] void raiseMutated(const Set& set) {
  raise(GenericException, "*** Collection " + set.defaultDescription() + " was mutated while being enumerated.");
}

}  // namespace

Set::Set(const std::vector<Id>& objects) {
  for (const Id& o : objects) insert(o);
}

Ref<Set> Set::make(const std::vector<Id>& objects) { return std::make_shared<Set>(objects); }

bool Set::containsObject(const Id& object) const { return object && index_.count(object) > 0; }

Id Set::member(const Id& object) const {
  if (!object) return nullptr;
  auto it = index_.find(object);
  return it == index_.end() ? nullptr : it->first;
}

Id Set::anyObject() const { return order_.empty() ? nullptr : order_.begin()->second; }

std::vector<Id> Set::objects() const {
  std::vector<Id> out;
  out.reserve(order_.size());
  for (const auto& [sequence, object] : order_) out.push_back(object);
  return out;
}

Ref<Array> Set::allObjects() const { return Array::make(objects()); }

bool Set::isSubsetOfSet(const Set& other) const {
  if (count() > other.count()) return false;
  for (const auto& [object, sequence] : index_) {
    if (!other.containsObject(object)) return false;
  }
  return true;
}

bool Set::intersectsSet(const Set& other) const {
  const Set& smaller = count() <= other.count() ? *this : other;
  const Set& larger = &smaller == this ? other : *this;
  for (const auto& [object, sequence] : smaller.index_) {
    if (larger.containsObject(object)) return true;
  }
  return false;
}

bool Set::isEqualToSet(const Set& other) const { return count() == other.count() && isSubsetOfSet(other); }

Ref<Set> Set::setByAddingObject(const Id& object) const {
  auto out = std::make_shared<Set>(objects());
  out->insert(object);
  return out;
}

Ref<Set> Set::setByAddingObjectsFromArray(const Array& array) const {
  auto out = std::make_shared<Set>(objects());
  for (const Id& o : array.objects()) out->insert(o);
  return out;
}

Ref<Set> Set::objectsPassingTest(const std::function<bool(const Id&)>& test) const {
  auto out = std::make_shared<Set>();
  for (const Id& o : *this) {
    if (test(o)) out->insert(o);
  }
  return out;
}

void Set::enumerateObjects(const std::function<void(const Id&, bool* stop)>& block) const {
  bool stop = false;
  for (const Id& o : *this) {
    block(o, &stop);
    if (stop) break;
  }
}

const Id& Set::Iterator::operator*() const {
  if (set_->mutations_ != mutations_) raiseMutated(*set_);
  return position_->second;
}

Set::Iterator& Set::Iterator::operator++() {
  if (set_->mutations_ != mutations_) raiseMutated(*set_);
  ++position_;
  return *this;
}

bool Set::Iterator::operator!=(const Iterator& other) const {
  if (set_->mutations_ != mutations_) raiseMutated(*set_);
  return position_ != other.position_;
}

void Set::insert(const Id& object) {
  if (!object) raise(InvalidArgumentException, "*** -[NSMutableSet addObject:]: object cannot be nil");
  if (index_.count(object)) return;
  const uint64_t sequence = nextSequence_++;
  index_.emplace(object, sequence);
  order_.emplace(sequence, object);
  ++mutations_;
}

void Set::erase(const Id& member) {
  if (!member) return;
  const Id object = member;  // `member` may refer into the storage erased below
  auto it = index_.find(object);
  if (it == index_.end()) return;
  order_.erase(it->second);
  index_.erase(it);
  ++mutations_;
}

void Set::clear() {
  if (index_.empty()) return;
  index_.clear();
  order_.clear();
  ++mutations_;
}

std::string Set::description() const {
  // The array form inside "{" and "}", as the platform writes sets.
  return "{" + allObjects()->description() + "}";
}

bool Set::isEqual(const Object& other) const {
  auto* s = dynamic_cast<const Set*>(&other);
  return s && isEqualToSet(*s);
}

Id Set::copy() const { return self(); }

Id Set::mutableCopy() const { return MutableSet::make(objects()); }

Ref<MutableSet> MutableSet::make(const std::vector<Id>& objects) { return std::make_shared<MutableSet>(objects); }

void MutableSet::addObjectsFromArray(const Array& array) {
  for (const Id& o : array.objects()) insert(o);
}

void MutableSet::unionSet(const Set& other) {
  for (const Id& o : other.objects()) insert(o);
}

void MutableSet::minusSet(const Set& other) {
  for (const Id& o : other.objects()) erase(o);
}

void MutableSet::intersectSet(const Set& other) {
  for (const Id& o : objects()) {
    if (!other.containsObject(o)) erase(o);
  }
}

void MutableSet::setSet(const Set& other) {
  std::vector<Id> members = other.objects();  // `other` may be this set
  clear();
  for (const Id& o : members) insert(o);
}

Id MutableSet::copy() const { return Set::make(objects()); }

}  // namespace kit
