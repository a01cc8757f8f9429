// Field setters of the refresh kit's geometry shorthands. See
// kt_refresh_extension.h.
#include "ui/widgets/kt_refresh_extension.h"

namespace {

template <class F>
void withInset(kit::ScrollView& v, F change) {
  kit::EdgeInsets inset = v.contentInset();
  change(inset);
  v.setContentInset(inset);
}

template <class F>
void withFrame(kit::View& v, F change) {
  kit::Rect frame = v.frame();
  change(frame);
  v.setFrame(frame);
}

}  // namespace

void UIScrollViewKTExtension::setKT_insetT(kit::ScrollView& v, double x) { withInset(v, [x](auto& i) { i.top = x; }); }
void UIScrollViewKTExtension::setKT_insetL(kit::ScrollView& v, double x) { withInset(v, [x](auto& i) { i.left = x; }); }
void UIScrollViewKTExtension::setKT_insetB(kit::ScrollView& v, double x) {
  withInset(v, [x](auto& i) { i.bottom = x; });
}
void UIScrollViewKTExtension::setKT_insetR(kit::ScrollView& v, double x) {
  withInset(v, [x](auto& i) { i.right = x; });
}
void UIScrollViewKTExtension::setKT_offsetX(kit::ScrollView& v, double x) {
  v.setContentOffset(kit::Point{x, v.contentOffset().y});
}
void UIScrollViewKTExtension::setKT_offsetY(kit::ScrollView& v, double y) {
  v.setContentOffset(kit::Point{v.contentOffset().x, y});
}
void UIScrollViewKTExtension::setKT_contentW(kit::ScrollView& v, double w) {
  v.setContentSize(kit::Size{w, v.contentSize().height});
}
void UIScrollViewKTExtension::setKT_contentH(kit::ScrollView& v, double h) {
  v.setContentSize(kit::Size{v.contentSize().width, h});
}

void UIViewKTExtension::setKT_x(kit::View& v, double x) { withFrame(v, [x](auto& f) { f.origin.x = x; }); }
void UIViewKTExtension::setKT_y(kit::View& v, double y) { withFrame(v, [y](auto& f) { f.origin.y = y; }); }
void UIViewKTExtension::setKT_w(kit::View& v, double w) { withFrame(v, [w](auto& f) { f.size.width = w; }); }
void UIViewKTExtension::setKT_h(kit::View& v, double h) { withFrame(v, [h](auto& f) { f.size.height = h; }); }
void UIViewKTExtension::setKT_size(kit::View& v, kit::Size s) { withFrame(v, [s](auto& f) { f.size = s; }); }
void UIViewKTExtension::setKT_origin(kit::View& v, kit::Point p) { withFrame(v, [p](auto& f) { f.origin = p; }); }
