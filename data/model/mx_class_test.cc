// Class configuration: key replacement through hooks and setups along the
// class chain, element classes, name lists, class walks, key-name
// conversions and archiving through properties.

#include <gtest/gtest.h>

#include "data/model/mx_class.h"
#include "data/model/mx_coding.h"
#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "data/model/mx_property.h"
#include "data/model/mx_string.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/values.h"

namespace {

class MXCTag : public kit::Object {
  KIT_OBJECT(MXCTag)
 public:
  kit::Ref<kit::String> label;
};
KIT_DEFINE_CLASS(MXCTag, kit::Object) { cls.property("label", &MXCTag::label, "C"); }

class MXCBase : public kit::Object {
  KIT_OBJECT(MXCBase)
 public:
  kit::Ref<kit::String> info;
  kit::Ref<kit::String> code;
  kit::Ref<kit::Array> tags;
  kit::Ref<kit::Array> others;
};
KIT_DEFINE_CLASS(MXCBase, kit::Object) {
  cls.property("info", &MXCBase::info, "C");
  cls.property("code", &MXCBase::code, "C");
  cls.property("tags", &MXCBase::tags);
  cls.property("others", &MXCBase::others);
}

class MXCSub : public MXCBase {
  KIT_OBJECT(MXCSub)
 public:
  kit::Ref<kit::String> extra;
};
KIT_DEFINE_CLASS(MXCSub, MXCBase) { cls.property("extra", &MXCSub::extra, "C"); }

class MXCHooked : public kit::Object {
  KIT_OBJECT(MXCHooked)
 public:
  kit::Ref<kit::String> title;
  kit::Ref<kit::String> subtitle;
};
KIT_DEFINE_CLASS(MXCHooked, kit::Object) {
  cls.property("title", &MXCHooked::title, "C");
  cls.property("subtitle", &MXCHooked::subtitle, "C");
  // "title" answers its own name, which leaves the choice to the setups;
  // "subtitle" answers a key of its own, which wins.
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName,
            [] { return kit::dict({{"title", "title"}, {"subtitle", "sub"}}); });
}

class MXCIgnoreBase : public kit::Object {
  KIT_OBJECT(MXCIgnoreBase)
};
KIT_DEFINE_CLASS(MXCIgnoreBase, kit::Object) {}

class MXCIgnoreSub : public MXCIgnoreBase {
  KIT_OBJECT(MXCIgnoreSub)
};
KIT_DEFINE_CLASS(MXCIgnoreSub, MXCIgnoreBase) {
  mx_answer(cls, MXHooks::mx_ignoredPropertyNames, [] { return kit::array({"hooked"}); });
}

class MXCAccount : public kit::Object {
  KIT_OBJECT(MXCAccount)
 public:
  kit::Ref<kit::String> userName;
  kit::Ref<kit::String> nickName;
  long long loginCount = 0;
  kit::Ref<kit::String> secret;
};
KIT_DEFINE_CLASS(MXCAccount, kit::Object) {
  cls.property("userName", &MXCAccount::userName, "C");
  cls.property("nickName", &MXCAccount::nickName, "C");
  cls.property("loginCount", &MXCAccount::loginCount);
  cls.property("secret", &MXCAccount::secret, "C");
}

class MXCProfile : public kit::Object, public kit::Coding {
  KIT_OBJECT(MXCProfile)
 public:
  kit::Ref<kit::String> userName;
  long long loginCount = 0;
  bool vip = false;
  kit::Ref<kit::String> secret;
  kit::Ref<kit::Array> friends;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override { mx_encode(*this, coder); }
  bool initWithCoder(kit::KeyedUnarchiver& coder) override {
    mx_decode(*this, coder);
    return true;
  }
};
KIT_DEFINE_CLASS(MXCProfile, kit::Object) {
  cls.property("userName", &MXCProfile::userName, "C");
  cls.property("loginCount", &MXCProfile::loginCount);
  cls.property("vip", &MXCProfile::vip);
  cls.property("secret", &MXCProfile::secret, "C");
  cls.property("friends", &MXCProfile::friends);
}

// Writes its property the way an older archive kept it: under "_userName".
class MXCOldProfile : public kit::Object, public kit::Coding {
  KIT_OBJECT(MXCOldProfile)
 public:
  kit::Ref<kit::String> userName;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override { coder.encodeObject(userName, "_userName"); }
  bool initWithCoder(kit::KeyedUnarchiver& coder) override {
    mx_decode(*this, coder);
    return true;
  }
};
KIT_DEFINE_CLASS(MXCOldProfile, kit::Object) { cls.property("userName", &MXCOldProfile::userName, "C"); }

