// JXArray: slot storage, bounds and mutability checks, growth in steps of 16.

#include "data/json/jx_array.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "data/json/jx_arena.h"
#include "data/json/jx_value_cache.h"
#include "data/json/jx_value_stack.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

KIT_DEFINE_CLASS_NAMED(JXArray, kit::MutableArray, "JXArray") {}

namespace {

constexpr size_t kGrowthSlots = 16;
// Arrays of at least this many values take the parser's buffers over when
// they can, rather than having them copied.
constexpr size_t kHandOverCount = 4096;

// Room for `capacity` slots followed by their tags.
size_t storageBytes(size_t capacity) { return capacity * (sizeof(JXSlot) + 1); }

}  // namespace

JXArray::JXArray(Key, void* const* storage, JXSlot* slots, const uint8_t* tags, size_t count, bool isMutable,
                 std::shared_ptr<JXValueCache> cache)
    : slots_(static_cast<JXSlot*>(*storage)),
      tags_(reinterpret_cast<uint8_t*>(slots_ + count)),
      count_(count),
      capacity_(count),
      mutations_(isMutable ? 1 : 0),
      cache_(std::move(cache)) {
  for (size_t i = 0; i < count; ++i) {
    jxRelocateSlot(slots_[i], slots[i], tags[i]);
    tags_[i] = tags[i];
  }
}

JXArray::JXArray(Key, JXSlot* ownedSlots, uint8_t* ownedTags, size_t count, bool isMutable,
                 std::shared_ptr<JXValueCache> cache)
    : slots_(ownedSlots),
      tags_(ownedTags),
      count_(count),
      capacity_(count),
      mutations_(isMutable ? 1 : 0),
      ownsStorage_(true),
      cache_(std::move(cache)) {}

JXArray::~JXArray() {
  for (size_t i = 0; i < count_; ++i) jxDestroySlot(slots_[i], tags_[i]);
  if (ownsStorage_) {
    std::free(slots_);
    std::free(tags_);
  }
}

kit::Ref<JXArray> JXArray::create(JXArena& arena, JXValueStack& stack, size_t base, bool isMutable,
                                  const std::shared_ptr<JXValueCache>& documentCache) {
  const size_t count = stack.size() - base;
  // Only numbers and short strings are read through the cache; an array
  // without them (of containers, literals, or empty) does without it.
  std::shared_ptr<JXValueCache> cache;
  for (size_t i = base; i < stack.size(); ++i) {
    if (jxReadsThroughCache(stack.tags()[i])) {
      cache = documentCache;
      break;
    }
  }
  JXSlot* slots = nullptr;
  uint8_t* tags = nullptr;
  if (base == 0 && count >= kHandOverCount && stack.handOver(slots, tags)) {
    kit::Ref<JXArray> array;
    try {
      array = arena.make<JXArray>(Key(), slots, tags, count, isMutable, std::move(cache));
    } catch (...) {
      for (size_t i = 0; i < count; ++i) jxDestroySlot(slots[i], tags[i]);
      std::free(slots);
      std::free(tags);
      throw;
    }
    return array;
  }
  void* storage = nullptr;
  kit::Ref<JXArray> array = arena.makeWithTrailing<JXArray>(storageBytes(count), &storage, Key(), &storage,
                                                            stack.slots() + base, stack.tags() + base, count,
                                                            isMutable, std::move(cache));
  stack.forgetMoved(base);
  return array;
}

void JXArray::allocWithZone() {
  kit::raise(kit::InvalidArgumentException,
        "*** - [JXArray allocWithZone:]: The JXArray class is private to Corvane and should not be used in "
        "this fashion.");
}

void JXArray::raiseBeyondBounds(const char* selector, size_t index, size_t bound) const {
  kit::raise(kit::RangeException, "*** -[JXArray " + std::string(selector) + "]: index (" + std::to_string(index) +
                                      ") beyond bounds (" + std::to_string(bound) + ")");
}

void JXArray::checkMutable(const char* selector) const {
  if (mutations_ == 0) {
    kit::raise(kit::InternalInconsistencyException,
               "*** -[JXArray " + std::string(selector) + "]: mutating method sent to immutable object");
  }
}

void JXArray::noteMutation() {
  ++mutations_;
  if (mutations_ == 0) mutations_ = 1;  // 0 means immutable, so the count skips it
}

