// The platform reply models built from replies: the keys each reads, the
// fields it leaves empty, and replies of unexpected kinds.
#include <gtest/gtest.h>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "platform/account/cxr_sub_name_model.h"
#include "platform/account/kt_base_response.h"
#include "platform/account/kt_pay_replies.h"

namespace {

kit::Id json(const std::string& text) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), kit::JSONReadingMutableContainers);
}

std::string d(const kit::Id& value) { return kit::describe(value); }

TEST(ReplyModels, LoginResultReadsEveryKeyAndTheTruthOfFrz) {
  auto login = LoginResult::responseWithDic(json(R"({"z":"1","b":"u","c":"p","d":"s","e":"t","x":"m","sid":"S",
      "rz":"1","ic":"0","isck":"1","nrz":"1","lmit":"9"})"));
  EXPECT_EQ(d(login->code()), "1");
  EXPECT_EQ(d(login->userName()), "u");
  EXPECT_EQ(d(login->urserPwd()), "p");
  EXPECT_EQ(d(login->sign()), "s");
  EXPECT_EQ(d(login->sinceTime()), "t");
  EXPECT_EQ(d(login->mesage()), "m");
  EXPECT_EQ(d(login->sid()), "S");
  EXPECT_EQ(d(login->rz()), "1");
  EXPECT_EQ(d(login->isCancel()), "0");
  EXPECT_EQ(d(login->isck()), "1");
  EXPECT_EQ(d(login->rzStatus()), "1");
  EXPECT_EQ(d(login->lmitTime()), "9");
  EXPECT_FALSE(login->isMustRZ()) << "no frz";
  EXPECT_FALSE(LoginResult::responseWithDic(json(R"({"frz":"0"})"))->isMustRZ());
  EXPECT_TRUE(LoginResult::responseWithDic(json(R"({"frz":"1"})"))->isMustRZ());
  EXPECT_TRUE(LoginResult::responseWithDic(json(R"({"frz":1})"))->isMustRZ());
  EXPECT_FALSE(LoginResult::responseWithDic(json(R"({"frz":[1]})"))->isMustRZ()) << "a list has no truth value";
  // Text reads with the text truth value, for both replies that carry it.
  for (const char* yes : {"Y", "yes", "true", " 1", "2", "+1"}) {
    const std::string reply = std::string(R"({"frz":")") + yes + "\"}";
    EXPECT_TRUE(LoginResult::responseWithDic(json(reply))->isMustRZ()) << yes;
    EXPECT_TRUE(rzResult::responseWithDic(json(reply))->isMustRZ()) << yes;
  }
  for (const char* no : {"N", "no", "false", "", " 0", "0.5", "x1"}) {
    const std::string reply = std::string(R"({"frz":")") + no + "\"}";
    EXPECT_FALSE(LoginResult::responseWithDic(json(reply))->isMustRZ()) << no;
    EXPECT_FALSE(rzResult::responseWithDic(json(reply))->isMustRZ()) << no;
  }

  // The declared order is the platform's.
  std::vector<std::string> names;
  for (const auto& p : LoginResult::staticClass().declaredProperties()) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"userName", "urserPwd", "sign", "sinceTime", "rz", "isCancel", "sid",
                                             "isck", "isMustRZ", "rzStatus", "lmitTime"}));
}

TEST(ReplyModels, TextFieldsTakeNumbersAsTextAndNothingElse) {
  EXPECT_EQ(d(LoginResult::responseWithDic(json(R"({"b":12})"))->userName()), "12");
  EXPECT_EQ(d(LoginResult::responseWithDic(json(R"({"b":1.5})"))->userName()), "1.5");
  EXPECT_FALSE(LoginResult::responseWithDic(json(R"({"b":[]})"))->userName());
  EXPECT_FALSE(LoginResult::responseWithDic(json(R"({"b":null})"))->userName());
  EXPECT_FALSE(LoginResult::responseWithDic(json(R"({"b":{"c":"d"}})"))->userName());
  // A reply that is not a dictionary (JSON text included) gives an empty
  // model.
  EXPECT_FALSE(LoginResult::responseWithDic(kit::str(R"({"b":"u"})"))->userName());
  EXPECT_FALSE(LoginResult::responseWithDic(json(R"([{"b":"u"}])"))->userName());
  EXPECT_FALSE(LoginResult::responseWithDic(nullptr)->code());
}

