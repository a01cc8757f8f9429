// Keyed archiving: an object graph to bytes and back, in kit's own binary
// format (not the platform's).
//
// An archive keeps strings, numbers (with their exact type; decimal numbers
// exactly), data, dates, URLs (with their base URL), arrays and
// dictionaries (mutable or not, dictionary order kept), the null object,
// and objects of registered classes that adopt kit::Coding. Every object is
// stored once, so shared references stay shared and cycles come back as
// cycles. A cycle must pass through a Coding object, which decides
// whether it holds the reference weakly; a collection that contains itself
// only through collections could never be released, and is refused on both
// sides.
//
// A model class opts in like this:
//
//   class Role : public kit::Object, public kit::Coding {
//     KIT_OBJECT(Role)
//    public:
//     void encodeWithCoder(kit::KeyedArchiver& coder) const override {
//       coder.encodeObject(name, "name");
//       coder.encodeInteger(level, "level");
//     }
//     bool initWithCoder(kit::KeyedUnarchiver& coder) override {
//       name = coder.decodeObjectOfClass<kit::String>("name");
//       level = coder.decodeIntegerForKey("level");
//       return true;
//     }
//     Ref<kit::String> name;
//     long level = 0;
//   };
//   KIT_DEFINE_CLASS(Role, kit::Object) {}   // registered and default-constructible
//
// Archiving an object that cannot be archived raises
// InvalidArchiveOperationException; unarchiving malformed bytes raises
// InvalidUnarchiveOperationException. The variants taking an Error** return
// nil with an Error instead.
//
// Secure decoding (unarchivedObjectOfClass) is for bytes that come from
// outside: it creates an object of a registered class only where the caller
// names that class: the root itself, the value of decodeObjectOfClass<T>
// itself, the elements of the array of decodeArrayOfObjectsOfClass<T>;
// never inside another collection — so an archive cannot make the program
// build objects it did not ask for, and a refused archive has built none.
// Plain values (strings, numbers, data, dates, URLs, collections of them)
// are always allowed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/number.h"
#include "kit/foundation/object.h"

namespace kit {

class KeyedArchiver;
class KeyedUnarchiver;

// Adopted by classes whose instances can be archived. The class must be
// registered with the runtime (KIT_OBJECT / KIT_DEFINE_CLASS) and be
// default-constructible: the unarchiver creates it by class name and then
// calls initWithCoder.
class Coding {
 public:
  virtual ~Coding() = default;
  virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
  // Reads the object's state; false when the values do not make a valid
  // object, which decodes as nil (and is left out of a collection holding
  // it).
  virtual bool initWithCoder(KeyedUnarchiver& coder) = 0;
};

// The platform's coder error codes (Cocoa domain).
inline constexpr long CoderReadCorruptError = 4864;
inline constexpr long CoderInvalidValueError = 4866;
// Nesting deeper than this is refused on archiving and unarchiving.
inline constexpr size_t ArchiveMaximumDepth = 512;

class KeyedArchiver {
 public:
  // The archive of `root` (which may be nil). Raises
  // InvalidArchiveOperationException for an object that cannot be archived.
  static Ref<Data> archivedDataWithRootObject(const Id& root);
  // The same, giving nil and an Error instead of raising.
  static Ref<Data> archivedDataWithRootObject(const Id& root, Ref<Error>* error);

  // Whether archiving `object` can store it as what it is: plain values
  // always; other objects when they adopt Coding and their own class (not
  // only an ancestor) is registered and can be created by name.
  static bool canArchiveObject(const Object& object);

  // Inside encodeWithCoder: values of the object being archived.
  void encodeObject(const Id& object, std::string_view key);
  void encodeBool(bool value, std::string_view key);
  void encodeInt(int value, std::string_view key);
  void encodeInteger(long value, std::string_view key);
  void encodeInt64(int64_t value, std::string_view key);
  void encodeFloat(float value, std::string_view key);
  void encodeDouble(double value, std::string_view key);
  // Every declared property of the object's class and its ancestors that
  // holds an object or a scalar, keyed by property name.
  void encodeDeclaredProperties(const Object& object);

 private:
  KeyedArchiver() = default;
  uint64_t reference(const Id& object, size_t depth);
  std::string body(const Id& object, size_t depth);

  struct Field {
    std::string key;
    uint64_t ref;
  };
  std::vector<std::string> entries_;
  std::unordered_map<const Object*, uint64_t> indexOf_;
  std::vector<Id> retained_;  // keeps every archived object alive, so addresses stay unique
  std::vector<Field>* fields_ = nullptr;
  size_t depth_ = 0;
  // The objects being archived, outermost first, with the count of Coding
  // objects up to each; an entry's position in it while it is open.
  struct Open {
    bool isCoding;
    size_t codingSoFar;
  };
  std::vector<Open> open_;
  std::vector<size_t> openAt_;  // per entry; NotOpen once done
};

class KeyedUnarchiver {
 public:
  // The root object of an archive. Raises InvalidUnarchiveOperationException
  // for malformed data (bad magic, truncation, references out of range,
  // absurd sizes, unknown classes).
  static Id unarchiveObjectWithData(const Ref<Data>& data);
  // The same, giving nil and an Error instead of raising.
  static Id unarchivedObjectWithData(const Ref<Data>& data, Ref<Error>* error);
  // Secure decoding: the root object, which must be of `cls` (or a
  // subclass); nil with an Error for malformed data, for a root of another
  // class, and for an object of a class nobody asked for anywhere inside.
  static Id unarchivedObjectOfClass(const Class& cls, const Ref<Data>& data, Ref<Error>* error);
  template <class T>
  static Ref<T> unarchivedObjectOfClass(const Ref<Data>& data, Ref<Error>* error) {
    return as<T>(unarchivedObjectOfClass(T::staticClass(), data, error));
  }

