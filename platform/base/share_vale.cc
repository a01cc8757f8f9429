// The platform SDK's shared values: bundle configuration cached per
// instance, session values in the standard user defaults. See
// share_vale.h.
#include "platform/base/share_vale.h"

#include <algorithm>
#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/device_description.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/foundation/user_defaults.h"
#include "platform/base/log_redaction.h"

namespace {

// User-defaults keys of the session values.
constexpr std::string_view kLoginStyleKey = "KT_LoginStyle";
constexpr std::string_view kPtbValueKey = "KT_ptbValue";
constexpr std::string_view kNoticeIdKey = "KT_noticeId";
constexpr std::string_view kUserNameKey = "KT_username";
constexpr std::string_view kIsRzKey = "KT_isRz";
constexpr std::string_view kSidKey = "KT_sid";
constexpr std::string_view kSubUserNameKey = "KT_subUserName";
constexpr std::string_view kPassWordKey = "KT_pwd";
constexpr std::string_view kSuHomeCountKey = "KT_suHomeCount";
constexpr std::string_view kSuGiftCountKey = "KT_suGiftCount";
constexpr std::string_view kSuCouponCountKey = "KT_suCouponCount";

// The bundle's configuration.
constexpr std::string_view kPlistName = "KT.plist";
constexpr std::string_view kChannelFolder = "KTAppInfo/Channel";
constexpr const char* kPhoneType = "3";

std::mutex& classLock() {
  static kit::NoDestructor<std::mutex> lock;
  return *lock;
}

kit::Ref<ShareVale>& instanceSlot() {
  static kit::NoDestructor<kit::Ref<ShareVale>> slot;
  return *slot;
}

kit::Ref<kit::UserDefaults> defaults() { return kit::UserDefaults::standardUserDefaults(); }

// Stores the value and writes the defaults at once. A value the defaults
// cannot hold (the null object of a JSON reply, a container holding one)
// removes the key instead, so that the getter answers nil, never an older
// value, and the caller's flow goes on.
void persist(const kit::Id& value, std::string_view key) {
  auto store = defaults();
  try {
    store->setObject(value, key);
  } catch (const kit::Exception&) {
    kit::log("ShareVale: %@ cannot be stored under %@; the key is cleared",
             LogRedaction::isSecretKey(key) ? kit::Id(kit::str(LogRedaction::kMask)) : LogRedaction::redacted(value),
             std::string(key));
    store->removeObjectForKey(key);
  }
  store->synchronize();
}

}  // namespace

kit::Ref<ShareVale> ShareVale::sharedInstance() {
  std::lock_guard lock(classLock());
  auto& slot = instanceSlot();
  if (!slot) slot = kit::make<ShareVale>();
  return slot;
}

void ShareVale::distroyInstance() {
  kit::Ref<ShareVale> dropped;
  {
    std::lock_guard lock(classLock());
    dropped = std::move(instanceSlot());
  }
  // Released outside the lock; a caller holding it keeps it alive.
}

// ---- Persisted values ------------------------------------------------------------

unsigned long ShareVale::loginStyle() const {
  return static_cast<unsigned long>(defaults()->integerForKey(kLoginStyleKey));
}

void ShareVale::setLoginStyle(unsigned long style) { persist(kit::num(style), kLoginStyleKey); }

kit::Id ShareVale::ptbValue() const { return defaults()->objectForKey(kPtbValueKey); }
void ShareVale::setPtbValue(const kit::Id& value) { persist(value, kPtbValueKey); }

kit::Id ShareVale::noticeId() const { return defaults()->objectForKey(kNoticeIdKey); }
void ShareVale::setNoticeId(const kit::Id& value) { persist(value, kNoticeIdKey); }

kit::Id ShareVale::isRz() const { return defaults()->objectForKey(kIsRzKey); }
void ShareVale::setIsRz(const kit::Id& value) { persist(value, kIsRzKey); }

kit::Ref<kit::String> ShareVale::userName() const { return defaults()->stringForKey(kUserNameKey); }
void ShareVale::setUserName(const kit::Ref<kit::String>& value) { persist(value, kUserNameKey); }

kit::Ref<kit::String> ShareVale::sid() const { return defaults()->stringForKey(kSidKey); }
void ShareVale::setSid(const kit::Ref<kit::String>& value) { persist(value, kSidKey); }

kit::Ref<kit::String> ShareVale::subUserName() const { return defaults()->stringForKey(kSubUserNameKey); }
void ShareVale::setSubUserName(const kit::Ref<kit::String>& value) { persist(value, kSubUserNameKey); }

kit::Ref<kit::String> ShareVale::passWord() const { return defaults()->stringForKey(kPassWordKey); }
void ShareVale::setPassWord(const kit::Ref<kit::String>& value) { persist(value, kPassWordKey); }

