// Text fields and text views driven as a keyboard drives them: every key
// goes through the delegate, return and clear ask it, the keyboard's
// notifications carry its frame, text views lay out and measure their
// text, and links answer taps.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/render.h"
#include "kit/ui/text_field.h"
#include "kit/ui/text_view.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

using kit::Range;
using kit::Rect;

// A phone-number field as login forms make it: at most 11 characters.
struct PhoneDelegate : kit::TextFieldDelegate {
  std::vector<std::string> events;
  bool allowClear = true;
  bool shouldChangeCharacters(kit::TextField& field, Range range, const std::string& replacement) override {
    const size_t length = kit::utf8ToUTF16(field.text()).size() - range.length + kit::utf8ToUTF16(replacement).size();
    return length <= 11;
  }
  bool textFieldShouldReturn(kit::TextField& field) override {
    events.push_back("return");
    field.resignFirstResponder();
    return true;
  }
  void textFieldDidBeginEditing(kit::TextField&) override { events.push_back("begin"); }
  void textFieldDidEndEditing(kit::TextField&) override { events.push_back("end"); }
  bool textFieldShouldClear(kit::TextField&) override {
    events.push_back("clear");
    return allowClear;
  }
};

class TextInputTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    if (auto first = kit::Responder::currentFirstResponder()) first->resignFirstResponder();
    advance(0);
    window.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
};

TEST_F(TextInputTest, APhoneFieldTakesElevenDigitsAndReturnRunsTheDelegate) {
  auto field = kit::TextField::make(Rect{20, 100, 300, 40});
  field->setKeyboardType(kit::KeyboardType::NumberPad);
  auto delegate = std::make_shared<PhoneDelegate>();
  field->delegate = delegate;
  window->addSubview(field);
  int changes = 0;
  field->addAction(kit::ControlEvent::EditingChanged, [&] { ++changes; });

  EXPECT_TRUE(kit::test::type(*field, "13800138000"));
  EXPECT_EQ(field->text(), "13800138000");
  EXPECT_EQ(changes, 11) << "one change per key";
  EXPECT_FALSE(kit::test::type(*field, "1")) << "the twelfth digit is refused";
  EXPECT_EQ(field->text(), "13800138000");
  EXPECT_FALSE(kit::test::type(*field, "99"));
  EXPECT_EQ(field->text(), "13800138000");
  EXPECT_TRUE(kit::test::pressBackspace(*field));
  EXPECT_TRUE(kit::test::type(*field, "9"));
  EXPECT_EQ(field->text(), "13800138009");

  bool exited = false;
  field->addAction(kit::ControlEvent::EditingDidEndOnExit, [&] { exited = true; });
  kit::test::pressReturn(*field);
  EXPECT_TRUE(exited);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"begin", "return", "end"}));
  EXPECT_FALSE(field->isFirstResponder());
}

TEST_F(TextInputTest, TypingCountsComposedCharactersAsKeys) {
  auto field = kit::TextField::make(Rect{20, 100, 300, 40});
  window->addSubview(field);
  std::vector<std::string> keys;
  struct KeyLog : kit::TextFieldDelegate {
    std::vector<std::string>* keys;
    bool shouldChangeCharacters(kit::TextField&, Range, const std::string& replacement) override {
      keys->push_back(replacement);
      return true;
    }
  };
  auto log = std::make_shared<KeyLog>();
  log->keys = &keys;
  field->delegate = log;
  EXPECT_TRUE(kit::test::type(*field, "玩家e\u0301\U0001F600"));
  EXPECT_EQ(keys, (std::vector<std::string>{"玩", "家", "e\u0301", "\U0001F600"}));
}