TEST(ReplyModels, NamesAreThePlayersOwnWordsAndWhatElseTheGameHearsIsShownText) {
  // A user name or password spelled like a number that is none is the
  // player's: kept as it came, by the login and the registration answers.
  for (const char* own : {"Infinity", "-Infinity", "+Infinity", "NaN", "inf", " NaN "}) {
    const kit::Id reply = kit::dict({{"b", own}, {"c", own}});
    EXPECT_EQ(d(LoginResult::responseWithDic(reply)->userName()), own);
    EXPECT_EQ(d(LoginResult::responseWithDic(reply)->urserPwd()), own);
    EXPECT_EQ(d(RegisterResult::responseWithDic(reply)->userName()), own);
    EXPECT_EQ(d(RegisterResult::responseWithDic(reply)->userPwd()), own);
    auto sub = CXRSubNameModel::initWithDictionary(kit::dict({{"nickname", own}, {"username", own}}));
    EXPECT_EQ(d(sub->nickname()), own);
    EXPECT_EQ(d(sub->username()), own);
  }
  // Nothing to draw, the server's spellings of nothing and a flag name no
  // one.
  for (const kit::Id& none : {kit::Id(kit::str("<null>")), kit::Id(kit::str(" (null)")), kit::Id(kit::str(" ")),
                              kit::Id(kit::str("\u200b")), kit::Id(kit::num(true))}) {
    const kit::Id reply = kit::dict({{"b", none}, {"c", none}});
    EXPECT_FALSE(LoginResult::responseWithDic(reply)->userName()) << d(none);
    EXPECT_FALSE(LoginResult::responseWithDic(reply)->urserPwd()) << d(none);
    EXPECT_FALSE(RegisterResult::responseWithDic(reply)->userPwd()) << d(none);
    EXPECT_FALSE(CXRSubNameModel::initWithDictionary(kit::dict({{"username", none}}))->hasUserName()) << d(none);
  }
  // The sign, login time and real-name status are shown texts: a flag, a
  // spelling of nothing or of a number that is none is handed to the game
  // as no value, never as "1", "<null>" or "NaN".
  for (const kit::Id& none : {kit::Id(kit::num(true)), kit::Id(kit::str("<null>")), kit::Id(kit::str("NaN")),
                              kit::Id(kit::str("\u00a0-INF")), kit::Id(kit::str("nan(0x8000)"))}) {
    auto login = LoginResult::responseWithDic(kit::dict({{"d", none}, {"e", none}, {"nrz", none}}));
    EXPECT_FALSE(login->sign()) << d(none);
    EXPECT_FALSE(login->sinceTime()) << d(none);
    EXPECT_FALSE(login->rzStatus()) << d(none);
  }
  EXPECT_EQ(d(LoginResult::responseWithDic(kit::dict({{"d", "S1"}}))->sign()), "S1");
}

TEST(ReplyModels, RegistrationAndBaseLeaveTheirUnreadFieldsEmpty) {
  auto registered = RegisterResult::responseWithDic(
      json(R"({"z":"1","b":"u","c":"p","d":"ok","sign":"S","sinceTime":"T","e":"E"})"));
  EXPECT_EQ(d(registered->code()), "1");
  EXPECT_EQ(d(registered->userName()), "u");
  EXPECT_EQ(d(registered->userPwd()), "p");
  EXPECT_EQ(d(registered->mesage()), "ok");
  EXPECT_FALSE(registered->sign());
  EXPECT_FALSE(registered->sinceTime());
  auto base = KTBaseResponse::responseWithDic(json(R"({"code":"1","mesage":"m","z":"1","msg":"x"})"));
  EXPECT_FALSE(base->code());
  EXPECT_FALSE(base->mesage());
}

