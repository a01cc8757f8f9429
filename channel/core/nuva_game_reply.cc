// Reading the channel game server's answers. See nuva_game_reply.h.

#include "channel/core/nuva_game_reply.h"

#include <cmath>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_store_records.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/values.h"

namespace {

// A time as kept: nil when missing or null, else its "%@" text (a number
// becomes its decimal text).
kit::Ref<kit::String> timeValue(const kit::Id& value) {
  if (!value || kit::isKind<kit::Null>(value)) return nullptr;
  return kit::text(value);
}

}  // namespace

bool NUVAGameReply::isSuccess(const kit::Id& answer) { return kit::describe(answer["status"]) == "200"; }

NUVAGameReply::Menu NUVAGameReply::menu(const kit::Id& answer) {
  Menu menu;
  menu.ids = listOf(answer["data"]);
  kit::Id time = answer["time"];
  if (NUVADataFormat::isBlankDictionary(time)) return menu;
  menu.hasTimes = true;
  menu.time_shop_refresh = timeValue(time["time_shop_refresh"]);
  menu.luck_time = timeValue(time["luck_time"]);
  menu.day_time = timeValue(time["day_time"]);
  menu.active_time = timeValue(time["active_time"]);
  menu.shop_time = timeValue(time["shop_time"]);
  kit::Id levels = time["level_list"];
  menu.replacesLevelList = !kit::isKind<kit::String>(levels);
  menu.levelList = listOf(levels);
  return menu;
}

double NUVAGameReply::seconds(const kit::Ref<kit::String>& time) {
  double value = time ? time->doubleValue() : 0;
  return std::isfinite(value) ? value : 0;
}

kit::Ref<kit::MutableArray> NUVAGameReply::listOf(const kit::Id& value) {
  auto copy = kit::MutableArray::make();
  if (auto array = kit::as<kit::Array>(value)) copy->addObjectsFromArray(*array);
  return copy;
}

kit::Ref<kit::MutableArray> NUVAGameReply::mergedClaimStatus(const kit::Ref<kit::Array>& goods, const kit::Id& answer,
                                                             bool vip) {
  auto claims = kit::as<kit::Dictionary>(answer);
  auto merged = kit::MutableArray::make();
  if (!goods) return merged;
  for (const auto& category : *goods) {
    auto items = kit::MutableArray::make();
    if (auto list = kit::as<kit::Array>(category)) {
      for (const auto& entry : *list) {
        auto item = kit::as<kit::Dictionary>(entry);
        if (!item) continue;
        kit::Ref<kit::Object> model;
        if (vip) {
          model = NUVAVIPModel::make();
        } else {
          model = NUVAGMModel::make();
        }
        model->setValuesForKeysWithDictionary(item);
        kit::Id categoryId = model->valueForKey("categoryid");
        if (claims && kit::isSet(categoryId)) {
          const std::string id = kit::describe(categoryId);
          for (const auto& [key, value] : claims->entries()) {
            if (kit::describe(key) == id) {
              model->setValueForKey("status", value);
              break;
            }
          }
        }
        auto copy = kit::MutableDictionary::make();
        copy->addEntriesFromDictionary(*item);
        kit::Id status = model->valueForKey("status");
        if (status) {
          copy->setObject(status, "status");
        } else {
          copy->removeObjectForKey("status");
        }
        items->addObject(copy);
      }
    }
    merged->addObject(items);
  }
  return merged;
}
