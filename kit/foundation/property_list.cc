// Property-list serialization: kit objects to libplist nodes and back.

#include "kit/foundation/property_list.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "kit/foundation/data_file.h"
#include "kit/foundation/number.h"
#include "kit/foundation/property_list_guard.h"
#include "kit/foundation/serial_date.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistNode = std::unique_ptr<void, PlistDeleter>;

// A C string that libplist allocated.
struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};
using PlistText = std::unique_ptr<char, FreeDeleter>;

Ref<Error> readError(const std::string& detail) {
  return Error::make(CocoaErrorDomain, PropertyListReadCorruptError,
                     dict({{LocalizedDescriptionKey, "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
                           {"NSDebugDescription", detail}}));
}

Ref<Error> writeError(const std::string& detail) {
  return Error::make(CocoaErrorDomain, PropertyListWriteInvalidError,
                     dict({{LocalizedDescriptionKey, "The data couldn\u2019t be written because it isn\u2019t in the correct format."},
                           {"NSDebugDescription", detail}}));
}

// ---- libplist nodes to kit objects ---------------------------------------

// libplist keeps every integer as 64 bits and remembers separately whether
// one above INT64_MAX was unsigned; its XML form tells the two apart.
bool isNegativeInteger(plist_t node) {
  PlistNode copy(plist_copy(node));
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(static_cast<plist_t>(copy.get()), &xml, &length);
  bool negative = xml && std::string_view(xml, length).find("<integer>-") != std::string_view::npos;
  if (xml) plist_to_xml_free(xml);
  return negative;
}

class Reader {
 public:
  explicit Reader(unsigned options) : options_(options) {}

  Id convert(plist_t node, size_t depth) {
    if (depth > PropertyListMaximumDepth) return fail("the property list nests too deeply");
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return Number::fromBool(v != 0);
      }
      case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        if (v > static_cast<uint64_t>(INT64_MAX) && !isNegativeInteger(node)) return Number::fromUnsignedLongLong(v);
        return Number::fromLongLong(static_cast<int64_t>(v));
      }
      case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return Number::fromDouble(v);
      }
      case PLIST_STRING:
      case PLIST_KEY: {
        char* raw = nullptr;
        if (plist_get_node_type(node) == PLIST_KEY) plist_get_key_val(node, &raw);
        else plist_get_string_val(node, &raw);
        PlistText text(raw);
        return string(text ? text.get() : "");
      }
      case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return makeDateValue(static_cast<double>(sec) + static_cast<double>(usec) / 1e6);
      }
      case PLIST_DATA: {
        char* raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        PlistText bytes(raw);
        std::vector<uint8_t> v(reinterpret_cast<uint8_t*>(raw), reinterpret_cast<uint8_t*>(raw) + (raw ? length : 0));
        if (options_ & PropertyListMutableContainersAndLeaves) return MutableData::make(std::move(v));
        return Data::make(std::move(v));
      }
      case PLIST_ARRAY: {
        std::vector<Id> items;
        uint32_t n = plist_array_get_size(node);
        items.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
          Id item = convert(plist_array_get_item(node, i), depth + 1);
          if (!item) return nullptr;
          items.push_back(std::move(item));
        }
        if (mutableContainers()) return MutableArray::make(std::move(items));
        return Array::make(std::move(items));
      }
      case PLIST_DICT: {
        Dictionary::Entries entries;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
          char* rawKey = nullptr;
          plist_t value = nullptr;
          plist_dict_next_item(node, it, &rawKey, &value);
          PlistText key(rawKey);
          if (!value) break;
          Id k = string(key ? key.get() : ""), v = convert(value, depth + 1);
          if (!k || !v) {
            std::free(it);
            return nullptr;
          }
          entries.emplace_back(std::move(k), std::move(v));
        }
        std::free(it);
        if (mutableContainers()) return MutableDictionary::make(std::move(entries));
        return Dictionary::make(std::move(entries));
      }
      case PLIST_UID: {
        // As the platform writes a keyed-archive reference in XML.
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        Dictionary::Entries entries{{String::make("CF$UID"), Number::fromUnsignedLongLong(v)}};
        if (mutableContainers()) return MutableDictionary::make(std::move(entries));
        return Dictionary::make(std::move(entries));
      }
      default: return fail("the property list holds a value of an unknown type");
    }
  }

  Ref<Error> error() const { return error_ ? error_ : readError("the property list is malformed"); }

 private:
  bool mutableContainers() const { return options_ & (PropertyListMutableContainers | PropertyListMutableContainersAndLeaves); }

  Id string(const char* text) {
    std::string_view bytes(text);
    if (!isValidUTF8(bytes)) return fail("a string of the property list is not valid UTF-8");
    if (options_ & PropertyListMutableContainersAndLeaves) return MutableString::make(bytes);
    return String::make(bytes);
  }

  Id fail(const std::string& detail) {
    if (!error_) error_ = readError(detail);
    return nullptr;
  }

  unsigned options_;
  Ref<Error> error_;
};

