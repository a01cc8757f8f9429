// The platform service over real HTTP on 127.0.0.1, driven by a plain HTTP
// client that writes the wire forms itself: what it checks and refuses,
// its state across calls, its scripting, and its web pages.
#include "sim/platform_service.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "kit/foundation/crypto.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/testing/temp_directory.h"
#include "sim/platform_body_codec.h"
#include "sim/platform_web_pages.h"
#include "sim/simulator.h"

namespace sim {
namespace {

constexpr const char* kAdvertising = "6D1C6F32-0B7E-4C1A-9F25-3A1B2C3D4E5F";

std::string d(const kit::Id& value) { return kit::describe(value); }

class PlatformServiceTest : public ::testing::Test {
 protected:
  PlatformServiceTest() {
    service = std::make_unique<PlatformService>(*server);
    service->setIdentity({"10001", "1001", "k1", "agent7", {"nuva01"}});
    PlatformAccount account;
    account.userName = "player01";
    account.password = "pass123";
    account.platformCoins = 50;
    account.coupons = {{"57", "满10减2", "10", "2"}};
    service->addAccount(account);
  }

  // A scrambled post; the reply as the endpoint's client reads it.
  kit::Id post(const std::string& endpoint, const kit::Id& parameters, PlatformAPIReply::Form form =
                                                                           PlatformAPIReply::Form::Scrambled) {
    httplib::Client client("127.0.0.1", server->port());
    auto result = client.Post(("/sdkapicoupon/" + endpoint).c_str(), PlatformBodyCodec::encodeReply(parameters),
                              "text/html");
    return read(result, form);
  }
  kit::Id postForm(const std::string& endpoint, const std::string& body) {
    httplib::Client client("127.0.0.1", server->port());
    return read(client.Post(("/sdkapicoupon/" + endpoint).c_str(), body, "application/x-www-form-urlencoded"),
                PlatformAPIReply::Form::JSON);
  }
  static kit::Id read(const httplib::Result& result, PlatformAPIReply::Form form) {
    if (!result) return nullptr;
    switch (form) {
      case PlatformAPIReply::Form::Scrambled: return PlatformBodyCodec::decodeRequest(result->body);
      case PlatformAPIReply::Form::Plain: {
        auto json = PlatformBodyCodec::gunzip(result->body);
        return json ? kit::JSONSerialization::JSONObjectWithData(kit::Data::make(*json), 0) : nullptr;
      }
      default: return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(result->body), 0);
    }
  }

  static kit::Ref<kit::MutableDictionary> loginOf(const char* name, const char* password) {
    return kit::mutableDict({{"z", name}, {"b", password}, {"c", "3"}, {"d", "1001"}, {"e", kAdvertising},
                             {"f", "agent7"}, {"x", "10001"}});
  }
  static kit::Ref<kit::MutableDictionary> orderOf(const char* number, const char* realMoney) {
    return kit::mutableDict({{"z", "qb"}, {"p", "10"}, {"xx", "1.00"}, {"b", realMoney}, {"c", "player01"},
                             {"d", "r1"}, {"e", "s1"}, {"f", "1001"}, {"x", number}, {"y", "desc"}, {"j", "10001"},
                             {"k", "agent7"}, {"h", kAdvertising}, {"l", "月卡"}, {"n", "cp"}, {"os", "ios"}});
  }
  static kit::Ref<kit::MutableDictionary> coinOrderOf(const char* realMoney) {
    return kit::mutableDict({{"z", "ptb"}, {"p", realMoney}, {"b", realMoney}, {"c", kAdvertising}, {"d", "10001"},
                             {"e", "agent7"}, {"f", "player01"}, {"x", "r1"}, {"h", "s1"}, {"j", "1001"},
                             {"y", "o7"}, {"os", "ios"}});
  }

