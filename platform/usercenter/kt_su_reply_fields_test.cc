// Every text of the platform's list replies that the user centre's rows
// show, fed each value a reply may put in a text's place (collections,
// flags, numbers, blanks, characters that draw nothing, the texts of a
// missing value and of a number that is none), through the model mapping
// the lists use: a label shows what a label shows of it, a tag on its
// coloured box what a message reads of it, and nothing reads "<null>",
// "(null)", "NaN" or a flag's "1". (The home page takes the same values in
// kt_su_home_values_test.cc.)

#include <gtest/gtest.h>

#include "data/model/mx_key_value.h"
#include "kit/foundation/json_serialization.h"
#include "platform/base/testing/shown_texts.h"
#include "platform/usercenter/kt_gift_cells.h"
#include "platform/usercenter/kt_kaifu_cell.h"
#include "platform/usercenter/kt_su_coupon_cell.h"
#include "platform/usercenter/kt_su_home_cell.h"
#include "platform/usercenter/kt_su_home_msg_cell.h"
#include "platform/usercenter/kt_su_models.h"
#include "platform/usercenter/kt_trade_cells.h"
#include "platform/usercenter/usercenter_test_fixture.h"

namespace {

kit::Id parsed(const std::string& json) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), 0);
}

// A record whose every field in `fields` holds `value` (a JSON text).
std::string record(std::initializer_list<const char*> fields, const std::string& value) {
  std::string json = "{";
  for (const char* field : fields) json += std::string(json.size() > 1 ? "," : "") + "\"" + field + "\":" + value;
  return json + "}";
}

template <class Model>
kit::Ref<Model> mapped(std::initializer_list<const char*> fields, const std::string& value) {
  auto rows = mx_objectArrayWithKeyValuesArray(Model::staticClass(), parsed("[" + record(fields, value) + "]"));
  return rows && rows->count() == 1 ? kit::as<Model>(rows->objectAtIndex(0)) : nullptr;
}

class ReplyFields : public UserCentreTest {};

TEST_F(ReplyFields, EveryListRowShowsEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    const std::string& label = v.label;
    SCOPED_TRACE(v.json);

    auto news = mapped<KTSuHomeMsgModel>({"tag", "post_title", "time"}, v.json);
    ASSERT_TRUE(news);
    auto home = KTSuHomeCell::make();
    home->setModel(news);
    EXPECT_EQ(home->tagL()->text(), v.message);
    EXPECT_EQ(home->contentL()->text(), label);
    auto message = KTSuHomeMsgCell::make();
    message->setModel(news);
    EXPECT_EQ(message->tagL()->text(), v.message);
    EXPECT_EQ(message->contentL()->text(), "           " + label);
    EXPECT_EQ(message->timeL()->text(), label);

    auto server = KTKaifuCell::make();
    server->setModel(mapped<KTSuKaifuModel>({"servername", "day", "hour"}, v.json));
    EXPECT_EQ(server->dayL()->text(), label);
    EXPECT_EQ(server->timeL()->text(), label);
    EXPECT_EQ(server->serverL()->text(), label);

    auto trade = KTTradeCell::make();
    trade->setModel(mapped<KTSuTradeModel>({"prices", "server", "time", "gamename", "title"}, v.json));
    EXPECT_EQ(trade->timeL()->text(), "上架时间：" + label);
    EXPECT_EQ(trade->moneyL()->text(), "¥" + label);
    EXPECT_EQ(trade->nameL()->text(), label);
    EXPECT_EQ(trade->serverL()->text(), "区服：" + label);
    EXPECT_EQ(trade->titleL()->text(), label);

    auto pack = mapped<KTSuGiftModel>({"name", "excerpt", "code", "part_num", "percentage", "instructions"}, v.json);
    auto claim = KTGetGiftCell::make();
    claim->setModel(pack);
    EXPECT_EQ(claim->typeL()->text(), label);
    EXPECT_EQ(claim->contentL()->text(), label);
    EXPECT_EQ(claim->residueL()->text(), "剩余:" + label + "%");
    EXPECT_EQ(claim->countL()->text(), "已有" + label + "人领取");
    auto copy = KTCopyGiftCell::make();
    copy->setModel(pack);
    EXPECT_EQ(copy->typeL()->text(), label);
    EXPECT_EQ(copy->codeL()->text(), label);
    EXPECT_EQ(copy->contentL()->text(), label);

    auto coupon = KTSuCouponCell::make();
    coupon->setModel(mapped<KTSuCouponModel>({"gamename", "av_time", "pay_money", "coupon_money"}, v.json));
    EXPECT_EQ(coupon->nameL()->text(), label);
    EXPECT_EQ(coupon->timeL()->text(), "· 有效期：" + label);
    EXPECT_EQ(coupon->moneyL()->text(), "· 满" + label + "元可用");
    EXPECT_EQ(coupon->couponL()->text(), label);

    for (const kit::Ref<kit::View>& row :
         std::initializer_list<kit::Ref<kit::View>>{home, message, server, trade, claim, copy, coupon}) {
      EXPECT_EQ(shown::unreadableTextsIn(*row), std::vector<std::string>{});
    }
  }
}

TEST_F(ReplyFields, AFlagInAnIdOrStateKeepsItsMeaning) {
  // Only the texts a row shows leave a flag unset: a pack claimed with
  // "getstatus": true stays claimed.
  auto pack = mapped<KTSuGiftModel>({"getstatus"}, "true");
  ASSERT_TRUE(pack);
  EXPECT_EQ(kit::describe(pack->getstatus()), "1");
  auto news = mapped<KTSuHomeMsgModel>({"url"}, "7");
  EXPECT_EQ(kit::describe(news->url()), "7");
}

}  // namespace
