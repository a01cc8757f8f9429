// Internal to the browser engine: when a document handed to its WebKit
// view has first been drawn in the engine's offscreen window, and what the
// engine shows until then.
//
// Until WebKit has drawn a new document, the window shows its own empty
// background, the document before it, or (after the content process
// ended) whatever WebKit left: the engine's picture is then the one of the
// document shown before. A document counts as drawn once its page has
// rendered `ProbeFrames` animation frames after its load, the window has
// since painted what WebKit handed it until then, and it shows a page (not
// its background) other than the one it showed when the document was
// handed over (a page whose process ended hands over nothing). WebKit's
// compositor hands the window its frames some frames after the page
// rendered them, the last ones of a page before that animated first: on a
// loaded machine, two frames after the load the window may still get
// those, each a picture other than the one of the hand-over.
// A page that shows nothing else within the paint wait after its load (a
// script that never yields, the very picture of the page before) is taken
// as drawn then. Main thread.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kit/graphics/bitmap.h"

namespace kit::detail {

class FirstPaint {
 public:
  // How many animation frames of a loaded document the watch waits for
  // before it looks at the window: on a loaded machine WebKit's compositor
  // was seen to hand the window a frame of the page before even after the
  // next document's fourth frame.
  static constexpr int ProbeFrames = 6;
  // A function body for a world of the page's own that returns true once
  // the page has rendered `frames` (at least 1) more animation frames.
  static std::string framesScript(int frames);

  // Watches `window`, the offscreen window that shows `view`, and gives
  // the window a background no page paints large areas of. `painted` is
  // called (inside GLib's dispatch) at each document's first paint; calls
  // into the page end with `cancellable`. A loaded document that shows
  // nothing new counts as drawn `paintWaitSeconds` (real time) after it
  // loaded.
  FirstPaint(GtkWidget* window, WebKitWebView* view, GCancellable* cancellable, double paintWaitSeconds,
             std::function<void()> painted);
  // Stops watching; the window outlives it.
  ~FirstPaint();
  FirstPaint(const FirstPaint&) = delete;
  FirstPaint& operator=(const FirstPaint&) = delete;

  // A new document is handed over (`afterProcessEnd`: the content process
  // ended and no document was handed over since), or the content process
  // ended: the current document is no longer drawn, and its picture is
  // kept to show until the next document's first paint.
  void documentHandedOver(bool afterProcessEnd);
  void processEnded();
  // The document handed over last has loaded (and its process lives):
  // waits for its first frames, then for the window to draw them.
  void awaitFirstPaint();
  // Whether the current document has been drawn.
  bool painted() const { return painted_; }
  // The window's picture once the document has been drawn; until then the
  // picture of the document shown before it (nil when there was none).
  Ref<Bitmap> picture() const { return painted_ ? windowPicture() : shownBefore_; }

 private:
  // The window's picture now (nil before the window has one).
  Ref<Bitmap> windowPicture() const;
  // What WebKit still shows of a page whose process ended is no frame to
  // wait past: the next document is drawn anew.
  void leaveDocument(bool afterProcessEnd);
  void stopPaintWait();
  void markPainted();
  // The document's frames were rendered: the window gets them a little
  // later, frames of the page before perhaps first. Once the window has
  // painted what it was handed before the probe's answer, whatever it
  // shows that is new is the document's.
  void awaitWindowPaint();
  // The first paint of the current document, once its frames were shown,
  // the window has caught up with them, and it has more than its
  // background.
  void checkFirstPaint();
  static void onFramesShown(GObject* source, GAsyncResult* result, gpointer data);
  static void onWindowPainted(GdkFrameClock* clock, FirstPaint* self);
  static gboolean onPaintWaitOver(gpointer data);
  static gboolean onWindowDamaged(GtkWidget*, GdkEvent*, FirstPaint* self);

  GtkWidget* window_;
  WebKitWebView* view_;
  GCancellable* cancellable_;
  double paintWaitSeconds_;
  std::function<void()> paintedCallback_;
  // Lets a probe whose answer comes late know that this is gone.
  std::shared_ptr<FirstPaint*> alive_ = std::make_shared<FirstPaint*>(this);
  uint64_t document_ = 0;  // the number of the document handed over last
  bool processEnded_ = false;
  bool framesShown_ = false;
  bool windowCaughtUp_ = false;
  bool painted_ = false;
  Ref<Bitmap> shownBefore_;
  Ref<Bitmap> replaced_;  // the window's page when the document was handed over
  guint paintWait_ = 0;
  GdkFrameClock* frameClock_ = nullptr;
  gulong afterPaint_ = 0;
};

}  // namespace kit::detail