long ShareVale::suHomeCount() const { return defaults()->integerForKey(kSuHomeCountKey); }
void ShareVale::setSuHomeCount(long count) { persist(kit::num(count), kSuHomeCountKey); }

long ShareVale::suGiftCount() const { return defaults()->integerForKey(kSuGiftCountKey); }
void ShareVale::setSuGiftCount(long count) { persist(kit::num(count), kSuGiftCountKey); }

long ShareVale::suCouponCount() const { return defaults()->integerForKey(kSuCouponCountKey); }
void ShareVale::setSuCouponCount(long count) { persist(kit::num(count), kSuCouponCountKey); }

// ---- Configuration values --------------------------------------------------------

template <class Read>
kit::Ref<kit::String> ShareVale::cached(kit::Ref<kit::String>& slot, Read read) {
  std::lock_guard lock(mutex_);
  if (!slot) slot = read();
  return slot;
}

void ShareVale::store(kit::Ref<kit::String>& slot, const kit::Ref<kit::String>& value) {
  std::lock_guard lock(mutex_);
  slot = value;
}

kit::Ref<kit::String> ShareVale::appKey() {
  return cached(appKey_, [&] { return plistText("TOLMIX_APPKEY"); });
}

kit::Ref<kit::String> ShareVale::gameID() {
  return cached(gameID_, [&] { return plistText("TOLMIX_GAMEID"); });
}

kit::Ref<kit::String> ShareVale::appID() {
  return cached(appID_, [&] { return plistText("TOLMIX_APPID"); });
}

kit::Ref<kit::String> ShareVale::chanelid() {
  return cached(chanelid_, [&] { return readChanelid(); });
}

kit::Ref<kit::String> ShareVale::phoneType() {
  return cached(phoneType_, [] { return kit::str(kPhoneType); });
}

kit::Ref<kit::String> ShareVale::version() {
  return cached(version_, [] { return kit::str(kit::DeviceDescription::current().systemVersion); });
}

void ShareVale::setAppID(const kit::Ref<kit::String>& value) { store(appID_, value); }
void ShareVale::setGameID(const kit::Ref<kit::String>& value) { store(gameID_, value); }
void ShareVale::setChanelid(const kit::Ref<kit::String>& value) { store(chanelid_, value); }
void ShareVale::setPhoneType(const kit::Ref<kit::String>& value) { store(phoneType_, value); }
void ShareVale::setVersion(const kit::Ref<kit::String>& value) { store(version_, value); }
void ShareVale::setAppKey(const kit::Ref<kit::String>& value) { store(appKey_, value); }

kit::Ref<kit::Dictionary> ShareVale::getKTPlist() const {
  kit::Ref<kit::String> path = kit::Bundle::main()->pathForResource(kPlistName, "");
  return path ? kit::dictionaryWithContentsOfFile(path->utf8()) : nullptr;
}

// A configuration value is text; a number written in the plist counts as
// its text, anything else as missing.
kit::Ref<kit::String> ShareVale::plistText(std::string_view key) const {
  kit::Ref<kit::Dictionary> plist = getKTPlist();
  kit::Id value = plist ? plist->objectForKey(key) : nullptr;
  if (auto text = std::dynamic_pointer_cast<kit::String>(value)) return text;
  if (std::dynamic_pointer_cast<kit::Number>(value)) return kit::text(value);
  return nullptr;
}

kit::Ref<kit::String> ShareVale::readChanelid() const {
  const std::string folder = kit::Bundle::main()->bundlePath() + "/" + std::string(kChannelFolder);
  std::string entry;
  bool isDirectory = false;
  auto files = kit::FileManager::defaultManager();
  if (files->fileExistsAtPath(folder, &isDirectory) && isDirectory) {
    // Sub-paths come in name order, so every machine takes the same entry.
    kit::Ref<kit::Array> subpaths = files->subpathsOfDirectoryAtPath(folder);
    if (subpaths && subpaths->count() > 0) entry = kit::describe(subpaths->objectAtIndex(0));
  }
  kit::Ref<kit::String> agent = plistText("TOLMIX_AGENT");
  if (entry.empty()) return agent;
  std::erase_if(entry, [](char c) { return c == ' ' || c == '\n'; });
  return kit::str(entry);
}

kit::Ref<kit::String> ShareVale::userID() const {
  std::lock_guard lock(mutex_);
  return userID_;
}
void ShareVale::setUserID(const kit::Ref<kit::String>& value) { store(userID_, value); }

kit::Ref<kit::String> ShareVale::productName() const {
  std::lock_guard lock(mutex_);
  return productName_;
}
void ShareVale::setProductName(const kit::Ref<kit::String>& value) { store(productName_, value); }

kit::Ref<kit::String> ShareVale::productDesc() const {
  std::lock_guard lock(mutex_);
  return productDesc_;
}
void ShareVale::setProductDesc(const kit::Ref<kit::String>& value) { store(productDesc_, value); }
