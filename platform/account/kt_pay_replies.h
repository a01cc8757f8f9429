// The platform API's reply models, pay side: balances, orders, pay ways,
// pay records, customer-service contacts, game details and the pay-page
// answers. Built like the account replies (kt_base_response.h): by
// responseWithDic() from a whole reply through the model mapper, every
// field a text ("%@" of a number; nil for a missing key or a value of
// another kind), never failing.
#pragma once

#include "kit/foundation/array.h"
#include "platform/account/kt_base_response.h"

// The platform-coin balance: "z" code, "b" balance, "c" message.
class GetMyPtbResult : public KTBaseResponse {
  KIT_OBJECT(GetMyPtbResult)
  KT_REPLY_TEXT(ptb, setPtb)

 public:
  static kit::Ref<GetMyPtbResult> responseWithDic(const kit::Id& dic);
};

// A paid platform-coin order: "z" code, "c" message, "b" order id.
class PtbPay : public KTBaseResponse {
  KIT_OBJECT(PtbPay)
  KT_REPLY_TEXT(orderID, setOrderID)

 public:
  static kit::Ref<PtbPay> responseWithDic(const kit::Id& dic);
};

// The pay ways: "code" and "msg" of the reply, and one PayWay per
// dictionary in its "data" list with code "z" and message "b". A "data"
// that is not a list gives an empty list; elements that are not
// dictionaries are skipped.
class PayWay : public KTBaseResponse {
  KIT_OBJECT(PayWay)

 public:
  const kit::Ref<kit::Array>& data() const { return data_; }
  void setData(const kit::Ref<kit::Array>& v) { data_ = v; }

  static kit::Ref<PayWay> responseWithDic(const kit::Id& dic);

 private:
  kit::Ref<kit::Array> data_;
};

// Customer-service contacts, all inside "data": QQ "b", TEL "z", message
// "d", ttbRate "c", libaoShow "e"; the code stays empty.
class HelpQQAndTel : public KTBaseResponse {
  KIT_OBJECT(HelpQQAndTel)
  KT_REPLY_TEXT(QQ, setQQ)
  KT_REPLY_TEXT(TEL, setTEL)
  KT_REPLY_TEXT(ttbRate, setTtbRate)
  KT_REPLY_TEXT(libaoShow, setLibaoShow)

 public:
  static kit::Ref<HelpQQAndTel> responseWithDic(const kit::Id& dic);
};

// A quick-pay answer: "z" code, "b" url, "c" message, "d" order id.
class QuickPay : public KTBaseResponse {
  KIT_OBJECT(QuickPay)
  KT_REPLY_TEXT(url, setUrl)
  KT_REPLY_TEXT(orderID, setOrderID)

 public:
  static kit::Ref<QuickPay> responseWithDic(const kit::Id& dic);
};

// Pay records. The reply's object is a holder: its dataArray has one
// OrderRecords per dictionary in the "data" list (orderID "z", amount "b",
// Paytype "paytype", creatSinceTime "create_time", creatTime "d"); its own
// fields, code and message included, stay empty. A "data" that is not a
// list gives an empty dataArray.
class OrderRecords : public KTBaseResponse {
  KIT_OBJECT(OrderRecords)
  KT_REPLY_TEXT(orderID, setOrderID)
  KT_REPLY_TEXT(amount, setAmount)
  KT_REPLY_TEXT(Paytype, setPaytype)
  KT_REPLY_TEXT(creatTime, setCreatTime)
  KT_REPLY_TEXT(creatSinceTime, setCreatSinceTime)

 public:
  const kit::Ref<kit::Array>& dataArray() const { return dataArray_; }
  void setDataArray(const kit::Ref<kit::Array>& v) { dataArray_ = v; }

  static kit::Ref<OrderRecords> responseWithDic(const kit::Id& dic);

 private:
  kit::Ref<kit::Array> dataArray_ = kit::Array::make();
};

// Game details, all inside "data": iconURL "z", desc "b", downLoadURL "e",
// gameName "f".
class GameDetail : public KTBaseResponse {
  KIT_OBJECT(GameDetail)
  KT_REPLY_TEXT(iconURL, setIconURL)
  KT_REPLY_TEXT(desc, setDesc)
  KT_REPLY_TEXT(downLoadURL, setDownLoadURL)
  KT_REPLY_TEXT(gameName, setGameName)

 public:
  static kit::Ref<GameDetail> responseWithDic(const kit::Id& dic);
};

// Where to pay: messge "b", code "z", url "c". The pay API fills one by
// hand for the answers that carry the page elsewhere.
class NotifyServer : public KTBaseResponse {
  KIT_OBJECT(NotifyServer)
  KT_REPLY_TEXT(messge, setMessge)
  KT_REPLY_TEXT(url, setUrl)

 public:
  static kit::Ref<NotifyServer> responseWithDic(const kit::Id& dic);
};

// The official WeChat pay values, all inside "data" under their own names;
// a numeric timestamp becomes its "%@" text.
class WeiXinInfo : public KTBaseResponse {
  KIT_OBJECT(WeiXinInfo)
  KT_REPLY_TEXT(appid, setAppid)
  KT_REPLY_TEXT(noncestr, setNoncestr)
  KT_REPLY_TEXT(package, setPackage)
  KT_REPLY_TEXT(partnerid, setPartnerid)
  KT_REPLY_TEXT(prepayid, setPrepayid)
  KT_REPLY_TEXT(sign, setSign)
  KT_REPLY_TEXT(timestamp, setTimestamp)

 public:
  static kit::Ref<WeiXinInfo> responseWithDic(const kit::Id& dic);
};

// A paid voucher order: "z" code, "c" message, "b" order id.
class DiscountPayWay : public KTBaseResponse {
  KIT_OBJECT(DiscountPayWay)
  KT_REPLY_TEXT(orderID, setOrderID)

 public:
  static kit::Ref<DiscountPayWay> responseWithDic(const kit::Id& dic);
};

// The voucher balance: "z" code, "b" balance, "c" message.
class GetMyDiscountResult : public KTBaseResponse {
  KIT_OBJECT(GetMyDiscountResult)
  KT_REPLY_TEXT(discountNum, setDiscountNum)

 public:
  static kit::Ref<GetMyDiscountResult> responseWithDic(const kit::Id& dic);
};

// An app-pay order: the signed order text "c" only; code and message stay
// empty.
class WalletPayInfo : public KTBaseResponse {
  KIT_OBJECT(WalletPayInfo)
  KT_REPLY_TEXT(signStr, setSignStr)

 public:
  static kit::Ref<WalletPayInfo> responseWithDic(const kit::Id& dic);
};
