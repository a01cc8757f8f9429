// The channel core's side of the overlays' orders: the store hub and the
// resource hall post a notification once the game server created an order;
// the core turns it into an order text of the page's form and places it
// with nuva_superOrder 1 s after the last notification of its kind. See
// jhl_core_entity.h.
//
// The observers are registered once (the hub's at its first claim-status
// request, the hall's at its first answer with goods). Notifications come
// from the overlays' reply queues; the order text is built and kept on the
// main queue, and gift and hall orders each keep their own pending text.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_store_overlays.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"

namespace {

// The five values an order notification carries, read as "%@" texts on the
// poster's thread.
kit::Ref<kit::Dictionary> orderFields(const kit::Ref<kit::Notification>& notification) {
  kit::Id order = notification ? notification->object() : nullptr;
  auto field = [&order](const char* key) { return kit::text(order[key]); };
  return kit::dict({{"order_id", field("order_id")},
                    {"remark", field("remark")},
                    {"money", field("money")},
                    {"good_id", field("good_id")},
                    {"good_name", field("good_name")}});
}

}  // namespace

void JHLCoreEntity::registerGiftOrderObservers() {
  if (giftObserversRegistered_) return;
  giftObserversRegistered_ = true;
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  for (const char* name : {NUVAGIFTPAYNotification, NUVALEVELPAYNotification}) {
    orderObservers_.push_back(kit::NotificationCenter::defaultCenter()->addObserverForName(
        name, nullptr, [weak](const kit::Ref<kit::Notification>& notification) {
          if (auto self = weak.lock()) self->giftPayData(notification);
        }));
  }
}

void JHLCoreEntity::registerResourceOrderObserver() {
  if (resourceObserverRegistered_) return;
  resourceObserverRegistered_ = true;
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  orderObservers_.push_back(kit::NotificationCenter::defaultCenter()->addObserverForName(
      NUVAResourcePAYNotification, nullptr, [weak](const kit::Ref<kit::Notification>& notification) {
        if (auto self = weak.lock()) self->resourcePayData(notification);
      }));
}

kit::Ref<kit::String> JHLCoreEntity::orderTextFor(const kit::Id& order) {
  // The role is the game's own (cp_role_id): the order goes the page's way.
  auto text = kit::dict({{"good_id", order["good_id"]},
                         {"good_name", order["good_name"]},
                         {"game_order_sn", order["order_id"]},
                         {"super_user_id", kit::text(super_user_id_)},
                         {"money", order["money"]},
                         {"service_id", kit::text(service_id_)},
                         {"service_name", kit::text(service_name_)},
                         {"role_id", kit::text(cp_role_id_)},
                         {"role_name", kit::text(role_name_)},
                         {"remark", order["remark"]}});
  auto data = kit::JSONSerialization::dataWithJSONObject(text, kit::JSONWritingPrettyPrinted);
  return kit::str(data ? data->toString() : "{}");
}

void JHLCoreEntity::giftPayData(const kit::Ref<kit::Notification>& notification) {
  keepPendingOrder(notification, &JHLCoreEntity::giftOrderText_, "toGiftPay", &JHLCoreEntity::toGiftPay);
}

void JHLCoreEntity::toGiftPay() { placePendingOrder(giftOrderText_); }

void JHLCoreEntity::resourcePayData(const kit::Ref<kit::Notification>& notification) {
  keepPendingOrder(notification, &JHLCoreEntity::resourceOrderText_, "toResourcePay", &JHLCoreEntity::toResourcePay);
}

void JHLCoreEntity::toResourcePay() { placePendingOrder(resourceOrderText_); }

void JHLCoreEntity::keepPendingOrder(const kit::Ref<kit::Notification>& notification,
                                     kit::Ref<kit::String> JHLCoreEntity::*pending, const char* stepName,
                                     void (JHLCoreEntity::*step)()) {
  auto fields = orderFields(notification);
  auto keep = [fields, pending, stepName, step](JHLCoreEntity& self) {
    self.roleData1_ = self.orderTextFor(fields);
    self.*pending = self.roleData1_;
    self.performCollapsed(stepName, step);
  };
  if (kit::RunLoop::isMainThread()) {
    keep(*this);
  } else {
    kit::bindPost(kit::Queue::main(), weakSelf<JHLCoreEntity>(), keep)();
  }
}

void JHLCoreEntity::placePendingOrder(kit::Ref<kit::String>& pending) {
  // A pending order is placed once.
  auto order = std::move(pending);
  pending = nullptr;
  if (order) nuva_superOrder(order);
}
