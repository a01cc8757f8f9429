// The channel core's instance, launch, login and application events. See
// jhl_core_entity.h.

#include "channel/core/jhl_core_entity.h"

#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "config/client_configuration.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/calendar.h"
#include "kit/foundation/date.h"
#include "kit/foundation/date_formatter.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

// A "special_url" of at least this many characters sends the login to
// "login/special".
constexpr size_t kMinimumSpecialURLLength = 9;

}  // namespace

kit::Ref<JHLCoreEntity> JHLCoreEntity::sharedInstance() {
  static const kit::NoDestructor<kit::Ref<JHLCoreEntity>> instance(kit::make<JHLCoreEntity>());
  return *instance;
}

kit::Ref<kit::MutableArray> JHLCoreEntity::responseArray() {
  if (!responseArray_) responseArray_ = kit::MutableArray::make();
  return responseArray_;
}

kit::Ref<kit::MutableArray> JHLCoreEntity::VIPArray() {
  if (!VIPArray_) VIPArray_ = kit::MutableArray::make();
  return VIPArray_;
}

kit::Ref<kit::MutableArray> JHLCoreEntity::menuArray() {
  if (!menuArray_) menuArray_ = kit::MutableArray::make();
  return menuArray_;
}

kit::Ref<kit::MutableArray> JHLCoreEntity::levelListArray() {
  if (!levelListArray_) levelListArray_ = kit::MutableArray::make();
  return levelListArray_;
}

JHLCoreEntity::~JHLCoreEntity() {
  for (const auto& token : orderObservers_) kit::NotificationCenter::defaultCenter()->removeObserver(token);
}

kit::Ref<kit::String> JHLCoreEntity::sdkURL(std::string_view path) {
  return ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelSDKServer, path);
}

kit::Ref<kit::String> JHLCoreEntity::gameURL(const kit::Ref<kit::String>& pathAndQuery) {
  return ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelGameServer,
                                                     pathAndQuery ? pathAndQuery->utf8() : "");
}

kit::Ref<kit::String> JHLCoreEntity::copied(const kit::Ref<kit::String>& v) {
  return v ? kit::String::make(v->utf8()) : nullptr;
}

void JHLCoreEntity::postToSDK(std::string_view path, const char* what, const kit::Ref<kit::Dictionary>& params,
                              void (JHLCoreEntity::*handle)(const kit::Id&, const kit::Ref<kit::Dictionary>&)) {
  postForMain(sdkURL(path), what, params, handle);
}

void JHLCoreEntity::postForMain(const kit::Ref<kit::String>& url, const char* what,
                                const kit::Ref<kit::Dictionary>& params,
                                void (JHLCoreEntity::*handle)(const kit::Id&, const kit::Ref<kit::Dictionary>&)) {
  // POST replies come in on the URL session's queue; the core's state and
  // its listener live on the main queue.
  auto onMain = kit::bindPost(kit::Queue::main(), weakSelf<JHLCoreEntity>(),
                              [params, handle](JHLCoreEntity& self, const kit::Id& reply) {
                                (self.*handle)(reply, params);
                              });
  NUVANetworkManager::PostWithURL(
      url, params,
      [what, onMain](kit::Id reply) {
        kit::log("%s reply: %@", what, NUVALog::describe(reply));
        onMain(reply);
      },
      [what](kit::Ref<kit::String> error) { kit::log("%s failed: %@", what, error); });
}

void JHLCoreEntity::notifyListener(const std::function<void(JHLCoreEntityDelegate&)>& call) {
  if (auto listener = delegate_.lock()) call(*listener);
}

// ---- Login -------------------------------------------------------------------------

void JHLCoreEntity::nuva_setStartLoginListener(const std::shared_ptr<JHLCoreEntityDelegate>& listener) {
  KIT_CHECK_MAIN_THREAD();
  delegate_ = listener;
  libNUVALightChannel::sharedInstance()->setDelegate(selfAs<JHLCoreEntity>());
}

void JHLCoreEntity::nuva_lightLoginStart() {
  KIT_CHECK_MAIN_THREAD();
  nuva_lightLoginWithGameId(nuvagameid_);
}

void JHLCoreEntity::nuva_lightLoginWithGameId(const kit::Ref<kit::String>& gameId) {
  KIT_CHECK_MAIN_THREAD();
  nuvagameid_ = gameId;
  libNUVALightChannel::sharedInstance()->nuvaChannel_lightLoginStart();
  responseArray()->removeAllObjects();
  VIPArray()->removeAllObjects();
  menuArray()->removeAllObjects();
}

