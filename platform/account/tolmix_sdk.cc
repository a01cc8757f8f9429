// The platform SDK's facade. See tolmix_sdk.h.
#include "platform/account/tolmix_sdk.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/array.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/url.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/net/url_cache.h"
#include "kit/ui/ui_types.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/account/cxr_helper_btn_port.h"
#include "platform/account/kt_alter_login_vc.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/base/share_vale.h"

namespace {

bool filled(const kit::Ref<kit::String>& text) { return text && text->length() > 0; }

}  // namespace

void TolmixSDK::didFinishLaunching() {
  KIT_CHECK_MAIN_THREAD();
  // The disk path is the platform's: a folder of the application's caches,
  // not of whatever the working directory happens to be.
  std::string folder = kCachePath;
  auto caches = kit::searchPathForDirectoriesInDomains(kit::CachesDirectory);
  if (caches && caches->count() > 0) folder = kit::describe(caches->objectAtIndex(0)) + "/" + kCachePath;
  kit::URLCache::setSharedURLCache(kit::URLCache::make(kCacheMemoryCapacity, kCacheDiskCapacity, folder));
}

void TolmixSDK::loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed) {
  KIT_CHECK_MAIN_THREAD();
  KTAlterLoginVC::loadAlterLoginVCResultSuccess(
      [success](const Text& loginTime, const Text& userName, const Text& sign, const Text& realName) {
        if (success) success(loginTime, userName, sign, realName);
      },
      [failed](const Text& message, const Text& code) {
        if (failed) failed(code ? static_cast<long>(code->intValue()) : 0, message);
      });
}

void TolmixSDK::loadToPayVCWithroleid(const Text& roleid, const Text& money, const Text& serverid,
                                      const Text& productName, const Text& productDesc, const Text& attach,
                                      PaySuccess success, PayFailure faild) {
  KTNewPayVC::loadToPayVCWithroleid(
      roleid, serverid, money, attach, productName, productDesc,
      [success](const Text& message, const Text& paid) {
        if (success) success(message, paid);
      },
      [faild](const Text& message, const Text& code, const Text& paid) {
        if (faild) faild(message, code ? static_cast<long>(code->intValue()) : 0, paid);
      });
}

void TolmixSDK::LoginOut() {
  KIT_CHECK_MAIN_THREAD();
  if (auto ball = CXRHelperBtnPort::shared()) {
    ball->hide();
    if (auto timer = ball->timer()) {
      timer->cancel();
      ball->setTimer(nullptr);
    }
  }
  KTLoginAPI::LonginOutSendToService();
  ShareVale::sharedInstance()->setLoginStyle(2);
}

void TolmixSDK::SetUserInfoDataWithRoleId(const Text& roleId, const Text& roleName, const Text& roleLevel,
                                          const Text& zoneId, const Text& zoneName, const Text& attach,
                                          RoleResult block) {
  KIT_CHECK_MAIN_THREAD();
  auto answer = [block](long result) {
    if (block) block(result);
  };
  if (!filled(roleId) || !filled(roleName) || !filled(roleLevel) || !filled(zoneId) || !filled(zoneName)) {
    answer(2);
    return;
  }
  auto info = kit::dict({{"roleId", roleId},
                         {"roleName", roleName},
                         {"roleLevel", roleLevel},
                         {"zoneId", zoneId},
                         {"zoneName", zoneName},
                         {"ext", attach ? kit::Id(attach) : kit::Id(kit::str(""))}});
  kit::UserDefaults::standardUserDefaults()->setObject(info, kRoleInfoKey);
  KTLoginAPI::SetRoleInfoWithInfosuccess([answer] { answer(1); }, [answer](const Text&) { answer(0); });
}

void TolmixSDK::routeReturnURL(const std::string& url) {
  KIT_CHECK_MAIN_THREAD();
  auto parsed = kit::URL::URLWithString(url);
  if (!parsed) return;
  const std::string expected = kit::format("TolmixWalletPayScheme%@", ShareVale::sharedInstance()->gameID())->utf8();
  // The scheme is compared as written, letter case included.
  if (kit::describe(parsed->scheme()) != expected || kit::describe(parsed->host()) != kReturnHost) return;
  WalletPaySDK::defaultService()->processOrderWithPaymentResult(parsed, [](const kit::Ref<kit::Dictionary>& result) {
    KTPayPlug::sharedInstance()->setWalletPayResultDic(result);
  });
}

void TolmixSDK::handleOpenURL(kit::Application&, const std::string& url) { routeReturnURL(url); }

void TolmixSDK::openURL(kit::Application&, const std::string& url, const std::string&, const kit::Id&) {
  routeReturnURL(url);
}

void TolmixSDK::openURL(kit::Application&, const std::string& url, const kit::Ref<kit::Dictionary>&) {
  routeReturnURL(url);
}

unsigned TolmixSDK::supportedInterfaceOrientationsForWindow(kit::Application&, kit::Window*) {
  bool portrait = false, landscape = false;
  auto bundle = kit::Bundle::main();
  if (auto entries = kit::as<kit::Array>(bundle ? bundle->objectForInfoDictionaryKey("UISupportedInterfaceOrientations")
                                                 : nullptr)) {
    for (const kit::Id& entry : *entries) {
      const std::string text = kit::describe(entry);
      if (text.find("Portrait") != std::string::npos) portrait = true;
      if (text.find("Left") != std::string::npos || text.find("Right") != std::string::npos) landscape = true;
    }
  }
  if (portrait && landscape) return kit::OrientationMaskAllButUpsideDown;
  if (portrait) return kit::OrientationMaskPortrait;
  return kit::OrientationMaskLandscape;
}
