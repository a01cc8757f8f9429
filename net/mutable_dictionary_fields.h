// Filling the platform API's parameter dictionaries: each setter stores the
// value under the key and differs only in what a nil value becomes.
#pragma once

#include <string_view>

#include "kit/foundation/dictionary.h"

// nil becomes the empty string "".
void setObjectForField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key);
// nil becomes the null object.
void setObjectForFKField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key);
// nil becomes the number 0.
void setObjectForTMField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key);
// nil leaves the key as it was.
void setObjectForOPField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key);
