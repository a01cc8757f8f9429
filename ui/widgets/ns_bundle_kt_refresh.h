// The refresh kit's resources: its resource bundle "KTRefresh.bundle"
// (inside "VIROV.bundle" when the application bundle holds one), the arrow
// picture drawn as a template, and the kit's texts in the user's language
// ("en", "zh-Hans" or "zh-Hant", chosen from the first preferred language
// once per process). The application's own string table overrides the
// kit's texts; a key found nowhere reads as itself.
//
//   label->setText(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderIdleText)->utf8());
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/bundle.h"
#include "kit/foundation/string.h"
#include "kit/graphics/image.h"

class NSBundleKTRefresh {
 public:
  // Nil when the application bundle has no refresh bundle (asked again
  // then; once found it is held for the process).
  static kit::Ref<kit::Bundle> KT_refreshBundle();
  // "arrow@2x.png" of the refresh bundle, always drawn in the tint colour;
  // nil without it.
  static kit::Ref<kit::Image> KT_arrowImage();
  static std::string KT_localizedStringForKey(std::string_view key);
  static std::string KT_localizedStringForKey(std::string_view key, std::string_view value);
  // The language folder a preferred language picks: "en" for English and
  // anything unknown, "zh-Hans" for Chinese naming "Hans", else "zh-Hant".
  static std::string languageForPreferredLanguage(std::string_view language);
};
