// The page's content process: killing it is reported to the navigation
// delegate as the platform's content-process-terminated event, scripts
// fail with that error, and a reload brings the page back; a view whose
// delegate leaves the event alone reloads the page itself, and so does the
// older view, whose page shows again and follows its links; the older
// view's first load, its process killed before it ends, fails and the view
// loads the next page as asked. WebKit's
// processes die with the client when the client is killed. Skips itself
// without a display.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/spawn_attributes.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/web_view.h"

extern char** environ;

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

struct Watcher : kit::NavigationDelegate {
  int finished = 0, terminated = 0;
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
  void webViewWebContentProcessDidTerminate(kit::WebView&) override { ++terminated; }
};

class BrowserProcessTest : public kit::test::BrowserEngineTest {};

TEST_F(BrowserProcessTest, AKilledContentProcessIsReportedAndAReloadRecovers) {
  auto server = TestServer::startHTTP();
  TestResponse page = TestResponse::text("<title>游戏</title><script>var started = Date.now();</script>");
  page.contentType = "text/html; charset=utf-8";
  server->route("GET", "/index.html", page);
  auto web = kit::WebView::make(kit::Rect{0, 0, 375, 667});
  auto watcher = std::make_shared<Watcher>();
  web->setNavigationDelegate(watcher);
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/index.html"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return watcher->finished == 1; }));

  const std::vector<pid_t> before = kit::test::webContentProcesses();
  ASSERT_FALSE(before.empty());
  for (pid_t pid : before) kill(pid, SIGKILL);
  ASSERT_TRUE(kit::test::runUntil([&] { return watcher->terminated == 1; }));
  // The delegate handled the end: nothing is reloaded, and a script has no
  // page to run in.
  kit::Ref<kit::Error> ended;
  web->evaluateJavaScript("document.title", [&](kit::Id, kit::Ref<kit::Error> error) { ended = error; });
  ASSERT_TRUE(kit::test::runUntil([&] { return static_cast<bool>(ended); }));
  EXPECT_EQ(ended->domain(), kit::WebErrorDomain);
  EXPECT_EQ(ended->code(), kit::WebErrorWebContentProcessTerminated) << kit::describe(ended);
  EXPECT_EQ(watcher->finished, 1);

  web->reload();
  ASSERT_TRUE(kit::test::runUntil([&] { return watcher->finished == 2; }));
  bool answered = false;
  std::string title;
  web->evaluateJavaScript("typeof started + ' ' + document.title", [&](kit::Id value, kit::Ref<kit::Error> error) {
    title = error ? "error" : kit::describe(value);
    answered = true;
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return answered; }));
  EXPECT_EQ(title, "number 游戏");
  for (pid_t pid : kit::test::webContentProcesses()) EXPECT_EQ(std::count(before.begin(), before.end(), pid), 0);
  web.reset();
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
}

struct Probe : kit::ScriptMessageHandler {
  std::vector<std::string> messages;
  void didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) override {
    messages.push_back(kit::describe(message->body()));
  }
};

// A navigation delegate that leaves the content process's end to the view.
struct FinishCounter : kit::NavigationDelegate {
  int finished = 0;
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
};

TEST_F(BrowserProcessTest, AKilledContentProcessNobodyHandlesBringsThePageBackWithItsBridge) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/game.html",
                TestResponse::html("<title>游戏</title><script>"
                                   "function answer(x) { window.webkit.messageHandlers.probe.postMessage('answer ' + x); }"
                                   "window.webkit.messageHandlers.probe.postMessage('loaded');</script>"));
  auto probe = std::make_shared<Probe>();
  auto configuration = kit::WebViewConfiguration::make();
  configuration->userContentController()->addScriptMessageHandler(probe, "probe");
  auto web = kit::WebView::make(kit::Rect{0, 0, 375, 667}, configuration);
  auto counter = std::make_shared<FinishCounter>();
  web->setNavigationDelegate(counter);
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/game.html"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished == 1 && probe->messages.size() == 1; }));

  for (pid_t pid : kit::test::webContentProcesses()) kill(pid, SIGKILL);
  // The view loads the page again by itself, and the page's bridge works.
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->finished == 2 && probe->messages.size() == 2; }, 30));
  EXPECT_EQ(server->requests().size(), 2u);
  web->evaluateJavaScript("answer('again')");
  ASSERT_TRUE(kit::test::runUntil([&] { return probe->messages.size() == 3; }));
  EXPECT_EQ(probe->messages, (std::vector<std::string>{"loaded", "loaded", "answer again"}));
  configuration->userContentController()->removeScriptMessageHandlerForName("probe");
  web.reset();
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
}

