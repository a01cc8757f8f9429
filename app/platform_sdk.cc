// The channel's facade on the platform SDK. See platform_sdk.h.
#include "app/platform_sdk.h"

#include "platform/account/tolmix_sdk.h"

std::shared_ptr<PlatformSDK> PlatformSDK::install() {
  auto sdk = std::make_shared<PlatformSDK>();
  TolmixSDKFacade::install(sdk);
  return sdk;
}

void PlatformSDK::didFinishLaunching() { TolmixSDK::didFinishLaunching(); }

void PlatformSDK::loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failure) {
  TolmixSDK::loadLoginViewResultSuccess(
      [success](const kit::Ref<kit::String>& loginTime, const kit::Ref<kit::String>& userName,
                const kit::Ref<kit::String>& sign, const kit::Ref<kit::String>& realName) {
        if (success) success(loginTime, userName, sign, realName);
      },
      [failure](long code, const kit::Ref<kit::String>& message) {
        if (failure) failure(code, message);
      });
}

void PlatformSDK::SetUserInfoDataWithRoleId(const kit::Ref<kit::String>& roleId, const kit::Ref<kit::String>& roleName,
                                            const kit::Ref<kit::String>& roleLevel, const kit::Ref<kit::String>& zoneId,
                                            const kit::Ref<kit::String>& zoneName, const kit::Ref<kit::String>& attach,
                                            RoleResult block) {
  TolmixSDK::SetUserInfoDataWithRoleId(roleId, roleName, roleLevel, zoneId, zoneName, attach, std::move(block));
}

void PlatformSDK::loadToPayVCWithroleid(const kit::Ref<kit::String>& roleid, const kit::Ref<kit::String>& money,
                                        const kit::Ref<kit::String>& serverid,
                                        const kit::Ref<kit::String>& productName,
                                        const kit::Ref<kit::String>& productDesc,
                                        const kit::Ref<kit::String>& attach, PaySuccess success, PayFailure faild) {
  TolmixSDK::loadToPayVCWithroleid(
      roleid, money, serverid, productName, productDesc, attach,
      [success](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& paid) {
        if (success) success(message, paid);
      },
      [faild](const kit::Ref<kit::String>& message, long code, const kit::Ref<kit::String>& paid) {
        if (faild) faild(message, code, paid);
      });
}

void PlatformSDK::LoginOut() { TolmixSDK::LoginOut(); }

void PlatformSDK::handleOpenURL(kit::Application& application, const std::string& url) {
  TolmixSDK::handleOpenURL(application, url);
}

void PlatformSDK::openURL(kit::Application& application, const std::string& url, const std::string& sourceApplication,
                          const kit::Id& annotation) {
  TolmixSDK::openURL(application, url, sourceApplication, annotation);
}

void PlatformSDK::openURL(kit::Application& application, const std::string& url,
                          const kit::Ref<kit::Dictionary>& options) {
  TolmixSDK::openURL(application, url, options);
}

unsigned PlatformSDK::supportedInterfaceOrientationsForWindow(kit::Application& application, kit::Window* window) {
  return TolmixSDK::supportedInterfaceOrientationsForWindow(application, window);
}
