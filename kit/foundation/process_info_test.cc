// UUIDs and the facts the process reports about itself.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "kit/foundation/process_info.h"
#include "kit/foundation/random.h"
#include "kit/foundation/uuid.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

TEST(UUID, RandomVersionFourText) {
  const std::regex shape("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string text = UUID().UUIDString();
    EXPECT_TRUE(std::regex_match(text, shape)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 200u);
  // A seeded generator gives the same UUIDs again.
  std::string a, b;
  {
    ScopedRandomSeed seed(5);
    a = makeUUIDString();
  }
  {
    ScopedRandomSeed seed(5);
    b = makeUUIDString();
  }
  EXPECT_EQ(a, b);
}

TEST(UUID, ParsesItsTextAndRejectsOthers) {
  auto u = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->UUIDString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_TRUE(isEqual(u, UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
  EXPECT_EQ(u->hash(), UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")->hash());
  EXPECT_FALSE(isEqual(u, UUID::make()));
  EXPECT_NE(u->description().find(" E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), std::string::npos);
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", 
                          "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                          "E621E1F8+C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC--C247A3E6E5F"}) {
    EXPECT_EQ(UUID::fromString(bad), nullptr) << bad;
  }
}

TEST(ProcessInfo, DescribesThisProcess) {
  auto info = ProcessInfo::processInfo();
  EXPECT_EQ(info, ProcessInfo::processInfo());
  EXPECT_EQ(info->processIdentifier(), getpid());
  EXPECT_EQ(info->processName(), "kit_foundation_test");
  auto args = info->arguments();
  ASSERT_GE(args->count(), 1u);
  EXPECT_TRUE(as<String>(args->objectAtIndex(0))->hasSuffix("kit_foundation_test"));

  setenv("KIT_PROCESS_INFO_PROBE", "a=b", 1);
  EXPECT_EQ(describe(Id(info->environment())["KIT_PROCESS_INFO_PROBE"]), "a=b");
  unsetenv("KIT_PROCESS_INFO_PROBE");
  EXPECT_EQ(Id(info->environment())["KIT_PROCESS_INFO_PROBE"], nullptr);

  EXPECT_FALSE(info->hostName().empty());
  EXPECT_FALSE(info->machine().empty());
  EXPECT_GT(info->physicalMemory(), 16ull << 20);
  EXPECT_GE(info->processorCount(), 1u);
  EXPECT_GE(info->activeProcessorCount(), 1u);
  EXPECT_LE(info->activeProcessorCount(), info->processorCount());
  OperatingSystemVersion v = info->operatingSystemVersion();
  EXPECT_GT(v.majorVersion, 0);
  EXPECT_TRUE(info->isOperatingSystemAtLeastVersion({v.majorVersion, 0, 0}));
  EXPECT_FALSE(info->isOperatingSystemAtLeastVersion({v.majorVersion + 1, 0, 0}));
  EXPECT_EQ(info->operatingSystemVersionString().rfind("Version " + std::to_string(v.majorVersion) + ".", 0), 0u);

  {
    ScopedMediaTime uptime(1234.5);
    EXPECT_EQ(info->systemUptime(), 1234.5);
  }
  std::string first = info->globallyUniqueString(), second = info->globallyUniqueString();
  EXPECT_NE(first, second);
  EXPECT_TRUE(std::regex_match(first, std::regex("^[0-9A-F-]{36}-" + std::to_string(getpid()) + "-[0-9A-F]{16}$")))
      << first;

  info->setProcessName("renamed");
  EXPECT_EQ(info->processName(), "renamed");
  info->setProcessName("");
  EXPECT_EQ(info->processName(), "kit_foundation_test");
}

}  // namespace
}  // namespace kit