  std::unique_ptr<PlatformService> service;  // goes after the server, whose answers call into it
  std::unique_ptr<PlatformAPIServer> server = PlatformAPIServer::start();
};

TEST_F(PlatformServiceTest, LoginIsSignedAndChecksWhatItReceives) {
  kit::Id reply = post("login/dologin", loginOf("player01", "pass123"));
  ASSERT_EQ(d(reply["z"]), "1") << d(reply);
  const std::string time = d(reply["e"]);
  EXPECT_EQ(d(reply["d"]), kit::md5Hex("username=player01&appkey=k1&logintime=" + time));
  EXPECT_NE(d(reply["d"]), kit::md5Hex("username=player02&appkey=k1&logintime=" + time));
  EXPECT_EQ(d(reply["b"]) + d(reply["c"]) + d(reply["rz"]) + d(reply["nrz"]), "player01pass12310");
  EXPECT_EQ(service->account("player01")->sid, d(reply["sid"]));

  // Each field the server checks, tampered with, is refused in the login's
  // envelope.
  struct Case {
    const char* key;
    kit::Id value;
    const char* why;
  };
  for (const Case& c : std::vector<Case>{{"b", kit::str("wrong"), PlatformService::kWrongPassword},
                                         {"z", kit::str("nobody"), PlatformService::kWrongPassword},
                                         {"x", kit::str("10002"), "应用不存在"},
                                         {"d", kit::str("1002"), "游戏不存在"},
                                         {"f", kit::str("other"), "渠道不存在"},
                                         {"c", kit::str("2"), "设备类型错误"},
                                         {"e", kit::str("6d1c6f32-0b7e-4c1a-9f25-3a1b2c3d4e5f"), "设备标识错误"},
                                         {"b", nullptr, "缺少参数b"},
                                         {"z", kit::array({"player01"}), "缺少参数z"}}) {
    auto login = loginOf("player01", "pass123");
    if (c.value) {
      login->setObject(c.value, std::string_view(c.key));
    } else {
      login->removeObjectForKey(kit::str(c.key));
    }
    kit::Id refused = post("login/dologin", login);
    EXPECT_EQ(d(refused), d(kit::dict({{"z", "0"}, {"x", c.why}}))) << c.key;
  }
  // A channel of the channel folder is the game's too.
  auto fromFolder = loginOf("player01", "pass123");
  fromFolder->setObject(kit::str("nuva01"), std::string_view("f"));
  EXPECT_EQ(d(post("login/dologin", fromFolder)["z"]), "1");
}

TEST_F(PlatformServiceTest, RequestsInAnotherClientsFormAreRefused) {
  httplib::Client client("127.0.0.1", server->port());
  auto form = client.Post("/sdkapicoupon/login/dologin", "z=player01&b=pass123", "application/x-www-form-urlencoded");
  EXPECT_EQ(d(read(form, PlatformAPIReply::Form::Scrambled)["x"]), "请求格式错误");
  kit::Id scrambledToForm = post("Sdkmsg/indexios", kit::dict({{"z", "u"}, {"b", "agent7"}, {"c", "1001"}}),
                                 PlatformAPIReply::Form::JSON);
  EXPECT_EQ(d(scrambledToForm), d(kit::dict({{"code", "0"}, {"msg", "请求格式错误"}})));
  service->setNotice(PlatformNotice{"1", "公告", 3});
  kit::Id notice = postForm("Sdkmsg/indexios", "z=u&b=agent7&c=1001");
  EXPECT_TRUE(kit::isKind<kit::Number>(notice["data"]["status"]));
  EXPECT_EQ(d(notice["data"]["content"]), "公告");
}

TEST_F(PlatformServiceTest, PhoneRegistrationNeedsTheIssuedCodeOnce) {
  auto code = kit::dict({{"z", "10001"}, {"b", "13800138000"}, {"c", 4}});
  EXPECT_EQ(d(post("login/yzm", kit::dict({{"z", "10001"}, {"b", "13800138000"}, {"c", "4"}}))["d"]),
            "验证码类型错误") << "the type is a number";
  EXPECT_EQ(d(post("login/yzm", code)["z"]), "1");
  const std::string issued = *service->issuedCode("13800138000");
  EXPECT_EQ(issued.size(), 6u);
  auto registration = kit::mutableDict({{"z", "13800138000"}, {"i", "000000"}, {"b", "secret1"}, {"c", "3"},
                                        {"d", "1001"}, {"e", kAdvertising}, {"f", "agent7"}, {"x", "10001"},
                                        {"h", "12.4"}});
  EXPECT_EQ(d(post("login/phoneRegister", registration)["d"]), "验证码错误");
  registration->setObject(kit::str(issued), std::string_view("i"));
  EXPECT_EQ(d(post("login/phoneRegister", registration)["z"]), "1");
  EXPECT_EQ(service->account("13800138000")->password, "secret1");
  EXPECT_EQ(d(post("login/phoneRegister", registration)["d"]), "验证码错误") << "spent";
  EXPECT_EQ(d(post("login/yzm", code)["d"]), "手机号已注册");
}

TEST_F(PlatformServiceTest, SubAccountsComePlainWithPrefixedSigns) {
  auto keys = [](const char* nickname) {
    return kit::dict({{"z", "player01"}, {"c", "1001"}, {"e", "agent7"}, {"f", "10001"}, {"x", nickname}});
  };
  EXPECT_EQ(d(post("login/iosaddxiaohao", keys("九个字符的名字太长了"), PlatformAPIReply::Form::Plain)["msg"]),
            "名称不能超过8个字符");
  kit::Id added;
  for (int i = 1; i <= 10; ++i) {
    added = post("login/iosaddxiaohao", keys(("号" + std::to_string(i)).c_str()), PlatformAPIReply::Form::Plain);
    ASSERT_EQ(d(added["code"]), "1") << i;
  }
  EXPECT_EQ(d(post("login/iosaddxiaohao", keys("满了"), PlatformAPIReply::Form::Plain)["msg"]), "小号数量已达上限");
  kit::Id listed = post("login/iosxiaohao", keys(""), PlatformAPIReply::Form::Plain);
  auto list = kit::as<kit::Array>(listed["data"]);
  ASSERT_EQ(list->count(), 10u);
  kit::Id first = list->objectAtIndex(0);
  const std::string sign = d(first["sign"]);
  EXPECT_EQ(sign.substr(0, 1), "x");
  EXPECT_EQ(sign.substr(1), service->loginSign(d(first["username"]), d(first["login_time"])));
}

TEST_F(PlatformServiceTest, ASubAccountNamedByBlanksAloneIsRefusedAsAnEmptyName) {
  auto keys = [](const char* nickname) {
    return kit::dict({{"z", "player01"}, {"c", "1001"}, {"e", "agent7"}, {"f", "10001"}, {"x", nickname}});
  };
  const size_t before = service->account("player01")->subAccounts.size();
  for (const char* blank : {"", " ", "        ", "\u3000", "\u00a0", "\u200b", "\t\n"}) {
    kit::Id refused = post("login/iosaddxiaohao", keys(blank), PlatformAPIReply::Form::Plain);
    EXPECT_NE(d(refused["code"]), "1") << blank;
    EXPECT_EQ(d(refused["msg"]), "请输入有效字符") << blank;
  }
  EXPECT_EQ(service->account("player01")->subAccounts.size(), before);
  EXPECT_EQ(d(post("login/iosaddxiaohao", keys(" 号 "), PlatformAPIReply::Form::Plain)["code"]), "1");
}

TEST_F(PlatformServiceTest, ANicknameIsTakenAsTypedUnlessItSpellsNothing) {
  auto keys = [](const char* nickname) {
    return kit::dict({{"z", "player01"}, {"c", "1001"}, {"e", "agent7"}, {"f", "10001"}, {"x", nickname}});
  };
  const size_t before = service->account("player01")->subAccounts.size();
  for (const char* none : {"<null>", "(null)", " <null>\u3000"}) {
    kit::Id refused = post("login/iosaddxiaohao", keys(none), PlatformAPIReply::Form::Plain);
    EXPECT_NE(d(refused["code"]), "1") << none;
    EXPECT_EQ(d(refused["msg"]), "请输入有效字符") << none;
  }
  EXPECT_EQ(service->account("player01")->subAccounts.size(), before);
  // The spellings of a number are nicknames, listed as they came.
  for (const char* name : {"NaN", "nan", "inf", "Infinity"}) {
    kit::Id added = post("login/iosaddxiaohao", keys(name), PlatformAPIReply::Form::Plain);
    ASSERT_EQ(d(added["code"]), "1") << name;
    auto list = kit::as<kit::Array>(added["data"]);
    ASSERT_TRUE(list) << name;
    EXPECT_EQ(d(list->lastObject()["nickname"]), name);
  }
}

TEST_F(PlatformServiceTest, OrdersArePaidOnTheirPageOrFromTheBalance) {
  kit::Id order = post("H5pay/pay", orderOf("O1", "8"));
  ASSERT_EQ(d(order["z"]), "1") << d(order);
  EXPECT_EQ(d(post("Pay/getUserSuccess", kit::dict({{"z", "player01"}}))["z"]), "0");
  EXPECT_EQ(d(post("H5pay/pay", orderOf("O1", "8"))["b"]), "订单号重复");

  // The cashier page links to the payment, which marks the order paid.
  httplib::Client web("127.0.0.1", server->port());
  const std::string page = d(order["c"]).substr(server->origin().size());
  auto cashier = web.Get(page.c_str());
  ASSERT_TRUE(cashier);
  EXPECT_NE(cashier->body.find("8元"), std::string::npos);
  const size_t link = cashier->body.find("href=\"") + 6;
  auto paid = web.Get(cashier->body.substr(link, cashier->body.find('"', link) - link).c_str());
  ASSERT_TRUE(paid);
  EXPECT_NE(paid->body.find("支付成功"), std::string::npos);
  EXPECT_TRUE(service->order("O1")->paid);
  EXPECT_EQ(service->order("O1")->cpExtend, "cp") << "kept to be handed back with the result";
  EXPECT_EQ(d(post("Pay/getUserSuccess", kit::dict({{"z", "player01"}}))["z"]), "1");

  // Checks of the amounts and the coupon.
  auto tooMuch = orderOf("O2", "12");
  EXPECT_EQ(d(post("H5pay/pay", tooMuch)["b"]), "金额错误");
  auto coupon = orderOf("O3", "8");
  coupon->setObject(kit::str("57"), std::string_view("cid"));
  coupon->setObject(kit::str("9"), std::string_view("p"));
  EXPECT_EQ(d(post("H5pay/pay", coupon)["b"]), "优惠券不可用") << "the coupon needs 10";
  EXPECT_EQ(d(post("H5pay/pay", orderOf("O4", "0"))["z"]), "11");
  EXPECT_TRUE(service->order("O4")->paid);

  // Coins: paid at once from the balance; an order it cannot pay is not kept.
  kit::Id coins = post("Ttbpaynew/ttbnew", coinOrderOf("40"));
  ASSERT_EQ(d(coins["z"]), "1") << d(coins);
  EXPECT_TRUE(service->order(d(coins["b"]))->paid);
  EXPECT_EQ(service->order(d(coins["b"]))->cpExtend, "o7");
  EXPECT_EQ(service->account("player01")->platformCoins, 10);
  const size_t kept = service->orders().size();
  EXPECT_EQ(d(post("Ttbpaynew/ttbnew", coinOrderOf("40"))), d(kit::dict({{"z", "0"}, {"c", "平台币余额不足"}})));
  EXPECT_EQ(d(post("Ttbpaynew/ttbnew", coinOrderOf("1.5"))["c"]), "平台币数量错误");
  EXPECT_EQ(service->orders().size(), kept);
}

TEST_F(PlatformServiceTest, FaultsComeBeforeQueuedRepliesWhichComeBeforeTheRoute) {
  const auto speed = kit::dict({{"g", "1001"}});
  server->enqueue("pay/getjiasu", PlatformAPIReply::scrambled(kit::dict({{"b", "first"}})));
  server->enqueue("pay/getjiasu", PlatformAPIReply::scrambled(kit::dict({{"b", "second"}})));
  server->setFault("pay/getjiasu", RouteFault::EmptyBody);
  httplib::Client client("127.0.0.1", server->port());
  auto empty = client.Post("/sdkapicoupon/pay/getjiasu", PlatformBodyCodec::encodeReply(speed), "text/html");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->body.empty());
  server->setFault("pay/getjiasu", RouteFault::ServerErrorJSON);
  auto broken = client.Post("/sdkapicoupon/pay/getjiasu", PlatformBodyCodec::encodeReply(speed), "text/html");
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->status, 500);
  server->setFault("pay/getjiasu", RouteFault::None);
  EXPECT_EQ(d(post("pay/getjiasu", speed)["b"]), "first");
  EXPECT_EQ(d(post("pay/getjiasu", speed)["b"]), "second");
  EXPECT_EQ(d(post("pay/getjiasu", speed)["b"]), "0");
  service->setSpeedUpEnabled(true);
  EXPECT_EQ(d(post("pay/getjiasu", speed)["b"]), "1");
  EXPECT_EQ(server->requestsTo("pay/getjiasu").size(), 6u) << "every request is logged";
}

