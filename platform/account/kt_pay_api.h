// KTPayAPI: the platform API's pay requests: an order for each pay way
// (the H5 cashier for WalletPay or WeChat H5, the WalletPay app, the
// official WeChat H5 page, platform coins, vouchers) and the queries
// (balances, customer-service contacts, pay records, game details, pay
// ways).
//
// A stateless class any screen calls on the main thread, like KTLoginAPI:
// each call returns at once and later runs at most one of its blocks on the
// main thread, whatever became of the caller. Order calls leave a missing
// value out of the request; queries send it as "".
//
// Orders read their result code as an integer: 1 is success, 11 an order
// that needs no payment (failure with the text "11"); anything else fails
// with the server's message. A message (a refusal's, a paid coin or voucher
// order's) is handed on only when a player can read it (kit::readableText):
// a number, a flag, blanks or a null's spelling in its place is no message
// (nil). A pay page is a text with something visible in it. A success that lacks what the caller needs
// next (the pay page of an H5 order, the signed order of an app order)
// fails with "服务器错误", as does an order that was not delivered (the
// coin and voucher orders add the code "501"). Queries compare their
// result code with the text "1" and fail with "无法连接服务器" when not
// delivered.
//
// Order layouts (keys of the request):
//   A (H5 cashier, app, official WeChat H5): "z" pay type, "p" money, "xx"
//     discount, "b" real money, "cid" coupon, "c" user name, "d" role, "e"
//     server, "f" game id, "x" order number, "y" description, "j" app id,
//     "k" channel id, "tr" sub-account, "h" advertising id, "l" product
//     name, "n" pass-through data, "os" "ios".
//   B (platform coins "ptb", vouchers "djq"): "z", "p" money, "xx" discount
//     (coins only), "b" real money, "cid", "c" advertising id, "d" app id,
//     "e" channel id, "f" user name, "x" role, "h" server, "j" game id,
//     "tr" sub-account, "k" product name, "l" description, "y" pass-through
//     data, "os" "ios". No order number.
#pragma once

#include <functional>

#include "kit/foundation/string.h"
#include "platform/account/kt_pay_replies.h"
#include "platform/account/kt_platform_reply.h"

class KTPayAPI {
 public:
  template <class T>
  using Success = std::function<void(const kit::Ref<T>& result)>;
  // A value of the reply as the server sent it.
  using ValueSuccess = std::function<void(const kit::Id& value)>;
  // A message for the player (nil when the server sent none a player can
  // read).
  using Failure = std::function<void(const kit::Ref<kit::String>& message)>;
  // A message and the server's result code (nil when it sent none).
  using CodeFailure = std::function<void(const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code)>;
  using Text = kit::Ref<kit::String>;

