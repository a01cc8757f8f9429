// ShareVale: the platform SDK's process-wide store of identities and of the
// logged-in player's session values.
//
// Configuration values (app id, game id, app key, channel id, phone type,
// system version) are read from the main bundle on first use and cached in
// the instance; a value that reads as nil is read again on the next access,
// and a plain setter replaces the cached value without touching the
// bundle. The cache is filled and read under the instance's lock, so any
// thread may ask.
//
// Session values live in the standard user defaults so that they survive a
// restart: every setter writes its key and synchronises at once, every
// getter reads the key afresh. The password is kept in clear text under
// "KT_pwd" because automatic login needs it back; it is never logged.
//
// sharedInstance hands out shared ownership: after distroyInstance the next
// caller gets a fresh instance (which reads the bundle again), while a
// caller still holding the old one keeps a valid object.
//
//   auto share = ShareVale::sharedInstance();
//   share->setLoginStyle(KTLoginStyleAutoLogin);
//   kit::describe(share->gameID());   // "1001", or "(null)" without KT.plist
#pragma once

#include <mutex>
#include <string_view>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

// Login styles ("KT_LoginStyle"): what the login window shows next.
inline constexpr unsigned long KTLoginStyleEmptyForm = 0;  // the empty form (nothing stored)
inline constexpr unsigned long KTLoginStyleAutoLogin = 1;  // log in again with the saved name and password
inline constexpr unsigned long KTLoginStyleSavedName = 2;  // the form with the saved name filled in

class ShareVale : public kit::Object {
 public:
  // The one instance, created on first use under the class's lock.
  static kit::Ref<ShareVale> sharedInstance();
  // Drops the instance under the same lock; persisted values stay.
  static void distroyInstance();

  // ---- Persisted session values (standard user defaults)
  unsigned long loginStyle() const;  // "KT_LoginStyle"; 0 when absent
  void setLoginStyle(unsigned long style);
  // "KT_ptbValue", "KT_noticeId" and "KT_isRz" keep the object given (text
  // or number) and give it back as it was stored.
  kit::Id ptbValue() const;
  void setPtbValue(const kit::Id& value);
  kit::Id noticeId() const;
  void setNoticeId(const kit::Id& value);
  kit::Id isRz() const;
  void setIsRz(const kit::Id& value);
  // Texts: "KT_username", "KT_sid", "KT_subUserName", "KT_pwd". A stored
  // number reads back as its text; nil removes the key.
  kit::Ref<kit::String> userName() const;
  void setUserName(const kit::Ref<kit::String>& value);
  kit::Ref<kit::String> sid() const;
  void setSid(const kit::Ref<kit::String>& value);
  kit::Ref<kit::String> subUserName() const;
  void setSubUserName(const kit::Ref<kit::String>& value);
  kit::Ref<kit::String> passWord() const;
  void setPassWord(const kit::Ref<kit::String>& value);
  // Red-dot counts of the user centre; 0 when absent.
  long suHomeCount() const;
  void setSuHomeCount(long count);
  long suGiftCount() const;
  void setSuGiftCount(long count);
  long suCouponCount() const;
  void setSuCouponCount(long count);

  // ---- Configuration values (cached; the setters do not persist)
  kit::Ref<kit::String> appKey();    // "TOLMIX_APPKEY" of KT.plist
  kit::Ref<kit::String> gameID();    // "TOLMIX_GAMEID"
  kit::Ref<kit::String> appID();     // "TOLMIX_APPID"
  // The first entry of the bundle folder "KTAppInfo/Channel" (entries in
  // name order) without blanks and line feeds, else "TOLMIX_AGENT".
  kit::Ref<kit::String> chanelid();
  kit::Ref<kit::String> phoneType();  // "3"
  kit::Ref<kit::String> version();    // the device's system version
  void setAppID(const kit::Ref<kit::String>& value);
  void setGameID(const kit::Ref<kit::String>& value);
  void setChanelid(const kit::Ref<kit::String>& value);
  void setPhoneType(const kit::Ref<kit::String>& value);
  void setVersion(const kit::Ref<kit::String>& value);
  void setAppKey(const kit::Ref<kit::String>& value);

  // The main bundle's "KT.plist", read afresh on every call; nil when it is
  // missing or not a dictionary.
  kit::Ref<kit::Dictionary> getKTPlist() const;

  // ---- Plain in-memory values (nil at first, not persisted)
  kit::Ref<kit::String> userID() const;
  void setUserID(const kit::Ref<kit::String>& value);
  kit::Ref<kit::String> productName() const;
  void setProductName(const kit::Ref<kit::String>& value);
  kit::Ref<kit::String> productDesc() const;
  void setProductDesc(const kit::Ref<kit::String>& value);

 private:
  // The cached value in `slot`, read with `read` when it is nil.
  template <class Read>
  kit::Ref<kit::String> cached(kit::Ref<kit::String>& slot, Read read);
  void store(kit::Ref<kit::String>& slot, const kit::Ref<kit::String>& value);
  kit::Ref<kit::String> plistText(std::string_view key) const;
  kit::Ref<kit::String> readChanelid() const;

  mutable std::mutex mutex_;
  kit::Ref<kit::String> appKey_, gameID_, appID_, chanelid_, phoneType_, version_;
  kit::Ref<kit::String> userID_, productName_, productDesc_;
};
