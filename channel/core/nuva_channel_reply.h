// How the channel core reads the channel server's replies: the JSON body,
// whether it succeeded ("code" as text equal to "200"), the text to show for
// a refusal, and the fields the login, role report and order take from
// "data". Every reader accepts any value, including nil and values of the
// wrong kind, and never fails.
#pragma once

#include <optional>
#include <utility>

#include "kit/foundation/data.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class NUVAChannelReply {
 public:
  // The channel user and token of a login reply.
  struct Login {
    kit::Ref<kit::String> superUserId;
    kit::Ref<kit::String> token;
  };

  // A channel token shorter than this is refused.
  static constexpr size_t kMinimumTokenLength = 6;

  // The body as JSON with mutable containers; nil when it is not JSON.
  static kit::Id parse(const kit::Ref<kit::Data>& body);
  // "code" read as text is "200".
  static bool isSuccess(const kit::Id& reply);
  // A dictionary or an array with at least one entry.
  static bool hasEntries(const kit::Id& value);
  // The reply's "msg", or the server error text when it carries no readable
  // one (none, blanks only, a number, a flag, a list or a dictionary).
  static kit::Ref<kit::String> refusalText(const kit::Id& reply);
  // The login a reply carries: "data"."super_user_id" and "data"."token"
  // both set and the token at least six UTF-16 units long. The reply's
  // "code" is not looked at.
  static std::optional<Login> acceptedLogin(const kit::Id& reply);
  // Whether "data"."role_id" is set: present, not null, its text neither
  // empty nor "(null)".
  static bool hasRoleId(const kit::Id& reply);
  // Whether "data"."order_id" is a usable id (NUVADataFormat::isUsableId),
  // the same rule the store holds its orders to.
  static bool hasOrderId(const kit::Id& reply);
  // "data"."role_id" / "data"."order_id" as text ("(null)" when missing).
  static kit::Ref<kit::String> roleId(const kit::Id& reply);
  static kit::Ref<kit::String> orderId(const kit::Id& reply);
};
