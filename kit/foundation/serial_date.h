// The date values that the serializers (property lists, the keyed archiver,
// user defaults) read and write, as kit::Date objects. The serializers touch
// dates only through these functions.
#pragma once

#include <optional>

#include "kit/foundation/date.h"
#include "kit/foundation/object.h"

namespace kit {

// A date object for the given seconds since the reference date.
Id makeDateValue(double sinceReferenceDate);
// The seconds since the reference date of a date object; nullopt for
// anything else (nil included).
std::optional<double> dateValueSeconds(const Id& value);
inline bool isDateValue(const Id& value) { return dateValueSeconds(value).has_value(); }

}  // namespace kit
