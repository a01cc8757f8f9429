// libNUVALightChannel: where the channel core meets the platform SDK. It
// turns the core's requests (start login, report role, pay, log out,
// application events) into calls on the platform facade, and the facade's
// results into calls on its listener, the channel core. Its platform id,
// "256", names the channel platform.
//
// Every result reaches the listener on the main queue after one hop
// (NUVAPostResult, nuva_result_hop.h), so it always comes after the
// main-queue work running when the facade called back, and results keep the
// order in which the facade gave them. The logout confirmation is the one
// synchronous delivery. The listener is held weakly; with none, results are
// dropped. Callers call on the main thread.
#pragma once

#include <memory>

#include "channel/core/nuva_channel_records.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/ui/application.h"

// What the light channel tells its listener. Every operation has an empty
// default body.
class NUVALightChannelDelegate {
 public:
  virtual ~NUVALightChannelDelegate() = default;
  // {"token", "uid", "channel_code"}: the platform login is done.
  virtual void nuvaChannel_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& /*result*/) {}
  // {"status": "success"}: the role was handed to the platform.
  virtual void nuvaChannel_getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& /*result*/) {}
  // {"status": "success", "order_id": the channel order id of the pay sheet}.
  virtual void nuvaChannel_getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& /*result*/) {}
  // The same dictionary as for success.
  virtual void nuvaChannel_getPayFailCallBack(const kit::Ref<kit::Dictionary>& /*result*/) {}
  // "success": the platform logged out (asked for, or an account switch).
  virtual void nuvaChannel_logOutCallBack(const kit::Ref<kit::String>& /*result*/) {}
};

class libNUVALightChannel : public kit::Object, public kit::ApplicationDelegate {
 public:
  static kit::Ref<libNUVALightChannel> sharedInstance();

  // Always "256"; a value set is kept but never read.
  kit::Ref<kit::String> platformId() const { return kit::str("256"); }
  void setPlatformId(kit::Ref<kit::String> value) { storedPlatformId_ = std::move(value); }

  std::shared_ptr<NUVALightChannelDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NUVALightChannelDelegate>& delegate) { delegate_ = delegate; }
  void nuvaChannel_setStartLoginListener(const std::shared_ptr<NUVALightChannelDelegate>& listener) {
    setDelegate(listener);
  }

  // Opens the platform login.
  void nuvaChannel_lightLoginStart();
  // Confirms the role to the listener, then reports it to the platform.
  void nuvaChannel_superRoleUpdate(const kit::Ref<NUVAChannelRoleInfo>& role);
  // Opens the platform pay sheet for the order.
  void nuvaChannel_superOrder(const kit::Ref<NUVAChannelOrderInfo>& order);
  // Logs the platform out and confirms at once, on the calling thread.
  void nuvaChannel_logout();

  // ---- Application events
  bool didFinishLaunching(kit::Application& application, const kit::Ref<kit::Dictionary>& options) override;
  std::optional<unsigned> supportedInterfaceOrientations(kit::Application& application, kit::Window* window) override;
  std::optional<bool> handleOpenURL(kit::Application& application, const std::string& url) override;
  std::optional<bool> openURL(kit::Application& application, const std::string& url,
                              const std::string& sourceApplication, const kit::Id& annotation) override;
  std::optional<bool> openURL(kit::Application& application, const std::string& url,
                              const kit::Ref<kit::Dictionary>& options) override;
  // Resign-active, background, foreground, become-active, terminate and
  // the remote-notification events change nothing here.
  void didRegisterForRemoteNotificationsWithDeviceToken(kit::Application&, const kit::Ref<kit::Data>&) {}
  void didFailToRegisterForRemoteNotificationsWithError(kit::Application&, const kit::Ref<kit::Error>&) {}
  void didReceiveRemoteNotification(kit::Application&, const kit::Ref<kit::Dictionary>&) {}

 private:
  // Hands a result to the listener, after the main-queue work running now
  // (the listener of this moment, if it is still there then).
  void deliver(std::function<void(NUVALightChannelDelegate&)> call);
  // The same road for a step that runs with or without a listener.
  void deliverAlways(std::function<void(NUVALightChannelDelegate*)> call);

  std::weak_ptr<NUVALightChannelDelegate> delegate_;
  kit::Ref<kit::String> storedPlatformId_;
};