  // "H5pay/pay", layout A with "z" = payType ("wx" or "qb"). Success: the
  // pay page "c" with the message "b".
  static void doH5PayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& orderNumber,
                               const Text& discount, const Text& payType, const Text& roleId, const Text& serverId,
                               const Text& productName, const Text& productDesc, const Text& cpExtend,
                               Success<NotifyServer> success, Failure failed);
  // A form post to `url` ("WalletPayapp/apppayios" or
  // "WalletPayappother/apppayios"), layout A with "z" "qb". Success: the
  // signed order "c".
  static void doWalletPayAppPayWithMoney(const Text& money, const Text& realMoney, const Text& cid,
                                         const Text& orderNumber, const Text& discount, const Text& roleId,
                                         const Text& serverId, const Text& productName, const Text& productDesc,
                                         const Text& cpExtend, const Text& url, Success<WalletPayInfo> success,
                                         Failure failed);
  // `url` ("wxh5/h5pay" or "Wxh5other/h5pay"), layout A with "z" "wx".
  // Reads "code", "msg" and "data": success gives the pay page "data"; a
  // reply without a dictionary fails with "服务器错误".
  static void doWxPayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& orderNumber,
                               const Text& discount, const Text& roleId, const Text& serverId, const Text& productName,
                               const Text& productDesc, const Text& cpExtend, const Text& url,
                               Success<NotifyServer> success, Failure failed);
  // "Ttbpaynew/ttbnew", layout B with "z" "ptb"; the order number is not
  // sent. Failure: ("c", "z").
  static void doPtbPayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& orderNumber,
                                const Text& discount, const Text& roleId, const Text& serverId,
                                const Text& productName, const Text& productDesc, const Text& cpExtend,
                                Success<PtbPay> success, CodeFailure failed);
  // "Ttbpaynew/djqpay", layout B with "z" "djq" and no discount. Failure:
  // ("c", "z").
  static void doDjqPayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& roleId,
                                const Text& serverId, const Text& productName, const Text& productDesc,
                                const Text& cpExtend, Success<DiscountPayWay> success, CodeFailure failed);

  // "Ttbpay/getTTB" {"z" app id, "b" user name}: "z" "1", else "c".
  static void GetMyPtbMoneyWithsuccess(Success<GetMyPtbResult> success, Failure failed);
  // "Ttbpay/getDJQ" {"z" app id, "b" user name, "c" game id}: "z" "1",
  // else "c".
  static void GetMyDiscountMoneyWithsuccess(Success<GetMyDiscountResult> success, Failure failed);
  // "Service/getkefu" {"z" app id}: "code" "1", else "msg".
  static void GetServiceQQAndPhonesuccess(Success<HelpQQAndTel> success, Failure failed);
  // "pay/payRecords" {"z" user name, "b" app id, "c" status, "d" page}:
  // "code" "1", else "msg".
  static void payRecordsWithStatus(const Text& status, const Text& page, Success<OrderRecords> success,
                                   Failure failed);
  // "d" {"z" app id, "b" game id}: "code" "1" gives "data", else "msg".
  static void getGameDetailInfosuccess(ValueSuccess success, Failure failed);
  // Nothing is sent and nothing called.
  static void getGiffCodeForInfoid(const Text& infoid, ValueSuccess success, Failure failed);
  static void GetGamePresentHtmlsuccess(ValueSuccess success, Failure failed);
  // "pay/getPayWayios" {"z" app id, "b" game id, "h" advertising id, "os"
  // "ios"}: "code" "1" gives the "d" of the first item of "data" whose "z"
  // is the integer 2, and nothing at all without such an item; else "msg".
  static void GetPayWayssuccess(ValueSuccess success, Failure failed);

  // The answers, as the calls read them (tests of malformed replies, the
  // fuzz target). Main thread.
  struct Answers {
    static void h5Order(const KTPlatformReply& reply, const Success<NotifyServer>& success, const Failure& failed);
    static void walletAppOrder(const KTPlatformReply& reply, const Success<WalletPayInfo>& success,
                               const Failure& failed);
    static void wxOrder(const KTPlatformReply& reply, const Success<NotifyServer>& success, const Failure& failed);
    static void ptbOrder(const KTPlatformReply& reply, const Success<PtbPay>& success, const CodeFailure& failed);
    static void djqOrder(const KTPlatformReply& reply, const Success<DiscountPayWay>& success,
                         const CodeFailure& failed);
    static void ptbBalance(const KTPlatformReply& reply, const Success<GetMyPtbResult>& success,
                           const Failure& failed);
    static void discountBalance(const KTPlatformReply& reply, const Success<GetMyDiscountResult>& success,
                                const Failure& failed);
    static void serviceContacts(const KTPlatformReply& reply, const Success<HelpQQAndTel>& success,
                                const Failure& failed);
    static void payRecords(const KTPlatformReply& reply, const Success<OrderRecords>& success, const Failure& failed);
    static void gameDetail(const KTPlatformReply& reply, const ValueSuccess& success, const Failure& failed);
    static void payWays(const KTPlatformReply& reply, const ValueSuccess& success, const Failure& failed);
  };
};