struct LegacyLoads : kit::LegacyWebViewDelegate {
  std::vector<std::string> asked;
  std::vector<kit::LegacyNavigationType> types;
  int finished = 0;
  bool shouldStartLoadWithRequest(kit::LegacyWebView&, const kit::Ref<kit::URLRequest>& request,
                                  kit::LegacyNavigationType type) override {
    asked.push_back(request->URL()->absoluteText());
    types.push_back(type);
    return true;
  }
  void webViewDidFinishLoad(kit::LegacyWebView&) override { ++finished; }
};

TEST_F(BrowserProcessTest, TheOlderViewLoadsAPageWhoseProcessEndedAgainAndItsLinksWork) {
  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
  kit::test::LogCapture log;
  auto server = TestServer::startHTTP();
  server->route("GET", "/chat.html", TestResponse::html(R"(<title>客服</title><body style="margin:0; background:#2060a0">
      <a href="/faq.html" style="position:absolute; left:40px; top:100px; width:200px; height:60px;
         display:block; background:#0a0">常见问题</a></body>)"));
  server->route("GET", "/faq.html", TestResponse::html("<title>常见问题</title>"));
  auto window = kit::Window::make(kit::Rect{0, 0, 375, 667});
  auto web = kit::LegacyWebView::make(kit::Rect{0, 0, 375, 667});
  auto loads = std::make_shared<LegacyLoads>();
  web->delegate = loads;
  window->addSubview(web);
  window->makeKeyAndVisible();
  const std::string chat = server->url("/chat.html");
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(chat)));
  ASSERT_TRUE(kit::test::runUntil([&] { return loads->finished == 1 && web->documentPainted(); }));

  const std::vector<pid_t> before = kit::test::webContentProcesses();
  ASSERT_FALSE(before.empty());
  for (pid_t pid : before) kill(pid, SIGKILL);
  // The view loads the page again by itself, says so, and shows it.
  ASSERT_TRUE(kit::test::runUntil([&] { return loads->finished == 2 && web->documentPainted(); }, 30));
  EXPECT_EQ(loads->types.back(), kit::LegacyNavigationType::Reload);
  EXPECT_EQ(server->requestCount(), 2u);
  EXPECT_TRUE(log.contains("LegacyWebView: the page's content process ended; reloading " + chat));
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "客服");
  kit::Ref<kit::Bitmap> shown = kit::render(*window);
  ASSERT_TRUE(shown);
  const kit::Pixel page = shown->pixelAt(2 * 300, 2 * 400), link = shown->pixelAt(2 * 140, 2 * 130);
  EXPECT_TRUE(page.r == 0x20 && page.g == 0x60 && page.b == 0xa0) << int(page.r) << "," << int(page.g) << "," << int(page.b);
  EXPECT_TRUE(link.r == 0 && link.g == 0xaa && link.b == 0) << int(link.r) << "," << int(link.g) << "," << int(link.b);

  // Its link works: a tap on it is asked of the delegate and followed.
  ASSERT_TRUE(kit::test::tapAt(*window, {140, 130}));
  ASSERT_TRUE(kit::test::runUntil([&] { return loads->finished == 3; }));
  EXPECT_EQ(loads->asked.back(), server->url("/faq.html"));
  EXPECT_EQ(loads->types.back(), kit::LegacyNavigationType::LinkClicked);
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "常见问题");
  for (pid_t pid : kit::test::webContentProcesses()) EXPECT_EQ(std::count(before.begin(), before.end(), pid), 0);
  window->setHidden(true);
  web.reset();
  window.reset();
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
}

// Records what the older view tells its delegate.
struct LegacyEvents : kit::LegacyWebViewDelegate {
  std::vector<std::string> events;
  kit::Ref<kit::Error> error;
  void webViewDidStartLoad(kit::LegacyWebView&) override { events.push_back("start"); }
  void webViewDidFinishLoad(kit::LegacyWebView&) override { events.push_back("finish"); }
  void didFailLoadWithError(kit::LegacyWebView&, const kit::Ref<kit::Error>& e) override {
    events.push_back("fail");
    error = e;
  }
  bool ended() const { return !events.empty() && (events.back() == "finish" || events.back() == "fail"); }
};

