// Query strings from parameter objects, as form bodies and URL queries
// carry them: dictionaries flatten to "key[inner]" fields in key order,
// arrays to "key[]" fields in element order, sets in element order; every
// field and value is percent-escaped, and the pairs are joined with "&".
//
//   {b: 1, a: 2}       -> a=2&b=1
//   {a: {y: 1, x: 2}}  -> a%5Bx%5D=2&a%5By%5D=1
//   {b: [1, 2]}        -> b%5B%5D=1&b%5B%5D=2
//   {a: null}          -> a
#pragma once

#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

// One field and its value; either may be any object.
class SDPQueryStringPair : public kit::Object {
 public:
  SDPQueryStringPair(kit::Id field, kit::Id value) : field(std::move(field)), value(std::move(value)) {}

  kit::Id field;
  kit::Id value;

  // "field=value" escaped; the field alone when the value is nil or null.
  std::string URLEncodedStringValue() const;
};

// The text escaped for a query component: everything but the characters a
// query allows, less ":#[]@!$&'()*+,;=", as UTF-8 percent escapes. Long text
// is escaped in pieces of 50 units that never split a composed character.
std::string SDPPercentEscapedStringFromString(const kit::String& text);

std::vector<kit::Ref<SDPQueryStringPair>> SDPQueryStringPairsFromKeyAndValue(const kit::Id& key, const kit::Id& value);
std::string SDPQueryStringFromParameters(const kit::Id& parameters);
