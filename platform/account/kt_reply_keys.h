// How a reply model tells the model mapper its keys: one map from property
// name to reply key, whose names are also the only fields the class fills
// (the others it declares stay empty). Used inside the KIT_DEFINE_CLASS
// body of each reply model:
//
//   KIT_DEFINE_CLASS(LoginOut, KTBaseResponse) { KT_MAP_KEYS(cls, logoutKeys); }
#pragma once

#include "data/model/mx_hooks.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"

// The property names of a key map.
inline kit::Ref<kit::Array> KTReplyKeyNames(const kit::Ref<kit::Dictionary>& keys) { return keys->allKeys(); }

// `keys` names a function returning the key map. The mapper converts for
// each field's type: a number into a text field becomes its "%@" text, a
// value of another kind leaves the field nil.
#define KT_MAP_KEYS(cls, keys)                                   \
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, keys); \
  mx_answer(cls, MXHooks::mx_allowedPropertyNames, [] { return KTReplyKeyNames(keys()); })
