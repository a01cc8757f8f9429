// JHLCoreEntity: the channel SDK's core. One shared object that the game
// page host and the application delegate talk to. It keeps the logged-in
// channel user and the last reported role, signs and sends the channel
// platform's requests (login, role report, order), drives the light channel
// and reports results to its listener through JHLCoreEntityDelegate.
//
// The core's state belongs to the main queue: replies arrive on the HTTP
// client's callback queue and hop to the main queue (kit::bindPost, dropped
// when the core is gone) before anything is stored or shown. Listener calls
// are made on the main queue in the step that handles the reply or the
// light channel's result (which reaches the core after its one hop,
// nuva_result_hop.h), except canEnterListenCallBack, which is called on the
// reply queue. The entry points the page host and the application call
// check that they run on the main thread.
//
// The core is split by theme: instance, launch, login and the application
// events in jhl_core_entity.cc, the role report in jhl_core_entity_role.cc,
// orders, payment results and logout in jhl_core_entity_order.cc, the
// launch notice in jhl_core_entity_notice.cc, the server menu and its
// timers in jhl_core_entity_menu.cc, the store hub and resource hall in
// jhl_core_entity_store.cc, the overlays' orders in
// jhl_core_entity_store_order.cc, the level store report in
// jhl_core_entity_level.cc, and the time-store banner and lucky-player flow
// in jhl_core_entity_popups.cc.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "channel/core/lib_nuva_light_channel.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/ui/application.h"
#include "kit/ui/image_view.h"
#include "kit/ui/view.h"

// What the core tells the game page host. Every operation has an empty
// default body.
class JHLCoreEntityDelegate {
 public:
  virtual ~JHLCoreEntityDelegate() = default;
  // {"super_user_id", "token", "auth", "birthday"}: the channel login is done.
  virtual void nuva_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& /*login*/) {}
  // The role report's reply.
  virtual void getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& /*reply*/) {}
  // "1" or "0": whether the player may enter the game server (called on the
  // HTTP reply queue).
  virtual void canEnterListenCallBack(const kit::Ref<kit::String>& /*canEnter*/) {}
  // {"order_id", "cpOrder"} of the order whose payment ended.
  virtual void getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& /*order*/) {}
  virtual void getPayFailCallBack(const kit::Ref<kit::Dictionary>& /*order*/) {}
  // "success": the player logged out.
  virtual void logOutCallBack(const kit::Ref<kit::String>& /*result*/) {}
  // The store hub's request to recharge.
  virtual void rechargeCallBack(const kit::Id& /*request*/) {}
};

// Posted (no object, no user info) after the listener heard of a successful
// payment; the store's time-limited packs reload on it.
inline constexpr const char* NUVAGIFTPAYSUCCESSNotification = "NUVAGIFTPAYSUCCESSNotification";

class NUVATimePopView;

class JHLCoreEntity : public kit::Object, public NUVALightChannelDelegate, public kit::ApplicationDelegate {
 public:
  // The signing key appended to the fields of signed requests.
  static constexpr const char* kSigningSalt = "5e0c7a9d13f2b84e6a1d0c3f9b7e2a64";

  static kit::Ref<JHLCoreEntity> sharedInstance();
  // A core of its own (tests); the process uses sharedInstance().
  JHLCoreEntity() = default;
  ~JHLCoreEntity() override;

  // A callback given a game server answer.
  using AnswerBlock = std::function<void(const kit::Id& answer)>;

  // The user-defaults key of the last once-a-day menu: "yyyy-MM-dd"
  // followed by the channel user id.
  static constexpr const char* kNowDateKey = "nowDate";
  // The refresh interval used when the menu gives none above zero.
  static constexpr double kMinimumMenuRefresh = 10;
  // How long repeated store openings and overlay orders are collapsed.
  static constexpr double kCollapseDelay = 1.0;
  // How long the store hub's loading may take before it is given up.
  static constexpr double kHubLoadTimeout = 15.0;
  // The wait before the "day" and "active" lucky lookups.
  static constexpr double kLuckyFollowUpDelay = 10.0;

