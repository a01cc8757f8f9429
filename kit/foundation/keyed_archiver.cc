// Keyed archiving in kit's own format.
//
// An archive is:
//
//   "KITARC" 0x01 0x00          magic and format version
//   varint  objectCount
//   objectCount x (varint length, entry bytes)
//   varint  rootReference        0 is nil, k is the k-th entry
//
// An entry starts with a tag byte; what follows depends on the tag (see
// Tag). References inside entries are varints with the same meaning as the
// root reference, so every object is stored once and shared objects and
// cycles come back as they were. Integers are LEB128 varints (signed ones
// zigzag-encoded), doubles are 8 little-endian bytes.

#include "kit/foundation/keyed_archiver.h"

#include <bit>
#include <cstring>
#include <limits>

#include "kit/foundation/array.h"
#include "kit/foundation/decimal_number.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/serial_date.h"
#include "kit/foundation/string.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

constexpr std::string_view Magic("KITARC\x01\x00", 8);

enum Tag : uint8_t {
  TagNull = 1,
  TagString,              // UTF-8 bytes
  TagMutableString,
  TagNumber,              // kind, objCType, value
  TagData,                // bytes
  TagMutableData,
  TagDate,                // double: seconds since 2001-01-01
  TagArray,               // count, references
  TagMutableArray,
  TagDictionary,          // count, (key reference, value reference) pairs
  TagMutableDictionary,
  TagObject,              // class name, field count, (key, reference) pairs
  TagURL,                 // base URL reference (0: none), relative text
  TagDecimalNumber,       // the decimal's exact text ("8.49", "NaN")
};

[[noreturn]] void raiseArchive(const std::string& reason) {
  raise(InvalidArchiveOperationException, "*** -[KeyedArchiver encodeObject:forKey:]: " + reason);
}

[[noreturn]] void raiseCorrupt(const std::string& reason) {
  raise(InvalidUnarchiveOperationException, "*** -[KeyedUnarchiver decodeObjectForKey:]: incomprehensible archive (" +
                                                reason + ")");
}

// ---- Bytes ----------------------------------------------------------------

void putVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

void putText(std::string& out, std::string_view text) {
  putVarint(out, text.size());
  out += text;
}

