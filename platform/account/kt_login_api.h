// KTLoginAPI: the platform API's account requests: login, registration by
// name or phone, the SMS code, real-name verification, the login notice,
// the logout, role and play-time reports and the sub-account list, and the
// saved accounts that a login keeps.
//
// A stateless class any screen calls on the main thread. Each call builds
// its parameters from its arguments and ShareVale, posts them through one
// of the platform's request clients and returns at once; its blocks run
// later on the main thread, never inside the call, at most one of them.
// Only a login can be stopped (its caller drops the answer through the
// request it got back); every other call runs to its end, and a screen
// that is gone by then still has its blocks called: capture the screen
// weakly. Missing values are sent as "". Failure texts:
//   "无法连接服务器"  login and real-name could not reach the server (both
//                     also show it as a toast); login adds the code "501"
//   "无法链接服务器"  registration, SMS code, notice (code "501") and role
//                     report could not reach the server (no toast)
//
//   KTLoginAPI::LonginWithUsername(name, password,
//       [weak](const kit::Ref<LoginResult>& result) { ... },
//       [weak](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code) { ... });
#pragma once

#include <functional>
#include <memory>

#include "kit/foundation/array.h"
#include "kit/foundation/string.h"
#include "platform/account/kt_base_response.h"
#include "platform/account/kt_platform_reply.h"

class KTLoginAPI {
 public:
  using LoginSuccess = std::function<void(const kit::Ref<LoginResult>& result)>;
  using RegisterSuccess = std::function<void(const kit::Ref<RegisterResult>& result)>;
  using RealNameSuccess = std::function<void(const kit::Ref<rzResult>& result)>;
  using NoticeSuccess = std::function<void(const kit::Ref<GetNotice>& notice)>;
  using RoleSuccess = std::function<void()>;
  // The sub-accounts, CXRSubNameModel each, in the reply's order.
  using SubNameSuccess = std::function<void(const kit::Ref<kit::Array>& list)>;
  // A message for the player (nil when the server sent none a player can
  // read: blanks, a number, a flag, "<null>" are none).
  using Failure = std::function<void(const kit::Ref<kit::String>& message)>;
  // A message and the code (each nil when the server sent none; the code
  // is never a flag's "1" or "<null>").
  using CodeFailure = std::function<void(const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code)>;

  // A login on its way. Once cancelled, its answer is dropped when it
  // comes: no account is saved, no toast shows and neither block runs.
  // Main thread.
  class LoginRequest {
   public:
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }

   private:
    bool cancelled_ = false;
  };

  // "login/dologin": {"z" name, "b" password, "c" phone type, "d" game id,
  // "e" advertising id, "f" channel id, "x" app id}. "z" "1": the result,
  // after the account is saved; other "z": ("x", "z"); not delivered, or
  // delivered without a reply (or with a "1" that names no user and
  // password a player can read: blanks and "<null>" name no one):
  // ("无法连接服务器", "501") and its toast. The messages every call hands
  // on are texts a player can read, or nil. The request returned
  // stops the login when it is cancelled before the answer.
  static std::shared_ptr<LoginRequest> LonginWithUsername(const kit::Ref<kit::String>& userName,
                                                          const kit::Ref<kit::String>& passWorld, LoginSuccess success,
                                                          CodeFailure failed);
  // "login/register": the login's keys and "h" the system version. "z"
  // "1": the result; otherwise its "d" (nil without a reply); not
  // delivered: "无法链接服务器".
  static void registerNewWithUsername(const kit::Ref<kit::String>& userName, const kit::Ref<kit::String>& passWorld,
                                      RegisterSuccess success, Failure failed);
  // "login/yzm": {"z" app id, "b" phone, "c" the number 4}. "z" "1": a
  // result whose only field is the message "d"; otherwise "d"; not
  // delivered: "无法链接服务器".
  static void getAuthCodeWithPhoneNumber(const kit::Ref<kit::String>& phoneNumber, RegisterSuccess success,
                                         Failure failed);
  // "login/phoneRegister": "z" phone, "i" SMS code, then the keys of the
  // name registration. Answers as registerNewWithUsername.
  static void registerNewWithPhoneNumber(const kit::Ref<kit::String>& phoneNumber, const kit::Ref<kit::String>& authCode,
                                         const kit::Ref<kit::String>& passWorld, RegisterSuccess success,
                                         Failure failed);
  // "login/idcheck": {"r" legal name, "i" stored user name, "id" identity
  // number}. "z" "1": the result; otherwise "b"; not delivered, or
  // delivered without a reply: "无法连接服务器" and its toast.
  static void postRealNameToServerWithRealName(const kit::Ref<kit::String>& realName,
                                               const kit::Ref<kit::String>& userNumber, RealNameSuccess success,
                                               Failure failed);
  // "Sdkmsg/indexios" (form): {"z" user name, "b" channel id, "c" game id}.
  // "code" "1": the notice; otherwise ("获取失败", "code"); not delivered:
  // ("无法链接服务器", "501").
  static void GetNoticeWithSuccess(NoticeSuccess success, CodeFailure failed);
  // "login/logout": {"z" user name, "b" phone type, "c" game id, "e"
  // channel id, "f" app id, "h" system version, "d" advertising id}. Any
  // answer empties the stored user name and toasts "退出成功"; a failure
  // changes nothing.
  static void LonginOutSendToService();
  // "User/setRole": "z" user name, "b" game id, the stored "roleInfo"'s
  // roleId, roleName, roleLevel, zoneId, zoneName and ext under "c", "d",
  // "e", "f", "x", "h", "i" app id, "xh" sub-account. "code" of integer
  // value 1: success; another: "信息错误"; a reply without a dictionary:
  // nothing; not delivered: "无法链接服务器".
  static void SetRoleInfoWithInfosuccess(RoleSuccess success, Failure failed);
  // "login/iosxiaohao" (connection client): {"z" user name, "c" game id,
  // "e" channel id, "f" app id}. "code" the text "1": the list of "data"
  // (dictionaries only; empty when "data" is no list); anything else,
  // failures included, calls nothing: `failed` is never called.
  static void getSubNameListWithUserName(const kit::Ref<kit::String>& userName, SubNameSuccess success,
                                         Failure failed);
  // "login/setTime": {"n" stored user name (left out when none), "g" game
  // id}; the answer is not read.
  static void doUploadUserOlineTime();
  // Saves the result's user name and password as the newest saved account
  // (KTSavedAccounts).
  static void userLoginInfoWriteToLocal(const kit::Ref<LoginResult>& result);

  // The device's advertising identifier, an upper-case UUID text.
  static kit::Ref<kit::String> advertisingIdentifier();

  // The answers, as the calls above read them: what a reply leads to, for
  // the tests of malformed replies and the fuzz target. Main thread.
  struct Answers {
    static void login(const KTPlatformReply& reply, const LoginSuccess& success, const CodeFailure& failed);
    static void registration(const KTPlatformReply& reply, const RegisterSuccess& success, const Failure& failed);
    static void authCode(const KTPlatformReply& reply, const RegisterSuccess& success, const Failure& failed);
    static void realName(const KTPlatformReply& reply, const RealNameSuccess& success, const Failure& failed);
    static void notice(const KTPlatformReply& reply, const NoticeSuccess& success, const CodeFailure& failed);
    static void logout(const KTPlatformReply& reply);
    static void role(const KTPlatformReply& reply, const RoleSuccess& success, const Failure& failed);
    static void subNames(const KTPlatformReply& reply, const SubNameSuccess& success);
  };
};
