// The renderer's shortcuts against the straightforward drawing
// (renderReference: every translucent or masked layer through a group the
// size of the picture, every content drawn anew): groups clipped to what a
// layer can draw, opacity folded into a single paint, labels' text kept as
// pixels, and a picture given again while nothing changed. Each must give
// the reference's pixels within rounding, and each kept picture must be
// dropped by every kind of change that alters it.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/render.h"
#include "kit/ui/render_reference.h"
#include "kit/ui/shape_layer.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

// The largest difference of any channel of any pixel, and how many pixels
// differ by more than one step.
struct Difference {
  int largest = 0;
  size_t pixels = 0;
};

// Pictures are compared as stored (premultiplied 32-bit words), so a faint
// pixel's colour is not magnified.
Difference compare(const Bitmap& a, const Bitmap& b) {
  Difference d;
  if (a.width() != b.width() || a.height() != b.height()) return {255, a.width() * a.height()};
  std::span<const uint8_t> p = a.data(), q = b.data();
  for (size_t i = 0; i + 3 < p.size(); i += 4) {
    int most = 0;
    for (size_t c = 0; c < 4; ++c) most = std::max(most, std::abs(int(p[i + c]) - int(q[i + c])));
    d.largest = std::max(d.largest, most);
    if (most > 1) ++d.pixels;
  }
  return d;
}

// Rounding of premultiplied 8-bit values, composited in another order, may
// move a channel by a few steps on a handful of pixels, never more.
void expectSamePicture(View& root, double scale, const std::string& what) {
  Ref<Bitmap> fast = render(root, scale);
  Ref<Bitmap> reference = renderReference(root, scale);
  ASSERT_TRUE(fast && reference) << what;
  const Difference d = compare(*fast, *reference);
  EXPECT_LE(d.largest, 3) << what;
  EXPECT_LE(d.pixels, fast->width() * fast->height() / 500) << what;
}

Ref<Bitmap> checkerboard(size_t size) {
  std::vector<uint8_t> rgba(size * size * 4);
  for (size_t y = 0; y < size; ++y)
    for (size_t x = 0; x < size; ++x) {
      uint8_t* p = &rgba[(y * size + x) * 4];
      const bool dark = ((x / 4) + (y / 4)) % 2;
      p[0] = dark ? 30 : 240;
      p[1] = dark ? 90 : 200;
      p[2] = dark ? 160 : 20;
      p[3] = 255;
    }
  PixelFormat format;
  format.bitsPerComponent = 8;
  format.bitsPerPixel = 32;
  format.colorSpace = ColorSpace::deviceRGB();
  format.bitmapInfo = makeBitmapInfo(AlphaInfo::Last);
  return Bitmap::create(size, size, format, 0, rgba);
}

Ref<View> box(const Rect& frame, Ref<Color> color, double alpha = 1) {
  auto v = View::make(frame);
  v->setBackgroundColor(std::move(color));
  v->setAlpha(alpha);
  return v;
}

Ref<Label> label(const Rect& frame, const std::string& text, double size = 15) {
  auto l = Label::make(frame);
  l->setText(text);
  l->setFont(Font::systemFont(size));
  return l;
}

class RenderShortcutsTest : public ::testing::Test {
 protected:
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
};

