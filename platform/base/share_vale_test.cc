// ShareVale against a real bundle folder and a real user-defaults file:
// the channel id and configuration values from the bundle, their caching,
// the session values across a reload from disk, and the instance's
// lifetime while other threads use it.
#include "platform/base/share_vale.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kit/foundation/device_description.h"
#include "kit/foundation/number.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "platform/base/testing/platform_test_bundle.h"

namespace {

std::string said(const kit::Id& value) { return kit::describe(value); }

bool isNumber(const kit::Id& value) { return std::dynamic_pointer_cast<kit::Number>(value) != nullptr; }
bool isText(const kit::Id& value) { return std::dynamic_pointer_cast<kit::String>(value) != nullptr; }

TEST(ShareValeChannel, FirstEntryOfTheChannelFolderWithoutBlanksAndLineFeeds) {
  PlatformTestBundle bundle;
  bundle.addChannelEntry("ag 01\n");
  EXPECT_EQ(said(ShareVale::sharedInstance()->chanelid()), "ag01");
}

TEST(ShareValeChannel, EntriesAreTakenInNameOrder) {
  PlatformTestBundle bundle;
  bundle.addChannelEntry("zz9");
  bundle.addChannelEntry("b 2");
  bundle.addChannelEntry("a1");
  EXPECT_EQ(said(ShareVale::sharedInstance()->chanelid()), "a1");
}

TEST(ShareValeChannel, EmptyOrMissingFolderFallsBackToTheAgent) {
  {
    PlatformTestBundle bundle;
    bundle.makeChannelFolder();
    EXPECT_EQ(said(ShareVale::sharedInstance()->chanelid()), "agent7");
  }
  {
    PlatformTestBundle bundle;
    EXPECT_EQ(said(ShareVale::sharedInstance()->chanelid()), "agent7");
  }
  {
    // Neither: nil, and read again once the plist is there.
    PlatformTestBundle bundle({.ktPlist = false});
    auto share = ShareVale::sharedInstance();
    EXPECT_EQ(share->chanelid(), nullptr);
    bundle.writeKTPlist(kit::dict({{"TOLMIX_AGENT", "late"}}));
    EXPECT_EQ(said(share->chanelid()), "late");
  }
}

TEST(ShareValeConfiguration, ConstantsAndTheDeviceVersion) {
  PlatformTestBundle bundle;
  const kit::DeviceDescription saved = kit::DeviceDescription::current();
  kit::DeviceDescription device = saved;
  device.systemVersion = "13.6.1";
  kit::DeviceDescription::setCurrent(device);
  auto share = ShareVale::sharedInstance();
  EXPECT_EQ(said(share->phoneType()), "3");
  EXPECT_EQ(said(share->version()), "13.6.1");
  EXPECT_EQ(said(share->appID()), "10001");
  EXPECT_EQ(said(share->appKey()), "k1");
  kit::DeviceDescription::setCurrent(saved);
  // Cached for the life of the instance.
  EXPECT_EQ(said(share->version()), "13.6.1");
}

TEST(ShareValeConfiguration, NilIsReadAgainAndAValueStaysUntilTheInstanceGoes) {
  PlatformTestBundle bundle({.ktPlist = false});
  auto share = ShareVale::sharedInstance();
  EXPECT_EQ(share->gameID(), nullptr);
  EXPECT_EQ(share->getKTPlist(), nullptr);

  bundle.writeKTPlist(kit::dict({{"TOLMIX_GAMEID", "2002"}}));
  EXPECT_EQ(said(share->gameID()), "2002");
  bundle.writeKTPlist(kit::dict({{"TOLMIX_GAMEID", "3003"}}));
  EXPECT_EQ(said(share->gameID()), "2002") << "a value once read stays";

  share->setGameID(kit::str("9009"));
  EXPECT_EQ(said(ShareVale::sharedInstance()->gameID()), "9009");
  EXPECT_EQ(said(share->getKTPlist()->objectForKey("TOLMIX_GAMEID")), "3003") << "the plist is not touched";

  ShareVale::distroyInstance();
  EXPECT_EQ(said(ShareVale::sharedInstance()->gameID()), "3003");
}

TEST(ShareValeConfiguration, PlistNumbersCountAsTextOtherValuesAsMissing) {
  PlatformTestBundle bundle({.ktPlist = false});
  bundle.writeKTPlist(kit::dict({{"TOLMIX_GAMEID", 1001}, {"TOLMIX_APPID", kit::array({"1"})}}));
  auto share = ShareVale::sharedInstance();
  EXPECT_EQ(said(share->gameID()), "1001");
  EXPECT_TRUE(isText(share->gameID()));
  EXPECT_EQ(share->appID(), nullptr);
}

TEST(ShareValeSession, FreshStoreAndEverySetterAfterAReloadFromDisk) {
  PlatformTestBundle bundle;
  auto share = ShareVale::sharedInstance();
  EXPECT_EQ(share->loginStyle(), KTLoginStyleEmptyForm);
  EXPECT_EQ(share->suGiftCount(), 0);
  EXPECT_EQ(share->userName(), nullptr);
  EXPECT_EQ(share->isRz(), nullptr);

  share->setLoginStyle(KTLoginStyleSavedName);
  share->setSuHomeCount(3);
  share->setSuGiftCount(5);
  share->setSuCouponCount(-2);
  share->setNoticeId(kit::num(7));
  share->setUserName(kit::str("player01"));
  share->setSid(kit::str("s1"));
  share->setSubUserName(kit::str("sub9"));
  share->setPassWord(kit::str("pw123456"));
  share->setIsRz(kit::num(1));
  share->setPtbValue(kit::str("12.5"));
  share->setUserID(kit::str("u77"));
  share->setProductName(kit::str("元宝"));
  share->setProductDesc(kit::str("60元宝"));

  // What a restart sees: the defaults file read again, a new instance.
  PlatformTestBundle::reloadUserDefaults();
  ShareVale::distroyInstance();
  share = ShareVale::sharedInstance();
  EXPECT_EQ(share->loginStyle(), KTLoginStyleSavedName);
  EXPECT_EQ(share->suHomeCount(), 3);
  EXPECT_EQ(share->suGiftCount(), 5);
  EXPECT_EQ(share->suCouponCount(), -2);
  EXPECT_TRUE(isNumber(share->noticeId()));
  EXPECT_EQ(said(share->noticeId()), "7");
  EXPECT_EQ(said(share->userName()), "player01");
  EXPECT_EQ(said(share->sid()), "s1");
  EXPECT_EQ(said(share->subUserName()), "sub9");
  EXPECT_EQ(said(share->passWord()), "pw123456");
  EXPECT_TRUE(isNumber(share->isRz()));
  EXPECT_EQ(said(share->isRz()), "1");
  EXPECT_TRUE(isText(share->ptbValue()));
  EXPECT_EQ(said(share->ptbValue()), "12.5");
  // The in-memory values are not persisted.
  EXPECT_EQ(share->userID(), nullptr);
  EXPECT_EQ(share->productName(), nullptr);
  EXPECT_EQ(share->productDesc(), nullptr);

  // The keys on disk, read by another reader of the same file.
  auto file = kit::UserDefaults::withFile(bundle.defaultsPath());
  EXPECT_EQ(said(file->objectForKey("KT_username")), "player01");
  EXPECT_EQ(said(file->objectForKey("KT_LoginStyle")), "2");
  EXPECT_EQ(said(file->objectForKey("KT_pwd")), "pw123456");
  EXPECT_EQ(said(file->objectForKey("KT_suGiftCount")), "5");
}

TEST(ShareValeSession, EverySessionValueIsStoredUnderItsExactName) {
  // The defaults file outlives an upgrade: each value must be found by the
  // next version under the name it was stored with.
  PlatformTestBundle bundle;
  auto share = ShareVale::sharedInstance();
  share->setLoginStyle(KTLoginStyleSavedName);
  share->setPtbValue(kit::str("12.5"));
  share->setNoticeId(kit::num(7));
  share->setUserName(kit::str("player01"));
  share->setIsRz(kit::num(1));
  share->setSid(kit::str("s1"));
  share->setSubUserName(kit::str("sub9"));
  share->setPassWord(kit::str("pw123456"));
  share->setSuHomeCount(3);
  share->setSuGiftCount(5);
  share->setSuCouponCount(-2);

  auto file = kit::UserDefaults::withFile(bundle.defaultsPath());
  const std::vector<std::pair<const char*, const char*>> stored = {
      {"KT_LoginStyle", "2"},   {"KT_ptbValue", "12.5"},    {"KT_noticeId", "7"},
      {"KT_username", "player01"}, {"KT_isRz", "1"},         {"KT_sid", "s1"},
      {"KT_subUserName", "sub9"}, {"KT_pwd", "pw123456"},    {"KT_suHomeCount", "3"},
      {"KT_suGiftCount", "5"},  {"KT_suCouponCount", "-2"}};
  for (const auto& [key, value] : stored) EXPECT_EQ(said(file->objectForKey(key)), value) << key;
  size_t sessionKeys = 0;
  for (const auto& [key, value] : file->dictionaryRepresentation()->entries()) {
    sessionKeys += kit::describe(key).starts_with("KT_");
  }
  EXPECT_EQ(sessionKeys, stored.size()) << "no value under another name";
}

TEST(ShareValeSession, ObjectsKeepTheirKindAndNilRemoves) {
  PlatformTestBundle bundle;
  auto share = ShareVale::sharedInstance();
  share->setNoticeId(kit::str("7"));
  share->setPtbValue(kit::num(30));
  PlatformTestBundle::reloadUserDefaults();
  EXPECT_TRUE(isText(share->noticeId()));
  EXPECT_TRUE(isNumber(share->ptbValue()));

  share->setUserName(kit::str("u1"));
  share->setUserName(nullptr);
  PlatformTestBundle::reloadUserDefaults();
  EXPECT_EQ(share->userName(), nullptr);
  // Logout stores the empty text, which is a value.
  share->setUserName(kit::str(""));
  EXPECT_EQ(said(share->userName()), "");
}

TEST(ShareValeSession, AValueTheDefaultsCannotHoldClearsTheKey) {
  PlatformTestBundle bundle;
  auto share = ShareVale::sharedInstance();
  share->setIsRz(kit::str("1"));
  share->setPtbValue(kit::str("40"));
  // A reply's JSON null, bare or inside a container.
  share->setIsRz(kit::null());
  share->setPtbValue(kit::array({kit::null()}));
  PlatformTestBundle::reloadUserDefaults();
  EXPECT_EQ(share->isRz(), nullptr);
  EXPECT_EQ(share->ptbValue(), nullptr);
}

TEST(ShareValeLifetime, DistroyLeavesPersistedValuesAndHeldInstances) {
  PlatformTestBundle bundle;
  auto held = ShareVale::sharedInstance();
  held->setSuGiftCount(5);
  held->setGameID(kit::str("777"));
  EXPECT_EQ(ShareVale::sharedInstance(), held);

  ShareVale::distroyInstance();
  auto fresh = ShareVale::sharedInstance();
  EXPECT_NE(fresh, held);
  EXPECT_EQ(said(fresh->gameID()), "1001");
  EXPECT_EQ(fresh->suGiftCount(), 5);
  // The old instance is still a whole object for whoever holds it.
  EXPECT_EQ(said(held->gameID()), "777");
  EXPECT_EQ(held->suGiftCount(), 5);
}

TEST(ShareValeLifetime, ManyThreadsReadWriteAndDropTheInstance) {
  PlatformTestBundle bundle;
  bundle.addChannelEntry("ch1");
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 300; ++i) {
        auto share = ShareVale::sharedInstance();
        const std::string game = kit::describe(share->gameID());
        if (game != "1001" && game != "set") ++wrong;
        if (kit::describe(share->chanelid()) != "ch1") ++wrong;
        if (t == 0 && i % 10 == 0) ShareVale::distroyInstance();
        if (t == 1) share->setGameID(kit::str("set"));
        if (t == 2 && i % 50 == 0) share->setSuHomeCount(i);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
