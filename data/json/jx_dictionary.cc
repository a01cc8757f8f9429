// JXDictionary: lookups in both forms, the change to the table form, insertion
// with growth, removal, and the key enumerator. jxCapacityForCount's prime
// table lives here.

#include "data/json/jx_dictionary.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "data/json/jx_arena.h"
#include "data/json/jx_value_cache.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

KIT_DEFINE_CLASS_NAMED(JXDictionary, kit::MutableDictionary, "JXDictionary") {}
KIT_DEFINE_CLASS_NAMED(JXDictionaryEnumerator, kit::Object, "JXDictionaryEnumerator") {}

namespace {

constexpr size_t kCapacities[] = {
    0,        3,        7,         13,        23,        41,        71,        127,       191,       251,
    383,      631,      1087,      1723,      2803,      4523,      7351,      11959,     19447,     31231,
    50683,    81919,    132607,    214519,    346607,    561109,    907759,    1468927,   2376191,   3845119,
    6221311,  10066421, 16287743,  26354171,  42641881,  68996069,  111638519, 180634607, 292272623, 472907251,
};

// jxCapacityForCount for the small counts most objects have, worked out once.
struct SmallCapacities {
  static constexpr size_t kCount = 64;
  size_t of[kCount];
  SmallCapacities() {
    for (size_t n = 0; n < kCount; ++n) {
      const size_t wanted = static_cast<size_t>(static_cast<double>(n) * 1.33);
      of[n] = *std::lower_bound(std::begin(kCapacities), std::end(kCapacities), wanted);
    }
  }
};

}  // namespace

size_t jxCapacityForCount(size_t count) {
  static const SmallCapacities small;
  if (count < SmallCapacities::kCount) return small.of[count];
  size_t wanted = static_cast<size_t>(static_cast<double>(count) * 1.33);
  const size_t* end = std::end(kCapacities);
  const size_t* found = std::lower_bound(std::begin(kCapacities), end, wanted);
  if (found != end) return *found;
  // Past the table: an odd capacity with the same load.
  return wanted | 1;
}

struct JXDictionary::Table {
  std::unique_ptr<JXHashTableEntry[]> storage;
  JXHashTable<JXHashTableEntry> slots{nullptr, 0, 0};
};

JXDictionary::JXDictionary(Key, void* const* storage, std::shared_ptr<const JXKeyLayout> layout, bool isMutable)
    : mutations_(isMutable ? 1 : 0), layout_(std::move(layout)), values_(static_cast<JXSlot*>(*storage)) {
  const size_t count = layout_->count();
  uint8_t* tags = valueTags();
  for (size_t i = 0; i < count; ++i) tags[i] = values_[i].setEmpty(kJXSlotNull);
}

JXDictionary::~JXDictionary() {
  if (!layout_) return;
  const uint8_t* tags = valueTags();
  for (size_t i = 0, n = layout_->count(); i < n; ++i) jxDestroySlot(values_[i], tags[i]);
}

kit::Ref<JXDictionary> JXDictionary::create(JXArena& arena, std::shared_ptr<const JXKeyLayout> layout,
                                            bool isMutable) {
  void* storage = nullptr;
  const size_t bytes = layout->count() * (sizeof(JXSlot) + 1);
  return arena.makeWithTrailing<JXDictionary>(bytes, &storage, Key(), &storage, std::move(layout), isMutable);
}

void JXDictionary::allocWithZone() {
  kit::raise(kit::InvalidArgumentException,
             "*** - [JXDictionary allocWithZone:]: The JXDictionary class is private to Corvane and should not be "
             "used in this fashion.");
}

void JXDictionary::checkMutable(const char* selector) const {
  if (mutations_ == 0) {
    kit::raise(kit::InternalInconsistencyException,
               "*** -[JXDictionary " + std::string(selector) + "]: mutating method sent to immutable object");
  }
}

void JXDictionary::noteMutation() {
  ++mutations_;
  if (mutations_ == 0) mutations_ = 1;  // 0 means immutable, so the count skips it
}

size_t JXDictionary::count() const { return layout_ ? layout_->count() : table_->slots.count; }

size_t JXDictionary::capacity() const { return layout_ ? layout_->capacity() : table_->slots.capacity; }

std::span<const JXHashTableEntry> JXDictionary::table() const {
  if (layout_) return {};
  return {table_->slots.entries, table_->slots.capacity};
}

kit::Id JXDictionary::valueAt(size_t position) const {
  return jxSlotObject(values_[position], valueTags()[position], layout_->cache());
}

kit::Id JXDictionary::objectForKey(const kit::Id& key) const {
  if (layout_) {
    const size_t position = layout_->find(key);
    return position == JXKeyLayout::kNone ? nullptr : valueAt(position);
  }
  if (!key) return nullptr;
  const JXHashTable<JXHashTableEntry>& t = table_->slots;
  const size_t slot = t.find(key->hash(), key);
  return slot == t.capacity ? nullptr : t.entries[slot].object;
}

kit::Id JXDictionary::objectForKey(std::string_view key) const {
  if (layout_) {
    const size_t position = layout_->find(key);
    return position == JXKeyLayout::kNone ? nullptr : valueAt(position);
  }
  const JXHashTable<JXHashTableEntry>& t = table_->slots;
  if (t.capacity == 0) return nullptr;
  const uint64_t h = kit::String::hashOf(key);
  for (size_t i = 0, slot = jxHomeSlot(h, t.capacity); i < t.capacity; ++i, slot = t.nextSlot(slot)) {
    const JXHashTableEntry& e = t.entries[slot];
    if (!e.key) return nullptr;
    if (e.keyHash == h) {
      auto* s = dynamic_cast<const kit::String*>(e.key.get());
      if (s && s->utf8() == key) return e.object;
    }
  }
  return nullptr;
}

