// The launch notice card on a key window: its geometry on a 375 x 667
// phone and in a picture, closing, the three body forms, the font floor of a
// long text, the text link (opening only on its own glyphs, never the
// payment return scheme), and a notice page served from a loopback server
// whose "openurl" message opens its link.

#include "channel/core/vanu_notice_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

size_t tapRecognizers(const kit::View& view) {
  size_t count = 0;
  for (const auto& recognizer : view.gestureRecognizers()) {
    count += kit::isKind<kit::TapGestureRecognizer>(recognizer);
  }
  return count;
}

class NoticeView : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Application::shared()->reset();
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
  }
  void TearDown() override { kit::Application::shared()->reset(); }

  // A notice shown and laid out, as the channel core shows it.
  kit::Ref<VANUNoticeView> showNotice(const std::string& type, const std::string& content,
                                      const std::string& title = "T", const std::string& url = "(null)") {
    auto notice = VANUNoticeView::init();
    notice->setNotice_url(kit::str(url));
    notice->setNotice_type(kit::str(type));
    notice->setNotice_content(kit::str(content));
    notice->setNotice_title(kit::str(title));
    notice->show();
    window->layoutIfNeeded();
    return notice;
  }

  // The window point at the middle of the first character of `part`.
  kit::Point pointOnText(VANUNoticeView& notice, const std::string& part) {
    auto& text = *notice.textView();
    const kit::Range range = kit::String::make(text.text())->rangeOfString(part);
    const kit::Rect box = text.firstRectForRange(range);
    return text.convertPointToView({box.midX(), box.midY()}, nullptr);
  }

  const std::vector<std::string>& opened() { return kit::Application::shared()->openedURLs(); }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
};

TEST_F(NoticeView, CardGeometryOnA375By667Phone) {
  auto notice = showNotice("1", "欢迎来到星河远征");
  EXPECT_EQ(notice->window(), window);
  EXPECT_EQ(notice->titleView()->frame(), (kit::Rect{0, 0, 345, 44}));
  EXPECT_EQ(notice->bodyView()->frame(), (kit::Rect{0, 45, 345, 195}));
  EXPECT_EQ(notice->textView()->frame(), (kit::Rect{20, 0, 305, 195}));
  EXPECT_EQ(notice->wkWebView()->frame(), (kit::Rect{0, 0, 345, 195}));
  EXPECT_EQ(notice->lineView()->frame(), (kit::Rect{0, 240, 345, 1}));
  EXPECT_EQ(notice->sureButton()->frame(), (kit::Rect{0, 241, 345, 44}));
  EXPECT_EQ(notice->frame(), (kit::Rect{10, 186, 355, 295}));
  EXPECT_EQ(notice->layer()->cornerRadius(), 12);
  EXPECT_EQ(notice->titleView()->text(), "T");
  EXPECT_EQ(notice->sureButton()->currentTitle(), "知道了");

  // The cover lies under the card over the whole window, with a dark blur.
  auto cover = notice->coverView();
  ASSERT_TRUE(cover);
  EXPECT_EQ(cover->superview(), window);
  EXPECT_EQ(cover->frame(), window->bounds());
  const auto& top = window->subviews();
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(top[top.size() - 2], cover);
  EXPECT_EQ(top.back(), notice);
  auto blurs = kit::test::findViewsOfType<kit::VisualEffectView>(*cover);
  ASSERT_EQ(blurs.size(), 1u);
  EXPECT_EQ(blurs[0]->effect()->style, kit::BlurEffectStyle::Dark);
  EXPECT_EQ(blurs[0]->frame(), cover->bounds());

  // In the picture: the orange bar, the white body and button, the dimmed
  // game around the card.
  auto picture = kit::render(*window, 1);
  ASSERT_TRUE(picture);
  auto bar = picture->pixelAt(40, 186 + 5);
  EXPECT_EQ(bar.r, 246);
  EXPECT_EQ(bar.g, 71);
  EXPECT_EQ(bar.b, 32);
  auto body = picture->pixelAt(15, 186 + 100);
  EXPECT_GT(body.r + body.g + body.b, 3 * 240);
  auto button = picture->pixelAt(30, 186 + 241 + 22);
  EXPECT_GT(button.r + button.g + button.b, 3 * 240);
  auto dimmed = picture->pixelAt(5, 20);
  EXPECT_LT(dimmed.r + dimmed.g + dimmed.b, 3 * 100);
#ifdef KIT_UI_ARTIFACT_DIR
  std::filesystem::create_directories(KIT_UI_ARTIFACT_DIR);
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/launch_notice.png"));
#endif
}

