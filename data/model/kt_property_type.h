// KTPropertyType: what one type encoding means to the model mapper: an
// object of which class, a number, a boolean, or a type that is never read
// or written by name. One shared descriptor exists per distinct encoding;
// each is classified once per process.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

class KTPropertyType : public kit::Object {
  KIT_OBJECT(KTPropertyType)

 public:
  // The shared descriptor for a type encoding exactly as a property's
  // attributes give it ("d", "@", "@\"NSString\"" ...); nil for a nil code.
  static kit::Ref<KTPropertyType> cachedTypeWithCode(const kit::Ref<kit::String>& code);
  static kit::Ref<KTPropertyType> cachedTypeWithCode(std::string_view code);

  // Stores the code and classifies it. Every flag starts NO.
  void setCode(const kit::Ref<kit::String>& code);

  // The encoding; for an object type with a class name, the bare class name.
  kit::Ref<kit::String> code() const { return code_; }
  const std::string& codeText() const { return codeText_; }
  bool isIdType() const { return idType_; }
  bool isNumberType() const { return numberType_; }
  bool isBoolType() const { return boolType_; }
  // The class named by an object encoding, or nullptr.
  const kit::Class* typeClass() const { return typeClass_; }
  bool isFromFoundation() const { return fromFoundation_; }
  bool isKVCDisabled() const { return KVCDisabled_; }

  std::string description() const override;

 private:
  kit::Ref<kit::String> code_;
  std::string codeText_;
  bool idType_ = false;
  bool numberType_ = false;
  bool boolType_ = false;
  const kit::Class* typeClass_ = nullptr;
  bool fromFoundation_ = false;
  bool KVCDisabled_ = false;
};
