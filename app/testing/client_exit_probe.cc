// The client program with one overlay open, for the tests of how it ends:
// it runs the client's application main as the gameclient program does
// (the page driver stands in for the browser engine), opens the overlay
// its first argument names on the key window once the client has
// launched, prints "exit probe: <overlay> shown" when the overlay is on a
// window, and then runs until the application terminates (SIGTERM,
// SIGINT, or, with --window, closing its desktop window).
//
//   client_exit_probe OVERLAY [--window]
//
// The overlays: the store hub's (store-hub, level-pop, free-video,
// video-gift, optional-gift), the hall's (resource-hall, not-open,
// turn-gift) and the user centre's (helper-ball, user-centre). The
// free-video card plays the configured video server's trailer and counts
// as shown once its countdown runs.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/application_main.h"
#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_optional_gift_view.h"
#include "channel/store/nuva_vedio_gift_view.h"
#include "config/client_configuration.h"
#include "kit/desktop/desktop_window.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/application_main.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/usercenter/cxr_helper_btn.h"

namespace {

void holdTerminationSignals(int, char**, char**) { kit::ApplicationHoldTerminationSignals(); }
[[gnu::used, gnu::section(".preinit_array")]] void (*const holdAtStart)(int, char**, char**) = holdTerminationSignals;

// The role description the channel core writes for a logged-in role.
kit::Ref<kit::String> roleDescription() {
  return kit::str(R"({"super_user_id":"99","super_role_id":"r1","super_token":"t0k3n99","cp_role_id":"10086",)"
                  R"("game_id":"1001","service_id":"3","channel_id":"256","service_name":"s","role_name":"r",)"
                  R"("role_level":"15"})");
}

kit::Ref<kit::MutableArray> items() {
  return kit::mutableArray({kit::dict({{"id", "1"}, {"name", "gold"}, {"num", "10"}, {"icon", ""}}),
                            kit::dict({{"id", "2"}, {"name", "gem"}, {"num", "1"}, {"icon", ""}})});
}

bool onWindow(const kit::Ref<kit::View>& view) { return view && view->window() && !view->window()->isHidden(); }

std::function<bool()> shown(const kit::Ref<kit::View>& view) {
  return [weak = kit::Weak<kit::View>(view)] { return onWindow(weak.lock()); };
}

// For an overlay the channel core reaches through its interface.
template <class Overlay>
std::function<bool()> shown(const std::shared_ptr<Overlay>& overlay) {
  return [weak = std::weak_ptr<Overlay>(overlay)] { return onWindow(std::dynamic_pointer_cast<kit::View>(weak.lock())); };
}

// Opens `overlay`; the returned test says whether it is on a window. Empty
// for an overlay of no known name.
std::function<bool()> open(const std::string& overlay) {
  auto overlays = NUVAStoreOverlays::installed();
  const NUVAOverlayForm form = NUVAStoreOverlays::currentForm();
  if (overlay == "store-hub") {
    auto hub = overlays->makeGMShopView(form);
    hub->setMenuBtnArray(kit::mutableArray({"1", "2", "3", "4"}));
    hub->setUserInfo(roleDescription());
    hub->setShop_type(kit::str("2"));
    hub->show();
    return shown(hub);
  }
  if (overlay == "level-pop") {
    auto pop = overlays->makeLevelPopView();
    pop->setItems(kit::str(R"([{"name":"gold","num":"10"}])"));
    pop->show();
    return shown(pop);
  }
  if (overlay == "free-video") {
    // The trailer is shorter than the time the offer asks for: once it has
    // played, the card counts the rest down on the shared countdown.
    auto video = NUVAFreeVedioView::init();
    auto trailer = ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelVideoBase,
                                                                "videos/trailer.mp4");
    video->setPlayerDic(kit::dict({{"is_get", "0"},
                                   {"items", R"([{"mid":"1","name":"gold","amount":"100"}])"},
                                   {"video_time", "600"},
                                   {"video_url", trailer}}));
    video->setUserInfo(roleDescription());
    video->show();
    video->tapStartIcon();
    return [weak = kit::Weak<NUVAFreeVedioView>(video)] {
      auto card = weak.lock();
      return card && onWindow(card) && NUVACountdown::shareInstance()->isHasRunTimer(card->countdownKey());
    };
  }
  if (overlay == "video-gift") {
    auto gift = NUVAVedioGiftView::init();
    gift->setDicArray(items());
    gift->setUserInfo(roleDescription());
    gift->show();
    return shown(gift);
  }
  if (overlay == "optional-gift") {
    auto gift = NUVAOptionalGiftView::init();
    gift->setGiftArray(items());
    gift->show();
    return shown(gift);
  }
  if (overlay == "resource-hall") {
    auto hall = overlays->makeResourceHallView(form);
    hall->setUserInfo(roleDescription());
    hall->setResponseData(kit::dict({{"data", kit::dict({{"list", kit::array({})}})}}));
    hall->show();
    return shown(hall);
  }
  if (overlay == "not-open") {
    auto placard = overlays->makeNotOpenView();
    placard->show();
    return shown(placard);
  }
  if (overlay == "turn-gift") {
    auto popUp = NUVATurnOneGiftPopView::init();
    popUp->setName(kit::str("gold*10"));
    popUp->show();
    return shown(popUp);
  }
  if (overlay == "helper-ball" || overlay == "user-centre") {
    auto ball = CXRHelperBtn::shared();
    ball->create();
    CXRHelperBtn::showBall();
    if (overlay == "helper-ball") return shown(kit::Ref<kit::View>(ball));
    ball->doShowHelperVC();
    auto root = CXRWindowManager::topWindow();
    auto presenter = root ? root->rootViewController() : nullptr;
    auto centre = presenter ? presenter->presentedViewController() : nullptr;
    if (!centre) return [] { return false; };
    return [weak = kit::Weak<kit::ViewController>(centre)] {
      auto controller = weak.lock();
      return controller && controller->isViewLoaded() && onWindow(controller->view());
    };
  }
  return {};
}

