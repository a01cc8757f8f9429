// Frame and layer shortcuts, views from interface scenes and label heights.
// See ui_view_extension.h.
#include "ui/widgets/ui_view_extension.h"

#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"

void UIViewExtension::setX(kit::View& view, double x) {
  kit::Rect frame = view.frame();
  frame.origin.x = x;
  view.setFrame(frame);
}

void UIViewExtension::setY(kit::View& view, double y) {
  kit::Rect frame = view.frame();
  frame.origin.y = y;
  view.setFrame(frame);
}

void UIViewExtension::setCenterX(kit::View& view, double centerX) {
  kit::Point center = view.center();
  center.x = centerX;
  view.setCenter(center);
}

void UIViewExtension::setCenterY(kit::View& view, double centerY) {
  kit::Point center = view.center();
  center.y = centerY;
  view.setCenter(center);
}

void UIViewExtension::setWidth(kit::View& view, double width) {
  kit::Rect frame = view.frame();
  frame.size.width = width;
  view.setFrame(frame);
}

void UIViewExtension::setHeight(kit::View& view, double height) {
  kit::Rect frame = view.frame();
  frame.size.height = height;
  view.setFrame(frame);
}

void UIViewExtension::setSize(kit::View& view, kit::Size size) {
  kit::Rect frame = view.frame();
  frame.size = size;
  view.setFrame(frame);
}

void UIViewExtension::setOrigin(kit::View& view, kit::Point origin) {
  kit::Rect frame = view.frame();
  frame.origin = origin;
  view.setFrame(frame);
}

void UIViewExtension::setLayerBorderWidth(kit::View& view, double width, const kit::Ref<kit::Color>& borderColor) {
  KIT_CHECK_MAIN_THREAD();
  view.layer()->setBorderWidth(width);
  view.layer()->setBorderColor(borderColor);
}

void UIViewExtension::setLayerCornerRadius(kit::View& view, double radius) {
  KIT_CHECK_MAIN_THREAD();
  view.layer()->setCornerRadius(radius);
  view.setClipsToBounds(true);
}

kit::Ref<kit::View> UIViewExtension::ViewFromXib(const std::string& className) {
  const std::vector<kit::Id> objects = kit::SceneRegistry::shared().loadNibNamed(className, nullptr);
  if (objects.empty()) return nullptr;
  return std::dynamic_pointer_cast<kit::View>(objects.back());
}

double UIViewLabelHeight::getLabelHeightByWidth(double width, const std::string& title,
                                                const kit::Ref<kit::Font>& font) {
  auto label = kit::Label::make(kit::Rect{0, 0, width, 0});
  label->setText(title);
  label->setFont(font);
  label->setNumberOfLines(0);
  label->sizeToFit();
  return label->frame().height();
}
