// Fuzz target for the pay sheet's pay-ways reply: any JSON value reaches the
// handler the sheet's request answers with. The sheet selects a style of 0
// to 6, its rows keep their height or lose it, and a discount it shows is a
// number; a coupon under the reply's "coupon" is handed to the sheet as the
// picker would, and one whose value is no amount is refused: no crash, no
// undefined behaviour.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/scene_registry.h"
#include "platform/account/kt_new_pay_vc.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

struct QuietSink : kit::LogSink {
  void write(const kit::LogRecord&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    kit::setLogSink(std::make_shared<QuietSink>());
    KTNewPayVC::registerScene();
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), 0);
  auto sheet = std::dynamic_pointer_cast<KTNewPayVC>(
      kit::Storyboard::named(KTNewPayVC::kStoryboard)->instantiateViewController(KTNewPayVC::kIdentifier));
  check(sheet != nullptr);
  // The scene only: the sheet's own request is not sent.
  sheet->loadView();
  sheet->handlePayWaysReply(reply);
  // A coupon under "coupon" goes through the picker's hand-back: a value
  // that is no amount changes nothing.
  if (auto coupon = KTCouponsModel::initWithDictionary(reply["coupon"])) {
    const kit::Id before = sheet->order().cid;
    sheet->couponChosen(coupon);
    const std::string value = kit::describe(coupon->coupon_money());
    if (value.empty() || value.find_first_not_of("0123456789.") != std::string::npos) {
      check(sheet->order().cid == before);
    }
  }

  check(sheet->payStyle() <= 6);
  for (const auto& height : {sheet->walletPayViewH(), sheet->GFWalletPayViewH(), sheet->wxViewH(),
                             sheet->GFWxViewH(), sheet->ptbViewH(), sheet->djqViewH()}) {
    check(height->constant() == 0 || height->constant() == KTNewPayVC::RowH);
  }
  // The selected style's amount, coins included, is always some text.
  for (unsigned long style = 1; style <= 6; ++style) sheet->setPayStyle(style);
  check(!sheet->realMoneyL()->text().empty() || sheet->order().realMoney == nullptr);
  return 0;
}
