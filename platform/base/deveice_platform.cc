// Model names from hardware identifiers. See deveice_platform.h.
#include "platform/base/deveice_platform.h"

#include <sys/utsname.h>

std::string DeveicePlatform::platform() {
  struct utsname names {};
  if (uname(&names) != 0) return platformForMachine("");
  return platformForMachine(names.machine);
}

std::string DeveicePlatform::platformForMachine(std::string_view machine) {
  // Tried in this order; the first match names the model.
  if (machine.starts_with("iPhone3")) return "iPhone 4";
  if (machine == "iPhone4,1") return "iPhone 4S";
  if (machine == "iPhone5,1" || machine == "iPhone5,2") return "iPhone 5";
  if (machine == "iPhone5,3" || machine == "iPhone5,4") return "iPhone 5C";
  if (machine.starts_with("iPhone6")) return "iPhone 5S";
  if (machine == "iPhone7,1") return "iPhone 6 Plus";
  if (machine == "iPhone7,2") return "iPhone 6";
  if (machine == "i386" || machine == "x86_64") return "Simulator";
  return std::string(machine);
}
