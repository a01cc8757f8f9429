// Keyed archiving: object graphs with every value type and model classes
// survive a round trip with their exact types, shared references and
// cycles; unarchivable objects and malformed archives raise, and the caller
// can catch it.

#include "kit/foundation/keyed_archiver.h"

#include <gtest/gtest.h>

#include "kit/foundation/runtime.h"
#include "kit/foundation/serial_date.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

class ArchivePlayer;

class ArchiveRole : public Object, public Coding {
  KIT_OBJECT(ArchiveRole)

 public:
  ArchiveRole() { ++made; }
  static inline int made = 0;
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeObject(name, "name");
    coder.encodeInteger(level, "level");
    coder.encodeDouble(power, "power");
    coder.encodeBool(online, "online");
    coder.encodeObject(owner.lock(), "owner");
  }
  bool initWithCoder(KeyedUnarchiver& coder) override {
    name = coder.decodeObjectOfClass<String>("name");
    level = coder.decodeIntegerForKey("level");
    power = coder.decodeDoubleForKey("power");
    online = coder.decodeBoolForKey("online");
    owner = coder.decodeObjectOfClass<Object>("owner");
    return level >= 0;  // a negative level is not a valid role
  }

  Ref<String> name;
  long level = 0;
  double power = 0;
  bool online = false;
  Weak<Object> owner;  // the player holding this role
};
KIT_DEFINE_CLASS(ArchiveRole, Object) {}

class ArchivePlayer : public Object, public Coding {
  KIT_OBJECT(ArchivePlayer)

 public:
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeObject(roles, "roles");
    coder.encodeObject(current, "current");
  }
  bool initWithCoder(KeyedUnarchiver& coder) override {
    roles = coder.decodeObjectOfClass<MutableArray>("roles");
    current = coder.decodeObjectOfClass<ArchiveRole>("current");
    return true;
  }

  Ref<MutableArray> roles = MutableArray::make();
  Ref<ArchiveRole> current;
};
KIT_DEFINE_CLASS(ArchivePlayer, Object) {}

// A class archived through its declared properties.
class ArchiveProfile : public Object, public Coding {
  KIT_OBJECT(ArchiveProfile)

 public:
  void encodeWithCoder(KeyedArchiver& coder) const override { coder.encodeDeclaredProperties(*this); }
  bool initWithCoder(KeyedUnarchiver& coder) override {
    coder.decodeDeclaredProperties(*this);
    return true;
  }
  Ref<String> name;
  double height = 0;
  long count = 0;
};
KIT_DEFINE_CLASS(ArchiveProfile, Object) {
  cls.property("name", &ArchiveProfile::name, "C");
  cls.property("height", &ArchiveProfile::height);
  cls.property("count", &ArchiveProfile::count);
}

// Counts the instances made, and whether they were decoded securely.
class ArchiveSpy : public Object, public Coding {
  KIT_OBJECT(ArchiveSpy)

 public:
  ArchiveSpy() { ++made; }
  void encodeWithCoder(KeyedArchiver&) const override {}
  bool initWithCoder(KeyedUnarchiver& coder) override {
    secure = coder.requiresSecureCoding();
    return true;
  }
  static inline int made = 0;
  bool secure = false;
};
KIT_DEFINE_CLASS(ArchiveSpy, Object) {}

// Names the class of everything it decodes, as secure decoding needs.
class ArchiveParty : public Object, public Coding {
  KIT_OBJECT(ArchiveParty)

 public:
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeObject(members, "members");
    coder.encodeObject(leader, "leader");
    coder.encodeObject(spy, "spy");
    coder.encodeObject(home, "home");
  }
  bool initWithCoder(KeyedUnarchiver& coder) override {
    members = coder.decodeArrayOfObjectsOfClass<ArchiveRole>("members");
    leader = coder.decodeObjectOfClass<ArchiveRole>("leader");
    spy = coder.decodeObjectOfClass<ArchiveSpy>("spy");
    home = coder.decodeObjectOfClass<URL>("home");
    return true;
  }
  Ref<Array> members;
  Ref<ArchiveRole> leader;
  Ref<ArchiveSpy> spy;
  Ref<URL> home;
};
KIT_DEFINE_CLASS(ArchiveParty, Object) {}