void JHLCoreEntity::nuvaChannel_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& result) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id login = result;
  auto token = NUVADataFormat::textOfValue(login["token"]);
  auto uid = NUVADataFormat::textOfValue(login["uid"]);
  kit::Ref<kit::String> channelCode = NUVADataFormat::textOfValue(login["channel_code"]);
  if (NUVADataFormat::isBlankString(channelCode)) channelCode = kit::str("");

  std::string_view path = "login/index";
  kit::Id specialURL = login["special_url"];
  if (kit::isSet(specialURL) && kit::text(specialURL)->length() >= kMinimumSpecialURLLength) path = "login/special";

  // Without a game id the channel server cannot place the player; say so
  // instead of posting a login without its fields.
  if (!kit::isSet(nuvagameid_)) {
    NUVAProgressHUD::showErrorWithStatus(kit::str("请先登录"));
    return;
  }
  nuva_superLoginCallBackWithGame_id(nuvagameid_, token, platform_id_, uid, channelCode, sdkURL(path));
}

void JHLCoreEntity::nuva_superLoginCallBackWithGame_id(const kit::Ref<kit::String>& game_id,
                                                       const kit::Ref<kit::String>& token,
                                                       const kit::Ref<kit::String>& platform_id,
                                                       const kit::Ref<kit::String>& uid,
                                                       const kit::Ref<kit::String>& channel_code,
                                                       const kit::Ref<kit::String>& url) {
  KIT_CHECK_MAIN_THREAD();
  auto params = kit::dict({{"game_id", game_id},
                           {"token", token},
                           {"platform_id", platform_id},
                           {"uid", uid},
                           {"channel_code", channel_code},
                           {"os_type", "2"}});
  postForMain(url, "channel login", params, &JHLCoreEntity::handleLoginReply);
}

void JHLCoreEntity::handleLoginReply(const kit::Id& reply, const kit::Ref<kit::Dictionary>&) {
  // The reply's "code" is not looked at; its user and token are.
  auto login = NUVAChannelReply::acceptedLogin(reply);
  if (!login) {
    kit::log("channel login refused: no channel user or usable token in the reply");
    return;
  }
  acceptLoginReply(login->superUserId, login->token);
}

void JHLCoreEntity::acceptLoginReply(const kit::Ref<kit::String>& superUserId, const kit::Ref<kit::String>& token) {
  super_user_id_ = superUserId;
  token_ = token;
  // A new account starts without a role: an order needs its own role
  // report first.
  roleid_ = kit::str("");
  auto birthday = getTimeFromTimestamp(ddpGetExpectTimestamp(-19, -2, -1));
  auto login = kit::dict({{"super_user_id", superUserId}, {"token", token}, {"auth", "1"}, {"birthday", birthday}});
  notifyListener([&login](JHLCoreEntityDelegate& listener) { listener.nuva_LightGetChannelLoginCallBack(login); });
  // While the menu offers the time store, its refresh starts again for the
  // new login.
  if (isTimeStore_) {
    roleid_ = kit::str("");
    popViewPoint();
  }
}

void JHLCoreEntity::nuva_canEnterGameWithServiceID(const kit::Ref<kit::String>& serviceID,
                                                   const kit::Ref<kit::String>& serviceName) {
  KIT_CHECK_MAIN_THREAD();
  auto serverId = serviceID ? serviceID->stringByReplacingOccurrencesOfString(" ", "") : nullptr;
  auto serverName = serviceName ? serviceName->stringByReplacingOccurrencesOfString(" ", "") : nullptr;
  const std::pair<kit::Id, const char*> checks[] = {
      {super_user_id_, "请先获取登录回调的super_user_id"},
      {nuvagameid_, "请先登录"},
      {serverId, "service_id值有误"},
      {serverName, "service_name值有误"},
  };
  for (const auto& [value, text] : checks) {
    if (!kit::isSet(value)) {
      NUVAProgressHUD::showErrorWithStatus(kit::str(text));
      return;
    }
  }
  auto params = kit::dict(
      {{"game_id", nuvagameid_}, {"super_user_id", super_user_id_}, {"service_id", serverId}, {"service_name", serverName}});
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::PostWithURL(
      sdkURL("login/enter"), params,
      [weak](kit::Id reply) {
        auto self = weak.lock();
        if (!self) return;
        auto listener = self->delegate_.lock();
        if (NUVAChannelReply::isSuccess(reply)) {
          if (listener) listener->canEnterListenCallBack(kit::str("1"));
          return;
        }
        if (listener) listener->canEnterListenCallBack(kit::str("0"));
        // The HUD moves to the main queue itself.
        NUVAProgressHUD::showErrorWithStatus(NUVAChannelReply::refusalText(reply));
      },
      [weak](kit::Ref<kit::String>) {
        auto self = weak.lock();
        if (!self) return;
        if (auto listener = self->delegate_.lock()) listener->canEnterListenCallBack(kit::str("0"));
      });
}

// ---- Helpers -------------------------------------------------------------------------

kit::Ref<kit::String> JHLCoreEntity::ddpGetExpectTimestamp(long year, long month, long day) {
  kit::DateComponents shift;
  shift.year = year;
  shift.month = month;
  shift.day = day;
  auto calendar = kit::Calendar::calendarWithIdentifier(kit::CalendarIdentifierGregorian);
  auto date = calendar->dateByAddingComponents(shift, *kit::Date::now());
  return kit::format("%ld", static_cast<long>(date->timeIntervalSince1970()));
}

