// The main job: the whole client on the embedded simulator. It starts the
// simulated channel SDK server and game page server on 127.0.0.1, points
// the client at them through its configuration file, starts the client the
// way the platform would (application main, AppDelegate, the channel core's
// launch, the ViewController with its web view, whose game page runs in the
// browser engine), and plays a game session as a player would, tapping the
// page's own buttons through the window: the launch notice, login, a
// payment before any role report, the role report with the channel's
// time-store banner, the store it opens and the lucky-player reward that
// follows, the page's store button with the hub's GM, level and voucher
// tabs and the free-video card, a payment through the pay sheet, and
// logout. The page's answers
// are read from the page itself, by script. Every message between page and
// client is printed; after every step the screen (the page's real rendering
// under the native overlays) is written as a PNG, and index.html shows the
// steps in order. It exits non-zero when a step does not produce what the
// script expects. It needs a display (make demo runs it under xvfb-run).
//
// Time: kit's clock is virtual for the whole session. It keeps up with real
// time while the page, the network and the simulator work (GLib keeps real
// time), and where the script waits on kit's own timers (the launch pause,
// the splash, the banner's slide, the lucky-player delay, the HUD's
// dismissal, the settling before each picture) it moves on as soon as
// nothing else is happening, so those waits cost no real time while the
// steps and what kit's screens show in each picture stay those of a session
// at the real pace. Before each picture the page is given the time to draw
// what it was told.
//
// The platform SDK is the real one: the player logs in through the login
// window (name and password, the real-name form, the notice, a
// sub-account) and pays twice through the pay sheet, once in the wallet app
// and once on the H5 cashier's web page. The
// level-reached pop-up and the store hub are the store's own; the resource
// hall is a placeholder card from the channel's test support until the hall
// exists.
//
//   demo <output folder>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/application_main.h"
#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_time_pop_view.h"
#include "channel/core/vanu_notice_view.h"
#include "channel/hall/nuva_hall_views.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/nuva_level_pop_view.h"
#include "channel/store/nuva_store_views.h"
#include "config/client_configuration.h"
#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/browser_runtime.h"
#include "platform/account/cxr_real_name_view.h"
#include "platform/account/cxr_sub_name_vc.h"
#include "platform/account/kt_coupons_vc.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/account/kt_web_pay_vc.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "platform/usercenter/kt_su_home_msg_vc.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/kt_su_kaifu_vc.h"
#include "platform/usercenter/kt_su_trade_vc.h"
#include "platform/usercenter/kt_su_welfare_vc.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "sim/simulator.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

namespace fs = std::filesystem;

// How long one step may take, in real seconds.
constexpr double kStepTimeout = 15.0;
// One frame of the page's drawing, in real time, and how long the page may
// take to draw.
constexpr auto kPageFrame = std::chrono::milliseconds(20);
constexpr double kPagePaintTimeout = 2.0;

// kit's clock for the session (see the top of the file). Waits run the main
// run loop; after each pass the clock catches up with the real time that
// passed. A wait on kit's timers also moves the clock on by kSkip whenever
// the loop has had nothing to do for kQuiet, which gives the network and
// the page their turn first, so kit's timers and the real work keep their
// order.
class SessionClock {
 public:
  static constexpr auto kQuiet = std::chrono::milliseconds(10);
  static constexpr double kSkip = 0.1;
  static constexpr auto kLaunchGrace = std::chrono::milliseconds(50);
  static constexpr auto kKeepUpStep = std::chrono::milliseconds(5);

  // What a wait is for: real work (the clock keeps up with real time), kit's
  // timers (the clock also moves on when nothing else happens), or the
  // page's drawing (the clock stands still, so kit's screens stay as they
  // are while the page catches up).
  enum class Waiting { ForRealWork, OnKitTimers, ForThePage };

  // Starts the client (`start` returns once the main window shows the game
  // page's screen) and passes the launch pause the application delegate
  // makes on kit's clock, which holds the main thread: another thread moves
  // the clock past it, a moment after the call begins, and then keeps the
  // clock up with real time until the call returns. Should the pause begin
  // later than that moment, it simply lasts its real time.
  template <class Start>
  auto launch(Start start, double pause) {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    std::atomic<bool> moved{false};
    std::thread mover([&] {
      std::unique_lock lock(mutex);
      // The main thread reaches the pause at once; the moment is generous.
      if (!changed.wait_for(lock, kLaunchGrace, [&] { return started; })) {
        lock.unlock();
        clock_.advance(pause);
        lock.lock();
      }
      auto synced = std::chrono::steady_clock::now();
      while (!changed.wait_for(lock, kQuiet, [&] { return started; })) {
        lock.unlock();
        const auto now = std::chrono::steady_clock::now();
        clock_.advance(std::chrono::duration<double>(now - synced).count());
        synced = now;
        lock.lock();
      }
      moved = true;
      kit::RunLoop::main().wakeUp();
    });
    auto result = start();
    {
      std::lock_guard lock(mutex);
      started = true;
    }
    changed.notify_all();
    // Work the clock set off on the main queue runs while the mover ends.
    while (!moved.load()) kit::RunLoop::main().runOnceWithRealTimeout(kit::DefaultRunLoopMode, kQuiet);
    mover.join();
    synced_ = std::chrono::steady_clock::now();
    return result;
  }

