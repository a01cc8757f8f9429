// JXSerializer: the recursive value encoder, string escaping, number
// formatting, indentation, the object-text cache and substitutes for
// unsupported objects. The encoder records the first error and stops; the
// document comes out as one kit::Expected, which serialize() turns into nil
// and the error out-parameter.

#include "data/json/jx_serializer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

#include "data/json/double_format.h"
#include "data/json/jx_array.h"
#include "data/json/jx_constants.h"
#include "data/json/jx_dictionary.h"
#include "data/json/jx_output_buffer.h"
#include "data/json/utf8_sequence.h"
#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/number.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

KIT_DEFINE_CLASS_NAMED(JXSerializer, kit::Object, "JXSerializer") {}

namespace {

constexpr size_t kObjectCacheSize = 1024;

enum class Kind { String, Number, Dictionary, Array, Null, Other };

// Which bytes of a string need more than a copy. Bit 0: control characters,
// quote and backslash (always); bit 1: "/"; bit 2: non-ASCII lead and
// continuation bytes; bit 3: 0xED, which may start an unpaired surrogate.
struct StringByteFlags {
  uint8_t of[256];
  constexpr StringByteFlags() : of() {
    for (int c = 0; c < 256; ++c) {
      uint8_t f = 0;
      if (c < 0x20 || c == '"' || c == '\\') f |= 1;
      if (c == '/') f |= 2;
      if (c >= 0x80) f |= 4;
      if (c == 0xED) f |= 8;
      of[c] = f;
    }
  }
};
constexpr StringByteFlags kStringByteFlags;

}  // namespace

struct JXEncodeState {
  unsigned long options = 0;
  unsigned long encodeOption = 0;
  JXOutputBuffer out;

  // The text written for recent strings, numbers and nulls, by address. An
  // address in the cache must keep belonging to the object whose text it
  // recorded: every object written stays alive until the call ends, held by
  // the graph, by `keepAlive` (substitutes and snapshots of other
  // collections) or, when a formatter runs code of its own that could change
  // the graph, by the slot itself.
  struct CacheSlot {
    const kit::Object* object = nullptr;
    kit::Id held;
    size_t offset = 0;
    size_t length = 0;
  };
  CacheSlot cache[kObjectCacheSize];
  bool slotsHoldObjects = false;
  std::vector<kit::Id> keepAlive;

  // The exact classes last seen for each kind.
  const std::type_info* stringType = nullptr;
  const std::type_info* numberType = nullptr;
  const std::type_info* dictionaryType = nullptr;
  const std::type_info* arrayType = nullptr;
  const std::type_info* nullType = nullptr;

  unsigned indentDepth = 0;  // pretty printing
  unsigned nesting = 0;      // containers entered, for the depth limit
  kit::Ref<kit::Error> error;

  const JXSerializer::UnsupportedClassBlock* block = nullptr;
  kit::Object* delegate = nullptr;
  const JXSelector* selector = nullptr;

  bool pretty() const { return options & JXSerializeOptionPretty; }
};

namespace {

class Encoder {
 public:
  explicit Encoder(JXEncodeState& s) : s_(s) {
    flagMask_ = 1 | 8;
    if (s.options & JXSerializeOptionEscapeForwardSlashes) flagMask_ |= 2;
    if (s.options & JXSerializeOptionEscapeUnicode) flagMask_ |= 4;
  }

  bool encode(const kit::Id& value, const kit::Id* replaced = nullptr);
  // A value of the parser's containers, written without making its object.
  bool encodeSlot(const JXSlot& slot, uint8_t tag);
  bool fail(const std::string& message) {
    if (!s_.error) s_.error = kit::Error::make(JXErrorDomain, -1, std::string_view(message));
    return false;
  }
  Kind classify(const kit::Object& o);

