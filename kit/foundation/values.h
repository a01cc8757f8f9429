// Helpers that keep product code about its behaviour: literals for
// dictionaries and arrays, and the product's "is set" test for values read
// from replies and messages.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

// A value in a literal: text, a number, a bool or any object.
class Value {
 public:
  Value(const char* v) : id_(v ? Id(String::make(v)) : Id()) {}  // a null C string is nil
  Value(std::string_view v) : id_(String::make(v)) {}
  Value(const std::string& v) : id_(String::make(v)) {}
  Value(int v) : id_(Number::fromInt(v)) {}
  Value(long v) : id_(Number::fromLong(v)) {}
  Value(long long v) : id_(Number::fromLongLong(v)) {}
  Value(unsigned v) : id_(Number::fromUnsignedInt(v)) {}
  Value(unsigned long v) : id_(Number::fromUnsignedLongLong(v)) {}
  Value(unsigned long long v) : id_(Number::fromUnsignedLongLong(v)) {}
  Value(double v) : id_(Number::fromDouble(v)) {}
  Value(bool v) : id_(Number::fromBool(v)) {}
  Value(const Id& v) : id_(v) {}
  template <class T>
    requires std::is_base_of_v<Object, T>
  Value(const std::shared_ptr<T>& v) : id_(v) {}

  const Id& id() const { return id_; }

 private:
  Id id_;
};

// {"a": 1, "b": "x"} as kit::dict({{"a", 1}, {"b", "x"}}). A nil value
// leaves its key out, so optional fields read naturally.
Ref<Dictionary> dict(std::initializer_list<std::pair<Value, Value>> entries = {});
Ref<MutableDictionary> mutableDict(std::initializer_list<std::pair<Value, Value>> entries = {});
// [1, "x"] as kit::array({1, "x"}). A nil element raises, as on the platform.
Ref<Array> array(std::initializer_list<Value> elements = {});
Ref<MutableArray> mutableArray(std::initializer_list<Value> elements = {});

// The product's "is set" test for a value read from a reply or a message:
// a string whose text is neither empty nor "(null)" or "<null>" (the texts
// of a missing value and of the null object), or a finite number that is
// not a boolean. Nil, the null object, a boolean, an array, a dictionary
// and any other object are not set: their "%@" text is no id and nothing a
// player can read. A test for a collection or a flag asks for that kind
// itself.
bool isSet(const Id& value);

// Whether `text` spells a number that is none, as printf, JavaScript and
// JSON writers that let one through write it: "nan", "inf" or "infinity"
// in any case, with or without a sign, a NaN with its payload
// ("nan(0x8000)"), and any characters that draw nothing around it (blanks,
// no-break and ideographic spaces, tabs, form feeds, zero-width spaces).
bool spellsNoNumber(std::string_view text);

// Whether `text` is a server's spelling of nothing: "(null)" or "<null>",
// the texts of a missing value and of the null object, with any characters
// that draw nothing around them.
bool spellsNull(std::string_view text);

// The text a player is shown for a value read from outside (a label's, a
// title's): its "%@" text when the value is set and spells neither nothing
// nor a number that is none (spellsNull, spellsNoNumber), else nothing
// (never "(null)", "<null>", "NaN" or the description of a collection).
// A label shows blanks as they are.
std::string shownText(const Id& value);

// The text of a player's own words read back (a user name, a password, a
// nickname): a text, or a number's "%@" text, as it was typed, when it has
// something to draw and is not a server's spelling of nothing (spellsNull);
// else nothing. Any other text is a name, the spellings of numbers
// included: a player may be called "NaN" or log in with "-Infinity".
std::string nameText(const Id& value);

// The text of a message a player is to read (a toast's, a page's, a name):
// a shown string with something visible in it, else nothing. A number or a
// boolean in a message's place is no message, nor is a text of nothing but
// blanks, line breaks, control and format characters (zero-width spaces,
// direction marks, byte-order marks) and other characters that draw
// nothing.
std::string readableText(const Id& value);

// Whether `text` holds a character that draws something. A label draws a
// text up to its first NUL character: what follows one is not looked at.
bool hasVisibleCharacter(std::string_view text);

// The "%@" text of a value as a String object.
inline Ref<String> text(const Id& value) { return String::make(describe(value)); }

}  // namespace kit
