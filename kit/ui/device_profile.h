// The device a test or the demo runs as: the device description below the
// screens (model, system version, scale; kit/foundation/device_description.h)
// plus the screen size and the unsafe edges of a full-screen window. The
// screen and the application read the current profile, the device and the
// code below ui its description; tests choose one (phone375x667,
// phone667x375, notched812x375, ...).
#pragma once

#include <string>

#include "kit/foundation/device_description.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/ui_types.h"

namespace kit {

struct DeviceProfile : DeviceDescription {
  std::string name;
  Size screenSize{375, 667};  // the screen's bounds as the device is held
  EdgeInsets safeAreaInsets;  // of a window covering the screen

  // A portrait phone without a notch (375 x 667, scale 2).
  static DeviceProfile phone375x667();
  // The same phone held in landscape (667 x 375).
  static DeviceProfile phone667x375();
  // A notched phone in landscape (812 x 375; 44-point side insets and a
  // 21-point home-indicator inset).
  static DeviceProfile notched812x375();
  // A notched phone in portrait (375 x 812; 44 top, 34 bottom).
  static DeviceProfile notched375x812();

  // The orientation the screen size implies.
  InterfaceOrientation orientation() const {
    return screenSize.width > screenSize.height ? InterfaceOrientation::LandscapeRight
                                                : InterfaceOrientation::Portrait;
  }
  bool hasNotch() const { return safeAreaInsets.bottom > 0; }

  // The profile in force (phone375x667 until one is chosen).
  static const DeviceProfile& current();
  // Makes a profile current, and its description the device description;
  // windows covering the old screen are resized.
  static void use(const DeviceProfile& profile);
};

// Chooses a profile for the life of a test and restores the previous one.
class DeviceProfileScope {
 public:
  explicit DeviceProfileScope(const DeviceProfile& profile);
  ~DeviceProfileScope();
  DeviceProfileScope(const DeviceProfileScope&) = delete;
  DeviceProfileScope& operator=(const DeviceProfileScope&) = delete;

 private:
  DeviceProfile previous_;
};

}  // namespace kit
