// Class walks, name-list setups and the cached totals.

#include "data/model/mx_class.h"

#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "data/model/kt_foundation.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"

namespace {

struct TotalsCache {
  std::mutex mutex;
  std::unordered_map<const kit::Class*, std::shared_ptr<const MXNameTotal>> byClass[MXNameListCount];
  uint64_t generation[MXNameListCount] = {};
};

TotalsCache& totals() {
  static kit::NoDestructor<TotalsCache> cache;
  return *cache;
}

const MXHook<MXNamesHook>& hookOf(MXNameList list) {
  static const MXHook<MXNamesHook> hooks[MXNameListCount] = {
      MXHooks::mx_allowedPropertyNames,
      MXHooks::mx_ignoredPropertyNames,
      MXHooks::mx_allowedCodingPropertyNames,
      MXHooks::mx_ignoredCodingPropertyNames,
  };
  return hooks[static_cast<int>(list)];
}

// The name list kept under `key`, if it is one of the four.
std::optional<MXNameList> listOfKey(std::string_view key) {
  static const std::pair<std::string_view, MXNameList> keys[] = {
      {MXAllowedPropertyNamesKey, MXNameList::Allowed},
      {MXIgnoredPropertyNamesKey, MXNameList::Ignored},
      {MXAllowedCodingPropertyNamesKey, MXNameList::AllowedCoding},
      {MXIgnoredCodingPropertyNamesKey, MXNameList::IgnoredCoding},
  };
  for (const auto& [name, list] : keys) {
    if (name == key) return list;
  }
  return std::nullopt;
}

// Values set up under other keys, and the totals made from them (keyed by
// key, then selector), guarded together.
struct GenericSettings {
  std::mutex mutex;
  std::map<std::string, std::unordered_map<const kit::Class*, kit::Id>, std::less<>> values;
  std::map<std::pair<std::string, std::string>, std::unordered_map<const kit::Class*, kit::Ref<kit::Array>>> totals;
  uint64_t generation = 0;
};

GenericSettings& generic() {
  static kit::NoDestructor<GenericSettings> settings;
  return *settings;
}

void appendAll(std::vector<kit::Id>& out, const kit::Ref<kit::Array>& names) {
  if (!names) return;
  for (const kit::Id& name : names->objects()) out.push_back(name);
}

void setupNames(const kit::Class& cls, const MXNamesSetup& setup, MXNameList list) {
  kit::Ref<kit::Array> answer = setup ? setup() : nullptr;
  if (answer) answer = kit::as<kit::Array>(answer->copy());
  mx_settings::update(cls, [&](MXClassSettings& settings) { settings.names[static_cast<int>(list)] = answer; });
  TotalsCache& cache = totals();
  std::unordered_map<const kit::Class*, std::shared_ptr<const MXNameTotal>> dropped;
  std::lock_guard lock(cache.mutex);
  dropped.swap(cache.byClass[static_cast<int>(list)]);
  ++cache.generation[static_cast<int>(list)];
}

}  // namespace

void mx_enumerateClasses(const kit::Class& cls, const MXClassesEnumeration& enumeration) {
  if (!enumeration) return;
  bool stop = false;
  for (const kit::Class* c = &cls; c; c = c->superclass()) {
    enumeration(*c, &stop);
    if (stop) return;
    const kit::Class* super = c->superclass();
    if (!super || KTFoundation::isClassFromFoundation(super)) return;
  }
}

void mx_enumerateAllClasses(const kit::Class& cls, const MXClassesEnumeration& enumeration) {
  if (!enumeration) return;
  mx_settings::walkAll(cls, enumeration);
}

namespace {
MXValueSetup valueSetup(const MXNamesSetup& setup) {
  return setup ? MXValueSetup([&setup] { return kit::Id(setup()); }) : MXValueSetup();
}
}  // namespace

void mx_setupAllowedPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  mx_setupBlockReturnValue(cls, valueSetup(setup), MXAllowedPropertyNamesKey);
}
void mx_setupIgnoredPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  mx_setupBlockReturnValue(cls, valueSetup(setup), MXIgnoredPropertyNamesKey);
}
void mx_setupAllowedCodingPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  mx_setupBlockReturnValue(cls, valueSetup(setup), MXAllowedCodingPropertyNamesKey);
}
void mx_setupIgnoredCodingPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  mx_setupBlockReturnValue(cls, valueSetup(setup), MXIgnoredCodingPropertyNamesKey);
}

