// The sub-account record. See cxr_sub_name_model.h.
#include "platform/account/cxr_sub_name_model.h"

#include "data/model/kt_property.h"
#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/values.h"
#include "platform/account/kt_base_response.h"

kit::Ref<CXRSubNameModel> CXRSubNameModel::initWithDictionary(const kit::Id& dictionary) {
  auto model = kit::make<CXRSubNameModel>();
  if (kit::isKind<kit::Dictionary>(dictionary)) mx_setKeyValues(model, dictionary);
  return model;
}

void CXRSubNameModel::setNickname(const kit::Ref<kit::String>& v) { nickname_ = KTBaseResponse::copied(v); }
void CXRSubNameModel::setUsername(const kit::Ref<kit::String>& v) { username_ = KTBaseResponse::copied(v); }
void CXRSubNameModel::setLogin_time(const kit::Ref<kit::String>& v) { login_time_ = KTBaseResponse::copied(v); }

bool CXRSubNameModel::hasUserName() const { return KTNameText(username_) != nullptr; }

std::string CXRSubNameModel::rowName() const {
  std::string nickname = kit::nameText(nickname_);
  return nickname.empty() ? kit::nameText(username_) : nickname;
}

void CXRSubNameModel::setSign(const kit::Ref<kit::String>& v) {
  if (!v || v->length() == 0) {
    sign_ = KTBaseResponse::copied(v);
    return;
  }
  const char16_t first = v->characterAtIndex(0);
  const bool pair = first >= 0xD800 && first <= 0xDBFF && v->length() > 1;
  sign_ = v->substringFromIndex(pair ? 2 : 1);
}

KIT_DEFINE_CLASS(CXRSubNameModel, kit::Object) {
  cls.property("nickname", &CXRSubNameModel::nickname, &CXRSubNameModel::setNickname, "C");
  cls.property("username", &CXRSubNameModel::username, &CXRSubNameModel::setUsername, "C");
  cls.property("sign", &CXRSubNameModel::sign, &CXRSubNameModel::setSign, "C");
  cls.property("login_time", &CXRSubNameModel::login_time, &CXRSubNameModel::setLogin_time, "C");
  mx_answer(cls, MXHooks::mx_allowedPropertyNames,
            [] { return kit::array({"nickname", "username", "sign", "login_time"}); });
  // Each of the four is shown (the nickname) or handed to the game, never
  // as a flag's "1" or "<null>": the two names as the player's own words,
  // the sign and login time as shown texts; an empty text stays empty.
  mx_answer(cls, MXHooks::mx_newValueFromOldValue,
            [](kit::Object&, const kit::Id& oldValue, const KTProperty& property) -> kit::Id {
              if (auto text = kit::as<kit::String>(oldValue); text && text->empty()) return oldValue;
              const std::string& name = property.nameText();
              return name == "nickname" || name == "username" ? KTNameText(oldValue) : KTShownText(oldValue);
            });
}
