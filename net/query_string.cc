// Query-string serialization of parameter objects.
#include "net/query_string.h"

#include <algorithm>

#include "kit/foundation/charset.h"
#include "kit/foundation/composed_characters.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/set.h"

namespace {

const kit::CharacterSet& queryComponentAllowed() {
  static const kit::NoDestructor allowed(
      kit::CharacterSet::urlQueryAllowed()->removing(":#[]@")->removing("!$&'()*+,;="));
  return **allowed;
}

std::string escape(const kit::Id& value) {
  return SDPPercentEscapedStringFromString(kit::String(kit::describe(value)));
}

// Sorted ascending by the "%@" text, with the platform's plain compare.
std::vector<kit::Id> sortedByDescription(std::vector<kit::Id> objects) {
  std::vector<std::pair<kit::Ref<kit::String>, kit::Id>> keyed;
  keyed.reserve(objects.size());
  for (auto& object : objects) keyed.emplace_back(kit::str(kit::describe(object)), std::move(object));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return a.first->compare(*b.first) == kit::ComparisonResult::Ascending;
  });
  std::vector<kit::Id> out;
  out.reserve(keyed.size());
  for (auto& [text, object] : keyed) out.push_back(std::move(object));
  return out;
}

void flatten(const kit::Id& key, const kit::Id& value, std::vector<kit::Ref<SDPQueryStringPair>>& out) {
  if (auto dictionary = kit::as<kit::Dictionary>(value)) {
    for (const auto& nestedKey : sortedByDescription(dictionary->keys())) {
      kit::Id nestedValue = dictionary->objectForKey(nestedKey);
      if (!nestedValue) continue;
      flatten(key ? kit::Id(kit::format("%@[%@]", key, nestedKey)) : nestedKey, nestedValue, out);
    }
  } else if (auto array = kit::as<kit::Array>(value)) {
    kit::Id arrayKey = kit::format("%@[]", key);
    for (const auto& element : array->objects()) flatten(arrayKey, element, out);
  } else if (auto set = kit::as<kit::Set>(value)) {
    for (const auto& element : sortedByDescription(set->allObjects()->objects())) flatten(key, element, out);
  } else {
    out.push_back(kit::make<SDPQueryStringPair>(key, value));
  }
}

}  // namespace

std::string SDPQueryStringPair::URLEncodedStringValue() const {
  if (!value || kit::isKind<kit::Null>(value)) return escape(field);
  return escape(field) + "=" + escape(value);
}

std::string SDPPercentEscapedStringFromString(const kit::String& text) {
  constexpr size_t kBatchSize = 50;
  const size_t length = text.length();
  std::string escaped;
  size_t index = 0;
  while (index < length) {
    size_t batch = std::min(length - index, kBatchSize);
    kit::Range range = kit::rangeOfComposedCharacterSequencesForRange(text, {index, batch});
    auto piece = text.substringWithRange(range);
    if (auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(*piece, queryComponentAllowed())) {
      escaped += encoded->utf8();
    }
    index = std::max(index + 1, range.location + range.length);
  }
  return escaped;
}

std::vector<kit::Ref<SDPQueryStringPair>> SDPQueryStringPairsFromKeyAndValue(const kit::Id& key, const kit::Id& value) {
  std::vector<kit::Ref<SDPQueryStringPair>> pairs;
  flatten(key, value, pairs);
  return pairs;
}

std::string SDPQueryStringFromParameters(const kit::Id& parameters) {
  std::string query;
  bool first = true;
  for (const auto& pair : SDPQueryStringPairsFromKeyAndValue(nullptr, parameters)) {
    if (!first) query += '&';
    first = false;
    query += pair->URLEncodedStringValue();
  }
  return query;
}