// ---- kit objects to libplist nodes ---------------------------------------

// A node for an unsigned value above INT64_MAX: libplist's API makes every
// integer signed, but its XML reader marks such values unsigned.
plist_t largeUnsignedNode(uint64_t v) {
  std::string xml = "<plist version=\"1.0\"><integer>" + std::to_string(v) + "</integer></plist>";
  plist_t node = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
  return node;
}

class Writer {
 public:
  // The node for `value`, or null with problem() set.
  plist_t convert(const Id& value, size_t depth) {
    if (depth > PropertyListMaximumDepth) return fail("it nests too deeply (a container may hold itself)");
    if (auto* s = dynamic_cast<const String*>(value.get())) return stringNode(s->utf8());
    if (auto* n = dynamic_cast<const Number*>(value.get())) {
      switch (n->kind()) {
        case Number::Kind::Bool: return plist_new_bool(n->boolValue());
        case Number::Kind::Signed: return plist_new_uint(static_cast<uint64_t>(n->longLongValue()));
        case Number::Kind::Unsigned: return largeUnsignedNode(n->unsignedLongLongValue());
        case Number::Kind::Double: return plist_new_real(n->doubleValue());
      }
    }
    if (auto* d = dynamic_cast<const Data*>(value.get())) {
      return plist_new_data(reinterpret_cast<const char*>(d->bytes()), d->length());
    }
    if (auto seconds = dateValueSeconds(value)) {
      double whole = std::floor(*seconds);
      if (!(whole >= std::numeric_limits<int32_t>::min() && whole <= std::numeric_limits<int32_t>::max())) {
        return fail("a date is outside the range this writer supports (1933 to 2069)");
      }
      auto usec = static_cast<int32_t>(std::lround((*seconds - whole) * 1e6));
      if (usec >= 1000000) usec = 999999;
      return plist_new_date(static_cast<int32_t>(whole), usec);
    }
    if (auto* a = dynamic_cast<const Array*>(value.get())) {
      PlistNode node(plist_new_array());
      for (size_t i = 0, n = a->count(); i < n; ++i) {
        plist_t item = convert(a->objectAtIndex(i), depth + 1);
        if (!item) return nullptr;
        plist_array_append_item(static_cast<plist_t>(node.get()), item);
      }
      return static_cast<plist_t>(node.release());
    }
    if (auto* d = dynamic_cast<const Dictionary*>(value.get())) {
      PlistNode node(plist_new_dict());
      for (const auto& [k, v] : d->entries()) {
        auto* key = dynamic_cast<const String*>(k.get());
        if (!key) return fail("dictionary keys must be strings (found " + k->className() + ")");
        if (!checkText(key->utf8())) return nullptr;
        plist_t item = convert(v, depth + 1);
        if (!item) return nullptr;
        plist_dict_set_item(static_cast<plist_t>(node.get()), key->utf8().c_str(), item);
      }
      return static_cast<plist_t>(node.release());
    }
    return fail("property lists cannot contain objects of type '" + (value ? value->className() : "nil") + "'");
  }