kit::Id JXArray::objectAtIndex(size_t index) const {
  if (index >= count_) raiseBeyondBounds("objectAtIndex:", index, count_);
  return jxSlotObject(slots_[index], tags_[index], cache_.get());
}

std::vector<kit::Id> JXArray::objectsInRange(size_t from, size_t to) const {
  std::vector<kit::Id> objects;
  objects.reserve(to - from);
  for (size_t i = from; i < to; ++i) objects.push_back(jxSlotObject(slots_[i], tags_[i], cache_.get()));
  return objects;
}

void JXArray::getObjects(kit::Id* buffer, kit::Range range) const {
  size_t end = range.location + range.length;
  if (end < range.location) end = SIZE_MAX;  // an overflowing range is beyond any count
  if (!buffer && end != 0) {
    kit::raise(kit::RangeException, "*** -[JXArray getObjects:range:]: pointer to objects array is NULL but range "
                                    "length is " +
                                        std::to_string(end));
  }
  if (range.location > count_ || end > count_) raiseBeyondBounds("getObjects:range:", end, count_);
  for (size_t i = 0; i < range.length; ++i) {
    const size_t at = range.location + i;
    buffer[i] = jxSlotObject(slots_[at], tags_[at], cache_.get());
  }
}

void JXArray::insertObject(const kit::Id& object, size_t index) {
  checkMutable("insertObject:atIndex:");
  if (!object) kit::raise(kit::InvalidArgumentException, "*** -[JXArray insertObject:atIndex:]: attempt to insert nil");
  if (index > count_) raiseBeyondBounds("insertObject:atIndex:", index, count_ + 1);
  kit::Id inserted = object;  // copied before anything moves, should it live in this array
  if (count_ + 1 >= capacity_) {
    const size_t capacity = capacity_ + kGrowthSlots;
    auto* slots = static_cast<JXSlot*>(std::malloc(capacity * sizeof(JXSlot)));
    auto* tags = static_cast<uint8_t*>(std::malloc(capacity));
    if (!slots || !tags) {
      std::free(slots);
      std::free(tags);
      kit::raise(kit::MallocException, "Unable to resize objects array.");
    }
    for (size_t i = 0; i < count_; ++i) {
      jxRelocateSlot(slots[i], slots_[i], tags_[i]);
      tags[i] = tags_[i];
    }
    // Storage allocated with the array stays there, unused.
    if (ownsStorage_) {
      std::free(slots_);
      std::free(tags_);
    }
    slots_ = slots;
    tags_ = tags;
    capacity_ = capacity;
    ownsStorage_ = true;
  }
  for (size_t i = count_; i > index; --i) {
    jxRelocateSlot(slots_[i], slots_[i - 1], tags_[i - 1]);
    tags_[i] = tags_[i - 1];
  }
  tags_[index] = slots_[index].setObject(std::move(inserted));
  ++count_;
  noteMutation();
}

void JXArray::removeObjectAtIndex(size_t index) {
  checkMutable("removeObjectAtIndex:");
  if (index >= count_) raiseBeyondBounds("removeObjectAtIndex:", index, count_);
  JXValue removed = JXValue::takeFrom(slots_[index], tags_[index]);  // released once the array is consistent
  for (size_t i = index; i + 1 < count_; ++i) {
    jxRelocateSlot(slots_[i], slots_[i + 1], tags_[i + 1]);
    tags_[i] = tags_[i + 1];
  }
  --count_;
  noteMutation();
}

void JXArray::replaceObjectAtIndex(size_t index, const kit::Id& object) {
  checkMutable("replaceObjectAtIndex:withObject:");
  if (!object) {
    kit::raise(kit::InvalidArgumentException, "*** -[JXArray replaceObjectAtIndex:withObject:]: attempt to insert nil");
  }
  if (index >= count_) raiseBeyondBounds("replaceObjectAtIndex:withObject:", index, count_);
  kit::Id replacement = object;
  JXValue old = JXValue::takeFrom(slots_[index], tags_[index]);  // released once the array is consistent
  tags_[index] = slots_[index].setObject(std::move(replacement));
  noteMutation();
}

kit::Id JXArray::copy() const {
  if (mutations_ == 0) return self();
  return kit::Array::make(objectsInRange(0, count_));
}

kit::Id JXArray::mutableCopy() const { return kit::MutableArray::make(objectsInRange(0, count_)); }
