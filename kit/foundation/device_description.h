// kit::DeviceDescription: the device the program runs as, as code below the
// screens sees it: model, hardware identifier, device name, system name and
// version, and the screen's scale. The HTTP client's user agent reads it;
// kit/ui's device profiles (which add the screen's size and safe area) set
// it when a test or the demo chooses a device, and kit::Device and
// kit::Screen answer from it.
#pragma once

#include <string>

namespace kit {

struct DeviceDescription {
  std::string model = "iPhone";
  std::string machine = "iPhone10,1";  // the hardware identifier
  std::string deviceName = "kit phone";
  std::string systemName = "iOS";
  std::string systemVersion = "12.4";
  double scale = 2;  // pixels per point of the main screen
  // An upper-case UUID text; empty means the identifier generated for this
  // installation (see advertisingIdentifier()).
  std::string advertisingIdentifier;

  // The description in force (the defaults above until one is set). Safe
  // from any thread.
  static DeviceDescription current();
  // Makes a description current.
  static void setCurrent(const DeviceDescription& description);

  // The advertising identifier in force, as an upper-case UUID text: the
  // current description's when it holds a UUID, else the one stored under
  // kAdvertisingIdentifierKey in the standard user defaults, generated and
  // stored (synchronised at once) when there is none or it is not a UUID.
  // Safe from any thread; concurrent first calls agree on one identifier.
  static std::string advertisingIdentifierInForce();
  static constexpr const char* kAdvertisingIdentifierKey = "kit.AdvertisingIdentifier";
};

}  // namespace kit
