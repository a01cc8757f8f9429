// Fuzzes the masking of secrets for the logs with any text (a reply or a
// body as it may be logged): masking twice changes nothing more than
// masking once, and when the text is a JSON dictionary, no value under a
// secret key survives in the masked value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "platform/base/log_redaction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const std::string once = LogRedaction::redactedText(text);
  if (LogRedaction::redactedText(once) != once) std::abort();

  auto object = kit::as<kit::Dictionary>(
      kit::JSONSerialization::JSONObjectWithData(kit::Data::make(bytes, size), kit::JSONReadingFragmentsAllowed));
  if (!object) return 0;
  auto masked = kit::as<kit::Dictionary>(LogRedaction::redacted(object));
  if (!masked || masked->count() != object->count()) std::abort();
  for (const auto& [key, value] : masked->entries()) {
    auto name = kit::as<kit::String>(key);
    if (!name || !LogRedaction::isSecretKey(name->utf8()) || kit::isKind<kit::Null>(value)) continue;
    if (kit::describe(value) != LogRedaction::kMask) std::abort();
  }
  return 0;
}
