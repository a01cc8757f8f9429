// The client configuration: which source answers for a key, how it follows
// changes of bundle and environment, and what happens to bad input (each
// bad source is logged and the next one answers).
#include "config/client_configuration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "config/service_entries.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/temp_directory.h"

namespace {

using Config = ClientConfiguration;

std::string valueOf(std::string_view key) { return kit::describe(Config::shared().valueForKey(key)); }

// A fresh main bundle, no configuration variables and no overrides while a
// test runs; all three are put back afterwards.
class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::string> names{Config::kServicesEnvironmentVariable};
    for (const ServiceKey& key : Config::keys()) names.emplace_back(key.environmentVariable);
    for (const auto& name : names) {
      const char* value = std::getenv(name.c_str());
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name.c_str());
    }
    kit::Bundle::setMainBundlePath(bundle_.path());
    Config::shared().setOverrides(nullptr);
  }
  void TearDown() override {
    Config::shared().setOverrides(nullptr);
    kit::Bundle::setMainBundlePath("");
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    Config::shared().reload();
  }

  void setEnv(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }
  void writePlist(const std::string& path, const kit::Id& plist) {
    ASSERT_TRUE(kit::writePropertyListToFile(plist, path)) << path;
    Config::shared().reload();
  }
  void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    Config::shared().reload();
  }
  std::string bundleFile(std::string_view name) const { return bundle_.file(name); }

  kit::test::TempDirectory bundle_{"config-bundle"};
  kit::test::TempDirectory files_{"config-files"};

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// ---- Precedence ------------------------------------------------------------------

TEST_F(ConfigurationTest, OverrideBeatsEnvironmentBeatsServicesFileBeatsBundleListBeatsInfoPlistBeatsDefault) {
  const char* key = Config::kPlatformAPIBase;
  writePlist(bundleFile("Info.plist"), kit::dict({{"CFBundleIdentifier", "com.example.starfleet"},
                                                  {key, "http://127.0.0.1:5005"},
                                                  {Config::kChannelGameServer, "https://127.0.0.1:6000/game"}}));
  writePlist(bundleFile("ServiceHosts.plist"), kit::dict({{key, "http://127.0.0.1:5004/"}}));
  const std::string services = files_.file("services.plist");
  writePlist(services, kit::dict({{key, "http://127.0.0.1:5003"}}));
  setEnv(Config::kServicesEnvironmentVariable, services);
  setEnv("GAMECLIENT_PLATFORM_API_BASE", "http://127.0.0.1:5002");
  Config::shared().setOverrides(kit::dict({{key, "http://127.0.0.1:5001"}}));

  EXPECT_EQ(valueOf(key), "http://127.0.0.1:5001");
  // Each key on its own: only the Info.plist names the game server.
  EXPECT_EQ(valueOf(Config::kChannelGameServer), "https://127.0.0.1:6000/game");
  EXPECT_EQ(valueOf(Config::kChannelSDKServer), "https://sdk.channel.invalid/");

  Config::shared().setOverrides(nullptr);
  EXPECT_EQ(valueOf(key), "http://127.0.0.1:5002");
  unsetenv("GAMECLIENT_PLATFORM_API_BASE");
  EXPECT_EQ(valueOf(key), "http://127.0.0.1:5003");
  unsetenv(Config::kServicesEnvironmentVariable);
  EXPECT_EQ(valueOf(key), "http://127.0.0.1:5004/");
  std::filesystem::remove(bundleFile("ServiceHosts.plist"));
  Config::shared().reload();
  EXPECT_EQ(valueOf(key), "http://127.0.0.1:5005");
  kit::test::TempDirectory emptyBundle("config-empty-bundle");
  kit::Bundle::setMainBundlePath(emptyBundle.path());
  EXPECT_EQ(valueOf(key), "http://sdkapi.platform.invalid");
}

