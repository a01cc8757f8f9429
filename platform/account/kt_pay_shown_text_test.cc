// Every reply text the pay screens show, fed what no player can read in a
// text's place: collections, flags, blanks, zero-width spaces, the spellings
// of a null and of a number that is none, and numbers where a message
// belongs. For each field the sheet, driven against the platform service,
// must look and tell the game exactly what it does when the field is left
// out: no toast, label or title shows such a value, and the game never
// hears one as a message. A number is a set value where a label shows an
// amount or a name (a balance of 0 coins shows), never a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "kit/ui/application.h"
#include "platform/account/cxr_message.h"
#include "platform/account/kt_coupons_cell.h"
#include "platform/account/kt_coupons_vc.h"
#include "platform/account/testing/kt_pay_sheet_fixture.h"
#include "platform/base/testing/shown_texts.h"

namespace {

// The JSON shapes no screen shows as a value, whatever the field.
std::vector<std::string> unreadableShapes() {
  std::vector<std::string> shapes = shown::notTexts();
  shapes.insert(shapes.end(), {"true", "false"});
  shapes.insert(shapes.end(), shown::spellingsOfNothing().begin(), shown::spellingsOfNothing().end());
  return shapes;
}

// Which numbers a field may show as set values.
enum class Numbers { None, Zero, All };

class PayShownText : public PaySheetTest {
 protected:
  // What the player sees (the texts and titles of every window, blanks as
  // one mark, so that an empty toast counts too; a disabled button marked)
  // and what the game heard.
  struct Seen {
    std::vector<std::string> screen, heard;
    bool operator==(const Seen&) const = default;
  };
  Seen seen() const {
    Seen now{{}, heard};
    for (const auto& shownWindow : kit::Application::shared()->windows()) {
      kit::test::findViews(*shownWindow, [&](kit::View& view) {
        std::optional<std::string> text;
        if (auto label = dynamic_cast<kit::Label*>(&view)) text = label->text();
        if (auto button = dynamic_cast<kit::Button*>(&view)) {
          text = button->currentTitle() + (button->isEnabled() ? "" : " [off]");
        }
        if (text) now.screen.push_back(kit::hasVisibleCharacter(*text) ? *text : "[blank]");
        return false;
      });
    }
    std::sort(now.screen.begin(), now.screen.end());
    return now;
  }
  // What one sorted list holds that the other does not, as "+text" and
  // "-text"; "" when they hold the same.
  static std::string difference(const std::vector<std::string>& now, const std::vector<std::string>& missing) {
    std::vector<std::string> extra, lacking;
    std::set_difference(now.begin(), now.end(), missing.begin(), missing.end(), std::back_inserter(extra));
    std::set_difference(missing.begin(), missing.end(), now.begin(), now.end(), std::back_inserter(lacking));
    std::string all;
    for (const auto& text : extra) all += " +" + text;
    for (const auto& text : lacking) all += " -" + text;
    return all;
  }

  // Feeds every shape through one field: `reply` makes the reply with the
  // field's JSON (nullopt: the field left out), `act` takes it to the
  // screen and returns once the outcome is in, `reset` clears the outcome.
  void check(const std::string& field, Numbers numbers,
             const std::function<std::string(const std::optional<std::string>&)>& reply,
             const std::function<void(const std::string& reply)>& act, const std::function<void()>& reset) {
    auto outcome = [&](const std::optional<std::string>& shape) {
      heard.clear();
      act(reply(shape));
      Seen now = seen();
      reset();
      return now;
    };
    const Seen missing = outcome(std::nullopt);
    std::vector<std::string> shapes = unreadableShapes();
    if (numbers != Numbers::All) shapes.push_back("1e308");
    if (numbers == Numbers::None) shapes.push_back("0");
    for (const auto& shape : shapes) {
      const Seen now = outcome(shape);
      EXPECT_EQ(difference(now.screen, missing.screen), "") << field << " = " << shape;
      EXPECT_EQ(now.heard, missing.heard) << field << " = " << shape;
    }
  }

  // A reply of the JSON object `fields` with `key` set to the shape, or
  // without `key` when the shape is nullopt.
  static std::function<std::string(const std::optional<std::string>&)> with(std::string fields, std::string key) {
    return [fields, key](const std::optional<std::string>& shape) {
      return "{" + fields + (shape ? ",\"" + key + "\":" + *shape : std::string()) + "}";
    };
  }

  // Lets the toasts shown so far fade out and go.
  void toastsGone() { clock.advance(CXRMessage::FadeDelay + CXRMessage::FadeDuration); }

