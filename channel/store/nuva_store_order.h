// The store's signed orders on the channel's game server: the time store's
// pack orders ("charge/order") and the level store's level orders
// ("charge/levelorder"). The order-signing key lives here, once, for every
// order the channel's views sign (pack, level and resource orders).
//
// A row builds the order's fields from the role description and its pack,
// and places it: the form is posted, and an answer with "status" "200" and
// a non-blank "data"."order_id" becomes the order notification
// (NUVAGIFTPAYNotification or NUVALEVELPAYNotification) whose object is the
// five-key order dictionary the channel core pays; any other answer shows
// the answer's "msg" ("%@", so "(null)" when missing) in the error HUD and
// posts nothing. The answer, the notification and the HUD call happen on
// the session's callback queue, not the main queue.
//
//   auto role = NUVAStoreOrder::roleOf(userInfo);
//   auto remark = NUVAStoreOrder::remarkOf(pack->good_id(), itemIds);
//   auto form = NUVAStoreOrder::giftOrderForm(role, pack->good_id(), remark, NUVADataFormat::NUVAMD5GetRandomStr());
//   NUVAStoreOrder::place("charge/order", form, {pack->gift_name(), pack->good_id(), pack->gift_money()},
//                         NUVAGIFTPAYNotification);
#pragma once

#include <string_view>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/string.h"

// The key every order of the channel's store and hall views appends last
// to its signed fields.
inline constexpr const char* NUVAOrderSigningKey = "7c3e91d0b52a4f86e1d9a0c47b3f2e58";

class NUVAStoreOrder {
 public:
  // The error domain of an answer that creates no order.
  static constexpr const char* kErrorDomain = "NUVAStoreOrderErrorDomain";
  enum ErrorCode : long { Refused = 1, NoOrderId = 2 };
  // The fewest fields of a pack order's remark.
  static constexpr size_t kRemarkFields = 5;

  // The role values an order reads from the role description, each as
  // "%@" of its JSON value ("(null)" when missing or when the description
  // is no JSON object).
  struct Role {
    kit::Ref<kit::String> super_user_id, game_id, service_id, service_name, super_role_id, role_name;
  };
  static Role roleOf(const kit::Ref<kit::String>& userInfo);

  // The goods an order notification names: the pack's name, id and price
  // as the pack record holds them.
  struct Goods {
    kit::Id good_name, good_id, money;
  };

  // "%@" of the pack id, then "|" and "%@" of each item id in order, padded
  // with "|0" to five fields; a remark of five or more fields is not cut.
  static kit::Ref<kit::String> remarkOf(const kit::Id& goodId, const std::vector<kit::Id>& itemIds);

  // The ten fields of a pack order, signed with the MD5 of super_user_id,
  // game_id, service_id, super_role_id, good_id, remark, random and the key.
  static kit::Ref<kit::Dictionary> giftOrderForm(const Role& role, const kit::Id& goodId,
                                                 const kit::Ref<kit::String>& remark,
                                                 const kit::Ref<kit::String>& random);
  // The nine fields of a level order, signed with the MD5 of super_user_id,
  // game_id, service_id, super_role_id, good_id, random and the key
  // (service_name and role_name are sent, not signed).
  static kit::Ref<kit::Dictionary> levelOrderForm(const Role& role, const kit::Id& goodId,
                                                  const kit::Ref<kit::String>& random);

  // The order notification's object an answer confirms: {good_name,
  // good_id, order_id, remark, money}, order_id and remark as "%@" of the
  // answer's "data" values. An answer whose status is not "200" fails
  // Refused, one whose order id is no usable id (NUVADataFormat::isUsableId,
  // the channel core's rule too) fails NoOrderId; either error
  // carries "%@" of the answer's "msg" as its description.
  static kit::Expected<kit::Ref<kit::Dictionary>> orderOf(const kit::Id& answer, const Goods& goods);

  // Posts the form to the game server's path and handles the answer as
  // above. Transport failures are shown by the HTTP client itself.
  static void place(std::string_view path, const kit::Ref<kit::Dictionary>& form, Goods goods,
                    const char* notificationName);
};