TEST_F(ConfigurationTest, ServiceURLsJoinTheAddressAndThePathWithOneSlash) {
  Config::shared().setOverrides(kit::dict({{Config::kPlatformAPIBase, "http://127.0.0.1:4000//"},
                                           {Config::kChannelSDKServer, "http://127.0.0.1:4001/sdk"}}));
  EXPECT_EQ(kit::describe(Config::shared().urlForService(Config::kPlatformAPIBase, "sdkapicoupon/")),
            "http://127.0.0.1:4000/sdkapicoupon/");
  EXPECT_EQ(kit::describe(Config::shared().urlForService(Config::kChannelSDKServer, "//login/index")),
            "http://127.0.0.1:4001/sdk/login/index");
  EXPECT_EQ(kit::describe(Config::shared().urlForService(Config::kChannelSDKServer, "")), "http://127.0.0.1:4001/sdk/");
  EXPECT_FALSE(Config::shared().valueForKey("ChannelSdkServer")) << "names are exact";
  EXPECT_FALSE(Config::shared().urlForService("NoSuchService", "x"));
}

TEST_F(ConfigurationTest, FollowsTheMainBundleAndTheEnvironmentWithoutAReload) {
  writePlist(bundleFile("ServiceHosts.plist"), kit::dict({{Config::kGamePage, "http://127.0.0.1:7001/index.html"}}));
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7001/index.html");

  kit::test::TempDirectory other("config-other-bundle");
  ASSERT_TRUE(kit::writePropertyListToFile(kit::dict({{Config::kGamePage, "http://127.0.0.1:7002/index.html"}}),
                                           other.file("ServiceHosts.plist")));
  kit::Bundle::setMainBundlePath(other.path());
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7002/index.html");
  kit::Bundle::setMainBundlePath(bundle_.path());
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7001/index.html");

  const std::string first = files_.file("first.json"), second = files_.file("second.json");
  writeBytes(first, R"({"GamePage": "http://127.0.0.1:7003/index.html"})");
  writeBytes(second, R"({"GamePage": "http://127.0.0.1:7004/index.html"})");
  setEnv(Config::kServicesEnvironmentVariable, first);
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7003/index.html");
  setEnv(Config::kServicesEnvironmentVariable, second);
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7004/index.html");
  setEnv("GAMECLIENT_GAME_PAGE", "http://127.0.0.1:7005/index.html?_channel=nuva");
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7005/index.html?_channel=nuva");
  unsetenv("GAMECLIENT_GAME_PAGE");
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7004/index.html");

  // The same file rewritten is read again on reload().
  std::ofstream(second) << R"({"GamePage": "http://127.0.0.1:7006/index.html"})";
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7004/index.html");
  Config::shared().reload();
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:7006/index.html");
}

TEST_F(ConfigurationTest, ServicesFilesMayBeXMLOrBinaryPropertyListsOrJSON) {
  auto entries = kit::dict({{Config::kChannelSDKServer, "http://127.0.0.1:8001/sdk/"},
                            {Config::kPaymentGateway, "https://127.0.0.1:8002/"}});
  auto binary = kit::PropertyListSerialization::dataWithPropertyList(entries, kit::PropertyListFormat::Binary);
  auto xml = kit::PropertyListSerialization::dataWithPropertyList(entries, kit::PropertyListFormat::XML);
  auto json = kit::JSONSerialization::dataWithJSONObject(entries);
  ASSERT_TRUE(binary && xml && json);
  for (const auto& data : {binary, xml, json}) {
    std::string bytes(reinterpret_cast<const char*>(data->bytes()), data->length());
    const std::string path = files_.file("services");
    writeBytes(path, bytes);
    setEnv(Config::kServicesEnvironmentVariable, path);
    EXPECT_EQ(valueOf(Config::kChannelSDKServer), "http://127.0.0.1:8001/sdk/") << bytes.substr(0, 40);
    EXPECT_EQ(valueOf(Config::kPaymentGateway), "https://127.0.0.1:8002/");
  }
  // A byte-order mark and white space before a JSON object are fine.
  writeBytes(files_.file("services"), "\xEF\xBB\xBF \n{\"PaymentGateway\": \"https://127.0.0.1:8003/\"}");
  EXPECT_EQ(valueOf(Config::kPaymentGateway), "https://127.0.0.1:8003/");
}

// ---- Bad input -------------------------------------------------------------------

TEST_F(ConfigurationTest, AServicesFileThatCannotBeReadIsLoggedAndTheBundleAnswers) {
  writePlist(bundleFile("ServiceHosts.plist"), kit::dict({{Config::kChannelSDKServer, "http://127.0.0.1:9000/sdk/"}}));
  struct Case {
    std::string name;
    std::optional<std::string> bytes;  // nullopt: no file at all
    std::string logged;
  };
  const std::vector<Case> cases = {
      {"missing.plist", std::nullopt, "missing.plist"},
      {"empty.plist", "", "empty"},
      {"garbage.plist", "\x01\x02 not a property list", "neither a property list nor a JSON object"},
      {"cut.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>ChannelSDKServer</key>",
       "neither a property list nor a JSON object"},
      {"cut.json", R"({"ChannelSDKServer": "http://127.0.0.1:1/)", "not a JSON object"},
      {"array.plist", R"(<?xml version="1.0"?><plist version="1.0"><array><string>x</string></array></plist>)",
       "holds an array, not a dictionary"},
      {"large.json", "{\"PlatformWebHost\": \"http://127.0.0.1/" + std::string(kMaxServicesFileBytes, 'a') + "\"}",
       "large.json"},
  };
  for (const auto& c : cases) {
    const std::string path = files_.file(c.name);
    if (c.bytes) writeBytes(path, *c.bytes);
    setEnv(Config::kServicesEnvironmentVariable, path);
    kit::test::LogCapture logs;
    EXPECT_EQ(valueOf(Config::kChannelSDKServer), "http://127.0.0.1:9000/sdk/") << c.name;
    EXPECT_EQ(valueOf(Config::kPlatformWebHost), "http://sdkapi.platform.invalid/") << c.name;
    EXPECT_TRUE(logs.contains(c.logged)) << c.name << ": " << ::testing::PrintToString(logs.messages());
    EXPECT_TRUE(logs.contains("GAMECLIENT_SERVICES")) << c.name;
    EXPECT_EQ(logs.count(), 1u) << "logged once, not on every lookup: " << c.name;
  }
  // A folder in place of the file cannot be read either.
  setEnv(Config::kServicesEnvironmentVariable, files_.path());
  kit::test::LogCapture logs;
  EXPECT_EQ(valueOf(Config::kChannelSDKServer), "http://127.0.0.1:9000/sdk/");
  EXPECT_TRUE(logs.contains(files_.path()));
}

TEST_F(ConfigurationTest, EntriesOfTheWrongKindAreLoggedOneByOneAndTheRestIsUsed) {
  writePlist(bundleFile("ServiceHosts.plist"),
             kit::dict({{Config::kChannelSDKServer, "http://127.0.0.1:9100/"},
                        {Config::kChannelGameServer, "http://127.0.0.1:9101/"},
                        {Config::kGamePage, "http://127.0.0.1:9102/index.html"},
                        {Config::kPlatformWebHost, "http://127.0.0.1:9103/"}}));
  const std::string services = files_.file("services.json");
  writeBytes(services, R"({
    "ChannelSDKServer": 8080,
    "ChannelGameServer": ["http://127.0.0.1:1/"],
    "GamePage": "",
    "PlatformWebHost": "ftp://127.0.0.1/pub",
    "ChannelActivityHost": "http://127.0.0.1:9104/",
    "ChannelActivityHostt": "http://127.0.0.1:9105/",
    "PaymentGateway": "javascript:alert(1)\n"
  })");
  setEnv(Config::kServicesEnvironmentVariable, services);
  kit::test::LogCapture logs;
  EXPECT_EQ(valueOf(Config::kChannelSDKServer), "http://127.0.0.1:9100/");
  EXPECT_EQ(valueOf(Config::kChannelGameServer), "http://127.0.0.1:9101/");
  EXPECT_EQ(valueOf(Config::kGamePage), "http://127.0.0.1:9102/index.html");
  EXPECT_EQ(valueOf(Config::kPlatformWebHost), "http://127.0.0.1:9103/");
  EXPECT_EQ(valueOf(Config::kChannelActivityHost), "http://127.0.0.1:9104/");
  EXPECT_EQ(valueOf(Config::kPaymentGateway), "https://gateway.payvendor.invalid/");
  for (const char* line : {"\"ChannelSDKServer\" is a number, not a text", "\"ChannelGameServer\" is an array",
                           "\"GamePage\" is empty", "\"PlatformWebHost\" = \"ftp://127.0.0.1/pub\" is not an http",
                           "unknown key \"ChannelActivityHostt\"", "\"javascript:alert(1)\\x0a\""}) {
    EXPECT_TRUE(logs.contains(line)) << line << " in " << ::testing::PrintToString(logs.messages());
  }
  EXPECT_EQ(logs.count(), 6u);
  for (const auto& message : logs.messages()) EXPECT_NE(message.find(services), std::string::npos) << message;
}

TEST_F(ConfigurationTest, BadEnvironmentValuesBundleEntriesAndOverridesAreLeftOut) {
  writePlist(bundleFile("Info.plist"), kit::dict({{"CFBundleIdentifier", "com.example.starfleet"},
                                                  {Config::kPlatformAPIBase, kit::num(3)}}));
  writePlist(bundleFile("ServiceHosts.plist"), kit::dict({{Config::kChannelSDKServer, "http://127.0.0.1:9200/"},
                                                          {Config::kChannelVideoBase, kit::dict()}}));
  setEnv("GAMECLIENT_CHANNEL_SDK_SERVER", "127.0.0.1:9201");
  kit::test::LogCapture logs;
  Config::shared().setOverrides(kit::dict({{Config::kChannelGameServer, kit::num(1)}, {"Elsewhere", "http://x/"}}));
  EXPECT_EQ(valueOf(Config::kChannelSDKServer), "http://127.0.0.1:9200/");
  EXPECT_EQ(valueOf(Config::kPlatformAPIBase), "http://sdkapi.platform.invalid");
  EXPECT_EQ(valueOf(Config::kChannelVideoBase), "http://game.channel.invalid/");
  EXPECT_EQ(valueOf(Config::kChannelGameServer), "https://game.channel.invalid/");
  for (const char* line : {"GAMECLIENT_CHANNEL_SDK_SERVER is not an http or https address",
                           "Info.plist: \"PlatformAPIBase\" is a number", "\"ChannelVideoBase\" is a dictionary",
                           "overrides: \"ChannelGameServer\" is a number", "overrides: unknown key \"Elsewhere\""}) {
    EXPECT_TRUE(logs.contains(line)) << line << " in " << ::testing::PrintToString(logs.messages());
  }
  EXPECT_FALSE(logs.contains("CFBundleIdentifier")) << "the Info.plist's own keys are not configuration";
}

// ---- The shipped bundle ----------------------------------------------------------

TEST_F(ConfigurationTest, TheShippedBundleAndTheDefaultsNameEveryKeyAndNoReachableHost) {
  auto reachable = [](const std::string& address) {
    auto host = kit::URL::URLWithString(address)->host()->utf8();
    return !host.ends_with(".invalid");
  };
  for (const ServiceKey& key : Config::keys()) {
    EXPECT_EQ(valueOf(key.name), key.placeholder) << "an empty bundle gives the placeholders";
    EXPECT_FALSE(reachable(std::string(key.placeholder))) << key.name;
    EXPECT_TRUE(std::string_view(key.environmentVariable).starts_with("GAMECLIENT_")) << key.name;
  }
  kit::Bundle::setMainBundlePath(CONFIG_RESOURCES_DIR);
  kit::test::LogCapture logs;
  auto shipped = kit::dictionaryWithContentsOfFile(std::string(CONFIG_RESOURCES_DIR) + "/ServiceHosts.plist");
  ASSERT_TRUE(shipped);
  for (const ServiceKey& key : Config::keys()) {
    EXPECT_TRUE(shipped->objectForKey(key.name)) << key.name << " is missing from ServiceHosts.plist";
    EXPECT_FALSE(reachable(valueOf(key.name))) << key.name;
  }
  EXPECT_EQ(logs.count(), 0u) << ::testing::PrintToString(logs.messages());
}

}  // namespace