 private:
  bool writeString(std::string_view text, bool quotes);
  bool writeNumber(const kit::Number& n);
  void writeInteger(unsigned long long magnitude, bool negative);
  void writeSigned(long long v) {
    writeInteger(v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v), v < 0);
  }
  bool writeDouble(double v);
  bool writeArray(const kit::Array& a);
  bool writeDictionary(const kit::Dictionary& d);
  bool writeKey(const kit::Id& key);
  bool writePair(const kit::Id& key, const kit::Id& value);
  bool writeUnsupported(const kit::Id& value, const kit::Id* replaced);
  void remember(JXEncodeState::CacheSlot& slot, const kit::Id& value, size_t start);
  // Keeps objects fetched from a collection alive until the call ends.
  void keep(std::vector<kit::Id>&& objects) {
    s_.keepAlive.insert(s_.keepAlive.end(), std::make_move_iterator(objects.begin()),
                        std::make_move_iterator(objects.end()));
  }
  bool enterContainer(char open);
  void leaveContainer(char close);
  void separator();
  void literal(const char* text, size_t length) { s_.out.append(text, length); }
  [[noreturn]] void raiseMutated(const kit::Object& collection);

  JXEncodeState& s_;
  uint8_t flagMask_;
};

size_t cacheSlotFor(const void* p) {
  auto a = reinterpret_cast<uintptr_t>(p);
  return ((((a >> 21) & 0x7FF) ^ (a >> 9)) + (a >> 4)) & (kObjectCacheSize - 1);
}

Kind Encoder::classify(const kit::Object& o) {
  const std::type_info* t = &typeid(o);
  if (t == s_.stringType) return Kind::String;
  if (t == s_.numberType) return Kind::Number;
  if (t == s_.dictionaryType) return Kind::Dictionary;
  if (t == s_.arrayType) return Kind::Array;
  if (t == s_.nullType) return Kind::Null;
  if (dynamic_cast<const kit::String*>(&o)) return s_.stringType = t, Kind::String;
  if (dynamic_cast<const kit::Number*>(&o)) return s_.numberType = t, Kind::Number;
  if (dynamic_cast<const kit::Dictionary*>(&o)) return s_.dictionaryType = t, Kind::Dictionary;
  if (dynamic_cast<const kit::Array*>(&o)) return s_.arrayType = t, Kind::Array;
  if (dynamic_cast<const kit::Null*>(&o)) return s_.nullType = t, Kind::Null;
  return Kind::Other;
}

bool Encoder::encode(const kit::Id& value, const kit::Id* replaced) {
  if (!value) return writeUnsupported(value, replaced);
  JXEncodeState::CacheSlot& slot = s_.cache[cacheSlotFor(value.get())];
  if (slot.object == value.get()) {
    s_.out.repeat(slot.offset, slot.length);
    return true;
  }
  const size_t start = s_.out.size();
  bool ok = false;
  switch (classify(*value)) {
    case Kind::String:
      ok = writeString(static_cast<const kit::String&>(*value).utf8(),
                       s_.nesting > 0 || !(s_.encodeOption & JXEncodeOmitQuotes));
      break;
    case Kind::Number: ok = writeNumber(static_cast<const kit::Number&>(*value)); break;
    case Kind::Null:
      literal("null", 4);
      ok = true;
      break;
    case Kind::Array: return writeArray(static_cast<const kit::Array&>(*value));
    case Kind::Dictionary: return writeDictionary(static_cast<const kit::Dictionary&>(*value));
    case Kind::Other: return writeUnsupported(value, replaced);
  }
  if (ok) remember(slot, value, start);
  return ok;
}

void Encoder::remember(JXEncodeState::CacheSlot& slot, const kit::Id& value, size_t start) {
  slot.object = value.get();
  if (s_.slotsHoldObjects) slot.held = value;
  slot.offset = start;
  slot.length = s_.out.size() - start;
}

