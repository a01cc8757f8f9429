// The platform API's pay requests. See kt_pay_api.h.
//
// As in the login API, each answer is first read into a value or a
// KTPlatformAPIError, and the failure becomes the caller's text last.
#include "platform/account/kt_pay_api.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/kt_api_support.h"
#include "platform/account/kt_login_api.h"
#include "platform/base/log_redaction.h"
#include "platform/base/share_vale.h"

namespace {

constexpr const char* kServerError = "服务器错误";
constexpr const char* kCannotConnect = "无法连接服务器";
constexpr const char* kNotDeliveredCode = "501";
constexpr const char* kNeedsNoPaymentText = "11";

constexpr long kPaid = 1;
constexpr long kNeedsNoPayment = 11;

using Text = KTPayAPI::Text;
using kt_api::failureOf;
using kt_api::Fields;
using kt_api::fields;  // queries send absent values as ""
using kt_api::share;

// Order requests leave absent values out.
kit::Ref<kit::MutableDictionary> orderFields(Fields entries) {
  auto parameters = kit::MutableDictionary::make();
  for (const auto& [key, value] : entries) setObjectForOPField(*parameters, value, key);
  return parameters;
}

kit::Ref<kit::MutableDictionary> layoutA(const Text& payType, const Text& money, const Text& realMoney, const Text& cid,
                                         const Text& orderNumber, const Text& discount, const Text& roleId,
                                         const Text& serverId, const Text& productName, const Text& productDesc,
                                         const Text& cpExtend) {
  auto s = share();
  return orderFields({{"z", payType},
                      {"p", money},
                      {"xx", discount},
                      {"b", realMoney},
                      {"cid", cid},
                      {"c", s->userName()},
                      {"d", roleId},
                      {"e", serverId},
                      {"f", s->gameID()},
                      {"x", orderNumber},
                      {"y", productDesc},
                      {"j", s->appID()},
                      {"k", s->chanelid()},
                      {"tr", s->subUserName()},
                      {"h", KTLoginAPI::advertisingIdentifier()},
                      {"l", productName},
                      {"n", cpExtend},
                      {"os", kit::str("ios")}});
}

kit::Ref<kit::MutableDictionary> layoutB(const char* payType, const Text& money, const Text& realMoney, const Text& cid,
                                         const Text& discount, const Text& roleId, const Text& serverId,
                                         const Text& productName, const Text& productDesc, const Text& cpExtend) {
  auto s = share();
  return orderFields({{"z", kit::str(payType)},
                      {"p", money},
                      {"xx", discount},
                      {"b", realMoney},
                      {"cid", cid},
                      {"c", KTLoginAPI::advertisingIdentifier()},
                      {"d", s->appID()},
                      {"e", s->chanelid()},
                      {"f", s->userName()},
                      {"x", roleId},
                      {"h", serverId},
                      {"j", s->gameID()},
                      {"tr", s->subUserName()},
                      {"k", productName},
                      {"l", productDesc},
                      {"y", cpExtend},
                      {"os", kit::str("ios")}});
}

// A message of the reply a player is to read (a toast, the text the game
// hears): nil unless it is a text with something visible in it.
Text readable(const kit::Id& value) {
  std::string text = kit::readableText(value);
  return text.empty() ? nullptr : kit::str(text);
}

// An order's reply: the dictionary when its integer result is 1, else the
// failure. Where 11 means an order that needs no payment, it is refused
// with the text "11" in place of the server's message.
kit::Expected<kit::Ref<kit::Dictionary>> readOrder(const KTPlatformReply& reply, const char* codeKey,
                                                   const char* messageKey, bool elevenNeedsNoPayment) {
  auto envelope = KTPlatformReplies::envelope(reply);
  if (!envelope) return envelope;
  const kit::Id dic = *envelope;
  const long code = KTPlatformReplies::integerOf(dic[codeKey]);
  if (code == kPaid) return envelope;
  if (code == kNeedsNoPayment && elevenNeedsNoPayment) {
    return KTPlatformReplies::refused(kit::str(kNeedsNoPaymentText), dic[codeKey]);
  }
  return KTPlatformReplies::refused(readable(dic[messageKey]), dic[codeKey]);
}

// A query's reply: the dictionary when its result is the text "1".
kit::Expected<kit::Ref<kit::Dictionary>> readQuery(const KTPlatformReply& reply, const char* codeKey,
                                                   const char* messageKey) {
  auto envelope = KTPlatformReplies::envelope(reply);
  if (!envelope) return envelope;
  const kit::Id dic = *envelope;
  if (KTPlatformReplies::isText(dic[codeKey], "1")) return envelope;
  return KTPlatformReplies::refused(readable(dic[messageKey]), dic[codeKey]);
}

// A success that lacks what comes next: the order cannot go on.
kit::Unexpected unusableSuccess() {
  return kit::unexpected(KTPlatformAPIErrorDomain, KTPlatformAPIErrorNoReply, "the reply lacks the pay page");
}

// The texts of a failed order with a message alone: the server's message,
// "服务器错误" when the order was not delivered or its success is unusable,
// and no message for a reply without a dictionary (`noReplyText` for the
// orders that name that case).
void reportOrder(const kit::Ref<kit::Error>& error, const KTPayAPI::Failure& failed, const char* noReplyText) {
  if (!failed) return;
  switch (failureOf(error)) {
    case KTPlatformAPIErrorRefused: failed(KTPlatformReplies::refusalMessage(error)); break;
    case KTPlatformAPIErrorNotDelivered: failed(kit::str(kServerError)); break;
    default: failed(noReplyText ? kit::str(noReplyText) : nullptr); break;
  }
}

void reportCodeOrder(const kit::Ref<kit::Error>& error, const KTPayAPI::CodeFailure& failed) {
  if (!failed) return;
  switch (failureOf(error)) {
    case KTPlatformAPIErrorRefused:
      failed(KTPlatformReplies::refusalMessage(error), KTPlatformReplies::refusalCode(error));
      break;
    case KTPlatformAPIErrorNotDelivered: failed(kit::str(kServerError), kit::str(kNotDeliveredCode)); break;
    default: failed(nullptr, nullptr); break;
  }
}

void reportQuery(const kit::Ref<kit::Error>& error, const KTPayAPI::Failure& failed) {
  if (!failed) return;
  switch (failureOf(error)) {
    case KTPlatformAPIErrorRefused: failed(KTPlatformReplies::refusalMessage(error)); break;
    case KTPlatformAPIErrorNotDelivered: failed(kit::str(kCannotConnect)); break;
    default: failed(nullptr); break;
  }
}

// The pay page of an order's success, when the reply holds one: an address
// is a text with something in it, never a number, a flag or blanks.
kit::Expected<kit::Ref<NotifyServer>> payPage(const kit::Id& url, const kit::Id& message) {
  auto page = readable(url);
  if (!page) return unusableSuccess();
  auto notify = kit::make<NotifyServer>();
  notify->setUrl(page);
  notify->setMessge(readable(message));
  return notify;
}

// A paid coin or voucher order: its message ("c") is what the game hears,
// kept only when a player can read it.
template <class Model>
kit::Ref<Model> paidOrder(const kit::Ref<kit::Dictionary>& dic) {
  auto paid = Model::responseWithDic(dic);
  paid->setMesage(readable(kit::Id(dic)["c"]));
  return paid;
}

template <class Model>
void answerQuery(const KTPlatformReply& reply, const char* codeKey, const char* messageKey,
                 const KTPayAPI::Success<Model>& success, const KTPayAPI::Failure& failed) {
  auto dic = readQuery(reply, codeKey, messageKey);
  if (!dic) return reportQuery(dic.error(), failed);
  if (success) success(Model::responseWithDic(*dic));
}

}  // namespace

