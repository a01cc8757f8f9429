// The platform SDK's facade as the light channel reaches it: login, role,
// payment and logout screens and the application events the platform needs.
// The platform subsystem provides the implementation and installs it at
// start-up; until one is installed every call does nothing (and a login or
// payment never calls back).
#pragma once

#include <functional>
#include <mutex>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {
class Application;
class Window;
}  // namespace kit

class TolmixSDKFacade {
 public:
  // Login time, user name, login sign, real-name status.
  using LoginSuccess = std::function<void(kit::Id loginTime, kit::Id userName, kit::Id sign, kit::Id realName)>;
  // A code (-9: the player switched account) and a message.
  using LoginFailure = std::function<void(long code, kit::Id message)>;
  using RoleResult = std::function<void(long result)>;
  using PaySuccess = std::function<void(kit::Id first, kit::Id second)>;
  using PayFailure = std::function<void(kit::Id first, long code, kit::Id third)>;

  virtual ~TolmixSDKFacade() = default;

  // Starts the platform SDK (its shared URL cache among others).
  virtual void didFinishLaunching() = 0;
  // Opens the login window; after a completed login calls success once,
  // else failure.
  virtual void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failure) = 0;
  // Reports a role when the first five texts are all non-empty.
  virtual void SetUserInfoDataWithRoleId(const kit::Ref<kit::String>& roleId, const kit::Ref<kit::String>& roleName,
                                         const kit::Ref<kit::String>& roleLevel, const kit::Ref<kit::String>& zoneId,
                                         const kit::Ref<kit::String>& zoneName, const kit::Ref<kit::String>& attach,
                                         RoleResult block) = 0;
  // Opens the pay sheet for a channel order (attach: the channel order id)
  // and calls exactly one of the callbacks when the payment ends.
  virtual void loadToPayVCWithroleid(const kit::Ref<kit::String>& roleid, const kit::Ref<kit::String>& money,
                                     const kit::Ref<kit::String>& serverid, const kit::Ref<kit::String>& productName,
                                     const kit::Ref<kit::String>& productDesc, const kit::Ref<kit::String>& attach,
                                     PaySuccess success, PayFailure faild) = 0;
  virtual void LoginOut() = 0;

  virtual void handleOpenURL(kit::Application& application, const std::string& url) = 0;
  virtual void openURL(kit::Application& application, const std::string& url, const std::string& sourceApplication,
                       const kit::Id& annotation) = 0;
  virtual void openURL(kit::Application& application, const std::string& url,
                       const kit::Ref<kit::Dictionary>& options) = 0;
  virtual unsigned supportedInterfaceOrientationsForWindow(kit::Application& application, kit::Window* window) = 0;

  // The facade in use; nil until one is installed.
  static std::shared_ptr<TolmixSDKFacade> installed();
  static void install(std::shared_ptr<TolmixSDKFacade> facade);
};
