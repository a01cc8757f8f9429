// KTFoundation tells the platform's value classes (strings, numbers, arrays,
// dictionaries, data, URLs, errors and the like) from the application's model
// classes. The mapper stops its walk up a class hierarchy at such a class and
// assigns values of such classes as they are instead of mapping them as
// nested models.
//
// The test is on class names along the platform's superclass chain. Classes
// that the runtime does not register (NSDecimalNumber, NSAttributedString,
// NSSet, NSDate, NSValue ...) are answered by name from a table of the
// platform's own hierarchy, so NSNumber passes through NSValue as it does on
// the platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/runtime.h"

class KTFoundation {
 public:
  KTFoundation() = delete;

  // The classes whose subclasses (and themselves) count as Foundation:
  // NSURL, NSDate, NSValue, NSData, NSError, NSArray, NSDictionary,
  // NSString, NSAttributedString.
  static const std::vector<std::string>& foundationClasses();

  // YES for NSObject itself, NSManagedObject itself, and any class that is
  // one of foundationClasses() or descends from one; NO for nullptr.
  static bool isClassFromFoundation(const kit::Class* cls);
  // The same test for a class given by name, which need not be registered.
  static bool isClassNameFromFoundation(std::string_view name);
};