// ---- Orders --------------------------------------------------------------------

void KTPayAPI::doH5PayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& orderNumber,
                                const Text& discount, const Text& payType, const Text& roleId, const Text& serverId,
                                const Text& productName, const Text& productDesc, const Text& cpExtend,
                                Success<NotifyServer> success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = layoutA(payType, money, realMoney, cid, orderNumber, discount, roleId, serverId, productName,
                            productDesc, cpExtend);
  KTPlatformReplies::postScrambled("H5pay/pay", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::h5Order(reply, success, failed); });
}

void KTPayAPI::Answers::h5Order(const KTPlatformReply& reply, const Success<NotifyServer>& success,
                                const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto dic = readOrder(reply, "z", "b", true);
  if (!dic) return reportOrder(dic.error(), failed, nullptr);
  auto page = payPage(kit::Id(*dic)["c"], kit::Id(*dic)["b"]);
  if (!page) return reportOrder(page.error(), failed, kServerError);
  if (success) success(*page);
}

void KTPayAPI::doWalletPayAppPayWithMoney(const Text& money, const Text& realMoney, const Text& cid,
                                          const Text& orderNumber, const Text& discount, const Text& roleId,
                                          const Text& serverId, const Text& productName, const Text& productDesc,
                                          const Text& cpExtend, const Text& url, Success<WalletPayInfo> success,
                                          Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = layoutA(kit::str("qb"), money, realMoney, cid, orderNumber, discount, roleId, serverId, productName,
                            productDesc, cpExtend);
  KTPlatformReplies::postForm(url ? url->utf8() : std::string(), parameters,
                              [success = std::move(success), failed = std::move(failed)](
                                  const KTPlatformReply& reply) { Answers::walletAppOrder(reply, success, failed); });
}