TEST_F(TextInputTest, TypingGoesToTheCaretWhichTheSelectionAndTapsPlace) {
  auto field = kit::TextField::make(Rect{20, 100, 300, 40});
  window->addSubview(field);
  field->setText("hello");
  EXPECT_EQ(field->selectedRange(), (Range{5, 0})) << "setting the text puts the caret at its end";
  ASSERT_TRUE(field->becomeFirstResponder());
  field->setSelectedRange({2, 0});
  EXPECT_TRUE(kit::test::type(*field, "XY"));
  EXPECT_EQ(field->text(), "heXYllo");
  EXPECT_EQ(field->selectedRange(), (Range{4, 0}));
  EXPECT_TRUE(kit::test::pressBackspace(*field));
  EXPECT_EQ(field->text(), "heXllo");
  field->setSelectedRange({1, 2});
  EXPECT_TRUE(field->insertText("a"));
  EXPECT_EQ(field->text(), "hallo");
  EXPECT_EQ(field->selectedRange(), (Range{2, 0}));

  // Positions are UTF-16 units; a character is its whole composed sequence.
  field->setText("a\U0001F600b");
  field->setSelectedRange({3, 0});
  EXPECT_TRUE(field->deleteBackward());
  EXPECT_EQ(field->text(), "ab");
  EXPECT_EQ(field->selectedRange(), (Range{1, 0}));
  field->setSelectedRange({7, 4});
  EXPECT_EQ(field->selectedRange(), (Range{2, 0})) << "kept within the text";

  // A refused change leaves the text and the caret.
  struct Refuse : kit::TextFieldDelegate {
    bool shouldChangeCharacters(kit::TextField&, Range, const std::string&) override { return false; }
  };
  auto refuse = std::make_shared<Refuse>();
  field->delegate = refuse;
  field->setSelectedRange({1, 0});
  EXPECT_FALSE(field->insertText("z"));
  EXPECT_EQ(field->text(), "ab");
  EXPECT_EQ(field->selectedRange(), (Range{1, 0}));
  field->delegate.reset();

  // A tap puts the caret where it lands: before the text, or past its end.
  field->setText("tapped");
  ASSERT_TRUE(field->resignFirstResponder());
  ASSERT_TRUE(kit::test::tapAt(*window, {22, 120}));
  EXPECT_TRUE(field->isFirstResponder());
  EXPECT_EQ(field->selectedRange(), (Range{0, 0}));
  EXPECT_TRUE(kit::test::type(*field, ">"));
  EXPECT_EQ(field->text(), ">tapped");
  ASSERT_TRUE(kit::test::tapAt(*window, {300, 120}));
  EXPECT_EQ(field->selectedRange(), (Range{7, 0}));
  const kit::Rect before = field->caretRect();
  field->setSelectedRange({3, 0});
  const kit::Rect middle = field->caretRect();
  EXPECT_LT(middle.minX(), before.minX());
  ASSERT_TRUE(kit::test::tapAt(*window, {20 + middle.midX(), 120}));
  EXPECT_EQ(field->selectedRange(), (Range{3, 0}));
}

TEST_F(TextInputTest, AnEditingFieldDrawsItsCaretInItsTintColourAndScrollsALongTextToShowIt) {
  auto field = kit::TextField::make(Rect{20, 100, 120, 40});
  field->setBorderStyle(kit::TextBorderStyle::RoundedRect);
  window->addSubview(field);
  auto caretShows = [&] {
    const kit::Rect caret = field->caretRect();
    auto picture = kit::render(*field, 1);
    const kit::Pixel p =
        picture->pixelAt(static_cast<size_t>(caret.midX()), static_cast<size_t>(caret.midY()));
    return p.b > 200 && p.r < 60 && p.g > 90 && p.g < 150;  // the default tint, 0 122 255
  };
  field->setText("ab");
  EXPECT_FALSE(caretShows()) << "no caret while the field does not edit";
  ASSERT_TRUE(field->becomeFirstResponder());
  EXPECT_TRUE(caretShows());
  const kit::Rect atEnd = field->caretRect();
  EXPECT_GT(atEnd.minX(), 10);
  EXPECT_GT(atEnd.height(), 10);

  // A text wider than the field scrolls so that the caret stays inside it,
  // at either end.
  field->setText("a rather long line that the narrow field cannot show at once");
  const kit::Rect box = field->textRectForBounds(field->bounds());
  kit::Rect caret = field->caretRect();
  EXPECT_LE(caret.maxX(), box.maxX());
  EXPECT_GT(caret.minX(), box.maxX() - 10) << "the end of the text shows";
  EXPECT_TRUE(caretShows());
  field->setSelectedRange({0, 0});
  caret = field->caretRect();
  EXPECT_EQ(caret.minX(), box.minX());
  EXPECT_TRUE(caretShows());
  ASSERT_TRUE(field->resignFirstResponder());
  EXPECT_FALSE(caretShows());
}

