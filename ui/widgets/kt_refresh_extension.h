// Geometry shorthands of the refresh kit: one field of a scroll view's
// content inset, offset or size, or of a view's frame, read or written on
// its own (a setter reads the whole value, replaces the field and writes it
// back).
//
//   UIScrollViewKTExtension::setKT_insetT(*scroll, inset.top + 54);
//   UIViewKTExtension::setKT_y(*header, -54);
#pragma once

#include "kit/ui/scroll_view.h"
#include "kit/ui/view.h"

class UIScrollViewKTExtension {
 public:
  static double KT_insetT(const kit::ScrollView& v) { return v.contentInset().top; }
  static void setKT_insetT(kit::ScrollView& v, double value);
  static double KT_insetL(const kit::ScrollView& v) { return v.contentInset().left; }
  static void setKT_insetL(kit::ScrollView& v, double value);
  static double KT_insetB(const kit::ScrollView& v) { return v.contentInset().bottom; }
  static void setKT_insetB(kit::ScrollView& v, double value);
  static double KT_insetR(const kit::ScrollView& v) { return v.contentInset().right; }
  static void setKT_insetR(kit::ScrollView& v, double value);
  static double KT_offsetX(const kit::ScrollView& v) { return v.contentOffset().x; }
  static void setKT_offsetX(kit::ScrollView& v, double value);
  static double KT_offsetY(const kit::ScrollView& v) { return v.contentOffset().y; }
  static void setKT_offsetY(kit::ScrollView& v, double value);
  static double KT_contentW(const kit::ScrollView& v) { return v.contentSize().width; }
  static void setKT_contentW(kit::ScrollView& v, double value);
  static double KT_contentH(const kit::ScrollView& v) { return v.contentSize().height; }
  static void setKT_contentH(kit::ScrollView& v, double value);
};

class UIViewKTExtension {
 public:
  static double KT_x(const kit::View& v) { return v.frame().origin.x; }
  static void setKT_x(kit::View& v, double value);
  static double KT_y(const kit::View& v) { return v.frame().origin.y; }
  static void setKT_y(kit::View& v, double value);
  static double KT_w(const kit::View& v) { return v.frame().size.width; }
  static void setKT_w(kit::View& v, double value);
  static double KT_h(const kit::View& v) { return v.frame().size.height; }
  static void setKT_h(kit::View& v, double value);
  static kit::Size KT_size(const kit::View& v) { return v.frame().size; }
  static void setKT_size(kit::View& v, kit::Size value);
  static kit::Point KT_origin(const kit::View& v) { return v.frame().origin; }
  static void setKT_origin(kit::View& v, kit::Point value);
};
