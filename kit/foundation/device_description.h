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

  // The description in force (the defaults above until one is set). Safe
  // from any thread.
  static DeviceDescription current();
  // Makes a description current.
  static void setCurrent(const DeviceDescription& description);
};

}  // namespace kit