// Adopts Coding but is not registered itself: it would come back as its
// parent class, so archiving refuses it.
class UnregisteredRole : public ArchiveRole {};

Id roundTrip(const Id& root) { return KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(root)); }

TEST(KeyedArchiver, NestedDictionaryWithEveryValueTypeAndAModel) {
  auto role = std::make_shared<ArchiveRole>();
  role->name = str("剑士");
  role->level = 42;
  role->power = 1.5;
  role->online = true;
  Ref<Dictionary> root = dict({
      {"text", "领取成功"},
      {"mutableText", MutableString::make("grow")},
      {"int", 7},
      {"negative", -9000000000LL},
      {"unsigned", 18446744073709551615ull},
      {"float", Number::fromFloat(0.1f)},
      {"double", 0.1},
      {"yes", true},
      {"char", Number::fromChar('x')},
      {"data", Data::make(std::string("\0\x01\xff", 3))},
      {"mutableData", MutableData::make({1, 2})},
      {"date", makeDateValue(737460000.25)},
      {"null", null()},
      {"list", mutableArray({1, array({"deep", dict({{"z", 1}, {"a", 2}})})})},
      {"role", role},
  });

  Id back = roundTrip(root);
  ASSERT_TRUE(isKind<Dictionary>(back));
  EXPECT_FALSE(isKind<MutableDictionary>(back));
  EXPECT_EQ(describe(as<Dictionary>(back)->allKeys()), describe(root->allKeys()));
  EXPECT_FALSE(isKind<MutableString>(back["text"]));
  EXPECT_EQ(describe(back["text"]), "领取成功");
  EXPECT_TRUE(isKind<MutableString>(back["mutableText"]));
  EXPECT_EQ(std::string(as<Number>(back["int"])->objCType()), "i");
  EXPECT_EQ(as<Number>(back["negative"])->longLongValue(), -9000000000LL);
  EXPECT_EQ(as<Number>(back["unsigned"])->unsignedLongLongValue(), 18446744073709551615ull);
  EXPECT_EQ(std::string(as<Number>(back["float"])->objCType()), "f");
  EXPECT_EQ(as<Number>(back["float"])->floatValue(), 0.1f);
  EXPECT_EQ(as<Number>(back["double"])->doubleValue(), 0.1);
  EXPECT_EQ(back["yes"], Id(Number::yes()));
  EXPECT_EQ(as<Number>(back["char"])->kind(), Number::Kind::Signed);
  EXPECT_TRUE(isEqual(back["data"], root->objectForKey(std::string_view("data"))));
  EXPECT_FALSE(isKind<MutableData>(back["data"]));
  EXPECT_TRUE(isKind<MutableData>(back["mutableData"]));
  EXPECT_EQ(dateValueSeconds(back["date"]), 737460000.25);
  EXPECT_EQ(back["null"], Id(null()));
  EXPECT_TRUE(isKind<MutableArray>(back["list"]));
  EXPECT_FALSE(isKind<MutableArray>(back["list"][1]));
  EXPECT_EQ(describe(back["list"][1][1]), "{\n    z = 1;\n    a = 2;\n}");

  auto decodedRole = as<ArchiveRole>(back["role"]);
  ASSERT_TRUE(decodedRole);
  EXPECT_NE(decodedRole, role);
  EXPECT_EQ(describe(decodedRole->name), "剑士");
  EXPECT_EQ(decodedRole->level, 42);
  EXPECT_EQ(decodedRole->power, 1.5);
  EXPECT_TRUE(decodedRole->online);
  EXPECT_TRUE(decodedRole->owner.expired());

  // Everything but the model object compares equal to the original.
  auto plain = as<MutableDictionary>(root->mutableCopy());
  plain->removeObjectForKey(std::string_view("role"));
  auto plainBack = as<MutableDictionary>(back->mutableCopy());
  plainBack->removeObjectForKey(std::string_view("role"));
  EXPECT_TRUE(isEqual(plain, plainBack));
}

