// The platform SDK's toast. See cxr_message.h.
#include "platform/account/cxr_message.h"

#include <limits>

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/window.h"
#include "platform/account/cxr_window_manager.h"

namespace {

constexpr double DefaultMeasureFontSize = 13;
constexpr const char* kEmptyStandIn = "无";

}  // namespace

void CXRMessage::showMessage(const kit::Ref<kit::String>& message, const kit::Ref<kit::View>& superView) {
  KIT_CHECK_MAIN_THREAD();
  if (!message || !superView) return;
  const kit::Rect bounds = superView->bounds();

  auto box = kit::View::make();
  box->setBackgroundColor(kit::Color::blackColor());
  box->setAlpha(1);
  box->layer()->setCornerRadius(CornerRadius);
  box->setClipsToBounds(true);
  superView->addSubview(box);

  auto label = kit::Label::make();
  const kit::Ref<kit::Font> font = kit::Font::boldSystemFont(FontSize);
  const double measured = getWidthWithText(message, font->lineHeight(), FontSize);
  const double widest = bounds.width() - 2 * SideMargin;
  double labelWidth = measured;
  if (measured > widest) {
    labelWidth = widest;
    label->setNumberOfLines(0);
  }
  label->setFrame(kit::Rect{Padding, Padding, labelWidth, 0});
  label->setText(message->utf8());
  label->setTextColor(kit::Color::whiteColor());
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setBackgroundColor(kit::Color::clearColor());
  label->setFont(font);
  label->sizeToFit();
  box->addSubview(label);

  const kit::Size text = label->frame().size;
  box->setFrame(kit::Rect{(bounds.width() - text.width - 2 * Padding) * 0.5,
                          (bounds.height() - text.height - 2 * Padding) / 3 * 2, text.width + 2 * Padding,
                          text.height + 2 * Padding});

  kit::View::animate(
      FadeDuration, FadeDelay, kit::AnimationOptionAllowUserInteraction, [&] { box->setAlpha(0); },
      [box](bool) { box->removeFromSuperview(); });
}

void CXRMessage::showMessage(const kit::Ref<kit::String>& message) {
  showMessage(message, CXRWindowManager::topWindow());
}

double CXRMessage::getWidthWithText(const kit::Ref<kit::String>& text, double height, double fontSize) {
  const std::string shown = text && !text->empty() ? text->utf8() : kEmptyStandIn;
  kit::TextAttributes attributes;
  attributes.font = kit::Font::systemFont(fontSize > 0 ? fontSize : DefaultMeasureFontSize);
  const kit::Size within{std::numeric_limits<float>::max(), height > 0 ? height : 0};
  return kit::boundingRectWithSize(shown, within, kit::StringDrawingUsesLineFragmentOrigin, attributes).width();
}
