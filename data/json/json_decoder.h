// JSONDecoder: parses UTF-8 JSON text into JXArray and JXDictionary
// containers of strings, numbers, the shared true and false numbers and the
// null object. The top level must be an array or an object. The containers
// keep numbers, literals and short strings in compact slots and make their
// objects when they are read (jx_slot.h).
//
// Equal values of a decoder's documents are one object while they are
// recent, until clearCache(): its keys and long strings through a 1024-slot
// cache at parse time, and the objects read out of slots through a value
// cache its documents share (jx_value_cache.h).
//
// Parse failures never raise: they return nil and, when asked, an error in
// JXErrorDomain (code -1) with the byte offset (JXAtIndexKey) and line
// (JXLineNumberKey) where the problem was found. Misuse raises: invalid
// options, a null text pointer, nil data, a decoder whose state was released.
//
// A decoder is not thread-safe; use one per thread.
#pragma once

#include <cstddef>
#include <memory>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/object.h"

struct JXParseState;

class JSONDecoder final : public kit::Object {
 public:
  // Raises the invalid-argument exception for options of 16 and above.
  explicit JSONDecoder(unsigned long parseOptions = 0);
  ~JSONDecoder() override;

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  static kit::Ref<JSONDecoder> decoder() { return decoderWithParseOptions(0); }
  static kit::Ref<JSONDecoder> decoderWithParseOptions(unsigned long parseOptions);

  // Empties the value cache.
  void clearCache();
  // Gives back the parse state and cache at once; later parses raise.
  void releaseState();

  // Immutable containers. `error` is written only when the parse fails.
  kit::Id objectWithUTF8String(const char* bytes, size_t length, kit::Ref<kit::Error>* error = nullptr);
  kit::Id objectWithData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error = nullptr);
  // Mutable containers at every level.
  kit::Id mutableObjectWithUTF8String(const char* bytes, size_t length, kit::Ref<kit::Error>* error = nullptr);
  kit::Id mutableObjectWithData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error = nullptr);

  // Older names of objectWithUTF8String and objectWithData.
  kit::Id parseUTF8String(const char* bytes, size_t length, kit::Ref<kit::Error>* error = nullptr) {
    return objectWithUTF8String(bytes, length, error);
  }
  kit::Id parseJSONData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error = nullptr) {
    return objectWithData(data, error);
  }

 private:
  kit::Id parse(const char* bytes, size_t length, bool mutableCollections, kit::Ref<kit::Error>* error);
  kit::Id parseData(const kit::Ref<kit::Data>& data, bool mutableCollections, kit::Ref<kit::Error>* error);

  std::unique_ptr<JXParseState> state_;
};