TEST(KeyedArchiver, SharedReferencesAndCyclesAreKept) {
  auto player = std::make_shared<ArchivePlayer>();
  for (const char* name : {"a", "b"}) {
    auto role = std::make_shared<ArchiveRole>();
    role->name = str(name);
    role->owner = player;  // weak back reference: a cycle without a leak
    player->roles->addObject(role);
  }
  player->current = as<ArchiveRole>(player->roles->objectAtIndex(1));
  auto shared = str("same");

  Id back = roundTrip(array({player, shared, shared}));
  ASSERT_TRUE(back);
  EXPECT_EQ(back[1], back[2]);  // one object, referenced twice
  auto p = as<ArchivePlayer>(back[0]);
  ASSERT_TRUE(p && p->roles && p->roles->count() == 2);
  EXPECT_EQ(Id(p->current), p->roles->objectAtIndex(1));
  for (const Id& r : *p->roles) EXPECT_EQ(as<ArchiveRole>(r)->owner.lock(), Id(p));

  // A cycle through an immutable collection: the array is referred back to
  // while it is still being filled.
  auto holder = std::make_shared<ArchiveRole>();
  auto list = array({holder});
  holder->owner = list;
  auto listBack = as<Array>(roundTrip(list));
  ASSERT_TRUE(listBack);
  EXPECT_EQ(as<ArchiveRole>(listBack->objectAtIndex(0))->owner.lock(), Id(listBack));

  // A collection that holds itself only through collections could never be
  // released; it is refused rather than archived.
  auto loop = MutableArray::make({str("x")});
  auto inner = MutableDictionary::make();
  inner->setObject(loop, std::string_view("back"));
  loop->addObject(inner);
  Ref<Error> error;
  EXPECT_EQ(KeyedArchiver::archivedDataWithRootObject(loop, &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_NE(error->localizedDescription().find("contains itself"), std::string::npos);
  inner->removeAllObjects();
}

TEST(KeyedArchiver, DeclaredPropertiesAndNil) {
  auto profile = std::make_shared<ArchiveProfile>();
  profile->name = str("n");
  profile->height = 1.75;
  profile->count = -3;
  auto back = as<ArchiveProfile>(roundTrip(profile));
  ASSERT_TRUE(back);
  EXPECT_EQ(describe(back->name), "n");
  EXPECT_EQ(back->height, 1.75);
  EXPECT_EQ(back->count, -3);

  EXPECT_EQ(roundTrip(nullptr), nullptr);
  // A failing initWithCoder decodes as nil, and is left out of collections.
  auto bad = std::make_shared<ArchiveRole>();
  bad->level = -1;
  auto good = std::make_shared<ArchiveRole>();
  EXPECT_EQ(roundTrip(bad), nullptr);
  Id list = roundTrip(array({bad, good}));
  ASSERT_TRUE(isKind<Array>(list));
  EXPECT_EQ(as<Array>(list)->count(), 1u);
  EXPECT_TRUE(isKind<ArchiveRole>(list[0]));
  Id table = roundTrip(mutableDict({{"bad", bad}, {"good", good}}));
  EXPECT_EQ(as<Dictionary>(table)->count(), 1u);
  EXPECT_TRUE(isKind<ArchiveRole>(table["good"]));
}

std::string reasonOf(const std::function<void()>& f, const char* expectedName) {
  try {
    f();
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), expectedName) << e.reason();
    return e.reason();
  }
  ADD_FAILURE() << "nothing was raised";
  return "";
}

TEST(KeyedArchiver, ObjectsThatCannotBeArchivedRaise) {
  auto error = Error::make("d", 1);
  EXPECT_NE(reasonOf([&] { KeyedArchiver::archivedDataWithRootObject(array({1, error})); },
                     InvalidArchiveOperationException)
                .find("NSError"),
            std::string::npos);
  reasonOf([] { KeyedArchiver::archivedDataWithRootObject(std::make_shared<UnregisteredRole>()); },
           InvalidArchiveOperationException);
  reasonOf([] { KeyedArchiver::archivedDataWithRootObject(dict({{array({}), 1}})); }, InvalidArchiveOperationException);

  Ref<Error> failure;
  EXPECT_EQ(KeyedArchiver::archivedDataWithRootObject(array({error}), &failure), nullptr);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->domain(), CocoaErrorDomain);
  EXPECT_EQ(failure->code(), CoderInvalidValueError);
}

