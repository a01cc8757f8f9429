// Dictionary-to-model mapping and back: filling properties by type, nested
// models and arrays of models, JSON inputs, replacement hooks, the error
// slot, replaced key paths when writing back, and nesting guards.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "data/model/mx_property.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/decimal_number.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"

namespace {

class MXKUser : public kit::Object {
  KIT_OBJECT(MXKUser)
 public:
  kit::Ref<kit::String> name;
  double height = 0;
  bool vip = false;
  int age = 0;
  kit::Ref<kit::URL> icon;
  kit::Ref<kit::String> homepage;
  kit::Ref<kit::MutableArray> tags;
  kit::Ref<kit::MutableDictionary> extra;
  kit::Ref<kit::MutableString> note;
  kit::Ref<kit::MutableData> blob;
  kit::Ref<kit::Array> plain;
  kit::Ref<kit::Number> score;
  kit::Id anything;
};
KIT_DEFINE_CLASS(MXKUser, kit::Object) {
  cls.property("name", &MXKUser::name, "C");
  cls.property("height", &MXKUser::height);
  cls.property("vip", &MXKUser::vip);
  cls.property("age", &MXKUser::age);
  cls.property("icon", &MXKUser::icon);
  cls.property("homepage", &MXKUser::homepage, "C");
  cls.property("tags", &MXKUser::tags);
  cls.property("extra", &MXKUser::extra);
  cls.property("note", &MXKUser::note);
  cls.property("blob", &MXKUser::blob);
  cls.property("plain", &MXKUser::plain);
  cls.property("score", &MXKUser::score);
  cls.property("anything", &MXKUser::anything);
}

class MXKStatus : public kit::Object {
  KIT_OBJECT(MXKStatus)
 public:
  kit::Ref<kit::String> text;
  kit::Ref<MXKUser> user;
  kit::Ref<kit::Array> users;
  kit::Ref<kit::Array> links;
  kit::Ref<MXKStatus> retweeted;
};
KIT_DEFINE_CLASS(MXKStatus, kit::Object) {
  cls.property("text", &MXKStatus::text, "C");
  cls.property("user", &MXKStatus::user);
  cls.property("users", &MXKStatus::users);
  cls.property("links", &MXKStatus::links);
  cls.property("retweeted", &MXKStatus::retweeted);
  mx_answer(cls, MXHooks::mx_objectClassInArray, [] {
    return kit::dict({{"users", kit::ClassValue::make(MXKUser::staticClass())},
                      {"links", kit::ClassValue::make(kit::URL::staticClass())}});
  });
}

class MXKHooked : public kit::Object {
  KIT_OBJECT(MXKHooked)
 public:
  kit::Ref<kit::String> nick;
  kit::Ref<kit::String> kept;
  kit::Ref<kit::String> plain;
  int filled = 0;
  int written = 0;
};
KIT_DEFINE_CLASS(MXKHooked, kit::Object) {
  cls.property("nick", &MXKHooked::nick, "C");
  cls.property("kept", &MXKHooked::kept, "C");
  cls.property("plain", &MXKHooked::plain, "C");
  mx_answer(cls, MXHooks::mx_newValueFromOldValue,
            [](kit::Object&, const kit::Id& oldValue, const KTProperty& property) -> kit::Id {
              if (property.nameText() == "nick") return kit::str("from the hook");
              if (property.nameText() == "kept") return nullptr;
              return oldValue;
            });
  mx_answer(cls, MXHooks::mx_keyValuesDidFinishConvertingToObject,
            [](kit::Object& o) { ++static_cast<MXKHooked&>(o).filled; });
  mx_answer(cls, MXHooks::mx_objectDidFinishConvertingToKeyValues,
            [](kit::Object& o) { ++static_cast<MXKHooked&>(o).written; });
}

class MXKPaths : public kit::Object {
  KIT_OBJECT(MXKPaths)
 public:
  kit::Ref<kit::String> name;
  kit::Ref<kit::String> third;
  kit::Ref<kit::String> city;
  kit::Ref<kit::String> broken;
  kit::Ref<kit::URL> site;
};
KIT_DEFINE_CLASS(MXKPaths, kit::Object) {
  cls.property("name", &MXKPaths::name, "C");
  cls.property("third", &MXKPaths::third, "C");
  cls.property("city", &MXKPaths::city, "C");
  cls.property("broken", &MXKPaths::broken, "C");
  cls.property("site", &MXKPaths::site);
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, [] {
    return kit::dict({{"name", "info.name"}, {"third", "list[2]"}, {"city", "info.address.city"},
                      {"broken", "info.name[1]"}});
  });
}

