// JSON serialization: reading through nlohmann's SAX parser straight into
// kit objects, and a writer of the platform's compact and pretty formats.

#include "kit/foundation/json_serialization.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

constexpr const char* CorruptText = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";

Ref<Error> corruptError(const std::string& detail, size_t index) {
  return Error::make(CocoaErrorDomain, JSONReadCorruptError,
                     dict({{LocalizedDescriptionKey, CorruptText},
                           {"NSDebugDescription", detail},
                           {"NSJSONSerializationErrorIndex", static_cast<unsigned long long>(index)}}));
}

// ---- Reading --------------------------------------------------------------

// Builds kit objects from the parser's events. Containers are collected on
// a stack of frames and made into objects when they close.
class ObjectBuilder {
 public:
  using json = nlohmann::json;

  explicit ObjectBuilder(unsigned options) : options_(options) {}

  bool null() { return add(Null::null()); }
  bool boolean(bool v) { return add(Number::fromBool(v)); }
  bool number_integer(json::number_integer_t v) { return add(Number::fromLongLong(v)); }
  bool number_unsigned(json::number_unsigned_t v) { return add(Number::fromUnsignedLongLong(v)); }
  bool number_float(json::number_float_t v, const std::string&) { return add(Number::fromDouble(v)); }
  bool string(std::string& v) {
    if (options_ & JSONReadingMutableLeaves) return add(MutableString::make(v));
    return add(String::make(v));
  }
  bool binary(json::binary_t&) { return false; }  // not produced by JSON text

  bool start_object(size_t) { return open(true); }
  bool key(std::string& k) {
    frames_.back().key = String::make(k);
    return true;
  }
  bool end_object() {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (options_ & JSONReadingMutableContainers) return add(MutableDictionary::make(std::move(frame.entries)));
    return add(Dictionary::make(std::move(frame.entries)));
  }

  bool start_array(size_t) { return open(false); }
  bool end_array() {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (options_ & JSONReadingMutableContainers) return add(MutableArray::make(std::move(frame.items)));
    return add(Array::make(std::move(frame.items)));
  }

  bool parse_error(size_t position, const std::string&, const nlohmann::detail::exception& ex) {
    std::string message = ex.what();
    // "[json.exception.parse_error.101] parse error at line 1, column 5: ..."
    if (auto close = message.find("] "); close != std::string::npos) message = message.substr(close + 2);
    error_ = corruptError("JSON text is malformed: " + message, position);
    return false;
  }

  Id root() const { return root_; }
  Ref<Error> error() const { return error_; }

 private:
  struct Frame {
    bool isObject;
    std::vector<Id> items;
    Dictionary::Entries entries;
    Id key;
  };

  bool open(bool isObject) {
    if (frames_.size() >= JSONMaximumDepth) {
      error_ = corruptError("Too many nested arrays or dictionaries (more than " +
                                std::to_string(JSONMaximumDepth) + ").",
                            0);
      return false;
    }
    frames_.push_back(Frame{isObject, {}, {}, nullptr});
    return true;
  }

  bool add(Id value) {
    if (frames_.empty()) {
      root_ = std::move(value);
    } else if (Frame& top = frames_.back(); top.isObject) {
      top.entries.emplace_back(std::move(top.key), std::move(value));
    } else {
      top.items.push_back(std::move(value));
    }
    return true;
  }

  unsigned options_;
  std::vector<Frame> frames_;
  Id root_;
  Ref<Error> error_;
};

// JSON text may come in UTF-8, UTF-16 or UTF-32, with or without a byte
// order mark; the parser reads UTF-8. Returns false when a UTF-16/32 text
// has a truncated code unit.
bool toUTF8(std::string_view bytes, std::string& out) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  size_t n = bytes.size();
  enum { UTF8, UTF16LE, UTF16BE, UTF32LE, UTF32BE } encoding = UTF8;
  size_t skip = 0;
  if (n >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    skip = 3;
  } else if (n >= 4 && at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF) {
    encoding = UTF32BE, skip = 4;
  } else if (n >= 4 && at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0) {
    encoding = UTF32LE, skip = 4;
  } else if (n >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
    encoding = UTF16BE, skip = 2;
  } else if (n >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    encoding = UTF16LE, skip = 2;
  } else if (n >= 4 && at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) != 0) {
    encoding = UTF32BE;
  } else if (n >= 4 && at(0) != 0 && at(1) == 0 && at(2) == 0 && at(3) == 0) {
    encoding = UTF32LE;
  } else if (n >= 2 && at(0) == 0 && at(1) != 0) {
    encoding = UTF16BE;
  } else if (n >= 2 && at(0) != 0 && at(1) == 0) {
    encoding = UTF16LE;
  }
  bytes.remove_prefix(skip);
  n = bytes.size();
  if (encoding == UTF8) {
    out.assign(bytes);
    return true;
  }
  if (encoding == UTF16LE || encoding == UTF16BE) {
    if (n % 2) return false;
    std::u16string units(n / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
      unsigned a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
      units[i] = static_cast<char16_t>(encoding == UTF16LE ? (b << 8 | a) : (a << 8 | b));
    }
    out = utf16ToUTF8(units);
    return true;
  }
  if (n % 4) return false;
  out.clear();
  for (size_t i = 0; i < n; i += 4) {
    uint32_t c = 0;
    for (size_t k = 0; k < 4; ++k) {
      size_t index = encoding == UTF32BE ? i + k : i + 3 - k;
      c = c << 8 | static_cast<unsigned char>(bytes[index]);
    }
    // Code points outside Unicode become a byte the parser refuses.
    if (c > 0x10FFFF) out += '\xFF';
    else appendCodePoint(out, c);
  }
  return true;
}

