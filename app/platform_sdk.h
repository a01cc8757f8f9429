// The platform SDK as the channel reaches it: the channel core's facade
// interface carried out by the platform's own facade (TolmixSDK), and its
// installation, which the application does at start-up so the light channel
// opens the real login window and pay sheet.
#pragma once

#include <memory>

#include "channel/core/tolmix_sdk_facade.h"

class PlatformSDK : public TolmixSDKFacade {
 public:
  // Installs a PlatformSDK as the channel's facade (once per process; a
  // facade a test installed first is replaced).
  static std::shared_ptr<PlatformSDK> install();

  void didFinishLaunching() override;
  void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failure) override;
  void SetUserInfoDataWithRoleId(const kit::Ref<kit::String>& roleId, const kit::Ref<kit::String>& roleName,
                                 const kit::Ref<kit::String>& roleLevel, const kit::Ref<kit::String>& zoneId,
                                 const kit::Ref<kit::String>& zoneName, const kit::Ref<kit::String>& attach,
                                 RoleResult block) override;
  void loadToPayVCWithroleid(const kit::Ref<kit::String>& roleid, const kit::Ref<kit::String>& money,
                             const kit::Ref<kit::String>& serverid, const kit::Ref<kit::String>& productName,
                             const kit::Ref<kit::String>& productDesc, const kit::Ref<kit::String>& attach,
                             PaySuccess success, PayFailure faild) override;
  void LoginOut() override;
  void handleOpenURL(kit::Application& application, const std::string& url) override;
  void openURL(kit::Application& application, const std::string& url, const std::string& sourceApplication,
               const kit::Id& annotation) override;
  void openURL(kit::Application& application, const std::string& url,
               const kit::Ref<kit::Dictionary>& options) override;
  unsigned supportedInterfaceOrientationsForWindow(kit::Application& application, kit::Window* window) override;
};
