// Fuzzes the model mapper with outside JSON text: a reply mapped onto model
// classes with every kind of property (text, numbers, booleans, URLs,
// mutable containers, nested models, arrays of models, replaced key paths
// with indexes), then written back to key values and JSON. Mapping must
// never crash, and the same input must always give the same result.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"

namespace {

class FuzzItem : public kit::Object {
  KIT_OBJECT(FuzzItem)
 public:
  kit::Ref<kit::String> label;
  long long count = 0;
  kit::Ref<FuzzItem> next;
};
KIT_DEFINE_CLASS(FuzzItem, kit::Object) {
  cls.property("label", &FuzzItem::label, "C");
  cls.property("count", &FuzzItem::count);
  cls.property("next", &FuzzItem::next);
}

class FuzzModel : public kit::Object {
  KIT_OBJECT(FuzzModel)
 public:
  kit::Ref<kit::String> name;
  kit::Ref<kit::String> title;
  double amount = 0;
  int level = 0;
  bool on = false;
  unsigned char flag = 0;
  kit::Ref<kit::Number> score;
  kit::Ref<kit::URL> site;
  kit::Ref<kit::MutableArray> tags;
  kit::Ref<kit::MutableDictionary> extra;
  kit::Ref<kit::MutableString> note;
  kit::Id anything;
  kit::Ref<FuzzItem> item;
  kit::Ref<kit::Array> items;
  kit::Ref<kit::Array> links;
  kit::Ref<FuzzModel> parent;
};
KIT_DEFINE_CLASS(FuzzModel, kit::Object) {
  cls.property("name", &FuzzModel::name, "C");
  cls.property("title", &FuzzModel::title, "C");
  cls.property("amount", &FuzzModel::amount);
  cls.property("level", &FuzzModel::level);
  cls.property("on", &FuzzModel::on);
  cls.property("flag", &FuzzModel::flag);
  cls.property("score", &FuzzModel::score);
  cls.property("site", &FuzzModel::site);
  cls.property("tags", &FuzzModel::tags);
  cls.property("extra", &FuzzModel::extra);
  cls.property("note", &FuzzModel::note);
  cls.property("anything", &FuzzModel::anything);
  cls.property("item", &FuzzModel::item);
  cls.property("items", &FuzzModel::items);
  cls.property("links", &FuzzModel::links);
  cls.property("parent", &FuzzModel::parent);
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, [] {
    return kit::dict({{"title", "data.list[1].title"},
                      {"level", kit::array({"lv", "info.level", "lv[0]"})},
                      {"extra", "x[2][1]"}});
  });
  mx_answer(cls, MXHooks::mx_objectClassInArray, [] {
    return kit::dict({{"items", "FuzzItem"}, {"links", kit::ClassValue::make(kit::URL::staticClass())}});
  });
}

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  kit::Ref<kit::String> text = kit::String::fromUTF8Bytes(input);
  kit::Id json = kit::Data::make(input);

  kit::Id model = mx_objectWithKeyValues(FuzzModel::staticClass(), json);
  kit::Ref<kit::MutableArray> models = mx_objectArrayWithKeyValuesArray(FuzzModel::staticClass(), json);
  if (text) {
    kit::Id again = mx_objectWithKeyValues(FuzzModel::staticClass(), text);
    check((model == nullptr) == (again == nullptr));
    if (model) {
      kit::Ref<kit::String> first = mx_JSONString(model);
      kit::Ref<kit::String> second = mx_JSONString(again);
      check((first == nullptr) == (second == nullptr));
      if (first) check(first->isEqualToString(*second));
    }
  }
  if (model) {
    kit::Id keyValues = mx_keyValues(model);
    check(kit::isKind<kit::Dictionary>(keyValues));
    mx_objectWithKeyValues(FuzzModel::staticClass(), keyValues);
  }
  if (models) mx_keyValuesArrayWithObjectArray(FuzzModel::staticClass(), models);
  return 0;
}