kit::Ref<kit::String> JHLCoreEntity::getTimeFromTimestamp(const kit::Ref<kit::String>& timestamp) {
  auto date = kit::Date::dateWithTimeIntervalSince1970(
      static_cast<double>(timestamp ? timestamp->longLongValue() : 0));
  return kit::DateFormatter::make("yyyy-MM-dd")->stringFromDate(date);
}

kit::Id JHLCoreEntity::dictionaryWithJsonString(const kit::Ref<kit::String>& json) {
  return NUVADataFormat::dictionaryWithJsonString(json);
}

// ---- Application events --------------------------------------------------------

bool JHLCoreEntity::didFinishLaunching(kit::Application& application, const kit::Ref<kit::Dictionary>& options) {
  KIT_CHECK_MAIN_THREAD();
  kit::Ref<kit::Dictionary> plist;
  if (auto path = kit::Bundle::main()->pathForResource("NUVAPLIST", "plist")) {
    plist = kit::dictionaryWithContentsOfFile(path->utf8());
  }
  kit::Id gameId = plist ? (*plist)["game_id"] : nullptr;
  auto gameIdText = NUVADataFormat::textOfValue(gameId);
  if (!NUVADataFormat::isBlankString(gameIdText)) nuvagameid_ = gameIdText;
  if (!nuvagameid_) kit::log("launch: NUVAPLIST holds no game_id; logins cannot be posted");

  auto lightChannel = libNUVALightChannel::sharedInstance();
  platform_id_ = lightChannel->platformId();
  nvSetNoticeView();
  isRunLogic_ = true;
  isHallOpen_ = false;
  isTimeStore_ = false;
  shop_type_ = kit::str("3");
  lightChannel->didFinishLaunching(application, options);
  return true;
}

void JHLCoreEntity::willResignActive(kit::Application& application) {
  KIT_CHECK_MAIN_THREAD();
  libNUVALightChannel::sharedInstance()->willResignActive(application);
}

void JHLCoreEntity::didEnterBackground(kit::Application& application) {
  KIT_CHECK_MAIN_THREAD();
  libNUVALightChannel::sharedInstance()->didEnterBackground(application);
}

void JHLCoreEntity::willEnterForeground(kit::Application& application) {
  KIT_CHECK_MAIN_THREAD();
  libNUVALightChannel::sharedInstance()->willEnterForeground(application);
}

void JHLCoreEntity::didBecomeActive(kit::Application& application) {
  KIT_CHECK_MAIN_THREAD();
  libNUVALightChannel::sharedInstance()->didBecomeActive(application);
}

void JHLCoreEntity::willTerminate(kit::Application& application) {
  KIT_CHECK_MAIN_THREAD();
  libNUVALightChannel::sharedInstance()->willTerminate(application);
}

void JHLCoreEntity::didRegisterForRemoteNotificationsWithDeviceToken(kit::Application& application,
                                                                    const kit::Ref<kit::Data>& token) {
  libNUVALightChannel::sharedInstance()->didRegisterForRemoteNotificationsWithDeviceToken(application, token);
}

void JHLCoreEntity::didFailToRegisterForRemoteNotificationsWithError(kit::Application& application,
                                                                    const kit::Ref<kit::Error>& error) {
  libNUVALightChannel::sharedInstance()->didFailToRegisterForRemoteNotificationsWithError(application, error);
}

void JHLCoreEntity::didReceiveRemoteNotification(kit::Application& application,
                                                 const kit::Ref<kit::Dictionary>& userInfo) {
  libNUVALightChannel::sharedInstance()->didReceiveRemoteNotification(application, userInfo);
}

std::optional<unsigned> JHLCoreEntity::supportedInterfaceOrientations(kit::Application& application,
                                                                      kit::Window* window) {
  return libNUVALightChannel::sharedInstance()->supportedInterfaceOrientations(application, window);
}

std::optional<bool> JHLCoreEntity::handleOpenURL(kit::Application& application, const std::string& url) {
  KIT_CHECK_MAIN_THREAD();
  return libNUVALightChannel::sharedInstance()->handleOpenURL(application, url);
}

std::optional<bool> JHLCoreEntity::openURL(kit::Application& application, const std::string& url,
                                           const std::string& sourceApplication, const kit::Id& annotation) {
  KIT_CHECK_MAIN_THREAD();
  return libNUVALightChannel::sharedInstance()->openURL(application, url, sourceApplication, annotation);
}

std::optional<bool> JHLCoreEntity::openURL(kit::Application& application, const std::string& url,
                                           const kit::Ref<kit::Dictionary>& options) {
  KIT_CHECK_MAIN_THREAD();
  return libNUVALightChannel::sharedInstance()->openURL(application, url, options);
}