  const std::string& problem() const { return problem_; }

 private:
  plist_t stringNode(const std::string& text) {
    if (!checkText(text)) return nullptr;
    return plist_new_string(text.c_str());
  }

  // libplist takes C strings, and a lone surrogate has no UTF-8 form.
  bool checkText(const std::string& text) {
    if (text.find('\0') != std::string::npos) return fail("a string holds a NUL character"), false;
    if (!isValidUTF8(text)) return fail("a string holds a lone surrogate or invalid UTF-8"), false;
    return true;
  }

  plist_t fail(const std::string& problem) {
    if (problem_.empty()) problem_ = problem;
    return nullptr;
  }

  std::string problem_;
};

bool isValid(const Id& value, PropertyListFormat format, size_t depth) {
  if (depth > PropertyListMaximumDepth) return false;
  if (auto* s = dynamic_cast<const String*>(value.get())) {
    return s->utf8().find('\0') == std::string::npos && isValidUTF8(s->utf8());
  }
  if (isKind<Data>(value)) return true;
  if (isKind<Number>(value) || isDateValue(value)) return format != PropertyListFormat::OpenStep;
  if (auto* a = dynamic_cast<const Array*>(value.get())) {
    for (size_t i = 0, n = a->count(); i < n; ++i) {
      if (!isValid(a->objectAtIndex(i), format, depth + 1)) return false;
    }
    return true;
  }
  if (auto* d = dynamic_cast<const Dictionary*>(value.get())) {
    for (const auto& [k, v] : d->entries()) {
      if (!isKind<String>(k) || !isValid(k, format, depth + 1) || !isValid(v, format, depth + 1)) return false;
    }
    return true;
  }
  return false;
}

Id copyValue(const Id& value, unsigned options, size_t depth) {
  if (depth > PropertyListMaximumDepth) return nullptr;
  const bool leaves = options & PropertyListMutableContainersAndLeaves;
  const bool containers = leaves || (options & PropertyListMutableContainers);
  if (auto* s = dynamic_cast<const String*>(value.get())) {
    return leaves ? Id(MutableString::make(s->utf8())) : Id(String::make(s->utf8()));
  }
  if (auto* d = dynamic_cast<const Data*>(value.get())) {
    return leaves ? Id(MutableData::make(d->vector())) : Id(Data::make(d->vector()));
  }
  if (isKind<Number>(value) || isDateValue(value)) return value;  // immutable already
  if (auto* a = dynamic_cast<const Array*>(value.get())) {
    std::vector<Id> items;
    for (size_t i = 0, n = a->count(); i < n; ++i) {
      Id item = copyValue(a->objectAtIndex(i), options, depth + 1);
      if (!item) return nullptr;
      items.push_back(std::move(item));
    }
    return containers ? Id(MutableArray::make(std::move(items))) : Id(Array::make(std::move(items)));
  }
  if (auto* d = dynamic_cast<const Dictionary*>(value.get())) {
    Dictionary::Entries entries;
    for (const auto& [k, v] : d->entries()) {
      if (!isKind<String>(k)) return nullptr;
      Id item = copyValue(v, options, depth + 1);
      if (!item) return nullptr;
      entries.emplace_back(String::make(as<String>(k)->utf8()), std::move(item));
    }
    return containers ? Id(MutableDictionary::make(std::move(entries))) : Id(Dictionary::make(std::move(entries)));
  }
  return nullptr;
}

}  // namespace