class MXKNode : public kit::Object {
  KIT_OBJECT(MXKNode)
 public:
  kit::Ref<kit::String> name;
  kit::Ref<MXKNode> child;
  kit::Ref<kit::Array> children;
};
KIT_DEFINE_CLASS(MXKNode, kit::Object) {
  cls.property("name", &MXKNode::name, "C");
  cls.property("child", &MXKNode::child);
  cls.property("children", &MXKNode::children);
  mx_answer(cls, MXHooks::mx_objectClassInArray, [] { return kit::dict({{"children", "MXKNode"}}); });
}

// A row of a paged list reply: strings and a double, keys equal to names.
class MXKCouponRow : public kit::Object {
  KIT_OBJECT(MXKCouponRow)
 public:
  kit::Ref<kit::String> status, gamename, av_time, use, coupon_money, pay_money;
  double face = 0;
};
KIT_DEFINE_CLASS(MXKCouponRow, kit::Object) {
  cls.property("status", &MXKCouponRow::status, "C");
  cls.property("gamename", &MXKCouponRow::gamename, "C");
  cls.property("av_time", &MXKCouponRow::av_time, "C");
  cls.property("use", &MXKCouponRow::use, "C");
  cls.property("coupon_money", &MXKCouponRow::coupon_money, "C");
  cls.property("pay_money", &MXKCouponRow::pay_money, "C");
  cls.property("face", &MXKCouponRow::face);
}

std::string errorOf(const kit::Class& cls) {
  auto error = mx_error(cls);
  return error ? error->domain() + " " + std::to_string(error->code()) : "none";
}

kit::Ref<MXKUser> user(const kit::Id& keyValues) { return mx_objectWithKeyValues<MXKUser>(keyValues); }

TEST(MXFilling, PropertiesConvertByTheirTypes) {
  auto u = user(kit::dict({{"name", "a"}, {"height", "12.5"}, {"age", 30}, {"score", "7"}}));
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(kit::describe(u->name), "a");
  EXPECT_DOUBLE_EQ(u->height, 12.5);
  EXPECT_EQ(u->age, 30);
  EXPECT_EQ(kit::describe(u->score), "7");
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "none");

  // Numbers and URLs become text for string properties; text becomes URLs.
  u = user(kit::dict({{"name", 1}, {"icon", "http://a.test/i.png"},
                      {"homepage", kit::URL::URLWithString("http://a.test/home")}}));
  EXPECT_EQ(kit::describe(u->name), "1");
  ASSERT_NE(u->icon, nullptr);
  EXPECT_EQ(u->icon->absoluteText(), "http://a.test/i.png");
  EXPECT_EQ(kit::describe(u->homepage), "http://a.test/home");

  // Text that is no number leaves a number property as it was.
  u->height = 3;
  u->score = kit::num(7);
  mx_setKeyValues(u, kit::dict({{"height", "tall"}, {"score", "many"}}));
  EXPECT_DOUBLE_EQ(u->height, 3);
  EXPECT_EQ(kit::describe(u->score), "7");
}

class MXKOrder : public kit::Object {
  KIT_OBJECT(MXKOrder)
 public:
  kit::Ref<kit::DecimalNumber> price;
  kit::Ref<kit::String> label;
};
KIT_DEFINE_CLASS(MXKOrder, kit::Object) {
  cls.property("price", &MXKOrder::price);
  cls.property("label", &MXKOrder::label, "C");
}