void KTPayAPI::Answers::walletAppOrder(const KTPlatformReply& reply, const Success<WalletPayInfo>& success,
                                       const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto dic = readOrder(reply, "z", "b", true);
  if (!dic) return reportOrder(dic.error(), failed, nullptr);
  auto info = WalletPayInfo::responseWithDic(*dic);
  // Without the signed order there is nothing to pay with.
  if (!info->signStr() || info->signStr()->length() == 0) return reportOrder(unusableSuccess().error, failed, kServerError);
  if (success) success(info);
}

void KTPayAPI::doWxPayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& orderNumber,
                                const Text& discount, const Text& roleId, const Text& serverId,
                                const Text& productName, const Text& productDesc, const Text& cpExtend,
                                const Text& url, Success<NotifyServer> success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters = layoutA(kit::str("wx"), money, realMoney, cid, orderNumber, discount, roleId, serverId, productName,
                            productDesc, cpExtend);
  KTPlatformReplies::postScrambled(url ? url->utf8() : std::string(), parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::wxOrder(reply, success, failed); });
}

void KTPayAPI::Answers::wxOrder(const KTPlatformReply& reply, const Success<NotifyServer>& success,
                                const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto dic = readOrder(reply, "code", "msg", true);
  if (!dic) return reportOrder(dic.error(), failed, kServerError);
  auto page = payPage(kit::Id(*dic)["data"], nullptr);
  if (!page) return reportOrder(page.error(), failed, kServerError);
  if (success) success(*page);
}

void KTPayAPI::doPtbPayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text&,
                                 const Text& discount, const Text& roleId, const Text& serverId,
                                 const Text& productName, const Text& productDesc, const Text& cpExtend,
                                 Success<PtbPay> success, CodeFailure failed) {
  KIT_CHECK_MAIN_THREAD();
  // Coins are taken at once: the server makes the order number.
  auto parameters =
      layoutB("ptb", money, realMoney, cid, discount, roleId, serverId, productName, productDesc, cpExtend);
  KTPlatformReplies::postScrambled("Ttbpaynew/ttbnew", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::ptbOrder(reply, success, failed); });
}

void KTPayAPI::Answers::ptbOrder(const KTPlatformReply& reply, const Success<PtbPay>& success,
                                 const CodeFailure& failed) {
  KIT_CHECK_MAIN_THREAD();
  if (reply) kit::log("平台币 = %@", LogRedaction::redacted(*reply));
  auto dic = readOrder(reply, "z", "c", false);
  if (!dic) return reportCodeOrder(dic.error(), failed);
  if (success) success(paidOrder<PtbPay>(*dic));
}

void KTPayAPI::doDjqPayWithMoney(const Text& money, const Text& realMoney, const Text& cid, const Text& roleId,
                                 const Text& serverId, const Text& productName, const Text& productDesc,
                                 const Text& cpExtend, Success<DiscountPayWay> success, CodeFailure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto parameters =
      layoutB("djq", money, realMoney, cid, nullptr, roleId, serverId, productName, productDesc, cpExtend);
  KTPlatformReplies::postScrambled("Ttbpaynew/djqpay", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::djqOrder(reply, success, failed); });
}

