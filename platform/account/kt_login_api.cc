// The platform API's account requests. See kt_login_api.h.
//
// Each answer is read in two steps: the reply into a model or a failure
// value (kit::Expected, KTPlatformAPIError), then the failure into the
// texts the caller and the player get.
#include "platform/account/kt_login_api.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/log.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/ui/screen.h"
#include "platform/account/cxr_message.h"
#include "platform/account/cxr_sub_name_model.h"
#include "platform/account/kt_api_support.h"
#include "platform/account/kt_saved_accounts.h"
#include "platform/base/share_vale.h"

namespace {

// The texts callers and players get.
constexpr const char* kCannotConnect = "无法连接服务器";
constexpr const char* kCannotLink = "无法链接服务器";
constexpr const char* kNotDeliveredCode = "501";
constexpr const char* kNoticeRefused = "获取失败";
constexpr const char* kRoleRefused = "信息错误";
constexpr const char* kLoggedOut = "退出成功";

// The SMS code's type: a registration.
constexpr int kAuthCodeForRegistration = 4;

using kt_api::failureOf;
using kt_api::fields;
using kt_api::share;

// A result code compared as text: success is the text "1".
template <class Model>
kit::Expected<kit::Ref<Model>> readTextResult(const KTPlatformReply& reply, const char* codeKey,
                                              const char* messageKey) {
  auto envelope = KTPlatformReplies::envelope(reply);
  if (!envelope) return kit::unexpected(envelope.error());
  const kit::Id dic = *envelope;
  if (!KTPlatformReplies::isText(dic[codeKey], "1")) return KTPlatformReplies::refused(dic[messageKey], dic[codeKey]);
  return Model::responseWithDic(dic);
}

// A user name or password a login can go on with: one of blanks, "<null>"
// or invisible characters names no one; any other text is the player's.
bool isFilled(const kit::Ref<kit::String>& text) { return !kit::nameText(text).empty(); }

kit::Ref<kit::Dictionary> storedRoleInfo() {
  return kit::UserDefaults::standardUserDefaults()->dictionaryForKey("roleInfo");
}

// A stored role value: a text, or a number's text; anything else is absent.
kit::Id roleValue(const kit::Ref<kit::Dictionary>& roleInfo, const char* key) {
  return roleInfo ? KTReplyText((*roleInfo)[key]) : nullptr;
}

}  // namespace

kit::Ref<kit::String> KTLoginAPI::advertisingIdentifier() {
  auto uuid = kit::Device::current()->advertisingIdentifier();
  return uuid ? kit::str(uuid->UUIDString()) : nullptr;
}

// ---- Login and saved accounts ------------------------------------------------

std::shared_ptr<KTLoginAPI::LoginRequest> KTLoginAPI::LonginWithUsername(const kit::Ref<kit::String>& userName,
                                                                         const kit::Ref<kit::String>& passWorld,
                                                                         LoginSuccess success, CodeFailure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields({{"z", userName},
                            {"b", passWorld},
                            {"c", s->phoneType()},
                            {"d", s->gameID()},
                            {"e", advertisingIdentifier()},
                            {"f", s->chanelid()},
                            {"x", s->appID()}});
  auto request = std::make_shared<LoginRequest>();
  KTPlatformReplies::postScrambled("login/dologin", parameters,
                                   [request, success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) {
                                     if (request->isCancelled()) {
                                       kit::log("login: the answer came after the login was stopped; dropped");
                                       return;
                                     }
                                     Answers::login(reply, success, failed);
                                   });
  return request;
}

void KTLoginAPI::Answers::login(const KTPlatformReply& reply, const LoginSuccess& success, const CodeFailure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto result = readTextResult<LoginResult>(reply, "z", "x");
  // A login without a user name or password logs no one in and cannot be
  // saved: the reply is as good as none.
  if (result && (!isFilled((*result)->userName()) || !isFilled((*result)->urserPwd()))) {
    result = KTPlatformReplies::noReply();
  }
  if (result) {
    userLoginInfoWriteToLocal(*result);
    if (success) success(*result);
    return;
  }
  if (failureOf(result.error()) == KTPlatformAPIErrorRefused) {
    if (failed) failed(KTPlatformReplies::refusalMessage(result.error()), KTPlatformReplies::refusalCode(result.error()));
    return;
  }
  // Not delivered, or delivered without a reply: either way the login did
  // not happen, and the card must hear so to leave its waiting state.
  if (failed) failed(kit::str(kCannotConnect), kit::str(kNotDeliveredCode));
  CXRMessage::showMessage(kCannotConnect);
}

void KTLoginAPI::userLoginInfoWriteToLocal(const kit::Ref<LoginResult>& result) {
  if (!result) return;
  KTSavedAccounts::save(result->userName(), result->urserPwd());
}

