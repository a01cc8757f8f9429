// The account-side reply models: registration with the runtime and the
// model mapper's keys. See kt_base_response.h.
#include "platform/account/kt_base_response.h"

#include "data/model/kt_property.h"
#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "platform/account/kt_reply_keys.h"

kit::Ref<kit::String> KTReplyText(const kit::Id& value) {
  if (auto text = kit::as<kit::String>(value)) return text;
  if (kit::isKind<kit::Number>(value)) return kit::text(value);
  return nullptr;
}

kit::Ref<kit::String> KTShownText(const kit::Id& value) {
  std::string text = kit::shownText(value);
  return text.empty() ? nullptr : kit::str(text);
}

kit::Ref<kit::String> KTNameText(const kit::Id& value) {
  std::string text = kit::nameText(value);
  return text.empty() ? nullptr : kit::str(text);
}

kit::Ref<kit::String> KTReadableText(const kit::Id& value) {
  std::string text = kit::readableText(value);
  return text.empty() ? nullptr : kit::str(text);
}

void KTBaseResponse::fill(const kit::Id& model, const kit::Id& dic) {
  // Only a dictionary is a reply; the mapper would also read JSON text.
  if (kit::isKind<kit::Dictionary>(dic)) mx_setKeyValues(model, dic);
}

kit::Ref<KTBaseResponse> KTBaseResponse::responseWithDic(const kit::Id&) { return kit::make<KTBaseResponse>(); }

kit::Ref<LoginResult> LoginResult::responseWithDic(const kit::Id& dic) { return mapped<LoginResult>(dic); }
kit::Ref<RegisterResult> RegisterResult::responseWithDic(const kit::Id& dic) { return mapped<RegisterResult>(dic); }
kit::Ref<rzResult> rzResult::responseWithDic(const kit::Id& dic) { return mapped<rzResult>(dic); }
kit::Ref<GetNotice> GetNotice::responseWithDic(const kit::Id& dic) { return mapped<GetNotice>(dic); }
kit::Ref<LoginOut> LoginOut::responseWithDic(const kit::Id& dic) { return mapped<LoginOut>(dic); }

namespace {

kit::Ref<kit::Dictionary> loginKeys() {
  return kit::dict({{"code", "z"},
                    {"userName", "b"},
                    {"urserPwd", "c"},
                    {"sign", "d"},
                    {"sinceTime", "e"},
                    {"mesage", "x"},
                    {"sid", "sid"},
                    {"rz", "rz"},
                    {"isCancel", "ic"},
                    {"isck", "isck"},
                    {"isMustRZ", "frz"},
                    {"rzStatus", "nrz"},
                    {"lmitTime", "lmit"}});
}

kit::Ref<kit::Dictionary> registerKeys() {
  return kit::dict({{"code", "z"}, {"userName", "b"}, {"userPwd", "c"}, {"mesage", "d"}});
}

kit::Ref<kit::Dictionary> realNameKeys() {
  return kit::dict({{"code", "z"}, {"mesage", "b"}, {"isMustRZ", "frz"}, {"rzStatus", "nrz"}, {"lmitTime", "lmit"}});
}

kit::Ref<kit::Dictionary> noticeKeys() {
  return kit::dict({{"code", "code"},
                    {"content", "data.content"},
                    {"status", "data.status"},
                    {"mesage", "msg"},
                    {"noticeId", "data.id"}});
}

kit::Ref<kit::Dictionary> logoutKeys() { return kit::dict({{"code", "z"}, {"mesage", "b"}}); }

// What a reply value becomes in an account model's field:
// - "isMustRZ" given as text takes the text's truth value ("Y", "true",
//   " 1" and "2" are true; "0", "no" and "" are false), as every other
//   truth value the client reads from text does;
// - the notice's "status" is the "%@" text of what the reply holds,
//   "(null)" when it holds no text or number, and its id stays the object
//   it is;
// - the message and the notice's content are texts to read;
// - the user name and password are the player's own words: kept as they
//   are when they have something to draw, numbers' spellings included;
// - what else the game hears and a player may see again (sign, login
//   time, real-name status) is the text shown of the value;
// - the other fields (codes and switches the client compares) take the
//   value as the mapper reads it.
kit::Id accountValue(kit::Object&, const kit::Id& oldValue, const KTProperty& property) {
  const std::string& name = property.nameText();
  if (name == "isMustRZ") {
    if (auto text = kit::as<kit::String>(oldValue)) return kit::num(text->boolValue());
    return oldValue;
  }
  if (name == "status") return kit::str(kit::describe(KTReplyText(oldValue)));
  if (name == "mesage" || name == "content") return KTReadableText(oldValue);
  for (const char* own : {"userName", "urserPwd", "userPwd"}) {
    if (name == own) return KTNameText(oldValue);
  }
  for (const char* shown : {"sign", "sinceTime", "rzStatus"}) {
    if (name == shown) return KTShownText(oldValue);
  }
  return oldValue;
}

}  // namespace

