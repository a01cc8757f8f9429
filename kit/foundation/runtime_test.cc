// The runtime registry, declared properties and key-value coding.

#include <gtest/gtest.h>

#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace {

class Player : public kit::Object {
  KIT_OBJECT(Player)
 public:
  kit::Ref<kit::String> name() const { return name_; }
  void setName(kit::Ref<kit::String> v) { name_ = std::move(v); }
  double height = 0;
  long long count = 0;
  bool vip = false;
  kit::Ref<kit::Array> roles;
  kit::Weak<Player> friendOf;

 private:
  kit::Ref<kit::String> name_;
};

KIT_DEFINE_CLASS(Player, kit::Object) {
  cls.property("name", &Player::name, &Player::setName, "C");
  cls.property("height", &Player::height);
  cls.property("count", &Player::count);
  cls.property("vip", &Player::vip);
  cls.property("roles", &Player::roles);
  cls.property("friendOf", &Player::friendOf);
  cls.hook("tableName", std::string("players"));
}

class Captain : public Player {
  KIT_OBJECT(Captain)
 public:
  int stars = 0;
  kit::Ref<Captain> deputy;  // a property typed with its own class
};

KIT_DEFINE_CLASS(Captain, Player) {
  cls.property("stars", &Captain::stars);
  cls.property("deputy", &Captain::deputy);
}

TEST(Runtime, DeclaredPropertiesKeepOrderAndAttributeTexts) {
  const kit::Class& cls = Player::staticClass();
  ASSERT_EQ(cls.declaredProperties().size(), 6u);
  std::vector<std::string> attrs;
  for (const auto& p : cls.declaredProperties()) attrs.push_back(p.name + " " + p.attributes);
  EXPECT_EQ(attrs, (std::vector<std::string>{
                       "name T@\"NSString\",C,N,V_name",
                       "height Td,N,V_height",
                       "count Tq,N,V_count",
                       "vip TB,N,V_vip",
                       "roles T@\"NSArray\",&,N,V_roles",
                       "friendOf T@\"Player\",W,N,V_friendOf",
                   }));
  EXPECT_EQ(Captain::staticClass().declaredProperties()[1].attributes, "T@\"Captain\",&,N,V_deputy");
}

TEST(Runtime, ClassesByNameAndHierarchy) {
  const kit::Class* cls = kit::Class::named("Captain");
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls->superclass(), &Player::staticClass());
  EXPECT_TRUE(cls->isSubclassOf(kit::Object::staticClass()));
  kit::Id made = cls->create();
  ASSERT_TRUE(kit::isKind<Captain>(made));
  EXPECT_EQ(made->className(), "Captain");
  EXPECT_TRUE(made->isKindOfClass(Player::staticClass()));
  EXPECT_FALSE(made->isMemberOfClass(Player::staticClass()));
  EXPECT_EQ(kit::Class::named("NoSuchClass"), nullptr);
  EXPECT_EQ(kit::str("x")->className(), "NSString");
  EXPECT_EQ(kit::MutableArray::make()->objectClass().superclass()->name(), "NSArray");
  // Hooks are found through the superclass chain.
  ASSERT_NE(cls->hook<std::string>("tableName"), nullptr);
  EXPECT_EQ(*cls->hook<std::string>("tableName"), "players");
  EXPECT_FALSE(cls->hasOwnHook("tableName"));
  EXPECT_EQ(cls->hook<int>("tableName"), nullptr);  // wrong type is no hook
}