  // Runs the main run loop until `condition` holds or `limit` real seconds
  // pass; the condition's value. Moving on, the clock goes no further than
  // `until`.
  bool run(const std::function<bool()>& condition, Waiting waiting, double until = kit::Forever,
           double limit = kStepTimeout) {
    const auto start = std::chrono::steady_clock::now();
    auto busy = start;
    bool held = condition();
    while (!held && std::chrono::steady_clock::now() - start <= std::chrono::duration<double>(limit)) {
      const auto pass = kit::RunLoop::main().runOnceWithRealTimeout(kit::DefaultRunLoopMode, kQuiet);
      if (waiting != Waiting::ForThePage) keepUp(until);
      const auto now = std::chrono::steady_clock::now();
      if (pass == kit::RunLoop::RunResult::HandledSource) {
        busy = now;
      } else if (waiting == Waiting::OnKitTimers && now - busy >= kQuiet) {
        clock_.advance(std::min(kSkip, until - kit::Clock::now()));
        busy = std::chrono::steady_clock::now();
      }
      held = condition();
    }
    if (waiting == Waiting::ForThePage) synced_ = std::chrono::steady_clock::now();
    return held;
  }

  // Lets kit's clock run until it reads `until` (fades and answers settle).
  void settleUntil(double until) {
    run([&] { return kit::Clock::now() >= until; }, Waiting::OnKitTimers, until);
  }

 private:
  // Moves kit's clock by the real time passed since it was last moved (to
  // `until` at most).
  void keepUp(double until) {
    const auto now = std::chrono::steady_clock::now();
    // In steps of a few milliseconds: each step wakes every thread that
    // keeps time on the clock.
    if (now - synced_ < kKeepUpStep) return;
    const double passed = std::chrono::duration<double>(now - synced_).count();
    synced_ = now;
    const double step = std::min(passed, until - kit::Clock::now());
    if (step > 0) clock_.advance(step);
  }

  kit::VirtualClock clock_;
  std::chrono::steady_clock::time_point synced_ = std::chrono::steady_clock::now();
};

std::chrono::steady_clock::time_point startTime() {
  static const auto start = std::chrono::steady_clock::now();
  return start;
}

struct Step {
  std::string title;
  std::string picture;
  std::vector<std::string> messages;
  std::string outcome;
  bool ok = false;
};

std::string compactJSON(const kit::Id& value) {
  if (!kit::JSONSerialization::isValidJSONObject(value)) return kit::describe(value);
  auto data = kit::JSONSerialization::dataWithJSONObject(value, kit::JSONWritingWithoutEscapingSlashes);
  return data ? data->toString() : kit::describe(value);
}

std::string htmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

class MainJob {
 public:
  explicit MainJob(fs::path out) : out_(std::move(out)) {}