void putDouble(std::string& out, double d) {
  auto bits = std::bit_cast<uint64_t>(d);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

// Reads an archive's bytes; every read past the end raises.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

  size_t remaining() const { return bytes_.size() - pos_; }
  bool atEnd() const { return pos_ == bytes_.size(); }
  size_t position() const { return pos_; }

  uint8_t byte() {
    if (atEnd()) raiseCorrupt("truncated");
    return static_cast<uint8_t>(bytes_[pos_++]);
  }
  uint64_t varint() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      uint8_t b = byte();
      if (shift == 63 && b > 1) raiseCorrupt("integer overflow");
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    raiseCorrupt("integer overflow");
  }
  std::string_view bytes(uint64_t n) {
    if (n > remaining()) raiseCorrupt("a length runs past the end");
    std::string_view out = bytes_.substr(pos_, n);
    pos_ += n;
    return out;
  }
  std::string_view text() { return bytes(varint()); }
  std::string_view rest() { return bytes(remaining()); }
  double real() {
    std::string_view b = bytes(8);
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | static_cast<uint8_t>(b[i]);
    return std::bit_cast<double>(bits);
  }
  // A count of items that take at least `minBytes` each, checked against
  // what is left so an absurd count cannot make us allocate.
  uint64_t count(size_t minBytes) {
    uint64_t n = varint();
    if (n > remaining() / minBytes) raiseCorrupt("a count is larger than the data");
    return n;
  }
  void expectEnd() {
    if (!atEnd()) raiseCorrupt("an entry has trailing bytes");
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

// True for UTF-8 that kit strings hold: well-formed, except that lone
// surrogates (which a substring can produce) are allowed.
bool isStringText(std::string_view text) {
  size_t pos = 0;
  std::string again;
  while (pos < text.size()) {
    size_t start = pos;
    char32_t cp = decodeCodePoint(text, pos);
    again.clear();
    appendCodePoint(again, cp);
    if (text.substr(start, pos - start) != again) return false;
  }
  return true;
}

bool isKeyClass(const Id& key) {
  return isKind<String>(key) || isKind<Number>(key) || isKind<Data>(key) || isDateValue(key) || isNull(key);
}

// Immutable containers that the unarchiver fills after creating them, so a
// cycle through an immutable container can point back at it.
class UnarchivedArray final : public Array {
 public:
  size_t count() const override { return items_.size(); }
  Id objectAtIndex(size_t index) const override {
    if (index >= items_.size()) raiseIndex(index);
    return items_[index];
  }
  void append(Id item) { items_.push_back(std::move(item)); }
  void clear() { std::vector<Id>().swap(items_); }

 private:
  std::vector<Id> items_;
};

class UnarchivedDictionary final : public Dictionary {
 public:
  size_t count() const override { return storage_->count(); }
  Id objectForKey(const Id& key) const override { return storage_->objectForKey(key); }
  Id objectForKey(std::string_view key) const override { return storage_->objectForKey(key); }
  std::vector<Id> keys() const override { return storage_->keys(); }
  void set(const Id& value, const Id& key) { storage_->setObject(value, key); }
  void clear() { storage_->removeAllObjects(); }

 private:
  Ref<MutableDictionary> storage_ = MutableDictionary::make();
};

constexpr size_t NotOpen = static_cast<size_t>(-1);

// True when the cycle closed by referring back to the open entry at
// `position` passes through a Coding object.
template <class OpenList>
bool cyclePassesThroughCoding(const OpenList& open, size_t position) {
  size_t before = position == 0 ? 0 : open[position - 1].codingSoFar;
  return open.back().codingSoFar > before;
}

bool validType(Number::Kind kind, char type) {
  std::string_view allowed;
  switch (kind) {
    case Number::Kind::Bool: allowed = "c"; break;
    case Number::Kind::Signed: allowed = "csilqCSILQ"; break;
    case Number::Kind::Unsigned: allowed = "LQ"; break;
    case Number::Kind::Double: allowed = "fd"; break;
  }
  return allowed.find(type) != std::string_view::npos;
}

}  // namespace

// ---- Archiving ------------------------------------------------------------

Ref<Data> KeyedArchiver::archivedDataWithRootObject(const Id& root) {
  KeyedArchiver archiver;
  uint64_t rootRef = archiver.reference(root, 0);
  std::string out(Magic);
  putVarint(out, archiver.entries_.size());
  for (const std::string& entry : archiver.entries_) putText(out, entry);
  putVarint(out, rootRef);
  return Data::make(out);
}

Ref<Data> KeyedArchiver::archivedDataWithRootObject(const Id& root, Ref<Error>* error) {
  try {
    return archivedDataWithRootObject(root);
  } catch (const Exception& e) {
    if (error) *error = Error::make(CocoaErrorDomain, CoderInvalidValueError, e.reason());
    return nullptr;
  }
}

bool KeyedArchiver::canArchiveObject(const Object& object) {
  if (dynamic_cast<const Coding*>(&object)) {
    const Class& cls = object.objectClass();
    return Class::forType(typeid(object)) == &cls && cls.canCreate();
  }
  return dynamic_cast<const Null*>(&object) || dynamic_cast<const String*>(&object) ||
         dynamic_cast<const Number*>(&object) || dynamic_cast<const Data*>(&object) ||
         dynamic_cast<const URL*>(&object) || dynamic_cast<const Date*>(&object) || dynamic_cast<const Array*>(&object) ||
         dynamic_cast<const Dictionary*>(&object);
}

uint64_t KeyedArchiver::reference(const Id& object, size_t depth) {
  if (!object) return 0;
  if (auto it = indexOf_.find(object.get()); it != indexOf_.end()) {
    size_t at = openAt_[it->second];
    if (at != NotOpen && !cyclePassesThroughCoding(open_, at)) {
      raiseArchive("a collection of class (" + object->className() +
                   ") contains itself; only a cycle through a Coding object can be archived");
    }
    return it->second + 1;
  }
  if (depth > ArchiveMaximumDepth) raiseArchive("the object graph nests too deeply");
  uint64_t index = entries_.size();
  entries_.emplace_back();
  indexOf_[object.get()] = index;
  retained_.push_back(object);
  bool isCoding = dynamic_cast<const Coding*>(object.get()) != nullptr;
  open_.push_back({isCoding, (open_.empty() ? 0 : open_.back().codingSoFar) + (isCoding ? 1 : 0)});
  openAt_.push_back(open_.size() - 1);
  std::string entry = body(object, depth);
  open_.pop_back();
  openAt_[index] = NotOpen;
  entries_[index] = std::move(entry);
  return index + 1;
}

