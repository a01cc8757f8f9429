// The runtime registry, declared properties and key-value coding.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <functional>
#include <string>
#include <vector>

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

// One property of every supported type.
class Gauge : public kit::Object {
  KIT_OBJECT(Gauge)
 public:
  bool flag = false;
  char letter = 0;
  unsigned char byte = 0;
  short small = 0;
  unsigned short smallUnsigned = 0;
  int whole = 0;
  unsigned wholeUnsigned = 0;
  long long big = 0;
  unsigned long long bigUnsigned = 0;
  float ratio = 0;
  double exact = 0;
  kit::Id anything;
  kit::Ref<kit::String> label;
  kit::Weak<kit::Object> owner;
  kit::Ref<kit::String> serial;
  std::function<void()> done;
  const kit::Class* kind = nullptr;
  const char* cName = nullptr;
};

KIT_DEFINE_CLASS(Gauge, kit::Object) {
  cls.property("flag", &Gauge::flag).property("letter", &Gauge::letter).property("byte", &Gauge::byte);
  cls.property("small", &Gauge::small).property("smallUnsigned", &Gauge::smallUnsigned);
  cls.property("whole", &Gauge::whole).property("wholeUnsigned", &Gauge::wholeUnsigned);
  cls.property("big", &Gauge::big).property("bigUnsigned", &Gauge::bigUnsigned);
  cls.property("ratio", &Gauge::ratio).property("exact", &Gauge::exact);
  cls.property("anything", &Gauge::anything).property("label", &Gauge::label, "C");
  cls.property("owner", &Gauge::owner).property("serial", &Gauge::serial, "R");
  cls.property("done", &Gauge::done).property("kind", &Gauge::kind).property("cName", &Gauge::cName);
}

// Takes nil for a scalar as zero.
class Lenient : public Captain {
 public:
  void setNilValueForKey(const std::string& key) override {
    if (key == "stars") stars = 0;
  }
};

TEST(Runtime, AttributeTextsOfEveryPropertyType) {
  std::vector<std::string> attrs;
  for (const auto& p : Gauge::staticClass().declaredProperties()) attrs.push_back(p.attributes);
  EXPECT_EQ(attrs, (std::vector<std::string>{
                       "TB,N,V_flag", "Tc,N,V_letter", "TC,N,V_byte", "Ts,N,V_small", "TS,N,V_smallUnsigned",
                       "Ti,N,V_whole", "TI,N,V_wholeUnsigned", "Tq,N,V_big", "TQ,N,V_bigUnsigned",
                       "Tf,N,V_ratio", "Td,N,V_exact", "T@,&,N,V_anything", "T@\"NSString\",C,N,V_label",
                       "T@,W,N,V_owner",
                       // Read-only properties name their ownership only when it is copy or weak.
                       "T@\"NSString\",R,N,V_serial",
                       "T@?,C,N,V_done", "T#,N,V_kind", "T*,N,V_cName"}));

  auto g = kit::make<Gauge>();
  g->setValueForKey("ratio", kit::num(0.1));
  EXPECT_EQ(kit::describe(g->valueForKey("ratio")), "0.1");  // a float reads back as a float
  EXPECT_EQ(std::string(kit::as<kit::Number>(g->valueForKey("ratio"))->objCType()), "f");
  g->setValueForKey("bigUnsigned", kit::num(18446744073709551615ull));
  EXPECT_EQ(g->bigUnsigned, 18446744073709551615ull);
  g->setValueForKey("letter", kit::num(65));
  EXPECT_EQ(g->letter, 'A');
  // Blocks, classes and C strings are declared but not boxed: they read as
  // nil and cannot be set by key.
  EXPECT_EQ(g->valueForKey("done"), nullptr);
  EXPECT_THROW(g->setValueForKey("kind", kit::str("x")), kit::Exception);
  EXPECT_THROW(g->setValueForKey("serial", kit::str("x")), kit::Exception);
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

TEST(Runtime, ANameNamesOneClassForTheProcess) {
  // Registering a name again answers the class already there, with what
  // was declared on it; under another superclass it is refused.
  kit::Class& first = kit::Class::registerClass("RegisteredTwice", &Player::staticClass(), typeid(void));
  first.setHook("motto", std::string("kept"));
  kit::Class& again = kit::Class::registerClass("RegisteredTwice", &Player::staticClass(), typeid(void));
  EXPECT_EQ(&again, &first);
  EXPECT_EQ(kit::Class::named("RegisteredTwice"), &first);
  EXPECT_EQ(*again.hook<std::string>("motto"), "kept");
  EXPECT_EQ(&kit::Class::registerClass("Captain", &Player::staticClass(), typeid(void)), &Captain::staticClass());
  try {
    kit::Class::registerClass("RegisteredTwice", &kit::Object::staticClass(), typeid(void));
    FAIL() << "a second superclass for one name";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::InternalInconsistencyException);
  }
  EXPECT_EQ(kit::Class::named("RegisteredTwice")->superclass(), &Player::staticClass());
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

  // Through a nil link a key path reads nil and a write goes nowhere.
  p->deputy = nullptr;
  EXPECT_EQ(p->valueForKeyPath("deputy.name"), nullptr);
  p->setValueForKeyPath("deputy.name", kit::str("lost"));
  EXPECT_EQ(p->valueForKeyPath("deputy.deputy.stars"), nullptr);
  // The null object becomes nil, which a scalar refuses through
  // setNilValueForKey unless the class overrides it.
  try {
    p->setValuesForKeysWithDictionary(kit::dict({{"stars", kit::null()}}));
    FAIL() << "nil for a scalar";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::InvalidArgumentException);
  }
  auto lenient = kit::make<Lenient>();
  lenient->stars = 4;
  lenient->setValuesForKeysWithDictionary(kit::dict({{"stars", kit::null()}, {"name", kit::null()}}));
  EXPECT_EQ(lenient->stars, 0);
  EXPECT_EQ(lenient->name(), nullptr);
}