void KTPayAPI::Answers::djqOrder(const KTPlatformReply& reply, const Success<DiscountPayWay>& success,
                                 const CodeFailure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto dic = readOrder(reply, "z", "c", false);
  if (!dic) return reportCodeOrder(dic.error(), failed);
  if (success) success(paidOrder<DiscountPayWay>(*dic));
}

// ---- Queries ---------------------------------------------------------------------

void KTPayAPI::GetMyPtbMoneyWithsuccess(Success<GetMyPtbResult> success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  KTPlatformReplies::postScrambled("Ttbpay/getTTB", fields({{"z", s->appID()}, {"b", s->userName()}}),
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::ptbBalance(reply, success, failed); });
}

void KTPayAPI::Answers::ptbBalance(const KTPlatformReply& reply, const Success<GetMyPtbResult>& success,
                                   const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  answerQuery(reply, "z", "c", success, failed);
}

void KTPayAPI::GetMyDiscountMoneyWithsuccess(Success<GetMyDiscountResult> success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields({{"z", s->appID()}, {"b", s->userName()}, {"c", s->gameID()}});
  KTPlatformReplies::postScrambled("Ttbpay/getDJQ", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) {
                                     Answers::discountBalance(reply, success, failed);
                                   });
}

void KTPayAPI::Answers::discountBalance(const KTPlatformReply& reply, const Success<GetMyDiscountResult>& success,
                                        const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  answerQuery(reply, "z", "c", success, failed);
}

void KTPayAPI::GetServiceQQAndPhonesuccess(Success<HelpQQAndTel> success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  KTPlatformReplies::postScrambled("Service/getkefu", fields({{"z", share()->appID()}}),
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) {
                                     Answers::serviceContacts(reply, success, failed);
                                   });
}

void KTPayAPI::Answers::serviceContacts(const KTPlatformReply& reply, const Success<HelpQQAndTel>& success,
                                        const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  answerQuery(reply, "code", "msg", success, failed);
}

void KTPayAPI::payRecordsWithStatus(const Text& status, const Text& page, Success<OrderRecords> success,
                                    Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields({{"z", s->userName()}, {"b", s->appID()}, {"c", status}, {"d", page}});
  KTPlatformReplies::postScrambled("pay/payRecords", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::payRecords(reply, success, failed); });
}

void KTPayAPI::Answers::payRecords(const KTPlatformReply& reply, const Success<OrderRecords>& success,
                                   const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  answerQuery(reply, "code", "msg", success, failed);
}

void KTPayAPI::getGameDetailInfosuccess(ValueSuccess success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  KTPlatformReplies::postScrambled("d", fields({{"z", s->appID()}, {"b", s->gameID()}}),
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::gameDetail(reply, success, failed); });
}

void KTPayAPI::Answers::gameDetail(const KTPlatformReply& reply, const ValueSuccess& success, const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto dic = readQuery(reply, "code", "msg");
  if (!dic) return reportQuery(dic.error(), failed);
  if (success) success(kit::Id(*dic)["data"]);
}

void KTPayAPI::getGiffCodeForInfoid(const Text&, ValueSuccess, Failure) {}

void KTPayAPI::GetGamePresentHtmlsuccess(ValueSuccess, Failure) {}

void KTPayAPI::GetPayWayssuccess(ValueSuccess success, Failure failed) {
  KIT_CHECK_MAIN_THREAD();
  auto s = share();
  auto parameters = fields(
      {{"z", s->appID()}, {"b", s->gameID()}, {"h", KTLoginAPI::advertisingIdentifier()}, {"os", kit::str("ios")}});
  KTPlatformReplies::postScrambled("pay/getPayWayios", parameters,
                                   [success = std::move(success), failed = std::move(failed)](
                                       const KTPlatformReply& reply) { Answers::payWays(reply, success, failed); });
}

void KTPayAPI::Answers::payWays(const KTPlatformReply& reply, const ValueSuccess& success, const Failure& failed) {
  KIT_CHECK_MAIN_THREAD();
  auto dic = readQuery(reply, "code", "msg");
  if (!dic) return reportQuery(dic.error(), failed);
  auto items = kit::as<kit::Array>(kit::Id(*dic)["data"]);
  if (!items) return;
  for (const kit::Id& item : items->objects()) {
    if (kit::isKind<kit::Dictionary>(item) && KTPlatformReplies::integerOf(item["z"]) == 2) {
      if (success) success(item["d"]);
      return;
    }
  }
}
