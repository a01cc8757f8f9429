// Property metadata: classification of type encodings, the Foundation-class
// test, key-path splitting and lookup, and descriptors shared by subclasses.

#include <gtest/gtest.h>

#include "data/model/kt_foundation.h"
#include "data/model/kt_property.h"
#include "data/model/mx_hooks.h"
#include "data/model/mx_property.h"
#include "kit/foundation/values.h"

namespace {

class KTSample : public kit::Object {
  KIT_OBJECT(KTSample)
 public:
  int i = 0;
  long long q = 0;
  unsigned char uc = 0;
  bool b = false;
  double d = 0;
  kit::Ref<kit::String> s;
  kit::Id anything;
};

KIT_DEFINE_CLASS(KTSample, kit::Object) {
  cls.property("i", &KTSample::i);
  cls.property("q", &KTSample::q);
  cls.property("uc", &KTSample::uc);
  cls.property("b", &KTSample::b);
  cls.property("d", &KTSample::d);
  cls.property("s", &KTSample::s, "C");
  cls.property("anything", &KTSample::anything);
}

class KTItemA : public kit::Object {
  KIT_OBJECT(KTItemA)
};
KIT_DEFINE_CLASS(KTItemA, kit::Object) {}

class KTItemB : public kit::Object {
  KIT_OBJECT(KTItemB)
};
KIT_DEFINE_CLASS(KTItemB, kit::Object) {}

class KTShelf : public kit::Object {
  KIT_OBJECT(KTShelf)
 public:
  kit::Ref<kit::Array> items;
};
KIT_DEFINE_CLASS(KTShelf, kit::Object) {
  cls.property("items", &KTShelf::items);
  mx_answer(cls, MXHooks::mx_objectClassInArray, [] { return kit::dict({{"items", "KTItemA"}}); });
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, [] { return kit::dict({{"items", "shelf.items"}}); });
}

class KTBigShelf : public KTShelf {
  KIT_OBJECT(KTBigShelf)
};
KIT_DEFINE_CLASS(KTBigShelf, KTShelf) {
  mx_answer(cls, MXHooks::mx_objectClassInArray,
            [] { return kit::dict({{"items", kit::ClassValue::make(KTItemB::staticClass())}}); });
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, [] { return kit::dict({{"items", "big[3]"}}); });
}

kit::Ref<KTProperty> propertyNamed(const kit::Class& cls, const std::string& name) {
  for (const auto& p : mx_properties(cls)) {
    if (p->nameText() == name) return p;
  }
  return nullptr;
}

std::string flags(const KTPropertyType& t) {
  std::string out;
  if (t.isNumberType()) out += "number ";
  if (t.isBoolType()) out += "bool ";
  if (t.isIdType()) out += "id ";
  if (t.isFromFoundation()) out += "foundation ";
  if (t.isKVCDisabled()) out += "kvc-disabled ";
  if (t.typeClass()) out += "class:" + t.typeClass()->name();
  return out;
}

// "name(k)" for a key step, "name[i]" for an index step.
std::string steps(const KTKeyPath& path) {
  std::string out;
  for (const auto& step : path) {
    if (!out.empty()) out += " ";
    out += step->nameText() + (step->type() == KTPropertyKeyTypeDictionary ? "(k)" : "[i]");
  }
  return out;
}

TEST(KTPropertyType, DeclaredPropertiesClassifyByTheirAttributeTexts) {
  EXPECT_EQ(flags(*propertyNamed(KTSample::staticClass(), "i")->type()), "number ");
  EXPECT_EQ(flags(*propertyNamed(KTSample::staticClass(), "q")->type()), "number ");
  EXPECT_EQ(flags(*propertyNamed(KTSample::staticClass(), "uc")->type()), "number bool ");
  EXPECT_EQ(flags(*propertyNamed(KTSample::staticClass(), "b")->type()), "number bool ");
  EXPECT_EQ(flags(*propertyNamed(KTSample::staticClass(), "d")->type()), "number ");
  auto text = propertyNamed(KTSample::staticClass(), "s")->type();
  EXPECT_EQ(flags(*text), "foundation class:NSString");
  EXPECT_EQ(text->codeText(), "NSString");
  EXPECT_EQ(flags(*propertyNamed(KTSample::staticClass(), "anything")->type()), "id ");
}