TEST_F(BrowserProcessTest, TheOlderViewsFirstLoadWhoseProcessEndsFailsAndTheNextPageLoads) {
  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
  auto server = TestServer::startHTTP();
  // The page's script keeps its content process busy: the load cannot end
  // before the process is killed.
  server->route("GET", "/busy.html",
                TestResponse::html(R"(<title>忙</title><body style="margin:0; background:#a04020">
                                      <script src="/spin.js"></script></body>)"));
  TestResponse spin = TestResponse::text("var start = Date.now(); while (Date.now() - start < 20000) {}");
  spin.contentType = "text/javascript";
  server->route("GET", "/spin.js", spin);
  server->route("GET", "/chat.html",
                TestResponse::html(R"(<title>客服</title><body style="margin:0; background:#2060a0"></body>)"));
  auto paths = [&] {
    std::vector<std::string> out;
    for (const auto& r : server->requests()) out.push_back(r.path);
    return out;
  };
  auto window = kit::Window::make(kit::Rect{0, 0, 375, 667});
  auto web = kit::LegacyWebView::make(kit::Rect{0, 0, 375, 667});
  auto events = std::make_shared<LegacyEvents>();
  web->delegate = events;
  window->addSubview(web);
  window->makeKeyAndVisible();
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/busy.html"))));
  // WebKit runs the page: it asked for the script.
  auto asked = [&](const std::string& path) {
    const std::vector<std::string> all = paths();
    return std::count(all.begin(), all.end(), path);
  };
  ASSERT_TRUE(kit::test::runUntil([&] { return asked("/spin.js") == 1; }, 30));
  EXPECT_TRUE(web->isLoading());
  const std::vector<pid_t> before = kit::test::webContentProcesses();
  ASSERT_FALSE(before.empty());
  for (pid_t pid : before) kill(pid, SIGKILL);

  // The load fails for that reason; the view has no page to load again.
  ASSERT_TRUE(kit::test::runUntil([&] { return events->ended(); }, 30));
  EXPECT_EQ(events->events, (std::vector<std::string>{"start", "fail"}));
  ASSERT_TRUE(events->error);
  EXPECT_EQ(events->error->domain(), kit::WebErrorDomain);
  EXPECT_EQ(events->error->code(), kit::WebErrorWebContentProcessTerminated) << kit::describe(events->error);
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(web->isLoading());
  EXPECT_FALSE(web->documentPainted());
  EXPECT_EQ(web->historyIndex(), -1);

  // The next page loads and shows; nothing loaded the first again.
  events->events.clear();
  web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(server->url("/chat.html"))));
  ASSERT_TRUE(kit::test::runUntil([&] { return events->ended() && web->documentPainted(); }, 30));
  EXPECT_EQ(events->events, (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(asked("/busy.html"), 1) << "the page whose process ended was loaded again";
  EXPECT_EQ(asked("/chat.html"), 1);
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "客服");
  kit::Ref<kit::Bitmap> shown = kit::render(*window);
  ASSERT_TRUE(shown);
  const kit::Pixel page = shown->pixelAt(2 * 200, 2 * 400);
  EXPECT_TRUE(page.r == 0x20 && page.g == 0x60 && page.b == 0xa0) << int(page.r) << "," << int(page.g) << "," << int(page.b);
  window->setHidden(true);
  web.reset();
  window.reset();
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
}

TEST_F(BrowserProcessTest, WebKitsProcessesDieWithTheClient) {
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char program[] = KIT_CONTENT_PROCESS_CHILD;
  char* argv[] = {program, nullptr};
  pid_t child = 0;
  const kit::test::SpawnAttributes attributes;
  ASSERT_EQ(posix_spawn(&child, program, &actions, attributes.get(), argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  ASSERT_EQ(line.rfind("content", 0), 0u) << line;
  std::vector<pid_t> content;
  std::istringstream ids(line.substr(7));
  for (pid_t pid; ids >> pid;) content.push_back(pid);
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(kit::test::webContentProcesses(child), content);
  // Every process of WebKit's the client started, the network process too.
  const std::vector<pid_t> all = kit::test::webKitProcesses(child);
  EXPECT_GT(all.size(), content.size());

  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(kit::test::runUntil(
      [&] {
        for (pid_t pid : all)
          if (!kit::test::processHasExited(pid)) return false;
        return true;
      },
      20))
      << "a process of WebKit's outlived its client";
}

}  // namespace
