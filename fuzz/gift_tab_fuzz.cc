// Fuzz target for the store hub's GM and VIP tabs: the bytes are a goods
// list (categories of gift objects, as the game server sends them) that
// fills a category menu and a gift grid on a key window; then the menu
// picks a category the bytes name and a gift of the list is announced as
// claimed, as if from the network. Whatever the list holds, the menu lists
// one row per category, the grid shows at most the gifts of one category,
// and a claim only ever sets a "status" to "1"; no menu row or gift reads
// "(null)".

#include <cstdint>
#include <cstdlib>
#include <string>

#include "channel/store/nuva_gift_grid.h"
#include "channel/store/nuva_gift_menu.h"
#include "fuzz/shown_text_check.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
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

// Icon addresses are defused: the fuzzer reads nothing remote.
std::string defused(std::string bytes) {
  for (size_t at = bytes.find("http"); at != std::string::npos; at = bytes.find("http", at)) bytes[at] = 'x';
  return bytes;
}

size_t largestCategory(const kit::Array& categories) {
  size_t largest = 0;
  for (const kit::Id& category : categories) {
    if (auto gifts = kit::as<kit::Array>(category)) largest = std::max(largest, gifts->count());
  }
  return largest;
}

template <class Menu, class Grid>
void run(const kit::Ref<kit::MutableArray>& categories, const NUVAGiftTab& tab, const std::string& pick,
         const uint8_t* data, size_t size) {
  auto& window = keyWindow();
  auto menu = kit::make<Menu>();
  menu->tableView()->setFrame({0, 0, 100, 250});
  window.addSubview(menu->tableView());
  auto grid = kit::make<Grid>();
  grid->view()->setFrame({100, 0, 280, 250});
  window.addSubview(grid->view());

  menu->setMenuArray(categories);
  grid->setSecondMArr(categories);
  check(kit::test::drain(kit::Queue::main()));
  check(menu->catelogyList()->count() == categories->count());
  kit::NotificationCenter::defaultCenter()->postNotificationName(tab.categoryNotification, kit::str(pick));
  check(grid->detailCategoryList()->count() <= largestCategory(*categories));

  // A claim of the first gift of the first category that has one.
  kit::Id claimed;
  for (const kit::Id& category : *categories) {
    auto gifts = kit::as<kit::Array>(category);
    if (gifts && gifts->count() > 0) {
      claimed = tab.record(gifts->objectAtIndex(0));
      break;
    }
  }
  kit::NotificationCenter::defaultCenter()->postNotificationName(tab.successNotification, claimed);
  check(kit::test::drain(kit::Queue::main()));
  auto marked = grid->secondMArr();
  check(marked->count() == categories->count());
  check(grid->detailCategoryList()->count() <= largestCategory(*marked));
  window.layoutIfNeeded();
  shownfuzz::checkScreen(data, size);
  menu->tableView()->removeFromSuperview();
  grid->view()->removeFromSuperview();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = defused(std::string(reinterpret_cast<const char*>(data), size));
  const size_t cut = bytes.find('\n');
  const std::string pick = bytes.substr(0, std::min(cut, static_cast<size_t>(8)));
  auto parsed = kit::JSONSerialization::JSONObjectWithData(
      kit::Data::make(cut == std::string::npos ? bytes : bytes.substr(cut + 1)), kit::JSONReadingMutableContainers);
  auto list = kit::as<kit::Array>(parsed);
  if (!list || list->count() > 64) return 0;
  auto categories = kit::MutableArray::make();
  categories->addObjectsFromArray(*list);
  run<NUVAGMMenuController, NUVAGMDetailViewController>(categories, NUVAGiftTab::gm(), pick, data, size);
  run<NUVAVIPMenuController, NUVAVIPDetailViewController>(categories, NUVAGiftTab::vip(), pick, data, size);
  return 0;
}
