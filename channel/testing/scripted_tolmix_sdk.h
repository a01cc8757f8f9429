// A scriptable stand-in for the platform facade, for tests and the demo
// until the platform SDK is assembled. It records every call and answers
// the way it is told: a login succeeds with the given values or fails with a
// code, at once (on the main queue, as the login window would after the
// player's taps) or when the test says so; a pay sheet stays open until the
// test ends the payment.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "channel/core/tolmix_sdk_facade.h"

class ScriptedTolmixSDK : public TolmixSDKFacade {
 public:
  // What the next logins answer.
  struct LoginAnswer {
    bool succeed = true;
    std::string loginTime = "1717000000";
    std::string userName = "player01";
    std::string sign = "sign-0001";
    std::string realName = "1";
    long failureCode = 0;
    std::string failureMessage;
  };
  // One pay sheet opened.
  struct PaySheet {
    std::string roleid, money, serverid, productName, productDesc, attach;
    PaySuccess success;
    PayFailure failure;
    bool ended = false;
  };
  struct RoleReport {
    std::string roleId, roleName, roleLevel, zoneId, zoneName, attach;
  };

  // Installs a new stand-in as the facade and returns it.
  static std::shared_ptr<ScriptedTolmixSDK> install();

  // Logins answer at once with `answer` (the default: success).
  void answerLoginsWith(LoginAnswer answer);
  // Logins wait until answerPendingLogin().
  void holdLogins() { holdLogins_ = true; }
  // Answers the login window that is open; false when none is.
  bool answerPendingLogin(const LoginAnswer& answer);

  // Ends the payment of the pay sheet opened for a channel order id (the
  // last one opened when empty); false when there is no such open sheet.
  bool finishPayment(bool success, const std::string& attach = "");

  // ---- What was asked
  int launchCount() const;
  int loginCount() const;
  int logoutCount() const;
  std::vector<RoleReport> roleReports() const;
  std::vector<PaySheet> paySheets() const;
  std::vector<std::string> openedURLs() const;

  // ---- The facade
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

 private:
  static void answer(const LoginAnswer& answer, const LoginSuccess& success, const LoginFailure& failure);

  mutable std::mutex mutex_;
  LoginAnswer loginAnswer_;
  bool holdLogins_ = false;
  std::optional<std::pair<LoginSuccess, LoginFailure>> pendingLogin_;
  int launches_ = 0, logins_ = 0, logouts_ = 0;
  std::vector<RoleReport> roles_;
  std::vector<PaySheet> sheets_;
  std::vector<std::string> urls_;
};
