// Errors.

#include "kit/foundation/error.h"

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Error, Object, "NSError") {}

Ref<Error> Error::make(std::string domain, long code, std::string_view description) {
  return make(std::move(domain), code, dict({{LocalizedDescriptionKey, description}}));
}

Ref<Dictionary> Error::userInfo() const { return userInfo_ ? userInfo_ : Dictionary::make(); }

std::string Error::localizedDescription() const {
  if (userInfo_) {
    if (Id d = userInfo_->objectForKey(std::string_view(LocalizedDescriptionKey))) return describe(d);
  }
  return "The operation couldn\u2019t be completed. (" + domain_ + " error " + std::to_string(code_) + ".)";
}

Ref<Error> Error::underlyingError() const {
  return userInfo_ ? as<Error>(userInfo_->objectForKey(std::string_view(UnderlyingErrorKey))) : nullptr;
}

std::string Error::description() const {
  std::string out = "Error Domain=" + domain_ + " Code=" + std::to_string(code_);
  if (userInfo_ && userInfo_->objectForKey(std::string_view(LocalizedDescriptionKey))) {
    out += " \"" + localizedDescription() + "\"";
  }
  if (userInfo_ && !userInfo_->empty()) out += " UserInfo=" + describe(userInfo_);
  return out;
}

bool Error::isEqual(const Object& other) const {
  auto* e = dynamic_cast<const Error*>(&other);
  return e && e->domain_ == domain_ && e->code_ == code_ && kit::isEqual(userInfo(), e->userInfo());
}

size_t Error::hash() const { return std::hash<std::string>()(domain_) ^ static_cast<size_t>(code_); }

}  // namespace kit
