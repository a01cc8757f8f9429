// kit::BrowserEngine: the page engine that runs a page for real, on
// WebKitGTK 4.1. The page's own HTML, CSS and script run in WebKit's web
// content process; the page is laid out at the web view's size in points
// and drawn at the screen's scale (the display's, while a desktop window
// shows it) into an offscreen GTK window, whose picture the window
// renderer composes into every picture of the screen. Until WebKit has
// drawn a new document there, the engine's picture is the page shown
// before it (none for the first), never the empty window.
//
// What the page does reaches the web view (its page host) on the main
// thread, after the engine's event: `window.webkit.messageHandlers.<name>
// .postMessage(body)` for each handler name of the view's configuration
// (the body as kit values, through the engine's value-to-JSON), alert,
// confirm and prompt panels (the page waits for the answer), main-frame
// navigations it starts (links, location changes, forms: the view decides
// and loads them over kit networking like any other), title changes and
// its content process ending. The main document comes from the view; the
// page's subresources (scripts, styles, images, frames) load through
// WebKit's own network stack.
//
// Every GTK and WebKit call happens on kit's main thread; GLib's events run
// inside kit's main run loop (glib_pump.h). WebKit needs a display: where
// none can be had, make() answers nil and the web view falls back to the
// page driver (browser_runtime.h).
//
//   kit::useBrowserEngine();                    // new web views run pages for real
//   auto web = kit::WebView::make(bounds, configuration);
#pragma once

#include <memory>
#include <string>

#include "kit/web/page_engine.h"

namespace kit {

class BrowserEngine : public PageEngine {
 public:
  // A new engine, or nil (with one log line for the process) when no
  // display can be had.
  static Ref<BrowserEngine> make();
  BrowserEngine();
  ~BrowserEngine() override;

  // ---- PageEngine
  void loadDocument(const PageDocument& document, LoadCompletion loaded) override;
  void unloadDocument() override {}
  void evaluateScript(const std::string& script, ScriptCompletion completion) override;
  // Waits (running only GLib's events) up to SynchronousScriptSeconds.
  ScriptResult evaluateScriptAndWait(const std::string& script) override;
  std::string documentTitle() const override;
  bool drawsPage() const override { return true; }
  void setViewport(Size size, double scale) override;
  Ref<Bitmap> currentPicture() override;
  bool documentPainted() const override;
  void takeSnapshot(SnapshotCompletion completion) override;
  void pointerEvent(PointerPhase phase, Point location) override;
  void setKeyboardFocus(bool focused) override;
  bool keyEvent(const Key& key) override;

  static constexpr double SynchronousScriptSeconds = 10.0;
  // How long a loaded page may take to show its first frame before the
  // engine shows it as it is (real time: the page draws in real time).
  static constexpr double PaintWaitSeconds = 3.0;

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace kit
