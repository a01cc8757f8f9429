// The refresh kit's resource bundle, arrow and texts. See
// ns_bundle_kt_refresh.h.
#include "ui/widgets/ns_bundle_kt_refresh.h"

#include <mutex>

#include "platform/base/ns_string_url_encode.h"
#include "kit/foundation/no_destructor.h"

namespace {

std::mutex& resourcesMutex() {
  static kit::NoDestructor<std::mutex> m;
  return *m;
}

kit::Ref<kit::Bundle>& heldRefreshBundle() {
  static kit::NoDestructor<kit::Ref<kit::Bundle>> bundle;
  return *bundle;
}

kit::Ref<kit::Bundle> refreshBundleLocked() {
  auto& bundle = heldRefreshBundle();
  if (!bundle) {
    kit::Ref<kit::String> path =
        kit::Bundle::main()->pathForResource(NSStringURLEncode::getImagePath("KTRefresh"), "bundle");
    if (path) bundle = kit::Bundle::bundleWithPath(path->utf8());
  }
  return bundle;
}

}  // namespace

kit::Ref<kit::Bundle> NSBundleKTRefresh::KT_refreshBundle() {
  std::lock_guard lock(resourcesMutex());
  return refreshBundleLocked();
}

kit::Ref<kit::Image> NSBundleKTRefresh::KT_arrowImage() {
  std::lock_guard lock(resourcesMutex());
  static kit::NoDestructor<kit::Ref<kit::Image>> held;
  kit::Ref<kit::Image>& arrow = *held;
  if (!arrow) {
    auto bundle = refreshBundleLocked();
    kit::Ref<kit::String> path = bundle ? bundle->pathForResource("arrow@2x", "png") : nullptr;
    kit::Ref<kit::Image> image = path ? kit::Image::withContentsOfFile(path->utf8()) : nullptr;
    if (image) arrow = image->withRenderingMode(kit::ImageRenderingMode::AlwaysTemplate);
  }
  return arrow;
}

std::string NSBundleKTRefresh::languageForPreferredLanguage(std::string_view language) {
  if (language.starts_with("en")) return "en";
  if (language.starts_with("zh")) return language.find("Hans") != std::string_view::npos ? "zh-Hans" : "zh-Hant";
  return "en";
}

std::string NSBundleKTRefresh::KT_localizedStringForKey(std::string_view key) {
  return KT_localizedStringForKey(key, {});
}

std::string NSBundleKTRefresh::KT_localizedStringForKey(std::string_view key, std::string_view value) {
  kit::Ref<kit::Bundle> languageBundle;
  {
    std::lock_guard lock(resourcesMutex());
    static kit::NoDestructor<kit::Ref<kit::Bundle>> slot;
    kit::Ref<kit::Bundle>& held = *slot;
    if (!held) {
      const auto preferred = kit::Bundle::preferredLanguages();
      const std::string language = languageForPreferredLanguage(preferred.empty() ? "" : preferred.front());
      auto bundle = refreshBundleLocked();
      kit::Ref<kit::String> path = bundle ? bundle->pathForResource(language, "lproj") : nullptr;
      if (path) held = kit::Bundle::bundleWithPath(path->utf8());
    }
    languageBundle = held;
  }
  std::string text(value);
  if (languageBundle) {
    text = languageBundle->localizedStringForKey(key, value)->utf8();
  } else if (text.empty()) {
    text = std::string(key);
  }
  return kit::Bundle::main()->localizedStringForKey(key, text)->utf8();
}
