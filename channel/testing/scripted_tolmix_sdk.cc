// The scriptable platform facade. See scripted_tolmix_sdk.h.

#include "channel/testing/scripted_tolmix_sdk.h"

#include "kit/dispatch/queue.h"
#include "kit/foundation/values.h"
#include "kit/ui/ui_types.h"

namespace {

std::string textOf(const kit::Ref<kit::String>& value) { return value ? value->utf8() : "(nil)"; }

}  // namespace

std::shared_ptr<ScriptedTolmixSDK> ScriptedTolmixSDK::install() {
  auto facade = std::make_shared<ScriptedTolmixSDK>();
  TolmixSDKFacade::install(facade);
  return facade;
}

void ScriptedTolmixSDK::answerLoginsWith(LoginAnswer answer) {
  std::lock_guard lock(mutex_);
  loginAnswer_ = std::move(answer);
  holdLogins_ = false;
}

void ScriptedTolmixSDK::answer(const LoginAnswer& answer, const LoginSuccess& success, const LoginFailure& failure) {
  if (answer.succeed) {
    if (success) {
      success(kit::str(answer.loginTime), kit::str(answer.userName), kit::str(answer.sign), kit::str(answer.realName));
    }
  } else if (failure) {
    failure(answer.failureCode, kit::str(answer.failureMessage));
  }
}

bool ScriptedTolmixSDK::answerPendingLogin(const LoginAnswer& loginAnswer) {
  std::optional<std::pair<LoginSuccess, LoginFailure>> pending;
  {
    std::lock_guard lock(mutex_);
    pending.swap(pendingLogin_);
  }
  if (!pending) return false;
  answer(loginAnswer, pending->first, pending->second);
  return true;
}

bool ScriptedTolmixSDK::finishPayment(bool success, const std::string& attach) {
  PaySuccess onSuccess;
  PayFailure onFailure;
  {
    std::lock_guard lock(mutex_);
    PaySheet* sheet = nullptr;
    for (auto it = sheets_.rbegin(); it != sheets_.rend(); ++it) {
      if (!it->ended && (attach.empty() || it->attach == attach)) {
        sheet = &*it;
        break;
      }
    }
    if (!sheet) return false;
    sheet->ended = true;
    onSuccess = sheet->success;
    onFailure = sheet->failure;
  }
  if (success && onSuccess) onSuccess(kit::str("1"), kit::str("支付成功"));
  if (!success && onFailure) onFailure(kit::str("0"), -1, kit::str("支付失败"));
  return true;
}

int ScriptedTolmixSDK::launchCount() const {
  std::lock_guard lock(mutex_);
  return launches_;
}

int ScriptedTolmixSDK::loginCount() const {
  std::lock_guard lock(mutex_);
  return logins_;
}

int ScriptedTolmixSDK::logoutCount() const {
  std::lock_guard lock(mutex_);
  return logouts_;
}

std::vector<ScriptedTolmixSDK::RoleReport> ScriptedTolmixSDK::roleReports() const {
  std::lock_guard lock(mutex_);
  return roles_;
}

std::vector<ScriptedTolmixSDK::PaySheet> ScriptedTolmixSDK::paySheets() const {
  std::lock_guard lock(mutex_);
  return sheets_;
}

std::vector<std::string> ScriptedTolmixSDK::openedURLs() const {
  std::lock_guard lock(mutex_);
  return urls_;
}

void ScriptedTolmixSDK::didFinishLaunching() {
  std::lock_guard lock(mutex_);
  ++launches_;
}

void ScriptedTolmixSDK::loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failure) {
  LoginAnswer loginAnswer;
  {
    std::lock_guard lock(mutex_);
    ++logins_;
    if (holdLogins_) {
      pendingLogin_ = std::make_pair(std::move(success), std::move(failure));
      return;
    }
    loginAnswer = loginAnswer_;
  }
  // The login window answers after the call returns, as a real one does.
  kit::Queue::main().async([loginAnswer, success, failure] { answer(loginAnswer, success, failure); });
}

void ScriptedTolmixSDK::SetUserInfoDataWithRoleId(const kit::Ref<kit::String>& roleId,
                                                  const kit::Ref<kit::String>& roleName,
                                                  const kit::Ref<kit::String>& roleLevel,
                                                  const kit::Ref<kit::String>& zoneId,
                                                  const kit::Ref<kit::String>& zoneName,
                                                  const kit::Ref<kit::String>& attach, RoleResult block) {
  {
    std::lock_guard lock(mutex_);
    roles_.push_back(
        {textOf(roleId), textOf(roleName), textOf(roleLevel), textOf(zoneId), textOf(zoneName), textOf(attach)});
  }
  if (block) block(1);
}

void ScriptedTolmixSDK::loadToPayVCWithroleid(const kit::Ref<kit::String>& roleid, const kit::Ref<kit::String>& money,
                                              const kit::Ref<kit::String>& serverid,
                                              const kit::Ref<kit::String>& productName,
                                              const kit::Ref<kit::String>& productDesc,
                                              const kit::Ref<kit::String>& attach, PaySuccess success,
                                              PayFailure faild) {
  std::lock_guard lock(mutex_);
  sheets_.push_back({textOf(roleid), textOf(money), textOf(serverid), textOf(productName), textOf(productDesc),
                     textOf(attach), std::move(success), std::move(faild), false});
}

void ScriptedTolmixSDK::LoginOut() {
  std::lock_guard lock(mutex_);
  ++logouts_;
}

void ScriptedTolmixSDK::handleOpenURL(kit::Application&, const std::string& url) {
  std::lock_guard lock(mutex_);
  urls_.push_back(url);
}

void ScriptedTolmixSDK::openURL(kit::Application&, const std::string& url, const std::string&, const kit::Id&) {
  std::lock_guard lock(mutex_);
  urls_.push_back(url);
}

void ScriptedTolmixSDK::openURL(kit::Application&, const std::string& url, const kit::Ref<kit::Dictionary>&) {
  std::lock_guard lock(mutex_);
  urls_.push_back(url);
}

unsigned ScriptedTolmixSDK::supportedInterfaceOrientationsForWindow(kit::Application&, kit::Window*) {
  return kit::OrientationMaskLandscape;
}
