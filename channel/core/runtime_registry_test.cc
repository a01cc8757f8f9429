// Every class registered with the runtime answers its own name: an instance
// made by name reports that class (not an ancestor) and describes itself
// starting with that name. Value classes (strings, numbers, data,
// collections, ...) describe their contents instead and are only checked
// for their class.

#include <gtest/gtest.h>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/date.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/set.h"
#include "kit/foundation/string.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/ui/device_profile.h"

namespace {

bool describesItsContents(const kit::Id& object) {
  return kit::isKind<kit::String>(object) || kit::isKind<kit::Number>(object) || kit::isKind<kit::Data>(object) ||
         kit::isKind<kit::Array>(object) || kit::isKind<kit::Dictionary>(object) || kit::isKind<kit::Set>(object) ||
         kit::isKind<kit::URL>(object) || kit::isKind<kit::Date>(object) || kit::isKind<kit::Null>(object) || kit::isKind<kit::ClassValue>(object);
}

TEST(RuntimeRegistry, EveryRegisteredClassAnswersItsOwnName) {
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  auto classes = kit::Class::classList();
  ASSERT_FALSE(classes.empty());
  size_t described = 0;
  for (const kit::Class* cls : classes) {
    SCOPED_TRACE(cls->name());
    EXPECT_EQ(kit::Class::named(cls->name()), cls);
    if (!cls->canCreate()) continue;
    kit::Id instance = cls->create();
    ASSERT_TRUE(instance);
    EXPECT_EQ(&instance->objectClass(), cls);
    EXPECT_EQ(instance->className(), cls->name());
    if (describesItsContents(instance)) continue;
    std::string description = instance->description();
    EXPECT_TRUE(description.starts_with("<" + cls->name()) || description.starts_with(cls->name())) << description;
    ++described;
  }
  EXPECT_GT(described, 10u);
}

}  // namespace
