// String transforms through ICU transliterators.

#include "kit/foundation/string_transform.h"
#include "kit/foundation/no_destructor.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kit {
namespace {

// Building a transliterator parses its rules, which is slow, so each one is
// built once and cloned for every use (a clone may be used on any thread).
std::unique_ptr<icu::Transliterator> transliterator(std::string_view id, bool reverse) {
  // Never destroyed: a worker thread may transform text while the process exits.
  static NoDestructor<std::mutex> mutex;
  static NoDestructor<std::map<std::pair<std::string, bool>, std::unique_ptr<icu::Transliterator>>> slot;
  auto& cache = *slot;
  std::lock_guard lock(*mutex);
  auto key = std::make_pair(std::string(id), reverse);
  auto it = cache.find(key);
  if (it == cache.end()) {
    UParseError parseError;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(icu::Transliterator::createInstance(
        icu::UnicodeString::fromUTF8(icu::StringPiece(id.data(), static_cast<int32_t>(id.size()))),
        reverse ? UTRANS_REVERSE : UTRANS_FORWARD, parseError, status));
    if (U_FAILURE(status) || !made) return nullptr;  // unknown identifiers are not kept
    it = cache.emplace(std::move(key), std::move(made)).first;
  }
  return std::unique_ptr<icu::Transliterator>(it->second->clone());
}

}  // namespace

Ref<String> stringByApplyingTransform(const String& text, std::string_view transform, bool reverse) {
  auto t = transliterator(transform, reverse);
  if (!t) return nullptr;
  std::u16string units = text.utf16();
  icu::UnicodeString s(reinterpret_cast<const UChar*>(units.data()), static_cast<int32_t>(units.size()));
  t->transliterate(s);
  return String::fromUTF16(std::u16string_view(reinterpret_cast<const char16_t*>(s.getBuffer()),
                                               static_cast<size_t>(s.length())));
}

Ref<String> asciiTransliteration(const String& text) {
  return stringByApplyingTransform(text, "Any-Latin; Latin-ASCII");
}

}  // namespace kit