std::vector<std::string> names(const kit::Ref<kit::Array>& list) {
  std::vector<std::string> out;
  for (const kit::Id& v : list->objects()) out.push_back(kit::describe(v));
  return out;
}

kit::Ref<MXCSub> subFrom(const kit::Id& keyValues) { return mx_objectWithKeyValues<MXCSub>(keyValues); }

TEST(MXConfiguration, WithoutHooksEveryPropertyUsesItsOwnName) {
  EXPECT_EQ(kit::describe(mx_propertyKey(MXCTag::staticClass(), "label")), "label");
  auto tag = mx_objectWithKeyValues<MXCTag>(kit::dict({{"label", "red"}, {"other", "x"}}));
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(kit::describe(tag->label), "red");
  EXPECT_EQ(mx_error(MXCTag::staticClass()), nullptr);
}

TEST(MXConfiguration, SuperclassSetupsApplyUntilTheSubclassSetsItsOwn) {
  mx_setupReplacedKeyFromPropertyName(MXCBase::staticClass(), [] { return kit::dict({{"info", "base_info"}}); });
  auto input = kit::dict({{"info", "plain"}, {"base_info", "from base"}, {"sub_info", "from sub"}});
  EXPECT_EQ(kit::describe(subFrom(input)->info), "from base");

  // Set up after the subclass has been mapped: the next mapping sees it.
  mx_setupReplacedKeyFromPropertyName(MXCSub::staticClass(), [] { return kit::dict({{"info", "sub_info"}}); });
  EXPECT_EQ(kit::describe(subFrom(input)->info), "from sub");
  EXPECT_EQ(kit::describe(mx_objectWithKeyValues<MXCBase>(input)->info), "from base");

  // A nil setup removes the setting again.
  mx_setupReplacedKeyFromPropertyName(MXCSub::staticClass(), nullptr);
  mx_setupReplacedKeyFromPropertyName(MXCBase::staticClass(), nullptr);
  EXPECT_EQ(kit::describe(subFrom(input)->info), "plain");
}

TEST(MXConfiguration, AHookAnswerEqualToTheNameLetsTheSetupsDecide) {
  auto input = kit::dict({{"title", "own"}, {"t", "set up"}, {"sub", "hooked"}, {"s", "not used"}});
  EXPECT_EQ(kit::describe(mx_objectWithKeyValues<MXCHooked>(input)->title), "own");
  mx_setupReplacedKeyFromPropertyName(MXCHooked::staticClass(),
                                      [] { return kit::dict({{"title", "t"}, {"subtitle", "s"}}); });
  auto hooked = mx_objectWithKeyValues<MXCHooked>(input);
  EXPECT_EQ(kit::describe(hooked->title), "set up");
  EXPECT_EQ(kit::describe(hooked->subtitle), "hooked");
  mx_setupReplacedKeyFromPropertyName(MXCHooked::staticClass(), nullptr);
}

TEST(MXConfiguration, KeyFunctionsConvertNamesBothWays) {
  mx_setupReplacedKeyFromPropertyName121(MXCAccount::staticClass(), [](const std::string& name) -> kit::Id {
    return name == "secret" ? kit::Id(kit::num(7)) : kit::Id(mx_underlineFromCamel(kit::str(name)));
  });
  auto account = mx_objectWithKeyValues<MXCAccount>(
      kit::dict({{"user_name", "ann"}, {"nick_name", "A"}, {"login_count", "3"}, {"secret", "s"}}));
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(kit::describe(account->userName), "ann");
  EXPECT_EQ(kit::describe(account->nickName), "A");
  EXPECT_EQ(account->loginCount, 3);
  EXPECT_EQ(account->secret, nullptr);  // a key that is no string or array finds nothing

  account->secret = kit::str("kept out");
  auto back = kit::as<kit::Dictionary>(mx_keyValues(account));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(kit::describe((*back)["user_name"]), "ann");
  EXPECT_EQ(kit::describe((*back)["login_count"]), "3");
  EXPECT_EQ(back->count(), 3u);
  mx_setupReplacedKeyFromPropertyName121(MXCAccount::staticClass(), nullptr);
}