  // True while decoding securely: initWithCoder can refuse to build an
  // object that only trusted bytes should make.
  bool requiresSecureCoding() const { return secure_; }

  // Inside initWithCoder: values of the object being unarchived. A missing
  // key gives nil / 0 / false; a value of the wrong kind raises.
  bool containsValueForKey(std::string_view key) const;
  // While decoding securely, an object of a registered class is refused
  // here: name its class with decodeObjectOfClass.
  Id decodeObjectForKey(std::string_view key);
  // The value, which must be a T (nil when missing). While decoding
  // securely, objects of registered classes are made only when their class
  // is T's or a subclass of it.
  template <class T>
  Ref<T> decodeObjectOfClass(std::string_view key) {
    Id value = decodeObjectForKey(key, &T::staticClass());
    if (value && !isKind<T>(value)) raiseUnexpectedClass(key, value);
    return std::static_pointer_cast<T>(std::shared_ptr<Object>(value));
  }
  // An array whose every element is a T (nil when missing).
  template <class T>
  Ref<Array> decodeArrayOfObjectsOfClass(std::string_view key) {
    Id value = decodeObjectForKey(key, nullptr, &T::staticClass());
    if (!value) return nullptr;
    checkArrayOf(key, value, [](const Id& element) { return isKind<T>(element); });
    return std::static_pointer_cast<Array>(std::shared_ptr<Object>(value));
  }
  bool decodeBoolForKey(std::string_view key);
  int decodeIntForKey(std::string_view key);
  long decodeIntegerForKey(std::string_view key);
  int64_t decodeInt64ForKey(std::string_view key);
  float decodeFloatForKey(std::string_view key);
  double decodeDoubleForKey(std::string_view key);
  // Sets every declared property that the archive holds a value for.
  void decodeDeclaredProperties(Object& object);

  ~KeyedUnarchiver();

 private:
  struct Entry {
    size_t offset;
    size_t length;
  };
  struct Field {
    std::string key;
    uint64_t ref;
  };

  explicit KeyedUnarchiver(const Ref<Data>& data) : data_(data) {}
  Id root();
  Id object(uint64_t ref, size_t depth);
  Id decodeEntry(size_t index, size_t depth);
  const Field* field(std::string_view key) const;
  // The value for `key`, which may itself be an object of `allowed`, or an
  // array whose elements may be objects of `allowedElements`.
  Id decodeObjectForKey(std::string_view key, const Class* allowed, const Class* allowedElements = nullptr);
  Ref<Number> number(std::string_view key);
  // Raises unless a Coding object may be made (or referred to) here.
  void checkAllowed(const Class* cls, std::string_view name) const;
  void checkArrayOf(std::string_view key, const Id& value, bool (*isElement)(const Id&));
  [[noreturn]] void raiseUnexpectedClass(std::string_view key, const Id& value);

  Ref<Data> data_;
  std::vector<Entry> entries_;
  std::vector<Id> decoded_;
  std::vector<uint8_t> state_;  // per entry: not decoded, in progress, done
  const std::vector<Field>* fields_ = nullptr;
  size_t depth_ = 0;
  bool finished_ = false;
  bool secure_ = false;
  // While decoding securely: the class a Coding object must be of at this
  // point (nil: none may be made), and the class the elements of an array
  // met at this point may be of. Objects inside other collections, or
  // deeper, may be of neither.
  const Class* allowed_ = nullptr;
  const Class* allowedElements_ = nullptr;
  // Sets both for a scope and puts the outer ones back at its end.
  class AllowedScope {
   public:
    AllowedScope(KeyedUnarchiver& unarchiver, const Class* allowed, const Class* allowedElements)
        : unarchiver_(unarchiver),
          outer_(std::exchange(unarchiver.allowed_, allowed)),
          outerElements_(std::exchange(unarchiver.allowedElements_, allowedElements)) {}
    ~AllowedScope() {
      unarchiver_.allowed_ = outer_;
      unarchiver_.allowedElements_ = outerElements_;
    }
    AllowedScope(const AllowedScope&) = delete;
    AllowedScope& operator=(const AllowedScope&) = delete;

   private:
    KeyedUnarchiver& unarchiver_;
    const Class* outer_;
    const Class* outerElements_;
  };
  // The entries being decoded, as in KeyedArchiver.
  struct Open {
    bool isCoding;
    size_t codingSoFar;
  };
  std::vector<Open> open_;
  std::vector<size_t> openAt_;
};

}  // namespace kit
