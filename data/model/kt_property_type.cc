// Classification of type encodings and the process-wide type cache.

#include "data/model/kt_property_type.h"

#include <cctype>
#include <mutex>
#include <unordered_map>

#include "data/model/kt_foundation.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"

KIT_DEFINE_CLASS(KTPropertyType, kit::Object) {}

namespace {

struct TypeCache {
  std::mutex mutex;
  std::unordered_map<std::string, kit::Ref<KTPropertyType>> byCode;
};

TypeCache& typeCache() {
  static kit::NoDestructor<TypeCache> cache;
  return *cache;
}

}  // namespace

kit::Ref<KTPropertyType> KTPropertyType::cachedTypeWithCode(const kit::Ref<kit::String>& code) {
  if (!code) return nullptr;
  return cachedTypeWithCode(std::string_view(code->utf8()));
}

kit::Ref<KTPropertyType> KTPropertyType::cachedTypeWithCode(std::string_view code) {
  TypeCache& cache = typeCache();
  std::string key(code);
  {
    std::lock_guard lock(cache.mutex);
    auto it = cache.byCode.find(key);
    if (it != cache.byCode.end()) return it->second;
  }
  // Classified outside the lock (it asks the runtime registry); when two
  // threads race, the first descriptor stored is the one everybody shares.
  auto type = kit::make<KTPropertyType>();
  type->setCode(kit::str(code));
  std::lock_guard lock(cache.mutex);
  return cache.byCode.emplace(std::move(key), type).first->second;
}

void KTPropertyType::setCode(const kit::Ref<kit::String>& code) {
  code_ = code;
  codeText_.clear();
  idType_ = numberType_ = boolType_ = fromFoundation_ = KVCDisabled_ = false;
  typeClass_ = nullptr;
  if (!code) return;

  std::string text = code->utf8();
  if (text == "@") {
    idType_ = true;
  } else if (text.empty()) {
    KVCDisabled_ = true;
  } else if (text.size() >= 4 && text.starts_with("@\"")) {
    text = text.substr(2, text.size() - 3);
    code_ = kit::str(text);
    typeClass_ = kit::Class::named(text);
    fromFoundation_ = KTFoundation::isClassFromFoundation(typeClass_);
    numberType_ = typeClass_ && typeClass_->isSubclassOf(kit::Number::staticClass());
  } else if (text == ":" || text == "^{objc_ivar=}" || text == "^{objc_method=}") {
    KVCDisabled_ = true;
  }
  codeText_ = text;

  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::string_view numbers[] = {"i", "s", "c", "b", "f", "d", "l", "q"};
  for (std::string_view n : numbers) {
    if (lower == n) numberType_ = true;
  }
  if (lower == "c" || lower == "b") boolType_ = true;
}

std::string KTPropertyType::description() const {
  return "<KTPropertyType " + codeText_ + ">";
}