// The caret is drawn where its position is: moved left or right of what
// the field shows of a long text, the text scrolls to bring it into view,
// and a tap where the caret is drawn finds the caret's own position.
TEST_F(TextInputTest, ACaretMovedOutOfViewScrollsTheTextToIt) {
  auto field = kit::TextField::make(Rect{20, 100, 120, 40});
  window->addSubview(field);
  field->setText("a rather long line that the narrow field cannot show at once");
  ASSERT_TRUE(field->becomeFirstResponder());
  const size_t length = field->selectedRange().location;
  ASSERT_EQ(length, field->text().size());
  const Rect box = field->textRectForBounds(field->bounds());
  // From the end (scrolled to it) to the middle, left of the part shown,
  // then to the start, back to the end, and one to the left of the start
  // of what shows.
  for (size_t position : {length / 2, size_t{0}, length, length - 30, length - 31, size_t{5}, size_t{4}}) {
    SCOPED_TRACE(position);
    field->setSelectedRange({position, 0});
    const Rect caret = field->caretRect();
    EXPECT_GE(caret.minX(), box.minX());
    EXPECT_LE(caret.maxX(), box.maxX());
    EXPECT_EQ(field->closestPositionToPoint({caret.midX(), caret.midY()}), position);
  }
}

TEST_F(TextInputTest, TheKeyboardShowsWithItsFrameAndHidesWhenEditingEnds) {
  auto name = kit::TextField::make(Rect{20, 100, 300, 40});
  auto password = kit::TextField::make(Rect{20, 150, 300, 40});
  password->setSecureTextEntry(true);
  window->addSubview(name);
  window->addSubview(password);
  std::vector<std::string> seen;
  std::string frame;
  auto center = kit::NotificationCenter::defaultCenter();
  auto show = center->addObserverForName(kit::KeyboardWillShowNotification, nullptr,
                                         [&](const kit::Ref<kit::Notification>& n) {
                                           seen.push_back("show");
                                           frame = kit::describe(kit::Id(n->userInfo())[kit::KeyboardFrameEndUserInfoKey]);
                                         });
  auto hide = center->addObserverForName(kit::KeyboardWillHideNotification, nullptr,
                                         [&](const kit::Ref<kit::Notification>&) { seen.push_back("hide"); });

  ASSERT_TRUE(kit::test::tap(name));
  EXPECT_TRUE(name->isFirstResponder());
  EXPECT_EQ(seen, std::vector<std::string>{"show"});
  EXPECT_EQ(frame, kit::toString(Rect{0, 667 - 216, 375, 216}));
  // Moving to the next field keeps the keyboard up.
  ASSERT_TRUE(kit::test::tap(password));
  advance(0);
  EXPECT_EQ(seen, std::vector<std::string>{"show"});
  EXPECT_TRUE(kit::test::type(*password, "secret"));
  EXPECT_EQ(password->text(), "secret");
  window->endEditing(true);
  advance(0);
  EXPECT_EQ(seen, (std::vector<std::string>{"show", "hide"}));
  EXPECT_FALSE(kit::Application::shared()->isKeyboardVisible());
  center->removeObserver(show);
  center->removeObserver(hide);
}

