// The installed store overlay factory and the form the orientation asks
// for. See nuva_store_overlays.h.

#include "channel/core/nuva_store_overlays.h"

#include <mutex>

#include "kit/foundation/no_destructor.h"
#include "kit/ui/application.h"

namespace {

std::mutex& overlaysMutex() {
  static kit::NoDestructor<std::mutex> mutex;
  return *mutex;
}

std::shared_ptr<NUVAStoreOverlays>& overlaysSlot() {
  static kit::NoDestructor<std::shared_ptr<NUVAStoreOverlays>> slot;
  return *slot;
}

}  // namespace

std::shared_ptr<NUVAStoreOverlays> NUVAStoreOverlays::installed() {
  std::lock_guard lock(overlaysMutex());
  return overlaysSlot();
}

void NUVAStoreOverlays::install(std::shared_ptr<NUVAStoreOverlays> overlays) {
  std::lock_guard lock(overlaysMutex());
  overlaysSlot() = std::move(overlays);
}

NUVAOverlayForm NUVAStoreOverlays::currentForm() {
  auto orientation = kit::Application::shared()->statusBarOrientation();
  bool portrait = orientation == kit::InterfaceOrientation::Portrait ||
                  orientation == kit::InterfaceOrientation::PortraitUpsideDown;
  return portrait ? NUVAOverlayForm::Portrait : NUVAOverlayForm::Landscape;
}