TEST(MXFilling, DecimalPropertiesTakeTextAndNumbersExactly) {
  auto order = [](kit::Id keyValues) { return mx_objectWithKeyValues<MXKOrder>(keyValues); };
  ASSERT_EQ(MXKOrder::staticClass().declaredProperties()[0].typeEncoding, "@\"NSDecimalNumber\"");

  // Text is read as a decimal (NaN when it holds no number), exactly.
  auto o = order(kit::dict({{"price", "8.490"}, {"label", kit::DecimalNumber::decimalNumberWithString("10.50")}}));
  ASSERT_TRUE(o->price);
  EXPECT_EQ(kit::describe(o->price), "8.49");
  EXPECT_EQ(kit::describe(o->label), "10.5");  // a decimal into text: its description
  EXPECT_EQ(kit::describe(order(kit::dict({{"price", "0.1000000000000000000000000000000000001"}}))->price),
            "0.1000000000000000000000000000000000001");
  EXPECT_TRUE(order(kit::dict({{"price", "free"}}))->price->isNaN());
  EXPECT_EQ(kit::describe(order(kit::dict({{"price", "12 yuan"}}))->price), "12");

  // A JSON number is taken at its written value, not dropped; null and
  // values of other kinds leave the property alone.
  EXPECT_EQ(kit::describe(order(kit::str(R"({"price": 19.99})"))->price), "19.99");
  EXPECT_EQ(kit::describe(order(kit::dict({{"price", 3}}))->price), "3");
  auto kept = kit::make<MXKOrder>();
  kept->price = kit::DecimalNumber::one();
  mx_setKeyValues(kept, kit::dict({{"price", kit::null()}}));
  mx_setKeyValues(kept, kit::dict({{"price", kit::array({1})}}));
  EXPECT_EQ(kit::describe(kept->price), "1");

  // Back to key values the decimal stays a decimal.
  kit::Id keyValues = mx_keyValues(o);
  EXPECT_TRUE(kit::isKind<kit::DecimalNumber>(keyValues["price"]));
  EXPECT_EQ(kit::describe(keyValues["price"]), "8.49");
  // JSON carries it as a number (the codec writes its nearest double).
  kit::Id json = mx_JSONObject(mx_JSONString(o));
  EXPECT_EQ(kit::as<kit::Number>(json["price"])->doubleValue(), 8.49);
  EXPECT_EQ(kit::describe(json["label"]), "10.5");
}

TEST(MXFilling, BooleansReadWordsAndNumbers) {
  auto vip = [](kit::Value text) {
    auto u = kit::make<MXKUser>();
    u->vip = false;
    mx_setKeyValues(u, kit::dict({{"vip", text}}));
    return u->vip;
  };
  EXPECT_TRUE(vip("YES"));
  EXPECT_TRUE(vip("True"));
  EXPECT_TRUE(vip("1"));
  EXPECT_TRUE(vip(true));
  EXPECT_FALSE(vip("0"));
  auto u = kit::make<MXKUser>();
  u->vip = true;
  mx_setKeyValues(u, kit::dict({{"vip", "no"}}));
  EXPECT_FALSE(u->vip);
  u->vip = true;
  mx_setKeyValues(u, kit::dict({{"vip", "FALSE"}}));
  EXPECT_FALSE(u->vip);
  u->vip = true;
  mx_setKeyValues(u, kit::dict({{"vip", "maybe"}}));
  EXPECT_TRUE(u->vip);  // neither a number nor a word: not assigned
}

TEST(MXFilling, ExactMutableTypesGetMutableCopies) {
  auto tags = kit::array({"a"});
  auto data = kit::Data::make(std::string_view("xy"));
  auto u = user(kit::dict({{"tags", tags}, {"extra", kit::dict({{"k", "v"}})}, {"note", "n"}, {"blob", data},
                           {"plain", kit::mutableArray({"p"})}}));
  ASSERT_NE(u->tags, nullptr);
  EXPECT_NE(kit::Id(u->tags), kit::Id(tags));
  u->tags->addObject(kit::str("b"));
  EXPECT_EQ(tags->count(), 1u);
  ASSERT_NE(u->extra, nullptr);
  u->extra->setObject(kit::str("w"), "k2");
  ASSERT_NE(u->note, nullptr);
  u->note->appendString("!");
  EXPECT_EQ(u->note->utf8(), "n!");
  ASSERT_NE(u->blob, nullptr);
  EXPECT_EQ(u->blob->toString(), "xy");
  EXPECT_EQ(u->plain->count(), 1u);
}

TEST(MXFilling, NullsAbsentKeysAndValuesOfTheWrongClassLeavePropertiesAlone) {
  auto u = kit::make<MXKUser>();
  u->name = kit::str("kept");
  u->plain = kit::array({"kept"});
  u->age = 5;
  mx_setKeyValues(u, kit::dict({{"name", kit::null()}, {"plain", "not an array"}, {"other", 1}}));
  EXPECT_EQ(kit::describe(u->name), "kept");
  EXPECT_EQ(u->plain->count(), 1u);
  EXPECT_EQ(u->age, 5);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "none");
}

