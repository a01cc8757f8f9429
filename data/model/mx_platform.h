// The services the model mapper takes from elsewhere, behind one seam: JSON
// text to objects and back (the top level is an array or a dictionary,
// containers and strings immutable), and the shared number formatter's
// reading of text.
#pragma once

#include <string_view>

#include "kit/foundation/data.h"
#include "kit/foundation/number.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace mx_platform {

// The array or dictionary that the JSON text holds; nil when the text is
// not JSON or its top level is neither.
kit::Id JSONObjectWithString(const kit::String& text);
kit::Id JSONObjectWithData(const kit::Data& data);
// Compact JSON text of an array or dictionary; nil when it holds a value
// JSON cannot represent.
kit::Ref<kit::Data> dataWithJSONObject(const kit::Id& object);
// The shared number formatter's reading of the text (default settings: an
// optional "-", digits, an optional fraction after "."); nil for anything
// else. Whole numbers that fit in 64 bits come back as integers, the rest
// as doubles.
kit::Ref<kit::Number> numberFromString(std::string_view text);

}  // namespace mx_platform