TEST(KTPropertyType, CodesWithoutAClassOrUntouchable) {
  EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode("@")), "id ");
  for (const char* code : {"", ":", "^{objc_ivar=}", "^{objc_method=}"}) {
    EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode(code)), "kvc-disabled ") << code;
  }
  auto missing = KTPropertyType::cachedTypeWithCode("@\"NoSuchModelClass\"");
  EXPECT_EQ(flags(*missing), "");
  EXPECT_EQ(missing->codeText(), "NoSuchModelClass");
  // A class name with protocols names no class.
  EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode("@\"NSString<Copying>\"")), "");
  EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode("@\"NSNumber\"")), "number foundation class:NSNumber");
  EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode("@\"KTSample\"")), "class:KTSample");
  EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode("@?")), "");
  EXPECT_EQ(flags(*KTPropertyType::cachedTypeWithCode("Q")), "number ");

  // One descriptor per code; nil gives none.
  EXPECT_EQ(KTPropertyType::cachedTypeWithCode("d"), KTPropertyType::cachedTypeWithCode(kit::str("d")));
  EXPECT_EQ(KTPropertyType::cachedTypeWithCode(kit::Ref<kit::String>()), nullptr);
  KTPropertyType bare;
  bare.setCode(nullptr);
  EXPECT_EQ(flags(bare), "");
}

TEST(KTFoundation, ValueClassesPassModelClassesDoNot) {
  for (const char* name : {"NSMutableDictionary", "NSDecimalNumber", "NSMutableAttributedString", "NSObject",
                           "NSNumber", "NSMutableString", "NSURL", "NSError", "NSMutableData", "NSMutableArray",
                           "NSDate", "NSManagedObject"}) {
    EXPECT_TRUE(KTFoundation::isClassNameFromFoundation(name)) << name;
  }
  for (const char* name : {"NSSet", "NSMutableSet", "NSNull", "KTSample", "NoSuchClassAnywhere"}) {
    EXPECT_FALSE(KTFoundation::isClassNameFromFoundation(name)) << name;
  }
  EXPECT_TRUE(KTFoundation::isClassFromFoundation(&kit::MutableDictionary::staticClass()));
  EXPECT_FALSE(KTFoundation::isClassFromFoundation(&KTSample::staticClass()));
  EXPECT_FALSE(KTFoundation::isClassFromFoundation(&KTBigShelf::staticClass()));
  EXPECT_FALSE(KTFoundation::isClassFromFoundation(nullptr));
  EXPECT_EQ(KTFoundation::foundationClasses().size(), 9u);
}

TEST(KTPropertyKey, KeysSplitIntoKeyAndIndexSteps) {
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("data.list[1].name")), "data(k) list(k) 1[i] name(k)");
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("items[0][2]")), "items(k) 0[i] 2[i]");
  // Only the leading name comes off the segment, so digits of the name stay
  // in the indexes.
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("2[12]")), "2(k) 12[i]");
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("ab[ab1]")), "ab(k) ab1[i]");
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("list.[1]")), "list(k)");
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("a[")), "a(k)");
  EXPECT_EQ(steps(KTProperty::propertyKeysWithStringKey("a..b")), "a(k) (k) b(k)");
  EXPECT_TRUE(KTProperty::propertyKeysWithStringKey("").empty());
}