TEST(Runtime, HooksAndRegistrationAcrossThreads) {
  // Readers keep using a hook while another thread replaces it; a value
  // handed out stays valid (AddressSanitizer watches for the reverse).
  const kit::Class& cls = Captain::staticClass();
  cls.setHook("motto", std::string(64, 'a'));
  std::atomic<bool> stop{false};
  std::atomic<int> readersStarted{0};
  std::atomic<size_t> seen{0};
  std::thread writer([&] {
    while (readersStarted < 3) std::this_thread::yield();  // every reader is in its loop
    for (int i = 0; i < 2000; ++i) cls.setHook("motto", std::string(64, static_cast<char>('a' + i % 26)));
    stop = true;
  });
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      ++readersStarted;
      do {
        const std::string* motto = cls.hook<std::string>("motto");
        ASSERT_NE(motto, nullptr);
        std::string copy = *motto;
        EXPECT_EQ(copy.size(), 64u);
        EXPECT_EQ(copy.find_first_not_of(copy[0]), std::string::npos);
        ++seen;
      } while (!stop);
    });
  }
  // Meanwhile classes register and are looked up by name.
  std::vector<std::thread> registrars;
  for (int t = 0; t < 2; ++t) {
    registrars.emplace_back([t] {
      for (int i = 0; i < 50; ++i) {
        std::string name = "ThreadMade" + std::to_string(t) + "_" + std::to_string(i);
        kit::Class::registerClass(name, &kit::Object::staticClass(), typeid(void));
        ASSERT_NE(kit::Class::named(name), nullptr);
      }
    });
  }
  writer.join();
  for (auto& r : readers) r.join();
  for (auto& r : registrars) r.join();
  EXPECT_GT(seen.load(), 0u);
  EXPECT_EQ(*cls.hook<std::string>("motto"), std::string(64, static_cast<char>('a' + 1999 % 26)));
  EXPECT_EQ(*Player::staticClass().hook<std::string>("tableName"), "players");
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

  // A weak association neither keeps its value alive nor makes a cycle:
  // an object weakly associated with itself is still freed (LeakSanitizer).
  static const char kOwner = 0;
  {
    auto owner = kit::make<Player>();
    a->setAssociated(&kOwner, owner, kit::Association::Weak);
    EXPECT_EQ(a->associated(&kOwner), kit::Id(owner));
    kit::Weak<Player> watch = owner;
    a->setAssociated(&kOwner, kit::str("strong now"));  // replacing weak with strong
    EXPECT_EQ(kit::describe(a->associated(&kOwner)), "strong now");
    a->setAssociated(&kOwner, owner, kit::Association::Weak);
    owner.reset();
    EXPECT_TRUE(watch.expired());
  }
  EXPECT_EQ(a->associated(&kOwner), nullptr);
  auto loner = kit::make<Player>();
  kit::Weak<Player> lonerWatch = loner;
  loner->setAssociated(&kOwner, loner, kit::Association::Weak);
  EXPECT_EQ(loner->associated(&kOwner), kit::Id(loner));
  loner.reset();
  EXPECT_TRUE(lonerWatch.expired());

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