// ---- Writing --------------------------------------------------------------

class Writer {
 public:
  explicit Writer(unsigned options) : options_(options) {}

  // False when the nesting is too deep.
  bool write(const Id& value, size_t depth) {
    if (auto* s = dynamic_cast<const String*>(value.get())) {
      writeString(s->utf8());
    } else if (auto* n = dynamic_cast<const Number*>(value.get())) {
      writeNumber(*n);
    } else if (isNull(value)) {
      out_ += "null";
    } else if (auto* a = dynamic_cast<const Array*>(value.get())) {
      return writeArray(*a, depth);
    } else if (auto* d = dynamic_cast<const Dictionary*>(value.get())) {
      return writeDictionary(*d, depth);
    } else {
      raise(InvalidArgumentException, "Invalid type in JSON write (" + (value ? value->className() : "nil") + ")");
    }
    return true;
  }

  std::string& text() { return out_; }

 private:
  bool pretty() const { return options_ & JSONWritingPrettyPrinted; }

  void newline(size_t depth) {
    out_ += '\n';
    out_.append(2 * depth, ' ');
  }

  bool writeArray(const Array& a, size_t depth) {
    if (depth >= JSONMaximumDepth) return false;
    size_t n = a.count();
    out_ += '[';
    for (size_t i = 0; i < n; ++i) {
      if (i) out_ += ',';
      if (pretty()) newline(depth + 1);
      if (!write(a.objectAtIndex(i), depth + 1)) return false;
    }
    closeContainer(n == 0, depth, ']');
    return true;
  }

  bool writeDictionary(const Dictionary& d, size_t depth) {
    if (depth >= JSONMaximumDepth) return false;
    std::vector<Id> keys = d.keys();
    for (const Id& k : keys) {
      if (!dynamic_cast<const String*>(k.get())) raise(InvalidArgumentException, "Invalid (non-string) key in JSON dictionary");
    }
    if (options_ & JSONWritingSortedKeys) {
      std::stable_sort(keys.begin(), keys.end(), [](const Id& x, const Id& y) {
        return static_cast<const String&>(*x).compare(static_cast<const String&>(*y)) == ComparisonResult::Ascending;
      });
    }
    out_ += '{';
    bool first = true;
    for (const Id& k : keys) {
      Id v = d.objectForKey(k);
      if (!v) continue;
      if (!first) out_ += ',';
      first = false;
      if (pretty()) newline(depth + 1);
      writeString(static_cast<const String&>(*k).utf8());
      out_ += pretty() ? " : " : ":";
      if (!write(v, depth + 1)) return false;
    }
    closeContainer(first, depth, '}');
    return true;
  }

  // The platform's pretty format puts an empty line inside an empty
  // container: "[\n\n]".
  void closeContainer(bool empty, size_t depth, char close) {
    if (pretty()) {
      if (empty) out_ += '\n';
      newline(depth);
    }
    out_ += close;
  }

  void writeNumber(const Number& n) {
    if (n.isBool()) {
      out_ += n.boolValue() ? "true" : "false";
      return;
    }
    if (n.kind() == Number::Kind::Double) {
      double d = n.doubleValue();
      if (std::isnan(d)) raise(InvalidArgumentException, "Invalid number value (NaN) in JSON write");
      if (std::isinf(d)) raise(InvalidArgumentException, "Invalid number value (infinite) in JSON write");
    }
    out_ += n.stringValue();
  }