TEST(KTPropertyKey, StepsResolveOnlyOnTheirKindOfContainer) {
  kit::Id list = kit::array({"a", "b"});
  kit::Id dictionary = kit::dict({{"k", "v"}, {"1", "one"}});
  auto at = [](const char* name) { return KTPropertyKey::make(name, KTPropertyKeyTypeArray); };
  auto key = [](const char* name) { return KTPropertyKey::make(name, KTPropertyKeyTypeDictionary); };

  EXPECT_EQ(kit::describe(at("1")->valueInObject(list)), "b");
  EXPECT_EQ(at("2")->valueInObject(list), nullptr);         // beyond the end
  EXPECT_EQ(at("-1")->valueInObject(list), nullptr);        // negative
  EXPECT_EQ(at("1")->valueInObject(dictionary), nullptr);   // index on a dictionary
  EXPECT_EQ(kit::describe(at("x")->valueInObject(list)), "a");  // no digits: index 0
  EXPECT_EQ(kit::describe(key("k")->valueInObject(dictionary)), "v");
  EXPECT_EQ(key("missing")->valueInObject(dictionary), nullptr);
  EXPECT_EQ(key("0")->valueInObject(list), nullptr);        // key on an array
  EXPECT_EQ(key("k")->valueInObject(kit::str("k")), nullptr);
  EXPECT_EQ(key("k")->valueInObject(nullptr), nullptr);
}

TEST(KTProperty, SubclassesShareTheDescriptorButKeepTheirOwnKeysAndElementClasses) {
  auto mine = propertyNamed(KTShelf::staticClass(), "items");
  auto theirs = propertyNamed(KTBigShelf::staticClass(), "items");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine, theirs);
  EXPECT_EQ(mine, KTProperty::cachedPropertyWithProperty(&KTShelf::staticClass().declaredProperties()[0]));

  EXPECT_EQ(mine->objectClassInArrayForClass(KTShelf::staticClass()), &KTItemA::staticClass());
  EXPECT_EQ(mine->objectClassInArrayForClass(KTBigShelf::staticClass()), &KTItemB::staticClass());
  ASSERT_NE(mine->propertyKeysForClass(KTShelf::staticClass()), nullptr);
  EXPECT_EQ(steps(mine->propertyKeysForClass(KTShelf::staticClass())->at(0)), "shelf(k) items(k)");
  EXPECT_EQ(steps(mine->propertyKeysForClass(KTBigShelf::staticClass())->at(0)), "big(k) 3[i]");
  EXPECT_EQ(mine->srcClass(), &KTShelf::staticClass());

  // Empty key lists and no element class leave the earlier entries alone.
  mine->setPorpertyKeys({}, KTShelf::staticClass());
  mine->setObjectClassInArray(nullptr, KTShelf::staticClass());
  mine->setOriginKey(kit::num(3), KTShelf::staticClass());
  EXPECT_EQ(steps(mine->propertyKeysForClass(KTShelf::staticClass())->at(0)), "shelf(k) items(k)");
  EXPECT_EQ(mine->objectClassInArrayForClass(KTShelf::staticClass()), &KTItemA::staticClass());
  EXPECT_EQ(mine->propertyKeysForClass(KTSample::staticClass()), nullptr);
}

TEST(KTProperty, ReadsAndWritesByNameExceptUntouchableTypes) {
  auto sample = kit::make<KTSample>();
  auto d = propertyNamed(KTSample::staticClass(), "d");
  d->setValue(kit::num(2.5), *sample);
  EXPECT_DOUBLE_EQ(sample->d, 2.5);
  d->setValue(nullptr, *sample);  // nil assigns nothing
  EXPECT_DOUBLE_EQ(sample->d, 2.5);
  EXPECT_EQ(kit::describe(d->valueForObject(*sample)), "2.5");
  EXPECT_THROW(d->setValue(kit::str("x"), *sample), kit::Exception);

  // A selector-typed property is never read or written by name.
  kit::Property selector;
  selector.name = "d";
  selector.attributes = "T:,N,V_d";
  KTProperty untouchable;
  untouchable.setProperty(&selector);
  EXPECT_TRUE(untouchable.type()->isKVCDisabled());
  EXPECT_TRUE(kit::isNull(untouchable.valueForObject(*sample)));
  untouchable.setValue(kit::num(9.0), *sample);
  EXPECT_DOUBLE_EQ(sample->d, 2.5);
}

}  // namespace
