// The user centre's game-box links. See kt_su_box_link.h.
#include "platform/usercenter/kt_su_box_link.h"

#include "config/client_configuration.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/format.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "platform/base/share_vale.h"

std::string KTSuBoxLink::boxPage() {
  // The channel goes in as one query value, whatever it holds.
  auto channel = kit::stringByAddingPercentEncodingWithAllowedCharacters(
      kit::describe(ShareVale::sharedInstance()->chanelid()), *kit::CharacterSet::urlQueryValueAllowed());
  auto host = ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost);
  return kit::format("%@%@?ag=%@", host, kit::str(BoxPath), channel)->utf8();
}

void KTSuBoxLink::open(const std::string& appLink) {
  auto app = kit::Application::shared();
  if (app->canOpenURL(appLink)) {
    app->openURL(appLink);
  } else {
    app->openURL(boxPage());
  }
}
