// Readable container texts for the channel's logs. See nuva_log.h.

#include "channel/core/nuva_log.h"

#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "platform/base/log_redaction.h"

std::string NUVALog::descriptionWithLocale(const kit::Array& array, const kit::Id& /*locale*/) {
  std::string text = "(\n";
  for (size_t i = 0, n = array.count(); i < n; ++i) {
    text += "\t" + describe(array.objectAtIndex(i)) + ",\n";
  }
  return text + ")";
}

std::string NUVALog::descriptionWithLocale(const kit::Dictionary& dictionary, const kit::Id& /*locale*/) {
  std::string text = "{\n";
  for (const auto& [key, value] : dictionary.entries()) {
    const std::string name = describe(key);
    const bool secret = LogRedaction::isSecretKey(name) && value && !kit::isKind<kit::Null>(value);
    text += "\t" + name + " = " + (secret ? std::string(LogRedaction::kMask) : describe(value)) + ";\n";
  }
  return text + "}\n";
}

std::string NUVALog::describe(const kit::Id& value) {
  if (auto array = kit::as<kit::Array>(value)) return descriptionWithLocale(*array);
  if (auto dictionary = kit::as<kit::Dictionary>(value)) return descriptionWithLocale(*dictionary);
  if (auto text = kit::as<kit::String>(value)) return LogRedaction::redactedText(text->utf8());
  return kit::describe(value);
}
