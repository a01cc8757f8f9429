// Fuzz target for the launch notice's outside input: the bytes are the
// link-form content of a notice shown on a key window, and the body of a
// notice page's script message. The card must lay out any content, put a
// link only on text inside the body, and open nothing but well-formed
// addresses outside the payment return scheme.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "channel/core/vanu_notice_view.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

kit::Window& keyWindow() {
  static kit::Ref<kit::Window>* window = [] {
    auto* w = new kit::Ref<kit::Window>(kit::Window::make());
    (*w)->setRootViewController(kit::make<kit::ViewController>());
    (*w)->makeKeyAndVisible();
    // Every scheme counts as installed, so only the notice's own rules stop a link.
    kit::Application::shared()->addInstalledScheme("tolmixwalletpayscheme");
    kit::Application::shared()->addInstalledScheme("weixin");
    return w;
  }();
  return **window;
}

void checkOpened() {
  for (const std::string& url : kit::Application::shared()->openedURLs()) check(VANUNoticeView::isOpenableLink(url));
  kit::Application::shared()->clearOpenedURLs();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  auto text = kit::String::fromUTF8Bytes(bytes);
  if (!text) return 0;
  kit::Window& window = keyWindow();

  auto notice = VANUNoticeView::init();
  notice->setNotice_type(kit::str("3"));
  notice->setNotice_title(kit::str("T"));
  notice->setNotice_content(text);
  notice->show();
  window.layoutIfNeeded();
  shownfuzz::checkTree(*notice, data, size);

  auto shown = notice->textView()->attributedText();
  for (const auto& run : shown->runs()) {
    check(run.range.location + run.range.length <= shown->length());
    if (!run.attributes.link.empty()) check(run.attributes.link == VANUNoticeView::kLinkMarker);
  }
  check(notice->textView()->font()->pointSize() >= VANUNoticeView::kMinimumFontSize);
  // A tap in the middle of the body, on whatever lies there.
  const kit::Rect body = kit::test::frameInWindow(*notice->textView());
  kit::test::tapAt(window, {body.midX(), body.midY()});
  checkOpened();

  // The same bytes as a page's message, as text and inside "data".
  auto message = kit::make<kit::ScriptMessage>("eventComplete", kit::Id(text), kit::Weak<kit::WebView>(),
                                               kit::FrameInfo{});
  notice->didReceiveScriptMessage(*notice->wkWebView()->configuration()->userContentController(), message);
  auto wrapped = kit::dict({{"action", "openurl"}, {"data", text}});
  notice->didReceiveScriptMessage(*notice->wkWebView()->configuration()->userContentController(),
                                  kit::make<kit::ScriptMessage>("eventComplete", kit::Id(wrapped),
                                                                kit::Weak<kit::WebView>(), kit::FrameInfo{}));
  checkOpened();

  notice->sureBtnClick();
  check(!notice->window());
  return 0;
}
