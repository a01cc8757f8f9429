// The kit runtime: one kit::Class per registered class, with its name,
// superclass, declared properties in declaration order (with the platform's
// attribute text such as T@"NSString",C,N,V_name), a factory for creation by
// class name, optional hooks found through the superclass chain, and
// associated values on the class object itself.
//
// Registering a class:
//
//   // person.h
//   class Person : public kit::Object {
//     KIT_OBJECT(Person)
//     Ref<kit::String> name() const;
//     void setName(Ref<kit::String> v);
//     double height = 0;
//   };
//
//   // person.cc
//   KIT_DEFINE_CLASS(Person, kit::Object) {
//     cls.property("name", &Person::name, &Person::setName, "C");
//     cls.property("height", &Person::height);
//   }
#pragma once

#include <any>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "kit/foundation/exception.h"
#include "kit/foundation/number.h"
#include "kit/foundation/object.h"

namespace kit {

struct Property {
  std::string name;
  std::string typeEncoding;  // "d", "q", "B", "@", "@\"NSString\"", "@?", ...
  std::string attributes;    // the platform's attribute text
  bool readonly = false;
  std::function<Id(Object&)> get;
  std::function<void(Object&, const Id&)> set;  // empty when read-only

  bool isObject() const { return !typeEncoding.empty() && typeEncoding[0] == '@'; }
};

template <class T>
class ClassBuilder;

class Class {
 public:
  Class(std::string name, const Class* superclass);
  Class(const Class&) = delete;
  Class& operator=(const Class&) = delete;

  const std::string& name() const { return name_; }
  const Class* superclass() const { return super_; }
  bool isSubclassOf(const Class& other) const;

  // The class registered under a name, or nullptr.
  static const Class* named(std::string_view name);
  // The class registered for a C++ type, or nullptr.
  static const Class* forType(std::type_index type);
  // Every registered class, ordered by name (objc_copyClassList).
  static std::vector<const Class*> classList();

  // Properties declared by this class itself, in declaration order.
  const std::vector<Property>& declaredProperties() const { return properties_; }
  // A property of this class or an ancestor.
  const Property* property(std::string_view name) const;

  // A new instance, or nil when the class cannot be created by name.
  Id create() const { return factory_ ? factory_() : nullptr; }
  bool canCreate() const { return static_cast<bool>(factory_); }

  // Hooks: optional class-level behaviour (callbacks, settings) stored by
  // name and looked up through the superclass chain. A value handed out by
  // hook() stays valid for the life of the process, even after setHook
  // replaces it on another thread.
  void setHook(const std::string& name, std::any value) const;
  template <class T>
  const T* hook(std::string_view name) const {
    for (const Class* c = this; c; c = c->super_) {
      std::lock_guard lock(c->mutex_);
      auto it = c->hooks_.find(std::string(name));
      if (it != c->hooks_.end()) return std::any_cast<T>(it->second);
    }
    return nullptr;
  }
  bool hasOwnHook(std::string_view name) const;

  // Associated values on the class object.
  void setAssociated(const void* key, Id value) const;
  Id associated(const void* key) const;

  // Registration, used by KIT_DEFINE_CLASS.
  template <class T>
  static const Class& define(const char* name, const Class& superclass,
                             void (*declare)(ClassBuilder<T>&));
  static Class& registerClass(std::string name, const Class* superclass, std::type_index type);

 private:
  template <class T>
  friend class ClassBuilder;

  std::string name_;
  const Class* super_;
  std::vector<Property> properties_;
  std::function<Id()> factory_;
  mutable std::mutex mutex_;
  mutable std::unordered_map<std::string, const std::any*> hooks_;  // into hookValues_
  mutable std::deque<std::any> hookValues_;  // every value ever set; a deque never moves them
  mutable std::unordered_map<const void*, Id> associated_;
};

// A class as an object value, so that classes can stand in arrays and
// dictionaries (a table of element classes, say) as they do on the platform.
// Two values are equal when they hold the same class; "%@" prints its name.
class ClassValue : public Object {
 public:
  explicit ClassValue(const Class& cls) : cls_(&cls) {}
  static Ref<ClassValue> make(const Class& cls) { return std::make_shared<ClassValue>(cls); }

  const Class& value() const { return *cls_; }

  std::string description() const override { return cls_->name(); }
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return reinterpret_cast<uintptr_t>(cls_) >> 4; }
  Id copy() const override { return self(); }

 private:
  const Class* cls_;
};

// ---- Type encodings and boxing --------------------------------------------

namespace detail {
template <class T>
struct IsRef : std::false_type {};
template <class T>
struct IsRef<std::shared_ptr<T>> : std::true_type {
  using Element = T;
};
template <class T>
struct IsWeak : std::false_type {};
template <class T>
struct IsWeak<std::weak_ptr<T>> : std::true_type {
  using Element = T;
};
template <class T>
struct IsFunction : std::false_type {};
template <class F>
struct IsFunction<std::function<F>> : std::true_type {};

template <class T>
std::string classEncoding() {
  if constexpr (std::is_same_v<T, Object>) {
    return "@";
  } else {
    const Class* c = Class::forType(typeid(T));
    if (!c) c = &T::staticClass();
    return "@\"" + c->name() + "\"";
  }
}

[[noreturn]] void raiseNotNumber(Object& target, const std::string& key);
[[noreturn]] void raiseWrongClass(Object& target, const std::string& key, const Id& value);
}  // namespace detail

