// Parameter dictionary setters.
#include "net/mutable_dictionary_fields.h"

#include "kit/foundation/number.h"
#include "kit/foundation/string.h"

void setObjectForField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key) {
  dictionary.setObject(object ? object : kit::Id(kit::str("")), key);
}

void setObjectForFKField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key) {
  dictionary.setObject(object ? object : kit::Id(kit::Null::null()), key);
}

void setObjectForTMField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key) {
  dictionary.setObject(object ? object : kit::Id(kit::Number::fromInt(0)), key);
}

void setObjectForOPField(kit::MutableDictionary& dictionary, const kit::Id& object, std::string_view key) {
  if (object) dictionary.setObject(object, key);
}
