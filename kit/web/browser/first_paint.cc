// A document's first paint in the browser engine's window. See
// first_paint.h.
#include "kit/web/browser/first_paint.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "kit/web/browser/browser_values.h"
#include "kit/web/browser/glib_pump.h"

namespace kit::detail {

namespace {

// The engine window's own background, where WebKit has not drawn: a
// white no page paints large areas of, so that the window's picture tells
// an empty window (or one WebKit drew only a corner of, before the window
// had its size) from a page.
constexpr const char* kWindowBackgroundCSS = "window { background-color: #fffffe; }";
constexpr uint32_t kWindowBackground = 0xFFFFFFFE;  // as Cairo's ARGB word
// The window shows a page when at most this share of it is background.
constexpr size_t kEmptyShare = 100;  // 1 %

bool showsPage(const Ref<Bitmap>& picture) {
  if (!picture) return false;
  const std::span<const uint32_t> words = picture->premultipliedARGB();
  return static_cast<size_t>(std::count(words.begin(), words.end(), kWindowBackground)) * kEmptyShare <=
         words.size();
}

bool samePicture(const Ref<Bitmap>& a, const Ref<Bitmap>& b) {
  return a && b && a->width() == b->width() && a->height() == b->height() &&
         std::ranges::equal(a->premultipliedARGB(), b->premultipliedARGB());
}

// The first-paint probe of one document.
struct PaintProbe {
  std::weak_ptr<FirstPaint*> watch;
  uint64_t document;
};

}  // namespace

// In a world of its own, which the page's scripts cannot reach: each
// frame before the last has been rendered once the last one's callback
// runs.
std::string FirstPaint::framesScript(int frames) {
  return "await new Promise(function (done) {"
         " var left = " + std::to_string(frames) + ";"
         " function frame() { if (--left > 0) requestAnimationFrame(frame); else done(true); }"
         " requestAnimationFrame(frame); });"
         " return true;";
}

FirstPaint::FirstPaint(GtkWidget* window, WebKitWebView* view, GCancellable* cancellable, double paintWaitSeconds,
                       std::function<void()> painted)
    : window_(window),
      view_(view),
      cancellable_(cancellable),
      paintWaitSeconds_(paintWaitSeconds),
      paintedCallback_(std::move(painted)) {
  // Where WebKit has not drawn, the window shows the web views' own
  // background rather than the theme's.
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kWindowBackgroundCSS, -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(window_), GTK_STYLE_PROVIDER(css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  g_signal_connect(window_, "damage-event", G_CALLBACK(onWindowDamaged), this);
}

FirstPaint::~FirstPaint() {
  g_signal_handlers_disconnect_by_data(window_, this);
  if (afterPaint_) g_signal_handler_disconnect(frameClock_, afterPaint_);
  stopPaintWait();
}

Ref<Bitmap> FirstPaint::windowPicture() const {
  cairo_surface_t* shown = gtk_offscreen_window_get_surface(GTK_OFFSCREEN_WINDOW(window_));
  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  if (!shown || !gdkWindow) return nullptr;
  const int scale = gdk_window_get_scale_factor(gdkWindow);
  const int width = gdk_window_get_width(gdkWindow), height = gdk_window_get_height(gdkWindow);
  return bitmapFromSurface(shown, width, height, scale);
}

void FirstPaint::documentHandedOver(bool afterProcessEnd) {
  leaveDocument(afterProcessEnd);
  processEnded_ = false;
}

void FirstPaint::processEnded() {
  processEnded_ = true;
  leaveDocument(true);
}

void FirstPaint::leaveDocument(bool afterProcessEnd) {
  ++document_;
  stopPaintWait();
  framesShown_ = false;
  windowCaughtUp_ = false;
  Ref<Bitmap> shown = windowPicture();
  replaced_ = showsPage(shown) && !afterProcessEnd ? shown : nullptr;
  if (std::exchange(painted_, false)) shownBefore_ = shown;
}

void FirstPaint::stopPaintWait() {
  if (paintWait_) g_source_remove(paintWait_);
  paintWait_ = 0;
}

void FirstPaint::awaitFirstPaint() {
  if (painted_ || framesShown_) return;
  stopPaintWait();
  paintWait_ = g_timeout_add(static_cast<guint>(paintWaitSeconds_ * 1000), onPaintWaitOver, this);
  static const std::string probe = framesScript(ProbeFrames);
  webkit_web_view_call_async_javascript_function(view_, probe.c_str(), -1, nullptr, "kit-first-paint", nullptr,
                                                 cancellable_, onFramesShown, new PaintProbe{alive_, document_});
  GLibPump::shared().poke();
}

void FirstPaint::onFramesShown(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<PaintProbe> probe(static_cast<PaintProbe*>(data));
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (value) g_object_unref(value);
  const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  if (error) g_error_free(error);
  auto alive = probe->watch.lock();
  if (cancelled || !alive) return;
  FirstPaint& self = **alive;
  // A page whose scripts cannot run (turned off) shows its document all
  // the same: the frames the window gets next have it.
  if (probe->document != self.document_ || self.processEnded_) return;
  self.framesShown_ = true;
  self.awaitWindowPaint();
}

void FirstPaint::awaitWindowPaint() {
  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  GdkFrameClock* clock = gdkWindow ? gdk_window_get_frame_clock(gdkWindow) : nullptr;
  if (!clock) {
    windowCaughtUp_ = true;
    checkFirstPaint();
    return;
  }
  if (!afterPaint_) {
    frameClock_ = clock;
    afterPaint_ = g_signal_connect(clock, "after-paint", G_CALLBACK(onWindowPainted), this);
  }
  gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
  GLibPump::shared().poke();
}

void FirstPaint::onWindowPainted(GdkFrameClock* clock, FirstPaint* self) {
  g_signal_handler_disconnect(clock, self->afterPaint_);
  self->afterPaint_ = 0;
  if (!self->framesShown_) return;
  self->windowCaughtUp_ = true;
  self->checkFirstPaint();
}

gboolean FirstPaint::onPaintWaitOver(gpointer data) {
  FirstPaint& self = *static_cast<FirstPaint*>(data);
  self.paintWait_ = 0;
  if (!self.processEnded_ && !self.painted_) self.markPainted();
  return G_SOURCE_REMOVE;
}

gboolean FirstPaint::onWindowDamaged(GtkWidget*, GdkEvent*, FirstPaint* self) {
  self->checkFirstPaint();
  return FALSE;
}

void FirstPaint::checkFirstPaint() {
  if (!windowCaughtUp_ || painted_) return;
  Ref<Bitmap> shown = windowPicture();
  if (showsPage(shown) && !samePicture(shown, replaced_)) markPainted();
}

void FirstPaint::markPainted() {
  painted_ = true;
  shownBefore_ = nullptr;
  replaced_ = nullptr;
  stopPaintWait();
  if (paintedCallback_) paintedCallback_();
}

}  // namespace kit::detail