std::string KeyedArchiver::body(const Id& object, size_t depth) {
  std::string out;
  if (auto* coding = dynamic_cast<const Coding*>(object.get())) {
    const Class& cls = object->objectClass();
    const Object& instance = *object;
    if (Class::forType(typeid(instance)) != &cls) {
      raiseArchive("an object of a class that is not registered with the runtime (it reports itself as " +
                   cls.name() + ") cannot be archived");
    }
    if (!cls.canCreate()) raiseArchive("class (" + cls.name() + ") cannot be created by name to be unarchived");
    std::vector<Field> fields;
    std::vector<Field>* outerFields = std::exchange(fields_, &fields);
    size_t outerDepth = std::exchange(depth_, depth);
    try {
      coding->encodeWithCoder(*this);
    } catch (...) {
      fields_ = outerFields, depth_ = outerDepth;
      throw;
    }
    fields_ = outerFields, depth_ = outerDepth;
    out += static_cast<char>(TagObject);
    putText(out, cls.name());
    putVarint(out, fields.size());
    for (const Field& f : fields) {
      putText(out, f.key);
      putVarint(out, f.ref);
    }
  } else if (isNull(object)) {
    out += static_cast<char>(TagNull);
  } else if (auto* s = dynamic_cast<const String*>(object.get())) {
    out += static_cast<char>(isKind<MutableString>(object) ? TagMutableString : TagString);
    out += s->utf8();
  } else if (auto* decimal = dynamic_cast<const DecimalNumber*>(object.get())) {
    out += static_cast<char>(TagDecimalNumber);
    out += decimal->description();
  } else if (auto* n = dynamic_cast<const Number*>(object.get())) {
    out += static_cast<char>(TagNumber);
    out += static_cast<char>(n->kind());
    out += n->objCType()[0];
    switch (n->kind()) {
      case Number::Kind::Bool: out += static_cast<char>(n->boolValue()); break;
      case Number::Kind::Signed: putVarint(out, zigzag(n->longLongValue())); break;
      case Number::Kind::Unsigned: putVarint(out, n->unsignedLongLongValue()); break;
      case Number::Kind::Double: putDouble(out, n->doubleValue()); break;
    }
  } else if (auto* d = dynamic_cast<const Data*>(object.get())) {
    out += static_cast<char>(isKind<MutableData>(object) ? TagMutableData : TagData);
    out += d->view();
  } else if (auto seconds = dateValueSeconds(object)) {
    out += static_cast<char>(TagDate);
    putDouble(out, *seconds);
  } else if (auto* url = dynamic_cast<const URL*>(object.get())) {
    out += static_cast<char>(TagURL);
    putVarint(out, reference(url->baseURL(), depth + 1));
    out += url->relativeString()->utf8();
  } else if (auto* a = dynamic_cast<const Array*>(object.get())) {
    out += static_cast<char>(isKind<MutableArray>(object) ? TagMutableArray : TagArray);
    std::vector<Id> items = a->objects();
    putVarint(out, items.size());
    for (const Id& item : items) putVarint(out, reference(item, depth + 1));
  } else if (auto* d = dynamic_cast<const Dictionary*>(object.get())) {
    out += static_cast<char>(isKind<MutableDictionary>(object) ? TagMutableDictionary : TagDictionary);
    Dictionary::Entries entries = d->entries();
    putVarint(out, entries.size());
    for (const auto& [k, v] : entries) {
      if (!isKeyClass(k)) raiseArchive("a dictionary key of class (" + k->className() + ") cannot be archived");
      putVarint(out, reference(k, depth + 1));
      putVarint(out, reference(v, depth + 1));
    }
  } else {
    raiseArchive("object of class (" + object->className() + ") does not adopt Coding");
  }
  return out;
}

