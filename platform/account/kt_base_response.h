// The platform API's reply models, account side: the base KTBaseResponse
// and the replies of login, registration, real-name verification, the
// login notice and logout. Each is built by its class's responseWithDic()
// from a whole reply, through the model mapper (data/model): the one-letter
// keys of the reply become named fields, so screens never read the keys.
//
// A field takes the reply's value as text: a text as it is, a number as its
// "%@" text; a missing key, JSON null, an array or a dictionary leave it
// nil, and a lookup through something that is not a dictionary ("data" →
// "content" when "data" is a text) reads as missing. What reaches a player
// or the game is held only as a player may see it: the user name and
// password as the player's own words (kit::nameText: nil for a flag,
// blanks, "<null>" or "(null)", but "NaN" is a name), the sign, login time
// and real-name status as their shown text (kit::shownText: nil for a
// flag, "<null>", "(null)" or "NaN"), the
// message ("mesage") and the notice's content only as a text with
// something visible in it (kit::readableText). responseWithDic() never
// fails: any value in gives a model out, empty for one that is not a
// dictionary.
//
//   auto login = LoginResult::responseWithDic(reply);
//   kit::describe(login->userName());   // reply "b"
#pragma once

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

// Declares a copied text field `name` (getter name(), setter Setter()).
#define KT_REPLY_TEXT(name, Setter)                                                 \
 public:                                                                            \
  const kit::Ref<kit::String>& name() const { return name##_; }                    \
  void Setter(const kit::Ref<kit::String>& v) { name##_ = KTBaseResponse::copied(v); } \
                                                                                    \
 private:                                                                           \
  kit::Ref<kit::String> name##_;

// The base of every reply model: the result code and the message.
class KTBaseResponse : public kit::Object {
  KIT_OBJECT(KTBaseResponse)
  KT_REPLY_TEXT(code, setCode)
  KT_REPLY_TEXT(mesage, setMesage)

 public:
  // A new, empty response; the reply is not read.
  static kit::Ref<KTBaseResponse> responseWithDic(const kit::Id& dic);

  static kit::Ref<kit::String> copied(const kit::Ref<kit::String>& v) {
    return v ? kit::as<kit::String>(v->copy()) : nullptr;
  }

 protected:
  // Fills a new `T` from the reply through the model mapper, with the keys
  // and the allowed fields that T's registration answers.
  template <class T>
  static kit::Ref<T> mapped(const kit::Id& dic);
  static void fill(const kit::Id& model, const kit::Id& dic);
};

template <class T>
kit::Ref<T> KTBaseResponse::mapped(const kit::Id& dic) {
  auto model = kit::make<T>();
  fill(model, dic);
  return model;
}

// A login reply: "z" code, "b" user name, "c" password, "d" sign, "e" login
// time, "x" message, "sid", "rz" (real-name prompt), "ic" (isCancel),
// "isck", "frz" (verification compulsory, by the value's truth), "nrz"
// (real-name status), "lmit" (play-time limit).
class LoginResult : public KTBaseResponse {
  KIT_OBJECT(LoginResult)
  KT_REPLY_TEXT(userName, setUserName)
  KT_REPLY_TEXT(urserPwd, setUrserPwd)
  KT_REPLY_TEXT(sign, setSign)
  KT_REPLY_TEXT(sinceTime, setSinceTime)
  KT_REPLY_TEXT(rz, setRz)
  KT_REPLY_TEXT(isCancel, setIsCancel)
  KT_REPLY_TEXT(sid, setSid)
  KT_REPLY_TEXT(isck, setIsck)
  KT_REPLY_TEXT(rzStatus, setRzStatus)
  KT_REPLY_TEXT(lmitTime, setLmitTime)

 public:
  bool isMustRZ() const { return isMustRZ_; }
  void setIsMustRZ(bool v) { isMustRZ_ = v; }

  static kit::Ref<LoginResult> responseWithDic(const kit::Id& dic);

 private:
  bool isMustRZ_ = false;
};

// A registration reply: "z" code, "b" user name, "c" password, "d" message;
// sign and sinceTime are never filled from a reply.
class RegisterResult : public KTBaseResponse {
  KIT_OBJECT(RegisterResult)
  KT_REPLY_TEXT(userName, setUserName)
  KT_REPLY_TEXT(userPwd, setUserPwd)
  KT_REPLY_TEXT(sign, setSign)
  KT_REPLY_TEXT(sinceTime, setSinceTime)

 public:
  static kit::Ref<RegisterResult> responseWithDic(const kit::Id& dic);
};

// A real-name verification reply: "z" code, "b" message, "frz", "nrz",
// "lmit" as in LoginResult.
class rzResult : public KTBaseResponse {
  KIT_OBJECT(rzResult)
  KT_REPLY_TEXT(rzStatus, setRzStatus)
  KT_REPLY_TEXT(lmitTime, setLmitTime)

 public:
  bool isMustRZ() const { return isMustRZ_; }
  void setIsMustRZ(bool v) { isMustRZ_ = v; }

  static kit::Ref<rzResult> responseWithDic(const kit::Id& dic);

 private:
  bool isMustRZ_ = false;
};

// The login notice: "code", "msg", and inside "data" the "content", the
// "status" (its "%@" text; "(null)" when missing or not a text or number)
// and the notice's "id", kept as the object the reply holds.
class GetNotice : public KTBaseResponse {
  KIT_OBJECT(GetNotice)
  KT_REPLY_TEXT(content, setContent)
  KT_REPLY_TEXT(status, setStatus)

 public:
  const kit::Id& noticeId() const { return noticeId_; }
  void setNoticeId(const kit::Id& v) { noticeId_ = v ? v->copy() : nullptr; }

  static kit::Ref<GetNotice> responseWithDic(const kit::Id& dic);

 private:
  kit::Id noticeId_;
};

// A logout reply: "z" code, "b" message.
class LoginOut : public KTBaseResponse {
  KIT_OBJECT(LoginOut)

 public:
  static kit::Ref<LoginOut> responseWithDic(const kit::Id& dic);
};

// The value as reply text: a text, or a number's "%@" text; nil for
// anything else (missing, null, arrays, dictionaries). Not for what a
// player sees or the game hears: KTShownText and KTReadableText are.
kit::Ref<kit::String> KTReplyText(const kit::Id& value);

// kit::shownText of the value as a text object: nil where a label shows
// nothing (a name or id the game hears, a label's text).
kit::Ref<kit::String> KTShownText(const kit::Id& value);
// kit::nameText of the value as a text object: nil where a user name,
// password or nickname names nothing.
kit::Ref<kit::String> KTNameText(const kit::Id& value);
// kit::readableText of the value as a text object: nil where it is no
// message (a toast's, a page's, a name a player is greeted with).
kit::Ref<kit::String> KTReadableText(const kit::Id& value);
