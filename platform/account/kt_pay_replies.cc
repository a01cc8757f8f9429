// The pay-side reply models: registration with the runtime, the model
// mapper's keys, and the two list replies. See kt_pay_replies.h.
#include "platform/account/kt_pay_replies.h"

#include "data/model/mx_hooks.h"
#include "data/model/mx_key_value.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/values.h"
#include "platform/account/kt_reply_keys.h"

namespace {

kit::Ref<kit::Dictionary> balanceKeys(const char* field) {
  return kit::dict({{"code", "z"}, {field, "b"}, {"mesage", "c"}});
}
kit::Ref<kit::Dictionary> ptbKeys() { return balanceKeys("ptb"); }
kit::Ref<kit::Dictionary> discountKeys() { return balanceKeys("discountNum"); }
kit::Ref<kit::Dictionary> orderKeys() { return kit::dict({{"code", "z"}, {"mesage", "c"}, {"orderID", "b"}}); }
kit::Ref<kit::Dictionary> payWayKeys() { return kit::dict({{"code", "code"}, {"mesage", "msg"}}); }
kit::Ref<kit::Dictionary> helpKeys() {
  return kit::dict(
      {{"QQ", "data.b"}, {"TEL", "data.z"}, {"mesage", "data.d"}, {"ttbRate", "data.c"}, {"libaoShow", "data.e"}});
}
kit::Ref<kit::Dictionary> quickPayKeys() {
  return kit::dict({{"code", "z"}, {"url", "b"}, {"mesage", "c"}, {"orderID", "d"}});
}
kit::Ref<kit::Dictionary> recordKeys() {
  return kit::dict(
      {{"orderID", "z"}, {"amount", "b"}, {"Paytype", "paytype"}, {"creatSinceTime", "create_time"}, {"creatTime", "d"}});
}
kit::Ref<kit::Dictionary> gameDetailKeys() {
  return kit::dict({{"iconURL", "data.z"}, {"desc", "data.b"}, {"downLoadURL", "data.e"}, {"gameName", "data.f"}});
}
kit::Ref<kit::Dictionary> notifyKeys() { return kit::dict({{"messge", "b"}, {"code", "z"}, {"url", "c"}}); }
kit::Ref<kit::Dictionary> weiXinKeys() {
  return kit::dict({{"appid", "data.appid"},
                    {"noncestr", "data.noncestr"},
                    {"package", "data.package"},
                    {"partnerid", "data.partnerid"},
                    {"prepayid", "data.prepayid"},
                    {"sign", "data.sign"},
                    {"timestamp", "data.timestamp"}});
}
kit::Ref<kit::Dictionary> walletKeys() { return kit::dict({{"signStr", "c"}}); }

// The dictionaries of the reply's "data" list, in order; none when "data"
// is not a list.
std::vector<kit::Ref<kit::Dictionary>> dataItems(const kit::Id& dic) {
  std::vector<kit::Ref<kit::Dictionary>> items;
  auto list = kit::as<kit::Array>(dic["data"]);
  if (!list) return items;
  for (const kit::Id& element : list->objects()) {
    if (auto item = kit::as<kit::Dictionary>(element)) items.push_back(item);
  }
  return items;
}

}  // namespace

kit::Ref<GetMyPtbResult> GetMyPtbResult::responseWithDic(const kit::Id& dic) { return mapped<GetMyPtbResult>(dic); }
kit::Ref<PtbPay> PtbPay::responseWithDic(const kit::Id& dic) { return mapped<PtbPay>(dic); }
kit::Ref<HelpQQAndTel> HelpQQAndTel::responseWithDic(const kit::Id& dic) { return mapped<HelpQQAndTel>(dic); }
kit::Ref<QuickPay> QuickPay::responseWithDic(const kit::Id& dic) { return mapped<QuickPay>(dic); }
kit::Ref<GameDetail> GameDetail::responseWithDic(const kit::Id& dic) { return mapped<GameDetail>(dic); }
kit::Ref<NotifyServer> NotifyServer::responseWithDic(const kit::Id& dic) { return mapped<NotifyServer>(dic); }
kit::Ref<WeiXinInfo> WeiXinInfo::responseWithDic(const kit::Id& dic) { return mapped<WeiXinInfo>(dic); }
kit::Ref<DiscountPayWay> DiscountPayWay::responseWithDic(const kit::Id& dic) { return mapped<DiscountPayWay>(dic); }
kit::Ref<GetMyDiscountResult> GetMyDiscountResult::responseWithDic(const kit::Id& dic) {
  return mapped<GetMyDiscountResult>(dic);
}
kit::Ref<WalletPayInfo> WalletPayInfo::responseWithDic(const kit::Id& dic) { return mapped<WalletPayInfo>(dic); }

kit::Ref<PayWay> PayWay::responseWithDic(const kit::Id& dic) {
  auto outer = mapped<PayWay>(dic);
  auto ways = kit::MutableArray::make();
  for (const auto& item : dataItems(dic)) {
    // An element's code and message sit under "z" and "b": the mapper reads
    // them under the class's own keys.
    ways->addObject(mapped<PayWay>(kit::dict({{"code", (*item)["z"]}, {"msg", (*item)["b"]}})));
  }
  outer->setData(ways);
  return outer;
}

