// Fuzz target for the level store's items text (the JSON text of an array
// of item objects inside a level pack, and inside the level offer that the
// level-reached pop-up shows): the bytes are that text. A level row makes
// one tile per item of an array and none for anything else; the pop-up
// makes one tile per item as well. Addresses are defused before parsing:
// the fuzzer reads nothing remote.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "channel/store/nuva_level_cell.h"
#include "channel/store/nuva_level_pop_view.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

kit::Window& keyWindow() {
  static kit::Ref<kit::Window>* window = [] {
    auto* w = new kit::Ref<kit::Window>(kit::Window::make());
    (*w)->setRootViewController(kit::make<kit::ViewController>());
    (*w)->makeKeyAndVisible();
    return w;
  }();
  return **window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (size_t at = bytes.find("http"); at != std::string::npos; at = bytes.find("http", at)) bytes[at] = 'x';
  auto text = kit::String::fromUTF8Bytes(bytes);
  if (!text) return 0;
  kit::Window& window = keyWindow();

  auto pack = NUVALevelModel::make();
  pack->setItems(text);
  pack->setIs_buy(kit::str("0"));
  pack->setMoney(kit::str("6"));
  const size_t items = pack->itemList()->count();
  auto row = NUVALevelCell::make(kit::TableViewCellStyle::Default, "cell");
  window.addSubview(row);
  row->setModel(pack);
  shownfuzz::checkTree(*row, data, size);
  check(row->tiles().size() == items);
  check(row->fixView()->subviews().size() == items);
  row->removeFromSuperview();

  auto popUp = NUVALevelPopView::init();
  popUp->setItems(text);
  check(popUp->itemsArray()->count() == items);
  popUp->show();
  check(popUp->tiles().size() == items);
  shownfuzz::checkTree(*popUp, data, size);
  popUp->dissMiss();
  return 0;
}