  // ---- State ----------------------------------------------------------------
  std::shared_ptr<JHLCoreEntityDelegate> delegate() const { return delegate_.lock(); }
  // The game id from the bundle plist NUVAPLIST.
  const kit::Ref<kit::String>& nuvagameid() const { return nuvagameid_; }
  void setNuvagameid(kit::Ref<kit::String> v) { nuvagameid_ = std::move(v); }
  // The channel platform id ("256", from the light channel).
  const kit::Ref<kit::String>& platform_id() const { return platform_id_; }
  // The channel user and token of the last accepted login reply.
  const kit::Ref<kit::String>& super_user_id() const { return super_user_id_; }
  const kit::Ref<kit::String>& token() const { return token_; }
  // The channel server's role id of the last successful role report; empty
  // after logout and after a new login.
  const kit::Ref<kit::String>& roleid() const { return roleid_; }
  // The game's role fields of the last successful role report.
  const kit::Ref<kit::String>& cp_role_id() const { return cp_role_id_; }
  const kit::Ref<kit::String>& service_id() const { return service_id_; }
  const kit::Ref<kit::String>& service_name() const { return service_name_; }
  const kit::Ref<kit::String>& role_name() const { return role_name_; }
  const kit::Ref<kit::String>& role_level() const { return role_level_; }
  const kit::Ref<kit::String>& power_value() const { return power_value_; }
  // The last successful role report's reply.
  const kit::Ref<kit::Dictionary>& rolesurperdic() const { return rolesurperdic_; }
  // The channel order id and the game's order number of the last order reply.
  const kit::Ref<kit::String>& order_id() const { return order_id_; }
  const kit::Ref<kit::String>& cpOrder() const { return cpOrder_; }
  bool isRunLogic() const { return isRunLogic_; }
  bool isHallOpen() const { return isHallOpen_; }
  void setIsHallOpen(bool v) { isHallOpen_ = v; }
  bool isTimeStore() const { return isTimeStore_; }
  void setIsTimeStore(bool v) { isTimeStore_ = v; }
  const kit::Ref<kit::String>& shop_type() const { return shop_type_; }
  void setShop_type(kit::Ref<kit::String> v) { shop_type_ = std::move(v); }
  // Store and menu lists, created empty on first read.
  kit::Ref<kit::MutableArray> responseArray();
  kit::Ref<kit::MutableArray> VIPArray();
  kit::Ref<kit::MutableArray> menuArray();
  kit::Ref<kit::MutableArray> levelListArray();
  // Menu times (seconds as texts) and store texts of the server menu and
  // the store hub.
  const kit::Ref<kit::String>& time_shop_refresh() const { return time_shop_refresh_; }
  const kit::Ref<kit::String>& luck_time() const { return luck_time_; }
  const kit::Ref<kit::String>& day_time() const { return day_time_; }
  const kit::Ref<kit::String>& active_time() const { return active_time_; }
  const kit::Ref<kit::String>& shop_time() const { return shop_time_; }
  const kit::Ref<kit::String>& gmtotal_money() const { return gmtotal_money_; }
  const kit::Ref<kit::String>& gmdesc() const { return gmdesc_; }
  const kit::Ref<kit::String>& viptotal_money() const { return viptotal_money_; }
  const kit::Ref<kit::String>& vipdesc() const { return vipdesc_; }
  void setTime_shop_refresh(const kit::Ref<kit::String>& v) { time_shop_refresh_ = copied(v); }
  void setLuck_time(const kit::Ref<kit::String>& v) { luck_time_ = copied(v); }
  void setShop_time(const kit::Ref<kit::String>& v) { shop_time_ = copied(v); }
  const kit::Ref<kit::Dictionary>& responseData() const { return responseData_; }
  const kit::Ref<kit::Dictionary>& playerDic() const { return playerDic_; }
  void setPlayerDic(kit::Ref<kit::Dictionary> v) { playerDic_ = std::move(v); }
  // The last order text built from an overlay's order notification.
  const kit::Ref<kit::String>& roleData1() const { return roleData1_; }

  // ---- Login ------------------------------------------------------------------
  // The core's listener := `listener`; the light channel's listener := the
  // core.
  void nuva_setStartLoginListener(const std::shared_ptr<JHLCoreEntityDelegate>& listener);
  // nuva_lightLoginWithGameId with nuvagameid.
  void nuva_lightLoginStart();
  // Opens the platform login and empties the store and menu lists.
  void nuva_lightLoginWithGameId(const kit::Ref<kit::String>& gameId);
  // Posts the channel login to `url`.
  void nuva_superLoginCallBackWithGame_id(const kit::Ref<kit::String>& game_id, const kit::Ref<kit::String>& token,
                                          const kit::Ref<kit::String>& platform_id, const kit::Ref<kit::String>& uid,
                                          const kit::Ref<kit::String>& channel_code, const kit::Ref<kit::String>& url);
  // Asks "login/enter" whether the player may enter a game server.
  void nuva_canEnterGameWithServiceID(const kit::Ref<kit::String>& serviceID, const kit::Ref<kit::String>& serviceName);

