// Fuzz target for the prize wheels' replies ("infiniteres/welfareturntable"
// and "infiniteres/superwelfareturntable"): the bytes are the reply, given
// to both wheels. The ring never has more cells than the reply has items,
// and the super wheel's progress bar keeps a finite fill within its track;
// nothing on the wheels, their tips and rules reads "(null)".

#include "channel/hall/nuva_resource_hall_view.h"
#include "fuzz/hall_fuzz_support.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kit::Id answer = hallfuzz::reply(data, size);
  hallfuzz::keyWindow();
  auto hall = NUVAResourceHallView::init();
  hall->takeWelfareAnswer(answer);
  hall->takeSuperWelfareAnswer(answer);
  auto items = kit::as<kit::Array>(answer["data"]["items"]);
  const size_t count = items ? items->count() : 0;
  hallfuzz::check(hall->welfarecellArray().size() <= count);
  hallfuzz::check(hall->superwelfarecellArray().size() <= count);
  const kit::Rect fill = hall->processView()->frame();
  hallfuzz::check(hallfuzz::finite(fill));
  hallfuzz::check(fill.width() <= NUVAResourceHall::kBarLength && fill.height() <= 40);
  if (!hall->superwelfarecellArray().empty()) {
    auto centre = hall->superturnTableImg()->viewWithTag(NUVAResourceHall::kSuperCentreTag);
    hallfuzz::check(centre != nullptr);
    hall->tapCenterImg(centre);
  }
  if (auto centre = hall->turnTableImg()->viewWithTag(NUVAResourceHall::kWelfareCentreTag)) hall->tapCenterImg(centre);
  for (const auto& cell : hall->welfarecellArray()) cell->tapCellView();
  // The wheels, their counts, cells and tips, and each tab's rules.
  for (const auto& tab : {hall->rebtn2(), hall->rebtn3()}) {
    hall->Clickrebtn(tab);
    shownfuzz::checkTree(*hall, data, size);
  }
  kit::test::drain(kit::Queue::main());
  return 0;
}
