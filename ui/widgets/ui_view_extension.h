// View helpers of the platform screens: frame shortcuts (each setter
// changes only its own value and keeps the rest of the frame or centre),
// layer shortcuts, views built from a registered interface scene, and the
// height a multi-line label needs for a text.
//
//   UIViewExtension::setCenterX(*button, W / 2);
//   UIViewExtension::setLayerCornerRadius(*card, 8);
//   auto form = UIViewExtension::ViewFromXib<CXRRealNameView>("CXRRealNameView");
#pragma once

#include <memory>
#include <string>

#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/font.h"
#include "kit/ui/view.h"

class UIViewExtension {
 public:
  static double x(const kit::View& view) { return view.frame().origin.x; }
  static void setX(kit::View& view, double x);
  static double y(const kit::View& view) { return view.frame().origin.y; }
  static void setY(kit::View& view, double y);
  static double centerX(const kit::View& view) { return view.center().x; }
  static void setCenterX(kit::View& view, double centerX);
  static double centerY(const kit::View& view) { return view.center().y; }
  static void setCenterY(kit::View& view, double centerY);
  static double width(const kit::View& view) { return view.frame().size.width; }
  static void setWidth(kit::View& view, double width);
  static double height(const kit::View& view) { return view.frame().size.height; }
  static void setHeight(kit::View& view, double height);
  static kit::Size size(const kit::View& view) { return view.frame().size; }
  static void setSize(kit::View& view, kit::Size size);
  static kit::Point origin(const kit::View& view) { return view.frame().origin; }
  static void setOrigin(kit::View& view, kit::Point origin);

  // The layer's border width and colour.
  static void setLayerBorderWidth(kit::View& view, double width, const kit::Ref<kit::Color>& borderColor);
  // The layer's corner radius; the view then clips to its bounds.
  static void setLayerCornerRadius(kit::View& view, double radius);

  // The last top-level object of the interface scene registered under the
  // class's name (kit's scene registry), loaded without an owner; nil when
  // there is no such scene or its last object is not a view.
  static kit::Ref<kit::View> ViewFromXib(const std::string& className);
  template <class T>
  static kit::Ref<T> ViewFromXib(const std::string& className) {
    return std::dynamic_pointer_cast<T>(ViewFromXib(className));
  }
};

class UIViewLabelHeight {
 public:
  // The height of a label `width` wide showing the text in the font on as
  // many lines as it needs.
  static double getLabelHeightByWidth(double width, const std::string& title, const kit::Ref<kit::Font>& font);
};
