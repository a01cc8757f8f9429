// Device profiles, the main screen and the device.
#include "kit/ui/screen.h"

#include <cstdlib>
#include <mutex>

#include "kit/foundation/no_destructor.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"

namespace kit {

namespace {
std::mutex& profileMutex() {
  static std::mutex m;
  return m;
}
DeviceProfile& profileSlot() {
  static DeviceProfile p = DeviceProfile::phone375x667();
  return p;
}
}  // namespace

DeviceProfile DeviceProfile::phone375x667() {
  DeviceProfile p;
  p.name = "phone375x667";
  p.screenSize = {375, 667};
  p.scale = 2;
  p.model = "iPhone";
  p.machine = "iPhone10,1";
  return p;
}

DeviceProfile DeviceProfile::phone667x375() {
  DeviceProfile p = phone375x667();
  p.name = "phone667x375";
  p.screenSize = {667, 375};
  return p;
}

DeviceProfile DeviceProfile::notched812x375() {
  DeviceProfile p;
  p.name = "notched812x375";
  p.screenSize = {812, 375};
  p.scale = 3;
  p.safeAreaInsets = {0, 44, 21, 44};
  p.machine = "iPhone10,3";
  return p;
}

DeviceProfile DeviceProfile::notched375x812() {
  DeviceProfile p = notched812x375();
  p.name = "notched375x812";
  p.screenSize = {375, 812};
  p.safeAreaInsets = {44, 0, 34, 0};
  return p;
}

const DeviceProfile& DeviceProfile::current() {
  std::lock_guard lock(profileMutex());
  return profileSlot();
}

void DeviceProfile::use(const DeviceProfile& profile) {
  Size old;
  {
    std::lock_guard lock(profileMutex());
    old = profileSlot().screenSize;
    profileSlot() = profile;
  }
  DeviceDescription::setCurrent(profile);
  setMainScreenScale(profile.scale);
  Application::shared()->screenDidChange(old);
}

DeviceProfileScope::DeviceProfileScope(const DeviceProfile& profile) : previous_(DeviceProfile::current()) {
  DeviceProfile::use(profile);
}

DeviceProfileScope::~DeviceProfileScope() { DeviceProfile::use(previous_); }

// The screen and the device live for the process, as kit's other shared
// objects do: threads that still run while the program ends (an image
// decoding reads the screen's scale) must never copy a pointer whose
// static owner has already been destroyed.
Ref<Screen> Screen::main() {
  static const NoDestructor<Ref<Screen>> screen(kit::make<Screen>());
  return *screen;
}

Rect Screen::bounds() const {
  const Size s = DeviceProfile::current().screenSize;
  return {0, 0, s.width, s.height};
}

Rect Screen::nativeBounds() const {
  const DeviceProfile& p = DeviceProfile::current();
  // Native bounds are in pixels, portrait-up.
  const double w = std::min(p.screenSize.width, p.screenSize.height) * p.scale;
  const double h = std::max(p.screenSize.width, p.screenSize.height) * p.scale;
  return {0, 0, w, h};
}

double Screen::scale() const { return DeviceDescription::current().scale; }

Ref<Device> Device::current() {
  static const NoDestructor<Ref<Device>> device(kit::make<Device>());
  return *device;
}

std::string Device::name() const { return DeviceDescription::current().deviceName; }
std::string Device::model() const { return DeviceDescription::current().model; }
std::string Device::systemName() const { return DeviceDescription::current().systemName; }
std::string Device::systemVersion() const { return DeviceDescription::current().systemVersion; }
std::string Device::machine() const { return DeviceDescription::current().machine; }
double Device::systemVersionNumber() const { return std::strtod(systemVersion().c_str(), nullptr); }
Ref<UUID> Device::advertisingIdentifier() const {
  return UUID::fromString(DeviceDescription::advertisingIdentifierInForce());
}

}  // namespace kit
