// The parameter dictionary setters: what each makes of a nil value.
#include "net/mutable_dictionary_fields.h"

#include <gtest/gtest.h>

#include "kit/foundation/values.h"

namespace {

TEST(MutableDictionaryFields, NilBecomesWhatEachSetterSays) {
  auto params = kit::MutableDictionary::make();
  setObjectForField(*params, nullptr, "a");
  setObjectForFKField(*params, nullptr, "b");
  setObjectForTMField(*params, nullptr, "c");
  setObjectForOPField(*params, nullptr, "d");
  setObjectForOPField(*params, kit::str("kept"), "e");
  setObjectForField(*params, kit::num(7), "f");
  EXPECT_EQ(kit::describe(params->objectForKey("a")), "");
  EXPECT_TRUE(kit::isKind<kit::String>(params->objectForKey("a")));
  EXPECT_TRUE(kit::isKind<kit::Null>(params->objectForKey("b")));
  EXPECT_EQ(kit::describe(params->objectForKey("c")), "0");
  EXPECT_FALSE(params->objectForKey("d"));
  EXPECT_EQ(kit::describe(params->objectForKey("e")), "kept");
  EXPECT_EQ(kit::describe(params->objectForKey("f")), "7");
  EXPECT_EQ(params->count(), 5u);

  setObjectForOPField(*params, nullptr, "e");
  EXPECT_EQ(kit::describe(params->objectForKey("e")), "kept") << "nil leaves the key as it was";
}

}  // namespace
