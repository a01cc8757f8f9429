// JSON serialization in place of the platform's: JSON text to kit objects
// (dictionaries, arrays, strings, numbers, the null object) and back.
//
// Reading keeps the order of object members, reads integers as integers
// (unsigned 64-bit values exactly), other numbers as doubles and true/false
// as the bool singletons. Malformed text gives nil and an Error in the Cocoa
// domain with code 3840. Writing produces compact text, or the platform's
// pretty format (two-space indent, `"key" : value`); an object that JSON
// cannot hold raises kit::Exception(InvalidArgumentException), as the
// platform does.
#pragma once

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/object.h"

namespace kit {

enum JSONReadingOptions : unsigned {
  JSONReadingMutableContainers = 1 << 0,  // arrays and dictionaries are mutable
  JSONReadingMutableLeaves = 1 << 1,      // strings are mutable
  JSONReadingFragmentsAllowed = 1 << 2,   // the top level may be any value
};

enum JSONWritingOptions : unsigned {
  JSONWritingPrettyPrinted = 1 << 0,
  JSONWritingSortedKeys = 1 << 1,
  JSONWritingFragmentsAllowed = 1 << 2,
  JSONWritingWithoutEscapingSlashes = 1 << 3,  // "/" is written as "\/" unless this is set
};

// The error code of malformed JSON text (the platform's property-list read
// corrupt error, which its JSON reader shares).
inline constexpr long JSONReadCorruptError = 3840;
// Nesting deeper than this is refused on reading and writing.
inline constexpr size_t JSONMaximumDepth = 512;

class JSONSerialization {
 public:
  // The value in `data`, or nil with *error set. Nil data raises.
  static Id JSONObjectWithData(const Ref<Data>& data, unsigned options = 0, Ref<Error>* error = nullptr);

  // The JSON text of `object`, or nil with *error set when it nests deeper
  // than JSONMaximumDepth (a container that holds itself). Raises for a
  // value JSON cannot hold: an unsupported class, a non-string key, NaN or
  // infinity, or a top level that is not an array or a dictionary unless
  // fragments are allowed.
  static Ref<Data> dataWithJSONObject(const Id& object, unsigned options = 0, Ref<Error>* error = nullptr);

  // True when `object` is an array or dictionary that dataWithJSONObject
  // writes without raising.
  static bool isValidJSONObject(const Id& object);
};

}  // namespace kit
