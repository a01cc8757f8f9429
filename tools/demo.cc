// The main job: the whole client on the embedded simulator. It starts the
// simulated services on 127.0.0.1, points the client at them through its
// configuration file, starts the client the way the platform would
// (application main, AppDelegate, the channel core's launch, the
// ViewController with its web view, whose game page runs in the browser
// engine), and plays a game session as a player would, tapping the page's
// own buttons through the window: the launch notice; login through the
// platform's login window, with the speed-up button the platform turns on
// and the registration form's agreement page; the floating ball and the
// user centre's pages (home, server openings, welfare, trade, service,
// messages); a payment before any role report; the role report with the
// level-reached pop-up, the time-store banner and the store it opens, and
// the lucky-player reward; the resource hall, first without goods (the
// not-open placard), then with its goods, a draw on each wheel and a goods
// card bought and paid in the wallet app; the page's store button with the
// hub's GM tab and a GM claim, the level and voucher tabs and the
// free-video card; two payments through the pay sheet, in the wallet app
// with a coupon and on the H5 cashier's web page; the store hub and the
// resource hall once more on a notched phone held in landscape; and logout.
// The page's answers are read from the page itself, by script. Every message
// between page and client is printed; after every step (and on the way
// through a step that passes a screen of its own) the screen (the page's
// real rendering under the native overlays) is written as a PNG, and
// index.html shows the steps in order. It exits non-zero when a step does
// not produce what the script expects, or when its picture shows the same
// screen as the one before it. It needs a display (make demo runs it under
// xvfb-run).
//
// Time: kit's clock is virtual for the whole session (demo_session_clock.h):
// where the script waits on kit's own timers (the launch pause, the splash,
// the banner's slide, the lucky-player delay, the HUD's dismissal, the
// settling before each picture) it moves on as soon as nothing else is
// happening, so those waits cost no real time while the steps and what
// kit's screens show in each picture stay those of a session at the real
// pace. Before each picture every web view on screen is given the time to
// draw its page (a step whose picture shows one that has not fails), and
// the game page the time to draw what it was told.
//
//   demo <output folder>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/application_main.h"
#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_time_pop_view.h"
#include "channel/core/vanu_notice_view.h"
#include "channel/hall/nuva_hall_views.h"
#include "channel/hall/nuva_infiniter_item.h"
#include "channel/hall/nuva_not_open_view.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/nuva_level_pop_view.h"
#include "channel/store/nuva_store_views.h"
#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/json_serialization.h"
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
#include "platform/account/kt_coupons_cell.h"
#include "platform/account/kt_coupons_vc.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/account/kt_show_html_vc.h"
#include "platform/account/kt_web_pay_vc.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "platform/usercenter/kt_su_home_msg_vc.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/kt_su_kaifu_vc.h"
#include "platform/usercenter/kt_su_service_vc.h"
#include "platform/usercenter/kt_su_trade_vc.h"
#include "platform/usercenter/kt_su_welfare_vc.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "sim/simulator.h"
#include "speedup/acc.h"
#include "tools/demo_game_page.h"
#include "tools/demo_payment_check.h"
#include "tools/demo_report.h"
#include "tools/demo_screens.h"
#include "tools/demo_services.h"
#include "tools/demo_session_clock.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

namespace fs = std::filesystem;
using demo::closeHub;
using demo::describeFrame;
using demo::SessionClock;
using demo::tapHubTab;
using demo::tapNearLeft;

// How long, in real seconds, a web view on screen may take to draw its
// page before a picture is taken without it (and its step fails).
constexpr double kWebPagePaintTimeout = 10.0;

std::chrono::steady_clock::time_point startTime() {
  static const auto start = std::chrono::steady_clock::now();
  return start;
}

class MainJob {
 public:
  explicit MainJob(fs::path out) : out_(std::move(out)) {}

