// kit::Screen and kit::Device: the main screen (bounds from the current
// device profile, scale) and the device (system version, model, hardware
// identifier) as the current device description gives them.
#pragma once

#include <string>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/ui_types.h"

namespace kit {

class Screen : public Object {
 public:
  static Ref<Screen> main();
  Rect bounds() const;
  Rect nativeBounds() const;
  double scale() const;
  double nativeScale() const { return scale(); }
  double brightness() const { return brightness_; }
  void setBrightness(double b) { brightness_ = b; }

 private:
  double brightness_ = 0.5;
};

enum class UserInterfaceIdiom { Unspecified = -1, Phone = 0, Pad = 1 };

class Device : public Object {
 public:
  static Ref<Device> current();
  std::string name() const;
  std::string model() const;
  std::string localizedModel() const { return model(); }
  std::string systemName() const;
  std::string systemVersion() const;
  // The hardware identifier the system's name call reports ("iPhone10,1").
  std::string machine() const;
  UserInterfaceIdiom userInterfaceIdiom() const { return UserInterfaceIdiom::Phone; }
  // The system version as a number ("12.4" -> 12.4), as products compare it.
  double systemVersionNumber() const;
};

}  // namespace kit