kit::Ref<OrderRecords> OrderRecords::responseWithDic(const kit::Id& dic) {
  auto outer = kit::make<OrderRecords>();
  auto records = kit::MutableArray::make();
  for (const auto& item : dataItems(dic)) records->addObject(mapped<OrderRecords>(item));
  outer->setDataArray(records);
  return outer;
}

KIT_DEFINE_CLASS(GetMyPtbResult, KTBaseResponse) {
  cls.property("ptb", &GetMyPtbResult::ptb, &GetMyPtbResult::setPtb, "C");
  KT_MAP_KEYS(cls, ptbKeys);
}

KIT_DEFINE_CLASS(PtbPay, KTBaseResponse) {
  cls.property("orderID", &PtbPay::orderID, &PtbPay::setOrderID, "C");
  KT_MAP_KEYS(cls, orderKeys);
}

KIT_DEFINE_CLASS(PayWay, KTBaseResponse) {
  cls.property("data", &PayWay::data, &PayWay::setData, "&");
  KT_MAP_KEYS(cls, payWayKeys);
}

KIT_DEFINE_CLASS(HelpQQAndTel, KTBaseResponse) {
  cls.property("QQ", &HelpQQAndTel::QQ, &HelpQQAndTel::setQQ, "C");
  cls.property("TEL", &HelpQQAndTel::TEL, &HelpQQAndTel::setTEL, "C");
  cls.property("ttbRate", &HelpQQAndTel::ttbRate, &HelpQQAndTel::setTtbRate, "C");
  cls.property("libaoShow", &HelpQQAndTel::libaoShow, &HelpQQAndTel::setLibaoShow, "C");
  KT_MAP_KEYS(cls, helpKeys);
}

KIT_DEFINE_CLASS(QuickPay, KTBaseResponse) {
  cls.property("url", &QuickPay::url, &QuickPay::setUrl, "C");
  cls.property("orderID", &QuickPay::orderID, &QuickPay::setOrderID, "C");
  KT_MAP_KEYS(cls, quickPayKeys);
}

KIT_DEFINE_CLASS(OrderRecords, KTBaseResponse) {
  cls.property("dataArray", &OrderRecords::dataArray, &OrderRecords::setDataArray, "&");
  cls.property("orderID", &OrderRecords::orderID, &OrderRecords::setOrderID, "C");
  cls.property("amount", &OrderRecords::amount, &OrderRecords::setAmount, "C");
  cls.property("Paytype", &OrderRecords::Paytype, &OrderRecords::setPaytype, "C");
  cls.property("creatTime", &OrderRecords::creatTime, &OrderRecords::setCreatTime, "C");
  cls.property("creatSinceTime", &OrderRecords::creatSinceTime, &OrderRecords::setCreatSinceTime, "C");
  KT_MAP_KEYS(cls, recordKeys);
}

KIT_DEFINE_CLASS(GameDetail, KTBaseResponse) {
  cls.property("iconURL", &GameDetail::iconURL, &GameDetail::setIconURL, "C");
  cls.property("desc", &GameDetail::desc, &GameDetail::setDesc, "C");
  cls.property("downLoadURL", &GameDetail::downLoadURL, &GameDetail::setDownLoadURL, "C");
  cls.property("gameName", &GameDetail::gameName, &GameDetail::setGameName, "C");
  KT_MAP_KEYS(cls, gameDetailKeys);
}

KIT_DEFINE_CLASS(NotifyServer, KTBaseResponse) {
  cls.property("messge", &NotifyServer::messge, &NotifyServer::setMessge, "C");
  cls.property("url", &NotifyServer::url, &NotifyServer::setUrl, "C");
  KT_MAP_KEYS(cls, notifyKeys);
}

KIT_DEFINE_CLASS(WeiXinInfo, KTBaseResponse) {
  cls.property("appid", &WeiXinInfo::appid, &WeiXinInfo::setAppid, "C");
  cls.property("noncestr", &WeiXinInfo::noncestr, &WeiXinInfo::setNoncestr, "C");
  cls.property("package", &WeiXinInfo::package, &WeiXinInfo::setPackage, "C");
  cls.property("partnerid", &WeiXinInfo::partnerid, &WeiXinInfo::setPartnerid, "C");
  cls.property("prepayid", &WeiXinInfo::prepayid, &WeiXinInfo::setPrepayid, "C");
  cls.property("sign", &WeiXinInfo::sign, &WeiXinInfo::setSign, "C");
  cls.property("timestamp", &WeiXinInfo::timestamp, &WeiXinInfo::setTimestamp, "C");
  KT_MAP_KEYS(cls, weiXinKeys);
}

KIT_DEFINE_CLASS(DiscountPayWay, KTBaseResponse) {
  cls.property("orderID", &DiscountPayWay::orderID, &DiscountPayWay::setOrderID, "C");
  KT_MAP_KEYS(cls, orderKeys);
}

KIT_DEFINE_CLASS(GetMyDiscountResult, KTBaseResponse) {
  cls.property("discountNum", &GetMyDiscountResult::discountNum, &GetMyDiscountResult::setDiscountNum, "C");
  KT_MAP_KEYS(cls, discountKeys);
}

KIT_DEFINE_CLASS(WalletPayInfo, KTBaseResponse) {
  cls.property("signStr", &WalletPayInfo::signStr, &WalletPayInfo::setSignStr, "C");
  KT_MAP_KEYS(cls, walletKeys);
}
