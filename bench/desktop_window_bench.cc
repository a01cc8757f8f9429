// The client window on a display: how fast a game page's canvas animation
// runs inside the desktop window (the page's requestAnimationFrame count
// and the window's frames, per second of wall time), and how long a click
// made through the display server (XTest) takes to reach the page's click
// handler. Each is compared with its budget: a frame every 1/30 s, a click
// in 50 ms. Needs a display (run it under xvfb-run); without one both
// benchmarks report the reason and the comparisons read "not run".

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "kit/desktop/desktop_window.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/window.h"
#include "kit/web/browser/browser_runtime.h"
#include "kit/web/web_view.h"

// Last: X11's macros would rename kit's enumerators.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

// A canvas redrawn on every animation frame, counting them, and a button
// that notes when the press of a click reaches its handler (milliseconds
// since the epoch).
const char* kGamePage = R"(<!DOCTYPE html><html><body style="margin:0; background:#102030">
<canvas id="c" width="375" height="300" style="position:absolute; left:0; top:0"></canvas>
<button id="b" style="position:absolute; left:100px; top:360px; width:175px; height:80px">开始</button>
<script>
  var g = document.getElementById('c').getContext('2d'), frames = 0, clicks = [];
  function step(t) {
    frames++;
    g.fillStyle = '#102030'; g.fillRect(0, 0, 375, 300);
    g.fillStyle = '#f0c040'; g.fillRect((t / 4) % 335, 130, 40, 40);
    requestAnimationFrame(step);
  }
  requestAnimationFrame(step);
  document.getElementById('b').addEventListener('pointerdown', function () {
    clicks.push(performance.timeOrigin + performance.now());
  });
</script></body></html>)";

double wallMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// One client screen with the page in the desktop window, shared by the
// benchmarks.
struct Scene {
  kit::Ref<kit::Window> window;
  kit::Ref<kit::WebView> web;
  std::unique_ptr<kit::DesktopWindow> desktop;
  Display* display = nullptr;
  int originX = 0, originY = 0;
  std::string failure;

  Scene() {
    kit::useBrowserEngine();
    if (!kit::browserEngineAvailable()) {
      failure = "no display: " + kit::browserEngineUnavailableReason();
      return;
    }
    window = kit::Window::make();
    web = kit::WebView::make(window->bounds());
    window->addSubview(web);
    window->makeKeyAndVisible();
    struct Finish : kit::NavigationDelegate {
      bool done = false;
      void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { done = true; }
    };
    auto finish = std::make_shared<Finish>();
    web->setNavigationDelegate(finish);
    web->loadHTMLString(kGamePage, kit::URL::URLWithString("http://127.0.0.1/game.html"));
    desktop = kit::DesktopWindow::open("bench");
    display = desktop ? XOpenDisplay(desktop->displayName().c_str()) : nullptr;
    if (!kit::test::runUntil([&] { return finish->done; }) || !desktop || !display) {
      failure = "the page or the window did not come up";
      return;
    }
    kit::test::runUntil([&] { return desktop->framesDrawn() > 0; });
    ::Window child;
    XTranslateCoordinates(display, desktop->xid(), DefaultRootWindow(display), 0, 0, &originX, &originY, &child);
  }
  ~Scene() {
    if (display) XCloseDisplay(display);
  }
  double number(const std::string& script) {
    double value = -1;
    bool done = false;
    web->evaluateJavaScript(script, [&](kit::Id result, kit::Ref<kit::Error> error) {
      if (!error) value = std::stod(kit::describe(result));
      done = true;
    });
    kit::test::runUntil([&] { return done; });
    return value;
  }
  // Runs kit's main loop until the number `script` gives exceeds `above`:
  // the script is asked again each time its answer comes.
  bool waitForPage(const std::string& script, double above) {
    bool reached = false, asking = false;
    return kit::test::runUntil([&] {
      if (!asking && !reached) {
        asking = true;
        web->evaluateJavaScript(script, [&](kit::Id result, kit::Ref<kit::Error> error) {
          asking = false;
          reached = !error && std::stod(kit::describe(result)) > above;
        });
      }
      return reached;
    }) || (kit::test::runUntil([&] { return !asking; }) && false);
  }
  // Runs kit's main loop for `seconds` of wall time.
  void run(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    kit::test::runUntil([&] { return std::chrono::steady_clock::now() >= end; }, seconds + 5);
  }
};

Scene& scene() {
  static Scene* shared = new Scene();  // lives as long as the program: the engine keeps its windows
  return *shared;
}

void BM_CanvasAnimationInTheWindow(benchmark::State& state) {
  Scene& s = scene();
  if (!s.failure.empty()) {
    state.SkipWithError(s.failure.c_str());
    return;
  }
  double pageFrames = 0, windowFrames = 0, seconds = 0;
  for (auto _ : state) {
    const double frames = s.number("frames");
    const long drawn = s.desktop->framesDrawn();
    const auto start = std::chrono::steady_clock::now();
    s.run(0.5);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pageFrames += s.number("frames") - frames;
    windowFrames += static_cast<double>(s.desktop->framesDrawn() - drawn);
    seconds += elapsed;
    state.SetIterationTime(elapsed / std::max(1.0, static_cast<double>(s.desktop->framesDrawn() - drawn)));
  }
  state.counters["page_fps"] = pageFrames / seconds;
  state.counters["window_fps"] = windowFrames / seconds;
}
BENCHMARK(BM_CanvasAnimationInTheWindow)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_ClickToThePagesHandler(benchmark::State& state) {
  Scene& s = scene();
  if (!s.failure.empty()) {
    state.SkipWithError(s.failure.c_str());
    return;
  }
  // The middle of the page's button, in points (times the window's pixels
  // per point).
  const double scale = s.desktop->scale();
  const int x = s.originX + static_cast<int>(187 * scale), y = s.originY + static_cast<int>(400 * scale);
  for (auto _ : state) {
    // Clicks apart in time, as a player's taps are, not a double click.
    s.run(0.6);
    const double before = s.number("clicks.length");
    XTestFakeMotionEvent(s.display, -1, x, y, CurrentTime);
    XSync(s.display, False);
    const double sent = wallMilliseconds();
    XTestFakeButtonEvent(s.display, 1, True, CurrentTime);
    XTestFakeButtonEvent(s.display, 1, False, CurrentTime);
    XSync(s.display, False);
    if (!s.waitForPage("clicks.length", before)) {
      state.SkipWithError("the click did not reach the page");
      return;
    }
    const double handled = s.number("clicks[clicks.length - 1]");
    state.SetIterationTime((handled - sent) / 1000);
  }
}
BENCHMARK(BM_ClickToThePagesHandler)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// The names the runs are reported under.
const char* kCanvas = "BM_CanvasAnimationInTheWindow/iterations:6/manual_time";
const char* kClick = "BM_ClickToThePagesHandler/iterations:20/manual_time";

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double fps = reporter.counter(kCanvas, "page_fps");
  std::printf("canvas animation: %.1f page frames/s, %.1f window frames/s\n", fps,
              reporter.counter(kCanvas, "window_fps"));
  // Times in the display unit (milliseconds): a page frame against the
  // budget of 1/30 s, a click against 50 ms.
  bench::reportRatio("canvas_page_frame/30fps_budget", fps > 0 ? 1000 / fps : 0, 1000.0 / 30, 1.0);
  bench::reportRatio("click_to_page_handler/50ms_budget", reporter.realTime(kClick), 50, 1.0);
  return 0;
}
