// Sets of objects: Set and MutableSet. Membership is by isEqual/hash, so
// two equal strings are one member; objects are held, not copied. Members
// enumerate in the order they were first added, which keeps descriptions
// and logs deterministic. Enumerating a mutable set while it is mutated
// raises the platform's mutation exception.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <unordered_map>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/object.h"

namespace kit {

class Set : public Object {
 public:
  Set() = default;
  explicit Set(const std::vector<Id>& objects);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<Set> make(const std::vector<Id>& objects = {});
  static Ref<Set> make(std::initializer_list<Id> objects) { return make(std::vector<Id>(objects)); }
  static Ref<Set> setWithArray(const Array& array) { return make(array.objects()); }

  size_t count() const { return index_.size(); }
  bool empty() const { return index_.empty(); }
  bool containsObject(const Id& object) const;
  // The member equal to `object`, or nil.
  Id member(const Id& object) const;
  // Some member, or nil when empty.
  Id anyObject() const;
  Ref<Array> allObjects() const;
  std::vector<Id> objects() const;

  bool isSubsetOfSet(const Set& other) const;
  bool intersectsSet(const Set& other) const;
  bool isEqualToSet(const Set& other) const;
  Ref<Set> setByAddingObject(const Id& object) const;
  Ref<Set> setByAddingObjectsFromArray(const Array& array) const;
  Ref<Set> objectsPassingTest(const std::function<bool(const Id&)>& test) const;
  // Calls `block` for every member; set *stop to end early. Raises when
  // the set is mutated meanwhile.
  void enumerateObjects(const std::function<void(const Id&, bool* stop)>& block) const;

  class Iterator {
   public:
    using Position = std::map<uint64_t, Id>::const_iterator;
    Iterator(const Set* set, Position position, uint64_t mutations)
        : set_(set), position_(position), mutations_(mutations) {}
    const Id& operator*() const;
    Iterator& operator++();
    bool operator!=(const Iterator& other) const;

   private:
    const Set* set_;
    Position position_;
    uint64_t mutations_;
  };
  Iterator begin() const { return Iterator(this, order_.begin(), mutations_); }
  Iterator end() const { return Iterator(this, order_.end(), mutations_); }

  // "{(\n    a,\n    b\n)}"
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return count(); }
  Id copy() const override;
  Id mutableCopy() const override;

 protected:
  // Adds a member unless an equal one is there; nil raises.
  void insert(const Id& object);
  void erase(const Id& member);
  void clear();

 private:
  friend class Iterator;
  std::unordered_map<Id, uint64_t, IdHash, IdEqual> index_;  // member → sequence
  std::map<uint64_t, Id> order_;                             // sequence → member
  uint64_t nextSequence_ = 0;
  uint64_t mutations_ = 0;
};

class MutableSet : public Set {
 public:
  using Set::Set;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<MutableSet> make(const std::vector<Id>& objects = {});
  static Ref<MutableSet> make(std::initializer_list<Id> objects) { return make(std::vector<Id>(objects)); }

  void addObject(const Id& object) { insert(object); }  // nil raises
  void removeObject(const Id& object) { erase(object); }
  void addObjectsFromArray(const Array& array);
  void unionSet(const Set& other);
  void minusSet(const Set& other);
  void intersectSet(const Set& other);
  void removeAllObjects() { clear(); }
  void setSet(const Set& other);

  Id copy() const override;
};

}  // namespace kit