// Says the overlay is shown once `isShown` holds, looking again on each
// of the next passes of the main run loop.
void announceWhenShown(const std::string& overlay, std::function<bool()> isShown, int passesLeft) {
  if (isShown()) {
    std::printf("exit probe: %s shown\n", overlay.c_str());
    std::fflush(stdout);
    return;
  }
  if (passesLeft == 0) {
    std::fprintf(stderr, "exit probe: %s never came on a window\n", overlay.c_str());
    std::fflush(stderr);
    return;
  }
  kit::runOnMainAfter(0.01, [overlay, isShown = std::move(isShown), passesLeft] {
    announceWhenShown(overlay, isShown, passesLeft - 1);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: client_exit_probe OVERLAY [--window]\n", stderr);
    return 2;
  }
  const std::string overlay = argv[1];
  const bool window = argc > 2 && std::string(argv[2]) == "--window";
  std::unique_ptr<kit::DesktopWindow> desktop;
  if (window) {
    desktop = kit::DesktopWindow::open("client exit probe");
    if (!desktop) {
      std::fputs("exit probe: no window can be shown\n", stderr);
      return 1;
    }
    desktop->setCloseHandler([] { kit::Application::shared()->terminate(); });
  }
  // Runs once the launch is over and the loop turns.
  kit::Queue::main().async([overlay] {
    auto isShown = open(overlay);
    if (!isShown) {
      std::fprintf(stderr, "exit probe: no overlay named %s\n", overlay.c_str());
      kit::Application::shared()->terminate();
      return;
    }
    announceWhenShown(overlay, std::move(isShown), 3000);
  });
  char* launchArguments[] = {argv[0], nullptr};
  const int status = ApplicationMain(1, launchArguments);
  desktop.reset();
  return status;
}
