// Fuzzes the keyed unarchiver. Whatever it accepts must archive again and
// unarchive again: the two sides agree on what an archive can hold.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/runtime.h"

namespace {

// A model class for the fuzzer to reach the Coding path. It holds what it
// decodes weakly, so a cycle through it never keeps objects alive.
class FuzzNode : public kit::Object, public kit::Coding {
  KIT_OBJECT(FuzzNode)

 public:
  void encodeWithCoder(kit::KeyedArchiver& coder) const override {
    coder.encodeObject(next.lock(), "next");
    coder.encodeObject(name.lock(), "name");
    coder.encodeInteger(level, "level");
    coder.encodeBool(flag, "flag");
  }
  bool initWithCoder(kit::KeyedUnarchiver& coder) override {
    next = coder.decodeObjectForKey("next");
    name = coder.decodeObjectOfClass<kit::String>("name");
    level = coder.decodeIntegerForKey("level");
    flag = coder.decodeBoolForKey("flag");
    return level != 13;
  }

  kit::Weak<kit::Object> next;
  kit::Weak<kit::String> name;
  long level = 0;
  bool flag = false;
};
KIT_DEFINE_CLASS(FuzzNode, kit::Object) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace kit;
  Ref<Error> error;
  Id root = KeyedUnarchiver::unarchivedObjectWithData(Data::make(bytes, size), &error);
  if (!root) return 0;
  Ref<Data> again = KeyedArchiver::archivedDataWithRootObject(root, &error);
  if (!again) std::abort();
  if (!KeyedUnarchiver::unarchivedObjectWithData(again, &error)) std::abort();
  return 0;
}
