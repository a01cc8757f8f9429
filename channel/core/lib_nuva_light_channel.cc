// The light channel adapter. See lib_nuva_light_channel.h.

#include "channel/core/lib_nuva_light_channel.h"

#include "channel/core/nuva_result_hop.h"
#include "channel/core/tolmix_sdk_facade.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/values.h"

kit::Ref<libNUVALightChannel> libNUVALightChannel::sharedInstance() {
  static const kit::NoDestructor<kit::Ref<libNUVALightChannel>> instance(kit::make<libNUVALightChannel>());
  return *instance;
}

void libNUVALightChannel::deliver(std::function<void(NUVALightChannelDelegate&)> call) {
  deliverAlways([call = std::move(call)](NUVALightChannelDelegate* listener) {
    if (listener) call(*listener);
  });
}

void libNUVALightChannel::deliverAlways(std::function<void(NUVALightChannelDelegate*)> call) {
  std::weak_ptr<NUVALightChannelDelegate> listener = delegate_;
  NUVAPostResult(selfAs<libNUVALightChannel>(),
                 [listener, call = std::move(call)](libNUVALightChannel&) { call(listener.lock().get()); });
}

void libNUVALightChannel::nuvaChannel_lightLoginStart() {
  KIT_CHECK_MAIN_THREAD();
  auto facade = TolmixSDKFacade::installed();
  if (!facade) {
    kit::log("light channel: no platform facade installed; the login window cannot open");
    return;
  }
  kit::Weak<libNUVALightChannel> weak = weakSelf<libNUVALightChannel>();
  facade->loadLoginViewResultSuccess(
      [weak](kit::Id loginTime, kit::Id userName, kit::Id sign, kit::Id) {
        auto self = weak.lock();
        if (!self) return;
        auto result = kit::dict({{"token", kit::describe(sign)},
                                 {"uid", kit::describe(userName)},
                                 {"channel_code", kit::describe(loginTime)}});
        self->deliver([result](NUVALightChannelDelegate& listener) {
          listener.nuvaChannel_LightGetChannelLoginCallBack(result);
        });
      },
      [weak](long code, kit::Id message) {
        auto self = weak.lock();
        if (!self) return;
        kit::log("light channel: platform login failed (%ld) %@", code, message);
        if (code != -9) return;
        self->deliver([](NUVALightChannelDelegate& listener) { listener.nuvaChannel_logOutCallBack(kit::str("success")); });
      });
}

void libNUVALightChannel::nuvaChannel_superRoleUpdate(const kit::Ref<NUVAChannelRoleInfo>& role) {
  KIT_CHECK_MAIN_THREAD();
  if (!role) return;
  auto result = kit::dict({{"status", "success"}});
  // The listener's confirmation first, then the platform, in one step on
  // the main queue.
  deliverAlways([result, role](NUVALightChannelDelegate* listener) {
    if (listener) listener->nuvaChannel_getUpdateRoleCallBack(result);
    auto facade = TolmixSDKFacade::installed();
    if (!facade) return;
    facade->SetUserInfoDataWithRoleId(role->roleId(), role->roleName(), role->roleLevel(), role->serviceId(),
                                      role->serviceName(), kit::str(""), [](long code) {
                                        kit::log("light channel: platform role report result %ld", code);
                                      });
  });
}

void libNUVALightChannel::nuvaChannel_superOrder(const kit::Ref<NUVAChannelOrderInfo>& order) {
  KIT_CHECK_MAIN_THREAD();
  if (!order) return;
  auto facade = TolmixSDKFacade::installed();
  if (!facade) {
    kit::log("light channel: no platform facade installed; the pay sheet cannot open");
    return;
  }
  // The result names the order whose pay sheet ended, so that the core can
  // report that order even when another one was placed meanwhile.
  auto result = kit::dict({{"status", "success"}, {"order_id", order->gameOrderSn()}});
  kit::Weak<libNUVALightChannel> weak = weakSelf<libNUVALightChannel>();
  facade->loadToPayVCWithroleid(
      order->roleId(), order->payMoney(), order->serviceId(), order->goodName(), order->goodName(),
      order->gameOrderSn(),
      [weak, result](kit::Id, kit::Id) {
        if (auto self = weak.lock()) {
          self->deliver([result](NUVALightChannelDelegate& listener) { listener.nuvaChannel_getPaySuccessCallBack(result); });
        }
      },
      [weak, result](kit::Id, long, kit::Id) {
        if (auto self = weak.lock()) {
          self->deliver([result](NUVALightChannelDelegate& listener) { listener.nuvaChannel_getPayFailCallBack(result); });
        }
      });
}

void libNUVALightChannel::nuvaChannel_logout() {
  KIT_CHECK_MAIN_THREAD();
  if (auto facade = TolmixSDKFacade::installed()) facade->LoginOut();
  if (auto listener = delegate_.lock()) listener->nuvaChannel_logOutCallBack(kit::str("success"));
}

bool libNUVALightChannel::didFinishLaunching(kit::Application&, const kit::Ref<kit::Dictionary>&) {
  if (auto facade = TolmixSDKFacade::installed()) facade->didFinishLaunching();
  return true;
}

std::optional<unsigned> libNUVALightChannel::supportedInterfaceOrientations(kit::Application& application,
                                                                            kit::Window* window) {
  if (auto facade = TolmixSDKFacade::installed()) return facade->supportedInterfaceOrientationsForWindow(application, window);
  return std::nullopt;
}

std::optional<bool> libNUVALightChannel::handleOpenURL(kit::Application& application, const std::string& url) {
  if (auto facade = TolmixSDKFacade::installed()) facade->handleOpenURL(application, url);
  return true;
}

std::optional<bool> libNUVALightChannel::openURL(kit::Application& application, const std::string& url,
                                                 const std::string& sourceApplication, const kit::Id& annotation) {
  if (auto facade = TolmixSDKFacade::installed()) facade->openURL(application, url, sourceApplication, annotation);
  return true;
}

std::optional<bool> libNUVALightChannel::openURL(kit::Application& application, const std::string& url,
                                                 const kit::Ref<kit::Dictionary>& options) {
  if (auto facade = TolmixSDKFacade::installed()) facade->openURL(application, url, options);
  return true;
}