// ---- Registrations and the SMS code ------------------------------------------

namespace {

// What a registration or the SMS code reports when it did not succeed: the
// server's message of a refusal, nothing for a reply without a dictionary,
// "无法链接服务器" when it was not delivered.
void reportRegistrationFailure(const kit::Ref<kit::Error>& error, const KTLoginAPI::Failure& failed) {
  if (!failed) return;
  switch (failureOf(error)) {
    case KTPlatformAPIErrorRefused: failed(KTPlatformReplies::refusalMessage(error)); break;
    case KTPlatformAPIErrorNotDelivered: failed(kit::str(kCannotLink)); break;
    default: failed(nullptr); break;
  }
}

kit::Ref<kit::MutableDictionary> registrationFields(const kit::Ref<kit::String>& passWorld) {
  auto s = share();
  return fields({{"b", passWorld},
                 {"c", s->phoneType()},
                 {"d", s->gameID()},
                 {"e", KTLoginAPI::advertisingIdentifier()},
                 {"f", s->chanelid()},
                 {"x", s->appID()},
                 {"h", s->version()}});
}

}  // namespace

void KTLoginAPI::registerNewWithUsername(const kit::Ref<kit::String>& userName, const kit::Ref<kit::String>& passWorld,
                                         RegisterSuccess success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = registrationFields(passWorld);
  setObjectForField(*parameters, userName, "z");
  KTPlatformReplies::postScrambled("login/register", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::registration(reply, success, failed); });
}

void KTLoginAPI::registerNewWithPhoneNumber(const kit::Ref<kit::String>& phoneNumber,
                                            const kit::Ref<kit::String>& authCode,
                                            const kit::Ref<kit::String>& passWorld, RegisterSuccess success,
                                            Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = registrationFields(passWorld);
  setObjectForField(*parameters, phoneNumber, "z");
  setObjectForField(*parameters, authCode, "i");
  KTPlatformReplies::postScrambled("login/phoneRegister", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::registration(reply, success, failed); });
}

void KTLoginAPI::Answers::registration(const KTPlatformReply& reply, const RegisterSuccess& success,
                                       const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto result = readTextResult<RegisterResult>(reply, "z", "d");
  if (!result) return reportRegistrationFailure(result.error(), failed);
  if (success) success(*result);
}

void KTLoginAPI::getAuthCodeWithPhoneNumber(const kit::Ref<kit::String>& phoneNumber, RegisterSuccess success,
                                            Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = fields({{"z", share()->appID()}, {"b", phoneNumber}, {"c", kit::num(kAuthCodeForRegistration)}});
  KTPlatformReplies::postScrambled("login/yzm", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::authCode(reply, success, failed); });
}

void KTLoginAPI::Answers::authCode(const KTPlatformReply& reply, const RegisterSuccess& success,
                                   const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto envelope = KTPlatformReplies::envelope(reply);
  if (!envelope) return reportRegistrationFailure(envelope.error(), failed);
  const kit::Id dic = *envelope;
  if (!KTPlatformReplies::isText(dic["z"], "1")) {
    return reportRegistrationFailure(KTPlatformReplies::refused(dic["d"], dic["z"]).error, failed);
  }
  // Only the message is read: the other fields stay empty.
  auto sent = kit::make<RegisterResult>();
  sent->setMesage(KTReadableText(dic["d"]));
  if (success) success(sent);
}

// ---- Real name and notice ----------------------------------------------------

void KTLoginAPI::postRealNameToServerWithRealName(const kit::Ref<kit::String>& realName,
                                                  const kit::Ref<kit::String>& userNumber, RealNameSuccess success,
                                                  Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = fields({{"r", realName}, {"i", share()->userName()}, {"id", userNumber}});
  KTPlatformReplies::postScrambled("login/idcheck", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::realName(reply, success, failed); });
}

void KTLoginAPI::Answers::realName(const KTPlatformReply& reply, const RealNameSuccess& success,
                                   const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto result = readTextResult<rzResult>(reply, "z", "b");
  if (result) {
    if (success) success(*result);
    return;
  }
  if (failureOf(result.error()) == KTPlatformAPIErrorRefused) {
    if (failed) failed(KTPlatformReplies::refusalMessage(result.error()));
    return;
  }
  // The verification form waits for an answer: a reply it cannot read ends
  // the wait like a server it cannot reach.
  if (failed) failed(kit::str(kCannotConnect));
  CXRMessage::showMessage(kCannotConnect);
}