bool Encoder::writeUnsupported(const kit::Id& value, const kit::Id* replaced) {
  if (replaced) {
    return fail("Unable to serialize object class " + (value ? value->className() : std::string("NULL")) +
                " that was returned by the unsupported class formatter.  Original object class was " +
                ((*replaced) ? (*replaced)->className() : std::string("(null)")) + ".");
  }
  kit::Id substitute;
  if (s_.block && *s_.block) substitute = (*s_.block)(value);
  if (!substitute && s_.delegate) substitute = (*s_.selector)(*s_.delegate, value);
  if (!substitute) {
    return fail("Unable to serialize object class " + (value ? value->className() : std::string("(null)")) + ".");
  }
  s_.keepAlive.push_back(substitute);
  const size_t start = s_.out.size();
  if (!encode(substitute, &value)) return false;
  // A scalar substitute's text stands for the replaced object from now on.
  // (A container's text depends on its indentation, so it is not reused.)
  Kind kind = classify(*substitute);
  if (value && kind != Kind::Array && kind != Kind::Dictionary) remember(s_.cache[cacheSlotFor(value.get())], value, start);
  return true;
}

bool Encoder::encodeSlot(const JXSlot& slot, uint8_t tag) {
  switch (tag) {
    case kJXSlotObject: {
      // A formatter may change the container and move the slot meanwhile;
      // then the object is held here.
      if (!s_.slotsHoldObjects) return encode(slot.object());
      const kit::Id object = slot.object();
      return encode(object);
    }
    case kJXSlotSigned: writeSigned(slot.signedValue()); return true;
    case kJXSlotUnsigned: writeInteger(slot.unsignedValue(), false); return true;
    case kJXSlotDouble: return writeDouble(slot.doubleValue());
    case kJXSlotTrue: literal("true", 4); return true;
    case kJXSlotFalse: literal("false", 5); return true;
    case kJXSlotNull: literal("null", 4); return true;
    default: return writeString(slot.text(tag), true);
  }
}

bool Encoder::writeString(std::string_view text, bool quotes) {
  static const char kHex[] = "0123456789abcdef";
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* const end = p + text.size();
  if (quotes) s_.out.put('"');
  // In chunks, so a long string never needs more than a bounded reserve: at
  // most six characters per byte, plus one sequence running past the chunk.
  constexpr size_t kChunk = 16384;
  while (p < end) {
    const uint8_t* const chunkEnd = end - p > static_cast<ptrdiff_t>(kChunk) ? p + kChunk : end;
    char* w = s_.out.reserve(static_cast<size_t>(chunkEnd - p) * 6 + 12);
    char* const begin = w;
    auto unicodeEscape = [&w](unsigned unit) {
      w[0] = '\\';
      w[1] = 'u';
      w[2] = kHex[(unit >> 12) & 0xF];
      w[3] = kHex[(unit >> 8) & 0xF];
      w[4] = kHex[(unit >> 4) & 0xF];
      w[5] = kHex[unit & 0xF];
      w += 6;
    };
    while (p < chunkEnd) {
      const uint8_t* run = p;
      while (p < chunkEnd && !(kStringByteFlags.of[*p] & flagMask_)) ++p;
      std::memcpy(w, run, static_cast<size_t>(p - run));
      w += p - run;
      if (p >= chunkEnd) break;
      const uint8_t c = *p;
      if (c < 0x80) {
        ++p;
        switch (c) {
          case '"': *w++ = '\\', *w++ = '"'; break;
          case '\\': *w++ = '\\', *w++ = '\\'; break;
          case '/': *w++ = '\\', *w++ = '/'; break;
          case '\b': *w++ = '\\', *w++ = 'b'; break;
          case '\t': *w++ = '\\', *w++ = 't'; break;
          case '\n': *w++ = '\\', *w++ = 'n'; break;
          case '\f': *w++ = '\\', *w++ = 'f'; break;
          case '\r': *w++ = '\\', *w++ = 'r'; break;
          default: unicodeEscape(c); break;
        }
        continue;
      }
      // An unpaired surrogate, which the text can hold, has no UTF-8 form and
      // is written as "?", as a lossy conversion to UTF-8 does.
      if (c == 0xED && end - p >= 3 && (p[1] & 0xE0) == 0xA0 && (p[2] & 0xC0) == 0x80) {
        *w++ = '?';
        p += 3;
        continue;
      }
      if (!(s_.options & JXSerializeOptionEscapeUnicode)) {
        *w++ = static_cast<char>(c);
        ++p;
        continue;
      }
      UTF8Sequence seq = decodeUTF8Sequence(p, end);
      if (seq.result != UTF8SequenceResult::WellFormed) return fail("Error converting UTF8.");
      if (seq.codePoint < 0x10000) {
        unicodeEscape(seq.codePoint);
      } else {
        unicodeEscape((seq.codePoint >> 10) + 0xD7C0);
        unicodeEscape((seq.codePoint & 0x3FF) | 0xDC00);
      }
      p = seq.next;
    }
    s_.out.advance(static_cast<size_t>(w - begin));
  }
  if (quotes) s_.out.put('"');
  return true;
}