TEST_F(NoticeView, KnowButtonRemovesCoverAndCardAndTheCardGoes) {
  kit::Weak<VANUNoticeView> weak;
  {
    auto notice = showNotice("1", "维护公告");
    weak = notice;
    kit::Weak<kit::Button> cover = notice->coverView();
    // A tap on the dimmed cover changes nothing.
    ASSERT_TRUE(kit::test::tapAt(*window, {5, 20}));
    EXPECT_EQ(notice->window(), window);
    ASSERT_TRUE(kit::test::tap(notice->sureButton()));
    EXPECT_FALSE(notice->window());
    EXPECT_TRUE(cover.expired());
    EXPECT_FALSE(notice->coverView());
  }
  EXPECT_TRUE(weak.expired());
}

TEST_F(NoticeView, PlainTextIsCentredOrShrunkToTheFloor) {
  auto notice = showNotice("1", "今晚八点停服维护");
  auto text = notice->textView();
  EXPECT_FALSE(text->isHidden());
  EXPECT_TRUE(notice->wkWebView()->isHidden());
  EXPECT_EQ(text->text(), "今晚八点停服维护");
  EXPECT_EQ(text->font()->pointSize(), 18);
  const double contentHeight = text->contentSize().height;
  ASSERT_LT(contentHeight, 195);
  EXPECT_DOUBLE_EQ(text->contentInset().top, (195 - contentHeight) / 2);
  EXPECT_TRUE(text->isScrollEnabled());

  // A text a little too tall shrinks until it fits.
  std::string medium;
  for (int i = 0; i < 9; ++i) medium += "本次更新内容较多，请耐心等待。";
  auto fitted = showNotice("1", medium);
  EXPECT_LT(fitted->textView()->font()->pointSize(), 18);
  EXPECT_GE(fitted->textView()->font()->pointSize(), VANUNoticeView::kMinimumFontSize);
  EXPECT_LE(fitted->textView()->contentSize().height, 195);

  // A very long one stops at the floor and scrolls.
  std::string longText;
  for (int i = 0; i < 80; ++i) longText += "本次更新内容较多，请耐心等待。";
  auto scrolled = showNotice("1", longText);
  EXPECT_EQ(scrolled->textView()->font()->pointSize(), VANUNoticeView::kMinimumFontSize);
  EXPECT_GT(scrolled->textView()->contentSize().height, 195);
  EXPECT_EQ(scrolled->textView()->contentInset().top, 0);
}

TEST_F(NoticeView, LinkTextOpensOnlyOnTheLink) {
  auto notice = showNotice("3", R"({"content":"活动详情请点击这里查看，祝您游戏愉快。谢谢支持！",
      "url_content":"点击这里","url":"https://example.com/event?id=7"})");
  EXPECT_EQ(notice->contentStr()->utf8(), "点击这里");
  EXPECT_EQ(notice->contentUrl()->utf8(), "https://example.com/event?id=7");
  auto text = notice->textView();
  EXPECT_FALSE(text->isHidden());
  EXPECT_FALSE(text->isScrollEnabled());
  EXPECT_FALSE(text->isSelectable());
  EXPECT_FALSE(text->isEditable());

  // The link characters carry the marker and are drawn orange.
  const kit::Range range = kit::String::make(text->text())->rangeOfString("点击这里");
  auto styling = text->textStylingAtPosition({range.location + 1});
  EXPECT_EQ(styling.link, VANUNoticeView::kLinkMarker);
  EXPECT_TRUE(text->linkTextColor()->isEqual(*kit::Color::rgba(246 / 255.0, 71 / 255.0, 32 / 255.0)));
  EXPECT_TRUE(text->textStylingAtPosition({0}).link.empty());

  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*notice, "活动")));
  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*notice, "谢谢")));
  // Below the text, inside the body.
  const kit::Rect textFrame = kit::test::frameInWindow(*text);
  ASSERT_TRUE(kit::test::tapAt(*window, {textFrame.midX(), textFrame.maxY() - 5}));
  EXPECT_TRUE(opened().empty());

  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*notice, "这里")));
  ASSERT_EQ(opened().size(), 1u);
  EXPECT_EQ(opened()[0], "https://example.com/event?id=7");

  // Further layout passes do not stack tap handlers: one tap, one opening.
  notice->setNeedsLayout();
  window->layoutIfNeeded();
  EXPECT_EQ(tapRecognizers(*text), 1u);
  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*notice, "点击")));
  EXPECT_EQ(opened().size(), 2u);

  // A link ending the text: the empty space below it is not the link,
  // though the nearest character there is.
  auto last = showNotice("3", R"({"content":"详情请点击这里","url_content":"点击这里","url":"https://e.com/x"})");
  const kit::Point onLink = pointOnText(*last, "这里");
  ASSERT_TRUE(kit::test::tapAt(*window, {onLink.x, onLink.y + 60}));
  EXPECT_EQ(opened().size(), 2u);
  ASSERT_TRUE(kit::test::tapAt(*window, onLink));
  EXPECT_EQ(opened().size(), 3u);
}

