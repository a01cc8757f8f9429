// JXArray: the array class the JSON parser builds. It behaves as a mutable
// array towards its users, but whether it accepts mutation is fixed when the
// parser creates it: its mutation counter is 0 for an immutable array and
// counts mutations (never returning to 0) for a mutable one. Enumeration
// checks that counter, so mutating during enumeration raises.
//
// Elements are slots (jx_slot.h): numbers, literals and short strings are
// kept in place and read out as objects through the document's value cache;
// containers, longer strings and every object a mutation inserts are kept
// as the objects themselves.
//
// Only the parser creates these arrays; the public creation path raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/json/jx_slot.h"
#include "kit/foundation/array.h"
#include "kit/foundation/string.h"

class JXArena;
class JXValueCache;
class JXValueStack;
struct JXParser;

class JXArray final : public kit::MutableArray {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Built by the parser: moves `count` values (slots and tags) into the
  // storage that `*storage` points to (allocated with the array), capacity
  // = count.
  JXArray(Key, void* const* storage, JXSlot* slots, const uint8_t* tags, size_t count, bool isMutable,
          std::shared_ptr<JXValueCache> cache);
  // Built by the parser around `count` values in malloc'd buffers that the
  // array takes over.
  JXArray(Key, JXSlot* ownedSlots, uint8_t* ownedTags, size_t count, bool isMutable,
          std::shared_ptr<JXValueCache> cache);
  ~JXArray() override;

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  // The public creation path: raises, the class is private to the codec.
  [[noreturn]] static void allocWithZone();

  size_t count() const override { return count_; }
  kit::Id objectAtIndex(size_t index) const override;
  uint64_t mutationCount() const override { return mutations_; }
  bool isMutable() const { return mutations_ != 0; }
  size_t capacity() const { return capacity_; }

  // Copies the objects of `range` into `buffer`. Raises for a null buffer
  // with a non-empty range end and for a range beyond the count.
  void getObjects(kit::Id* buffer, kit::Range range) const;
  // The slots and their tags, for readers inside the codec; valid until the
  // next mutation.
  const JXSlot& slotAt(size_t index) const { return slots_[index]; }
  uint8_t tagAt(size_t index) const { return tags_[index]; }

  void insertObject(const kit::Id& object, size_t index) override;
  void removeObjectAtIndex(size_t index) override;
  void replaceObjectAtIndex(size_t index, const kit::Id& object) override;

  // An immutable array copies as itself; a mutable one as a new immutable
  // array. mutableCopy is always a new mutable array.
  kit::Id copy() const override;
  kit::Id mutableCopy() const override;

 private:
  friend struct JXParser;  // the parser creates and fills these containers
  // Moves the values from `base` on out of the stack into a new array in
  // `arena`.
  static kit::Ref<JXArray> create(JXArena& arena, JXValueStack& stack, size_t base, bool isMutable,
                                  const std::shared_ptr<JXValueCache>& documentCache);

  std::vector<kit::Id> objectsInRange(size_t from, size_t to) const;
  void checkMutable(const char* selector) const;
  void noteMutation();
  [[noreturn]] void raiseBeyondBounds(const char* selector, size_t index, size_t bound) const;

  JXSlot* slots_;  // allocated with the array, or malloc'd when ownsStorage_
  uint8_t* tags_;  // after the slots, or malloc'd when ownsStorage_
  size_t count_ = 0;
  size_t capacity_ = 0;
  uint64_t mutations_ = 0;
  bool ownsStorage_ = false;
  std::shared_ptr<JXValueCache> cache_;  // nil when no value is read through it
};
