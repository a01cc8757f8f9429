// JXDictionary: prime capacity table, lookup, insertion, cluster-preserving
// removal, growth on mutation, and the key enumerator.

#include "data/json/jx_dictionary.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "data/json/jx_arena.h"
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

bool sameKey(const kit::Id& stored, const kit::Id& key) { return stored == key || stored->isEqual(*key); }

}  // namespace

namespace {

// capacityForCount for the small counts most objects have, worked out once.
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

size_t JXDictionary::capacityForCount(size_t count) {
  static const SmallCapacities small;
  if (count < SmallCapacities::kCount) return small.of[count];
  size_t wanted = static_cast<size_t>(static_cast<double>(count) * 1.33);
  const size_t* end = std::end(kCapacities);
  const size_t* found = std::lower_bound(std::begin(kCapacities), end, wanted);
  if (found != end) return *found;
  // Past the table: an odd capacity with the same load.
  return wanted | 1;
}

JXDictionary::JXDictionary(Key, void* const* storage, size_t capacity, bool isMutable)
    : capacity_(capacity),
      mutations_(isMutable ? 1 : 0),
      entries_(static_cast<JXHashTableEntry*>(*storage)),
      inline_(entries_),
      inlineCapacity_(capacity) {
  std::uninitialized_value_construct_n(inline_, capacity);
}

JXDictionary::~JXDictionary() { std::destroy_n(inline_, inlineCapacity_); }

kit::Ref<JXDictionary> JXDictionary::create(JXArena& arena, size_t capacity, bool isMutable) {
  void* storage = nullptr;
  return arena.makeWithTrailing<JXDictionary>(capacity * sizeof(JXHashTableEntry), &storage, Key(), &storage,
                                              capacity, isMutable);
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

size_t JXDictionary::homeSlot(uint64_t hash, size_t capacity) {
  // Spread the hash over all 64 bits, then scale it to the capacity.
  const uint64_t mixed = hash * 0x9E3779B97F4A7C15ULL;
  return static_cast<size_t>((static_cast<unsigned __int128>(mixed) * capacity) >> 64);
}

const JXHashTableEntry* JXDictionary::lookup(const kit::Id& key) const {
  if (!key || capacity_ == 0) return nullptr;
  const uint64_t h = key->hash();
  for (size_t i = 0, slot = homeSlot(h, capacity_); i < capacity_; ++i, slot = nextSlot(slot)) {
    const JXHashTableEntry& e = entries_[slot];
    if (!e.key) return nullptr;
    if (e.keyHash == h && sameKey(e.key, key)) return &e;
  }
  return nullptr;
}

kit::Id JXDictionary::objectForKey(const kit::Id& key) const {
  const JXHashTableEntry* e = lookup(key);
  return e ? e->object : nullptr;
}

kit::Id JXDictionary::objectForKey(std::string_view key) const {
  if (capacity_ == 0) return nullptr;
  const uint64_t h = kit::String::hashOf(key);
  for (size_t i = 0, slot = homeSlot(h, capacity_); i < capacity_; ++i, slot = nextSlot(slot)) {
    const JXHashTableEntry& e = entries_[slot];
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
  out.reserve(count_);
  for (size_t i = 0; i < capacity_; ++i) {
    if (entries_[i].key) out.push_back(entries_[i].key);
  }
  return out;
}

void JXDictionary::getObjects(kit::Id* objects, kit::Id* keys) const {
  size_t at = 0;
  for (size_t i = 0; i < capacity_; ++i) {
    const JXHashTableEntry& e = entries_[i];
    if (!e.key) continue;
    if (objects) objects[at] = e.object;
    if (keys) keys[at] = e.key;
    ++at;
  }
}

kit::Ref<JXDictionaryEnumerator> JXDictionary::keyEnumerator() const {
  return std::make_shared<JXDictionaryEnumerator>(std::static_pointer_cast<const JXDictionary>(shared_from_this()));
}

void JXDictionary::insert(uint64_t hash, kit::Id key, kit::Id object, std::vector<kit::Id>* displaced) {
  if (capacity_ == 0) return;
  for (size_t i = 0, slot = homeSlot(hash, capacity_); i < capacity_; ++i, slot = nextSlot(slot)) {
    JXHashTableEntry& e = entries_[slot];
    if (e.key && e.keyHash == hash && sameKey(e.key, key)) removeSlot(slot, displaced);
    if (!e.key) {
      e.keyHash = hash;
      e.key = std::move(key);
      e.object = std::move(object);
      ++count_;
      return;
    }
  }
  // No free slot: the entry is dropped (the callers size the table first).
}

void JXDictionary::insertAll(JXHashTableEntry* entries, size_t count, std::vector<kit::Id>& displaced) {
  for (size_t i = 0; i < count; ++i) {
    insert(entries[i].keyHash, std::move(entries[i].key), std::move(entries[i].object), &displaced);
  }
}

void JXDictionary::removeSlot(size_t slot, std::vector<kit::Id>* displaced) {
  JXHashTableEntry removed = std::move(entries_[slot]);  // released once the table is consistent
  entries_[slot] = JXHashTableEntry();
  if (displaced) {
    displaced->push_back(std::move(removed.key));
    displaced->push_back(std::move(removed.object));
  }
  --count_;
  // Re-seat the rest of the cluster so every key stays reachable from its
  // home slot without markers for deleted slots.
  for (size_t i = nextSlot(slot); entries_[i].key; i = nextSlot(i)) {
    JXHashTableEntry moved = std::move(entries_[i]);
    entries_[i] = JXHashTableEntry();
    --count_;
    insert(moved.keyHash, std::move(moved.key), std::move(moved.object));
  }
}

void JXDictionary::setObject(const kit::Id& object, const kit::Id& key) {
  checkMutable("setObject:forKey:");
  if (!key) kit::raise(kit::InvalidArgumentException, "*** -[JXDictionary setObject:forKey:]: attempt to insert nil key");
  if (!object) {
    kit::raise(kit::InvalidArgumentException,
               "*** -[JXDictionary setObject:forKey:]: attempt to insert nil value (key: " + kit::describe(key) + ")");
  }
  kit::Id copiedKey = key->copy();
  size_t wanted = capacityForCount(count_ + 1);
  if (capacity_ < wanted) {
    std::unique_ptr<JXHashTableEntry[]> grown;
    try {
      grown.reset(new JXHashTableEntry[wanted]);
    } catch (const std::bad_alloc&) {
      kit::raise(kit::MallocException, "Unable to allocate memory for hash table.");
    }
    // The old table is the one allocated with the dictionary (kept until
    // the end, emptied) or an earlier heap table (freed here).
    JXHashTableEntry* old = std::exchange(entries_, grown.get());
    std::unique_ptr<JXHashTableEntry[]> oldHeap = std::exchange(heap_, std::move(grown));
    size_t oldCapacity = std::exchange(capacity_, wanted);
    count_ = 0;
    for (size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].key) insert(old[i].keyHash, std::move(old[i].key), std::move(old[i].object));
    }
  }
  uint64_t h = copiedKey->hash();
  insert(h, std::move(copiedKey), object);
  noteMutation();
}

void JXDictionary::removeObjectForKey(const kit::Id& key) {
  checkMutable("removeObjectForKey:");
  if (!key) {
    kit::raise(kit::InvalidArgumentException, "*** -[JXDictionary removeObjectForKey:]: attempt to remove nil key");
  }
  const JXHashTableEntry* e = lookup(key);
  if (!e) return;
  removeSlot(static_cast<size_t>(e - entries_));
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
  auto table = dictionary_->table();
  while (nextSlot_ < table.size()) {
    const JXHashTableEntry& e = table[nextSlot_++];
    if (e.key) return e.key;
  }
  return nullptr;
}

kit::Ref<kit::Array> JXDictionaryEnumerator::allObjects() {
  std::vector<kit::Id> keys;
  while (kit::Id key = nextObject()) keys.push_back(std::move(key));
  return kit::Array::make(std::move(keys));
}