TEST(MXConfiguration, AChangedOrRemovedSetupTakesEffectOnTheNextMapping) {
  // A key that was found once is not kept once the key function gives none.
  auto input = kit::dict({{"userName", "ann"}, {"secret", "s"}});
  EXPECT_EQ(kit::describe(mx_objectWithKeyValues<MXCAccount>(input)->secret), "s");
  mx_setupReplacedKeyFromPropertyName121(MXCAccount::staticClass(), [](const std::string& name) -> kit::Id {
    return name == "secret" ? kit::Id(kit::num(7)) : kit::Id(kit::str(name));
  });
  auto account = mx_objectWithKeyValues<MXCAccount>(input);
  EXPECT_EQ(kit::describe(account->userName), "ann");
  EXPECT_EQ(account->secret, nullptr);
  mx_setupReplacedKeyFromPropertyName121(MXCAccount::staticClass(), nullptr);
  EXPECT_EQ(kit::describe(mx_objectWithKeyValues<MXCAccount>(input)->secret), "s");

  // An element class set up and removed again: the elements stay dictionaries.
  auto tagged = kit::dict({{"tags", kit::array({kit::dict({{"label", "a"}})})}});
  mx_setupObjectClassInArray(MXCBase::staticClass(), [] { return kit::dict({{"tags", "MXCTag"}}); });
  EXPECT_TRUE(kit::isKind<MXCTag>(subFrom(tagged)->tags->objectAtIndex(0)));
  mx_setupObjectClassInArray(MXCBase::staticClass(), nullptr);
  EXPECT_TRUE(kit::isKind<kit::Dictionary>(subFrom(tagged)->tags->objectAtIndex(0)));
}

TEST(MXConfiguration, ReplacedKeysGivenAsArraysAreTriedInOrder) {
  mx_setupReplacedKeyFromPropertyName(MXCBase::staticClass(),
                                      [] { return kit::dict({{"code", kit::array({"first", "second.code"})}}); });
  EXPECT_EQ(kit::describe(subFrom(kit::dict({{"second", kit::dict({{"code", "2"}})}}))->code), "2");
  EXPECT_EQ(kit::describe(subFrom(kit::dict({{"first", "1"}, {"second", kit::dict({{"code", "2"}})}}))->code), "1");
  // A null at the end of the first key path counts as found and ends the search.
  EXPECT_EQ(subFrom(kit::dict({{"first", kit::null()}, {"second", kit::dict({{"code", "2"}})}}))->code, nullptr);
  mx_setupReplacedKeyFromPropertyName(MXCBase::staticClass(), nullptr);
}

TEST(MXConfiguration, ElementClassesByClassOrByName) {
  mx_setupObjectClassInArray(MXCBase::staticClass(), [] {
    return kit::dict({{"tags", "MXCTag"}, {"others", "NoSuchElementClass"}});
  });
  EXPECT_EQ(mx_propertyObjectClassInArray(MXCSub::staticClass(), "tags"), &MXCTag::staticClass());
  EXPECT_EQ(mx_propertyObjectClassInArray(MXCSub::staticClass(), "others"), nullptr);
  auto sub = subFrom(kit::dict({{"tags", kit::array({kit::dict({{"label", "a"}}), "dropped"})},
                                {"others", kit::array({kit::dict({{"label", "b"}})})}}));
  ASSERT_EQ(sub->tags->count(), 1u);
  EXPECT_EQ(kit::describe(kit::as<MXCTag>(sub->tags->objectAtIndex(0))->label), "a");
  EXPECT_TRUE(kit::isKind<kit::Dictionary>(sub->others->objectAtIndex(0)));  // no element class: kept as is

  mx_setupObjectClassInArray(MXCSub::staticClass(), [] {
    return kit::dict({{"others", kit::ClassValue::make(MXCTag::staticClass())}});
  });
  EXPECT_EQ(mx_propertyObjectClassInArray(MXCSub::staticClass(), "others"), &MXCTag::staticClass());
  EXPECT_EQ(mx_propertyObjectClassInArray(MXCSub::staticClass(), "tags"), &MXCTag::staticClass());  // inherited
  mx_setupObjectClassInArray(MXCSub::staticClass(), nullptr);
  mx_setupObjectClassInArray(MXCBase::staticClass(), nullptr);
}