TEST_F(NoticeView, LinkTextNeverOpensThePaymentSchemeOrAMalformedAddress) {
  kit::Application::shared()->addInstalledScheme("tolmixwalletpayscheme2024");
  kit::Application::shared()->addInstalledScheme("weixin");
  for (const char* url : {"TolmixWalletPayScheme2024://pay?result=success", "tolmixwalletpayscheme2024://x",
                          "http://exa mple.com/", "(null)"}) {
    auto notice = showNotice("0", std::string(R"({"content":"去看看","url_content":"看看","url":")") + url + "\"}");
    ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*notice, "看看"))) << url;
    EXPECT_TRUE(opened().empty()) << url;
    notice->sureBtnClick();
  }
  // Another application's scheme opens as any address does.
  auto notice = showNotice("0", R"({"content":"去看看","url_content":"看看","url":"weixin://dl/business"})");
  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*notice, "看看")));
  ASSERT_EQ(opened().size(), 1u);
  EXPECT_EQ(opened()[0], "weixin://dl/business");
}

TEST_F(NoticeView, LinkFormFallsBackToPlainText) {
  // Content that is not JSON: shown as it is, with no link and no handler.
  kit::test::LogCapture logs;
  auto broken = showNotice("5", "服务器维护中，请稍后 {再试");
  EXPECT_EQ(broken->textView()->text(), "服务器维护中，请稍后 {再试");
  EXPECT_EQ(tapRecognizers(*broken->textView()), 0u);
  for (size_t i = 0; i < broken->textView()->attributedText()->length(); ++i) {
    EXPECT_TRUE(broken->textView()->attributedText()->attributesAt(i).link.empty());
  }
  EXPECT_TRUE(logs.contains("json解析失败"));

  // A link text that is not in the content: the body has no link.
  auto unmatched = showNotice("x", R"({"content":"今晚维护","url_content":"点我","url":"https://example.com"})");
  EXPECT_EQ(unmatched->textView()->text(), "今晚维护");
  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*unmatched, "维护")));
  EXPECT_TRUE(opened().empty());

  // Tabs and line breaks written raw are dropped before parsing; escaped
  // ones inside strings still decode.
  auto multiline = showNotice("x", "{\n\t\"content\":\"第一行\\n第二行\",\r\n\"url_content\":\"第二行\",\"url\":\"https://e.com\"}");
  EXPECT_EQ(multiline->textView()->text(), "第一行\n第二行");
  ASSERT_TRUE(kit::test::tapAt(*window, pointOnText(*multiline, "第二行")));
  ASSERT_EQ(opened().size(), 1u);
  EXPECT_EQ(opened()[0], "https://e.com");
}

TEST_F(NoticeView, JsonTextToDictionary) {
  auto notice = VANUNoticeView::init();
  EXPECT_EQ(notice->dictionaryWithJsonString(nullptr), nullptr);
  EXPECT_EQ(notice->dictionaryWithJsonString(kit::str("[1,2]")), nullptr);
  auto parsed = notice->dictionaryWithJsonString(kit::str("{\"a\":\t\"b\r\nc\"}"));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(kit::describe(kit::Id(parsed)["a"]), "bc");
}

