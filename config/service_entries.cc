// Reading one configuration source. See service_entries.h.
#include "config/service_entries.h"

#include "config/client_configuration.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/date.h"
#include "kit/foundation/format.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/number.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace {

// Outside text as it goes into a log line: quoted, control characters
// escaped, long texts cut.
std::string quoted(std::string_view text) {
  constexpr size_t kLongest = 120;
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kLongest; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      out += kit::formatString("\\x%02x", static_cast<unsigned>(c));
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += static_cast<char>(c);
    }
  }
  if (text.size() > kLongest) out += "...";
  return out + "\"";
}

// "a number", "an array" ...: what a value is, for a log line.
std::string kindOf(const kit::Id& value) {
  if (kit::isKind<kit::Number>(value)) return "a number";
  if (kit::isKind<kit::Array>(value)) return "an array";
  if (kit::isKind<kit::Dictionary>(value)) return "a dictionary";
  if (kit::isKind<kit::Data>(value)) return "data";
  if (kit::isKind<kit::Date>(value)) return "a date";
  if (kit::isKind<kit::Null>(value)) return "null";
  if (kit::isKind<kit::String>(value)) return "a text";
  return value ? "a " + value->objectClass().name() : "nothing";
}

bool startsLikeJSON(const kit::Data& data) {
  std::string_view bytes(reinterpret_cast<const char*>(data.bytes()), data.length());
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '{';
}

}  // namespace

ServiceEntries serviceEntriesFromDictionary(const kit::Ref<kit::Dictionary>& dictionary, UnknownServiceKeys unknown) {
  ServiceEntries entries;
  if (!dictionary) return entries;
  dictionary->enumerateKeysAndObjects([&](const kit::Id& key, const kit::Id& value, bool*) {
    auto name = kit::as<kit::String>(key);
    const ServiceKey* serviceKey = name ? ClientConfiguration::findKey(name->utf8()) : nullptr;
    if (!serviceKey) {
      if (unknown == UnknownServiceKeys::Report) entries.ignored.push_back("unknown key " + quoted(kit::describe(key)));
      return;
    }
    std::string keyText = quoted(serviceKey->name);
    auto text = kit::as<kit::String>(value);
    if (!text) {
      entries.ignored.push_back(keyText + " is " + kindOf(value) + ", not a text");
    } else if (text->utf8().empty()) {
      entries.ignored.push_back(keyText + " is empty");
    } else if (!ClientConfiguration::isServiceAddress(text->utf8())) {
      entries.ignored.push_back(keyText + " = " + quoted(text->utf8()) + " is not an http or https address");
    } else {
      entries.addresses[std::string(serviceKey->name)] = text->utf8();
    }
  });
  return entries;
}

kit::Expected<ServiceEntries> parseServiceEntries(const kit::Ref<kit::Data>& data, UnknownServiceKeys unknown) {
  if (!data || data->empty()) {
    return kit::unexpected(ServiceEntriesErrorDomain, ServiceEntriesNotAPropertyListOrJSON, "the file is empty");
  }
  kit::Id root;
  kit::Ref<kit::Error> error;
  if (startsLikeJSON(*data)) {
    root = kit::JSONSerialization::JSONObjectWithData(data, 0, &error);
    if (!root) {
      std::string reason = error ? error->localizedDescription() : std::string("malformed");
      return kit::unexpected(ServiceEntriesErrorDomain, ServiceEntriesNotAPropertyListOrJSON,
                             "not a JSON object: " + reason);
    }
  } else {
    root = kit::PropertyListSerialization::propertyListWithData(data, kit::PropertyListImmutable, nullptr, &error);
    if (!root) {
      return kit::unexpected(ServiceEntriesErrorDomain, ServiceEntriesNotAPropertyListOrJSON,
                             "neither a property list nor a JSON object" +
                                 (error ? ": " + error->localizedDescription() : std::string()));
    }
  }
  auto dictionary = kit::as<kit::Dictionary>(root);
  if (!dictionary) {
    return kit::unexpected(ServiceEntriesErrorDomain, ServiceEntriesNotADictionary,
                           "holds " + kindOf(root) + ", not a dictionary");
  }
  return serviceEntriesFromDictionary(dictionary, unknown);
}

kit::Expected<ServiceEntries> readServiceEntries(const std::string& path, UnknownServiceKeys unknown) {
  kit::Ref<kit::Error> error;
  auto data = kit::dataWithContentsOfFile(path, &error, kMaxServicesFileBytes);
  if (!data) {
    if (!error) error = kit::Error::make(ServiceEntriesErrorDomain, ServiceEntriesNotAPropertyListOrJSON, "unreadable");
    return kit::unexpected(error);
  }
  return parseServiceEntries(data, unknown);
}
