// Keyed archiving of any model object through its declared properties: a
// model class that archives itself calls mx_encode from its encoding and
// mx_decode from its decoding. The allowed and ignored coding names of the
// class (mx_class.h) choose the properties.
//
//   class Role : public kit::Object, public kit::Coding {
//     KIT_OBJECT(Role)
//     void encodeWithCoder(kit::KeyedArchiver& coder) const override { mx_encode(*this, coder); }
//     bool initWithCoder(kit::KeyedUnarchiver& coder) override { mx_decode(*this, coder); return true; }
//   };
#pragma once

#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/object.h"

// Encodes each coded property that holds a value under the property's name.
void mx_encode(const kit::Object& object, kit::KeyedArchiver& coder);
// Sets each coded property from the value under its name, or else under "_"
// and its name; a property with neither keeps its value.
void mx_decode(kit::Object& object, kit::KeyedUnarchiver& coder);