TEST(MXConfiguration, NameListsTotalHookThenOwnThenSuperclass) {
  mx_setupIgnoredPropertyNames(MXCIgnoreBase::staticClass(), [] { return kit::array({"inherited"}); });
  mx_setupIgnoredPropertyNames(MXCIgnoreSub::staticClass(), [] { return kit::array({"own", "inherited"}); });
  EXPECT_EQ(names(mx_totalIgnoredPropertyNames(MXCIgnoreSub::staticClass())),
            (std::vector<std::string>{"hooked", "own", "inherited", "inherited"}));
  EXPECT_EQ(names(mx_totalIgnoredPropertyNames(MXCIgnoreBase::staticClass())), (std::vector<std::string>{"inherited"}));
  EXPECT_TRUE(mx_totalAllowedPropertyNames(MXCIgnoreSub::staticClass())->empty());

  // Setting a list up again drops the cached totals.
  mx_setupIgnoredPropertyNames(MXCIgnoreBase::staticClass(), [] { return kit::array({"changed"}); });
  EXPECT_EQ(names(mx_totalIgnoredPropertyNames(MXCIgnoreSub::staticClass())),
            (std::vector<std::string>{"hooked", "own", "inherited", "changed"}));
  mx_setupIgnoredPropertyNames(MXCIgnoreBase::staticClass(), nullptr);
}

TEST(MXConfiguration, AllowedAndIgnoredNamesSteerBothDirections) {
  mx_setupAllowedPropertyNames(MXCAccount::staticClass(), [] { return kit::array({"userName", "secret"}); });
  mx_setupIgnoredPropertyNames(MXCAccount::staticClass(), [] { return kit::array({"secret"}); });
  auto account = mx_objectWithKeyValues<MXCAccount>(
      kit::dict({{"userName", "ann"}, {"nickName", "A"}, {"secret", "s"}}));
  EXPECT_EQ(kit::describe(account->userName), "ann");
  EXPECT_EQ(account->nickName, nullptr);
  EXPECT_EQ(account->secret, nullptr);
  account->nickName = kit::str("A");
  account->secret = kit::str("s");
  EXPECT_EQ(kit::describe(mx_keyValues(account)), "{\n    userName = ann;\n}");
  mx_setupAllowedPropertyNames(MXCAccount::staticClass(), nullptr);
  mx_setupIgnoredPropertyNames(MXCAccount::staticClass(), nullptr);

  // Key lists given to one call.
  auto limited = kit::as<kit::Dictionary>(mx_keyValuesWithKeys(account, kit::array({"nickName", "secret"})));
  EXPECT_EQ(names(limited->allKeys()), (std::vector<std::string>{"nickName", "secret"}));
  auto without = kit::as<kit::Dictionary>(mx_keyValuesWithIgnoredKeys(account, kit::array({"secret"})));
  EXPECT_EQ(names(without->allKeys()), (std::vector<std::string>{"userName", "nickName", "loginCount"}));
}

TEST(MXClassWalks, ModelWalksStopBeforeFoundationAllClassesReachTheRoot) {
  auto visit = [](auto walk, const kit::Class& cls, size_t stopAfter = 99) {
    std::vector<std::string> seen;
    walk(cls, [&](const kit::Class& c, bool* stop) {
      seen.push_back(c.name());
      if (seen.size() == stopAfter) *stop = true;
    });
    return seen;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(visit(mx_enumerateClasses, MXCSub::staticClass()), (V{"MXCSub", "MXCBase"}));
  EXPECT_EQ(visit(mx_enumerateAllClasses, MXCSub::staticClass()), (V{"MXCSub", "MXCBase", "NSObject"}));
  EXPECT_EQ(visit(mx_enumerateClasses, MXCSub::staticClass(), 1), (V{"MXCSub"}));
  EXPECT_EQ(visit(mx_enumerateClasses, kit::MutableString::staticClass()), (V{"NSMutableString"}));
  mx_enumerateClasses(MXCSub::staticClass(), nullptr);  // no callback: nothing happens

  std::vector<std::string> properties;
  mx_enumerateProperties(MXCSub::staticClass(), [&](const kit::Ref<KTProperty>& p, bool* stop) {
    properties.push_back(p->nameText());
    if (p->nameText() == "code") *stop = true;
  });
  EXPECT_EQ(properties, (V{"extra", "info", "code"}));
}

TEST(MXClassWalks, KeyValuesOfAFoundationObjectIsTheObjectItself) {
  auto text = kit::str("plain");
  EXPECT_EQ(mx_keyValues(text), kit::Id(text));
  auto error = mx_error(kit::String::staticClass());
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain(), "不是自定义的模型类");
  EXPECT_EQ(error->code(), 250);
  EXPECT_EQ(mx_keyValues(nullptr), nullptr);
}

