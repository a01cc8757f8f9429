// Readable log texts of dictionaries and arrays. See
// collection_log_descriptions.h.
#include "ui/widgets/collection_log_descriptions.h"

#include "kit/foundation/format.h"

namespace {

// The "%@" text of a value, nested collections in the log form.
std::string logText(const kit::Id& value) {
  if (auto dictionary = std::dynamic_pointer_cast<kit::Dictionary>(value))
    return NSDictionaryLog::descriptionWithLocale(*dictionary);
  if (auto array = std::dynamic_pointer_cast<kit::Array>(value)) return NSArrayLog::descriptionWithLocale(*array);
  return kit::describe(value);
}

// Deletes the last "," of the text (the one after the last entry).
std::string withoutLastComma(std::string text) {
  const size_t comma = text.rfind(',');
  if (comma != std::string::npos) text.erase(comma, 1);
  return text;
}

}  // namespace

std::string NSDictionaryLog::descriptionWithLocale(const kit::Dictionary& dictionary, const kit::Id&) {
  std::string text = "{\n";
  for (const kit::Id& key : dictionary.keys()) {
    text += "\t" + logText(key) + " : " + logText(dictionary.objectForKey(key)) + ",\n";
  }
  text += "}";
  return withoutLastComma(std::move(text));
}

std::string NSArrayLog::descriptionWithLocale(const kit::Array& array, const kit::Id&) {
  std::string text = "[\n";
  for (size_t i = 0; i < array.count(); ++i) text += "\t" + logText(array.objectAtIndex(i)) + ",\n";
  text += "]";
  return withoutLastComma(std::move(text));
}
