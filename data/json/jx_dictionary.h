// JXDictionary: the dictionary class the JSON parser builds. Like JXArray,
// its mutability is fixed at creation (mutation counter 0 = immutable) and
// only the parser creates it.
//
// A parsed dictionary is compact: a key layout (jx_key_layout.h), shared
// with the other dictionaries whose keys came in the same order, and one
// value slot (jx_slot.h) per key, in the layout's table order. The first
// mutation of a mutable dictionary turns it into its table form, an
// open-addressing table (jx_hash_table.h) of key and value objects laid out
// as the layout was; mutation continues there. Both forms enumerate in table
// order.
//
// JXDictionaryEnumerator walks a dictionary's keys in table order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "data/json/jx_hash_table.h"
#include "data/json/jx_key_layout.h"
#include "data/json/jx_slot.h"
#include "kit/foundation/dictionary.h"

class JXArena;
struct JXParser;
class JXDictionaryEnumerator;

// One slot of the table form; empty when it has no key.
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
  // Built by the parser around `layout`, with room for its values that
  // `*storage` points to (allocated with the dictionary); every value is
  // null until the parser moves the real ones in.
  JXDictionary(Key, void* const* storage, std::shared_ptr<const JXKeyLayout> layout, bool isMutable);
  ~JXDictionary() override;

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  // The public creation path: raises, the class is private to the codec.
  [[noreturn]] static void allocWithZone();

  // The table capacity for `count` entries: the first prime of the
  // capacity table that is at least floor(count × 1.33).
  static size_t capacityForCount(size_t count) { return jxCapacityForCount(count); }
  // Where probing for a key with this hash starts in a table of `capacity`
  // slots; probing then moves one slot on, wrapping at the end.
  static size_t homeSlot(uint64_t hash, size_t capacity) { return jxHomeSlot(hash, capacity); }

  size_t count() const override;
  kit::Id objectForKey(const kit::Id& key) const override;
  kit::Id objectForKey(std::string_view key) const override;
  std::vector<kit::Id> keys() const override;  // table order
  uint64_t mutationCount() const override { return mutations_; }
  bool isMutable() const { return mutations_ != 0; }
  size_t capacity() const;

  // Writes each entry's object and key, in table order, to whichever buffer
  // is given; each buffer needs room for count() objects.
  void getObjects(kit::Id* objects, kit::Id* keys) const;
  kit::Ref<JXDictionaryEnumerator> keyEnumerator() const;
  // The key after `cursor` in table order (cursor 0 starts), or nil.
  kit::Id nextKey(size_t& cursor) const;

  // For readers inside the codec, valid until the next mutation: the layout
  // and values of the compact form (layout nil in the table form), and the
  // slots of the table form (empty in the compact form).
  const JXKeyLayout* layout() const { return layout_.get(); }
  const JXSlot& valueSlotAt(size_t position) const { return values_[position]; }
  uint8_t valueTagAt(size_t position) const { return valueTags()[position]; }
  std::span<const JXHashTableEntry> table() const;

  using kit::MutableDictionary::removeObjectForKey;
  using kit::MutableDictionary::setObject;
  // The key is copied; a key already present has its object replaced.
  void setObject(const kit::Id& object, const kit::Id& key) override;
  void removeObjectForKey(const kit::Id& key) override;

  kit::Id copy() const override;
  kit::Id mutableCopy() const override;

 private:
  friend struct JXParser;  // the parser creates and fills these containers
  struct Table;

  // A dictionary of `layout`'s keys in `arena`, its values all null.
  static kit::Ref<JXDictionary> create(JXArena& arena, std::shared_ptr<const JXKeyLayout> layout, bool isMutable);
  // The value slots and tags the parser fills.
  JXSlot* values() { return values_; }
  uint8_t* valueTags() const { return reinterpret_cast<uint8_t*>(values_ + layout_->count()); }

  kit::Id valueAt(size_t position) const;
  // The table form, made from the compact form on first use.
  Table& mutableTable();
  void checkMutable(const char* selector) const;
  void noteMutation();

  uint64_t mutations_ = 0;
  std::shared_ptr<const JXKeyLayout> layout_;  // nil in the table form
  JXSlot* values_;                             // layout_->count() slots, then their tags
  std::unique_ptr<Table> table_;               // the table form
};

class JXDictionaryEnumerator final : public kit::Object {
 public:
  explicit JXDictionaryEnumerator(kit::Ref<const JXDictionary> dictionary);

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  // The next key in table order, or nil when the table is exhausted.
  kit::Id nextObject();
  // The keys nextObject would still return, in order; exhausts the enumerator.
  kit::Ref<kit::Array> allObjects();

 private:
  kit::Ref<const JXDictionary> dictionary_;
  size_t cursor_ = 0;
};
