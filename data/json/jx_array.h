// JXArray: the array class the JSON parser builds. It behaves as a mutable
// array towards its users, but whether it accepts mutation is fixed when the
// parser creates it: its mutation counter is 0 for an immutable array and
// counts mutations (never returning to 0) for a mutable one. Enumeration
// checks that counter, so mutating during enumeration raises.
//
// Only the parser creates these arrays; the public creation path raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "kit/foundation/array.h"
#include "kit/foundation/string.h"

class JXArena;
struct JXParser;

class JXArray final : public kit::MutableArray {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Built by the parser: moves `count` objects into the storage that
  // `*storage` points to (allocated with the array), capacity = count.
  JXArray(Key, void* const* storage, kit::Id* objects, size_t count, bool isMutable);
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
  // The stored objects, for readers inside the codec; valid until the next
  // mutation.
  std::span<const kit::Id> storage() const { return {objects_, count_}; }

  void insertObject(const kit::Id& object, size_t index) override;
  void removeObjectAtIndex(size_t index) override;
  void replaceObjectAtIndex(size_t index, const kit::Id& object) override;

  // An immutable array copies as itself; a mutable one as a new immutable
  // array. mutableCopy is always a new mutable array.
  kit::Id copy() const override;
  kit::Id mutableCopy() const override;

 private:
  friend struct JXParser;  // the parser creates and fills these containers
  // Moves `count` objects out of `objects` into a new array in `arena`.
  static kit::Ref<JXArray> create(JXArena& arena, kit::Id* objects, size_t count, bool isMutable);

  void checkMutable(const char* selector) const;
  void noteMutation();
  [[noreturn]] void raiseBeyondBounds(const char* selector, size_t index, size_t bound) const;

  kit::Id* objects_;                   // inline_ or heap_
  kit::Id* inline_;                    // allocated with the array; holds inlineCount_ objects
  size_t inlineCount_;
  std::unique_ptr<kit::Id[]> heap_;    // after growth
  size_t count_ = 0;
  size_t capacity_ = 0;
  uint64_t mutations_ = 0;
};