TEST_F(PlatformServiceTest, WebPagesEscapeWhatTheyShow) {
  httplib::Client web("127.0.0.1", server->port());
  auto user = web.Get("/appview/User/sdkuser?username=%3Cscript%3Ealert(1)%3C%2Fscript%3E");
  ASSERT_TRUE(user);
  EXPECT_EQ(user->body.find("<script>"), std::string::npos);
  EXPECT_NE(user->body.find("&lt;script&gt;"), std::string::npos);
  auto logo = web.Get("/appview/kefu/sdk_logo?ag=agent7&time=1");
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->get_header_value("Content-Type"), "image/png");
  // The logo: 160 x 40 points at scale 2, a mark and a word mark on a clear
  // ground.
  auto picture = kit::Image::withData(
      std::span(reinterpret_cast<const uint8_t*>(logo->body.data()), logo->body.size()));
  ASSERT_TRUE(picture && picture->bitmap());
  const kit::Bitmap& pixels = *picture->bitmap();
  ASSERT_EQ(pixels.width(), 320u);
  ASSERT_EQ(pixels.height(), 80u);
  EXPECT_EQ(pixels.pixelAt(0, 0).a, 0);
  EXPECT_EQ(pixels.pixelAt(319, 79).a, 0);
  size_t mark = 0, words = 0;
  for (size_t y = 0; y < 80; ++y) {
    for (size_t x = 0; x < 320; ++x) (x < 90 ? mark : words) += pixels.pixelAt(x, y).a > 128;
  }
  EXPECT_GT(mark, 2000u) << "the mark";
  EXPECT_GT(words, 1000u) << "the word mark";
  EXPECT_LT(mark + words, 320u * 80u / 2) << "on a clear ground";
  auto unknown = web.Get("/appview/pay/cashier?order=%22%3E");
  ASSERT_TRUE(unknown);
  EXPECT_NE(unknown->body.find("订单不存在"), std::string::npos);
}