bool Encoder::writeNumber(const kit::Number& n) {
  static const kit::Object* const kTrue = kit::Number::yes().get();
  static const kit::Object* const kFalse = kit::Number::no().get();
  if (&n == kTrue) return literal("true", 4), true;
  if (&n == kFalse) return literal("false", 5), true;

  const char* type = n.objCType();
  if (!type || !type[0] || type[1]) {
    return fail(std::string("NSNumber conversion error, unknown type.  Type: '") + (type ? type : "<NULL>") + "'");
  }
  switch (type[0]) {
    case 'B':
    case 'C':
    case 'I':
    case 'L':
    case 'Q':
    case 'S':
    case 'c':
    case 'i':
    case 'l':
    case 'q':
    case 's': {
      if (type[0] >= 'a') {
        writeSigned(n.longLongValue());
      } else {
        writeInteger(n.unsignedLongLongValue(), false);
      }
      return true;
    }
    case 'd':
    case 'f': return writeDouble(n.doubleValue());
    default: {
      char message[96];
      std::snprintf(message, sizeof message, "NSNumber conversion error, unknown type.  Type: '%c' / 0x%2.2x",
                    type[0], static_cast<unsigned char>(type[0]));
      return fail(message);
    }
  }
}

void Encoder::writeInteger(unsigned long long magnitude, bool negative) {
  char buf[24];
  char* const bufEnd = buf + sizeof buf;
  char* p = bufEnd;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (negative) *--p = '-';
  s_.out.append(p, static_cast<size_t>(bufEnd - p));
}

bool Encoder::writeDouble(double v) {
  if (!std::isfinite(v)) return fail("Floating point values must be finite.  JSON does not support NaN or Infinity.");
  char buf[40];
  char* end = writeDouble17g(v, buf);
  s_.out.append(buf, static_cast<size_t>(end - buf));
  return true;
}

bool Encoder::enterContainer(char open) {
  if (s_.nesting >= JXMaximumNestingDepth) {
    return fail("Arrays and objects are nested deeper than " + std::to_string(JXMaximumNestingDepth) + " levels.");
  }
  ++s_.nesting;
  if (!s_.pretty()) {
    s_.out.put(open);
    return true;
  }
  ++s_.indentDepth;
  char* w = s_.out.reserve(2 + 2 * s_.indentDepth);
  w[0] = open;
  w[1] = '\n';
  std::memset(w + 2, ' ', 2 * s_.indentDepth);
  s_.out.advance(2 + 2 * s_.indentDepth);
  return true;
}

void Encoder::leaveContainer(char close) {
  --s_.nesting;
  if (!s_.pretty()) {
    s_.out.put(close);
    return;
  }
  --s_.indentDepth;
  char* w = s_.out.reserve(2 + 2 * s_.indentDepth);
  w[0] = '\n';
  std::memset(w + 1, ' ', 2 * s_.indentDepth);
  w[1 + 2 * s_.indentDepth] = close;
  s_.out.advance(2 + 2 * s_.indentDepth);
}

void Encoder::separator() {
  if (!s_.pretty()) {
    s_.out.put(',');
    return;
  }
  char* w = s_.out.reserve(2 + 2 * s_.indentDepth);
  w[0] = ',';
  w[1] = '\n';
  std::memset(w + 2, ' ', 2 * s_.indentDepth);
  s_.out.advance(2 + 2 * s_.indentDepth);
}

