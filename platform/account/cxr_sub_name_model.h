// CXRSubNameModel: one sub-account of the player's list ("login/iosxiaohao",
// "login/iosaddxiaohao"): its nickname, user name, sign and login time,
// each a copied text. Built from one list item of the server; keys other
// than the four are ignored, a number becomes its "%@" text, and a value
// of any other kind or a flag leaves its field nil. The nickname and the
// user name are the player's own words (kit::nameText: blanks, "<null>"
// and "(null)" leave them nil, "NaN" is a name); the sign and login time
// are shown texts (kit::shownText: "NaN" leaves them nil too).
//
// The server sends each sign behind a one-character prefix: storing a sign
// drops its first character ("x1a2b" is kept as "1a2b", "" stays "").
#pragma once

#include <string>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

class CXRSubNameModel : public kit::Object {
  KIT_OBJECT(CXRSubNameModel)

 public:
  // A model filled from the item; an empty one for anything that is not a
  // dictionary.
  static kit::Ref<CXRSubNameModel> initWithDictionary(const kit::Id& dictionary);

  const kit::Ref<kit::String>& nickname() const { return nickname_; }
  void setNickname(const kit::Ref<kit::String>& v);
  const kit::Ref<kit::String>& username() const { return username_; }
  void setUsername(const kit::Ref<kit::String>& v);
  const kit::Ref<kit::String>& sign() const { return sign_; }
  // Keeps the text without its first character (a pair of UTF-16 units
  // that make one character goes whole).
  void setSign(const kit::Ref<kit::String>& v);
  const kit::Ref<kit::String>& login_time() const { return login_time_; }
  void setLogin_time(const kit::Ref<kit::String>& v);

  // Whether the record names the sub-account's user (a user name with a
  // visible character: not blanks of any kind, nor "<null>"): one that
  // does not logs nobody in.
  bool hasUserName() const;
  // What the sub-account's row shows: its nickname, or its user name when
  // the nickname names nothing; "" when neither names anything.
  std::string rowName() const;

 private:
  kit::Ref<kit::String> nickname_, username_, sign_, login_time_;
};