TEST_F(RenderShortcutsTest, NestedTranslucentClippedAndTransformedViewsMatchFullSizeGroups) {
  auto window = Window::make();
  window->setBackgroundColor(Color::whiteColor());

  // A translucent card that clips, with rounded corners and a border,
  // holding translucent, rotated and overflowing children and text.
  auto card = box({20, 30, 300, 260}, Color::rgba(0.1, 0.5, 0.9, 1), 0.8);
  card->setClipsToBounds(true);
  card->layer()->setCornerRadius(18);
  card->layer()->setBorderWidth(3);
  card->layer()->setBorderColor(Color::rgba(0.9, 0.2, 0.1, 1));
  window->addSubview(card);
  auto bordered = box({10, 10, 60, 40}, Color::rgba(1, 0.8, 0, 1), 0.5);
  bordered->layer()->setBorderWidth(2);
  bordered->layer()->setCornerRadius(6);
  card->addSubview(bordered);
  auto rotated = box({120, 40, 80, 50}, Color::rgba(0.2, 0.9, 0.3, 1), 0.6);
  rotated->setTransform(AffineTransform::makeRotation(0.5));
  card->addSubview(rotated);
  auto grandchild = box({30, 10, 70, 30}, Color::rgba(0.6, 0.1, 0.7, 1), 0.5);
  grandchild->setTransform(AffineTransform::makeScale(1.5, 0.75));
  rotated->addSubview(grandchild);
  auto overflowing = box({250, 200, 120, 120}, Color::rgba(0.3, 0.3, 0.3, 1), 0.7);
  card->addSubview(overflowing);
  auto text = label({12.25, 120.5, 200, 30}, "半透明卡片 知道了");
  text->setAlpha(0.7);
  card->addSubview(text);

  // A translucent view whose child reaches far outside it (no clipping):
  // the group must hold the child too.
  auto host = box({40, 320, 60, 60}, Color::rgba(0.9, 0.4, 0.4, 1), 0.5);
  auto reaching = box({70, 20, 150, 50}, Color::rgba(0.2, 0.2, 0.8, 1), 1);
  host->addSubview(reaching);
  auto scaledText = label({0, 0, 140, 24}, "放大的文字");
  scaledText->setTransform(AffineTransform::makeScale(1.3, 1.3));
  reaching->addSubview(scaledText);
  window->addSubview(host);

  // Contents larger than the bounds, centred: drawn past the bounds.
  auto picture = View::make({60, 430, 40, 40});
  picture->layer()->setContents(checkerboard(96));
  picture->layer()->setContentsGravity(GravityCenter);
  picture->setAlpha(0.5);
  window->addSubview(picture);

  // A shape whose stroke passes its bounds, in a translucent view; a masked
  // view; a translucent view with nothing to draw.
  auto ringHost = View::make({200, 420, 50, 50});
  ringHost->setAlpha(0.6);
  auto ring = ShapeLayer::make();
  ring->setFrame({0, 0, 50, 50});
  ring->setPath(Path::withArc({25, 25}, 40, 0, 2 * M_PI, true));
  ring->setFillColor(nullptr);
  ring->setStrokeColor(Color::redColor());
  ring->setLineWidth(8);
  ringHost->layer()->addSublayer(ring);
  window->addSubview(ringHost);
  auto masked = box({280, 400, 80, 80}, Color::rgba(0.1, 0.6, 0.6, 1), 0.9);
  auto mask = Layer::make();
  mask->setFrame({10, 10, 40, 60});
  mask->setBackgroundColor(Color::blackColor());
  mask->setCornerRadius(12);
  masked->layer()->setMask(mask);
  window->addSubview(masked);
  window->addSubview(box({10, 600, 50, 50}, nullptr, 0.5));

  window->layoutIfNeeded();
  expectSamePicture(*window, 2, "first picture at 2x");
  // Kept text and a picture given again: still the same.
  expectSamePicture(*window, 2, "second picture at 2x");
  // Another scale puts the fractional positions elsewhere.
  expectSamePicture(*window, 3, "at 3x");
  // Moved by a fraction of a pixel: the kept text is drawn again there.
  text->setFrame(text->frame().offsetBy(0.3, 0.2));
  expectSamePicture(*window, 2, "text moved by a fraction");
  expectSamePicture(*card, 2, "the card alone");

  // The shortcuts are taken: the picture is not what a plain opaque
  // drawing would give (the translucent card shows the white under it).
  Ref<Bitmap> p = render(*window, 2);
  const Pixel inCard = p->pixelAt(2 * 250, 2 * 60);
  EXPECT_GT(inCard.r, 40);
  EXPECT_LT(inCard.r, 120);
}

