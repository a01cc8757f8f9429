// JXSerializer: writes a graph of strings, numbers, arrays, dictionaries and
// null objects as UTF-8 JSON text, returned as a string or as data. It prints
// compactly or indented (with sorted keys), can escape non-ASCII characters
// and "/", and hands objects it cannot write to a callback or a delegate
// method for a substitute.
//
// Failures return nil and, when asked, an error in JXErrorDomain (code -1).
// Misuse of the delegate arguments raises the invalid-argument exception.
// One serializer serves one call at a time; the text operations
// (json_text.h) make one per call.
#pragma once

#include <functional>
#include <memory>

#include "kit/foundation/error.h"
#include "kit/foundation/object.h"

struct JXEncodeState;

// A delegate's formatting method, as `&Formatter::method` taking the object
// to replace and returning its substitute (or nil). A delegate responds to it
// when it is a kind of Formatter. The default value is no method at all.
class JXSelector {
 public:
  JXSelector() = default;
  template <class Delegate>
  JXSelector(kit::Id (Delegate::*method)(const kit::Id&)) {
    if (!method) return;
    respondsTo_ = [](const kit::Object& d) { return dynamic_cast<const Delegate*>(&d) != nullptr; };
    call_ = [method](kit::Object& d, const kit::Id& object) { return (dynamic_cast<Delegate&>(d).*method)(object); };
  }
  template <class Delegate>
  JXSelector(kit::Id (Delegate::*method)(const kit::Id&) const) {
    if (!method) return;
    respondsTo_ = [](const kit::Object& d) { return dynamic_cast<const Delegate*>(&d) != nullptr; };
    call_ = [method](kit::Object& d, const kit::Id& object) {
      return (dynamic_cast<const Delegate&>(d).*method)(object);
    };
  }

  explicit operator bool() const { return static_cast<bool>(call_); }
  bool respondsTo(const kit::Object& delegate) const { return respondsTo_ && respondsTo_(delegate); }
  kit::Id operator()(kit::Object& delegate, const kit::Id& object) const { return call_(delegate, object); }

 private:
  std::function<bool(const kit::Object&)> respondsTo_;
  std::function<kit::Id(kit::Object&, const kit::Id&)> call_;
};

class JXSerializer final : public kit::Object {
 public:
  // Returns a substitute for an object the writer cannot write, or nil.
  using UnsupportedClassBlock = std::function<kit::Id(const kit::Id& object)>;

  JXSerializer();
  ~JXSerializer() override;

  const kit::Class& objectClass() const override { return staticClass(); }
  static const kit::Class& staticClass();

  // Writes `object` with a new serializer. `options` are the serialize
  // option bits, `encodeOption` the result form and top-level checks
  // (jx_constants.h). Returns a kit::String or kit::Data, or nil; `error`
  // is cleared first and set when the write fails.
  static kit::Id serializeObject(const kit::Id& object, unsigned long options, unsigned long encodeOption,
                                 const UnsupportedClassBlock& block, const kit::Id& delegate,
                                 const JXSelector& selector, kit::Ref<kit::Error>* error);

  // The same with this serializer.
  kit::Id serialize(const kit::Id& object, unsigned long options, unsigned long encodeOption,
                    const UnsupportedClassBlock& block, const kit::Id& delegate, const JXSelector& selector,
                    kit::Ref<kit::Error>* error);

  void releaseState();

 private:
  std::unique_ptr<JXEncodeState> state_;
};
