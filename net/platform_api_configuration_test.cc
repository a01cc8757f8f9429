// The platform API base URL from its configuration, and the parameter
// dictionary setters.
#include "net/platform_api_configuration.h"

#include <gtest/gtest.h>

#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "net/mutable_dictionary_fields.h"
#include "sim/bundle_configuration.h"

namespace {

TEST(PlatformAPIConfiguration, EnvironmentThenServiceListsThenDefault) {
  auto services = kit::dict({{kPlatformAPIBaseInfoKey, "http://10.0.0.2:8080/"}});
  auto info = kit::dict({{kPlatformAPIBaseInfoKey, "http://10.0.0.3"}});
  EXPECT_EQ(SDPPlatformAPIBaseURLFrom("http://127.0.0.1:4000", {services, info}),
            "http://127.0.0.1:4000/sdkapicoupon/");
  EXPECT_EQ(SDPPlatformAPIBaseURLFrom("", {services, info}), "http://10.0.0.2:8080/sdkapicoupon/");
  EXPECT_EQ(SDPPlatformAPIBaseURLFrom(nullptr, {nullptr, kit::dict({{kPlatformAPIBaseInfoKey, ""}}), info}),
            "http://10.0.0.3/sdkapicoupon/");
  EXPECT_EQ(SDPPlatformAPIBaseURLFrom(nullptr, {kit::dict(), nullptr}),
            std::string(kPlatformAPIDefaultOrigin) + "/sdkapicoupon/");
}

TEST(PlatformAPIConfiguration, ReadsTheBundleServiceListBeforeItsInfoPlist) {
  if (std::getenv(kPlatformAPIBaseEnvironmentVariable) || std::getenv(kPlatformAPIServicesEnvironmentVariable)) {
    GTEST_SKIP() << "the environment overrides the bundle";
  }
  {
    sim::ScopedBundleConfiguration configuration(kit::dict({{kPlatformAPIBaseInfoKey, "http://127.0.0.1:5555"}}));
    kit::writePropertyListToFile(kit::dict({{kPlatformAPIBaseInfoKey, "http://127.0.0.1:6666"}}),
                                 configuration.bundleDirectory() + "/Info.plist");
    EXPECT_EQ(SDPPlatformAPIBaseURL(), "http://127.0.0.1:5555/sdkapicoupon/");
  }
  sim::ScopedBundleConfiguration empty(kit::dict());
  kit::writePropertyListToFile(kit::dict({{kPlatformAPIBaseInfoKey, "http://127.0.0.1:6666"}}),
                               empty.bundleDirectory() + "/Info.plist");
  EXPECT_EQ(SDPPlatformAPIBaseURL(), "http://127.0.0.1:6666/sdkapicoupon/");
}

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