TEST(MXFilling, AValueAPropertyCannotTakeSetsTheErrorAndTheRestIsFilled) {
  auto u = user(kit::dict({{"name", "a"}, {"height", kit::dict({{"x", 1}})}, {"age", 7}}));
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(kit::describe(u->name), "a");
  EXPECT_EQ(u->age, 7);
  auto error = mx_error(MXKUser::staticClass());
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code(), 250);
  EXPECT_NE(error->domain().find("height"), std::string::npos);
  // The next call on the class clears the slot.
  user(kit::dict({{"name", "b"}}));
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "none");
}

TEST(MXFilling, NestedModelsAndArraysOfModels) {
  auto status = mx_objectWithKeyValues<MXKStatus>(kit::dict({
      {"text", "hi"},
      {"user", kit::dict({{"name", "ann"}})},
      {"users", kit::array({kit::dict({{"name", "u1"}}), "dropped", kit::dict({{"name", "u2"}})})},
      {"links", kit::array({"http://a.test/1", 5, "http://a.test/2"})},
      {"retweeted", R"({"text":"inner","user":{"name":"bob"}})"},
  }));
  ASSERT_NE(status, nullptr);
  ASSERT_NE(status->user, nullptr);
  EXPECT_EQ(kit::describe(status->user->name), "ann");
  ASSERT_EQ(status->users->count(), 2u);
  EXPECT_EQ(kit::describe(kit::as<MXKUser>(status->users->objectAtIndex(1))->name), "u2");
  ASSERT_EQ(status->links->count(), 2u);
  EXPECT_EQ(kit::describe(status->links->objectAtIndex(1)), "http://a.test/2");
  // JSON text under a model-typed property becomes a nested model.
  ASSERT_NE(status->retweeted, nullptr);
  EXPECT_EQ(kit::describe(status->retweeted->text), "inner");
  EXPECT_EQ(kit::describe(status->retweeted->user->name), "bob");

  // JSON text of an array under a property with an element class.
  status = mx_objectWithKeyValues<MXKStatus>(kit::dict({{"users", R"([{"name":"j1"},{"name":"j2"}])"}}));
  ASSERT_EQ(status->users->count(), 2u);
  EXPECT_EQ(kit::describe(kit::as<MXKUser>(status->users->objectAtIndex(0))->name), "j1");

  // A text that gives no URL fails the whole links property.
  status = mx_objectWithKeyValues<MXKStatus>(kit::dict({{"text", "t"}, {"links", kit::array({"http://a.test/[x"})}}));
  EXPECT_EQ(status->links, nullptr);
  EXPECT_EQ(kit::describe(status->text), "t");
  EXPECT_NE(errorOf(MXKStatus::staticClass()), "none");
}

TEST(MXFilling, ReplacementHooksAndSetups) {
  auto hooked = mx_objectWithKeyValues<MXKHooked>(kit::dict({{"nick", "x"}, {"kept", "x"}, {"plain", "x"}}));
  ASSERT_NE(hooked, nullptr);
  EXPECT_EQ(kit::describe(hooked->nick), "from the hook");
  EXPECT_EQ(hooked->kept, nullptr);  // an answer of nil leaves the property unchanged
  EXPECT_EQ(kit::describe(hooked->plain), "x");
  EXPECT_EQ(hooked->filled, 1);
  mx_keyValues(hooked);
  EXPECT_EQ(hooked->written, 1);

  // A new-value function set up on a class applies to it and its subclasses.
  mx_setupNewValueFromOldValue(MXKUser::staticClass(),
                               [](kit::Object&, const kit::Id& old, const KTProperty& p) -> kit::Id {
                                 if (p.nameText() == "name" && old) return kit::str("<" + kit::describe(old) + ">");
                                 return old;
                               });
  EXPECT_EQ(kit::describe(user(kit::dict({{"name", "a"}}))->name), "<a>");
  mx_setupNewValueFromOldValue(MXKUser::staticClass(), nullptr);
  EXPECT_EQ(kit::describe(user(kit::dict({{"name", "a"}}))->name), "a");
}