void KTLoginAPI::GetNoticeWithSuccess(NoticeSuccess success, CodeFailure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields({{"z", s->userName()}, {"b", s->chanelid()}, {"c", s->gameID()}});
  KTPlatformReplies::postForm("Sdkmsg/indexios", parameters,
                              [success = std::move(success), failed = std::move(failed)](
                                  const KTPlatformReply& reply) { Answers::notice(reply, success, failed); });
}

void KTLoginAPI::Answers::notice(const KTPlatformReply& reply, const NoticeSuccess& success,
                                 const CodeFailure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto result = readTextResult<GetNotice>(reply, "code", "msg");
  if (result) {
    if (success) success(*result);
    return;
  }
  if (!failed) return;
  if (failureOf(result.error()) == KTPlatformAPIErrorNotDelivered) {
    failed(kit::str(kCannotLink), kit::str(kNotDeliveredCode));
  } else {
    failed(kit::str(kNoticeRefused), KTPlatformReplies::refusalCode(result.error()));
  }
}

// ---- Reports -------------------------------------------------------------------

void KTLoginAPI::LonginOutSendToService() {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields({{"z", s->userName()},
                            {"b", s->phoneType()},
                            {"c", s->gameID()},
                            {"e", s->chanelid()},
                            {"f", s->appID()},
                            {"h", s->version()},
                            {"d", advertisingIdentifier()}});
  KTPlatformReplies::postScrambled("login/logout", parameters,
                                   [](const KTPlatformReply& reply) { Answers::logout(reply); });
}

void KTLoginAPI::Answers::logout(const KTPlatformReply& reply) {
  KIT_CHECK_MAIN_THREAD();
  // Any completed exchange ends the session here; one that was not
  // delivered leaves it as it was.
  if (!reply) return;
  share()->setUserName(kit::str(""));
  CXRMessage::showMessage(kLoggedOut);
}

void KTLoginAPI::SetRoleInfoWithInfosuccess(RoleSuccess success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto role = storedRoleInfo();
  auto parameters = fields({{"z", s->userName()},
                            {"b", s->gameID()},
                            {"c", roleValue(role, "roleId")},
                            {"d", roleValue(role, "roleName")},
                            {"e", roleValue(role, "roleLevel")},
                            {"f", roleValue(role, "zoneId")},
                            {"x", roleValue(role, "zoneName")},
                            {"h", roleValue(role, "ext")},
                            {"i", s->appID()},
                            {"xh", s->subUserName()}});
  KTPlatformReplies::postScrambled("User/setRole", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::role(reply, success, failed); });
}

void KTLoginAPI::Answers::role(const KTPlatformReply& reply, const RoleSuccess& success, const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto envelope = KTPlatformReplies::envelope(reply);
  if (!envelope) {
    // A reply without a dictionary is no answer: the reporter hears nothing.
    if (failureOf(envelope.error()) == KTPlatformAPIErrorNotDelivered && failed) failed(kit::str(kCannotLink));
    return;
  }
  if (KTPlatformReplies::integerOf(kit::Id(*envelope)["code"]) == 1) {
    if (success) success();
  } else if (failed) {
    failed(kit::str(kRoleRefused));
  }
}

void KTLoginAPI::doUploadUserOlineTime() {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  // Only present values are sent: a report without a player carries the
  // game alone.
  auto parameters = kit::MutableDictionary::make();
  setObjectForOPField(*parameters, s->userName(), "n");
  setObjectForOPField(*parameters, s->gameID(), "g");
  KTPlatformReplies::postScrambled("login/setTime", parameters, [](const KTPlatformReply&) {});
}

// ---- Sub-accounts -------------------------------------------------------------

void KTLoginAPI::getSubNameListWithUserName(const kit::Ref<kit::String>& userName, SubNameSuccess success,
                                            Failure) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields({{"z", userName}, {"c", s->gameID()}, {"e", s->chanelid()}, {"f", s->appID()}});
  KTPlatformReplies::postConnection("login/iosxiaohao", parameters,
                                    [success = std::move(success)](const KTPlatformReply& reply) {
                                      Answers::subNames(reply, success);
                                    });
}

void KTLoginAPI::Answers::subNames(const KTPlatformReply& reply, const SubNameSuccess& success) {
  KIT_CHECK_MAIN_THREAD();
  auto envelope = KTPlatformReplies::envelope(reply);
  if (!envelope) return;
  const kit::Id dic = *envelope;
  if (!KTPlatformReplies::isText(dic["code"], "1")) return;
  auto list = kit::MutableArray::make();
  if (auto data = kit::as<kit::Array>(dic["data"])) {
    for (const kit::Id& item : data->objects()) {
      if (kit::isKind<kit::Dictionary>(item)) list->addObject(CXRSubNameModel::initWithDictionary(item));
    }
  }
  if (success) success(list);
}