TEST(KeyedArchiver, URLsComeBackWithTheirBase) {
  auto base = URL::URLWithString("https://api.example.test/v2/");
  auto relative = URL::URLWithString("users?id=7", base);
  Id back = roundTrip(array({relative, base, URL::URLWithString("file:///tmp/a%20b")}));
  auto url = as<URL>(back[0]);
  ASSERT_TRUE(url);
  EXPECT_EQ(describe(url->relativeString()), "users?id=7");
  EXPECT_EQ(url->absoluteText(), "https://api.example.test/v2/users?id=7");
  ASSERT_TRUE(url->baseURL());
  EXPECT_EQ(url->baseURL(), as<URL>(back[1]));  // the base is stored once
  EXPECT_EQ(url->absoluteText(), relative->absoluteText());
  EXPECT_EQ(describe(back[2]), "file:///tmp/a%20b");

  EXPECT_TRUE(KeyedArchiver::canArchiveObject(*relative));
  EXPECT_TRUE(KeyedArchiver::canArchiveObject(*std::make_shared<ArchiveRole>()));
  EXPECT_FALSE(KeyedArchiver::canArchiveObject(*std::make_shared<UnregisteredRole>()));
  EXPECT_FALSE(KeyedArchiver::canArchiveObject(*Error::make("d", 1)));
}

TEST(KeyedArchiver, SecureDecodingMakesOnlyTheClassesAskedFor) {
  auto party = std::make_shared<ArchiveParty>();
  auto leader = std::make_shared<ArchiveRole>();
  leader->name = str("lead");
  leader->owner = party;  // a cycle back to the party, through "owner"
  party->members = array({leader, std::make_shared<ArchiveRole>()});
  party->leader = leader;
  party->spy = std::make_shared<ArchiveSpy>();
  party->home = URL::URLWithString("https://example.test/home");
  auto bytes = KeyedArchiver::archivedDataWithRootObject(party);

  Ref<Error> error;
  auto back = KeyedUnarchiver::unarchivedObjectOfClass<ArchiveParty>(bytes, &error);
  ASSERT_TRUE(back) << describe(error);
  ASSERT_EQ(back->members->count(), 2u);
  EXPECT_EQ(back->leader, back->members->objectAtIndex(0));
  EXPECT_EQ(describe(back->leader->name), "lead");
  EXPECT_EQ(back->leader->owner.lock(), back);
  EXPECT_TRUE(back->spy->secure);
  EXPECT_EQ(describe(back->home), "https://example.test/home");
  EXPECT_FALSE(as<ArchiveSpy>(KeyedUnarchiver::unarchiveObjectWithData(
                                  KeyedArchiver::archivedDataWithRootObject(std::make_shared<ArchiveSpy>())))
                   ->secure);
  back->leader->owner.reset();

  // A root of another class is refused.
  error.reset();
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<ArchiveRole>(bytes, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), CoderReadCorruptError);
  EXPECT_NE(error->localizedDescription().find("ArchiveParty"), std::string::npos);

  // A spy where a role was asked for is never made; plain decoding makes it.
  auto infiltrated = std::make_shared<ArchiveParty>();
  infiltrated->members = array({std::make_shared<ArchiveSpy>()});
  auto hostile = KeyedArchiver::archivedDataWithRootObject(infiltrated);
  int before = ArchiveSpy::made;
  error.reset();
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<ArchiveParty>(hostile, &error));
  EXPECT_EQ(ArchiveSpy::made, before);
  ASSERT_TRUE(error);
  EXPECT_NE(error->localizedDescription().find("(ArchiveSpy) was not asked for"), std::string::npos);
  EXPECT_THROW(KeyedUnarchiver::unarchiveObjectWithData(hostile), Exception);  // not an array of roles
  EXPECT_EQ(ArchiveSpy::made, before + 1);

  // An object decoded without naming a class: only plain values may come.
  auto player = std::make_shared<ArchivePlayer>();
  player->roles->addObject(std::make_shared<ArchiveRole>());
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<ArchivePlayer>(
      KeyedArchiver::archivedDataWithRootObject(player), nullptr));
  EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(player)));
  player->roles->addObject(str("plain values pass"));
  player->roles->removeObjectAtIndex(0);
  EXPECT_TRUE(KeyedUnarchiver::unarchivedObjectOfClass<ArchivePlayer>(KeyedArchiver::archivedDataWithRootObject(player),
                                                                      nullptr));
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<ArchivePlayer>(nullptr, nullptr));
}

