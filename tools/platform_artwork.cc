// platform_artwork: draws the platform SDK's artwork of the resource bundle
// "VIROV.bundle" (the navigation bar's back arrow, the 20-point title
// images of the agreement and forgotten-password pages, the coupon
// picker's close button and game-box mark, the pay notice's icon, the pay
// sheet's title mark, and the
// login card's icons of account and phone registration, the floating ball's
// own picture and the user centre's bar icons, red dot and close cross) with
// kit graphics and writes it as PNG files, at scale 1 and 2. The files are committed under
// resources/, so the bundle exists without running this; run it again only
// to change the pictures.
//
//   platform_artwork <resources folder>     (writes <folder>/VIROV.bundle/...)

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kit/graphics/color.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/path.h"

namespace {

// The back arrow's box in points: the bar's back button is 30 x 25.
constexpr double W = 30, H = 25;
// The chevron: its tip, its arms' reach and the stroke.
constexpr double TipX = 9, ArmX = 19, ArmY = 8, Stroke = 2.5;

kit::Ref<kit::Image> backArrow(double scale) {
  if (!kit::beginImageContext({W, H}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setStrokeColor(kit::Color::hex(0x333333));
  ctx.setLineWidth(Stroke);
  ctx.setLineCap(kit::LineCap::Round);
  ctx.setLineJoin(kit::LineJoin::Round);
  ctx.beginPath();
  ctx.moveTo(ArmX, H / 2 - ArmY);
  ctx.addLineTo(TipX, H / 2);
  ctx.addLineTo(ArmX, H / 2 + ArmY);
  ctx.strokePath();
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The coupon picker's close button: a grey cross in a 20-point box.
constexpr double CloseSide = 20, CloseInset = 5, CloseStroke = 2;

kit::Ref<kit::Image> closeCross(double scale) {
  if (!kit::beginImageContext({CloseSide, CloseSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setStrokeColor(kit::Color::hex(0x999999));
  ctx.setLineWidth(CloseStroke);
  ctx.setLineCap(kit::LineCap::Round);
  ctx.beginPath();
  ctx.moveTo(CloseInset, CloseInset);
  ctx.addLineTo(CloseSide - CloseInset, CloseSide - CloseInset);
  ctx.moveTo(CloseSide - CloseInset, CloseInset);
  ctx.addLineTo(CloseInset, CloseSide - CloseInset);
  ctx.strokePath();
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The game-box mark beside the picker's link: a blue rounded box with a
// white play triangle, 20 points.
constexpr double BoxSide = 20, BoxRadius = 5;

kit::Ref<kit::Image> gameBox(double scale) {
  if (!kit::beginImageContext({BoxSide, BoxSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::hex(0x3092F6));
  ctx.beginPath();
  ctx.addPath(*kit::Path::withRoundedRect(kit::Rect{0, 0, BoxSide, BoxSide}, BoxRadius));
  ctx.fillPath();
  ctx.setFillColor(kit::Color::whiteColor());
  ctx.beginPath();
  ctx.moveTo(8, 5.5);
  ctx.addLineTo(14.5, 10);
  ctx.addLineTo(8, 14.5);
  ctx.closePath();
  ctx.fillPath();
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The pay notice's icon: a white card with a stripe on a blue disc, 40
// points.
constexpr double NoticeSide = 40;

kit::Ref<kit::Image> payNotice(double scale) {
  if (!kit::beginImageContext({NoticeSide, NoticeSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::hex(0x3092F6));
  ctx.fillEllipseInRect(kit::Rect{0, 0, NoticeSide, NoticeSide});
  ctx.setFillColor(kit::Color::whiteColor());
  ctx.fillRect(kit::Rect{10, 13, 20, 14});
  ctx.setFillColor(kit::Color::hex(0x3092F6));
  ctx.fillRect(kit::Rect{10, 16, 20, 3});
  ctx.fillRect(kit::Rect{13, 22, 6, 2});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The title images of the web pages sit left of the title on the bar.
constexpr double TitleSide = 20;

// The agreement: a page with a folded corner and three lines of text.
kit::Ref<kit::Image> protocolIcon(double scale) {
  if (!kit::beginImageContext({TitleSide, TitleSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setStrokeColor(kit::Color::hex(0xF64720));
  ctx.setLineWidth(1.5);
  ctx.setLineJoin(kit::LineJoin::Round);
  ctx.beginPath();
  ctx.moveTo(4, 2);
  ctx.addLineTo(12, 2);
  ctx.addLineTo(16, 6);
  ctx.addLineTo(16, 18);
  ctx.addLineTo(4, 18);
  ctx.closePath();
  ctx.strokePath();
  ctx.beginPath();
  ctx.moveTo(12, 2);
  ctx.addLineTo(12, 6);
  ctx.addLineTo(16, 6);
  ctx.strokePath();
  ctx.setLineCap(kit::LineCap::Round);
  for (double y : {9.0, 12.0, 15.0}) {
    ctx.beginPath();
    ctx.moveTo(7, y);
    ctx.addLineTo(13, y);
    ctx.strokePath();
  }
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The forgotten password: a padlock with its shackle open.
kit::Ref<kit::Image> forgetPasswordIcon(double scale) {
  if (!kit::beginImageContext({TitleSide, TitleSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setStrokeColor(kit::Color::hex(0xF64720));
  ctx.setFillColor(kit::Color::hex(0xF64720));
  ctx.setLineWidth(1.8);
  ctx.setLineCap(kit::LineCap::Round);
  ctx.beginPath();
  ctx.moveTo(6.5, 9);
  ctx.addLineTo(6.5, 6.5);
  ctx.addCurveTo(6.5, 2, 13.5, 2, 13.5, 5.5);
  ctx.strokePath();
  ctx.fillRect({4, 9, 12, 9});
  ctx.setFillColor(kit::Color::whiteColor());
  ctx.fillEllipseInRect({8.5, 11.5, 3, 3});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The registration name field's icons, 20 points, grey like the field's
// placeholder: a person for an account name, a phone for a number.
kit::Ref<kit::Image> newUserIcon(double scale) {
  if (!kit::beginImageContext({TitleSide, TitleSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::hex(0x999999));
  ctx.fillEllipseInRect({6.5, 2, 7, 7});
  ctx.beginPath();
  ctx.moveTo(3, 18);
  ctx.addCurveTo(3, 10.5, 17, 10.5, 17, 18);
  ctx.closePath();
  ctx.fillPath();
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

kit::Ref<kit::Image> newPhoneIcon(double scale) {
  if (!kit::beginImageContext({TitleSide, TitleSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setStrokeColor(kit::Color::hex(0x999999));
  ctx.setFillColor(kit::Color::hex(0x999999));
  ctx.setLineWidth(1.6);
  ctx.strokeRect({5.5, 1.5, 9, 17});
  ctx.fillRect({8, 3.5, 4, 1});
  ctx.fillEllipseInRect({9, 15, 2, 2});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// ---- The floating ball and the user centre

// The ball's own picture when its icon cannot be fetched: an orange disc
// with a white ring and a white play-pad mark, 60 x 60 points.
kit::Ref<kit::Image> ballStopIcon(double scale) {
  constexpr double Side = 60;
  if (!kit::beginImageContext({Side, Side}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::hex(0xFF7F00));
  ctx.fillEllipseInRect({2, 2, Side - 4, Side - 4});
  ctx.setStrokeColor(kit::Color::whiteColor());
  ctx.setLineWidth(2.5);
  ctx.strokeEllipseInRect({8, 8, Side - 16, Side - 16});
  ctx.setFillColor(kit::Color::whiteColor());
  ctx.fillRect({22, 20, 5, 20});
  ctx.fillRect({33, 20, 5, 20});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The bar icons of the user centre, 24 x 24 points, grey strokes.
constexpr double TabSide = 24;
enum class TabIcon { Home, Openings, Welfare, Trade, Service };

kit::Ref<kit::Image> tabIcon(TabIcon icon, double scale) {
  if (!kit::beginImageContext({TabSide, TabSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setStrokeColor(kit::Color::hex(0x777777));
  ctx.setFillColor(kit::Color::hex(0x777777));
  ctx.setLineWidth(1.8);
  ctx.setLineCap(kit::LineCap::Round);
  ctx.setLineJoin(kit::LineJoin::Round);
  ctx.beginPath();
  switch (icon) {
    case TabIcon::Home:  // a house
      ctx.moveTo(3, 12);
      ctx.addLineTo(12, 4);
      ctx.addLineTo(21, 12);
      ctx.moveTo(6, 10);
      ctx.addLineTo(6, 20);
      ctx.addLineTo(18, 20);
      ctx.addLineTo(18, 10);
      ctx.moveTo(10, 20);
      ctx.addLineTo(10, 15);
      ctx.addLineTo(14, 15);
      ctx.addLineTo(14, 20);
      break;
    case TabIcon::Openings:  // a flag on a pole
      ctx.moveTo(6, 21);
      ctx.addLineTo(6, 3);
      ctx.addLineTo(19, 7);
      ctx.addLineTo(6, 12);
      break;
    case TabIcon::Welfare:  // a gift box with its ribbon
      ctx.moveTo(4, 10);
      ctx.addLineTo(20, 10);
      ctx.addLineTo(20, 20);
      ctx.addLineTo(4, 20);
      ctx.closePath();
      ctx.moveTo(12, 10);
      ctx.addLineTo(12, 20);
      ctx.moveTo(12, 10);
      ctx.addCurveTo(8, 3, 4, 7, 12, 10);
      ctx.moveTo(12, 10);
      ctx.addCurveTo(16, 3, 20, 7, 12, 10);
      break;
    case TabIcon::Trade:  // two arrows, one each way
      ctx.moveTo(4, 8);
      ctx.addLineTo(19, 8);
      ctx.moveTo(15, 4);
      ctx.addLineTo(19, 8);
      ctx.addLineTo(15, 12);
      ctx.moveTo(20, 16);
      ctx.addLineTo(5, 16);
      ctx.moveTo(9, 12);
      ctx.addLineTo(5, 16);
      ctx.addLineTo(9, 20);
      break;
    case TabIcon::Service:  // a speech bubble with three dots
      ctx.moveTo(4, 5);
      ctx.addLineTo(20, 5);
      ctx.addLineTo(20, 16);
      ctx.addLineTo(11, 16);
      ctx.addLineTo(6, 20);
      ctx.addLineTo(7, 16);
      ctx.addLineTo(4, 16);
      ctx.closePath();
      break;
  }
  ctx.strokePath();
  if (icon == TabIcon::Service) {
    for (double x : {8.0, 12.0, 16.0}) ctx.fillEllipseInRect({x - 1.2, 9.3, 2.4, 2.4});
  }
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The red dot of the bar buttons, 8 x 8 points.
kit::Ref<kit::Image> redDot(double scale) {
  if (!kit::beginImageContext({8, 8}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::hex(0xF23030));
  ctx.fillEllipseInRect({0, 0, 8, 8});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The pay sheet's title mark: a coin with a yuan sign's two bars.
kit::Ref<kit::Image> payTitleIcon(double scale) {
  if (!kit::beginImageContext({TitleSide, TitleSide}, false, scale)) return nullptr;
  auto& ctx = *kit::currentContext();
  ctx.setFillColor(kit::Color::hex(0xF64720));
  ctx.fillEllipseInRect(kit::Rect{1, 1, TitleSide - 2, TitleSide - 2});
  ctx.setFillColor(kit::Color::whiteColor());
  ctx.fillRect(kit::Rect{6, 8, 8, 1.5});
  ctx.fillRect(kit::Rect{6, 11, 8, 1.5});
  ctx.fillRect(kit::Rect{9.25, 8, 1.5, 8});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

bool writePNG(const std::filesystem::path& path, const kit::Ref<kit::Image>& image) {
  if (!image) {
    std::fprintf(stderr, "platform_artwork: nothing drawn for %s\n", path.c_str());
    return false;
  }
  const std::vector<uint8_t> bytes = image->pngData();
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "platform_artwork: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%6zu bytes  %s\n", bytes.size(), path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: platform_artwork <resources folder>\n");
    return 2;
  }
  const std::filesystem::path bundle = std::filesystem::path(argv[1]) / "VIROV.bundle";
  bool ok = true;
  ok &= writePNG(bundle / "KT_nav_back.png", backArrow(1));
  ok &= writePNG(bundle / "KT_nav_back@2x.png", backArrow(2));
  ok &= writePNG(bundle / "KT_User_Protocol.png", protocolIcon(1));
  ok &= writePNG(bundle / "KT_User_Protocol@2x.png", protocolIcon(2));
  ok &= writePNG(bundle / "KT_ForgetPwd_Icon.png", forgetPasswordIcon(1));
  ok &= writePNG(bundle / "KT_ForgetPwd_Icon@2x.png", forgetPasswordIcon(2));
  ok &= writePNG(bundle / "KT_coupon_close.png", closeCross(1));
  ok &= writePNG(bundle / "KT_coupon_close@2x.png", closeCross(2));
  ok &= writePNG(bundle / "KT_coupon_box.png", gameBox(1));
  ok &= writePNG(bundle / "KT_coupon_box@2x.png", gameBox(2));
  ok &= writePNG(bundle / "KT_pay_notice.png", payNotice(1));
  ok &= writePNG(bundle / "KT_pay_notice@2x.png", payNotice(2));
  ok &= writePNG(bundle / "tol_new_user.png", newUserIcon(1));
  ok &= writePNG(bundle / "tol_new_user@2x.png", newUserIcon(2));
  ok &= writePNG(bundle / "tol_new_phone.png", newPhoneIcon(1));
  ok &= writePNG(bundle / "tol_new_phone@2x.png", newPhoneIcon(2));
  for (double scale : {1.0, 2.0}) {
    const std::string suffix = scale == 1 ? ".png" : "@2x.png";
    ok &= writePNG(bundle / ("KT_HelpBtn_StopIcon" + suffix), ballStopIcon(scale));
    ok &= writePNG(bundle / ("KT_su_home" + suffix), tabIcon(TabIcon::Home, scale));
    ok &= writePNG(bundle / ("KT_su_kaifu" + suffix), tabIcon(TabIcon::Openings, scale));
    ok &= writePNG(bundle / ("KT_su_welfare" + suffix), tabIcon(TabIcon::Welfare, scale));
    ok &= writePNG(bundle / ("KT_su_trade" + suffix), tabIcon(TabIcon::Trade, scale));
    ok &= writePNG(bundle / ("KT_su_service" + suffix), tabIcon(TabIcon::Service, scale));
    ok &= writePNG(bundle / ("KT_su_red" + suffix), redDot(scale));
    ok &= writePNG(bundle / ("KT_su_close" + suffix), closeCross(scale));
  }
  ok &= writePNG(bundle / "tol_pay_titleIcon.png", payTitleIcon(1));
  ok &= writePNG(bundle / "tol_pay_titleIcon@2x.png", payTitleIcon(2));
  return ok ? 0 : 1;
}