Id PropertyListSerialization::propertyListWithData(const Ref<Data>& data, unsigned options,
                                                   PropertyListFormat* format, Ref<Error>* error) {
  auto fail = [&](Ref<Error> e) -> Id {
    if (error) *error = std::move(e);
    return nullptr;
  };
  if (!data || data->empty()) return fail(readError("the property list is empty"));
  if (data->length() > std::numeric_limits<uint32_t>::max()) return fail(readError("the property list is too large"));
  std::string_view bytes = data->view();
  const auto length = static_cast<uint32_t>(bytes.size());

  plist_t root = nullptr;
  PropertyListFormat found;
  if (plist_is_binary(bytes.data(), length)) {
    std::string problem;
    size_t maxNodes = std::max<size_t>(size_t(1) << 18, 16 * bytes.size());
    if (!detail::binaryPropertyListFits(bytes, PropertyListMaximumDepth, maxNodes, problem)) {
      return fail(readError(problem));
    }
    plist_from_bin(bytes.data(), length, &root);
    found = PropertyListFormat::Binary;
  } else {
    size_t start = 0;
    if (bytes.starts_with("\xEF\xBB\xBF")) start = 3;
    while (start < bytes.size() && std::strchr(" \t\r\n", bytes[start])) ++start;
    if (start == bytes.size() || bytes[start] != '<') {
      return fail(readError("the data is not an XML or binary property list (old-style property lists are not read)"));
    }
    std::string problem;
    if (!detail::xmlPropertyListFits(bytes, PropertyListMaximumDepth, problem)) return fail(readError(problem));
    plist_from_xml(bytes.data(), length, &root);
    found = PropertyListFormat::XML;
  }
  if (!root) return fail(readError(found == PropertyListFormat::Binary ? "the binary property list is malformed"
                                                                       : "the XML property list is malformed"));
  PlistNode owner(root);
  Reader reader(options);
  Id value = reader.convert(root, 0);
  if (!value) return fail(reader.error());
  if (format) *format = found;
  return value;
}

Ref<Data> PropertyListSerialization::dataWithPropertyList(const Id& plist, PropertyListFormat format, Ref<Error>* error) {
  auto fail = [&](const std::string& detail) -> Ref<Data> {
    if (error) *error = writeError(detail);
    return nullptr;
  };
  if (format == PropertyListFormat::OpenStep) return fail("the old-style (OpenStep) format is not supported for writing");
  Writer writer;
  PlistNode root(writer.convert(plist, 0));
  if (!root) {
    return fail("Property list invalid for format: " + std::to_string(static_cast<int>(format)) + " (" +
                writer.problem() + ")");
  }
  char* out = nullptr;
  uint32_t length = 0;
  if (format == PropertyListFormat::Binary) {
    plist_to_bin(static_cast<plist_t>(root.get()), &out, &length);
  } else {
    plist_to_xml(static_cast<plist_t>(root.get()), &out, &length);
  }
  if (!out) return fail("the property list could not be encoded");
  auto result = Data::make(out, length);
  if (format == PropertyListFormat::Binary) plist_to_bin_free(out);
  else plist_to_xml_free(out);
  return result;
}

bool PropertyListSerialization::propertyListIsValidForFormat(const Id& plist, PropertyListFormat format) {
  return isValid(plist, format, 0);
}

Id PropertyListSerialization::deepCopy(const Id& plist, unsigned options) { return copyValue(plist, options, 0); }

Id propertyListWithContentsOfFile(const std::string& path, unsigned options, Ref<Error>* error) {
  Ref<Data> bytes = dataWithContentsOfFile(path, error, kMaxPropertyListFileBytes);
  if (!bytes) return nullptr;
  return PropertyListSerialization::propertyListWithData(bytes, options, nullptr, error);
}

Ref<Dictionary> dictionaryWithContentsOfFile(const std::string& path) {
  return as<Dictionary>(propertyListWithContentsOfFile(path));
}

Ref<Array> arrayWithContentsOfFile(const std::string& path) { return as<Array>(propertyListWithContentsOfFile(path)); }

bool writePropertyListToFile(const Id& plist, const std::string& path, bool atomically, PropertyListFormat format,
                             Ref<Error>* error) {
  Ref<Data> data = PropertyListSerialization::dataWithPropertyList(plist, format, error);
  return data && writeDataToFile(*data, path, atomically, error);
}

}  // namespace kit