TEST_F(TextInputTest, TheClearButtonShowsByModeAndAsksTheDelegate) {
  auto field = kit::TextField::make(Rect{20, 100, 300, 40});
  field->setClearButtonMode(kit::TextFieldViewMode::WhileEditing);
  auto delegate = std::make_shared<PhoneDelegate>();
  field->delegate = delegate;
  auto icon = kit::View::make(Rect{0, 0, 30, 30});
  field->setLeftView(icon);
  field->setLeftViewMode(kit::TextFieldViewMode::Always);
  window->addSubview(field);
  EXPECT_EQ(icon->frame(), (Rect{0, 5, 30, 30}));
  EXPECT_EQ(field->textRectForBounds(field->bounds()).minX(), 30);

  ASSERT_TRUE(kit::test::type(*field, "138"));
  auto clear = field->clearButtonShown();
  ASSERT_TRUE(clear);
  EXPECT_LT(field->textRectForBounds(field->bounds()).maxX(), clear->frame().minX());
  delegate->allowClear = false;
  ASSERT_TRUE(kit::test::tap(clear));
  EXPECT_EQ(field->text(), "138");
  delegate->allowClear = true;
  ASSERT_TRUE(kit::test::tap(clear));
  EXPECT_EQ(field->text(), "");
  EXPECT_FALSE(field->clearButtonShown()) << "no clear button over empty text";
  ASSERT_TRUE(kit::test::type(*field, "1"));
  field->resignFirstResponder();
  EXPECT_FALSE(field->clearButtonShown()) << "only while editing";
}

struct LinkDelegate : kit::TextViewDelegate {
  std::vector<std::string> urls;
  std::vector<Range> ranges;
  bool allow = true;
  std::vector<std::string> changes;
  std::optional<bool> shouldInteractWithURL(kit::TextView&, const std::string& url, Range range) override {
    urls.push_back(url);
    ranges.push_back(range);
    return allow;
  }
  bool shouldChangeTextInRange(kit::TextView&, Range, const std::string& replacement) override {
    return replacement != "\n";
  }
  void textViewDidChange(kit::TextView& v) override { changes.push_back(v.text()); }
};

