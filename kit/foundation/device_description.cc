// The current device description. See device_description.h.
#include "kit/foundation/device_description.h"

#include <mutex>

namespace kit {

namespace {
std::mutex& descriptionMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
DeviceDescription& descriptionSlot() {
  static DeviceDescription* slot = new DeviceDescription;
  return *slot;
}
}  // namespace

DeviceDescription DeviceDescription::current() {
  std::lock_guard lock(descriptionMutex());
  return descriptionSlot();
}

void DeviceDescription::setCurrent(const DeviceDescription& description) {
  std::lock_guard lock(descriptionMutex());
  descriptionSlot() = description;
}

}  // namespace kit
