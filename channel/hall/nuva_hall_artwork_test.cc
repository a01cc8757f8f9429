// The hall's artwork as the player sees it, measured in its pixels: the
// not-open placard's message stands clear of the logo and the close button
// the placard lays over it, on every phone shape; the spin-count plate
// keeps its "次" and the count inside the pill, apart from each other.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "channel/hall/nuva_not_open_view.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/testing/hall_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/graphics/bitmap.h"
#include "kit/ui/label.h"
#include "kit/ui/render.h"

namespace {

// How far a point lies outside a rounded rectangle (negative: inside).
double outsideRoundedRect(double x, double y, const kit::Rect& r, double radius) {
  const double cx = std::clamp(x, r.minX() + radius, r.maxX() - radius);
  const double cy = std::clamp(y, r.minY() + radius, r.maxY() - radius);
  return std::hypot(x - cx, y - cy) - radius;
}

// The message's gold on the placard's violet.
bool gold(const kit::Pixel& p) { return p.a > 200 && p.r > 190 && p.g > 140 && p.b < 130; }

struct PlacardCase {
  const char* name;
  kit::DeviceProfile device;
};

void PrintTo(const PlacardCase& c, std::ostream* os) { *os << c.name; }

class PlacardArtwork : public HallFixture, public ::testing::WithParamInterface<PlacardCase> {
 protected:
  PlacardArtwork() : HallFixture(GetParam().device) {}
};

TEST_P(PlacardArtwork, TheMessageLiesClearOfTheLogoAndTheCloseButton) {
  auto placard = NUVANotOpenView::init();
  placard->show();
  auto image = placard->background()->image();
  ASSERT_TRUE(image);
  auto bitmap = image->bitmap();
  ASSERT_TRUE(bitmap);
  // The picture is stretched over the background: points of the background
  // to pixels of the picture.
  const kit::Size shown = placard->background()->bounds().size;
  const double sx = static_cast<double>(bitmap->width()) / shown.width;
  const double sy = static_cast<double>(bitmap->height()) / shown.height;
  const kit::Rect picture{0, 0, static_cast<double>(bitmap->width()), static_cast<double>(bitmap->height())};
  const double corner = std::min(picture.width(), picture.height()) * 0.08;

  // Gold inside the panel's frame (the frame itself is gold too).
  std::vector<kit::Point> ink;
  for (size_t y = 0; y < bitmap->height(); ++y) {
    for (size_t x = 0; x < bitmap->width(); ++x) {
      const double px = static_cast<double>(x) + 0.5, py = static_cast<double>(y) + 0.5;
      if (outsideRoundedRect(px, py, picture.insetBy(10, 10), std::max(0.0, corner - 10)) > 0) continue;
      if (gold(bitmap->pixelAt(x, y))) ink.push_back({px, py});
    }
  }
  ASSERT_GT(ink.size(), 800u) << "the message is drawn";

  for (const auto& [what, view] : {std::pair{"logo", kit::Ref<kit::View>(placard->logo())},
                                   std::pair{"close button", kit::Ref<kit::View>(placard->closeButton())}}) {
    const kit::Rect frame = view->frame();
    // A little room round the element, in the picture's pixels.
    const kit::Rect covered =
        kit::Rect{frame.minX() * sx, frame.minY() * sy, frame.width() * sx, frame.height() * sy}.insetBy(-4, -4);
    const auto under = std::count_if(ink.begin(), ink.end(), [&](const kit::Point& p) { return covered.contains(p); });
    EXPECT_EQ(under, 0) << what << " at " << frame.minX() << ", " << frame.minY() << " covers message ink";
  }
}

INSTANTIATE_TEST_SUITE_P(Phones, PlacardArtwork,
                         ::testing::Values(PlacardCase{"Landscape", kit::DeviceProfile::phone667x375()},
                                           PlacardCase{"NotchedLandscape", kit::DeviceProfile::notched812x375()},
                                           PlacardCase{"Portrait", kit::DeviceProfile::phone375x667()},
                                           PlacardCase{"NotchedPortrait", kit::DeviceProfile::notched375x812()}),
                         [](const auto& info) { return std::string(info.param.name); });

// The plate is 78 x 32 points, its picture two pixels a point; the hall
// writes the count right-aligned in its first 67 points.
constexpr double kCountEnd = 67 * 2;

double outsidePlate(double x, double y) { return outsideRoundedRect(x, y, {0, 0, 156, 64}, 32); }

// Dark ink: the glyph and the frame, not the plate's light gradient.
bool dark(const kit::Pixel& p) { return p.a > 128 && (p.r + p.g + p.b) / 3 < 150; }

class CountPlateArtwork : public HallFixture {};

TEST_F(CountPlateArtwork, TheGlyphStaysInsideThePillRightOfTheCount) {
  auto bitmap = NUVALightImage("turntablenum")->bitmap();
  ASSERT_TRUE(bitmap);
  ASSERT_EQ(bitmap->width(), 156u);
  ASSERT_EQ(bitmap->height(), 64u);
  const size_t w = bitmap->width(), h = bitmap->height();

  // Nothing outside the pill's outline.
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      if (outsidePlate(static_cast<double>(x) + 0.5, static_cast<double>(y) + 0.5) > 0.75) {
        EXPECT_LT(bitmap->pixelAt(x, y).a, 8) << "ink outside the pill at " << x << ", " << y;
      }
    }
  }

  // The frame is the dark ink connected to the pill's edge; the glyph is
  // the dark ink that touches neither.
  std::vector<char> mask(w * h, 0), frame(w * h, 0);
  std::vector<size_t> todo;
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      mask[y * w + x] = dark(bitmap->pixelAt(x, y));
      if (mask[y * w + x] && outsidePlate(static_cast<double>(x) + 0.5, static_cast<double>(y) + 0.5) > -2) {
        frame[y * w + x] = 1;
        todo.push_back(y * w + x);
      }
    }
  }
  while (!todo.empty()) {
    const size_t at = todo.back();
    todo.pop_back();
    const long x = static_cast<long>(at % w), y = static_cast<long>(at / w);
    for (long dy = -1; dy <= 1; ++dy) {
      for (long dx = -1; dx <= 1; ++dx) {
        const long nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= static_cast<long>(w) || ny >= static_cast<long>(h)) continue;
        const size_t next = static_cast<size_t>(ny) * w + static_cast<size_t>(nx);
        if (mask[next] && !frame[next]) {
          frame[next] = 1;
          todo.push_back(next);
        }
      }
    }
  }
  size_t glyph = 0, touching = 0;
  double left = w, right = 0;
  for (size_t i = 0; i < w * h; ++i) {
    const double x = static_cast<double>(i % w);
    if (mask[i] && !frame[i]) {
      ++glyph;
      left = std::min(left, x);
      right = std::max(right, x);
    } else if (frame[i] && x > kCountEnd && outsidePlate(x + 0.5, static_cast<double>(i / w) + 0.5) < -5) {
      ++touching;  // frame-connected ink deep inside: a glyph run into the frame
    }
  }
  EXPECT_GT(glyph, 40u) << "the glyph is drawn apart from the frame";
  EXPECT_EQ(touching, 0u) << "the glyph runs into the frame";
  EXPECT_GT(left, kCountEnd) << "the glyph reaches into the count's room";
  EXPECT_LT(right, static_cast<double>(w) - 4);
}