// Counts the label's drawing, to see when its kept text is drawn again.
struct CountingLabel : Label {
  using Label::Label;
  int draws = 0;
  bool drawContent(Canvas& canvas) override {
    ++draws;
    return Label::drawContent(canvas);
  }
};

TEST_F(RenderShortcutsTest, KeptTextIsDrawnAgainAfterEveryChangeThatAltersIt) {
  auto root = box({0, 0, 300, 200}, Color::whiteColor());
  auto text = kit::make<CountingLabel>(Rect{20, 20, 200, 40});
  text->setText("第一行");
  text->setFont(Font::systemFont(18));
  root->addSubview(text);
  auto other = box({250, 150, 20, 20}, Color::redColor());
  root->addSubview(other);

  expectSamePicture(*root, 2, "first picture");
  const int first = text->draws;
  // A change elsewhere: a new picture, the kept text copied into it.
  other->setFrame({240, 150, 20, 20});
  expectSamePicture(*root, 2, "another view moved");
  EXPECT_EQ(text->draws, first + 1) << "the reference draws it; the renderer keeps its pixels";
  // Moved by whole pixels: copied to the new place, not drawn again.
  text->setFrame({21, 22, 200, 40});
  const int beforeMove = text->draws;
  ASSERT_TRUE(render(*root, 2));
  EXPECT_EQ(text->draws, beforeMove);
  expectSamePicture(*root, 2, "moved by whole points");

  struct Change {
    const char* what;
    std::function<void()> apply;
  };
  auto attributed = [] {
    TextAttributes a;
    a.font = Font::boldSystemFont(20);
    a.foregroundColor = Color::blueColor();
    return AttributedString::make("带属性的文字", a);
  };
  const std::vector<Change> changes = {
      {"text", [&] { text->setText("第二行文字"); }},
      {"font", [&] { text->setFont(Font::systemFont(24)); }},
      {"text colour", [&] { text->setTextColor(Color::redColor()); }},
      {"alignment", [&] { text->setTextAlignment(TextAlignment::Right); }},
      {"lines and wrapping",
       [&] {
         text->setText("一段很长的文字会在这里换行并且继续写下去直到第二行");
         text->setNumberOfLines(0);
       }},
      {"line break mode",
       [&] {
         text->setNumberOfLines(1);
         text->setLineBreakMode(LineBreakMode::ByTruncatingHead);
       }},
      {"disabled", [&] { text->setEnabled(false); }},
      {"enabled", [&] { text->setEnabled(true); }},
      {"highlighted",
       [&] {
         text->setHighlightedTextColor(Color::greenColor());
         text->setHighlighted(true);
       }},
      {"highlighted colour while highlighted", [&] { text->setHighlightedTextColor(Color::blueColor()); }},
      {"size", [&] { text->setFrame({21, 22, 120, 60}); }},
      {"shrinking to fit",
       [&] {
         text->setText("一行放不下的很长很长很长很长很长的文字");
         text->setNumberOfLines(1);
         text->setAdjustsFontSizeToFitWidth(true);
       }},
      {"minimum scale", [&] { text->setMinimumScaleFactor(0.9); }},
      {"attributed text", [&] { text->setAttributedText(attributed()); }},
      {"fractional position", [&] { text->setFrame({21.3, 22.6, 120, 60}); }},
      {"transform", [&] { text->setTransform(AffineTransform::makeRotation(0.2)); }},
  };
  for (const Change& change : changes) {
    Ref<Bitmap> before = render(*root, 2);
    change.apply();
    Ref<Bitmap> after = render(*root, 2);
    EXPECT_GT(compare(*before, *after).pixels, 0u) << change.what << " left the picture as it was";
    expectSamePicture(*root, 2, change.what);
  }
}

