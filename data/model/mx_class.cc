// Class walks, name-list setups and the cached totals.

#include "data/model/mx_class.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "data/model/kt_foundation.h"
#include "kit/foundation/format.h"

namespace {

struct TotalsCache {
  std::mutex mutex;
  std::unordered_map<const kit::Class*, std::shared_ptr<const MXNameTotal>> byClass[MXNameListCount];
  uint64_t generation[MXNameListCount] = {};
};

TotalsCache& totals() {
  static auto* cache = new TotalsCache;  // lives for the process
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

void mx_setupAllowedPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  setupNames(cls, setup, MXNameList::Allowed);
}
void mx_setupIgnoredPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  setupNames(cls, setup, MXNameList::Ignored);
}
void mx_setupAllowedCodingPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  setupNames(cls, setup, MXNameList::AllowedCoding);
}
void mx_setupIgnoredCodingPropertyNames(const kit::Class& cls, const MXNamesSetup& setup) {
  setupNames(cls, setup, MXNameList::IgnoredCoding);
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
