// What the platform API files (login, pay) share: the session values, the
// kind of a request's failure, and request fields built from name-value
// pairs. Internal to platform/account.
#pragma once

#include <initializer_list>
#include <utility>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/kt_platform_reply.h"
#include "platform/base/share_vale.h"

namespace kt_api {

using Fields = std::initializer_list<std::pair<const char*, kit::Id>>;

inline kit::Ref<ShareVale> share() { return ShareVale::sharedInstance(); }

// KTPlatformReplies::failureOf, for reading answers.
inline long failureOf(const kit::Ref<kit::Error>& error) { return KTPlatformReplies::failureOf(error); }

// The request's fields, absent values sent as "".
inline kit::Ref<kit::MutableDictionary> fields(Fields entries) {
  auto parameters = kit::MutableDictionary::make();
  for (const auto& [key, value] : entries) setObjectForField(*parameters, value, key);
  return parameters;
}

}  // namespace kt_api
