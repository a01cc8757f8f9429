// Fuzz target for the resource hall's goods reply ("infiniteres/goodsnew",
// the answer the hall is filled with): the bytes are the reply. Only a
// "200" reply with data gives cards, one per list entry, each with finite
// frames; no tab shows "(null)".

#include "channel/core/nuva_game_reply.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "fuzz/hall_fuzz_support.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto answer = kit::as<kit::Dictionary>(hallfuzz::reply(data, size));
  hallfuzz::keyWindow();
  for (bool portrait : {false, true}) {
    kit::Ref<NUVAResourceHall> hall;
    if (portrait) {
      hall = NUVAVerResourceHallView::init();
    } else {
      hall = NUVAResourceHallView::init();
    }
    hall->setResponseData(answer);
    hall->show();
    const auto data_ = kit::as<kit::Dictionary>(kit::Id(answer)["data"]);
    const bool taken = NUVAGameReply::isSuccess(answer) && data_ && data_->count() > 0;
    if (!taken) hallfuzz::check(hall->cards().empty());
    hallfuzz::check(hall->cards().size() == hall->resourceListArray()->count());
    for (const auto& card : hall->cards()) {
      hallfuzz::check(hallfuzz::finite(card->frame()));
      hallfuzz::check(hallfuzz::finite(card->contentLabel()->frame()));
    }
    for (const auto& tab : {hall->rebtn1(), hall->rebtn2(), hall->rebtn3()}) {
      hall->Clickrebtn(tab);
      shownfuzz::checkScreen(data, size);
    }
    hall->closeClick();
  }
  kit::test::drain(kit::Queue::main());
  return 0;
}
