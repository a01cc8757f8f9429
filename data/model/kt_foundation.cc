// The Foundation-class test, cached per registered class.

#include "data/model/kt_foundation.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "kit/foundation/no_destructor.h"

namespace {

// The platform's superclass of classes whose place in the hierarchy the
// runtime does not know (because it does not register them, or because it
// registers them under a plainer superclass).
std::string_view platformSuperclassName(std::string_view name) {
  static const std::pair<std::string_view, std::string_view> table[] = {
      {"NSNumber", "NSValue"},
      {"NSDecimalNumber", "NSNumber"},
      {"NSValue", "NSObject"},
      {"NSDate", "NSObject"},
      {"NSCalendarDate", "NSDate"},
      {"NSAttributedString", "NSObject"},
      {"NSMutableAttributedString", "NSAttributedString"},
      {"NSSet", "NSObject"},
      {"NSMutableSet", "NSSet"},
      {"NSCountedSet", "NSMutableSet"},
      {"NSOrderedSet", "NSObject"},
      {"NSMutableOrderedSet", "NSOrderedSet"},
      {"NSManagedObject", "NSObject"},
  };
  for (const auto& [cls, super] : table) {
    if (cls == name) return super;
  }
  return {};
}

bool isListed(std::string_view name) {
  const auto& listed = KTFoundation::foundationClasses();
  return std::find(listed.begin(), listed.end(), name) != listed.end();
}

// Walks up from `name` (with `cls` its registered class, if any).
bool walk(std::string_view name, const kit::Class* cls) {
  if (name == "NSObject" || name == "NSManagedObject") return true;
  std::string current(name);
  for (int guard = 0; guard < 64; ++guard) {
    if (isListed(current)) return true;
    std::string_view super = platformSuperclassName(current);
    if (!super.empty()) {
      current = std::string(super);
      cls = kit::Class::named(current);
    } else if (cls && cls->superclass()) {
      cls = cls->superclass();
      current = cls->name();
    } else {
      return false;
    }
  }
  return false;
}

}  // namespace

const std::vector<std::string>& KTFoundation::foundationClasses() {
  static const kit::NoDestructor<std::vector<std::string>> classes(std::vector<std::string>{
      "NSURL", "NSDate", "NSValue", "NSData", "NSError", "NSArray", "NSDictionary", "NSString", "NSAttributedString"});
  return *classes;
}

bool KTFoundation::isClassFromFoundation(const kit::Class* cls) {
  if (!cls) return false;
  static std::mutex mutex;
  static kit::NoDestructor<std::unordered_map<const kit::Class*, bool>> answers;
  {
    std::lock_guard lock(mutex);
    auto it = answers->find(cls);
    if (it != answers->end()) return it->second;
  }
  bool answer = walk(cls->name(), cls);
  std::lock_guard lock(mutex);
  answers->emplace(cls, answer);
  return answer;
}

bool KTFoundation::isClassNameFromFoundation(std::string_view name) {
  if (const kit::Class* cls = kit::Class::named(name)) return isClassFromFoundation(cls);
  return walk(name, nullptr);
}
