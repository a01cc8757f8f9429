// The store's signed orders. See nuva_store_order.h.

#include "channel/store/nuva_store_order.h"

#include <string>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_store_support.h"
#include "kit/foundation/error.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "platform/base/log_redaction.h"
#include "ui/widgets/nuva_progress_hud.h"

NUVAStoreOrder::Role NUVAStoreOrder::roleOf(const kit::Ref<kit::String>& userInfo) {
  kit::Id description = kit::as<kit::Dictionary>(NUVADataFormat::dictionaryWithJsonString(userInfo));
  return Role{kit::text(description["super_user_id"]), kit::text(description["game_id"]),
              kit::text(description["service_id"]),    kit::text(description["service_name"]),
              kit::text(description["super_role_id"]), kit::text(description["role_name"])};
}

kit::Ref<kit::String> NUVAStoreOrder::remarkOf(const kit::Id& goodId, const std::vector<kit::Id>& itemIds) {
  std::string remark = kit::describe(goodId);
  for (const kit::Id& id : itemIds) remark += "|" + kit::describe(id);
  size_t fields = 1;
  for (char c : remark) fields += c == '|';
  for (; fields < kRemarkFields; ++fields) remark += "|0";
  return kit::str(remark);
}

kit::Ref<kit::Dictionary> NUVAStoreOrder::giftOrderForm(const Role& role, const kit::Id& goodId,
                                                        const kit::Ref<kit::String>& remark,
                                                        const kit::Ref<kit::String>& random) {
  auto good = kit::text(goodId);
  auto sign = NUVADataFormat::NUVAMD5WithNSString(role.super_user_id->utf8() + role.game_id->utf8() +
                                                  role.service_id->utf8() + role.super_role_id->utf8() +
                                                  good->utf8() + remark->utf8() + random->utf8() +
                                                  NUVAOrderSigningKey);
  return kit::dict({{"super_user_id", role.super_user_id},
                    {"game_id", role.game_id},
                    {"service_id", role.service_id},
                    {"service_name", role.service_name},
                    {"role_id", role.super_role_id},
                    {"role_name", role.role_name},
                    {"good_id", good},
                    {"remark", remark},
                    {"random", random},
                    {"sign", sign}});
}

kit::Ref<kit::Dictionary> NUVAStoreOrder::levelOrderForm(const Role& role, const kit::Id& goodId,
                                                         const kit::Ref<kit::String>& random) {
  auto good = kit::text(goodId);
  auto sign = NUVADataFormat::NUVAMD5WithNSString(role.super_user_id->utf8() + role.game_id->utf8() +
                                                  role.service_id->utf8() + role.super_role_id->utf8() +
                                                  good->utf8() + random->utf8() + NUVAOrderSigningKey);
  return kit::dict({{"super_user_id", role.super_user_id},
                    {"game_id", role.game_id},
                    {"service_id", role.service_id},
                    {"service_name", role.service_name},
                    {"role_id", role.super_role_id},
                    {"role_name", role.role_name},
                    {"good_id", good},
                    {"random", random},
                    {"sign", sign}});
}

kit::Expected<kit::Ref<kit::Dictionary>> NUVAStoreOrder::orderOf(const kit::Id& answer, const Goods& goods) {
  // A refusal without a readable message reads as a failed request.
  std::string message = kit::readableText(answer["msg"]);
  if (message.empty()) message = NUVANetworkManager::unknownErrorText()->utf8();
  if (!NUVAGameReply::isSuccess(answer)) return kit::unexpected(kErrorDomain, Refused, message);
  kit::Id data = answer["data"];
  // An order the server did not number cannot be paid.
  if (!NUVADataFormat::isUsableId(data["order_id"])) {
    return kit::unexpected(kErrorDomain, NoOrderId, message);
  }
  return kit::dict({{"good_name", kit::text(goods.good_name)},
                    {"good_id", kit::text(goods.good_id)},
                    {"order_id", kit::text(data["order_id"])},
                    {"remark", kit::text(data["remark"])},
                    {"money", kit::text(goods.money)}});
}

void NUVAStoreOrder::place(std::string_view path, const kit::Ref<kit::Dictionary>& form, Goods goods,
                           const char* notificationName) {
  const std::string name = notificationName;
  const std::string route(path);
  NUVANetworkManager::PostWithURL(
      NUVAStoreSupport::gameURL(path), form,
      [goods = std::move(goods), name, route](kit::Id answer) {
        kit::log("%s: %@", route.c_str(), LogRedaction::redacted(answer));
        auto order = orderOf(answer, goods);
        if (!order) {
          NUVAProgressHUD::showErrorWithStatus(kit::str(order.error()->localizedDescription()));
          return;
        }
        kit::NotificationCenter::defaultCenter()->postNotificationName(name, *order);
      },
      [route](kit::Ref<kit::String> error) { kit::log("%s failed: %@", route.c_str(), error); });
}