void mx_setupBlockReturnValue(const kit::Class& cls, const MXValueSetup& setup, std::string_view key) {
  if (auto list = listOfKey(key)) {
    setupNames(cls, setup ? MXNamesSetup([&] { return kit::as<kit::Array>(setup()); }) : MXNamesSetup(), *list);
  } else {
    kit::Id answer = setup ? setup() : nullptr;
    GenericSettings& settings = generic();
    kit::Id old;  // released outside the lock
    std::lock_guard lock(settings.mutex);
    auto& byClass = settings.values[std::string(key)];
    old = byClass[&cls];
    if (answer) byClass[&cls] = answer;
    else byClass.erase(&cls);
  }
  // Totals of any key may have read this one's values.
  GenericSettings& settings = generic();
  decltype(settings.totals) dropped;
  std::lock_guard lock(settings.mutex);
  dropped.swap(settings.totals);
  ++settings.generation;
}

kit::Id mx_setupValueForKey(const kit::Class& cls, std::string_view key) {
  if (auto list = listOfKey(key)) return mx_settings::of(cls).names[static_cast<int>(*list)];
  GenericSettings& settings = generic();
  std::lock_guard lock(settings.mutex);
  auto values = settings.values.find(key);
  if (values == settings.values.end()) return nullptr;
  auto it = values->second.find(&cls);
  return it == values->second.end() ? nullptr : it->second;
}

kit::Ref<kit::MutableArray> mx_totalObjectsWithSelector(const kit::Class& cls, std::string_view selector,
                                                        std::string_view key) {
  // A name list asked for with its own hook is the list's total.
  auto list = listOfKey(key);
  if (list && selector == hookOf(*list).name) {
    return kit::as<kit::MutableArray>(mx_totalNames(cls, *list)->names->mutableCopy());
  }
  GenericSettings& settings = generic();
  const std::pair<std::string, std::string> slot{std::string(key), std::string(selector)};
  uint64_t generation;
  {
    std::lock_guard lock(settings.mutex);
    auto totals = settings.totals.find(slot);
    if (totals != settings.totals.end()) {
      auto it = totals->second.find(&cls);
      if (it != totals->second.end()) return kit::as<kit::MutableArray>(it->second->mutableCopy());
    }
    generation = settings.generation;
  }
  // Built outside the lock: the hook is model code.
  std::vector<kit::Id> objects;
  if (const MXNamesHook* hook = mx_hook(cls, MXHook<MXNamesHook>{slot.second.c_str()})) appendAll(objects, (*hook)());
  mx_enumerateAllClasses(cls, [&](const kit::Class& c, bool*) {
    appendAll(objects, kit::as<kit::Array>(mx_setupValueForKey(c, key)));
  });
  auto total = kit::Array::make(std::move(objects));
  std::lock_guard lock(settings.mutex);
  if (settings.generation == generation) settings.totals[slot][&cls] = total;
  return kit::as<kit::MutableArray>(total->mutableCopy());
}

std::shared_ptr<const MXNameTotal> mx_totalNames(const kit::Class& cls, MXNameList list) {
  const int slot = static_cast<int>(list);
  TotalsCache& cache = totals();
  uint64_t generation;
  {
    std::lock_guard lock(cache.mutex);
    auto it = cache.byClass[slot].find(&cls);
    if (it != cache.byClass[slot].end()) return it->second;
    generation = cache.generation[slot];
  }

  // Built outside the lock: the hook is model code and may map again.
  std::vector<kit::Id> names;
  if (const MXNamesHook* hook = mx_hook(cls, hookOf(list))) appendAll(names, (*hook)());
  mx_enumerateAllClasses(cls, [&](const kit::Class& c, bool*) { appendAll(names, mx_settings::of(c).names[slot]); });
  auto total = std::make_shared<MXNameTotal>();
  for (const kit::Id& name : names) total->lookup.insert(kit::describe(name));
  total->names = kit::Array::make(std::move(names));

  std::lock_guard lock(cache.mutex);
  if (cache.generation[slot] != generation) return total;  // set up again meanwhile: do not cache
  return cache.byClass[slot].emplace(&cls, std::move(total)).first->second;
}

kit::Ref<kit::Array> mx_totalAllowedPropertyNames(const kit::Class& cls) {
  return mx_totalNames(cls, MXNameList::Allowed)->names;
}
kit::Ref<kit::Array> mx_totalIgnoredPropertyNames(const kit::Class& cls) {
  return mx_totalNames(cls, MXNameList::Ignored)->names;
}
kit::Ref<kit::Array> mx_totalAllowedCodingPropertyNames(const kit::Class& cls) {
  return mx_totalNames(cls, MXNameList::AllowedCoding)->names;
}
kit::Ref<kit::Array> mx_totalIgnoredCodingPropertyNames(const kit::Class& cls) {
  return mx_totalNames(cls, MXNameList::IgnoredCoding)->names;
}