  // ---- Role report, orders, logout -------------------------------------------
  // Checks, signs and posts the role report of a JSON text.
  void nuva_superRoleUpdate(const kit::Ref<kit::String>& roleJSON);
  // Checks, signs and posts the order of a JSON text; an accepted order
  // opens the platform pay sheet.
  void nuva_superOrder(const kit::Ref<kit::String>& orderJSON);
  // Resets the role state and logs the platform out.
  void nuva_logout();

  // ---- Launch notice ----------------------------------------------------------------
  // Tells the SDK server that the game started ("init") and shows, on the
  // main queue, the notice its answer carries.
  void nvSetNoticeView();

  // ---- Server menu and refresh timers ------------------------------------------------
  // Fetches the server menu of the game and the last reported server and
  // keeps its ids, times and level ranges; calls back (main queue) only for
  // a "200" answer.
  void showMenu(AnswerBlock callback);
  // Arms the "upDown" refresh: when it runs out the menu is fetched again,
  // the banner is attempted, and a menu still listing the time store arms
  // it again.
  void popViewPoint();
  // Now in whole seconds since 1970, as decimal text.
  kit::Ref<kit::String> getNowTimeTimestamp() const;
  // Whole seconds from now to the next full hour of the local clock.
  kit::Ref<kit::String> getNowTimeWithString() const;

  // ---- Store hub and resource hall ---------------------------------------------------
  // Asks for the store hub; requests within 1 s collapse into one
  // openActivityHall 1 s after the last.
  void nuva_openGmShop();
  // Checks game id and role, fetches the menu if there is none, then loads.
  void openActivityHall();
  // Loads GM and VIP goods with their claim status side by side and opens
  // the hub when every part succeeded; a failed part or the time-out
  // leaves it closed.
  void getUsefulData();
  // GET a store's goods and keep them; success on a "200" answer, failure
  // otherwise (both on the main queue).
  void reloadGmDataWithSuccessBlock(AnswerBlock success, std::function<void()> failure = {});
  void reloadVIPDataWithSuccessBlock(AnswerBlock success, std::function<void()> failure = {});
  // POST a store's claim status and merge it into the kept goods; success
  // on any answer, failure on a transport failure (both on the main queue).
  // The GM one registers the order observers the first time.
  void reloadGetStatusData(AnswerBlock success, std::function<void()> failure = {});
  void reloadGetVIPStatusData(AnswerBlock success, std::function<void()> failure = {});
  // Builds, fills and shows the hub of the current orientation.
  void toGmShop();
  // Checks game id and role, loads the hall's goods and shows the hall
  // (collapsed like the hub) or the not-open pop-up.
  void nuva_openResourceStore();
  void openResourceStore();
  // The role description the overlays sign with: pretty-printed JSON with
  // ten keys.
  kit::Ref<kit::String> userInfo() const;

  // ---- Orders from the overlays ---------------------------------------------------------
  // A pack or level gift order (NUVAGIFTPAYNotification,
  // NUVALEVELPAYNotification): its order text is built on the main queue and
  // sent with toGiftPay 1 s after the last such notification.
  void giftPayData(const kit::Ref<kit::Notification>& notification);
  void toGiftPay();
  // A hall order (NUVAResourcePAYNotification), with its own pending order
  // and delayed step.
  void resourcePayData(const kit::Ref<kit::Notification>& notification);
  void toResourcePay();

  // ---- Level store ----------------------------------------------------------------------
  // Reports the role's level to the level store and shows its offer.
  void levelstoreReport(AnswerBlock callback);

  // ---- Time-store banner and lucky player ----------------------------------------------
  // The banner, made on first use with a tap recognizer calling
  // addPopGestureRecognizer.
  kit::Ref<NUVATimePopView> popView();
  // Slides the banner in for five seconds when the hub is closed, the time
  // store is offered and a role is reported.
  void popViewanimate();
  // The banner was tapped: hide it and ask for the hub.
  void addPopGestureRecognizer();
  // Arms the lucky lookup of a type ("luck" after luck_time, the others
  // after 10 s); the time argument is not read.
  void addPlayerGiftLogicWithTime(double time, const kit::Ref<kit::String>& timetype);
  // GET the lookup of a type; calls back on "200", else arms the next type.
  void getLuckyPlayerDataWithTime(const kit::Ref<kit::String>& type, AnswerBlock sucessData);
  // The custom luck picture's button: claim, remove the picture, arm "day".
  void addGestureluckyGiftView();
  const kit::Ref<kit::View>& coverView() const { return coverView_; }
  const kit::Ref<kit::ImageView>& luckyGiftView() const { return luckyGiftView_; }