  void writeString(std::string_view s) {
    static const char* hex = "0123456789abcdef";
    auto escapeUnit = [&](unsigned unit) {
      out_ += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out_ += hex[(unit >> shift) & 0xF];
    };
    out_ += '"';
    size_t pos = 0;
    while (pos < s.size()) {
      auto c = static_cast<unsigned char>(s[pos]);
      if (c >= 0x80) {
        char32_t cp = decodeCodePoint(s, pos);
        // A lone surrogate has no UTF-8 form; its escape keeps it.
        if (cp >= 0xD800 && cp <= 0xDFFF) escapeUnit(cp);
        else appendCodePoint(out_, cp);
        continue;
      }
      ++pos;
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '/': out_ += (options_ & JSONWritingWithoutEscapingSlashes) ? "/" : "\\/"; break;
        case '\b': out_ += "\\b"; break;
        case '\f': out_ += "\\f"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (c < 0x20) escapeUnit(c);
          else out_ += static_cast<char>(c);
      }
    }
    out_ += '"';
  }

  unsigned options_;
  std::string out_;
};

bool isContainer(const Id& v) { return isKind<Array>(v) || isKind<Dictionary>(v); }

bool isValidValue(const Id& value, size_t depth) {
  if (depth > JSONMaximumDepth) return false;
  if (isKind<String>(value) || isNull(value)) return true;
  if (auto* n = dynamic_cast<const Number*>(value.get())) return std::isfinite(n->doubleValue());
  if (auto* a = dynamic_cast<const Array*>(value.get())) {
    for (size_t i = 0, count = a->count(); i < count; ++i) {
      if (!isValidValue(a->objectAtIndex(i), depth + 1)) return false;
    }
    return true;
  }
  if (auto* d = dynamic_cast<const Dictionary*>(value.get())) {
    for (const auto& [k, v] : d->entries()) {
      if (!isKind<String>(k) || !isValidValue(v, depth + 1)) return false;
    }
    return true;
  }
  return false;
}

}  // namespace

Id JSONSerialization::JSONObjectWithData(const Ref<Data>& data, unsigned options, Ref<Error>* error) {
  if (!data) raise(InvalidArgumentException, "*** +[JSONSerialization JSONObjectWithData:options:error:]: data parameter is nil");
  auto fail = [&](Ref<Error> e) -> Id {
    if (error) *error = std::move(e);
    return nullptr;
  };
  if (data->empty()) return fail(corruptError("Unable to parse empty data.", 0));
  std::string text;
  if (!toUTF8(data->view(), text)) return fail(corruptError("JSON text has a truncated UTF-16 or UTF-32 code unit.", data->length()));

  ObjectBuilder builder(options);
  bool ok = nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true, false);
  if (!ok || !builder.root()) {
    return fail(builder.error() ? builder.error() : corruptError("JSON text is malformed.", 0));
  }
  // The parser reads a NUL byte as the end of its input, so a value it
  // accepted may still be followed by one and by more bytes. JSON text has
  // no raw NUL anywhere (inside strings the parser refuses it itself): the
  // text goes on after its value, which is refused like any other bytes
  // there.
  if (size_t nul = text.find('\0'); nul != std::string::npos) {
    return fail(corruptError("JSON text is malformed: unexpected NUL byte at index " + std::to_string(nul) +
                                 " after the value; expected end of input",
                             nul));
  }
  if (!(options & JSONReadingFragmentsAllowed) && !isContainer(builder.root())) {
    return fail(corruptError("JSON text did not start with array or object and option to allow fragments not set.", 0));
  }
  return builder.root();
}

Ref<Data> JSONSerialization::dataWithJSONObject(const Id& object, unsigned options, Ref<Error>* error) {
  if (!object || (!(options & JSONWritingFragmentsAllowed) && !isContainer(object))) {
    raise(InvalidArgumentException, "*** +[JSONSerialization dataWithJSONObject:options:error:]: Invalid top-level type in JSON write");
  }
  Writer writer(options);
  if (!writer.write(object, 0)) {
    if (error) {
      *error = Error::make(CocoaErrorDomain, JSONReadCorruptError,
                           dict({{LocalizedDescriptionKey, "The data couldn\u2019t be written because it isn\u2019t in the correct format."},
                                 {"NSDebugDescription", "Too many nested arrays or dictionaries (more than " +
                                                            std::to_string(JSONMaximumDepth) +
                                                            "); a container may hold itself."}}));
    }
    return nullptr;
  }
  std::string& text = writer.text();
  return Data::make(std::vector<uint8_t>(text.begin(), text.end()));
}

bool JSONSerialization::isValidJSONObject(const Id& object) {
  return isContainer(object) && isValidValue(object, 0);
}

}  // namespace kit
