// Property-list serialization in place of the platform's: XML and binary
// property lists read into kit objects and written back, backed by libplist.
//
// A property list holds strings, numbers (integers, reals and the bool
// singletons), data, dates, arrays and dictionaries with string keys.
// Reading detects the format; malformed data gives nil and an Error in the
// Cocoa domain (code 3840), and an object that a property list cannot hold
// gives an Error when writing (code 3852). Dictionary order is kept both ways.
#pragma once

#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/object.h"

namespace kit {

// Property-list files larger than this are refused rather than read.
inline constexpr size_t kMaxPropertyListFileBytes = size_t(256) << 20;

enum class PropertyListFormat { OpenStep = 1, XML = 100, Binary = 200 };

enum PropertyListMutabilityOptions : unsigned {
  PropertyListImmutable = 0,
  PropertyListMutableContainers = 1,           // arrays and dictionaries are mutable
  PropertyListMutableContainersAndLeaves = 2,  // strings and data too
};

// The platform's error codes (Cocoa domain).
inline constexpr long PropertyListReadCorruptError = 3840;
inline constexpr long PropertyListReadUnknownVersionError = 3841;
inline constexpr long PropertyListWriteInvalidError = 3852;
// Nesting deeper than this is refused on reading and writing.
inline constexpr size_t PropertyListMaximumDepth = 512;

class PropertyListSerialization {
 public:
  // The property list in `data`, or nil with *error set. *format receives
  // the format that was read. Old-style (OpenStep) text is not read.
  static Id propertyListWithData(const Ref<Data>& data, unsigned options = PropertyListImmutable,
                                 PropertyListFormat* format = nullptr, Ref<Error>* error = nullptr);

  // `plist` encoded in `format` (XML or binary), or nil with *error set.
  static Ref<Data> dataWithPropertyList(const Id& plist, PropertyListFormat format, Ref<Error>* error = nullptr);

  static bool propertyListIsValidForFormat(const Id& plist, PropertyListFormat format);

  // A deep copy of a property list with the given mutability, or nil when
  // `plist` is not a valid property list.
  static Id deepCopy(const Id& plist, unsigned options = PropertyListImmutable);
};

// Reads a property-list file: nil with *error set when it cannot be read or
// parsed (Cocoa file errors, or 3840 for a malformed file).
Id propertyListWithContentsOfFile(const std::string& path, unsigned options = PropertyListImmutable,
                                  Ref<Error>* error = nullptr);
// The dictionary (or array) in a property-list file, or nil when the file is
// missing, malformed or holds something else.
Ref<Dictionary> dictionaryWithContentsOfFile(const std::string& path);
Ref<Array> arrayWithContentsOfFile(const std::string& path);
// Writes `plist` to a file (through a temporary file and a rename when
// `atomically`). False with *error set on failure; nothing is written for an
// invalid property list.
bool writePropertyListToFile(const Id& plist, const std::string& path, bool atomically = true,
                             PropertyListFormat format = PropertyListFormat::XML, Ref<Error>* error = nullptr);

}  // namespace kit
