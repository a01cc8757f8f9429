// Fuzz target for the user centre's home reply: any JSON value is shown by
// the home page as the "c" object of "Home/index" would be. The page shows
// it without crashing and the rebate box stays consistent: folded at 47
// points for a long text, shrunk by exactly what a short one lacks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "platform/usercenter/kt_su_home_vc.h"

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    fuzzsupport::silenceLogs();
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), 0);
  auto page = kit::make<KTSuHomeVC>();
  page->loadView();  // the scene alone: no request
  page->initUIWithData(reply);
  shownfuzz::checkTree(*page->view(), data, size, shownfuzz::Names::Shown);
  const double h = page->realHeight();
  check(h >= 0);
  if (h < KTSuHomeVC::FoldedH) {
    check(page->checkBtn()->isHidden());
    check(page->midViewH()->constant() == KTSuHomeVC::MidH - (KTSuHomeVC::FoldedH - h));
  } else {
    check(!page->checkBtn()->isHidden() && page->fanH()->constant() == KTSuHomeVC::FoldedH);
  }
  return 0;
}