  int run() {
    fs::create_directories(out_);
    // A fresh player on a fresh device: the once-a-day menu runs again.
    fs::remove(out_ / "defaults.plist");
    kit::UserDefaults::setStandardPath((out_ / "defaults.plist").string());

    // The services, scripted for the session, and the client's
    // configuration pointing at them.
    sim::Simulator simulator;
    demo::scriptTheSession(simulator);
    const std::string services = (out_ / "services.plist").string();
    if (std::string why = demo::pointTheClientAt(simulator, services); !why.empty()) return fail(why);
    std::printf("simulator: channel SDK server %s, game page %s\n", simulator.channel().baseURL().c_str(),
                simulator.page().pageURL().c_str());
    kit::QueueActivityWatch wakeOnWork;
    std::vector<std::string> hud;
    // The observer writes into `hud`: it goes when this call ends, whichever
    // way.
    struct ObserverRemoval {
      kit::Id token;
      ~ObserverRemoval() { kit::NotificationCenter::defaultCenter()->removeObserver(token); }
    } hudObserver{kit::NotificationCenter::defaultCenter()->addObserverForName(
        NUVAProgressHUDWillAppearNotification, nullptr, [&](const kit::Ref<kit::Notification>& n) {
          hud.push_back(n->userInfo() ? kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]) : "");
          note("HUD: " + hud.back());
        })};

    // ---- Launch: main, AppDelegate (with its pause), core, the page screen.
    // The channel SDK server answers "init" once the splash is gone, so that
    // each picture shows one change: the splash over the page, the page, then
    // the notice over it (a quick server has it over the splash at once).
    simulator.channel().holdAnswers("init");
    begin("启动：启动图与游戏页面");
    auto app = clock_.launch([] { return startApplication(); }, AppDelegate::kLaunchPauseSeconds);
    controller_ = app.controller();
    if (!controller_) return fail("the main window has no game page screen");
    web_ = controller_->wkWebView();
    page_.setView(web_);
    bool loaded = waitFor([&] { return controller_->pageFinished(); });
    if (loaded) note("page loaded " + std::to_string(static_cast<long>(sinceStart() * 1000)) + " ms after the start");
    end(loaded, loaded ? "page " + kit::describe(web_->URL()) + " loaded" : "the page did not load");

    begin("启动图消失，显示游戏页面");
    bool splashGone = waitOnKitTimers([&] { return controller_->splashView()->superview() == nullptr; });
    // At once: the init request is nearly three seconds (its time-out) old.
    end(splashGone, splashGone ? "the splash faded after two seconds" : "the splash stayed", 0);
    simulator.channel().releaseAnswers("init");

    // ---- The launch notice from the channel server's "init" answer.
    begin("启动公告：init 返回的公告");
    kit::Ref<VANUNoticeView> notice;
    waitFor([&] {
      notice = demo::onKeyWindow<VANUNoticeView>();
      return notice && !notice->titleView()->text().empty();
    });
    end(notice && notice->titleView()->text() == "星河远征开服公告",
        notice ? "notice \"" + notice->titleView()->text() + "\" over the game" : "no notice");

    begin("关闭公告：知道了");
    bool noticeClosed = notice && kit::test::tap(notice->sureButton()) &&
                        waitFor([&] { return !notice->superview() && !notice->coverView(); });
    end(noticeClosed, noticeClosed ? "cover and card removed" : "the notice stayed");

    // ---- Login through the platform's login window and the channel server.
    // The platform answers whether the speed-up tool is on once the login
    // window is pictured, so that its button comes up in a picture of its own.
    simulator.platformAPI().holdAnswers("pay/getjiasu");
    begin("开始游戏：平台登录窗口");
    tapPage("start");
    auto loginCard = waitForAnyView<KTLoginView>();
    // The window dims in and the card drops into place.
    if (loginCard) waitOnKitTimers([&] { settle(1); return true; });
    end(loginCard != nullptr, loginCard ? "the login window over the game" : "no login window");

    // The login window asked the platform whether the speed-up tool is on.
    begin("加速工具：平台开启后显示加速按钮");
    simulator.platformAPI().releaseAnswers("pay/getjiasu");
    bool speedButton = waitFor([] { return acc::touchWindow() && !acc::touchWindow()->isHidden(); });
    end(speedButton && !simulator.platformAPI().requestsTo("pay/getjiasu").empty(),
        speedButton ? "the speed-up button at " + describeFrame(acc::touchWindow()->frame()) : "no speed-up button");

    // The registration form's agreement link opens the agreement on the
    // login window's stack; back returns to the card.
    begin("用户协议：注册页的协议链接");
    kit::Ref<KTShowHTMLVC> agreement;
    if (loginCard) {
      auto panel = KTLoginView::get(loginCard->outlets().loginPanel);
      auto toRegister = panel ? kit::test::findButton(*panel, "账号注册") : nullptr;
      if (toRegister && kit::test::tap(toRegister)) picture("注册页：协议勾选与协议链接");
      auto link = KTLoginView::get(loginCard->outlets().protocalbtn);
      if (link && kit::test::tap(link)) {
        waitOnKitTimers([&] {
          agreement = kit::test::findController<KTShowHTMLVC>();
          return agreement && agreement->WebView() && !agreement->WebView()->isLoading() &&
                 !agreement->navigationController()->isTransitioning();
        });
        // The page has its text once the simulator's agreement is in.
        waitFor([&] {
          return agreement && agreement->WebView()
                                  ->stringByEvaluatingJavaScriptFromString("document.body ? document.body.innerText : ''")
                                  .find("用户协议") != std::string::npos;
        });
      }
    }
    end(agreement && agreement->WebView()->request(), agreement ? "the agreement " +
                                              kit::describe(agreement->WebView()->request()->URL()->absoluteString())
                                        : "no agreement page");
    if (agreement) {
      auto item = agreement->navigationItem().leftBarButtonItem();
      auto back = item && item->customView() && !item->customView()->subviews().empty()
                      ? std::dynamic_pointer_cast<kit::Button>(item->customView()->subviews().front())
                      : nullptr;
      if (!back || !kit::test::tap(back)) note("(no back arrow on the agreement page)");
      waitOnKitTimers([&] { return loginCard->window() != nullptr; });
      agreement.reset();
      auto accountLinks = KTLoginView::get(loginCard->outlets().accountView);
      auto backToLogin = accountLinks ? kit::test::findButton(*accountLinks, "返回登录") : nullptr;
      if (backToLogin) kit::test::tap(backToLogin);
      settle(0.5);
    }

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
      ball = demo::findInWindows<CXRHelperBtn>();
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

    begin("用户中心：客服");
    kit::Ref<KTSuServiceVC> service;
    bool serviceShown = centre && kit::test::tap(centre->barButton(KTSuspendVC::FirstTag + 4)) && waitFor([&] {
      service = kit::test::findController<KTSuServiceVC>();
      // The chat page as drawn, not the view before its first paint.
      return service && service->webView() && service->webView()->request() && !service->webView()->isLoading() &&
             service->webView()->documentPainted() && !simulator.userCentre().chatQueries().empty();
    });
    end(serviceShown, serviceShown ? "the service page with the chat " +
                                         kit::describe(service->webView()->request()->URL()->absoluteString())
                                   : "no service page");
    service.reset();

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

    // ---- Role report. The channel game server answers the level store's
    // report once the role report is pictured, so that the offer it brings
    // comes up in a picture of its own.
    simulator.game().holdAnswers("levelstore/report");
    begin("上报角色：uploadGameRoleInfo");
    tapPage("role-report");
    bool reported = waitForAnswer("uploadGameRoleInfo") &&
                    waitFor([&] { return !simulator.platformAPI().requestsTo("User/setRole").empty(); });
    end(reported, reported ? "role reported to the channel and the platform" : "no role report answer");

    // ---- The role's level is in a menu range: the level store's offer.
    begin("等级礼包弹窗：角色等级在菜单等级范围内");
    simulator.game().releaseAnswers("levelstore/report");
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

    // ---- The hall without goods: the not-open placard.
    begin("资源大厅未开放：商品列表为空");
    simulator.game().setResourceGoods("{}");
    tapPage("hall");
    auto placard = waitForView<NUVANotOpenView>();
    bool placardShown = placard && waitFor([&] { return placard->background()->image() != nullptr; });
    end(placardShown, placardShown ? "the not-open placard instead of the hall" : "no placard");
    if (placard) kit::test::tap(placard->closeButton());
    simulator.game().setResourceGoods(simulator.game().sampleHallGoods());

    // ---- The resource hall: goods, both wheels with a draw each, and a
    // goods card bought and paid in the wallet app.
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
    if (won) {
      won->closeClick();
      waitFor([&] { return !won->superview() && !won->coverView()->superview(); });
    }

    begin("超级福利转盘：抽一次");
    kit::Ref<NUVATurnOneGiftPopView> superWon;
    const std::string progressBefore = hall ? kit::describe(hall->use_superwelfare_nums()) : "";
    // The awake ball covers the middle of the tab: the player taps its
    // left end.
    if (goods && tapNearLeft(hall->rebtn3()) && !hall->superwelfareView()->isHidden() &&
        waitFor([&] { return hall->superwelfarecellArray()[0]->icon()->image() != nullptr; })) {
      note("super wheel: " + hall->superwelfareLabel()->text() + " spins, " + progressBefore + " used");
      kit::test::tap(hall->superclickOneButton());
      superWon = waitForView<NUVATurnOneGiftPopView>(SessionClock::Waiting::OnKitTimers);
    }
    bool superDrawn = superWon && waitFor([&] {
      return superWon->iconImg()->image() != nullptr && kit::describe(hall->use_superwelfare_nums()) != progressBefore;
    });
    end(superDrawn, superWon ? "won " + kit::describe(superWon->name()) + "; the bar moved to " +
                                   kit::describe(hall->use_superwelfare_nums()) + " used spins"
                             : "no super draw result");
    if (superWon) {
      superWon->closeClick();
      waitFor([&] { return !superWon->superview() && !superWon->coverView()->superview(); });
    }

    begin("资源大厅：商品卡购买，打开支付页");
    kit::Ref<KTNewPayVC> cardSheet;
    size_t ordersBefore = simulator.platform().orders().size();
    const size_t gameOrdersBefore = simulator.game().numberedOrders().size();
    // The amount the step asks: the card's price, as the hall shows it.
    const std::string cardMoney = goods ? kit::describe(hall->cards()[0]->model()->money()) : "";
    if (goods && kit::test::tap(hall->rebtn1()) && kit::test::tap(hall->cards()[0]->buyBtn())) {
      waitOnKitTimers([&] {
        return !hall->superview() && (cardSheet = KTNewPayVC::openSheet()) && cardSheet->payStyle() != 0;
      });
    }
    end(cardSheet && !simulator.game().requestsTo("charge/resorder").empty(),
        cardSheet ? "the hall closed on the order; pay sheet for " + kit::describe(cardSheet->order().money) + " yuan"
                  : "no pay sheet for the goods card");

    // The page hears of the payment of the order the hall placed.
    begin("商品卡：钱包APP支付");
    bool cardPaid = cardSheet && payInTheWallet(*cardSheet);
    demo::PaymentVerdict cardNotified{false, "the goods card's order was not paid"};
    if (cardPaid) {
      picture("钱包APP支付结果");
      // The order the step placed: the one the game server numbered for it.
      const auto numbered = simulator.game().numberedOrders();
      const demo::PlacedOrder cardOrder = numbered.size() == gameOrdersBefore + 1
                                              ? demo::PlacedOrder{numbered.back().orderId, cardMoney}
                                              : demo::PlacedOrder{};
      kit::test::tap(cardSheet->noticeView()->goToGameButton());
      cardNotified = waitForPayNotify(simulator, cardOrder);
    }
    waitOnKitTimers([&] { return !KTNewPayVC::openSheet(); });
    end(cardNotified.ok && simulator.platform().orders().size() > ordersBefore, cardNotified.outcome);
    cardSheet.reset();
    if (hall && hall->superview()) hall->closeClick();
    hall.reset();
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

    begin("GM礼包：领取");
    size_t hudBeforeClaim = hud.size();
    bool gmClaimed = gmTab && kit::test::tap(storeHub->gmPane()->claimButton()) && waitFor([&] {
      return simulator.game().giftClaims(sim::ChannelGameServer::Store::GM).size() == 1 && hud.size() > hudBeforeClaim;
    });
    end(gmClaimed && hud.back() == "领取成功",
        gmClaimed ? "claimed " + simulator.game().giftClaims(sim::ChannelGameServer::Store::GM).front() + ": HUD " +
                        hud.back()
                  : "no claim");
    waitOnKitTimers([] { return !NUVAProgressHUD::iNUVAisible(); });

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
      roleLine = kit::describe(page_.value("document.getElementById('role').textContent",
                                           SessionClock::Waiting::ForRealWork,
                                           storeHub->voucherView()->wkWebView().get()));
      return roleLine.starts_with("角色：");
    });
    if (answered) {
      note("voucher page: " + roleLine);
      page_.waitForPaint(storeHub->voucherView()->wkWebView().get());
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
    begin("支付：下单并打开支付页");
    tapPage("pay");
    const demo::PlacedOrder walletOrder = demo::placedOrderOf(page_.lastSent("pay"));
    kit::Ref<KTNewPayVC> sheet;
    waitFor([&] { return (sheet = KTNewPayVC::openSheet()) && sheet->payStyle() != 0; });
    end(sheet != nullptr, sheet ? "pay sheet for " + kit::describe(sheet->order().money) + " yuan" : "no pay sheet");

    begin("优惠券：选择优惠券");
    kit::Ref<KTCouponsVC> picker;
    bool couponChosen = false;
    if (sheet && kit::test::tap(sheet->couponsBtn())) {
      waitFor([&] {
        picker = std::dynamic_pointer_cast<KTCouponsVC>(sheet->presentedViewController());
        return picker && picker->dataSource()->count() > 0 && !picker->tableView()->visibleCells().empty();
      });
    }
    if (picker) {
      picture("优惠券列表");
      // The player takes the first coupon; the sheet shows the price less it.
      auto card = std::dynamic_pointer_cast<KTCouponsCell>(picker->tableView()->visibleCells().front());
      couponChosen = card && kit::test::tap(card->btn()) && waitOnKitTimers([&] {
                       return !sheet->presentedViewController() && kit::isSet(sheet->order().cid);
                     });
    }
    end(couponChosen, couponChosen ? "coupon " + kit::describe(sheet->order().cid) + " chosen: " +
                                         sheet->realMoneyL()->text() + " to pay instead of " + sheet->moneyL()->text()
                                   : "no coupon chosen");
    picker.reset();

    begin("钱包APP支付：支付结果");
    bool walletPaid = sheet && payInTheWallet(*sheet);
    end(walletPaid, walletPaid ? "the wallet paid: " + sheet->noticeView()->statusL()->text() : "no paid notice");

    begin("返回游戏：payNotify");
    if (walletPaid) kit::test::tap(sheet->noticeView()->goToGameButton());
    const demo::PaymentVerdict paid =
        walletPaid ? waitForPayNotify(simulator, walletOrder) : demo::PaymentVerdict{false, "no paid notice"};
    end(paid.ok, paid.outcome);
    waitOnKitTimers([&] { return !KTNewPayVC::openSheet(); });
    sheet.reset();

    // ---- Payment on the H5 cashier's web page, then the result polling.
    begin("H5 收银台：网页支付页");
    tapPage("pay");
    const demo::PlacedOrder cashierOrder = demo::placedOrderOf(page_.lastSent("pay"));
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
    const demo::PaymentVerdict h5Notified =
        h5Paid ? waitForPayNotify(simulator, cashierOrder) : demo::PaymentVerdict{false, "no paid result"};
    end(h5Notified.ok, h5Notified.outcome);
    waitOnKitTimers([&] { return !KTNewPayVC::openSheet(); });
    sheet.reset();

    // ---- The same player turns the phone: the store hub and the resource
    // hall in their landscape forms on a notched phone.
    kit::DeviceProfile::use(kit::DeviceProfile::notched812x375());
    settle(0.3);
    begin("横屏：商城");
    tapPage("store");
    auto wideHub = waitForView<NUVAGMShopHub>(SessionClock::Waiting::OnKitTimers);
    bool wideGM = wideHub && wideHub->form() == NUVAOverlayForm::Landscape && tapHubTab(*wideHub, 1) &&
                  waitFor([&] { return wideHub->gmPane()->model() != nullptr; });
    if (wideGM) noteHub(*wideHub);
    end(wideGM, wideGM ? "landscape store hub on the GM tab, \"" + wideHub->gmPane()->nameLabel()->text() + "\""
                       : "no landscape store hub");
    if (wideHub) closeHub(*wideHub);
    if (wideHub) waitFor([&] { return !wideHub->superview(); });
    wideHub.reset();

    begin("横屏：资源大厅");
    tapPage("hall");
    auto wideHall = waitForView<NUVAResourceHall>();
    bool wideGoods = wideHall && !wideHall->isPortrait() && waitFor([&] {
      return !wideHall->cards().empty() && wideHall->cards()[0]->prop_img()->image();
    });
    end(wideGoods, wideGoods ? "landscape resource hall with " + std::to_string(wideHall->cards().size()) +
                                   " goods in one row"
                             : "no landscape resource hall");
    if (wideHall) wideHall->closeClick();
    settle(0.3);
    wideHall.reset();
    kit::DeviceProfile::use(kit::DeviceProfile::phone375x667());
    settle(0.3);

    // ---- Logout: the page hears of it and loads again.
    begin("退出登录：clientlogout 并重新加载页面");
    size_t loads = simulator.page().requests().size();
    tapPage("logout");
    bool out = waitForAnswer("clientlogout") &&
               waitFor([&] { return simulator.page().requests().size() > loads && controller_->pageFinished(); });
    bool reportedOut = out && waitFor([&] { return !simulator.platformAPI().requestsTo("login/logout").empty(); });
    end(reportedOut, reportedOut ? "logged out; page loaded again" : "no clientlogout, reload or logout report");

    return finish();
  }

 private:
  static double sinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime()).count();
  }

  void begin(std::string title) { report_.begin(std::move(title)); }
  void note(const std::string& line) { report_.note(line); }

  // Pays the sheet's order in the wallet app, as the player picks it, and
  // waits for the sheet's paid notice.
  bool payInTheWallet(KTNewPayVC& sheet) {
    return kit::test::tap(sheet.GFWalletPayIconBtn()) && kit::test::tap(sheet.payBtn()) && waitFor([&] {
             return sheet.coverView()->superview() && sheet.noticeView()->statusL()->text() == KTPayPlug::kPaidStatus;
           });
  }

  // The page's own buttons, scripts and answers.
  void tapPage(const std::string& id) { page_.tap(id); }
  bool waitForAnswer(const std::string& action) { return page_.waitForAnswer(action); }
  // Waits for the page's payNotify naming the order and, once the pay sheet
  // is gone, checks every answer the page heard for the order against the
  // orders the simulator's servers keep: one outcome, paid.
  demo::PaymentVerdict waitForPayNotify(sim::Simulator& simulator, const demo::PlacedOrder& order) {
    page_.waitForAnswer("payNotify", [&](const kit::Id& answer) { return demo::isNotifyOf(answer, order); });
    waitOnKitTimers([&] { return !KTNewPayVC::openSheet(); });
    settle(0.3);
    const kit::Id answers = page_.value("JSON.stringify(gamePage.answers)");
    return demo::checkPaymentStep(
        order, answers ? kit::JSONSerialization::JSONObjectWithData(kit::Data::make(kit::describe(answers))) : nullptr,
        simulator.channel().orders(), simulator.platform().orders());
  }
  const kit::Id& lastAnswer() const { return page_.lastAnswer(); }

  void noteHub(NUVAGMShopHub& hub) { note(demo::describeHub(hub)); }

  // Waits for a view of this class in any window, or on the key window.
  template <class V>
  kit::Ref<V> waitForAnyView(SessionClock::Waiting waiting = SessionClock::Waiting::ForRealWork) {
    kit::Ref<V> found;
    clock_.run([&] { return (found = demo::findInWindows<V>()) != nullptr; }, waiting);
    return found;
  }
  template <class V>
  kit::Ref<V> waitForView(SessionClock::Waiting waiting = SessionClock::Waiting::ForRealWork) {
    kit::Ref<V> found;
    clock_.run([&] { return (found = demo::onKeyWindow<V>()) != nullptr; }, waiting);
    return found;
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

  // Ends the step with a picture, once fades and answers have had
  // `settling` seconds of kit's clock.
  void end(bool ok, const std::string& outcome, double settling = 0.3) {
    settle(settling);
    waitForPictureOfTheScreen();
    report_.end(ok, outcome);
  }

  // A picture on the way through the step, of what `caption` says.
  void picture(const std::string& caption) {
    settle(0.5);
    waitForPictureOfTheScreen();
    report_.picture(caption);
  }

  // kit's screens as they are now (their clock stands still meanwhile),
  // every web view on them showing its page (a page is drawn a moment
  // after it loads), and the game page as it has drawn what it was told.
  void waitForPictureOfTheScreen() {
    clock_.run([] { return demo::unpaintedWebViews().empty(); }, SessionClock::Waiting::ForThePage, kit::Forever,
               kWebPagePaintTimeout);
    page_.waitForPaint();
  }

  int fail(const std::string& why) {
    std::fprintf(stderr, "main job: %s\n", why.c_str());
    return 1;
  }

  int finish() { return report_.finish() ? 1 : 0; }

  fs::path out_;
  SessionClock clock_;
  demo::Report report_{out_};
  kit::Ref<ViewController> controller_;
  kit::Ref<kit::WebView> web_;
  demo::GamePage page_{clock_, report_};
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
