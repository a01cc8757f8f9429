// KTPropertyKey: one step of a key path, either a dictionary key or an array
// index, and the lookup of that step in a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

enum KTPropertyKeyType : int32_t {
  KTPropertyKeyTypeDictionary = 0,
  KTPropertyKeyTypeArray = 1,
};

class KTPropertyKey : public kit::Object {
  KIT_OBJECT(KTPropertyKey)

 public:
  static kit::Ref<KTPropertyKey> make(std::string name, KTPropertyKeyType type);

  // The dictionary key, or the array index written in decimal.
  kit::Ref<kit::String> name() const { return kit::str(name_); }
  const std::string& nameText() const { return name_; }
  void setName(const kit::Ref<kit::String>& name);
  KTPropertyKeyType type() const { return type_; }
  void setType(KTPropertyKeyType type) { type_ = type; }
  // The integer value of the name: its leading decimal digits after an
  // optional sign, 0 when there are none.
  long long index() const { return index_; }

  // The dictionary's value for the name (type 0 on a dictionary), the
  // array's element at the index (type 1 on an array, when the index taken
  // as unsigned is below the count), otherwise nil.
  kit::Id valueInObject(const kit::Id& object) const;

  std::string description() const override;

 private:
  void setNameText(std::string name);

  std::string name_;
  KTPropertyKeyType type_ = KTPropertyKeyTypeDictionary;
  long long index_ = 0;
};

// A key path: the steps from the top dictionary to a value.
using KTKeyPath = std::vector<kit::Ref<KTPropertyKey>>;
