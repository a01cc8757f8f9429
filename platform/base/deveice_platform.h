// DeveicePlatform: the device's model name from its hardware identifier
// (the machine field of the system's name call): the older phones by name,
// the simulator's identifiers as "Simulator", anything else unchanged.
#pragma once

#include <string>
#include <string_view>

class DeveicePlatform {
 public:
  // The model name of the machine this runs on (uname's machine field).
  static std::string platform();
  // The model name of a hardware identifier ("iPhone7,1" -> "iPhone 6 Plus").
  static std::string platformForMachine(std::string_view machine);
};
