// JXDictionary: the dictionary class the JSON parser builds, an
// open-addressing hash table with prime capacities and linear probing, whose
// removals re-seat the rest of their cluster so no deleted-slot markers are
// needed. Like JXArray, its mutability is fixed at creation (mutation
// counter 0 = immutable) and only the parser creates it.
//
// JXDictionaryEnumerator walks a dictionary's keys in table order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "kit/foundation/dictionary.h"

class JXArena;
struct JXParser;
class JXDictionaryEnumerator;

// One slot of the table; empty when it has no key.
struct JXHashTableEntry {
  uint64_t keyHash = 0;
  kit::Id key;
  kit::Id object;
};

class JXDictionary final : public kit::MutableDictionary {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Built by the parser around the zeroed table of `capacity` slots that
  // `*storage` points to (allocated with the dictionary).
  JXDictionary(Key, void* const* storage, size_t capacity, bool isMutable);
  ~JXDictionary() override;

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  // The public creation path: raises, the class is private to the codec.
  [[noreturn]] static void allocWithZone();

  // The table capacity for `count` entries: the first prime of the
  // capacity table that is at least floor(count × 1.33).
  static size_t capacityForCount(size_t count);
  // Where probing for a key with this hash starts in a table of `capacity`
  // slots; probing then moves one slot on, wrapping at the end.
  static size_t homeSlot(uint64_t hash, size_t capacity);

  size_t count() const override { return count_; }
  kit::Id objectForKey(const kit::Id& key) const override;
  kit::Id objectForKey(std::string_view key) const override;
  std::vector<kit::Id> keys() const override;  // table order
  uint64_t mutationCount() const override { return mutations_; }
  bool isMutable() const { return mutations_ != 0; }
  size_t capacity() const { return capacity_; }

  // Writes each entry's object and key, in table order, to whichever buffer
  // is given; each buffer needs room for count() objects.
  void getObjects(kit::Id* objects, kit::Id* keys) const;
  kit::Ref<JXDictionaryEnumerator> keyEnumerator() const;
  // The slots, for readers inside the codec; valid until the next mutation.
  std::span<const JXHashTableEntry> table() const { return {entries_, capacity_}; }

  using kit::MutableDictionary::removeObjectForKey;
  using kit::MutableDictionary::setObject;
  // The key is copied; a key already present has its object replaced.
  void setObject(const kit::Id& object, const kit::Id& key) override;
  void removeObjectForKey(const kit::Id& key) override;

  kit::Id copy() const override;
  kit::Id mutableCopy() const override;

 private:
  friend struct JXParser;  // the parser creates and fills these containers
  // An empty dictionary of `capacity` slots in `arena`.
  static kit::Ref<JXDictionary> create(JXArena& arena, size_t capacity, bool isMutable);

  // Stores an entry under a hash the caller computed; an equal key already
  // present is removed first, its key and object released or, when
  // `displaced` is given, moved there. Drops the entry when the table is
  // full.
  void insert(uint64_t hash, kit::Id key, kit::Id object, std::vector<kit::Id>* displaced = nullptr);
  // Moves `count` entries in, in order; what a repeated key pushes out goes
  // to `displaced`.
  void insertAll(JXHashTableEntry* entries, size_t count, std::vector<kit::Id>& displaced);
  const JXHashTableEntry* lookup(const kit::Id& key) const;
  size_t nextSlot(size_t slot) const { return slot + 1 == capacity_ ? 0 : slot + 1; }
  void removeSlot(size_t slot, std::vector<kit::Id>* displaced = nullptr);
  void checkMutable(const char* selector) const;
  void noteMutation();

  size_t count_ = 0;
  size_t capacity_ = 0;
  uint64_t mutations_ = 0;
  JXHashTableEntry* entries_;                  // inline_ or heap_
  JXHashTableEntry* inline_;                   // allocated with the dictionary
  size_t inlineCapacity_;
  std::unique_ptr<JXHashTableEntry[]> heap_;  // after growth
};

class JXDictionaryEnumerator final : public kit::Object {
 public:
  explicit JXDictionaryEnumerator(kit::Ref<const JXDictionary> dictionary);

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  // The key of the next occupied slot, or nil when the table is exhausted.
  kit::Id nextObject();
  // The keys nextObject would still return, in order; exhausts the enumerator.
  kit::Ref<kit::Array> allObjects();

 private:
  kit::Ref<const JXDictionary> dictionary_;
  size_t nextSlot_ = 0;
};