TEST(KeyedArchiver, SecureDecodingBuildsAnAllowedClassOnlyWhereItIsAllowed) {
  auto refused = [](const Ref<Data>& bytes, auto decode) {
    const int spies = ArchiveSpy::made, roles = ArchiveRole::made;
    Ref<Error> error;
    EXPECT_FALSE(decode(bytes, &error));
    EXPECT_TRUE(error);
    EXPECT_EQ(ArchiveSpy::made, spies) << "a spy was built for a refused archive";
    EXPECT_EQ(ArchiveRole::made, roles) << "a role was built for a refused archive";
  };
  auto spyRoot = [](const Ref<Data>& bytes, Ref<Error>* error) {
    return KeyedUnarchiver::unarchivedObjectOfClass<ArchiveSpy>(bytes, error);
  };
  auto partyRoot = [](const Ref<Data>& bytes, Ref<Error>* error) {
    return KeyedUnarchiver::unarchivedObjectOfClass<ArchiveParty>(bytes, error);
  };
  // The root's class is allowed for the root alone, not for what a root of
  // another kind holds.
  auto many = MutableArray::make();
  for (int i = 0; i < 50; ++i) many->addObject(std::make_shared<ArchiveSpy>());
  refused(KeyedArchiver::archivedDataWithRootObject(many), spyRoot);
  refused(KeyedArchiver::archivedDataWithRootObject(dict({{"spy", std::make_shared<ArchiveSpy>()}})), spyRoot);
  // An array of roles is allowed its roles, not roles inside arrays in it.
  auto party = std::make_shared<ArchiveParty>();
  party->members = array({array({std::make_shared<ArchiveRole>(), std::make_shared<ArchiveRole>()})});
  refused(KeyedArchiver::archivedDataWithRootObject(party), partyRoot);
  // A role where an array of roles was asked for is no array.
  party->members = nullptr;
  party->leader = std::make_shared<ArchiveRole>();
  auto bytes = KeyedArchiver::archivedDataWithRootObject(party);
  EXPECT_TRUE(partyRoot(bytes, nullptr)) << "a role where a role is asked for";
}

// An archive assembled by hand.
std::string archive(const std::vector<std::string>& entries, uint8_t root) {
  std::string out("KITARC\x01\x00", 8);
  out += static_cast<char>(entries.size());
  for (const auto& e : entries) out += static_cast<char>(e.size()) + e;
  return out + static_cast<char>(root);
}

std::string corruptReason(const std::string& bytes) {
  return reasonOf([&] { KeyedUnarchiver::unarchiveObjectWithData(Data::make(bytes)); },
                  InvalidUnarchiveOperationException);
}