TEST(ReplyModels, NoticeReadsInsideDataAndFormatsItsStatus) {
  auto notice = GetNotice::responseWithDic(json(R"({"code":"1","msg":"m","data":{"status":1,"content":"c","id":7}})"));
  EXPECT_EQ(d(notice->code()), "1");
  EXPECT_EQ(d(notice->mesage()), "m");
  EXPECT_EQ(d(notice->status()), "1");
  EXPECT_EQ(d(notice->content()), "c");
  EXPECT_TRUE(kit::isEqual(notice->noticeId(), kit::num(7))) << "the id stays the number it was";

  auto textData = GetNotice::responseWithDic(json(R"({"code":"1","data":"x"})"));
  EXPECT_FALSE(textData->content());
  EXPECT_FALSE(textData->noticeId());
  EXPECT_NE(d(textData->status()), "1");
  auto nullContent = GetNotice::responseWithDic(json(R"({"data":{"status":"1","content":null,"id":"n1"}})"));
  EXPECT_FALSE(nullContent->content());
  EXPECT_EQ(d(nullContent->status()), "1");
  EXPECT_EQ(d(nullContent->noticeId()), "n1");
  EXPECT_EQ(d(GetNotice::responseWithDic(json(R"({"data":{"status":[1]}})"))->status()), "(null)");
}

TEST(ReplyModels, ListRepliesKeepTheirDictionariesOnly) {
  auto none = OrderRecords::responseWithDic(json(R"({"code":"1","data":{"z":"o1"}})"));
  ASSERT_TRUE(none->dataArray());
  EXPECT_EQ(none->dataArray()->count(), 0u);

  auto records = OrderRecords::responseWithDic(json(R"({"code":"1","msg":"m","data":[1,
      {"z":"o1","b":"6.00","paytype":"wx","create_time":"1700000000","d":"2023-11-14","code":"x"}, "t", [2]]})"));
  EXPECT_FALSE(records->code());
  EXPECT_FALSE(records->mesage());
  ASSERT_EQ(records->dataArray()->count(), 1u);
  auto first = kit::as<OrderRecords>(records->dataArray()->objectAtIndex(0));
  EXPECT_EQ(d(first->orderID()), "o1");
  EXPECT_EQ(d(first->amount()), "6.00");
  EXPECT_EQ(d(first->Paytype()), "wx");
  EXPECT_EQ(d(first->creatSinceTime()), "1700000000");
  EXPECT_EQ(d(first->creatTime()), "2023-11-14");
  EXPECT_FALSE(first->code());

  auto ways = PayWay::responseWithDic(json(R"({"code":"1","msg":"m","data":[{"z":"2","b":"钱包"},{"z":3},"x"]})"));
  EXPECT_EQ(d(ways->code()), "1");
  EXPECT_EQ(d(ways->mesage()), "m");
  ASSERT_EQ(ways->data()->count(), 2u);
  EXPECT_EQ(d(kit::as<PayWay>(ways->data()->objectAtIndex(0))->code()), "2");
  EXPECT_EQ(d(kit::as<PayWay>(ways->data()->objectAtIndex(0))->mesage()), "钱包");
  EXPECT_EQ(d(kit::as<PayWay>(ways->data()->objectAtIndex(1))->code()), "3");
  EXPECT_EQ(PayWay::responseWithDic(json(R"({"data":{"z":"2"}})"))->data()->count(), 0u);
}