  int run() {
    fs::create_directories(out_);
    // A fresh player on a fresh device: the once-a-day menu runs again.
    fs::remove(out_ / "defaults.plist");
    kit::UserDefaults::setStandardPath((out_ / "defaults.plist").string());

    // The services, and the client's configuration pointing at them.
    sim::Simulator simulator;
    simulator.channel().setPackage("com.example.starfleet");
    simulator.channel().setNotice({.type = "1",
                                   .title = "星河远征开服公告",
                                   .content = "欢迎来到星河远征！新服「青龙」今日开启，"
                                              "登录即送开服礼包，限时商店每日上新。",
                                   .url = ""});
    // The server menu offers the time store: its banner slides in a second
    // after the role report, the lucky-player reward is looked up after
    // eight.
    sim::GameMenuTimes times;
    times.shopTime = "1";
    times.luckTime = "8";
    // The page's role (level 12) is in a level range: the level store offers a pack.
    times.levelList = {"10,20"};
    simulator.game().setMenu({"1", "2", "3", "4", "8"}, times);
    simulator.game().setLevelOffer(simulator.game().sampleLevelOffer());
    simulator.game().setLuck("luck", sim::ChannelGameServer::sampleLuckReward("恭喜获得幸运玩家奖励"));
    // No daily gift: the vouchers tab offers the free video.
    sim::FreeVideoOffer freeVideo;
    freeVideo.items = R"([{"mid":"1","name":"金币","amount":"1000","icon":")" + simulator.game().itemIconURL(1) +
                      R"("},{"mid":"2","name":"钻石","amount":"60","icon":")" + simulator.game().itemIconURL(3) +
                      R"("},{"mid":"3","name":"体力","amount":"50","icon":")" + simulator.game().itemIconURL(2) + R"("}])";
    simulator.game().setFreeVideoOffer(freeVideo);
    const std::string services = (out_ / "services.plist").string();
    if (!simulator.writeConfiguration(services)) return fail("cannot write " + services);
    // The services file answers for the simulator's keys: a key's own
    // variable left in the shell would win over it.
    for (const ServiceKey& key : ClientConfiguration::keys()) unsetenv(std::string(key.environmentVariable).c_str());
    setenv(ClientConfiguration::kServicesEnvironmentVariable, services.c_str(), 1);
    ClientConfiguration::shared().reload();
    auto served = simulator.configuration();
    for (const auto& name : served->keys()) {
      std::string key = kit::describe(name);
      if (kit::describe(ClientConfiguration::shared().valueForKey(key)) != kit::describe((*served)[key])) {
        return fail("the client does not read " + key + " from " + services);
      }
    }
    std::printf("simulator: channel SDK server %s, game page %s\n", simulator.channel().baseURL().c_str(),
                simulator.page().pageURL().c_str());

    // The platform's player: a password, no real name yet, one sub-account,
    // coupons; the platform's notice; the wallet app on the device.
    sim::PlatformAccount player;
    player.userName = "player01";
    player.password = "pass123";
    player.platformCoins = 120;
    player.vouchers = "12.50";
    player.subAccounts = {{"青龙小号", "player01_1", "1717000001"}};
    player.coupons = {sim::PlatformCoupon{"57", "满5减1", "5", "1"}};
    simulator.platform().addAccount(player);
    sim::PlatformNotice platformNotice;
    platformNotice.content = "星河远征平台公告：充值优惠进行中。";
    simulator.platform().setNotice(platformNotice);
    // Every overlay is the real one: the store's views and the hall's.
    NUVAStoreViews::install(std::make_shared<NUVAHallViews>());
    kit::QueueActivityWatch wakeOnWork;
    std::vector<std::string> hud;
    auto hudToken = kit::NotificationCenter::defaultCenter()->addObserverForName(
        NUVAProgressHUDWillAppearNotification, nullptr, [&](const kit::Ref<kit::Notification>& n) {
          hud.push_back(n->userInfo() ? kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]) : "");
          note("HUD: " + hud.back());
        });

    // ---- Launch: main, AppDelegate (with its pause), core, the page screen.
    begin("启动：启动图与游戏页面");
    auto app = clock_.launch([] { return startApplication(); }, AppDelegate::kLaunchPauseSeconds);
    controller_ = app.controller();
    if (!controller_) return fail("the main window has no game page screen");
    web_ = controller_->wkWebView();
    bool loaded = waitFor([&] { return controller_->pageFinished(); });
    if (loaded) note("page loaded " + std::to_string(static_cast<long>(sinceStart() * 1000)) + " ms after the start");
    end(loaded, loaded ? "page " + kit::describe(web_->URL()) + " loaded" : "the page did not load");

    begin("启动图消失，显示游戏页面");
    bool splashGone = waitOnKitTimers([&] { return controller_->splashView()->superview() == nullptr; });
    end(splashGone, splashGone ? "the splash faded after two seconds" : "the splash stayed");

    // ---- The launch notice from the channel server's "init" answer.
    begin("启动公告：init 返回的公告");
    auto notice = waitForView<VANUNoticeView>();
    end(notice && notice->titleView()->text() == "星河远征开服公告",
        notice ? "notice \"" + notice->titleView()->text() + "\" over the game" : "no notice");

    begin("关闭公告：知道了");
    bool noticeClosed = notice && kit::test::tap(notice->sureButton()) &&
                        waitFor([&] { return !notice->superview() && !notice->coverView(); });
    end(noticeClosed, noticeClosed ? "cover and card removed" : "the notice stayed");

    // ---- Login through the platform's login window and the channel server.
    begin("开始游戏：平台登录窗口");
    tapPage("start");
    auto loginCard = waitForAnyView<KTLoginView>();
    // The window dims in and the card drops into place.
    if (loginCard) waitOnKitTimers([&] { settle(1); return true; });
    end(loginCard != nullptr, loginCard ? "the login window over the game" : "no login window");

    begin("登录：账号密码，实名认证");
    bool tapped = false;
    if (loginCard) {
      KTLoginView::get(loginCard->outlets().loginName)->setText("player01");
      KTLoginView::get(loginCard->outlets().loginPwd)->setText("pass123");
      loginCard->layoutIfNeeded();
      tapped = kit::test::tap(KTLoginView::get(loginCard->outlets().loginBtn));
      if (!tapped) note("(the login button did not take the tap)");
    }
    // The platform asks for the real name: its prompt, then its form.
    kit::Ref<kit::AlertController> prompt;
    if (tapped) {
      waitOnKitTimers([&] { return (prompt = kit::test::findController<kit::AlertController>()) != nullptr; });
    }
    if (prompt) note("alert: " + prompt->message());
    auto realName = prompt && kit::test::pressAlertAction(*prompt, "确定")
                        ? waitForAnyView<CXRRealNameView>(SessionClock::Waiting::OnKitTimers)
                        : nullptr;
    end(realName != nullptr, realName ? "logged in; the real-name form" : "no real-name form");

    begin("实名认证：提交后显示平台公告");
    kit::Ref<KTNoticeVC> platformPage;
    if (realName) {
      realName->realNameF()->setText("张三");
      realName->userNumberF()->setText("11010519491231002X");
      kit::test::tap(realName->btn());
      waitOnKitTimers([&] { return (platformPage = kit::test::findController<KTNoticeVC>()) != nullptr; });
    }
    end(platformPage != nullptr, platformPage ? "verified; the platform's notice" : "no notice");

    begin("关闭公告：选择小号");
    kit::Ref<CXRSubNameVC> chooser;
    if (platformPage) {
      platformPage->doCloseBtnClick();
      waitOnKitTimers([&] {
        chooser = kit::test::findController<CXRSubNameVC>();
        return chooser && chooser->tableView() && !chooser->tableView()->visibleCells().empty();
      });
    }
    end(chooser != nullptr, chooser ? "the sub-account chooser" : "no chooser");

    begin("选择小号：登录 loginNotify");
    if (chooser) kit::test::tap(chooser->tableView()->visibleCells().front());
    bool loggedIn = chooser && waitForAnswer("loginNotify");
    std::string user = loggedIn ? kit::describe(lastAnswer()["data"]["super_user_id"]) : "";
    end(loggedIn && !user.empty() && user != "(null)", "channel user " + user);

    // ---- The floating ball the login started, and the user centre it opens.
    begin("悬浮球：登录后停靠");
    kit::Ref<CXRHelperBtn> ball;
    bool docked = loggedIn && waitOnKitTimers([&] {
      ball = findInWindows<CXRHelperBtn>();
      return ball && ball->window() && !ball->window()->isHidden() && ball->currentBackgroundImage() &&
             !ball->window()->layer()->hasAnimations();
    });
    end(docked, docked ? "the ball docked at " + describeFrame(ball->window()->frame()) : "no floating ball");

    begin("悬浮球：点击唤醒");
    bool woken = docked && kit::test::tap(ball) && ball->status() == 1 &&
                 waitOnKitTimers([&] { return !ball->window()->layer()->hasAnimations(); });
    end(woken, woken ? "the ball came out to " + describeFrame(ball->window()->frame()) : "the ball stayed docked");

    begin("用户中心：首页");
    kit::Ref<KTSuspendVC> centre;
    kit::Ref<KTSuHomeVC> home;
    if (woken && kit::test::tap(ball)) {
      waitOnKitTimers([&] {
        centre = kit::test::findController<KTSuspendVC>();
        home = kit::test::findController<KTSuHomeVC>();
        return home && home->homeReplies() > 0 && home->newsReplies() > 0;
      });
      settle(0.5);
    }
    end(home && home->homeReplies() > 0 && home->newsReplies() > 0,
        home ? "user centre home: " + home->nameL()->text() + ", " + std::to_string(home->msgData()->count()) +
                   " news"
             : "no user centre");

    begin("用户中心：开服");
    kit::Ref<KTSuKaiFuVC> servers;
    bool serversShown = centre && kit::test::tap(centre->barButton(KTSuspendVC::FirstTag + 1)) && waitDrawn([&] {
      servers = kit::test::findController<KTSuKaiFuVC>();
      return servers && servers->list(0) && servers->list(0)->repliesReceived() > 0;
    });
    end(serversShown, serversShown ? std::to_string(servers->list(0)->dataSource()->count()) + " server openings"
                                   : "no server openings");

    begin("用户中心：福利");
    kit::Ref<KTSuWelfareVC> welfare;
    bool welfareShown = centre && kit::test::tap(centre->barButton(KTSuspendVC::FirstTag + 2)) && waitDrawn([&] {
      welfare = kit::test::findController<KTSuWelfareVC>();
      return welfare && welfare->list() && welfare->list()->repliesReceived() > 0;
    });
    end(welfareShown, welfareShown ? std::to_string(welfare->list()->dataSource()->count()) + " gift packs"
                                   : "no gift packs");

    begin("用户中心：交易");
    kit::Ref<KTSuTradeVC> trades;
    bool tradesShown = centre && kit::test::tap(centre->barButton(KTSuspendVC::FirstTag + 3)) && waitDrawn([&] {
      trades = kit::test::findController<KTSuTradeVC>();
      return trades && trades->repliesReceived() > 0;
    });
    end(tradesShown, tradesShown ? std::to_string(trades->dataSource()->count()) + " account offers"
                                 : "no account offers");

    begin("用户中心：消息列表");
    kit::Ref<KTSuHomeMsgVC> messages;
    if (centre && kit::test::tap(centre->barButton(KTSuspendVC::FirstTag)) && home && home->moreBtn() &&
        kit::test::tap(home->moreBtn())) {
      waitDrawn([&] {
        messages = kit::test::findController<KTSuHomeMsgVC>();
        return messages && messages->repliesReceived() > 0;
      });
      // The list slides in over the home page.
      settle(KTSuHomeMsgVC::SlideDuration + 0.2);
    }
    end(messages && messages->repliesReceived() > 0,
        messages ? std::to_string(messages->dataSource()->count()) + " messages" : "no message list");

    begin("用户中心：关闭，悬浮球回到屏幕");
    if (messages && messages->backBtn()) kit::test::tap(messages->backBtn());
    settle(KTSuHomeMsgVC::SlideDuration + 0.2);
    messages.reset();
    // The close button lies under the panel: the player taps the game's
    // side of the screen, right of the panel.
    auto outside = centre ? centre->closeBtn() : nullptr;
    bool centreClosed = outside && outside->window() &&
                        kit::test::tapAt(*outside->window(),
                                         outside->convertPointToView({outside->bounds().size.width - 20,
                                                                      outside->bounds().size.height / 2},
                                                                     nullptr)) &&
                        waitOnKitTimers([&] {
      return !kit::test::findController<KTSuspendVC>() && ball->window() && !ball->window()->isHidden();
    });
    end(centreClosed, centreClosed ? "user centre closed; the ball is back" : "the user centre stayed");
    home.reset();
    servers.reset();
    welfare.reset();
    trades.reset();
    centre.reset();

    // ---- A payment before the role report is refused on the client.
    begin("未上报角色时支付：提示先上报角色");
    size_t hudBefore = hud.size();
    tapPage("pay");
    bool refused = waitFor([&] { return hud.size() > hudBefore; }) && hud.back() == "请先调用上报角色方法";
    settle(0.3);
    end(refused && simulator.channel().requestsTo("order/index").empty(), refused ? "HUD: " + hud.back() : "no HUD");
    waitOnKitTimers([] { return !NUVAProgressHUD::iNUVAisible(); });

    // ---- Role report.
    begin("上报角色：uploadGameRoleInfo");
    tapPage("role-report");
    bool reported = waitForAnswer("uploadGameRoleInfo") &&
                    waitFor([&] { return !simulator.platformAPI().requestsTo("User/setRole").empty(); });
    end(reported, reported ? "role reported to the channel and the platform" : "no role report answer");

    // ---- The role's level is in a menu range: the level store's offer.
    begin("等级礼包弹窗：角色等级在菜单等级范围内");
    auto levelPop = waitForView<NUVALevelPopView>();
    bool offered = levelPop && waitFor([&] { return levelPop->adImge()->animatedImage() != nullptr; });
    end(offered, levelPop ? "level pop-up with " + std::to_string(levelPop->tiles().size()) + " rewards and its picture"
                          : "no level pop-up");
    if (levelPop) kit::test::tap(levelPop->closeButton());

    // ---- The daily menu lists the time store: the banner slides in.
    begin("限时商店横幅：每日菜单含限时商店");
    auto core = JHLCoreEntity::sharedInstance();
    // Shown, and come to rest after its two-second slide.
    bool banner = waitOnKitTimers([&] {
      auto pop = core->popView();
      return !pop->isHidden() && pop->superview() && !pop->layer()->hasAnimations();
    });
    end(banner, banner ? "banner at " + describeFrame(core->popView()->frame()) + ": " +
                             core->popView()->lastTimeLabel()->text()
                       : "no banner");

    begin("点击横幅：打开商城（限时礼包）");
    kit::Ref<NUVAGMShopHub> bannerHub;
    bool hub = banner && kit::test::tap(core->popView()) &&
               (bannerHub = waitForView<NUVAGMShopHub>(SessionClock::Waiting::OnKitTimers)) != nullptr;
    if (hub) noteHub(*bannerHub);
    bool timeTab = hub && waitFor([&] { return !bannerHub->timeStoreView()->isHidden() &&
                                               bannerHub->timeStoreView()->giftVC()->tableView()->numberOfSections() > 0; });
    end(hub && timeTab && core->isHallOpen(),
        hub ? "store hub opened on the time store tab after its goods and claim status loaded" : "no store hub");
    if (hub) closeHub(*bannerHub);

    // ---- Eight seconds after the first report: the lucky-player reward.
    begin("幸运玩家：奖励弹窗");
    auto lucky = waitForView<NUVAVerticalLuckyPlayerView>(SessionClock::Waiting::OnKitTimers);
    end(lucky && lucky->itemsArray()->count() == 2,
        lucky ? "lucky card \"" + lucky->titleLabel()->text() + "\" with " +
                    std::to_string(lucky->itemsArray()->count()) + " rewards"
              : "no lucky card");

    begin("领取幸运奖励");
    bool claimed = lucky && kit::test::tap(lucky->closeBtn()) &&
                   waitFor([&] { return simulator.game().claims() == std::vector<std::string>{"luck"}; });
    end(claimed && !lucky->superview(), claimed ? "claimed with luck/get; the card closed" : "no claim");

    // ---- The resource hall: goods, the welfare wheel and a one-draw.
    begin("资源大厅：openResourseStore 打开资源大厅");
    tapPage("hall");
    auto hall = waitForView<NUVAResourceHall>();
    bool goods = hall && waitFor([&] {
      return !hall->cards().empty() && hall->cards()[0]->prop_img()->image() && !hall->welfarecellArray().empty();
    });
    end(goods, hall ? "resource hall with " + std::to_string(hall->cards().size()) + " goods" : "no resource hall");

    begin("资源大厅：福利转盘");
    bool wheel = goods && kit::test::tap(hall->rebtn2()) && !hall->welfareView()->isHidden() &&
                 waitFor([&] { return hall->welfarecellArray()[0]->icon()->image() != nullptr; });
    end(wheel, wheel ? "welfare wheel with " + std::to_string(hall->welfarecellArray().size()) + " prizes, " +
                           hall->welfareLabel()->text() + " spins"
                     : "no welfare wheel");

    begin("福利转盘：抽一次");
    kit::Ref<NUVATurnOneGiftPopView> won;
    if (wheel) {
      kit::test::tap(hall->clickOneButton());
      won = waitForView<NUVATurnOneGiftPopView>(SessionClock::Waiting::OnKitTimers);
    }
    bool drawn = won && waitFor([&] { return won->iconImg()->image() != nullptr; });
    end(drawn, won ? "won " + kit::describe(won->name()) : "no one-draw result");
    if (won) won->closeClick();
    if (hall) hall->closeClick();
    settle(0.3);
    // ---- The page's store button: the hub and its tabs.
    begin("商城：游戏页面的商城按钮");
    tapPage("store");
    auto storeHub = waitForView<NUVAGMShopHub>(SessionClock::Waiting::OnKitTimers);
    bool gmTab = storeHub && tapHubTab(*storeHub, 1) &&
                 waitFor([&] { return storeHub->gmPane()->model() != nullptr; });
    if (gmTab) noteHub(*storeHub);
    end(gmTab, gmTab ? "GM gifts: \"" + storeHub->gmPane()->nameLabel()->text() + "\" described, " +
                           storeHub->gmPane()->totalMoney()->currentTitle()
                     : "no GM tab");

    begin("商城：等级礼包");
    bool levelTab = storeHub && tapHubTab(*storeHub, 8) && waitFor([&] {
      return storeHub->levelStoreView()->giftVC()->tableView()->numberOfSections() > 0;
    });
    end(levelTab, levelTab ? "level gifts with " +
                                 std::to_string(storeHub->levelStoreView()->giftVC()->tableView()->numberOfSections()) +
                                 " packs"
                           : "no level packs");

    begin("商城：代金券与免费视频");
    bool vouchers = storeHub && tapHubTab(*storeHub, 4) && waitFor([&] {
      auto tab = storeHub->voucherView();
      return !tab->dayGiftView()->isHidden() && tab->closeBtn()->currentTitle() == "观看视频领取道具" &&
             tab->wkWebView()->URL() && !tab->wkWebView()->isLoading();
    });
    // The voucher page asked for the role ("get_remark") and shows the answer.
    std::string roleLine;
    bool answered = vouchers && waitFor([&] {
      roleLine = kit::describe(pageValue("document.getElementById('role').textContent",
                                         SessionClock::Waiting::ForRealWork,
                                         storeHub->voucherView()->wkWebView().get()));
      return roleLine.starts_with("角色：");
    });
    if (answered) {
      note("voucher page: " + roleLine);
      waitForPagePaint(storeHub->voucherView()->wkWebView().get());
    }
    end(vouchers && answered, vouchers ? "free-video offer with " +
                                             std::to_string(storeHub->voucherView()->itemView()->subviews().size()) +
                                             " rewards above the voucher page"
                                       : "no free-video offer");

    begin("免费视频：游戏卡片");
    kit::Ref<NUVAFreeVedioView> video;
    bool card = vouchers && kit::test::tap(storeHub->voucherView()->closeBtn()) &&
                (video = waitForView<NUVAFreeVedioView>()) != nullptr &&
                waitFor([&] { return video->icon()->image() && video->topbg()->image(); });
    end(card, card ? "card of \"" + video->name()->text() + "\" with its picture and icon" : "no free-video card");

    begin("免费视频：关闭视频与商城");
    bool closedVideo = card && kit::test::tap(video->playIcon()) && video->closeIcon() &&
                       kit::test::tap(video->closeIcon()) && !video->superview();
    if (storeHub) closeHub(*storeHub);
    bool hubGone = storeHub && waitFor([&] { return !storeHub->superview(); });
    end(closedVideo && hubGone && kit::describe(core->shop_type()) == "3",
        closedVideo ? "video closed without a reward; hub closed" : "the video or the hub stayed");

    // ---- Payment in the wallet app: order, pay sheet, coupon, result.
    simulator.wallet().install();
    begin("支付：下单并打开支付页");
    tapPage("pay");
    kit::Ref<KTNewPayVC> sheet;
    waitFor([&] { return (sheet = KTNewPayVC::openSheet()) && sheet->payStyle() != 0; });
    end(sheet != nullptr, sheet ? "pay sheet for " + kit::describe(sheet->order().money) + " yuan" : "no pay sheet");

    begin("优惠券：选择优惠券");
    kit::Ref<KTCouponsVC> picker;
    if (sheet && kit::test::tap(sheet->couponsBtn())) {
      waitFor([&] {
        picker = std::dynamic_pointer_cast<KTCouponsVC>(sheet->presentedViewController());
        return picker && picker->dataSource()->count() > 0;
      });
    }
    end(picker != nullptr, picker ? std::to_string(picker->dataSource()->count()) + " coupon(s) for the order" : "no picker");

    begin("钱包APP支付：支付结果");
    if (picker) {
      picker->doCancel();
      waitOnKitTimers([&] { return !sheet->presentedViewController(); });
    }
    bool walletPaid = sheet && kit::test::tap(sheet->GFWalletPayIconBtn()) && kit::test::tap(sheet->payBtn()) &&
                      waitFor([&] {
                        return sheet->coverView()->superview() &&
                               sheet->noticeView()->statusL()->text() == KTPayPlug::kPaidStatus;
                      });
    end(walletPaid, walletPaid ? "the wallet paid: " + sheet->noticeView()->statusL()->text() : "no paid notice");

    begin("返回游戏：payNotify");
    if (walletPaid) kit::test::tap(sheet->noticeView()->goToGameButton());
    bool paid = walletPaid && waitForAnswer("payNotify") && kit::describe(lastAnswer()["data"]["status"]) == "1";
    end(paid, paid ? "paid order " + kit::describe(lastAnswer()["data"]["order_id"]) + " for " +
                         kit::describe(lastAnswer()["data"]["cp_order"])
                   : "no payNotify with status 1");
    waitOnKitTimers([&] { return !KTNewPayVC::openSheet(); });
    sheet.reset();

    // ---- Payment on the H5 cashier's web page, then the result polling.
    begin("H5 收银台：网页支付页");
    tapPage("pay");
    kit::Ref<KTWebPayVC> payPage;
    if (waitFor([&] { return (sheet = KTNewPayVC::openSheet()) && sheet->payStyle() != 0; }) &&
        kit::test::tap(sheet->walletPayIconBtn()) && kit::test::tap(sheet->payBtn())) {
      waitFor([&] {
        auto* nav = sheet->navigationController();
        return nav && (payPage = std::dynamic_pointer_cast<KTWebPayVC>(nav->viewControllers().back()));
      });
      settle(1);
    }
    end(payPage != nullptr, payPage ? "the cashier page " + kit::describe(payPage->url()) : "no web pay page");

    begin("回到应用：查询支付结果");
    bool h5Paid = false;
    if (payPage) {
      auto orders = simulator.platform().orders();
      if (!orders.empty()) simulator.platform().markPaid(orders.back().orderNumber);
      payPage->cancelBtnClick();
      payPage.reset();
      h5Paid = waitOnKitTimers([&] { return sheet->noticeView()->statusL()->text() == KTNewPayVC::kPaid; });
    }
    end(h5Paid, h5Paid ? "the polling read the paid order" : "no paid result");

    begin("返回游戏：payNotify");
    if (h5Paid) kit::test::tap(sheet->noticeView()->goToGameButton());
    bool h5Notified = h5Paid && waitForAnswer("payNotify") &&
                      kit::describe(lastAnswer()["data"]["status"]) == "1";
    end(h5Notified, h5Notified ? "paid order " + kit::describe(lastAnswer()["data"]["order_id"]) : "no payNotify");
    waitOnKitTimers([&] { return !KTNewPayVC::openSheet(); });
    sheet.reset();

    // ---- Logout: the page hears of it and loads again.
    begin("退出登录：clientlogout 并重新加载页面");
    size_t loads = simulator.page().requests().size();
    tapPage("logout");
    bool out = waitForAnswer("clientlogout") &&
               waitFor([&] { return simulator.page().requests().size() > loads && controller_->pageFinished(); });
    bool reportedOut = out && waitFor([&] { return !simulator.platformAPI().requestsTo("login/logout").empty(); });
    end(reportedOut, reportedOut ? "logged out; page loaded again" : "no clientlogout, reload or logout report");

    kit::NotificationCenter::defaultCenter()->removeObserver(hudToken);
    return finish();
  }

 private:
  static double sinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime()).count();
  }

  void begin(std::string title) {
    steps_.push_back(Step{std::move(title), "", {}, "", false});
    std::printf("\n== %zu. %s\n", steps_.size(), steps_.back().title.c_str());
  }

  void note(const std::string& line) {
    std::printf("   %s\n", line.c_str());
    if (!steps_.empty()) steps_.back().messages.push_back(line);
  }

  // Runs a script in the page and waits for its value (nil on failure).
  kit::Id pageValue(const std::string& script, SessionClock::Waiting waiting = SessionClock::Waiting::ForRealWork,
                    kit::WebView* page = nullptr) {
    kit::Id value;
    bool done = false;
    (page ? page : web_.get())->evaluateJavaScript(script, [&](kit::Id v, kit::Ref<kit::Error> error) {
      if (error) note("page script failed: " + kit::describe(error));
      value = v;
      done = true;
    });
    clock_.run([&] { return done; }, waiting);
    return value;
  }

  // Waits until the page has painted what its script changed so far (two
  // of its animation frames), and the loop has run long enough after that
  // for the view's picture to take the frame: the page paints in real time.
  void waitForPagePaint(kit::WebView* view = nullptr) {
    if (!web_) return;
    constexpr auto page = SessionClock::Waiting::ForThePage;
    pageValue("window.kitPainted = false; requestAnimationFrame(function () {"
              " requestAnimationFrame(function () { window.kitPainted = true; }); }); true",
              page, view);
    clock_.run([&] { return kit::describe(pageValue("window.kitPainted === true", page, view)) == "1"; }, page,
               kit::Forever, kPagePaintTimeout);
    const auto painted = std::chrono::steady_clock::now();
    clock_.run([&] { return std::chrono::steady_clock::now() - painted >= kPageFrame; }, page);
  }

  // The page's state: what it sent and the answers it received.
  kit::Id pageState() {
    kit::Id text = pageValue("JSON.stringify({sent: gamePage.sent, answers: gamePage.answers})");
    if (!text) return nullptr;
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(kit::describe(text)));
  }

  // Prints what the page sent since the last look.
  void notePageMessages(const kit::Id& state) {
    auto sent = kit::as<kit::Array>(state["sent"]);
    for (size_t i = sentSeen_; sent && i < sent->count(); ++i)
      note("page → client: eventComplete " + kit::describe(sent->objectAtIndex(i)));
    if (sent) sentSeen_ = std::max(sentSeen_, sent->count());
  }

  // Taps one of the page's buttons at its centre, through the window, as a
  // player would, and waits for the page's message.
  void tapPage(const std::string& id) {
    kit::Id centre = pageValue("(function () { var r = document.getElementById('" + id +
                               "').getBoundingClientRect(); return {x: r.left + r.width / 2, y: r.top + r.height / 2}; })()");
    if (!centre) {
      note("no button #" + id + " on the page");
      return;
    }
    const kit::Point inPage{std::stod(kit::describe(centre["x"])), std::stod(kit::describe(centre["y"]))};
    const kit::Point inWindow = web_->convertPointToView(inPage, nullptr);
    note("tap #" + id + " at " + describePoint(inWindow));
    auto window = kit::Application::shared()->keyWindow();
    if (!window || !kit::test::tapAt(*window, inWindow)) note("(the tap did not land)");
    waitFor([&] {
      kit::Id state = pageState();
      auto sent = kit::as<kit::Array>(state["sent"]);
      if (!sent || sent->count() <= sentSeen_) return false;
      notePageMessages(state);
      return true;
    });
  }

  kit::Id lastAnswer() const { return lastAnswer_; }

  // Waits for the page's next answer with this action, read from the page
  // (which keeps its answers across the reload after a logout).
  bool waitForAnswer(const std::string& action) {
    return waitFor([&] {
      kit::Id state = pageState();
      auto answers = kit::as<kit::Array>(state["answers"]);
      if (!answers) return false;
      for (size_t i = answersSeen_; i < answers->count(); ++i) {
        kit::Id answer = answers->objectAtIndex(i);
        note("client → page: CallbackFromIOS " + compactJSON(answer));
        answersSeen_ = i + 1;
        if (kit::describe(answer["action"]) == action) {
          lastAnswer_ = answer;
          return true;
        }
      }
      return false;
    });
  }

  static std::string describePoint(kit::Point p) {
    char text[48];
    std::snprintf(text, sizeof text, "(%.0f, %.0f)", p.x, p.y);
    return text;
  }

  void noteHub(NUVAGMShopHub& hub) {
    std::string tabs;
    for (const auto& id : hub.strArray()) tabs += (tabs.empty() ? "" : ",") + id;
    note("store hub " + std::string(hub.form() == NUVAOverlayForm::Portrait ? "portrait" : "landscape") +
         ": tabs [" + tabs + "], " + std::to_string(hub.gmPane()->menu()->catelogyList()->count()) +
         " GM categories, " + std::to_string(hub.vipPane()->menu()->catelogyList()->count()) + " VIP categories");
  }

  // Taps the hub's tab button for a menu id.
  bool tapHubTab(NUVAGMShopHub& hub, long id) {
    for (const auto& button : hub.btnArray()) {
      if (button->tag() == id) return kit::test::tap(button);
    }
    return false;
  }

  // The portrait hub's corner button, else the open tab's own close control.
  void closeHub(NUVAGMShopHub& hub) {
    if (hub.closeBtn() && kit::test::tap(hub.closeBtn())) return;
    hub.closeClick();
  }

  // A view of this class in any of the application's windows.
  template <class V>
  static kit::Ref<V> findInWindows() {
    for (const auto& window : kit::Application::shared()->windows()) {
      auto found = kit::test::findViewsOfType<V>(*window);
      if (!found.empty()) return found.front();
    }
    return nullptr;
  }
  template <class V>
  kit::Ref<V> waitForAnyView(SessionClock::Waiting waiting = SessionClock::Waiting::ForRealWork) {
    kit::Ref<V> found;
    clock_.run([&] { return (found = findInWindows<V>()) != nullptr; }, waiting);
    return found;
  }

  // Waits for a view of this class on the key window.
  template <class V>
  kit::Ref<V> waitForView(SessionClock::Waiting waiting = SessionClock::Waiting::ForRealWork) {
    kit::Ref<V> found;
    clock_.run([&] {
      auto window = kit::Application::shared()->keyWindow();
      if (!window) return false;
      for (const auto& view : window->subviews())
        if ((found = std::dynamic_pointer_cast<V>(view))) return true;
      return false;
    }, waiting);
    return found;
  }

  static std::string describeFrame(const kit::Rect& r) {
    char text[96];
    std::snprintf(text, sizeof text, "(%.0f, %.0f, %.0f × %.0f)", r.origin.x, r.origin.y, r.size.width,
                  r.size.height);
    return text;
  }

  // Waits for what the page, the network or the simulator do.
  bool waitFor(const std::function<bool()>& condition) {
    return clock_.run(condition, SessionClock::Waiting::ForRealWork);
  }

  // Waits for what the page, the network or the simulator do while the
  // screen is drawn, as the device's display would: a list's pull-to-refresh
  // header starts the list's first load when it is first drawn.
  bool waitDrawn(const std::function<bool()>& condition) {
    return waitFor([&] {
      kit::renderScreen();
      return condition();
    });
  }

  // Waits for what kit's timers bring (and the work they set off).
  bool waitOnKitTimers(const std::function<bool()>& condition) {
    return clock_.run(condition, SessionClock::Waiting::OnKitTimers);
  }

  // Lets kit's clock run for a moment so that fades and answers settle.
  void settle(double seconds) { clock_.settleUntil(kit::Clock::now() + seconds); }

  void end(bool ok, const std::string& outcome) {
    settle(0.3);
    // kit's screens as they are now, and the page as it has drawn by then.
    waitForPagePaint();
    Step& step = steps_.back();
    step.ok = ok;
    step.outcome = outcome;
    char name[32];
    std::snprintf(name, sizeof name, "%02zu.png", steps_.size());
    step.picture = name;
    // Every window on screen, as the player sees them.
    std::string error;
    auto screen = kit::renderScreen();
    if (!screen || !kit::writePNG(*screen, (out_ / name).string(), &error)) {
      step.ok = false;
      step.outcome += " (no picture: " + error + ")";
    }
    std::printf("%s %s\n", step.ok ? "   ok:" : "   FAILED:", step.outcome.c_str());
  }

  int fail(const std::string& why) {
    std::fprintf(stderr, "main job: %s\n", why.c_str());
    return 1;
  }

  int finish() {
    std::ofstream index(out_ / "index.html");
    index << "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>星河远征 · 主流程</title>\n"
             "<style>body{font-family:sans-serif;background:#f3f1ec;margin:24px}"
             ".step{display:flex;gap:24px;margin-bottom:32px;background:#fff;padding:16px;border-radius:8px}"
             "img{width:300px;border:1px solid #ccc}.ok{color:#197a3d}.failed{color:#b3261e}"
             "pre{white-space:pre-wrap;font-size:12px;max-width:760px}</style></head><body>\n"
             "<h1>星河远征 · 主流程</h1>\n";
    int failures = 0;
    for (size_t i = 0; i < steps_.size(); ++i) {
      const Step& s = steps_[i];
      failures += !s.ok;
      index << "<div class=\"step\"><img src=\"" << s.picture << "\" alt=\"" << htmlEscape(s.title) << "\"><div><h2>"
            << i + 1 << ". " << htmlEscape(s.title) << "</h2><p class=\"" << (s.ok ? "ok" : "failed") << "\">"
            << (s.ok ? "✓ " : "✗ ") << htmlEscape(s.outcome) << "</p><pre>";
      for (const auto& m : s.messages) index << htmlEscape(m) << "\n";
      index << "</pre></div></div>\n";
    }
    index << "</body></html>\n";
    std::printf("\n%zu steps, %d failed; pictures and index.html in %s\n", steps_.size(), failures, out_.c_str());
    return failures ? 1 : 0;
  }

  fs::path out_;
  SessionClock clock_;
  std::vector<Step> steps_;
  kit::Ref<ViewController> controller_;
  kit::Ref<kit::WebView> web_;
  kit::Id lastAnswer_;
  size_t answersSeen_ = 0;
  size_t sentSeen_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  startTime();
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
  // The game page runs for real: the browser engine needs a display.
  if (!kit::browserEngineAvailable()) {
    std::fprintf(stderr, "main job: the game page needs the browser engine (%s); run it as make demo does, "
                         "under xvfb-run -a\n",
                 kit::browserEngineUnavailableReason().c_str());
    return 1;
  }
  kit::useBrowserEngine();
  MainJob job(argc > 1 ? argv[1] : "out/demo");
  int status = job.run();
  kit::Application::shared()->reset();
  return status;
}