TEST(PlatformIdentity, ReadsTheBundleAsTheClientDoes) {
  kit::test::TempDirectory bundle;
  kit::writePropertyListToFile(kit::dict({{"TOLMIX_APPID", "10001"}, {"TOLMIX_GAMEID", "1001"},
                                          {"TOLMIX_APPKEY", "k1"}, {"TOLMIX_AGENT", "agent7"}}),
                               bundle.file("KT.plist"));
  std::filesystem::create_directories(bundle.file("KTAppInfo/Channel"));
  std::ofstream(bundle.file("KTAppInfo/Channel/nuva 02\n")) << "";
  auto identity = PlatformIdentity::fromBundle(bundle.path());
  EXPECT_EQ(identity.appId + identity.gameId + identity.appKey, "100011001k1");
  EXPECT_TRUE(identity.acceptsChannel("nuva02"));
  EXPECT_TRUE(identity.acceptsChannel("agent7"));
  EXPECT_FALSE(identity.acceptsChannel(""));
  EXPECT_FALSE(PlatformIdentity::fromBundle(bundle.file("missing")).acceptsChannel("agent7"));
}

TEST(Simulator, ConfiguresThePlatformAPIAndItsWebHost) {
  Simulator simulator;
  auto configuration = simulator.configuration();
  EXPECT_EQ(d((*configuration)["PlatformAPIBase"]), simulator.platformAPI().origin());
  EXPECT_EQ(d((*configuration)["PlatformWebHost"]), simulator.platformAPI().origin() + "/");
  simulator.platform().setIdentity({"10001", "1001", "k1", "agent7", {}});
  httplib::Client client("127.0.0.1", simulator.platformAPI().port());
  auto reply = client.Post("/sdkapicoupon/pay/getjiasu", PlatformBodyCodec::encodeReply(kit::dict({{"g", "1001"}})),
                           "text/html");
  ASSERT_TRUE(reply);
  EXPECT_EQ(d(PlatformBodyCodec::decodeRequest(reply->body)["z"]), "1");
}

}  // namespace
}  // namespace sim