TEST(ReplyModels, SubAccountDropsTheSignPrefixAndIgnoresOtherKeys) {
  auto sub = CXRSubNameModel::initWithDictionary(
      json(R"({"nickname":"小号","username":"u_1","sign":"x1a2b","login_time":1700000000,"extra":"e"})"));
  EXPECT_EQ(d(sub->nickname()), "小号");
  EXPECT_EQ(d(sub->username()), "u_1");
  EXPECT_EQ(d(sub->sign()), "1a2b");
  EXPECT_EQ(d(sub->login_time()), "1700000000");
  EXPECT_EQ(d(CXRSubNameModel::initWithDictionary(json(R"({"sign":""})"))->sign()), "");
  EXPECT_EQ(d(CXRSubNameModel::initWithDictionary(json(R"({"sign":"😀ab"})"))->sign()), "ab");
  EXPECT_FALSE(CXRSubNameModel::initWithDictionary(kit::str("x"))->username());
}

TEST(ReplyModels, PayRepliesReadTheirKeys) {
  auto real = rzResult::responseWithDic(json(R"({"z":"1","b":"ok","frz":"1","nrz":"2","lmit":"1700000000000"})"));
  EXPECT_EQ(d(real->mesage()), "ok");
  EXPECT_TRUE(real->isMustRZ());
  EXPECT_EQ(d(real->rzStatus()), "2");
  EXPECT_EQ(d(real->lmitTime()), "1700000000000");

  auto ptb = GetMyPtbResult::responseWithDic(json(R"({"z":"1","b":120,"c":"m"})"));
  EXPECT_EQ(d(ptb->ptb()), "120");
  EXPECT_EQ(d(ptb->mesage()), "m");

  auto help = HelpQQAndTel::responseWithDic(json(R"({"code":"1","data":{"b":"q","z":"t","d":"m","c":"10","e":"1"}})"));
  EXPECT_EQ(d(help->QQ()), "q");
  EXPECT_EQ(d(help->TEL()), "t");
  EXPECT_EQ(d(help->mesage()), "m");
  EXPECT_EQ(d(help->ttbRate()), "10");
  EXPECT_EQ(d(help->libaoShow()), "1");
  EXPECT_FALSE(help->code());

  auto wx = WeiXinInfo::responseWithDic(json(R"({"data":{"appid":"a","timestamp":1700000000,"sign":"s"}})"));
  EXPECT_EQ(d(wx->timestamp()), "1700000000");
  EXPECT_EQ(d(wx->appid()), "a");
  EXPECT_FALSE(WeiXinInfo::responseWithDic(json(R"({"data":"x"})"))->appid());

  auto wallet = WalletPayInfo::responseWithDic(json(R"({"z":"1","b":"m","c":"signed"})"));
  EXPECT_EQ(d(wallet->signStr()), "signed");
  EXPECT_FALSE(wallet->code());
  EXPECT_FALSE(wallet->mesage());

  auto notify = NotifyServer::responseWithDic(json(R"({"z":"1","b":"m","c":"http://p"})"));
  EXPECT_EQ(d(notify->messge()), "m");
  EXPECT_EQ(d(notify->code()), "1");
  EXPECT_EQ(d(notify->url()), "http://p");
  EXPECT_FALSE(notify->mesage());

  auto coins = PtbPay::responseWithDic(json(R"({"z":1,"b":"P1","c":"ok"})"));
  EXPECT_EQ(d(coins->code()), "1");
  EXPECT_EQ(d(coins->orderID()), "P1");
  EXPECT_EQ(d(coins->mesage()), "ok");
  auto game = GameDetail::responseWithDic(json(R"({"code":"1","data":{"z":"i","b":"d","e":"u","f":"n"}})"));
  EXPECT_EQ(d(game->iconURL()) + d(game->desc()) + d(game->downLoadURL()) + d(game->gameName()), "idun");
  auto quick = QuickPay::responseWithDic(json(R"({"z":"1","b":"u","c":"m","d":"o"})"));
  EXPECT_EQ(d(quick->url()) + d(quick->mesage()) + d(quick->orderID()), "umo");
}

}  // namespace
