// The store's shared helpers. See nuva_store_support.h.

#include "channel/store/nuva_store_support.h"

#include <climits>
#include <cmath>

#include "config/client_configuration.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/number.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"

kit::Ref<kit::String> NUVAStoreSupport::gameURL(std::string_view pathAndQuery) {
  return ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelGameServer, pathAndQuery);
}

kit::Ref<kit::String> NUVAStoreSupport::plistGameId() {
  kit::Ref<kit::Dictionary> plist;
  if (auto path = kit::Bundle::main()->pathForResource("NUVAPLIST", "plist")) {
    plist = kit::dictionaryWithContentsOfFile(path->utf8());
  }
  return kit::text(plist ? (*plist)["game_id"] : nullptr);
}

long NUVAStoreSupport::integerOf(const kit::Id& value) {
  if (auto text = kit::as<kit::String>(value)) return text->integerValue();
  if (auto number = kit::as<kit::Number>(value)) {
    // Whole numbers read exactly; others, like a text, are cut towards 0
    // and kept within the range of a long.
    const double d = number->doubleValue();
    if (!std::isfinite(d)) return 0;
    if (d >= 9.2e18 || d <= -9.2e18) return d > 0 ? LONG_MAX : LONG_MIN;
    return number->integerValue();
  }
  return 0;
}

double NUVAStoreSupport::doubleOf(const kit::Id& value) {
  double d = 0;
  if (auto text = kit::as<kit::String>(value)) {
    d = text->doubleValue();
  } else if (auto number = kit::as<kit::Number>(value)) {
    d = number->doubleValue();
  }
  return std::isfinite(d) ? d : 0;
}