void Encoder::raiseMutated(const kit::Object& collection) {
  kit::raise(kit::GenericException,
             "*** Collection " + collection.defaultDescription() + " was mutated while being enumerated.");
}

bool Encoder::writeArray(const kit::Array& a) {
  if (!enterContainer('[')) return false;
  if (typeid(a) == typeid(JXArray)) {
    // The parser's arrays are read in place; a formatter that mutates one
    // meanwhile is caught, as enumeration would catch it.
    const auto& jx = static_cast<const JXArray&>(a);
    const uint64_t mutations = jx.mutationCount();
    for (size_t i = 0; i < jx.count(); ++i) {
      if (i) separator();
      if (!encodeSlot(jx.slotAt(i), jx.tagAt(i))) return false;
      if (jx.mutationCount() != mutations) raiseMutated(jx);
    }
  } else if (a.count() < 1021) {
    std::vector<kit::Id> items = a.objects();
    bool ok = true;
    for (size_t i = 0; ok && i < items.size(); ++i) {
      if (i) separator();
      ok = encode(items[i]);
    }
    keep(std::move(items));
    if (!ok) return false;
  } else {
    size_t i = 0;
    for (const kit::Id& item : a) {  // raises when the array is mutated meanwhile
      if (i++) separator();
      s_.keepAlive.push_back(item);
      if (!encode(item)) return false;
    }
  }
  leaveContainer(']');
  return true;
}

bool Encoder::writeKey(const kit::Id& key) {
  if (!key || classify(*key) != Kind::String) return fail("Key must be a string object.");
  if (!encode(key)) return false;
  if (s_.pretty()) {
    s_.out.append(": ", 2);
  } else {
    s_.out.put(':');
  }
  return true;
}

bool Encoder::writePair(const kit::Id& key, const kit::Id& value) { return writeKey(key) && encode(value); }

bool Encoder::writeDictionary(const kit::Dictionary& d) {
  if (!enterContainer('{')) return false;
  size_t written = 0;
  if (s_.pretty()) {
    std::vector<kit::Id> keys = d.keys();
    for (const kit::Id& key : keys) {
      if (!key || classify(*key) != Kind::String) return fail("Key must be a string object.");
    }
    std::stable_sort(keys.begin(), keys.end(), [](const kit::Id& a, const kit::Id& b) {
      return static_cast<const kit::String&>(*a).compare(static_cast<const kit::String&>(*b)) ==
             kit::ComparisonResult::Ascending;
    });
    std::vector<kit::Id> values;
    values.reserve(keys.size());
    for (const kit::Id& key : keys) values.push_back(d.objectForKey(key));
    bool ok = true;
    for (size_t i = 0; ok && i < keys.size(); ++i) {
      if (!values[i]) continue;  // removed meanwhile by a formatter
      if (written++) separator();
      ok = writePair(keys[i], values[i]);
    }
    keep(std::move(keys));
    keep(std::move(values));
    if (!ok) return false;
  } else if (typeid(d) == typeid(JXDictionary)) {
    // The parser's dictionaries are read in place, in either form.
    const auto& jx = static_cast<const JXDictionary&>(d);
    const uint64_t mutations = jx.mutationCount();
    if (const JXKeyLayout* layout = jx.layout()) {
      for (size_t i = 0, n = layout->count(); i < n; ++i) {
        if (i) separator();
        if (!writeKey(layout->keyAt(i)) || !encodeSlot(jx.valueSlotAt(i), jx.valueTagAt(i))) return false;
        if (jx.mutationCount() != mutations) raiseMutated(jx);
      }
    } else {
      for (const JXHashTableEntry& e : jx.table()) {
        if (!e.key) continue;
        if (written++) separator();
        if (!writePair(e.key, e.object)) return false;
        if (jx.mutationCount() != mutations) raiseMutated(jx);
      }
    }
  } else {
    const uint64_t mutations = d.mutationCount();
    kit::Dictionary::Entries entries = d.entries();
    bool ok = true;
    for (size_t i = 0; ok && i < entries.size(); ++i) {
      if (written++) separator();
      ok = writePair(entries[i].first, entries[i].second);
      if (ok && d.mutationCount() != mutations) raiseMutated(d);
    }
    for (auto& [key, value] : entries) {
      s_.keepAlive.push_back(std::move(key));
      s_.keepAlive.push_back(std::move(value));
    }
    if (!ok) return false;
  }
  leaveContainer('}');
  return true;
}