TEST_F(TextInputTest, ATextViewMeasuresItsTextAndFindsLinksUnderPoints) {
  auto view = kit::TextView::make(Rect{20, 100, 300, 200});
  window->addSubview(view);
  const std::string content = "请点击这里查看详情";
  auto text = kit::AttributedString::make(content);
  kit::TextAttributes base;
  base.font = kit::Font::systemFont(18);
  auto paragraph = kit::ParagraphStyle::make();
  paragraph->lineSpacing = 5;
  base.paragraphStyle = paragraph;
  text->addAttributes(base, {0, text->length()});
  kit::TextAttributes link;
  link.link = "https://kit.test/notice";
  text->addAttributes(link, {3, 2});  // "这里"
  view->setAttributedText(text);
  view->setEditable(false);
  view->setLinkTextColor(kit::Color::rgba(246 / 255.0, 71 / 255.0, 32 / 255.0, 1));
  auto delegate = std::make_shared<LinkDelegate>();
  view->setDelegate(delegate);

  // One line of 18-point text: content = line + the 8-point insets.
  const double line = kit::Font::systemFont(18)->lineHeight();
  EXPECT_NEAR(view->contentSize().height, std::ceil(line) + 16, 1);
  EXPECT_EQ(view->contentSize().width, 300);
  EXPECT_EQ(view->font()->pointSize(), 18);

  // The position under the middle of "这" is in the link; the start is not.
  const Rect linkBox = view->firstRectForRange({3, 1});
  EXPECT_GT(linkBox.minX(), 5 + 2 * 17);
  const auto inside = view->closestPositionToPoint({linkBox.midX() - 2, linkBox.midY()});
  EXPECT_EQ(view->textStylingAtPosition(inside).link, "https://kit.test/notice");
  EXPECT_TRUE(view->textStylingAtPosition({0}).link.empty());
  EXPECT_EQ(view->textStylingAtPosition({0}).font->pointSize(), 18);
  EXPECT_EQ(view->textStylingAtPosition({100}).link, "") << "past the end reads the last character";

  // A tap on the link asks the delegate and opens the address when allowed.
  kit::Application::shared()->clearOpenedURLs();
  const Rect inWindow = view->convertRectToView(linkBox, nullptr);
  ASSERT_TRUE(kit::test::tapAt(*window, {inWindow.midX(), inWindow.midY()}));
  ASSERT_EQ(delegate->urls, std::vector<std::string>{"https://kit.test/notice"});
  EXPECT_EQ(delegate->ranges[0].location, 3u);
  EXPECT_EQ(delegate->ranges[0].length, 2u);
  EXPECT_EQ(kit::Application::shared()->openedURLs(), std::vector<std::string>{"https://kit.test/notice"});
  delegate->allow = false;
  ASSERT_TRUE(kit::test::tapAt(*window, {inWindow.midX(), inWindow.midY()}));
  EXPECT_EQ(kit::Application::shared()->openedURLs().size(), 1u);
  // A tap beside the link opens nothing.
  const Rect start = view->convertRectToView(view->firstRectForRange({0, 1}), nullptr);
  ASSERT_TRUE(kit::test::tapAt(*window, {start.midX(), start.midY()}));
  EXPECT_EQ(delegate->urls.size(), 2u);
}

TEST_F(TextInputTest, LongTextGrowsTheContentAndShrinkingTheFontFitsIt) {
  auto view = kit::TextView::make(Rect{0, 0, 200, 100});
  window->addSubview(view);
  std::string words;
  for (int i = 0; i < 30; ++i) words += "公告内容 ";
  view->setText(words);
  view->setFont(kit::Font::systemFont(18));
  const double tall = view->contentSize().height;
  EXPECT_GT(tall, 100);
  // What a notice does to fit its frame: lower the size while too tall.
  double size = 18;
  while (view->contentSize().height > view->frame().height() && size > 4) view->setFont(kit::Font::named("Helvetica Neue", --size));
  EXPECT_LE(view->contentSize().height, 100);
  EXPECT_LT(size, 18);
  // The content scrolls when it is taller than the view.
  view->setFont(kit::Font::systemFont(18));
  view->setContentInset({0, 0, 0, 0});
  kit::test::drag(*window, {100, 80}, {100, 20}, 20);
  EXPECT_GT(view->contentOffset().y, 0);
}

TEST_F(TextInputTest, AnEditableTextViewEditsThroughItsDelegate) {
  auto view = kit::TextView::make(Rect{0, 0, 300, 100});
  window->addSubview(view);
  auto delegate = std::make_shared<LinkDelegate>();
  view->setDelegate(delegate);
  EXPECT_TRUE(kit::test::type(*view, "ab"));
  EXPECT_FALSE(kit::test::type(*view, "\n")) << "the delegate refuses new lines";
  EXPECT_EQ(view->text(), "ab");
  EXPECT_EQ(delegate->changes, (std::vector<std::string>{"a", "ab"}));
  view->setSelectedRange({0, 0});
  EXPECT_TRUE(view->insertText("x"));
  EXPECT_EQ(view->text(), "xab");
  EXPECT_EQ(view->selectedRange().location, 1u);
  EXPECT_TRUE(kit::Application::shared()->isKeyboardVisible());
  view->setEditable(false);
  advance(0);
  EXPECT_FALSE(view->isFirstResponder());
  EXPECT_FALSE(kit::Application::shared()->isKeyboardVisible());
  EXPECT_FALSE(view->insertText("y"));
}

}  // namespace
