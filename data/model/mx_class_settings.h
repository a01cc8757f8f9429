// The settings that the setup operations keep on a model class (replaced
// keys, key function, element classes, new-value function and the four name
// lists), and the walk up a class hierarchy that every lookup of a setting
// uses.
//
// Settings live for the process. The table is guarded; callbacks are copied
// out before they are called, so no lock is held while model code runs.
#pragma once

#include <functional>

#include "data/model/mx_hooks.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/runtime.h"

// The four lists of property names a class can set up.
enum class MXNameList { Allowed = 0, Ignored = 1, AllowedCoding = 2, IgnoredCoding = 3 };
inline constexpr int MXNameListCount = 4;

// A class's own settings (not its superclasses').
struct MXClassSettings {
  kit::Ref<kit::Dictionary> replacedKeys;        // property name → key or keys
  MXKeyHook keyFunction;                         // property name → key or keys
  kit::Ref<kit::Dictionary> objectClassInArray;  // property name → class or class name
  MXNewValueHook newValueFunction;
  kit::Ref<kit::Array> names[MXNameListCount];
};

namespace mx_settings {

// A copy of the class's own settings (empty when it has none).
MXClassSettings of(const kit::Class& cls);
// The class's own new-value function alone (looked up on every mapping).
MXNewValueHook newValueFunctionOf(const kit::Class& cls);
// Changes the class's own settings under the table's lock. `change` must not
// call out of the mapper.
void update(const kit::Class& cls, const std::function<void(MXClassSettings&)>& change);
// Bumped by every change, so that derived caches can tell they are stale.
uint64_t generation();

// The walk from `cls` up to the root, visiting every class until `visit`
// sets *stop.
void walkAll(const kit::Class& cls, const std::function<void(const kit::Class&, bool* stop)>& visit);

}  // namespace mx_settings