std::vector<kit::Id> JXDictionary::keys() const {
  std::vector<kit::Id> out;
  out.reserve(count());
  size_t cursor = 0;
  while (kit::Id key = nextKey(cursor)) out.push_back(std::move(key));
  return out;
}

kit::Id JXDictionary::nextKey(size_t& cursor) const {
  if (layout_) return cursor < layout_->count() ? layout_->keyAt(cursor++) : nullptr;
  const JXHashTable<JXHashTableEntry>& t = table_->slots;
  while (cursor < t.capacity) {
    const JXHashTableEntry& e = t.entries[cursor++];
    if (e.key) return e.key;
  }
  return nullptr;
}

void JXDictionary::getObjects(kit::Id* objects, kit::Id* keys) const {
  if (layout_) {
    for (size_t i = 0, n = layout_->count(); i < n; ++i) {
      if (objects) objects[i] = valueAt(i);
      if (keys) keys[i] = layout_->keyAt(i);
    }
    return;
  }
  size_t at = 0;
  for (const JXHashTableEntry& e : table()) {
    if (!e.key) continue;
    if (objects) objects[at] = e.object;
    if (keys) keys[at] = e.key;
    ++at;
  }
}

kit::Ref<JXDictionaryEnumerator> JXDictionary::keyEnumerator() const {
  return std::make_shared<JXDictionaryEnumerator>(std::static_pointer_cast<const JXDictionary>(shared_from_this()));
}

JXDictionary::Table& JXDictionary::mutableTable() {
  if (table_) return *table_;
  // The same slots as the layout, with the values as objects.
  const size_t capacity = layout_->capacity();
  auto table = std::make_unique<Table>();
  try {
    table->storage.reset(new JXHashTableEntry[capacity]);
  } catch (const std::bad_alloc&) {
    kit::raise(kit::MallocException, "Unable to allocate memory for hash table.");
  }
  table->slots = {table->storage.get(), capacity, layout_->count()};
  for (size_t slot = 0; slot < capacity; ++slot) {
    const uint32_t position = layout_->positionAtSlot(slot);
    if (position == JXKeyLayout::kNone) continue;
    table->storage[slot] = {layout_->hashAt(position), layout_->keyAt(position), valueAt(position)};
  }
  uint8_t* tags = valueTags();
  for (size_t i = 0, n = layout_->count(); i < n; ++i) {
    jxDestroySlot(values_[i], tags[i]);
    tags[i] = values_[i].setEmpty(kJXSlotNull);
  }
  table_ = std::move(table);
  layout_ = nullptr;
  return *table_;
}

void JXDictionary::setObject(const kit::Id& object, const kit::Id& key) {
  checkMutable("setObject:forKey:");
  if (!key) kit::raise(kit::InvalidArgumentException, "*** -[JXDictionary setObject:forKey:]: attempt to insert nil key");
  if (!object) {
    kit::raise(kit::InvalidArgumentException,
               "*** -[JXDictionary setObject:forKey:]: attempt to insert nil value (key: " + kit::describe(key) + ")");
  }
  kit::Id copiedKey = key->copy();
  Table& t = mutableTable();
  const size_t wanted = jxCapacityForCount(t.slots.count + 1);
  if (t.slots.capacity < wanted) {
    std::unique_ptr<JXHashTableEntry[]> grown;
    try {
      grown.reset(new JXHashTableEntry[wanted]);
    } catch (const std::bad_alloc&) {
      kit::raise(kit::MallocException, "Unable to allocate memory for hash table.");
    }
    // Re-insert in the old table order.
    std::unique_ptr<JXHashTableEntry[]> old = std::exchange(t.storage, std::move(grown));
    const size_t oldCapacity = t.slots.capacity;
    t.slots = {t.storage.get(), wanted, 0};
    for (size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].key) t.slots.insert(std::move(old[i]), JXHashTable<JXHashTableEntry>::Discard());
    }
  }
  const uint64_t h = copiedKey->hash();
  t.slots.insert(JXHashTableEntry{h, std::move(copiedKey), object}, JXHashTable<JXHashTableEntry>::Discard());
  noteMutation();
}

void JXDictionary::removeObjectForKey(const kit::Id& key) {
  checkMutable("removeObjectForKey:");
  if (!key) {
    kit::raise(kit::InvalidArgumentException, "*** -[JXDictionary removeObjectForKey:]: attempt to remove nil key");
  }
  Table& t = mutableTable();
  const size_t slot = t.slots.find(key->hash(), key);
  if (slot == t.slots.capacity) return;
  t.slots.removeSlot(slot, JXHashTable<JXHashTableEntry>::Discard());
  noteMutation();
}

kit::Id JXDictionary::copy() const {
  if (mutations_ == 0) return self();
  return kit::Dictionary::make(entries());
}

kit::Id JXDictionary::mutableCopy() const { return kit::MutableDictionary::make(entries()); }

// ---- JXDictionaryEnumerator ----------------------------------------------

JXDictionaryEnumerator::JXDictionaryEnumerator(kit::Ref<const JXDictionary> dictionary)
    : dictionary_(std::move(dictionary)) {}

kit::Id JXDictionaryEnumerator::nextObject() {
  if (!dictionary_) return nullptr;
  return dictionary_->nextKey(cursor_);
}

kit::Ref<kit::Array> JXDictionaryEnumerator::allObjects() {
  std::vector<kit::Id> keys;
  while (kit::Id key = nextObject()) keys.push_back(std::move(key));
  return kit::Array::make(std::move(keys));
}
