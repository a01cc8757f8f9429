// What the resource hall's fuzz targets share: the reply bytes as a JSON
// value with every address defused (the fuzzers read nothing remote), one
// key window, and a check that aborts. The hall asks its servers for more
// (the wheels) when it shows: every service points at a closed loopback
// port, so those requests fail at once, with no name to look up.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/client_configuration.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace hallfuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

inline kit::Id reply(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (size_t at = bytes.find("http"); at != std::string::npos; at = bytes.find("http", at)) bytes[at] = 'x';
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(bytes), kit::JSONReadingFragmentsAllowed);
}

inline kit::Window& keyWindow() {
  static kit::Ref<kit::Window>* window = [] {
    const char* closed = "http://127.0.0.1:1/";
    ClientConfiguration::shared().setOverrides(kit::dict({{ClientConfiguration::kChannelSDKServer, closed},
                                                          {ClientConfiguration::kChannelGameServer, closed},
                                                          {ClientConfiguration::kChannelVideoBase, closed},
                                                          {ClientConfiguration::kChannelActivityHost, closed},
                                                          {ClientConfiguration::kGamePage, closed},
                                                          {ClientConfiguration::kPlatformAPIBase, closed},
                                                          {ClientConfiguration::kPlatformWebHost, closed},
                                                          {ClientConfiguration::kPaymentGateway, closed},
                                                          {ClientConfiguration::kPlatformChatHost, closed}}));
    auto* w = new kit::Ref<kit::Window>(kit::Window::make());
    (*w)->setRootViewController(kit::make<kit::ViewController>());
    (*w)->makeKeyAndVisible();
    return w;
  }();
  return **window;
}

inline bool finite(const kit::Rect& r) {
  return std::isfinite(r.minX()) && std::isfinite(r.minY()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

}  // namespace hallfuzz