TEST(MXString, KeyNameConversions) {
  auto s = [](const char* t) { return kit::str(t); };
  EXPECT_EQ(mx_underlineFromCamel(s("userName"))->utf8(), "user_name");
  EXPECT_EQ(mx_underlineFromCamel(s("URL"))->utf8(), "_u_r_l");
  EXPECT_EQ(mx_camelFromUnderline(s("user_name"))->utf8(), "userName");
  EXPECT_EQ(mx_camelFromUnderline(s("__a__b_"))->utf8(), "AB");
  EXPECT_EQ(mx_camelFromUnderline(s("名字_长度"))->utf8(), "名字长度");
  EXPECT_EQ(mx_firstCharLower(s("Name"))->utf8(), "name");
  EXPECT_EQ(mx_firstCharUpper(s("name"))->utf8(), "Name");
  EXPECT_EQ(mx_firstCharUpper(s("é"))->utf8(), "é");
  auto empty = s("");
  EXPECT_EQ(mx_underlineFromCamel(empty), empty);
  EXPECT_EQ(mx_firstCharUpper(nullptr), nullptr);

  EXPECT_TRUE(mx_isPureInt(s("12")));
  EXPECT_TRUE(mx_isPureInt(s(" -12 ")));
  EXPECT_FALSE(mx_isPureInt(s("12a")));
  EXPECT_FALSE(mx_isPureInt(s("1.5")));
  EXPECT_FALSE(mx_isPureInt(s("")));
  EXPECT_FALSE(mx_isPureInt(s("-")));
}

TEST(MXString, URLsFromLooseText) {
  auto url = mx_url(kit::str("http://a.test/p q?名=1#frag"));
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(url->absoluteText(), "http://a.test/p%20q?%E5%90%8D=1#frag");
  EXPECT_EQ(mx_url(kit::str("")), nullptr);
  EXPECT_EQ(mx_url(nullptr), nullptr);
}

TEST(MXCoding, ArchivingRestoresEveryPropertyThatIsNotIgnored) {
  auto profile = kit::make<MXCProfile>();
  profile->userName = kit::str("ann");
  profile->loginCount = 4;
  profile->vip = true;
  profile->secret = kit::str("s");
  profile->friends = kit::array({"bo", "cy"});
  mx_setupIgnoredCodingPropertyNames(MXCProfile::staticClass(), [] { return kit::array({"secret"}); });

  auto restored = kit::as<MXCProfile>(
      kit::KeyedUnarchiver::unarchiveObjectWithData(kit::KeyedArchiver::archivedDataWithRootObject(profile)));
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(kit::describe(restored->userName), "ann");
  EXPECT_EQ(restored->loginCount, 4);
  EXPECT_TRUE(restored->vip);
  EXPECT_EQ(restored->secret, nullptr);
  EXPECT_TRUE(kit::isEqual(restored->friends, profile->friends));
  mx_setupIgnoredCodingPropertyNames(MXCProfile::staticClass(), nullptr);

  // Allowed coding names limit what is written.
  mx_setupAllowedCodingPropertyNames(MXCProfile::staticClass(), [] { return kit::array({"userName"}); });
  restored = kit::as<MXCProfile>(
      kit::KeyedUnarchiver::unarchiveObjectWithData(kit::KeyedArchiver::archivedDataWithRootObject(profile)));
  EXPECT_EQ(kit::describe(restored->userName), "ann");
  EXPECT_EQ(restored->loginCount, 0);
  EXPECT_EQ(restored->secret, nullptr);
  mx_setupAllowedCodingPropertyNames(MXCProfile::staticClass(), nullptr);
}

TEST(MXCoding, ArchivesWithUnderscoredNamesAreReadToo) {
  auto old = kit::make<MXCOldProfile>();
  old->userName = kit::str("kept from an older archive");
  auto restored = kit::as<MXCOldProfile>(
      kit::KeyedUnarchiver::unarchiveObjectWithData(kit::KeyedArchiver::archivedDataWithRootObject(old)));
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(kit::describe(restored->userName), "kept from an older archive");
}

}  // namespace