TEST(MXInputs, JSONTextAndDataMapLikeTheParsedDictionary) {
  auto fromText = user(kit::str(R"({"name":"a","height":1.5,"vip":true})"));
  auto fromData = user(kit::Data::make(std::string_view(R"({"name":"a","height":1.5,"vip":true})")));
  for (const auto& u : {fromText, fromData}) {
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(kit::describe(u->name), "a");
    EXPECT_DOUBLE_EQ(u->height, 1.5);
    EXPECT_TRUE(u->vip);
  }
  EXPECT_EQ(user(kit::str("{not json")), nullptr);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "keyValues参数不是一个字典 250");
  EXPECT_EQ(user(kit::str("[1,2]")), nullptr);
  EXPECT_EQ(user(nullptr), nullptr);

  auto u = kit::make<MXKUser>();
  EXPECT_EQ(mx_setKeyValues(u, kit::num(3)), kit::Id(u));
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "keyValues参数不是一个字典 250");
}

TEST(MXInputs, ArraysOfModels) {
  const char* text = R"([{"name":"a"},7,{"name":"b"},[{"name":"c"}]])";
  auto fromText = mx_objectArrayWithKeyValuesArray(MXKUser::staticClass(), kit::str(text));
  auto parsed = mx_JSONObject(kit::str(text));
  auto fromArray = mx_objectArrayWithKeyValuesArray(MXKUser::staticClass(), parsed);
  for (const auto& models : {fromText, fromArray}) {
    ASSERT_NE(models, nullptr);
    ASSERT_EQ(models->count(), 3u);
    EXPECT_EQ(kit::describe(kit::as<MXKUser>(models->objectAtIndex(1))->name), "b");
    auto nested = kit::as<kit::Array>(models->objectAtIndex(2));
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(kit::describe(kit::as<MXKUser>(nested->objectAtIndex(0))->name), "c");
  }
  // The last element converted decides the error slot.
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "none");

  EXPECT_EQ(mx_objectArrayWithKeyValuesArray(MXKUser::staticClass(), kit::str("[{broken")), nullptr);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "keyValuesArray参数不是一个数组 250");

  auto copy = mx_objectArrayWithKeyValuesArray(kit::String::staticClass(), kit::array({"x", 1}));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->count(), 2u);  // a Foundation class takes the elements as they are
}

TEST(MXInputs, ARowListFromAPagedReplyMapsInOrder) {
  std::ifstream file("testdata/coupon_list_reply.json", std::ios::binary);
  ASSERT_TRUE(file.good());
  std::stringstream text;
  text << file.rdbuf();
  kit::Id reply = mx_JSONObject(kit::str(text.str()));
  auto rows = mx_objectArrayWithKeyValuesArray(MXKCouponRow::staticClass(), reply["lists"]);
  ASSERT_NE(rows, nullptr);
  ASSERT_EQ(rows->count(), 3u);
  std::vector<std::string> seen;
  for (const kit::Id& element : rows->objects()) {
    auto row = kit::as<MXKCouponRow>(element);
    ASSERT_NE(row, nullptr);
    seen.push_back(kit::describe(row->gamename) + "/" + kit::describe(row->coupon_money) + "/" +
                   kit::describe(row->pay_money) + "/" + kit::describe(row->status) + "/" +
                   kit::describe(kit::num(row->face)));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"星辰大海/10/98/0/10.5", "星辰大海/5/30/1/5", "龙之谷/20/198/0/20.25"}));
  EXPECT_EQ(kit::describe(kit::as<MXKCouponRow>(rows->objectAtIndex(0))->av_time), "2026-12-01 至 2026-12-31");
  EXPECT_EQ(errorOf(MXKCouponRow::staticClass()), "none");
}