TEST_F(CountPlateArtwork, TheHallsCountStaysInsideThePillLeftOfTheGlyph) {
  auto hall = NUVAResourceHallView::init();
  // Not shown, so no answer of the server changes the count.
  hall->takeWelfareAnswer(kit::as<kit::Dictionary>(kit::JSONSerialization::JSONObjectWithData(
      kit::Data::make(R"({"status":"200","data":{"items":[],"user_welfare_nums":"999"}})"), 0)));
  ASSERT_EQ(hall->welfareLabel()->text(), "999");
  auto plate = hall->welfareLabel()->superview();
  ASSERT_TRUE(plate);
  ASSERT_EQ(plate->bounds().size, (kit::Size{78, 32}));
  auto picture = kit::render(*plate, 2);
  ASSERT_TRUE(picture);
  size_t count = 0;
  for (size_t y = 0; y < picture->height(); ++y) {
    for (size_t x = 0; x < picture->width(); ++x) {
      const kit::Pixel p = picture->pixelAt(x, y);
      if (p.a < 200 || std::max({p.r, p.g, p.b}) > 70) continue;  // the count is black
      ++count;
      const double px = static_cast<double>(x) + 0.5, py = static_cast<double>(y) + 0.5;
      EXPECT_LT(outsidePlate(px, py), -4) << "count ink at " << x << ", " << y;
      EXPECT_LT(px, kCountEnd + 1) << "count ink at " << x << ", " << y;
    }
  }
  EXPECT_GT(count, 60u) << "the count is drawn";
}

}  // namespace
