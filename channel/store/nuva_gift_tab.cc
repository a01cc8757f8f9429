// The GM and VIP tabs' differences. See nuva_gift_tab.h.

#include "channel/store/nuva_gift_tab.h"

#include "kit/foundation/dictionary.h"
#include "kit/foundation/values.h"

const NUVAGiftTab& NUVAGiftTab::gm() {
  static const NUVAGiftTab tab{
      .name = "GM",
      .titleKey = "gm_name",
      .groupKey = "gm_id",
      .privilegeKey = "gm_desc",
      .menuCell = "NUVAGMMenuCell",
      .detailCell = "NUVAGMDetailCell",
      .whiteMenu = true,
      .whiteGrid = false,
      .categoryNotification = "CloumnCategoryDataWillLoad",
      .descNotification = "DescCategoryDataWillLoad",
      .successNotification = "SuccessGetNotification",
      .claimPath = "gmstore/index",
      .makeRecord = [] { return kit::Ref<NUVAStoreRecord>(NUVAGMModel::make()); },
      // Anything but "0", a missing status too, counts as claimed.
      .badged = [](const kit::Id& status) { return kit::describe(status) != "0"; },
  };
  return tab;
}

const NUVAGiftTab& NUVAGiftTab::vip() {
  static const NUVAGiftTab tab{
      .name = "VIP",
      .titleKey = "vip_name",
      .groupKey = "vip_id",
      .privilegeKey = "vip_desc",
      .menuCell = "NUVAVIPMenuCell",
      .detailCell = "NUVAVIPDetailCell",
      .whiteMenu = false,
      .whiteGrid = true,
      .categoryNotification = "VIPCloumnCategoryDataWillLoad",
      .descNotification = "VIPDescCategoryDataWillLoad",
      .successNotification = "VIPSuccessGetNotification",
      .claimPath = "vipstore/index",
      .makeRecord = [] { return kit::Ref<NUVAStoreRecord>(NUVAVIPModel::make()); },
      .badged = [](const kit::Id& status) { return kit::describe(status) == "1"; },
  };
  return tab;
}

kit::Ref<NUVAStoreRecord> NUVAGiftTab::record(const kit::Id& gift) const {
  auto made = makeRecord();
  if (auto values = kit::as<kit::Dictionary>(gift)) made->setValuesForKeysWithDictionary(values);
  return made;
}

std::string NUVAGiftTab::text(const kit::Ref<NUVAStoreRecord>& record, const char* key) {
  return kit::describe(record ? record->valueForKey(key) : nullptr);
}