void KeyedArchiver::encodeObject(const Id& object, std::string_view key) {
  if (!fields_) raiseArchive("values can only be encoded inside encodeWithCoder");
  uint64_t ref = reference(object, depth_ + 1);
  for (Field& f : *fields_) {
    if (f.key == key) {
      f.ref = ref;
      return;
    }
  }
  fields_->push_back({std::string(key), ref});
}

void KeyedArchiver::encodeBool(bool value, std::string_view key) { encodeObject(Number::fromBool(value), key); }
void KeyedArchiver::encodeInt(int value, std::string_view key) { encodeObject(Number::fromInt(value), key); }
void KeyedArchiver::encodeInteger(long value, std::string_view key) { encodeObject(Number::fromLong(value), key); }
void KeyedArchiver::encodeInt64(int64_t value, std::string_view key) { encodeObject(Number::fromLongLong(value), key); }
void KeyedArchiver::encodeFloat(float value, std::string_view key) { encodeObject(Number::fromFloat(value), key); }
void KeyedArchiver::encodeDouble(double value, std::string_view key) { encodeObject(Number::fromDouble(value), key); }

void KeyedArchiver::encodeDeclaredProperties(const Object& object) {
  for (const Class* cls = &object.objectClass(); cls; cls = cls->superclass()) {
    for (const Property& p : cls->declaredProperties()) {
      if (p.typeEncoding == "@?" || p.typeEncoding == "#" || p.typeEncoding == "*") continue;
      encodeObject(p.get(const_cast<Object&>(object)), p.name);
    }
  }
}

// ---- Unarchiving ----------------------------------------------------------

namespace {
enum EntryState : uint8_t { NotDecoded, InProgress, Decoded };
}

Id KeyedUnarchiver::unarchiveObjectWithData(const Ref<Data>& data) {
  if (!data) raise(InvalidArgumentException, "*** -[KeyedUnarchiver initForReadingWithData:]: data is nil");
  KeyedUnarchiver unarchiver(data);
  Id root = unarchiver.root();
  unarchiver.finished_ = true;
  return root;
}

Id KeyedUnarchiver::unarchivedObjectWithData(const Ref<Data>& data, Ref<Error>* error) {
  try {
    return unarchiveObjectWithData(data);
  } catch (const Exception& e) {
    if (error) *error = Error::make(CocoaErrorDomain, CoderReadCorruptError, e.reason());
    return nullptr;
  }
}

Id KeyedUnarchiver::unarchivedObjectOfClass(const Class& cls, const Ref<Data>& data, Ref<Error>* error) {
  try {
    if (!data) raise(InvalidArgumentException, "*** -[KeyedUnarchiver initForReadingWithData:]: data is nil");
    KeyedUnarchiver unarchiver(data);
    unarchiver.secure_ = true;
    unarchiver.allowed_ = &cls;
    Id root = unarchiver.root();
    if (root && !root->objectClass().isSubclassOf(cls)) {
      raise(InvalidUnarchiveOperationException, "*** -[KeyedUnarchiver decodeObjectOfClass:]: the root is of class (" +
                                                    root->className() + "), not (" + cls.name() + ")");
    }
    unarchiver.finished_ = true;
    return root;
  } catch (const Exception& e) {
    if (error) *error = Error::make(CocoaErrorDomain, CoderReadCorruptError, e.reason());
    return nullptr;
  }
}

void KeyedUnarchiver::checkAllowed(const Class* cls, std::string_view name) const {
  if (!secure_ || (cls && allowed_ && cls->isSubclassOf(*allowed_))) return;
  raise(InvalidUnarchiveOperationException, "*** -[KeyedUnarchiver decodeObjectOfClass:]: value of class (" +
                                                std::string(name) + ") was not asked for" +
                                                (allowed_ ? "; expected (" + allowed_->name() + ")" : std::string()));
}

void KeyedUnarchiver::checkArrayOf(std::string_view key, const Id& value, bool (*isElement)(const Id&)) {
  auto array = as<Array>(value);
  if (!array) raiseUnexpectedClass(key, value);
  for (const Id& element : array->objects()) {
    if (!isElement(element)) raiseUnexpectedClass(key, element);
  }
}

