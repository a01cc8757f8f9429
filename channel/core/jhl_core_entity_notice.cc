// The channel core's init request and launch notice: once per launch the
// SDK server hears that the game started ("init") and may answer with a
// notice, shown over the game in the notice card. See jhl_core_entity.h.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/core/vanu_notice_view.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"

void JHLCoreEntity::nvSetNoticeView() {
  // Without a game id the server cannot tell which game started.
  if (!kit::isSet(nuvagameid_)) {
    kit::log("init: no game id; the launch is not reported and no notice is asked for");
    return;
  }
  auto params = kit::dict({{"platform_id", platform_id_}, {"game_id", nuvagameid_}, {"os_type", "2"}});
  NUVANetworkManager::PostWithURL(
      sdkURL("init"), params,
      [](kit::Id answer) {
        // Read on the reply queue; only the texts go on to the main queue.
        kit::Id notice = answer["data"]["notice_data"];
        if (!NUVAChannelReply::hasEntries(notice)) {
          kit::log("launch notice: none");
          return;
        }
        // Texts and numbers travel on as their text; a list, a dictionary or
        // a flag in a field's place reads as a field left out ("(null)").
        auto field = [&notice](const char* key) {
          kit::Id value = notice[key];
          return kit::text(kit::isKind<kit::String>(value) || kit::isSet(value) ? value : nullptr);
        };
        auto url = field("notice_url"), title = field("notice_title");
        auto type = field("notice_type"), content = field("notice_content");
        // A title that shows nothing visible (unset, blanks, a number that is
        // none) is no notice, as a missing one.
        if (!NUVAChannelReply::isSuccess(answer) ||
            !kit::hasVisibleCharacter(kit::shownText(notice["notice_title"]))) {
          kit::log("launch notice: nothing to show (%@)", NUVALog::describe(answer));
          return;
        }
        kit::Queue::main().async([url, type, content, title] {
          auto view = VANUNoticeView::init();
          view->setNotice_url(url);
          view->setNotice_type(type);
          view->setNotice_content(content);
          view->setNotice_title(title);
          view->show();
        });
      },
      [](kit::Ref<kit::String> error) { kit::log("init failed: %@", error); });
}
