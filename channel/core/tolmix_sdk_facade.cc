// The installed platform facade.

#include "channel/core/tolmix_sdk_facade.h"
#include "kit/foundation/no_destructor.h"

namespace {

std::mutex& facadeMutex() {
  static kit::NoDestructor<std::mutex> mutex;
  return *mutex;
}

std::shared_ptr<TolmixSDKFacade>& facadeSlot() {
  static kit::NoDestructor<std::shared_ptr<TolmixSDKFacade>> slot;
  return *slot;
}

}  // namespace

std::shared_ptr<TolmixSDKFacade> TolmixSDKFacade::installed() {
  std::lock_guard lock(facadeMutex());
  return facadeSlot();
}

void TolmixSDKFacade::install(std::shared_ptr<TolmixSDKFacade> facade) {
  std::lock_guard lock(facadeMutex());
  facadeSlot() = std::move(facade);
}