KeyedUnarchiver::~KeyedUnarchiver() {
  if (finished_) return;
  // Unarchiving failed: empty the containers made so far, so that a cycle
  // among them does not keep them alive.
  for (const Id& object : decoded_) {
    if (auto* a = dynamic_cast<UnarchivedArray*>(object.get())) a->clear();
    else if (auto* d = dynamic_cast<UnarchivedDictionary*>(object.get())) d->clear();
    else if (auto* ma = dynamic_cast<MutableArray*>(object.get())) ma->removeAllObjects();
    else if (auto* md = dynamic_cast<MutableDictionary*>(object.get())) md->removeAllObjects();
  }
}

Id KeyedUnarchiver::root() {
  Cursor cursor(data_->view());
  if (cursor.remaining() < Magic.size() || cursor.bytes(Magic.size() - 2) != Magic.substr(0, Magic.size() - 2)) {
    raiseCorrupt("not a kit archive");
  }
  if (cursor.byte() != static_cast<uint8_t>(Magic[6]) || cursor.byte() != 0) raiseCorrupt("unsupported archive version");
  uint64_t count = cursor.count(2);  // each entry takes a length and a tag
  entries_.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t length = cursor.varint();
    size_t offset = cursor.position();
    if (length == 0) raiseCorrupt("an entry is empty");
    cursor.bytes(length);
    entries_.push_back({offset, static_cast<size_t>(length)});
  }
  uint64_t rootRef = cursor.varint();
  cursor.expectEnd();
  decoded_.resize(count);
  state_.assign(count, NotDecoded);
  openAt_.assign(count, NotOpen);
  return object(rootRef, 0);
}

Id KeyedUnarchiver::object(uint64_t ref, size_t depth) {
  if (ref == 0) return nullptr;
  if (ref > entries_.size()) raiseCorrupt("a reference is out of range");
  size_t index = ref - 1;
  if (state_[index] == InProgress && !cyclePassesThroughCoding(open_, openAt_[index])) {
    raiseCorrupt("a collection contains itself");
  }
  if (state_[index] != NotDecoded) {
    const Id& earlier = decoded_[index];
    if (secure_ && dynamic_cast<const Coding*>(earlier.get())) checkAllowed(&earlier->objectClass(), earlier->className());
    return earlier;
  }
  if (depth > ArchiveMaximumDepth) raiseCorrupt("the object graph nests too deeply");
  return decodeEntry(index, depth);
}