// Writes the whole document in the form the state asks for; the text, or
// the first error the encoder recorded.
kit::Expected<kit::Id> encodeDocument(JXEncodeState& s, const kit::Id& object) {
  const unsigned long form = s.encodeOption & JXEncodeAsTypeMask;
  const unsigned long encodeOption = s.encodeOption;

  Encoder encoder(s);
  kit::Id result;
  bool ok = true;
  if (encodeOption & JXEncodeRequireCollection) {
    Kind kind = object ? encoder.classify(*object) : Kind::Other;
    if (kind != Kind::Array && kind != Kind::Dictionary) {
      ok = encoder.fail("Unable to serialize object class " + (object ? object->className() : std::string("(null)")) +
                        ", expected a NSArray or NSDictionary.");
    }
  } else if (encodeOption & JXEncodeRequireString) {
    if (!object || encoder.classify(*object) != Kind::String) {
      ok = encoder.fail("Unable to serialize object class " + (object ? object->className() : std::string("(null)")) +
                        ", expected a NSString.");
    }
  }
  try {
    if (ok && encoder.encode(object)) {
      if (form == JXEncodeAsString) {
        result = std::make_shared<kit::String>(s.out.toString());
      } else if (form == JXEncodeAsData) {
        result = std::make_shared<kit::Data>(s.out.toBytes());
      } else {
        encoder.fail("Unknown encode as type.");
      }
    }
  } catch (const std::bad_alloc&) {
    encoder.fail("Unable to resize temporary buffer.");
    result = nullptr;
  }
  // Every road to no result recorded why.
  if (!result) return kit::unexpected(s.error);
  return result;
}

}  // namespace

// ---- JXSerializer -------------------------------------------------------------

JXSerializer::JXSerializer() = default;
JXSerializer::~JXSerializer() = default;

void JXSerializer::releaseState() { state_.reset(); }

kit::Id JXSerializer::serializeObject(const kit::Id& object, unsigned long options, unsigned long encodeOption,
                                      const UnsupportedClassBlock& block, const kit::Id& delegate,
                                      const JXSelector& selector, kit::Ref<kit::Error>* error) {
  return std::make_shared<JXSerializer>()->serialize(object, options, encodeOption, block, delegate, selector, error);
}

kit::Id JXSerializer::serialize(const kit::Id& object, unsigned long options, unsigned long encodeOption,
                                const UnsupportedClassBlock& block, const kit::Id& delegate,
                                const JXSelector& selector, kit::Ref<kit::Error>* error) {
  releaseState();
  state_ = std::make_unique<JXEncodeState>();
  struct Release {
    JXSerializer* self;
    ~Release() { self->releaseState(); }
  } release{this};
  JXEncodeState& s = *state_;

  if (error && *error) *error = nullptr;
  if (delegate) {
    if (!selector) {
      kit::raise(kit::InvalidArgumentException, "The delegate argument is not NULL, but the selector argument is NULL.");
    }
    if (!selector.respondsTo(*delegate)) {
      kit::raise(kit::InvalidArgumentException,
                 "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
    }
    s.delegate = delegate.get();
    s.selector = &selector;
  }
  s.block = &block;
  s.slotsHoldObjects = static_cast<bool>(block) || s.delegate != nullptr;
  s.options = options;
  s.encodeOption = encodeOption;

  auto written = encodeDocument(s, object);
  if (!written) {
    if (error) *error = written.error();
    return nullptr;
  }
  return std::move(written).value();
}
