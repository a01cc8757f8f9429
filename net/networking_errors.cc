// Error chaining for the HTTP client.
#include "net/networking_errors.h"

#include "kit/foundation/bundle.h"
#include "kit/foundation/string.h"

kit::Ref<kit::Error> SDPErrorWithUnderlyingError(const kit::Ref<kit::Error>& error,
                                                 const kit::Ref<kit::Error>& underlyingError) {
  if (!error) return underlyingError;
  if (!underlyingError || error->underlyingError()) return error;
  auto info = kit::as<kit::MutableDictionary>(error->userInfo()->mutableCopy());
  info->setObject(underlyingError, kit::UnderlyingErrorKey);
  return kit::Error::make(error->domain(), error->code(), info);
}

kit::Ref<kit::Error> SDPMakeError(const char* domain, long code, std::string_view message,
                                  const kit::Ref<kit::Error>& underlying, const char* reasonKey) {
  auto info = kit::MutableDictionary::make();
  info->setObject(kit::str(message), reasonKey ? reasonKey : kit::LocalizedDescriptionKey);
  if (underlying) info->setObject(underlying, kit::UnderlyingErrorKey);
  return kit::Error::make(domain, code, info);
}

std::string SDPLocalizedText(std::string_view text) {
  auto localized = kit::Bundle::main()->localizedStringForKey(text, text, "SDPNetworking");
  return localized ? localized->utf8() : std::string(text);
}