TEST(MXInputs, PropertyListFilesAndBundleResources) {
  kit::test::TempDirectory dir("mapping");
  ASSERT_TRUE(kit::writePropertyListToFile(kit::dict({{"name", "from a file"}, {"age", 9}}), dir.file("user.plist")));
  ASSERT_TRUE(kit::writePropertyListToFile(kit::array({kit::dict({{"name", "r1"}}), kit::dict({{"name", "r2"}})}),
                                           dir.file("users.plist")));
  std::ofstream(dir.file("broken.plist")) << "<plist><dict><key>name";

  auto one = kit::as<MXKUser>(mx_objectWithFile(MXKUser::staticClass(), kit::str(dir.file("user.plist"))));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(kit::describe(one->name), "from a file");
  EXPECT_EQ(one->age, 9);
  auto many = mx_objectArrayWithFile(MXKUser::staticClass(), kit::str(dir.file("users.plist")));
  ASSERT_NE(many, nullptr);
  ASSERT_EQ(many->count(), 2u);
  EXPECT_EQ(kit::describe(kit::as<MXKUser>(many->objectAtIndex(1))->name), "r2");

  // A file that is missing, malformed or of the other shape maps to nothing.
  EXPECT_EQ(mx_objectWithFile(MXKUser::staticClass(), kit::str(dir.file("broken.plist"))), nullptr);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "keyValues参数不是一个字典 250");
  EXPECT_EQ(mx_objectArrayWithFile(MXKUser::staticClass(), kit::str(dir.file("user.plist"))), nullptr);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "keyValuesArray参数不是一个数组 250");
  EXPECT_EQ(mx_objectWithFile(MXKUser::staticClass(), nullptr), nullptr);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "file参数为nil 250");

  kit::Bundle::setMainBundlePath(dir.path());
  auto fromBundle = kit::as<MXKUser>(mx_objectWithFilename(MXKUser::staticClass(), kit::str("user.plist")));
  auto rowsFromBundle = mx_objectArrayWithFilename(MXKUser::staticClass(), kit::str("users.plist"));
  auto missing = mx_objectWithFilename(MXKUser::staticClass(), kit::str("none.plist"));
  std::string missingError = errorOf(MXKUser::staticClass());
  kit::Bundle::setMainBundlePath("");
  ASSERT_NE(fromBundle, nullptr);
  EXPECT_EQ(kit::describe(fromBundle->name), "from a file");
  ASSERT_NE(rowsFromBundle, nullptr);
  EXPECT_EQ(rowsFromBundle->count(), 2u);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(missingError, "file参数为nil 250");
  EXPECT_EQ(mx_objectArrayWithFilename(MXKUser::staticClass(), nullptr), nullptr);
  EXPECT_EQ(errorOf(MXKUser::staticClass()), "filename参数为nil 250");
}

TEST(MXWriting, ReplacedKeyPathsBuildNestedContainers) {
  auto paths = kit::make<MXKPaths>();
  paths->name = kit::str("n");
  paths->third = kit::str("t");
  paths->city = kit::str("c");
  paths->site = kit::URL::URLWithString("http://a.test/s");
  kit::Id out = mx_keyValues(paths);
  ASSERT_TRUE(kit::isKind<kit::Dictionary>(out));
  EXPECT_EQ(kit::describe(out["info"]["name"]), "n");
  EXPECT_EQ(kit::describe(out["info"]["address"]["city"]), "c");
  auto list = kit::as<kit::MutableArray>(out["list"]);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3u);
  EXPECT_TRUE(kit::isNull(list->objectAtIndex(0)));
  EXPECT_TRUE(kit::isNull(list->objectAtIndex(1)));
  EXPECT_EQ(kit::describe(list->objectAtIndex(2)), "t");
  EXPECT_EQ(kit::describe(out["site"]), "http://a.test/s");

  // Mapping the dictionary back reads the same key paths.
  auto again = mx_objectWithKeyValues<MXKPaths>(out);
  EXPECT_EQ(kit::describe(again->name), "n");
  EXPECT_EQ(kit::describe(again->third), "t");
  EXPECT_EQ(kit::describe(again->city), "c");
  EXPECT_EQ(again->site->absoluteText(), "http://a.test/s");

  // A key path that stores by index into a string fails that property only.
  paths->broken = kit::str("b");
  out = mx_keyValues(paths);
  EXPECT_EQ(kit::describe(out["info"]["name"]), "n");
  EXPECT_EQ(kit::as<kit::Dictionary>(out)->count(), 3u);
  EXPECT_NE(errorOf(MXKPaths::staticClass()), "none");
  paths->broken = nullptr;

  // With the flag off, values go under the property names.
  mx_referenceReplacedKeyWhenCreatingKeyValues(MXKPaths::staticClass(), false);
  EXPECT_FALSE(mx_isReferenceReplacedKeyWhenCreatingKeyValues(MXKPaths::staticClass()));
  out = mx_keyValues(paths);
  EXPECT_EQ(kit::describe(out["name"]), "n");
  EXPECT_EQ(kit::describe(out["third"]), "t");
  EXPECT_EQ(out["info"], nullptr);
  mx_referenceReplacedKeyWhenCreatingKeyValues(MXKPaths::staticClass(), true);
  EXPECT_TRUE(mx_isReferenceReplacedKeyWhenCreatingKeyValues(MXKUser::staticClass()));  // from the root
}

