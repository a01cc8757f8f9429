// The current device description. See device_description.h.
#include "kit/foundation/device_description.h"

#include <mutex>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/uuid.h"

namespace kit {

namespace {
std::mutex& descriptionMutex() {
  static NoDestructor<std::mutex> mutex;
  return *mutex;
}
DeviceDescription& descriptionSlot() {
  static NoDestructor<DeviceDescription> slot;
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

std::string DeviceDescription::advertisingIdentifierInForce() {
  if (auto given = UUID::fromString(current().advertisingIdentifier)) return given->UUIDString();
  // One lock for the read and the first write, so two threads asking at
  // once do not each store an identifier of their own.
  static NoDestructor<std::mutex> storeMutex;
  std::lock_guard lock(*storeMutex);
  auto defaults = UserDefaults::standardUserDefaults();
  if (auto stored = defaults->stringForKey(kAdvertisingIdentifierKey)) {
    if (auto uuid = UUID::fromString(stored->utf8())) return uuid->UUIDString();
  }
  const std::string made = UUID().UUIDString();
  defaults->setObject(String::make(made), kAdvertisingIdentifierKey);
  defaults->synchronize();
  return made;
}

}  // namespace kit
