// The older names give what their current forms give, and the error forms
// hand out the error slot of the class concerned. The generic setup and
// total forms behave as the four name lists do, for any key.

#include "data/model/mx_deprecated.h"

#include <gtest/gtest.h>

#include "data/model/mx_class.h"
#include "data/model/mx_hooks.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"

namespace {

class MXDRole : public kit::Object {
  KIT_OBJECT(MXDRole)
 public:
  kit::Ref<kit::String> name;
  long level = 0;
  kit::Ref<kit::Array> items;
};
KIT_DEFINE_CLASS(MXDRole, kit::Object) {
  cls.property("name", &MXDRole::name, "C");
  cls.property("level", &MXDRole::level);
  cls.property("items", &MXDRole::items);
}

// Two classes alike, one configured through the older names and one
// through the current ones.
class MXDItem : public kit::Object {
  KIT_OBJECT(MXDItem)
 public:
  kit::Ref<kit::String> title;
  kit::Ref<kit::String> itemCode;
  kit::Ref<kit::Array> parts;
};
KIT_DEFINE_CLASS(MXDItem, kit::Object) {
  cls.property("title", &MXDItem::title, "C");
  cls.property("itemCode", &MXDItem::itemCode, "C");
  cls.property("parts", &MXDItem::parts);
}
class MXDOldItem : public MXDItem {
  KIT_OBJECT(MXDOldItem)
};
KIT_DEFINE_CLASS(MXDOldItem, MXDItem) {}
class MXDNewItem : public MXDItem {
  KIT_OBJECT(MXDNewItem)
};
KIT_DEFINE_CLASS(MXDNewItem, MXDItem) {}

// For the generic forms: a hook under a name of its own.
class MXDGenericBase : public kit::Object {
  KIT_OBJECT(MXDGenericBase)
 public:
  kit::Ref<kit::String> a;
  kit::Ref<kit::String> b;
};
KIT_DEFINE_CLASS(MXDGenericBase, kit::Object) {
  cls.property("a", &MXDGenericBase::a, "C");
  cls.property("b", &MXDGenericBase::b, "C");
}
class MXDGeneric : public MXDGenericBase {
  KIT_OBJECT(MXDGeneric)
};
KIT_DEFINE_CLASS(MXDGeneric, MXDGenericBase) {
  mx_answer(cls, MXHook<MXNamesHook>{"mx_customNames"}, [] { return kit::array({"hooked"}); });
}

std::string errorText(const kit::Ref<kit::Error>& error) { return error ? error->domain() : "none"; }
std::string keyValuesText(const kit::Id& model) { return kit::describe(mx_keyValues(model)); }

TEST(MXDeprecatedTwins, KeyValueTwinsGiveWhatTheCurrentFormsGive) {
  namespace old = KTKeyValueDeprecated;
  const kit::Class& cls = MXDRole::staticClass();
  const kit::Id input = kit::dict({{"name", "knight"}, {"level", "12"}, {"items", kit::array({"sword"})}});
  const kit::Id context = kit::str("context");
  kit::Ref<kit::Error> error = kit::Error::make("stale", 1);

  // Filling and making models.
  for (int form = 0; form < 4; ++form) {
    auto a = kit::make<MXDRole>(), b = kit::make<MXDRole>();
    kit::Id twin = form == 0   ? old::setKeyValues(a, input)
                   : form == 1 ? old::setKeyValues(a, input, &error)
                   : form == 2 ? old::setKeyValues(a, input, context)
                               : old::setKeyValues(a, input, context, &error);
    EXPECT_EQ(twin, kit::Id(a));
    mx_setKeyValues(b, input);
    EXPECT_EQ(keyValuesText(a), keyValuesText(b));
  }
  EXPECT_EQ(errorText(error), "none");  // the error forms cleared it
  old::setKeyValues(kit::make<MXDRole>(), kit::str("not json"), &error);
  EXPECT_EQ(errorText(error), MXErrorNotADictionary);
  EXPECT_EQ(error, mx_error(cls));

  EXPECT_EQ(keyValuesText(old::objectWithKeyValues(cls, input)), keyValuesText(mx_objectWithKeyValues(cls, input)));
  EXPECT_EQ(keyValuesText(old::objectWithKeyValues(cls, input, context)), keyValuesText(mx_objectWithKeyValues(cls, input)));
  EXPECT_TRUE(old::objectWithKeyValues(cls, input, &error));
  EXPECT_EQ(errorText(error), "none");
  EXPECT_FALSE(old::objectWithKeyValues(cls, kit::array({}), context, &error));
  EXPECT_EQ(errorText(error), MXErrorNotADictionary);

  const kit::Id rows = kit::array({input, kit::dict({{"name", "mage"}}), kit::str("dropped")});
  auto current = mx_objectArrayWithKeyValuesArray(cls, rows);
  for (auto twin : {old::objectArrayWithKeyValuesArray(cls, rows), old::objectArrayWithKeyValuesArray(cls, rows, &error),
                    old::objectArrayWithKeyValuesArray(cls, rows, context),
                    old::objectArrayWithKeyValuesArray(cls, rows, context, &error)}) {
    ASSERT_TRUE(twin);
    EXPECT_EQ(kit::describe(mx_keyValuesArrayWithObjectArray(cls, twin)),
              kit::describe(mx_keyValuesArrayWithObjectArray(cls, current)));
  }
  EXPECT_FALSE(old::objectArrayWithKeyValuesArray(cls, input, &error));
  EXPECT_EQ(errorText(error), MXErrorNotAnArray);

  // Files and bundle resources, and their errors.
  kit::test::TempDirectory dir("twins");
  ASSERT_TRUE(kit::writePropertyListToFile(input, dir.file("role.plist")));
  ASSERT_TRUE(kit::writePropertyListToFile(rows, dir.file("roles.plist")));
  EXPECT_EQ(keyValuesText(old::objectWithFile(cls, kit::str(dir.file("role.plist")))),
            keyValuesText(mx_objectWithFile(cls, kit::str(dir.file("role.plist")))));
  EXPECT_EQ(old::objectArrayWithFile(cls, kit::str(dir.file("roles.plist")), &error)->count(), 2u);
  EXPECT_EQ(errorText(error), MXErrorNotADictionary);  // the slot tells of the last element, a string
  EXPECT_EQ(error, mx_error(cls));
  EXPECT_FALSE(old::objectWithFile(cls, nullptr, &error));
  EXPECT_EQ(errorText(error), MXErrorNoFile);
  EXPECT_FALSE(old::objectArrayWithFile(cls, nullptr, &error));
  EXPECT_EQ(errorText(error), MXErrorNoFile);
  kit::Bundle::setMainBundlePath(dir.path());
  auto fromBundle = old::objectWithFilename(cls, kit::str("role.plist"), &error);
  auto rowsFromBundle = old::objectArrayWithFilename(cls, kit::str("roles.plist"));
  kit::Bundle::setMainBundlePath("");
  EXPECT_EQ(keyValuesText(fromBundle), keyValuesText(mx_objectWithKeyValues(cls, input)));
  EXPECT_EQ(rowsFromBundle->count(), 2u);
  EXPECT_FALSE(old::objectWithFilename(cls, nullptr, &error));
  EXPECT_EQ(errorText(error), MXErrorNoFilename);
  EXPECT_FALSE(old::objectArrayWithFilename(cls, nullptr, &error));
  EXPECT_EQ(errorText(error), MXErrorNoFilename);

  // Models back to key values.
  auto role = kit::as<MXDRole>(mx_objectWithKeyValues(cls, input));
  auto names = kit::array({"name"});
  EXPECT_EQ(kit::describe(old::keyValues(role)), kit::describe(mx_keyValues(role)));
  EXPECT_EQ(kit::describe(old::keyValuesWithError(role, &error)), kit::describe(mx_keyValues(role)));
  EXPECT_EQ(kit::describe(old::keyValuesWithKeys(role, names)), kit::describe(mx_keyValuesWithKeys(role, names)));
  EXPECT_EQ(kit::describe(old::keyValuesWithKeys(role, names, &error)), "{\n    name = knight;\n}");
  EXPECT_EQ(kit::describe(old::keyValuesWithIgnoredKeys(role, names)),
            kit::describe(mx_keyValuesWithIgnoredKeys(role, names)));
  EXPECT_EQ(kit::describe(old::keyValuesWithIgnoredKeys(role, names, &error)),
            kit::describe(mx_keyValuesWithIgnoredKeys(role, names)));
  EXPECT_EQ(errorText(error), "none");
  kit::Id text = kit::str("plain text");
  EXPECT_EQ(old::keyValuesWithError(text, &error), text);
  EXPECT_EQ(errorText(error), MXErrorNotAModelClass);
  EXPECT_EQ(error, mx_error(text->objectClass()));

  auto models = kit::array({role, role});
  EXPECT_EQ(kit::describe(old::keyValuesArrayWithObjectArray(cls, models)),
            kit::describe(mx_keyValuesArrayWithObjectArray(cls, models)));
  EXPECT_EQ(kit::describe(old::keyValuesArrayWithObjectArray(cls, models, names)),
            kit::describe(mx_keyValuesArrayWithObjectArray(cls, models, names)));
  EXPECT_EQ(kit::describe(old::keyValuesArrayWithObjectArray(cls, models, nullptr, names, &error)),
            kit::describe(mx_keyValuesArrayWithObjectArray(cls, models, nullptr, names)));
  EXPECT_TRUE(old::keyValuesArrayWithObjectArray(cls, models, &error));
  EXPECT_EQ(errorText(error), "none");
  EXPECT_FALSE(old::keyValuesArrayWithObjectArray(cls, role, &error));
  EXPECT_EQ(errorText(error), MXErrorObjectArrayNotAnArray);

  // JSON and the reference flag.
  EXPECT_EQ(kit::describe(old::JSONString(role)), kit::describe(mx_JSONString(role)));
  EXPECT_EQ(old::JSONData(role)->toString(), mx_JSONData(role)->toString());
  EXPECT_EQ(kit::describe(old::JSONObject(kit::str("[1,2]"))), kit::describe(mx_JSONObject(kit::str("[1,2]"))));
  old::referenceReplacedKeyWhenCreatingKeyValues(cls, false);
  EXPECT_FALSE(mx_isReferenceReplacedKeyWhenCreatingKeyValues(cls));
  old::referenceReplacedKeyWhenCreatingKeyValues(cls, true);
  EXPECT_TRUE(mx_isReferenceReplacedKeyWhenCreatingKeyValues(cls));
}

TEST(MXDeprecatedTwins, PropertyTwinsConfigureAsTheCurrentFormsDo) {
  namespace old = KTPropertyDeprecated;
  const kit::Class& oldItem = MXDOldItem::staticClass();
  const kit::Class& newItem = MXDNewItem::staticClass();
  auto replaced = [] { return kit::dict({{"title", "t"}}); };
  auto keyFunction = [](const std::string& name) -> kit::Id {
    return name == "itemCode" ? kit::Id(kit::str("item_code")) : nullptr;
  };
  auto elements = [] { return kit::dict({{"parts", "MXDRole"}}); };
  MXNewValueHook upper = [](kit::Object&, const kit::Id& value, const KTProperty& property) -> kit::Id {
    return property.nameText() == "title" && value ? kit::Id(kit::str(kit::describe(value) + "!")) : value;
  };
  old::setupReplacedKeyFromPropertyName(oldItem, replaced);
  old::setupReplacedKeyFromPropertyName121(oldItem, keyFunction);
  old::setupObjectClassInArray(oldItem, elements);
  old::setupNewValueFromOldValue(oldItem, upper);
  mx_setupReplacedKeyFromPropertyName(newItem, replaced);
  mx_setupReplacedKeyFromPropertyName121(newItem, keyFunction);
  mx_setupObjectClassInArray(newItem, elements);
  mx_setupNewValueFromOldValue(newItem, upper);

  const kit::Id input = kit::dict({{"t", "cape"}, {"item_code", "C-1"}, {"parts", kit::array({kit::dict({{"name", "x"}})})}});
  auto a = kit::as<MXDItem>(mx_objectWithKeyValues(oldItem, input));
  auto b = kit::as<MXDItem>(mx_objectWithKeyValues(newItem, input));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(kit::describe(a->title), "cape!");
  EXPECT_EQ(kit::describe(a->itemCode), "C-1");
  ASSERT_EQ(a->parts->count(), 1u);
  EXPECT_TRUE(kit::isKind<MXDRole>(a->parts->objectAtIndex(0)));
  EXPECT_EQ(kit::describe(mx_keyValues(a)), kit::describe(mx_keyValues(b)));

  std::vector<std::string> oldNames, newNames;
  old::enumerateProperties(oldItem, [&](const kit::Ref<KTProperty>& p, bool*) { oldNames.push_back(p->nameText()); });
  mx_enumerateProperties(oldItem, [&](const kit::Ref<KTProperty>& p, bool* stop) {
    newNames.push_back(p->nameText());
    *stop = newNames.size() == 3;
  });
  EXPECT_EQ(oldNames, newNames);
  EXPECT_EQ(oldNames, (std::vector<std::string>{"title", "itemCode", "parts"}));

  const KTProperty& title = *mx_properties(oldItem)[0];
  kit::Id found = kit::str("hat");
  EXPECT_EQ(kit::describe(old::getNewValueFromObject(oldItem, *a, found, title)), "hat!");
  EXPECT_EQ(kit::describe(old::getNewValueFromObject(oldItem, *a, found, title)),
            kit::describe(mx_getNewValueFromObject(oldItem, *a, found, title)));
}

TEST(MXDeprecatedTwins, StringTwinsGiveWhatTheCurrentFormsGive) {
  namespace old = KTExtensionDeprecated;
  for (const char* text : {"userName", "user_name", "", "URLValue", "_lead__twice_", "12", " 12 ", "1.5", "名字Name",
                           "http://a.test/a b?q=1"}) {
    SCOPED_TRACE(text);
    auto s = kit::str(text);
    EXPECT_EQ(kit::describe(old::underlineFromCamel(s)), kit::describe(mx_underlineFromCamel(s)));
    EXPECT_EQ(kit::describe(old::camelFromUnderline(s)), kit::describe(mx_camelFromUnderline(s)));
    EXPECT_EQ(kit::describe(old::firstCharLower(s)), kit::describe(mx_firstCharLower(s)));
    EXPECT_EQ(kit::describe(old::firstCharUpper(s)), kit::describe(mx_firstCharUpper(s)));
    EXPECT_EQ(old::isPureInt(s), mx_isPureInt(s));
    EXPECT_EQ(kit::describe(old::url(s)), kit::describe(mx_url(s)));
  }
  EXPECT_EQ(kit::describe(old::underlineFromCamel(kit::str("userName"))), "user_name");
  EXPECT_TRUE(old::isPureInt(kit::str(" 12 ")));
}

TEST(MXGenericSetups, AnyKeyTotalsHookThenOwnThenSuperclassUntilSetUpAgain) {
  const kit::Class& base = MXDGenericBase::staticClass();
  const kit::Class& sub = MXDGeneric::staticClass();
  const char* key = "MXDCustomNamesKey";
  mx_setupBlockReturnValue(base, [] { return kit::array({"fromBase"}); }, key);
  mx_setupBlockReturnValue(sub, [] { return kit::array({"own", "twice"}); }, key);
  EXPECT_EQ(kit::describe(mx_setupValueForKey(sub, key)), kit::describe(kit::array({"own", "twice"})));

  auto total = mx_totalObjectsWithSelector(sub, "mx_customNames", key);
  EXPECT_EQ(kit::describe(total), kit::describe(kit::array({"hooked", "own", "twice", "fromBase"})));
  total->addObject(kit::str("mine"));  // the caller's copy
  EXPECT_EQ(mx_totalObjectsWithSelector(sub, "mx_customNames", key)->count(), 4u);
  EXPECT_EQ(kit::describe(mx_totalObjectsWithSelector(base, "mx_customNames", key)), "(\n    fromBase\n)");

  // Setting up again drops the totals; a nil setup removes the setting.
  mx_setupBlockReturnValue(base, nullptr, key);
  EXPECT_FALSE(mx_setupValueForKey(base, key));
  EXPECT_EQ(kit::describe(mx_totalObjectsWithSelector(sub, "mx_customNames", key)),
            kit::describe(kit::array({"hooked", "own", "twice"})));

  // Under a name list's key it is that list's setup, and its total is the
  // list's total.
  mx_setupBlockReturnValue(sub, [] { return kit::array({"b"}); }, MXIgnoredPropertyNamesKey);
  EXPECT_EQ(kit::describe(mx_totalIgnoredPropertyNames(sub)), "(\n    b\n)");
  EXPECT_EQ(kit::describe(mx_totalObjectsWithSelector(sub, "mx_ignoredPropertyNames", MXIgnoredPropertyNamesKey)),
            kit::describe(mx_totalIgnoredPropertyNames(sub)));
  auto model = kit::as<MXDGeneric>(mx_objectWithKeyValues(sub, kit::dict({{"a", "1"}, {"b", "2"}})));
  EXPECT_EQ(kit::describe(model->a), "1");
  EXPECT_FALSE(model->b);
  mx_setupIgnoredPropertyNames(sub, nullptr);
  EXPECT_EQ(mx_totalObjectsWithSelector(sub, "mx_ignoredPropertyNames", MXIgnoredPropertyNamesKey)->count(), 0u);
}

}  // namespace
