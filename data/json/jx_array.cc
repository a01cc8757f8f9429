// JXArray: storage, bounds and mutability checks, growth in steps of 16.

#include "data/json/jx_array.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "data/json/jx_arena.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

KIT_DEFINE_CLASS_NAMED(JXArray, kit::MutableArray, "JXArray") {}

namespace {

constexpr size_t kGrowthSlots = 16;

}  // namespace

JXArray::JXArray(Key, void* const* storage, kit::Id* objects, size_t count, bool isMutable)
    : objects_(static_cast<kit::Id*>(*storage)),
      inline_(objects_),
      inlineCount_(count),
      count_(count),
      capacity_(count),
      mutations_(isMutable ? 1 : 0) {
  std::uninitialized_move_n(objects, count, inline_);
}

JXArray::~JXArray() { std::destroy_n(inline_, inlineCount_); }

kit::Ref<JXArray> JXArray::create(JXArena& arena, kit::Id* objects, size_t count, bool isMutable) {
  void* storage = nullptr;
  return arena.makeWithTrailing<JXArray>(count * sizeof(kit::Id), &storage, Key(), &storage, objects, count,
                                         isMutable);
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
  return objects_[index];
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
  for (size_t i = 0; i < range.length; ++i) buffer[i] = objects_[range.location + i];
}

void JXArray::insertObject(const kit::Id& object, size_t index) {
  checkMutable("insertObject:atIndex:");
  if (!object) kit::raise(kit::InvalidArgumentException, "*** -[JXArray insertObject:atIndex:]: attempt to insert nil");
  if (index > count_) raiseBeyondBounds("insertObject:atIndex:", index, count_ + 1);
  if (count_ + 1 >= capacity_) {
    std::unique_ptr<kit::Id[]> grown;
    try {
      grown.reset(new kit::Id[capacity_ + kGrowthSlots]);
    } catch (const std::bad_alloc&) {
      kit::raise(kit::MallocException, "Unable to resize objects array.");
    }
    for (size_t i = 0; i < count_; ++i) grown[i] = std::move(objects_[i]);
    heap_ = std::move(grown);
    objects_ = heap_.get();
    capacity_ += kGrowthSlots;
  }
  for (size_t i = count_; i > index; --i) objects_[i] = std::move(objects_[i - 1]);
  objects_[index] = object;
  ++count_;
  noteMutation();
}

void JXArray::removeObjectAtIndex(size_t index) {
  checkMutable("removeObjectAtIndex:");
  if (index >= count_) raiseBeyondBounds("removeObjectAtIndex:", index, count_);
  kit::Id removed = std::move(objects_[index]);  // released once the array is consistent again
  for (size_t i = index; i + 1 < count_; ++i) objects_[i] = std::move(objects_[i + 1]);
  objects_[count_ - 1].reset();
  --count_;
  noteMutation();
}

void JXArray::replaceObjectAtIndex(size_t index, const kit::Id& object) {
  checkMutable("replaceObjectAtIndex:withObject:");
  if (!object) {
    kit::raise(kit::InvalidArgumentException, "*** -[JXArray replaceObjectAtIndex:withObject:]: attempt to insert nil");
  }
  if (index >= count_) raiseBeyondBounds("replaceObjectAtIndex:withObject:", index, count_);
  kit::Id old = std::exchange(objects_[index], object);
  noteMutation();
}

kit::Id JXArray::copy() const {
  if (mutations_ == 0) return self();
  return kit::Array::make(std::vector<kit::Id>(objects_, objects_ + count_));
}

kit::Id JXArray::mutableCopy() const {
  return kit::MutableArray::make(std::vector<kit::Id>(objects_, objects_ + count_));
}