  // A sheet offering every pay way the shapes go through.
  kit::Ref<KTNewPayVC> openAll() {
    platform->setPayWays({{"2", "钱包", ""}, {"5", "钱包APP", ""}, {"6", "微信官方", ""}, {"1", "平台币", ""},
                          {"4", "代金券", ""}});
    return open("6");
  }
  // Presses pay on `sheet` and waits until the game hears of the order.
  void payAndHear(KTNewPayVC& sheet) {
    const size_t before = heard.size();
    kit::test::tap(sheet.payBtn());
    EXPECT_TRUE(kit::test::runUntil([&] { return heard.size() > before; }));
  }
};

TEST_F(PayShownText, ThePayWaysReplyShowsNoValueNobodyCanRead) {
  auto sheet = openAll();
  ASSERT_TRUE(sheet);
  // Asks for the pay ways again with a scripted reply, as opening does.
  auto reload = [&](const std::string& reply) {
    server->enqueue(KTNewPayVC::kPayWaysEndpoint, sim::PlatformAPIReply::scrambled(json(reply)));
    const size_t asked = server->requestsTo(KTNewPayVC::kPayWaysEndpoint).size();
    sheet->loadData();
    ASSERT_TRUE(waitForCalls(KTNewPayVC::kPayWaysEndpoint, asked + 1));
    ASSERT_TRUE(kit::test::runUntil([&] { return sheet->hud()->hasFinished(); }));
    settle();
  };
  auto none = [] {};
  const std::string ways = R"("code":"1","msg":"","data":[{"z":"1"},{"z":"4"}])";
  // A refusal's message is toasted.
  check("msg", Numbers::None, with(R"("code":"0")", "msg"), reload, [&] { toastsGone(); });
  // The balances of the coin and voucher rows, and the discount.
  check("ttb", Numbers::Zero, with(ways + R"(,"djq":"3.5","discount":1)", "ttb"), reload, none);
  check("djq", Numbers::Zero, with(ways + R"(,"ttb":"120","discount":1)", "djq"), reload, none);
  check("discount", Numbers::None, with(ways + R"(,"ttb":"120","djq":"3.5")", "discount"), reload, none);
  EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
}

TEST_F(PayShownText, AnOrdersRefusalIsToastedAndHeardOnlyWhenReadable) {
  auto sheet = openAll();
  ASSERT_TRUE(sheet);
  struct Way {
    kit::Ref<kit::Button> row;
    const char* endpoint;
    bool form;
    const char* refusal;  // the refusal's code and the key of its message
    const char* key;
  } ways[] = {{sheet->walletPayIconBtn(), "H5pay/pay", false, R"("z":0)", "b"},
              {sheet->GFWalletPayIconBtn(), "WalletPayapp/apppayios", true, R"("z":0)", "b"},
              {sheet->GFWxIconBtn(), "wxh5/h5pay", false, R"("code":0)", "msg"},
              {sheet->ptbIconBtn(), "Ttbpaynew/ttbnew", false, R"("z":0)", "c"},
              {sheet->djqIconBtn(), "Ttbpaynew/djqpay", false, R"("z":0)", "c"}};
  for (const auto& way : ways) {
    kit::test::tap(way.row);
    auto refuse = [&](const std::string& reply) {
      server->enqueue(way.endpoint, way.form ? sim::PlatformAPIReply::json(json(reply))
                                             : sim::PlatformAPIReply::scrambled(json(reply)));
      payAndHear(*sheet);
    };
    check(way.endpoint, Numbers::None, with(way.refusal, way.key), refuse, [&] { toastsGone(); });
  }
  EXPECT_EQ(KTNewPayVC::openSheet(), sheet) << "every refusal keeps the sheet open";
}

TEST_F(PayShownText, APaidOrdersMessageReachesTheGameOnlyWhenReadable) {
  // A coin or voucher order closes its sheet when paid: one sheet a shape.
  struct Way {
    const char* code;
    const char* endpoint;
  } ways[] = {{"1", "Ttbpaynew/ttbnew"}, {"4", "Ttbpaynew/djqpay"}};
  for (const auto& way : ways) {
    platform->setPayWays({{way.code, "way", ""}});
    auto payPaid = [&](const std::string& reply) {
      auto sheet = open("6");
      ASSERT_TRUE(sheet);
      server->enqueue(way.endpoint, sim::PlatformAPIReply::scrambled(json(reply)));
      payAndHear(*sheet);
      settle();
      ASSERT_FALSE(KTNewPayVC::openSheet());
    };
    check(way.endpoint, Numbers::None, with(R"("z":1,"b":"P9")", "c"), payPaid, [] {});
  }
}

TEST_F(PayShownText, AnOrderWithoutAPayPageOpensNone) {
  // An address is a text: anything else in its place is a success that
  // lacks the pay page, as one without it.
  auto sheet = openAll();
  ASSERT_TRUE(sheet);
  struct Way {
    kit::Ref<kit::Button> row;
    const char* endpoint;
    const char* success;
    const char* key;
  } ways[] = {{sheet->walletPayIconBtn(), "H5pay/pay", R"("z":1,"b":"ok")", "c"},
              {sheet->GFWxIconBtn(), "wxh5/h5pay", R"("code":1,"msg":"ok")", "data"}};
  for (const auto& way : ways) {
    kit::test::tap(way.row);
    auto order = [&](const std::string& reply) {
      server->enqueue(way.endpoint, sim::PlatformAPIReply::scrambled(json(reply)));
      payAndHear(*sheet);
      settle();
      EXPECT_EQ(nav(*sheet)->viewControllers().size(), 1u) << reply;
    };
    check(way.endpoint, Numbers::None, with(way.success, way.key), order, [&] { toastsGone(); });
  }
}

TEST_F(PayShownText, OnlyACodeOfOneInTheResultReplyIsPaid) {
  // The result polling after a web payment: "z" "1" (a text or a number)
  // says paid; a flag or anything else in its place, like no "z", leaves
  // the notice paying, the polling going, and the game hearing a failure.
  platform->setPayWays({{"2", "钱包", ""}});
  auto poll = [&](const std::string& reply) {
    auto sheet = open("6");
    ASSERT_TRUE(sheet);
    for (int i = 0; i < 3; ++i) {
      server->enqueue(KTNewPayVC::kResultEndpoint, sim::PlatformAPIReply::scrambled(json(reply)));
    }
    const size_t asked = server->requestsTo(KTNewPayVC::kResultEndpoint).size();
    sheet->webPayReturned(nullptr);
    // Every poll goes out only while none before it said paid.
    for (size_t sent = 1; sent <= 3; ++sent) {
      clock.advance(sent == 1 ? 0 : KTNewPayVC::PollInterval);
      ASSERT_TRUE(waitForCalls(KTNewPayVC::kResultEndpoint, asked + sent)) << reply;
    }
    kit::test::tap(sheet->noticeView()->goToGameButton());
    settle();
    ASSERT_FALSE(KTNewPayVC::openSheet());
  };
  check("z", Numbers::None, with(R"("b":"等待支付")", "z"), poll, [] {});
  // The check above holds for a paying reply too: "1" ends the polling.
  auto sheet = open("6");
  ASSERT_TRUE(sheet);
  server->enqueue(KTNewPayVC::kResultEndpoint, sim::PlatformAPIReply::scrambled(json(R"({"z":1})")));
  sheet->webPayReturned(nullptr);
  clock.advance(0);
  ASSERT_TRUE(kit::test::runUntil([&] { return sheet->noticeView()->statusL()->text() == KTNewPayVC::kPaid; }));
  EXPECT_FALSE(sheet->timer());
}

TEST_F(PayShownText, ACouponsCardShowsNoValueNobodyCanRead) {
  auto sheet = openAll();
  ASSERT_TRUE(sheet);
  // Opens the picker with one scripted coupon and waits for its card.
  auto pick = [&](const std::string& reply) {
    server->enqueue(KTCouponsVC::kEndpoint,
                    sim::PlatformAPIReply::scrambled(json(R"({"code":1,"msg":"","data":[)" + reply + "]}")));
    const size_t asked = server->requestsTo(KTCouponsVC::kEndpoint).size();
    kit::test::tap(sheet->couponsBtn());
    settle();
    auto picker = std::dynamic_pointer_cast<KTCouponsVC>(sheet->presentedViewController());
    ASSERT_TRUE(picker);
    ASSERT_TRUE(waitForCalls(KTCouponsVC::kEndpoint, asked + 1));
    ASSERT_TRUE(kit::test::runUntil([&] {
      picker->tableView()->layoutIfNeeded();
      return picker->tableView()->visibleCells().size() == 1;
    }));
  };
  auto close = [&] {
    if (auto picker = std::dynamic_pointer_cast<KTCouponsVC>(sheet->presentedViewController())) picker->doCancel();
    settle();
  };
  const std::pair<const char*, const char*> fields[] = {{"coupon_name", "满10减2"}, {"coupon_money", "2"},
                                                        {"pay_money", "10"},        {"av_time", "2099-12-31"},
                                                        {"gid", "0"},               {"av", "1"}};
  for (const auto& [key, value] : fields) {
    // The other fields as the platform sends them.
    std::string others = R"("cid":"57")";
    for (const auto& [otherKey, otherValue] : fields) {
      if (std::string(otherKey) != key) others += std::string(",\"") + otherKey + "\":\"" + otherValue + "\"";
    }
    check(key, Numbers::All, with(others, key), pick, close);
  }
}

}  // namespace
