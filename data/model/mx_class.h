// Class-level operations of the model mapper: the walks up a class
// hierarchy, and the allowed and ignored property-name lists (for mapping
// and for archiving) with their per-class totals.
//
// A class sets a list up once (typically at start-up) or answers the list's
// hook (MXHooks); the total list of a class is its hook's answer, then its
// own setting, then each superclass's setting, duplicates kept. Totals are
// cached per class until the list is set up again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "data/model/mx_class_settings.h"
#include "kit/foundation/array.h"
#include "kit/foundation/runtime.h"

using MXClassesEnumeration = std::function<void(const kit::Class& cls, bool* stop)>;
using MXNamesSetup = std::function<kit::Ref<kit::Array>()>;
using MXValueSetup = std::function<kit::Id()>;

// The keys under which the four name lists are kept on a class.
inline constexpr const char* MXAllowedPropertyNamesKey = "MXAllowedPropertyNamesKey";
inline constexpr const char* MXIgnoredPropertyNamesKey = "MXIgnoredPropertyNamesKey";
inline constexpr const char* MXAllowedCodingPropertyNamesKey = "MXAllowedCodingPropertyNamesKey";
inline constexpr const char* MXIgnoredCodingPropertyNamesKey = "MXIgnoredCodingPropertyNamesKey";

// Visits the class, then its superclasses, stopping at (before) the first
// Foundation class; the class itself is always visited.
void mx_enumerateClasses(const kit::Class& cls, const MXClassesEnumeration& enumeration);
// Visits the class and every superclass up to and including the root.
void mx_enumerateAllClasses(const kit::Class& cls, const MXClassesEnumeration& enumeration);

// Calls `setup` once and keeps its answer as the class's list (a nil setup
// removes it); every class's cached total of that list is dropped.
void mx_setupAllowedPropertyNames(const kit::Class& cls, const MXNamesSetup& setup);
void mx_setupIgnoredPropertyNames(const kit::Class& cls, const MXNamesSetup& setup);
void mx_setupAllowedCodingPropertyNames(const kit::Class& cls, const MXNamesSetup& setup);
void mx_setupIgnoredCodingPropertyNames(const kit::Class& cls, const MXNamesSetup& setup);

// The generic forms of the four setups and totals, for any key.
//
// Calls `setup` once and keeps its answer on the class under `key` (a nil
// setup removes it). Under a name list's key the answer is that list (an
// answer that is not an array keeps none), and every class's total of the
// list is dropped; so is every total of any other key.
void mx_setupBlockReturnValue(const kit::Class& cls, const MXValueSetup& setup, std::string_view key);
// What a setup kept on the class itself under `key`, or nil.
kit::Id mx_setupValueForKey(const kit::Class& cls, std::string_view key);
// The class's answer to the names hook called `selector` (an MXNamesHook),
// then the elements of the arrays kept under `key` on the class and each
// superclass up to the root. Cached per class until `key` is set up again;
// the caller gets its own mutable copy.
kit::Ref<kit::MutableArray> mx_totalObjectsWithSelector(const kit::Class& cls, std::string_view selector,
                                                        std::string_view key);

kit::Ref<kit::Array> mx_totalAllowedPropertyNames(const kit::Class& cls);
kit::Ref<kit::Array> mx_totalIgnoredPropertyNames(const kit::Class& cls);
kit::Ref<kit::Array> mx_totalAllowedCodingPropertyNames(const kit::Class& cls);
kit::Ref<kit::Array> mx_totalIgnoredCodingPropertyNames(const kit::Class& cls);

// A total list with a set of its names for membership tests.
struct MXNameTotal {
  kit::Ref<kit::Array> names;
  std::unordered_set<std::string> lookup;
  bool empty() const { return names->empty(); }
  bool contains(const std::string& name) const { return lookup.count(name) != 0; }
};
std::shared_ptr<const MXNameTotal> mx_totalNames(const kit::Class& cls, MXNameList list);
