// Arrays: the abstract classes' derived methods and the default concrete
// classes backed by std::vector.

#include "kit/foundation/array.h"

#include <algorithm>

#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Array, Object, "NSArray") {}
KIT_DEFINE_CLASS_NAMED(MutableArray, Array, "NSMutableArray") {}

namespace detail {
std::string describeCollection(const Object& collection, int indent);
}

namespace {

[[noreturn]] void raiseMutated(const Object& array) {
  raise(GenericException, "*** Collection " + array.defaultDescription() + " was mutated while being enumerated.");
}

[[noreturn]] void raiseNilInsert() {
  raise(InvalidArgumentException, "*** -[__NSArrayM insertObject:atIndex:]: object cannot be nil");
}

class VectorArray final : public Array {
 public:
  explicit VectorArray(std::vector<Id> objects) : objects_(std::move(objects)) {}
  size_t count() const override { return objects_.size(); }
  Id objectAtIndex(size_t index) const override {
    if (index >= objects_.size()) raiseIndex(index);
    return objects_[index];
  }
  Id copy() const override { return self(); }  // it never changes

 private:
  std::vector<Id> objects_;
};

class VectorMutableArray final : public MutableArray {
 public:
  explicit VectorMutableArray(std::vector<Id> objects) : objects_(std::move(objects)) {}
  size_t count() const override { return objects_.size(); }
  Id objectAtIndex(size_t index) const override {
    if (index >= objects_.size()) raiseIndex(index);
    return objects_[index];
  }
  uint64_t mutationCount() const override { return mutations_; }
  void insertObject(const Id& object, size_t index) override {
    if (!object) raiseNilInsert();
    if (index > objects_.size()) raiseIndex(index);
    objects_.insert(objects_.begin() + static_cast<ptrdiff_t>(index), object);
    ++mutations_;
  }
  void removeObjectAtIndex(size_t index) override {
    if (index >= objects_.size()) raiseIndex(index);
    Id removed = std::move(objects_[index]);  // released after the vector is consistent
    objects_.erase(objects_.begin() + static_cast<ptrdiff_t>(index));
    ++mutations_;
  }
  void replaceObjectAtIndex(size_t index, const Id& object) override {
    if (!object) raiseNilInsert();
    if (index >= objects_.size()) raiseIndex(index);
    Id old = std::move(objects_[index]);
    objects_[index] = object;
    ++mutations_;
  }

 private:
  std::vector<Id> objects_;
  uint64_t mutations_ = 0;
};

void checkNoNil(const std::vector<Id>& objects) {
  for (const Id& o : objects) {
    if (!o) raise(InvalidArgumentException, "*** -[__NSPlaceholderArray initWithObjects:count:]: attempt to insert nil object");
  }
}

}  // namespace

Ref<Array> Array::make(std::vector<Id> objects) {
  checkNoNil(objects);
  return std::make_shared<VectorArray>(std::move(objects));
}

Ref<MutableArray> MutableArray::make(std::vector<Id> objects) {
  checkNoNil(objects);
  return std::make_shared<VectorMutableArray>(std::move(objects));
}

void Array::raiseIndex(size_t index) const {
  raise(RangeException, "*** -[" + className() + " objectAtIndex:]: index " + std::to_string(index) +
                            " beyond bounds " +
                            (count() ? "[0 .. " + std::to_string(count() - 1) + "]" : "for empty array"));
}

Id Array::Iterator::operator*() const {
  if (array_->mutationCount() != mutations_) raiseMutated(*array_);
  return array_->objectAtIndex(index_);
}

bool Array::Iterator::operator!=(const Iterator&) const {
  if (array_->mutationCount() != mutations_) raiseMutated(*array_);
  return index_ < array_->count();
}

size_t Array::indexOfObject(const Id& object) const {
  for (size_t i = 0, n = count(); i < n; ++i) {
    if (kit::isEqual(objectAtIndex(i), object)) return i;
  }
  return NotFound;
}

size_t Array::indexOfObjectIdenticalTo(const Id& object) const {
  for (size_t i = 0, n = count(); i < n; ++i) {
    if (objectAtIndex(i) == object) return i;
  }
  return NotFound;
}

std::vector<Id> Array::objects() const {
  std::vector<Id> out;
  out.reserve(count());
  for (size_t i = 0, n = count(); i < n; ++i) out.push_back(objectAtIndex(i));
  return out;
}