Id KeyedUnarchiver::decodeEntry(size_t index, size_t depth) {
  Cursor in(data_->view().substr(entries_[index].offset, entries_[index].length));
  state_[index] = InProgress;
  auto done = [&](Id value) {
    decoded_[index] = value;
    state_[index] = Decoded;
    if (openAt_[index] != NotOpen) {
      open_.pop_back();
      openAt_[index] = NotOpen;
    }
    return value;
  };
  // Containers and Coding objects can be referred back to while they are
  // being filled.
  auto openEntry = [&](bool isCoding) {
    open_.push_back({isCoding, (open_.empty() ? 0 : open_.back().codingSoFar) + (isCoding ? 1 : 0)});
    openAt_[index] = open_.size() - 1;
  };
  auto element = [&](uint64_t ref) {
    if (ref == 0) raiseCorrupt("a collection holds nil");
    return object(ref, depth + 1);
  };

  switch (uint8_t tag = in.byte()) {
    case TagNull:
      in.expectEnd();
      return done(Null::null());
    case TagString:
    case TagMutableString: {
      std::string_view text = in.rest();
      if (!isStringText(text)) raiseCorrupt("a string is not UTF-8");
      return done(tag == TagString ? Id(String::make(text)) : Id(MutableString::make(text)));
    }
    case TagNumber: {
      uint8_t kindByte = in.byte();
      if (kindByte > static_cast<uint8_t>(Number::Kind::Double)) raiseCorrupt("unknown number kind");
      auto kind = static_cast<Number::Kind>(kindByte);
      char type = static_cast<char>(in.byte());
      if (!validType(kind, type)) raiseCorrupt("a number has an invalid type");
      Id number;
      switch (kind) {
        case Number::Kind::Bool: {
          uint8_t v = in.byte();
          if (v > 1) raiseCorrupt("a bool is neither 0 nor 1");
          number = Number::fromBool(v);
          break;
        }
        case Number::Kind::Signed:
          number = std::make_shared<Number>(kind, type, unzigzag(in.varint()), 0, 0);
          break;
        case Number::Kind::Unsigned: {
          uint64_t v = in.varint();
          if (v <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) raiseCorrupt("an unsigned number is small");
          number = std::make_shared<Number>(kind, type, 0, v, 0);
          break;
        }
        case Number::Kind::Double:
          number = std::make_shared<Number>(kind, type, 0, 0, in.real());
          break;
      }
      in.expectEnd();
      return done(number);
    }
    case TagData:
    case TagMutableData: {
      std::string_view bytes = in.rest();
      std::vector<uint8_t> v(bytes.begin(), bytes.end());
      return done(tag == TagData ? Id(Data::make(std::move(v))) : Id(MutableData::make(std::move(v))));
    }
    case TagDate: {
      double seconds = in.real();
      in.expectEnd();
      return done(makeDateValue(seconds));
    }
    case TagDecimalNumber: {
      Ref<DecimalNumber> decimal = DecimalNumber::decimalNumberWithCanonicalText(in.rest());
      if (!decimal) raiseCorrupt("a decimal number is not in its written form");
      return done(decimal);
    }
    case TagURL: {
      uint64_t baseRef = in.varint();
      openEntry(false);  // a base URL that leads back here is refused
      AllowedScope scope(*this, nullptr, nullptr);
      Id base = object(baseRef, depth + 1);
      if (base && !isKind<URL>(base)) raiseCorrupt("the base of a URL is not a URL");
      Ref<URL> url = URL::URLWithString(in.rest(), as<URL>(base));
      if (!url) raiseCorrupt("a URL is not valid");
      return done(url);
    }
    case TagArray:
    case TagMutableArray: {
      uint64_t count = in.count(1);
      openEntry(false);
      // Its elements may be of the class named for the elements of an array
      // here; nothing below them may.
      AllowedScope scope(*this, allowedElements_, nullptr);
      // An element whose initWithCoder failed (nil) is left out.
      if (tag == TagArray) {
        auto array = std::make_shared<UnarchivedArray>();
        decoded_[index] = array;
        for (uint64_t i = 0; i < count; ++i) {
          if (Id item = element(in.varint())) array->append(std::move(item));
        }
        in.expectEnd();
        return done(array);
      }
      auto array = MutableArray::make();
      decoded_[index] = array;
      for (uint64_t i = 0; i < count; ++i) {
        if (Id item = element(in.varint())) array->addObject(item);
      }
      in.expectEnd();
      return done(array);
    }
    case TagDictionary:
    case TagMutableDictionary: {
      uint64_t count = in.count(2);
      openEntry(false);
      AllowedScope scope(*this, nullptr, nullptr);
      Ref<UnarchivedDictionary> fixed;
      Ref<MutableDictionary> growing;
      if (tag == TagDictionary) decoded_[index] = fixed = std::make_shared<UnarchivedDictionary>();
      else decoded_[index] = growing = MutableDictionary::make();
      for (uint64_t i = 0; i < count; ++i) {
        Id key = element(in.varint());
        if (!isKeyClass(key)) raiseCorrupt("a dictionary key of class (" + key->className() + ")");
        Id value = element(in.varint());
        if (!value) continue;  // its initWithCoder failed
        if (fixed) fixed->set(value, key);
        else growing->setObject(value, key);
      }
      in.expectEnd();
      return done(decoded_[index]);
    }
    case TagObject: {
      std::string name(in.text());
      uint64_t count = in.count(2);
      std::vector<Field> fields;
      fields.reserve(count);
      for (uint64_t i = 0; i < count; ++i) {
        std::string key(in.text());
        fields.push_back({std::move(key), in.varint()});
      }
      in.expectEnd();
      const Class* cls = Class::named(name);
      checkAllowed(cls, name);  // before anything of the class runs
      Id instance = cls ? cls->create() : nullptr;
      auto* coding = dynamic_cast<Coding*>(instance.get());
      if (!coding) {
        raise(InvalidUnarchiveOperationException,
              "*** -[KeyedUnarchiver decodeObjectForKey:]: cannot decode object of class (" + name + ")");
      }
      decoded_[index] = instance;
      openEntry(true);
      const std::vector<Field>* outerFields = std::exchange(fields_, &fields);
      size_t outerDepth = std::exchange(depth_, depth);
      AllowedScope scope(*this, nullptr, nullptr);  // its fields name their own classes
      bool ok;
      try {
        ok = coding->initWithCoder(*this);
      } catch (...) {
        fields_ = outerFields, depth_ = outerDepth;
        throw;
      }
      fields_ = outerFields, depth_ = outerDepth;
      return done(ok ? instance : nullptr);
    }
    default:
      raiseCorrupt("unknown entry tag " + std::to_string(tag));
  }
}