TEST_F(RenderShortcutsTest, APictureIsGivenAgainOnlyWhileNoLayerChanged) {
  auto window = box({0, 0, 300, 400}, Color::whiteColor());
  auto card = box({40, 40, 200, 150}, Color::rgba(0.2, 0.4, 0.8, 1), 0.9);
  window->addSubview(card);
  auto inner = box({10, 10, 50, 50}, Color::rgba(0.9, 0.6, 0.1, 1));
  card->addSubview(inner);
  auto sibling = box({100, 300, 60, 60}, Color::rgba(0.3, 0.7, 0.3, 1));
  window->addSubview(sibling);
  auto cover = box({50, 50, 50, 50}, Color::rgba(0.1, 0.1, 0.1, 1));
  card->addSubview(cover);
  auto overflow = box({170, 120, 60, 60}, Color::rgba(0.8, 0.2, 0.6, 1));
  card->addSubview(overflow);
  auto text = label({20, 80, 160, 30}, "知道了");
  card->addSubview(text);
  window->layoutIfNeeded();

  Ref<Bitmap> first = render(*window, 2);
  EXPECT_EQ(render(*window, 2).get(), first.get()) << "nothing changed: the same picture";
  EXPECT_NE(render(*window, 1).get(), first.get()) << "another scale is another picture";
  EXPECT_NE(render(*card, 2).get(), first.get()) << "another root is another picture";

  struct Change {
    const char* what;
    std::function<void()> apply;
  };
  const std::vector<Change> changes = {
      {"background colour", [&] { inner->setBackgroundColor(Color::redColor()); }},
      {"alpha", [&] { inner->setAlpha(0.4); }},
      {"hidden", [&] { sibling->setHidden(true); }},
      {"shown", [&] { sibling->setHidden(false); }},
      {"frame", [&] { inner->setFrame({20, 15, 50, 50}); }},
      {"centre", [&] { sibling->setCenter({150, 350}); }},
      {"bounds origin", [&] { card->setBounds({5, 5, 200, 150}); }},
      {"transform", [&] { sibling->setTransform(AffineTransform::makeRotation(0.3)); }},
      {"corner radius", [&] { card->layer()->setCornerRadius(20); }},
      {"border width", [&] { card->layer()->setBorderWidth(4); }},
      {"border colour", [&] { card->layer()->setBorderColor(Color::greenColor()); }},
      {"contents", [&] { inner->layer()->setContents(checkerboard(16)); }},
      {"contents rect", [&] { inner->layer()->setContentsRect({0, 0, 0.5, 0.5}); }},
      {"contents gravity", [&] { inner->layer()->setContentsGravity(GravityCenter); }},
      {"contents scale", [&] { inner->layer()->setContentsScale(2); }},
      {"clipping", [&] { card->setClipsToBounds(true); }},
      {"brought to front", [&] { card->bringSubviewToFront(inner.get()); }},
      {"z position", [&] { cover->layer()->setZPosition(1); }},
      {"added", [&] { card->addSubview(box({120, 20, 40, 40}, Color::blackColor())); }},
      {"removed", [&] { sibling->removeFromSuperview(); }},
      {"label text", [&] { text->setText("取消"); }},
      {"window background", [&] { window->setBackgroundColor(Color::rgba(1, 1, 0.8, 1)); }},
      {"mask",
       [&] {
         auto mask = Layer::make();
         mask->setFrame({0, 0, 100, 60});
         mask->setBackgroundColor(Color::blackColor());
         card->layer()->setMask(mask);
       }},
  };
  for (const Change& change : changes) {
    Ref<Bitmap> before = render(*window, 2);
    change.apply();
    Ref<Bitmap> after = render(*window, 2);
    EXPECT_NE(after.get(), before.get()) << change.what;
    EXPECT_GT(compare(*before, *after).pixels, 0u) << change.what << " left the picture as it was";
    expectSamePicture(*window, 2, change.what);
  }
}