Ref<Array> Array::subarrayWithRange(Range r) const {
  if (r.location > count() || r.length > count() - r.location) {
    raise(RangeException, "*** -[NSArray subarrayWithRange:]: range {" + std::to_string(r.location) + ", " +
                              std::to_string(r.length) + "} extends beyond bounds");
  }
  std::vector<Id> out;
  for (size_t i = r.location; i < r.end(); ++i) out.push_back(objectAtIndex(i));
  return make(std::move(out));
}

Ref<Array> Array::arrayByAddingObject(const Id& object) const {
  auto all = objects();
  all.push_back(object);
  return make(std::move(all));
}

Ref<Array> Array::arrayByAddingObjectsFromArray(const Array& other) const {
  auto all = objects();
  for (size_t i = 0; i < other.count(); ++i) all.push_back(other.objectAtIndex(i));
  return make(std::move(all));
}

Ref<String> Array::componentsJoinedByString(std::string_view separator) const {
  std::string out;
  for (size_t i = 0, n = count(); i < n; ++i) {
    if (i) out += separator;
    out += describe(objectAtIndex(i));
  }
  return String::make(out);
}

Ref<Array> Array::sortedArrayUsingComparator(
    const std::function<ComparisonResult(const Id&, const Id&)>& cmp) const {
  auto all = objects();
  std::stable_sort(all.begin(), all.end(),
                   [&](const Id& a, const Id& b) { return cmp(a, b) == ComparisonResult::Ascending; });
  return make(std::move(all));
}

Ref<Array> Array::filtered(const std::function<bool(const Id&)>& keep) const {
  std::vector<Id> out;
  for (const Id& o : *this) {
    if (keep(o)) out.push_back(o);
  }
  return make(std::move(out));
}

void Array::enumerateObjects(const std::function<void(const Id&, size_t, bool*)>& block) const {
  bool stop = false;
  size_t i = 0;
  for (const Id& o : *this) {
    block(o, i++, &stop);
    if (stop) break;
  }
}

bool Array::isEqualToArray(const Array& other) const {
  if (this == &other) return true;
  if (count() != other.count()) return false;
  for (size_t i = 0, n = count(); i < n; ++i) {
    if (!kit::isEqual(objectAtIndex(i), other.objectAtIndex(i))) return false;
  }
  return true;
}

bool Array::isEqual(const Object& other) const {
  auto* a = dynamic_cast<const Array*>(&other);
  return a && isEqualToArray(*a);
}

Id Array::valueForKey(const std::string& key) {
  std::vector<Id> out;
  for (const Id& o : *this) {
    Id v = o->valueForKey(key);
    out.push_back(v ? v : Id(Null::null()));
  }
  return make(std::move(out));
}

std::string Array::description() const { return detail::describeCollection(*this, 0); }

Id Array::copy() const { return make(objects()); }

Id Array::mutableCopy() const { return MutableArray::make(objects()); }

Id MutableArray::copy() const { return Array::make(objects()); }

void MutableArray::addObjectsFromArray(const Array& other) {
  auto add = other.objects();  // snapshot: the array may be this one
  for (const Id& o : add) addObject(o);
}

void MutableArray::removeLastObject() {
  if (count()) removeObjectAtIndex(count() - 1);
}

void MutableArray::removeObject(const Id& object) {
  for (size_t i = count(); i-- > 0;) {
    if (kit::isEqual(objectAtIndex(i), object)) removeObjectAtIndex(i);
  }
}

void MutableArray::removeAllObjects() {
  while (count()) removeObjectAtIndex(count() - 1);
}

void MutableArray::removeObjectsInRange(Range r) {
  if (r.location > count() || r.length > count() - r.location) raiseIndex(r.end());
  for (size_t i = r.end(); i-- > r.location;) removeObjectAtIndex(i);
}

void MutableArray::setArray(const Array& other) {
  auto add = other.objects();
  removeAllObjects();
  for (const Id& o : add) addObject(o);
}

void MutableArray::exchangeObjectAtIndex(size_t a, size_t b) {
  Id x = objectAtIndex(a), y = objectAtIndex(b);
  replaceObjectAtIndex(a, y);
  replaceObjectAtIndex(b, x);
}

void MutableArray::sortUsingComparator(const std::function<ComparisonResult(const Id&, const Id&)>& cmp) {
  auto sorted = sortedArrayUsingComparator(cmp)->objects();
  for (size_t i = 0; i < sorted.size(); ++i) replaceObjectAtIndex(i, sorted[i]);
}

}  // namespace kit