  // ---- Helpers ------------------------------------------------------------------
  // Seconds since 1970 of now shifted by years, months and days (one
  // calendar step), as "%ld" text.
  static kit::Ref<kit::String> ddpGetExpectTimestamp(long year, long month, long day);
  // The moment of a seconds text as "yyyy-MM-dd" in the device's time zone.
  static kit::Ref<kit::String> getTimeFromTimestamp(const kit::Ref<kit::String>& timestamp);
  // The JSON object of a text with mutable containers, or nil (logged).
  static kit::Id dictionaryWithJsonString(const kit::Ref<kit::String>& json);

  // ---- The light channel's listener ----------------------------------------------
  void nuvaChannel_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& result) override;
  void nuvaChannel_getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& result) override;
  void nuvaChannel_getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& result) override;
  void nuvaChannel_getPayFailCallBack(const kit::Ref<kit::Dictionary>& result) override;
  void nuvaChannel_logOutCallBack(const kit::Ref<kit::String>& result) override;

  // ---- Application events ------------------------------------------------------
  // Reads the game id, takes the platform id, sets the flags and starts the
  // platform SDK through the light channel.
  bool didFinishLaunching(kit::Application& application, const kit::Ref<kit::Dictionary>& options) override;
  void willResignActive(kit::Application& application) override;
  void didEnterBackground(kit::Application& application) override;
  void willEnterForeground(kit::Application& application) override;
  void didBecomeActive(kit::Application& application) override;
  void willTerminate(kit::Application& application) override;
  void didRegisterForRemoteNotificationsWithDeviceToken(kit::Application& application, const kit::Ref<kit::Data>& token);
  void didFailToRegisterForRemoteNotificationsWithError(kit::Application& application, const kit::Ref<kit::Error>& error);
  void didReceiveRemoteNotification(kit::Application& application, const kit::Ref<kit::Dictionary>& userInfo);
  std::optional<unsigned> supportedInterfaceOrientations(kit::Application& application, kit::Window* window) override;
  std::optional<bool> handleOpenURL(kit::Application& application, const std::string& url) override;
  std::optional<bool> openURL(kit::Application& application, const std::string& url,
                              const std::string& sourceApplication, const kit::Id& annotation) override;
  std::optional<bool> openURL(kit::Application& application, const std::string& url,
                              const kit::Ref<kit::Dictionary>& options) override;

 private:
  // The address of a channel SDK server endpoint.
  static kit::Ref<kit::String> sdkURL(std::string_view path);
  // The address of a channel game server endpoint (path and query).
  static kit::Ref<kit::String> gameURL(const kit::Ref<kit::String>& pathAndQuery);
  static kit::Ref<kit::String> copied(const kit::Ref<kit::String>& v);
  // Posts signed fields to an SDK server endpoint (or an address); the
  // reply is logged as "<what> reply" on the reply queue and handled on the
  // main queue with the fields sent, while the core lives.
  void postToSDK(std::string_view path, const char* what, const kit::Ref<kit::Dictionary>& params,
                 void (JHLCoreEntity::*handle)(const kit::Id&, const kit::Ref<kit::Dictionary>&));
  void postForMain(const kit::Ref<kit::String>& url, const char* what, const kit::Ref<kit::Dictionary>& params,
                   void (JHLCoreEntity::*handle)(const kit::Id&, const kit::Ref<kit::Dictionary>&));
  // Runs `call` with the listener, when there is one (main queue).
  void notifyListener(const std::function<void(JHLCoreEntityDelegate&)>& call);
  // The five resets of a logout.
  void resetRoleState();
  // The login reply, and the stored answer of one that passed the checks
  // (main queue).
  void handleLoginReply(const kit::Id& reply, const kit::Ref<kit::Dictionary>& sent);
  void acceptLoginReply(const kit::Ref<kit::String>& superUserId, const kit::Ref<kit::String>& token);
  void handleRoleReply(const kit::Id& reply, const kit::Ref<kit::Dictionary>& sent);
  void handleOrderReply(const kit::Id& reply, const kit::Ref<kit::Dictionary>& sent);
  // {"order_id", "cpOrder"} of the order whose pay sheet a result ends.
  kit::Ref<kit::Dictionary> paymentResultFor(const kit::Ref<kit::Dictionary>& result);

  // Menu: keep an answer's ids, times and level ranges; whether the kept
  // menu lists the time store ("3").
  void storeMenuAnswer(const kit::Id& answer);
  bool menuListsTimeStore();
  // After a successful role report: the once-a-day menu, then the first
  // report's menu and lucky timer or the level check.
  void startOffersAfterRoleReport();
  void runLevelCheck();
  // Runs a step on the main queue kCollapseDelay seconds after the last
  // request for it, dropping the requests before (the run loop's delayed
  // performs, keyed by the core and the step's name).
  void performCollapsed(const char* name, void (JHLCoreEntity::*step)());
  // Store: a store's goods request, its status request and the merge of
  // the claim status into the kept goods.
  void reloadGoods(bool vip, AnswerBlock success, std::function<void()> failure);
  void reloadStatus(bool vip, AnswerBlock success, std::function<void()> failure);
  void mergeClaimStatus(bool vip, const kit::Id& answer);
  // Orders: observe the overlays' notifications (once each).
  void registerGiftOrderObservers();
  void registerResourceOrderObserver();
  // The order text of an order notification's object.
  kit::Ref<kit::String> orderTextFor(const kit::Id& order);
  // Builds the order text of a notification into roleData1 and `pending`
  // (main queue) and schedules `step` collapsed; the step places what
  // `pending` holds then, once.
  void keepPendingOrder(const kit::Ref<kit::Notification>& notification, kit::Ref<kit::String> JHLCoreEntity::*pending,
                        const char* stepName, void (JHLCoreEntity::*step)());
  void placePendingOrder(kit::Ref<kit::String>& pending);
  // Lucky player: show the answer of a lookup, and what closing its card
  // does.
  void showLuckyPlayer(const kit::Ref<kit::String>& type, const kit::Id& answer);
  void luckyPlayerClosed(const kit::Ref<kit::String>& type, const kit::Id& data);
  void claimLuckyReward(const kit::Ref<kit::String>& type, std::function<void(bool answered)> done);
  void showCustomLuckPicture();
  void removeCustomLuckPicture();

  std::weak_ptr<JHLCoreEntityDelegate> delegate_;
  kit::Ref<kit::String> nuvagameid_;
  kit::Ref<kit::String> platform_id_;
  kit::Ref<kit::String> super_user_id_;
  kit::Ref<kit::String> token_;
  kit::Ref<kit::String> roleid_;
  kit::Ref<kit::String> cp_role_id_, service_id_, service_name_, role_name_, role_level_, power_value_;
  kit::Ref<kit::Dictionary> rolesurperdic_;
  kit::Ref<kit::String> order_id_;
  kit::Ref<kit::String> cpOrder_;
  bool isRunLogic_ = true;
  bool isHallOpen_ = false;
  bool isTimeStore_ = false;
  kit::Ref<kit::String> shop_type_ = kit::str("3");
  kit::Ref<kit::MutableArray> responseArray_, VIPArray_, menuArray_, levelListArray_;
  kit::Ref<kit::String> time_shop_refresh_, luck_time_, day_time_, active_time_, shop_time_;
  kit::Ref<kit::String> gmtotal_money_, gmdesc_, viptotal_money_, vipdesc_;
  kit::Ref<kit::Dictionary> responseData_;
  kit::Ref<kit::Dictionary> playerDic_;
  // The time-store banner, the lucky-player cover and the custom luck
  // picture.
  kit::Ref<NUVATimePopView> popView_;
  kit::Ref<kit::View> coverView_;
  kit::Ref<kit::ImageView> luckyGiftView_;
  // Orders from the overlays: the last text built, and the pending order of
  // each delayed step.
  kit::Ref<kit::String> roleData1_;
  kit::Ref<kit::String> giftOrderText_;
  kit::Ref<kit::String> resourceOrderText_;
  // Tokens of the order observers, removed when the core goes.
  std::vector<kit::Id> orderObservers_;
  bool giftObserversRegistered_ = false;
  bool resourceObserverRegistered_ = false;
  // The game's order number of every order whose pay sheet is open, by
  // channel order id.
  std::map<std::string, kit::Ref<kit::String>> payingOrders_;
};