// The platform's type encoding of a C++ property type.
template <class V>
std::string typeEncoding() {
  using T = std::remove_cvref_t<V>;
  if constexpr (std::is_same_v<T, bool>) return "B";
  else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char>) return "c";
  else if constexpr (std::is_same_v<T, unsigned char>) return "C";
  else if constexpr (std::is_same_v<T, short>) return "s";
  else if constexpr (std::is_same_v<T, unsigned short>) return "S";
  else if constexpr (std::is_same_v<T, int>) return "i";
  else if constexpr (std::is_same_v<T, unsigned>) return "I";
  else if constexpr (std::is_same_v<T, long> || std::is_same_v<T, long long>) return "q";
  else if constexpr (std::is_same_v<T, unsigned long> || std::is_same_v<T, unsigned long long>) return "Q";
  else if constexpr (std::is_same_v<T, float>) return "f";
  else if constexpr (std::is_same_v<T, double>) return "d";
  else if constexpr (std::is_same_v<T, Id>) return "@";
  else if constexpr (detail::IsRef<T>::value) return detail::classEncoding<typename detail::IsRef<T>::Element>();
  else if constexpr (detail::IsWeak<T>::value) return detail::classEncoding<typename detail::IsWeak<T>::Element>();
  else if constexpr (detail::IsFunction<T>::value) return "@?";
  else if constexpr (std::is_same_v<T, const Class*>) return "#";
  else if constexpr (std::is_same_v<T, const char*>) return "*";
  else static_assert(sizeof(T) == 0, "no type encoding for this property type");
}

// A property value as an object: scalars become Numbers.
template <class V>
Id box(const V& v) {
  using T = std::remove_cvref_t<V>;
  if constexpr (std::is_same_v<T, bool>) return Number::fromBool(v);
  else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char>) return Number::fromChar(static_cast<char>(v));
  else if constexpr (std::is_same_v<T, float>) return Number::fromFloat(v);
  else if constexpr (std::is_floating_point_v<T>) return Number::fromDouble(v);
  else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) return Number::fromLongLong(v);
  else if constexpr (std::is_integral_v<T>) return Number::fromUnsignedLongLong(v);
  else if constexpr (detail::IsWeak<T>::value) return Id(v.lock());
  else if constexpr (detail::IsRef<T>::value || std::is_same_v<T, Id>) return Id(v);
  else return nullptr;  // blocks, classes and C strings are not boxed
}

// True for the property types that key-value coding can set: scalars and
// objects. Blocks, classes and C strings are declared but not boxed.
template <class V>
inline constexpr bool isSettableByKey = std::is_arithmetic_v<std::remove_cvref_t<V>> ||
                                        std::is_same_v<std::remove_cvref_t<V>, Id> ||
                                        detail::IsRef<std::remove_cvref_t<V>>::value ||
                                        detail::IsWeak<std::remove_cvref_t<V>>::value;

// Converts a boxed value back for a property. Scalars need a Number (nil
// calls setNilValueForKey); objects must be of the property's class.
template <class V>
bool unbox(Object& target, const std::string& key, const Id& value, V& out) {
  using T = std::remove_cvref_t<V>;
  if constexpr (std::is_arithmetic_v<T>) {
    if (!value) {
      target.setNilValueForKey(key);
      return false;
    }
    auto* n = dynamic_cast<Number*>(value.get());
    if (!n) detail::raiseNotNumber(target, key);
    if constexpr (std::is_same_v<T, bool>) out = n->boolValue();
    else if constexpr (std::is_floating_point_v<T>) out = static_cast<T>(n->doubleValue());
    else if constexpr (std::is_signed_v<T>) out = static_cast<T>(n->longLongValue());
    else out = static_cast<T>(n->unsignedLongLongValue());
    return true;
  } else if constexpr (std::is_same_v<T, Id>) {
    out = value;
    return true;
  } else if constexpr (detail::IsRef<T>::value || detail::IsWeak<T>::value) {
    using E = typename T::element_type;
    if (!value) {
      out = T();
      return true;
    }
    auto cast = std::dynamic_pointer_cast<E>(std::shared_ptr<Object>(value));
    if (!cast) detail::raiseWrongClass(target, key, value);
    out = cast;
    return true;
  } else {
    static_assert(sizeof(T) == 0, "this property type cannot be set by key");
  }
}

// ---- Builder --------------------------------------------------------------

// Declares a class's properties. Flags follow the platform's attribute
// letters: "C" copy, "W" weak, "R" read-only, "&" strong; writable object
// properties without "C" or "W" are strong, and a read-only one names its
// ownership only when it is given. Every property is nonatomic ("N").
// Blocks, classes and C strings can be declared; key-value coding reads
// them as nil and cannot set them.
template <class T>
class ClassBuilder {
 public:
  explicit ClassBuilder(Class& cls) : cls_(cls) {}