TEST(MXWriting, NestedModelsAndJSON) {
  auto status = mx_objectWithKeyValues<MXKStatus>(kit::dict({
      {"text", "hi"},
      {"user", kit::dict({{"name", "ann"}, {"height", 1.5}})},
      {"users", kit::array({kit::dict({{"name", "u1"}})})},
  }));
  kit::Ref<kit::String> json = mx_JSONString(status);
  ASSERT_NE(json, nullptr);
  auto round = mx_objectWithKeyValues<MXKStatus>(json);
  ASSERT_NE(round, nullptr);
  EXPECT_EQ(kit::describe(round->text), "hi");
  EXPECT_EQ(kit::describe(round->user->name), "ann");
  EXPECT_DOUBLE_EQ(round->user->height, 1.5);
  EXPECT_EQ(kit::describe(kit::as<MXKUser>(round->users->objectAtIndex(0))->name), "u1");

  auto dictionaries = mx_keyValuesArrayWithObjectArray(kit::Object::staticClass(), kit::array({status, "x"}));
  ASSERT_EQ(dictionaries->count(), 2u);
  EXPECT_EQ(kit::describe(dictionaries->objectAtIndex(1)), "x");
  EXPECT_EQ(mx_keyValuesArrayWithObjectArray(MXKStatus::staticClass(), kit::str("x")), nullptr);
  EXPECT_EQ(errorOf(MXKStatus::staticClass()), "objectArray参数不是一个数组 250");

  EXPECT_EQ(mx_JSONString(kit::str("as is"))->utf8(), "as is");
  EXPECT_EQ(mx_JSONString(kit::Data::make(std::string_view("[1]")))->utf8(), "[1]");
  EXPECT_EQ(mx_JSONData(kit::dict({{"a", kit::make<MXKUser>()}})), nullptr);  // not representable
  EXPECT_EQ(mx_JSONObject(kit::str("nope")), nullptr);
}

TEST(MXNesting, AModelThatContainsItselfStopsWithAnError) {
  auto node = kit::make<MXKNode>();
  node->name = kit::str("loop");
  node->child = node;
  kit::Id out = mx_keyValues(node);
  ASSERT_TRUE(kit::isKind<kit::Dictionary>(out));
  EXPECT_EQ(kit::describe(out["name"]), "loop");
  EXPECT_EQ(errorOf(MXKNode::staticClass()), std::string(MXErrorNestedTooDeep) + " 250");
  node->child = nullptr;  // break the cycle

  auto ring = kit::make<MXKNode>();
  ring->children = kit::array({ring});
  mx_keyValues(ring);
  EXPECT_EQ(errorOf(MXKNode::staticClass()), std::string(MXErrorNestedTooDeep) + " 250");
  ring->children = nullptr;
}

TEST(MXNesting, ADictionaryThatContainsItselfStopsWithAnError) {
  auto looped = kit::mutableDict({{"name", "d"}});
  looped->setObject(looped, "child");
  auto node = mx_objectWithKeyValues<MXKNode>(looped);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(kit::describe(node->name), "d");
  int depth = 0;
  for (auto n = node; n; n = n->child) ++depth;
  EXPECT_EQ(depth, MXMaximumNesting);
  EXPECT_EQ(errorOf(MXKNode::staticClass()), std::string(MXErrorNestedTooDeep) + " 250");

  auto list = kit::mutableArray({});
  list->addObject(list);
  auto nestedLists = mx_objectArrayWithKeyValuesArray(MXKNode::staticClass(), list);
  ASSERT_NE(nestedLists, nullptr);
  EXPECT_EQ(nestedLists->count(), 1u);  // arrays within arrays, cut off at the limit
  EXPECT_EQ(errorOf(MXKNode::staticClass()), std::string(MXErrorNestedTooDeep) + " 250");

  looped->removeObjectForKey("child");  // break the cycles
  list->removeAllObjects();
  // Deep but finite graphs within the limit map completely.
  kit::Id nested = kit::dict({{"name", "leaf"}});
  for (int i = 0; i < MXMaximumNesting - 2; ++i) nested = kit::dict({{"child", nested}});
  auto deep = mx_objectWithKeyValues<MXKNode>(nested);
  for (int i = 0; i < MXMaximumNesting - 2; ++i) deep = deep->child;
  EXPECT_EQ(kit::describe(deep->name), "leaf");
  EXPECT_EQ(errorOf(MXKNode::staticClass()), "none");
}

}  // namespace