TEST(Runtime, KeyValueCodingBoxesAndChecks) {
  auto p = kit::make<Captain>();
  auto name = kit::MutableString::make("Ann");
  p->setValueForKey("name", name);
  name->appendString("!");  // the copied property does not change with it
  EXPECT_EQ(kit::describe(p->valueForKey("name")), "Ann");
  EXPECT_FALSE(kit::isKind<kit::MutableString>(p->valueForKey("name")));

  p->setValueForKey("height", kit::num(1.75));
  p->setValueForKey("count", kit::num(3));
  p->setValueForKey("stars", kit::num(5));
  p->setValueForKey("vip", kit::num(true));
  EXPECT_DOUBLE_EQ(p->height, 1.75);
  EXPECT_EQ(p->count, 3);
  EXPECT_EQ(p->stars, 5);
  EXPECT_TRUE(p->vip);
  EXPECT_EQ(kit::describe(p->valueForKey("height")), "1.75");
  EXPECT_EQ(std::string(kit::as<kit::Number>(p->valueForKey("vip"))->objCType()), "c");

  try {
    p->setValueForKey("height", kit::str("x"));
    FAIL() << "a string is not a double";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::InvalidArgumentException);
  }
  try {
    p->setValueForKey("nope", kit::num(1));
    FAIL() << "unknown key";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::UndefinedKeyException);
    EXPECT_NE(e.reason().find("not key value coding-compliant for the key nope"), std::string::npos);
  }
  EXPECT_THROW(p->valueForKey("nope"), kit::Exception);
  EXPECT_THROW(p->setValueForKey("height", nullptr), kit::Exception);       // nil for a scalar
  EXPECT_THROW(p->setValueForKey("roles", kit::str("no")), kit::Exception);  // wrong class
}

TEST(Runtime, DictionariesAndKeyPaths) {
  auto p = kit::make<Captain>();
  p->setValuesForKeysWithDictionary(kit::dict({{"name", "Bo"}, {"stars", 2}, {"roles", kit::array({"a"})},
                                               {"deputy", kit::null()}}));
  EXPECT_EQ(p->name()->utf8(), "Bo");
  EXPECT_EQ(p->stars, 2);
  EXPECT_EQ(p->roles->count(), 1u);
  EXPECT_EQ(p->deputy, nullptr);

  p->deputy = kit::make<Captain>();
  p->setValueForKeyPath("deputy.name", kit::str("Cy"));
  EXPECT_EQ(kit::describe(p->valueForKeyPath("deputy.name")), "Cy");
  EXPECT_EQ(kit::describe(kit::Id(p->roles)->valueForKey("length")), "(\n    1\n)");

  // Dictionaries answer key-value coding with their entries.
  auto d = kit::mutableDict({{"a", 1}});
  d->setValueForKey("b", kit::num(2));
  d->setValueForKey("a", nullptr);
  EXPECT_EQ(kit::describe(d), "{\n    b = 2;\n}");
}

TEST(Runtime, WeakPropertiesAndAssociatedValues) {
  auto a = kit::make<Player>();
  {
    auto b = kit::make<Player>();
    a->setValueForKey("friendOf", b);
    EXPECT_EQ(a->valueForKey("friendOf"), kit::Id(b));
  }
  EXPECT_EQ(a->valueForKey("friendOf"), nullptr);

  static const char kTag = 0;
  auto tag = kit::MutableString::make("t");
  a->setAssociated(&kTag, tag, kit::Association::Copy);
  tag->appendString("2");
  EXPECT_EQ(kit::describe(a->associated(&kTag)), "t");
  a->setAssociated(&kTag, nullptr);
  EXPECT_EQ(a->associated(&kTag), nullptr);

  Player::staticClass().setAssociated(&kTag, kit::str("on class"));
  EXPECT_EQ(kit::describe(Captain::staticClass().associated(&kTag)), "(null)");  // not inherited
  EXPECT_EQ(kit::describe(Player::staticClass().associated(&kTag)), "on class");
  Player::staticClass().setAssociated(&kTag, nullptr);
}

TEST(Runtime, ClassesAsValuesInContainers) {
  auto table = kit::dict({{"deputy", kit::ClassValue::make(Captain::staticClass())}});
  auto held = kit::as<kit::ClassValue>((*table)["deputy"]);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(&held->value(), &Captain::staticClass());
  EXPECT_EQ(kit::describe(held), "Captain");
  EXPECT_TRUE(kit::isEqual(held, kit::ClassValue::make(Captain::staticClass())));
  EXPECT_FALSE(kit::isEqual(held, kit::ClassValue::make(Player::staticClass())));
  EXPECT_EQ(held->copy(), kit::Id(held));
}

}  // namespace