  // A property backed by a getter and a setter.
  template <class G, class S>
  ClassBuilder& property(const std::string& name, G (T::*getter)() const, void (T::*setter)(S),
                         std::string_view flags = "") {
    using V = std::remove_cvref_t<G>;
    const bool copy = flags.find('C') != std::string_view::npos;
    Property p = make<V>(name, flags);
    p.get = [getter](Object& o) { return box<V>((static_cast<T&>(o).*getter)()); };
    if constexpr (isSettableByKey<V>) {
      p.set = [setter, name, copy](Object& o, const Id& v) {
        V value{};
        if (unbox<V>(o, name, copy && v ? v->copy() : v, value)) (static_cast<T&>(o).*setter)(value);
      };
    }
    cls_.properties_.push_back(std::move(p));
    return *this;
  }

  // A read-only property backed by a getter.
  template <class G>
  ClassBuilder& readonlyProperty(const std::string& name, G (T::*getter)() const, std::string_view flags = "") {
    using V = std::remove_cvref_t<G>;
    Property p = make<V>(name, std::string(flags) + "R");
    p.get = [getter](Object& o) { return box<V>((static_cast<T&>(o).*getter)()); };
    cls_.properties_.push_back(std::move(p));
    return *this;
  }

  // A property backed by a data member.
  template <class M>
  ClassBuilder& property(const std::string& name, M T::*field, std::string_view flags = "") {
    static_assert(!std::is_function_v<M>, "use the getter/setter form for methods");
    const bool copy = flags.find('C') != std::string_view::npos;
    Property p = make<M>(name, flags);
    p.get = [field](Object& o) { return box<M>(static_cast<T&>(o).*field); };
    if constexpr (isSettableByKey<M>) {
      if (!p.readonly) {
        p.set = [field, name, copy](Object& o, const Id& v) {
          M value{};
          if (unbox<M>(o, name, copy && v ? v->copy() : v, value)) static_cast<T&>(o).*field = value;
        };
      }
    }
    cls_.properties_.push_back(std::move(p));
    return *this;
  }

  // A hook for this class (see Class::hook).
  ClassBuilder& hook(const std::string& name, std::any value) {
    cls_.setHook(name, std::move(value));
    return *this;
  }

  Class& cls() { return cls_; }

 private:
  template <class V>
  Property make(const std::string& name, std::string_view flags) {
    Property p;
    p.name = name;
    p.typeEncoding = typeEncoding<V>();
    p.readonly = flags.find('R') != std::string_view::npos;
    std::string attrs = "T" + p.typeEncoding;
    if (p.readonly) attrs += ",R";
    // Unless given, ownership is implied for writable properties only: the
    // platform writes it for a read-only one where it is spelled out.
    const bool block = p.typeEncoding == "@?";
    if (flags.find('C') != std::string_view::npos) attrs += ",C";
    else if (flags.find('W') != std::string_view::npos || detail::IsWeak<V>::value) attrs += ",W";
    else if (flags.find('&') != std::string_view::npos) attrs += ",&";
    else if (!p.readonly && block) attrs += ",C";
    else if (!p.readonly && p.isObject()) attrs += ",&";
    attrs += ",N,V_" + name;
    p.attributes = std::move(attrs);
    return p;
  }

  Class& cls_;
};

template <class T>
const Class& Class::define(const char* name, const Class& superclass, void (*declare)(ClassBuilder<T>&)) {
  Class& cls = registerClass(name, &superclass, typeid(T));
  if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
    cls.factory_ = [] { return Id(std::make_shared<T>()); };
  }
  ClassBuilder<T> builder(cls);
  declare(builder);
  return cls;
}

}  // namespace kit

// Declares the runtime class accessors; put it first in the class body.
#define KIT_OBJECT(Type)                                                     \
 public:                                                                     \
  static const ::kit::Class& staticClass();                                  \
  const ::kit::Class& objectClass() const override { return staticClass(); } \
                                                                             \
 private:

// Defines and registers the class; the block that follows declares its
// properties and hooks on `cls`.
#define KIT_DEFINE_CLASS_NAMED(Type, Super, Name)                                               \
  static void kitDeclare_##Type(::kit::ClassBuilder<Type>& cls);                                \
  const ::kit::Class& Type::staticClass() {                                                     \
    static const ::kit::Class& c = ::kit::Class::define<Type>(Name, Super::staticClass(),      \
                                                              &kitDeclare_##Type);              \
    return c;                                                                                    \
  }                                                                                              \
  [[maybe_unused]] static const ::kit::Class& kitLoaded_##Type = Type::staticClass();           \
  static void kitDeclare_##Type([[maybe_unused]] ::kit::ClassBuilder<Type>& cls)

#define KIT_DEFINE_CLASS(Type, Super) KIT_DEFINE_CLASS_NAMED(Type, Super, #Type)
