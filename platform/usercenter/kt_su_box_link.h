// KTSuBoxLink: the user centre's hand-over to the platform's game-box app.
// A link of the app ("vexoBox://...") is opened when the app is installed;
// otherwise the platform's box web page ("<web host>cdcloud/welcome/box"
// with the channel as "ag") opens in the browser. Main thread.
#pragma once

#include <string>

class KTSuBoxLink {
 public:
  static constexpr const char* Scheme = "vexoBox://";
  static constexpr const char* BoxPath = "cdcloud/welcome/box";

  // Opens `appLink`, or the box page when no app takes it.
  static void open(const std::string& appLink);
  // The box web page with the channel of the shared values.
  static std::string boxPage();
};