const KeyedUnarchiver::Field* KeyedUnarchiver::field(std::string_view key) const {
  if (!fields_) raise(InvalidUnarchiveOperationException, "values can only be decoded inside initWithCoder");
  for (const Field& f : *fields_) {
    if (f.key == key) return &f;
  }
  return nullptr;
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const { return field(key) != nullptr; }

Id KeyedUnarchiver::decodeObjectForKey(std::string_view key) { return decodeObjectForKey(key, nullptr); }

Id KeyedUnarchiver::decodeObjectForKey(std::string_view key, const Class* allowed, const Class* allowedElements) {
  const Field* f = field(key);
  if (!f) return nullptr;
  AllowedScope scope(*this, allowed, allowedElements);
  return object(f->ref, depth_ + 1);
}

void KeyedUnarchiver::raiseUnexpectedClass(std::string_view key, const Id& value) {
  raise(InvalidUnarchiveOperationException, "*** -[KeyedUnarchiver decodeObjectForKey:]: value for key (" +
                                                std::string(key) + ") is of unexpected class (" +
                                                value->className() + ")");
}

Ref<Number> KeyedUnarchiver::number(std::string_view key) {
  Id value = decodeObjectForKey(key);
  if (value && !isKind<Number>(value)) raiseUnexpectedClass(key, value);
  return as<Number>(value);
}

namespace {
template <class T>
T checkedInteger(const Ref<Number>& n, std::string_view key) {
  if (!n) return 0;
  bool fits = n->kind() == Number::Kind::Unsigned
                  ? n->unsignedLongLongValue() <= static_cast<unsigned long long>(std::numeric_limits<T>::max())
                  : n->doubleValue() >= static_cast<double>(std::numeric_limits<T>::min()) &&
                        n->doubleValue() <= static_cast<double>(std::numeric_limits<T>::max());
  if (!fits) {
    raise(InvalidUnarchiveOperationException, "*** -[KeyedUnarchiver decodeIntegerForKey:]: value (" +
                                                  n->stringValue() + ") for key (" + std::string(key) +
                                                  ") is too large to fit in the integer type");
  }
  return static_cast<T>(n->longLongValue());
}
}  // namespace

bool KeyedUnarchiver::decodeBoolForKey(std::string_view key) {
  auto n = number(key);
  return n && n->boolValue();
}
int KeyedUnarchiver::decodeIntForKey(std::string_view key) { return checkedInteger<int>(number(key), key); }
long KeyedUnarchiver::decodeIntegerForKey(std::string_view key) { return checkedInteger<long>(number(key), key); }
int64_t KeyedUnarchiver::decodeInt64ForKey(std::string_view key) { return checkedInteger<int64_t>(number(key), key); }
float KeyedUnarchiver::decodeFloatForKey(std::string_view key) {
  auto n = number(key);
  return n ? n->floatValue() : 0.0f;
}
double KeyedUnarchiver::decodeDoubleForKey(std::string_view key) {
  auto n = number(key);
  return n ? n->doubleValue() : 0.0;
}

void KeyedUnarchiver::decodeDeclaredProperties(Object& object) {
  for (const Class* cls = &object.objectClass(); cls; cls = cls->superclass()) {
    for (const Property& p : cls->declaredProperties()) {
      if (!p.set || !containsValueForKey(p.name)) continue;
      Id value = decodeObjectForKey(p.name);
      try {
        p.set(object, value);
      } catch (const Exception& e) {
        raise(InvalidUnarchiveOperationException, "*** -[KeyedUnarchiver decodeObjectForKey:]: value for key (" +
                                                      p.name + ") does not fit the property: " + e.reason());
      }
    }
  }
}

}  // namespace kit