TEST(KeyedArchiver, MalformedArchivesRaiseAndCanBeCaught) {
  // The hand-made format matches what the archiver writes.
  EXPECT_EQ(describe(KeyedUnarchiver::unarchiveObjectWithData(Data::make(archive({"\x02hi"}, 1)))), "hi");

  EXPECT_NE(corruptReason("").find("not a kit archive"), std::string::npos);
  EXPECT_NE(corruptReason("NOTANARCHIVE").find("not a kit archive"), std::string::npos);
  EXPECT_NE(corruptReason(std::string("KITARC\x09\x00\x00\x00", 10)).find("version"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x02hi"}, 2)).find("out of range"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x08\x01\x05"}, 1)).find("out of range"), std::string::npos);
  EXPECT_NE(corruptReason(archive({std::string("\x08\x01\x00", 3)}, 1)).find("nil"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x63"}, 1)).find("unknown entry tag"), std::string::npos);
  EXPECT_NE(corruptReason(archive({std::string("\x0d\x00not a url", 11)}, 1)).find("URL is not valid"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x0d\x02rel", "\x02hi"}, 1)).find("base of a URL"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x0d\x01rel"}, 1)).find("contains itself"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x08\x01\x01"}, 1)).find("contains itself"), std::string::npos);
  EXPECT_NE(corruptReason(archive({"\x02\xff\xfe"}, 1)).find("UTF-8"), std::string::npos);
  EXPECT_NE(corruptReason(archive({std::string("\x0c\x07Missing\x00", 10)}, 1)).find("cannot decode object of class (Missing)"),
            std::string::npos);
  // An absurd element count does not allocate; it is refused.
  EXPECT_NE(corruptReason(archive({"\x08\xff\xff\xff\xff\x0f"}, 1)).find("count"), std::string::npos);
  EXPECT_NE(corruptReason(std::string("KITARC\x01\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", 18)).find("count"),
            std::string::npos);
  // Arrays nested 1000 deep, each entry referring to the next.
  std::string deep("KITARC\x01\x00", 8);
  deep += "\xe8\x07";  // 1000 entries
  for (int i = 0; i < 1000; ++i) {
    std::string e = "\x08\x01";
    uint64_t next = i + 2 <= 1000 ? i + 2 : 0;
    if (next == 0) e = "\x01";  // the last one is null
    else if (next < 0x80) e += static_cast<char>(next);
    else e += static_cast<char>((next & 0x7F) | 0x80), e += static_cast<char>(next >> 7);
    deep += static_cast<char>(e.size()) + e;
  }
  deep += '\x01';
  EXPECT_NE(corruptReason(deep).find("too deeply"), std::string::npos);

  // Every truncation of a real archive raises; no byte flip crashes.
  auto role = std::make_shared<ArchiveRole>();
  role->name = str("n");
  std::string good = KeyedArchiver::archivedDataWithRootObject(dict({{"r", role}, {"l", array({1, 2.5, "s"})}}))->toString();
  for (size_t n = 0; n < good.size(); ++n) corruptReason(good.substr(0, n));
  for (size_t i = 0; i < good.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string bad = good;
      bad[i] = static_cast<char>(bad[i] ^ (1 << bit));
      Ref<Error> error;
      Id v = KeyedUnarchiver::unarchivedObjectWithData(Data::make(bad), &error);
      if (error) {
        EXPECT_EQ(error->code(), CoderReadCorruptError);
      }
    }
  }

  // The non-raising variant gives nil and an Error.
  Ref<Error> error;
  EXPECT_EQ(KeyedUnarchiver::unarchivedObjectWithData(Data::make("garbage"), &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), CocoaErrorDomain);
  EXPECT_EQ(error->code(), CoderReadCorruptError);
  EXPECT_NE(error->localizedDescription().find("incomprehensible archive"), std::string::npos);
}

TEST(KeyedArchiver, ValuesOfTheWrongKindRaiseWhileDecoding) {
  // An ArchiveRole whose "name" holds a number.
  std::string wrongClass = archive(
      {std::string("\x0c\x0b" "ArchiveRole\x01\x04name\x02", 20), std::string("\x04\x01i\x02", 4)}, 1);
  EXPECT_NE(corruptReason(wrongClass).find("unexpected class (NSNumber)"), std::string::npos);

  // An ArchiveRole whose "level" does not fit a long.
  std::string tooLarge = archive({std::string("\x0c\x0b" "ArchiveRole\x01\x05level\x02", 21),
                                  std::string("\x04\x02Q\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", 13)},
                                 1);
  EXPECT_NE(corruptReason(tooLarge).find("too large"), std::string::npos);

  // The same value written as a plain number is fine at the top level.
  EXPECT_EQ(as<Number>(KeyedUnarchiver::unarchiveObjectWithData(Data::make(archive(
                {std::string("\x04\x02Q\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", 13)}, 1))))
                ->unsignedLongLongValue(),
            18446744073709551615ull);
}

}  // namespace
}  // namespace kit