KIT_DEFINE_CLASS(KTBaseResponse, kit::Object) {
  cls.property("code", &KTBaseResponse::code, &KTBaseResponse::setCode, "C");
  cls.property("mesage", &KTBaseResponse::mesage, &KTBaseResponse::setMesage, "C");
}

KIT_DEFINE_CLASS(LoginResult, KTBaseResponse) {
  cls.property("userName", &LoginResult::userName, &LoginResult::setUserName, "C");
  cls.property("urserPwd", &LoginResult::urserPwd, &LoginResult::setUrserPwd, "C");
  cls.property("sign", &LoginResult::sign, &LoginResult::setSign, "C");
  cls.property("sinceTime", &LoginResult::sinceTime, &LoginResult::setSinceTime, "C");
  cls.property("rz", &LoginResult::rz, &LoginResult::setRz, "C");
  cls.property("isCancel", &LoginResult::isCancel, &LoginResult::setIsCancel, "C");
  cls.property("sid", &LoginResult::sid, &LoginResult::setSid, "C");
  cls.property("isck", &LoginResult::isck, &LoginResult::setIsck, "C");
  cls.property("isMustRZ", &LoginResult::isMustRZ, &LoginResult::setIsMustRZ);
  cls.property("rzStatus", &LoginResult::rzStatus, &LoginResult::setRzStatus, "C");
  cls.property("lmitTime", &LoginResult::lmitTime, &LoginResult::setLmitTime, "C");
  KT_MAP_KEYS(cls, loginKeys);
  mx_answer(cls, MXHooks::mx_newValueFromOldValue, accountValue);
}

KIT_DEFINE_CLASS(RegisterResult, KTBaseResponse) {
  cls.property("userName", &RegisterResult::userName, &RegisterResult::setUserName, "C");
  cls.property("userPwd", &RegisterResult::userPwd, &RegisterResult::setUserPwd, "C");
  cls.property("sign", &RegisterResult::sign, &RegisterResult::setSign, "C");
  cls.property("sinceTime", &RegisterResult::sinceTime, &RegisterResult::setSinceTime, "C");
  KT_MAP_KEYS(cls, registerKeys);
  mx_answer(cls, MXHooks::mx_newValueFromOldValue, accountValue);
}

KIT_DEFINE_CLASS(rzResult, KTBaseResponse) {
  cls.property("isMustRZ", &rzResult::isMustRZ, &rzResult::setIsMustRZ);
  cls.property("rzStatus", &rzResult::rzStatus, &rzResult::setRzStatus, "C");
  cls.property("lmitTime", &rzResult::lmitTime, &rzResult::setLmitTime, "C");
  KT_MAP_KEYS(cls, realNameKeys);
  mx_answer(cls, MXHooks::mx_newValueFromOldValue, accountValue);
}

KIT_DEFINE_CLASS(GetNotice, KTBaseResponse) {
  cls.property("content", &GetNotice::content, &GetNotice::setContent, "C");
  cls.property("status", &GetNotice::status, &GetNotice::setStatus, "C");
  cls.property("noticeId", &GetNotice::noticeId, &GetNotice::setNoticeId, "C");
  KT_MAP_KEYS(cls, noticeKeys);
  mx_answer(cls, MXHooks::mx_newValueFromOldValue, accountValue);
}

KIT_DEFINE_CLASS(LoginOut, KTBaseResponse) {
  KT_MAP_KEYS(cls, logoutKeys);
  mx_answer(cls, MXHooks::mx_newValueFromOldValue, accountValue);
}