// ---- The web form --------------------------------------------------------------------------

TestResponse page(std::string body) {
  TestResponse r = TestResponse::text(std::move(body));
  r.contentType = "text/html; charset=utf-8";
  return r;
}

class NoticePage : public NoticeView {
 protected:
  // Shows a web notice and waits for its page to load.
  kit::Ref<VANUNoticeView> showPage() {
    server->route("GET", "/notice", page("<html><head><title>公告</title></head><body>停服维护</body></html>"));
    auto notice = showNotice("2", "(null)", "T", server->url("/notice"));
    driver = notice->wkWebView()->pageDriver();
    EXPECT_TRUE(driver);
    EXPECT_TRUE(kit::test::runUntil([&] { return driver && driver->documentsLoaded() == 1; }));
    return notice;
  }
  void post(const std::string& body) {
    ASSERT_TRUE(driver->postMessage("eventComplete", kit::str(body)));
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  }

  void TearDown() override {
    // The web views let go of their connections before the server stops.
    driver = nullptr;
    window = nullptr;
    NoticeView::TearDown();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server->stop();
  }

  std::unique_ptr<TestServer> server = TestServer::startHTTP();
  kit::Ref<kit::PageDriver> driver;
};

TEST_F(NoticePage, LoadsTheNoticeAddress) {
  auto notice = showPage();
  EXPECT_TRUE(notice->textView()->isHidden());
  EXPECT_FALSE(notice->wkWebView()->isHidden());
  EXPECT_EQ(notice->wkWebView()->URL()->absoluteText(), server->url("/notice"));
  EXPECT_EQ(server->requestCount(), 1u);
  EXPECT_EQ(notice->wkWebView()->configuration()->userContentController()->handlerNames(),
            (std::vector<std::string>{"eventComplete"}));

  // A notice address that is not an address leaves the page empty.
  auto empty = showNotice("2", "", "T", "http://[bad");
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(empty->wkWebView()->URL());
  EXPECT_EQ(server->requestCount(), 1u);
}

TEST_F(NoticePage, OpenUrlMessageOpensItsLink) {
  auto notice = showPage();
  post(R"({"action":"openurl","data":"{\"link\":\"https://x\"}"})");
  ASSERT_EQ(opened().size(), 1u);
  EXPECT_EQ(opened()[0], "https://x");

  // Other actions, data that is not JSON, the payment scheme and a message
  // of another name open nothing.
  kit::Application::shared()->addInstalledScheme("tolmixwalletpayscheme");
  post(R"({"action":"close","data":"{\"link\":\"https://y\"}"})");
  post(R"({"action":"openurl","data":"https://z"})");
  post(R"({"action":"openurl","data":"{\"link\":\"TolmixWalletPayScheme://pay\"}"})");
  post("not json");
  EXPECT_FALSE(driver->postMessage("other", kit::str(R"({"action":"openurl","data":"{\"link\":\"https://w\"}"})")));
  EXPECT_EQ(opened().size(), 1u);

  // A page posting the object itself is read the same way.
  ASSERT_TRUE(driver->postMessage(
      "eventComplete", kit::dict({{"action", "openurl"}, {"data", kit::dict({{"link", "https://obj"}})}})));
  EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  ASSERT_EQ(opened().size(), 2u);
  EXPECT_EQ(opened()[1], "https://obj");
  EXPECT_TRUE(notice->window());
}

TEST_F(NoticePage, PanelsAreAnsweredAtOnce) {
  auto notice = showPage();
  std::optional<std::optional<std::string>> prompt;
  std::optional<bool> confirm;
  bool alerted = false;
  driver->raisePrompt("名字", "默认", [&](std::optional<std::string> text) { prompt = text; });
  driver->raiseConfirm("确定？", [&](bool ok) { confirm = ok; });
  driver->raiseAlert("提示", [&] { alerted = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return prompt && confirm && alerted; }));
  EXPECT_FALSE(*prompt);
  EXPECT_TRUE(*confirm);
}

}  // namespace
