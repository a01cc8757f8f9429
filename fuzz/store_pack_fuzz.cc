// Fuzz target for the time store's outside input: the bytes are a pack
// list answer (the readers of the tab's answers and of an order answer must
// take anything), and each pack object of its list, or the whole value when
// there is no list, configures a pack row on a key window. Every slot gets
// the first item still offered. The row's tiles stay within the pack's
// items and slots, and its order remark always has at least five fields:
// the pack's id, then only the pack's own item ids, then "0"s.
// Addresses are defused before parsing: the fuzzer reads nothing remote.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "channel/core/nuva_channel_reply.h"
#include "channel/store/nuva_gift_cell.h"
#include "channel/store/nuva_store_order.h"
#include "channel/store/nuva_store_replies.h"
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

std::string defused(std::string bytes) {
  for (size_t at = bytes.find("http"); at != std::string::npos; at = bytes.find("http", at)) bytes[at] = 'x';
  return bytes;
}

std::vector<std::string> fields(const std::string& remark) {
  std::vector<std::string> out(1);
  for (char c : remark) {
    if (c == '|') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

void checkRow(const kit::Id& packObject, kit::Window& window, const uint8_t* data, size_t size) {
  auto row = NUVAGiftCell::make(kit::TableViewCellStyle::Default, "cell");
  row->setFrame({0, 0, 547, 51});
  window.addSubview(row);
  auto pack = NUVATimeStoreModel::withValues(packObject);
  row->setModel(pack);
  shownfuzz::checkTree(*row, data, size);
  const size_t fixed = pack->fixedItems()->count(), optional = pack->optionalItems()->count();
  check(row->tiles().size() <= fixed + std::max(optional, static_cast<size_t>(NUVAGiftRow::kMaxSlots)));

  // Fill the slots one by one with what the chooser offers first.
  if (pack->isCustomPack()) {
    for (size_t i = row->showPlus() ? fixed : 0; i < row->tiles().size(); ++i) {
      row->clickFixBtn(*row->tiles()[i]);
      auto chooser = row->alert();
      window.layoutIfNeeded();
      if (!chooser->tiles().empty()) {
        chooser->ClickBtn(*chooser->tiles()[0]);
      } else {
        chooser->dissmiss();
      }
    }
    check(row->chooseModelArray()->count() + row->giftModelArray()->count() == optional);
  }

  auto remark = row->orderRemark();
  if (remark) {
    const std::string goodId = kit::describe(pack->good_id());
    std::set<std::string> own{"0"};
    for (const auto& list : {pack->fixedItems(), pack->optionalItems()}) {
      for (const kit::Id& item : *list) own.insert(kit::describe(item["mid"]));
    }
    auto parts = fields(remark->utf8());
    check(parts.size() >= NUVAStoreOrder::kRemarkFields);
    check(remark->utf8().starts_with(goodId));
    bool plainIds = goodId.find('|') == std::string::npos;
    for (const auto& id : own) plainIds = plainIds && id.find('|') == std::string::npos;
    if (plainIds) {
      for (size_t i = 1; i < parts.size(); ++i) check(own.count(parts[i]) == 1);
    }
  } else {
    check(pack->isCustomPack());
  }
  if (row->alert()) row->alert()->dissmiss();
  row->removeFromSuperview();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = defused(std::string(reinterpret_cast<const char*>(data), size));
  kit::Id answer = NUVAChannelReply::parse(kit::Data::make(bytes));

  NUVAStoreReplies::refreshSeconds(answer);
  NUVAStoreReplies::levelStorePacks(answer);
  auto order = NUVAStoreOrder::orderOf(answer, {kit::str("n"), kit::str("1"), kit::str("6")});
  if (order) check((*order)->count() == 5);

  kit::Window& window = keyWindow();
  auto packs = NUVAStoreReplies::timeStorePacks(answer);
  if (packs && packs->list->count() > 0) {
    size_t shown = 0;
    for (const kit::Id& pack : *packs->list) {
      if (++shown > 8) break;
      checkRow(pack, window, data, size);
    }
  } else {
    checkRow(answer, window, data, size);
  }
  return 0;
}
