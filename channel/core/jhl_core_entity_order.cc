// The channel core's orders, payment results and logout: check an order
// against the last role report, post it signed to "order/index", open the
// platform pay sheet for an accepted order, report how its payment ended,
// and reset the role state at logout. See jhl_core_entity.h.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "ui/widgets/nuva_progress_hud.h"

void JHLCoreEntity::nuva_superOrder(const kit::Ref<kit::String>& orderJSON) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id input = dictionaryWithJsonString(orderJSON);
  auto field = [&input](const char* key) { return NUVADataFormat::textOfValue(input[key]); };
  auto goodId = field("good_id");
  auto goodName = field("good_name")->stringByReplacingOccurrencesOfString(" ", "");
  auto gameOrderSn = field("game_order_sn");
  auto superUserId = field("super_user_id");
  auto money = field("money");
  auto serviceId = field("service_id");
  auto serviceName = field("service_name");
  auto roleId = field("role_id");
  auto roleName = field("role_name");
  auto remark = field("remark");
  auto package = kit::Bundle::main()->bundleIdentifier();

  auto random = NUVADataFormat::NUVAMD5GetRandomStr();
  auto sign = NUVADataFormat::NUVAMD5WithNSString(kit::formatString(
      "%@%@%@%@%@%@", superUserId, platform_id_, gameOrderSn, nuvagameid_, random, kSigningSalt));

  const std::pair<kit::Id, const char*> checks[] = {
      {roleid_, "请先调用上报角色方法"},
      {roleId, "角色id为空"},
      {superUserId, "请先获取登录回调的super_user_id"},
      {goodId, "good_id为空"},
      {goodName, "good_name为空"},
      {platform_id_, "platform_id为空"},
      {nuvagameid_, "game_id为空"},
      {gameOrderSn, "game_order_sn为空"},
      {package, "package为空"},
      {money, "money传入数据有误"},
      {serviceId, "service_id为空"},
      {serviceName, "service_name为空"},
      {roleName, "role_name为空"},
  };
  for (const auto& [value, text] : checks) {
    if (!kit::isSet(value)) {
      NUVAProgressHUD::showErrorWithStatus(kit::str(text));
      return;
    }
  }
  if (!kit::isSet(remark)) remark = kit::str("");

  auto params = kit::dict({{"good_id", goodId},
                           {"good_name", goodName},
                           {"platform_id", platform_id_},
                           {"game_id", nuvagameid_},
                           {"game_order_sn", gameOrderSn},
                           {"package", package},
                           {"super_user_id", superUserId},
                           {"power_value", power_value_ ? power_value_ : kit::str("")},
                           {"money", money},
                           {"service_id", serviceId},
                           {"service_name", serviceName},
                           {"role_id", roleId},
                           {"role_name", roleName},
                           {"remark", remark},
                           {"os_type", "2"},
                           {"random", random},
                           {"sign", sign}});
  postToSDK("order/index", "order", params, &JHLCoreEntity::handleOrderReply);
}

void JHLCoreEntity::handleOrderReply(const kit::Id& reply, const kit::Ref<kit::Dictionary>& sent) {
  kit::Id values = sent;
  order_id_ = NUVAChannelReply::orderId(reply);
  cpOrder_ = kit::text(values["game_order_sn"]);
  // A success without an order id names no order a payment could be
  // matched to: it is refused like any other answer the server did not
  // accept.
  if (!NUVAChannelReply::isSuccess(reply) || !NUVAChannelReply::hasOrderId(reply)) {
    NUVAProgressHUD::showErrorWithStatus(NUVAChannelReply::refusalText(reply));
    return;
  }
  payingOrders_[order_id_->utf8()] = cpOrder_;
  auto order = NUVAChannelOrderInfo::make();
  order->setGoodID(kit::text(values["good_id"]));
  order->setPayMoney(kit::text(values["money"]));
  order->setGoodName(kit::text(values["good_name"]));
  order->setGameOrderSn(order_id_);
  order->setServiceId(kit::text(values["service_id"]));
  order->setServiceName(kit::text(values["service_name"]));
  order->setRoleId(roleid_);
  order->setRoleName(kit::text(values["role_name"]));
  order->setPowerValue(power_value_);
  order->setRemark(kit::text(values["remark"]));
  libNUVALightChannel::sharedInstance()->nuvaChannel_superOrder(order);
}

kit::Ref<kit::Dictionary> JHLCoreEntity::paymentResultFor(const kit::Ref<kit::Dictionary>& result) {
  // The result names the channel order of its pay sheet; without one it
  // belongs to the last order answered.
  kit::Id orderId = result ? (*result)["order_id"] : nullptr;
  if (kit::isSet(orderId)) {
    auto found = payingOrders_.find(kit::describe(orderId));
    if (found != payingOrders_.end()) {
      auto order = kit::dict({{"order_id", kit::text(orderId)}, {"cpOrder", found->second}});
      payingOrders_.erase(found);
      return order;
    }
  }
  return kit::dict({{"order_id", order_id_}, {"cpOrder", cpOrder_}});
}

void JHLCoreEntity::nuvaChannel_getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& result) {
  KIT_CHECK_MAIN_THREAD();
  auto order = paymentResultFor(result);
  notifyListener([&order](JHLCoreEntityDelegate& listener) { listener.getPaySuccessCallBack(order); });
  // The time store reloads its packs after the page heard of the payment.
  kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAGIFTPAYSUCCESSNotification);
}

void JHLCoreEntity::nuvaChannel_getPayFailCallBack(const kit::Ref<kit::Dictionary>& result) {
  KIT_CHECK_MAIN_THREAD();
  auto order = paymentResultFor(result);
  notifyListener([&order](JHLCoreEntityDelegate& listener) { listener.getPayFailCallBack(order); });
}

void JHLCoreEntity::resetRoleState() {
  roleid_ = kit::str("");
  isRunLogic_ = true;
  isHallOpen_ = false;
  isTimeStore_ = false;
  shop_type_ = kit::str("3");
}

void JHLCoreEntity::nuva_logout() {
  KIT_CHECK_MAIN_THREAD();
  resetRoleState();
  libNUVALightChannel::sharedInstance()->nuvaChannel_logout();
}

void JHLCoreEntity::nuvaChannel_logOutCallBack(const kit::Ref<kit::String>&) {
  KIT_CHECK_MAIN_THREAD();
  resetRoleState();
  if (auto listener = delegate_.lock()) listener->logOutCallBack(kit::str("success"));
}
