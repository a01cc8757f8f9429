// Fuzz target for the prize wheels' draw replies
// ("infiniteres/getwelfareturntable", "infiniteres/getsuperwelfareturntable"):
// the bytes are the reply, read after a draw that won one prize. A "200"
// reply leaves exactly its own "prop_list" (nothing of the earlier draw),
// any other reply ends the draw; both result pop-ups take the list. No
// toast or pop-up reads "(null)".

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "fuzz/hall_fuzz_support.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "ui/widgets/nuva_progress_hud.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kit::Id answer = hallfuzz::reply(data, size);
  hallfuzz::keyWindow();
  auto hall = NUVAResourceHallView::init();
  const kit::Id earlier = kit::dict({{"status", "200"}, {"data", kit::dict({{"prop_list", kit::array({kit::dict({{"name", "earlier"}})})}})}});
  hallfuzz::check(hall->takeDrawPrizes(earlier));
  const bool accepted = hall->takeDrawPrizes(answer);
  hallfuzz::check(accepted == NUVAGameReply::isSuccess(answer));
  hallfuzz::check(hall->isDrawing() == accepted);
  if (accepted) {
    auto list = kit::as<kit::Array>(answer["data"]["prop_list"]);
    hallfuzz::check(hall->prop_listArray()->count() == (list ? list->count() : 0));
    auto five = NUVATurnFiveGiftPopView::init();
    five->setProp_listArray(hall->prop_listArray());
    hallfuzz::check(five->tiles().size() == hall->prop_listArray()->count());
    for (const auto& tile : five->tiles()) hallfuzz::check(hallfuzz::finite(tile->frame()));
    if (hall->prop_listArray()->count() > 0) {
      auto prize = NUVATurnTableModel::withValues(hall->prop_listArray()->objectAtIndex(0));
      auto one = NUVATurnOneGiftPopView::init();
      one->setName(kit::str(NUVADataFormat::prizeCaption(prize->name(), prize->amount())));
      hallfuzz::check(hallfuzz::finite(one->nameLabel()->frame()));
      hallfuzz::check(one->nameLabel()->frame().width() <= 218);
      shownfuzz::checkTree(*one, data, size);
    }
    shownfuzz::checkTree(*five, data, size);
  }
  // The refusal's toast, which the status HUD shows from the main
  // operation queue.
  kit::test::settleMain();
  shownfuzz::checkTree(*NUVAProgressHUD::sharedView(), data, size);
  shownfuzz::checkScreen(data, size);
  return 0;
}