TEST_F(RenderShortcutsTest, EachWindowKeepsItsPictureWhileOnlyOtherWindowsChange) {
  auto first = box({0, 0, 200, 200}, Color::whiteColor());
  auto firstCard = box({20, 20, 80, 80}, Color::rgba(0.2, 0.4, 0.8, 1));
  first->addSubview(firstCard);
  auto second = box({0, 0, 200, 200}, Color::rgba(0.9, 0.9, 0.8, 1));
  auto secondCard = box({60, 60, 80, 80}, Color::rgba(0.8, 0.3, 0.2, 1));
  second->addSubview(secondCard);

  Ref<Bitmap> firstPicture = render(*first, 2);
  Ref<Bitmap> secondPicture = render(*second, 2);
  EXPECT_EQ(render(*first, 2).get(), firstPicture.get()) << "drawing another window leaves this one's picture";
  EXPECT_EQ(render(*second, 2).get(), secondPicture.get());

  secondCard->setBackgroundColor(Color::greenColor());
  auto third = box({0, 0, 50, 50}, Color::blackColor());  // a window being built
  EXPECT_EQ(render(*first, 2).get(), firstPicture.get()) << "changes elsewhere leave this picture standing";
  EXPECT_NE(render(*second, 2).get(), secondPicture.get()) << "a change inside the window draws it again";

  // A layer moved from one window into the other changes both.
  secondPicture = render(*second, 2);
  second->addSubview(firstCard);
  Ref<Bitmap> firstWithout = render(*first, 2);
  EXPECT_NE(firstWithout.get(), firstPicture.get());
  EXPECT_GT(compare(*firstPicture, *firstWithout).pixels, 0u);
  EXPECT_NE(render(*second, 2).get(), secondPicture.get());
  expectSamePicture(*first, 2, "after the move");
  expectSamePicture(*second, 2, "after the move");

  // Hiding a layer counts, though a hidden layer draws nothing.
  Ref<Bitmap> beforeHide = render(*second, 2);
  secondCard->setAlpha(0.5);
  Ref<Bitmap> afterAlpha = render(*second, 2);
  EXPECT_NE(afterAlpha.get(), beforeHide.get());
  firstCard->setHidden(true);
  EXPECT_NE(render(*second, 2).get(), afterAlpha.get()) << "a layer just hidden changes the picture";
  expectSamePicture(*second, 2, "after hiding");
}

class RenderLiveContentTest : public test::VirtualClockTest {
 protected:
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
};

TEST_F(RenderLiveContentTest, ContentThatFollowsTheClockIsDrawnForEveryPicture) {
  auto window = Window::make();
  window->setBackgroundColor(Color::whiteColor());
  auto solid = [](double r, double g, double b) {
    if (!beginImageContext({10, 10}, true, 1)) return Ref<Image>();
    auto ctx = currentContext();
    ctx->setFillColor(Color::rgba(r, g, b, 1));
    ctx->fillRect({0, 0, 10, 10});
    auto image = imageFromCurrentImageContext();
    endImageContext();
    return image;
  };
  auto frames = ImageView::make({50, 50, 40, 40});
  frames->setAnimationImages({solid(1, 0, 0), solid(0, 0, 1)});
  frames->setAnimationDuration(1);
  window->addSubview(frames);
  frames->startAnimating();
  Ref<Bitmap> shown = render(*window, 1);
  EXPECT_EQ(shown->pixelAt(70, 70), (Pixel{255, 0, 0, 255}));
  // No layer changed; the clock did.
  advance(0.6);
  EXPECT_EQ(render(*window, 1)->pixelAt(70, 70), (Pixel{0, 0, 255, 255}));

  // A layer animation moves with the clock too.
  frames->stopAnimating();
  frames->setImage(solid(0, 1, 0));
  auto moving = box({0, 200, 20, 20}, Color::blackColor());
  window->addSubview(moving);
  View::animate(1, [&] { moving->setFrame({100, 200, 20, 20}); });
  Ref<Bitmap> start = render(*window, 1);
  advance(0.5);
  Ref<Bitmap> middle = render(*window, 1);
  EXPECT_NE(middle.get(), start.get());
  EXPECT_GT(compare(*start, *middle).pixels, 0u);
  advance(1);
  EXPECT_EQ(render(*window, 1)->pixelAt(110, 210), (Pixel{0, 0, 0, 255}));
}

}  // namespace
}  // namespace kit
