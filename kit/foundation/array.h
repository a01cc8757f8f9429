// Arrays. Array and MutableArray are abstract, with the platform's primitive
// methods (count and objectAtIndex; insert, remove and replace), so a
// product class can be a kind of array; Array::make and MutableArray::make
// give the default concrete classes. Enumerating a mutable array while it is
// mutated raises the platform's mutation exception.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

class Array : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // Primitives.
  virtual size_t count() const = 0;
  virtual Id objectAtIndex(size_t index) const = 0;  // raises the range exception

  // Mutation counter checked by enumeration; immutable arrays never change.
  virtual uint64_t mutationCount() const { return 0; }

  static Ref<Array> make(std::vector<Id> objects = {});
  static Ref<Array> make(std::initializer_list<Id> objects) { return make(std::vector<Id>(objects)); }

  bool empty() const { return count() == 0; }
  Id firstObject() const { return count() ? objectAtIndex(0) : nullptr; }
  Id lastObject() const { return count() ? objectAtIndex(count() - 1) : nullptr; }
  // nil when the index is out of bounds (no exception).
  Id objectAtIndexOrNil(size_t index) const { return index < count() ? objectAtIndex(index) : nullptr; }
  bool containsObject(const Id& object) const { return indexOfObject(object) != NotFound; }
  size_t indexOfObject(const Id& object) const;
  size_t indexOfObjectIdenticalTo(const Id& object) const;
  std::vector<Id> objects() const;
  Ref<Array> subarrayWithRange(Range range) const;
  Ref<Array> arrayByAddingObject(const Id& object) const;
  Ref<Array> arrayByAddingObjectsFromArray(const Array& other) const;
  Ref<String> componentsJoinedByString(std::string_view separator) const;
  Ref<Array> sortedArrayUsingComparator(const std::function<ComparisonResult(const Id&, const Id&)>& cmp) const;
  Ref<Array> filtered(const std::function<bool(const Id&)>& keep) const;
  // Calls `block` for every element in order; set *stop to end early.
  void enumerateObjects(const std::function<void(const Id&, size_t, bool* stop)>& block) const;
  bool isEqualToArray(const Array& other) const;

  // Range-for support; raises when a mutable array changes underneath.
  class Iterator {
   public:
    Iterator(const Array* array, size_t index, uint64_t mutations)
        : array_(array), index_(index), mutations_(mutations) {}
    Id operator*() const;
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator!=(const Iterator& other) const;

   private:
    const Array* array_;
    size_t index_;
    uint64_t mutations_;
  };
  Iterator begin() const { return Iterator(this, 0, mutationCount()); }
  Iterator end() const { return Iterator(this, static_cast<size_t>(-1), 0); }

  Id valueForKey(const std::string& key) override;  // the elements' values
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return count(); }
  Id copy() const override;
  Id mutableCopy() const override;

 protected:
  [[noreturn]] void raiseIndex(size_t index) const;
};

class MutableArray : public Array {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // Primitives.
  virtual void insertObject(const Id& object, size_t index) = 0;  // nil raises
  virtual void removeObjectAtIndex(size_t index) = 0;
  virtual void replaceObjectAtIndex(size_t index, const Id& object) = 0;

  static Ref<MutableArray> make(std::vector<Id> objects = {});
  static Ref<MutableArray> make(std::initializer_list<Id> objects) { return make(std::vector<Id>(objects)); }

  void addObject(const Id& object) { insertObject(object, count()); }
  void addObjectsFromArray(const Array& other);
  void removeLastObject();
  void removeObject(const Id& object);  // every equal element
  void removeAllObjects();
  void removeObjectsInRange(Range range);
  void setArray(const Array& other);
  void exchangeObjectAtIndex(size_t a, size_t b);
  void sortUsingComparator(const std::function<ComparisonResult(const Id&, const Id&)>& cmp);

  Id copy() const override;
};

}  // namespace kit
