// The prop tile and the optional item chooser as a player sees them: the
// tile's look, its texts and its picture read from the simulated server, an
// empty slot, a long name growing upwards, a late picture for an item the
// tile no longer shows; the chooser's size, place and tiles, a choice, and
// the cover as the way out.

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>

#include "channel/store/nuva_fix_btn.h"
#include "channel/store/nuva_optional_gift_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/graphics/image.h"
#include "kit/net/testing/test_server.h"
#include "kit/ui/font.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/ui_test_driver.h"
#include "sim/store_pictures.h"

namespace {

kit::Ref<NUVAFixedGiftModel> item(std::initializer_list<std::pair<kit::Value, kit::Value>> values) {
  return NUVAFixedGiftModel::withValues(kit::dict(values));
}

bool sameRect(const kit::Rect& a, const kit::Rect& b) {
  return std::abs(a.minX() - b.minX()) < 0.01 && std::abs(a.minY() - b.minY()) < 0.01 &&
         std::abs(a.width() - b.width()) < 0.01 && std::abs(a.height() - b.height()) < 0.01;
}

class PropTile : public StoreFixture {
 protected:
  kit::Ref<NUVAFixBtn> tileAt(const kit::Rect& frame) {
    auto tile = NUVAFixBtn::init(frame);
    window->addSubview(tile);
    return tile;
  }
};

TEST_F(PropTile, ANamedItemShowsItsCountNameAndPictureFromTheServer) {
  auto tile = tileAt({20, 20, 56, 56});
  tile->setModel(item({{"mid", "5"}, {"name", "金币"}, {"amount", 100}, {"icon", game.itemIconURL(2)}}));
  EXPECT_EQ(tile->backgroundColor()->description(),
            kit::Color::rgba(241 / 255.0, 241 / 255.0, 241 / 255.0, 1)->description());
  EXPECT_EQ(tile->layer()->cornerRadius(), 4);
  EXPECT_EQ(tile->num()->text(), "100");
  EXPECT_EQ(tile->name()->text(), "金币");
  EXPECT_FALSE(tile->num()->isHidden());
  EXPECT_TRUE(sameRect(tile->icon()->frame(), {5, 2, 46, 46}));
  EXPECT_TRUE(sameRect(tile->num()->frame(), {0, 2, 56, 8}));

  ASSERT_TRUE(kit::test::runUntil([&] { return tile->icon()->image() != nullptr; }));
  EXPECT_EQ(tile->icon()->image()->size().width, 48);
  EXPECT_EQ(game.requestsTo("pictures/item2.png").size(), 1u);
  picture("prop_tile_named");
}

TEST_F(PropTile, AnItemWithoutANameIsAnEmptySlotWhateverElseItHas) {
  auto tile = tileAt({20, 20, 45, 45});
  tile->setModel(item({{"amount", "3"}, {"icon", game.itemIconURL(1)}}));
  EXPECT_TRUE(tile->num()->isHidden());
  EXPECT_TRUE(tile->name()->isHidden());
  ASSERT_TRUE(tile->icon()->image());
  EXPECT_EQ(tile->icon()->image()->size().width, 90);  // the bundle's "fixbtnbg"
  drainMain();
  EXPECT_TRUE(game.requestsTo("pictures/item1.png").empty());

  // A named item without a picture: texts and an empty picture.
  tile->setModel(item({{"name", "体力"}, {"amount", "2"}}));
  EXPECT_FALSE(tile->num()->isHidden());
  EXPECT_FALSE(tile->icon()->image());
  // An empty slot's labels stay hidden until a named item comes.
  tile->setModel(NUVAFixedGiftModel::make());
  EXPECT_TRUE(tile->name()->isHidden());
}

TEST_F(PropTile, ALongNameWrapsUpwardsFromTheBottomEdgeWhileTheCountStaysOnTop) {
  auto tile = tileAt({20, 20, 56, 56});
  const std::string name = "传说中的超级无敌强化宝石碎片礼盒";
  tile->setModel(item({{"name", name}, {"amount", "99"}}));
  kit::TextAttributes attributes;
  attributes.font = kit::Font::systemFont(6);
  const double measured = kit::boundingRectWithSize(name, {46, std::numeric_limits<double>::max()},
                                                    kit::StringDrawingUsesLineFragmentOrigin, attributes)
                              .height();
  const double n = std::ceil(measured) + 1;
  EXPECT_GT(n, 10);  // more than one line
  EXPECT_TRUE(sameRect(tile->name()->frame(), {0, 56 - n, 56, n}));
  EXPECT_EQ(tile->name()->frame().maxY(), 56);
  EXPECT_TRUE(sameRect(tile->num()->frame(), {0, 2, 56, 8}));
  EXPECT_EQ(tile->num()->textAlignment(), kit::TextAlignment::Right);
}

TEST_F(PropTile, APictureArrivingAfterTheTileMovedOnIsDropped) {
  // The first picture is held back until the tile shows another item.
  auto server = kit::test::TestServer::startHTTP();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  auto png = sim::itemIconPNG(4);
  server->route("GET", "/slow.png", [released, png](const kit::test::RecordedRequest&) {
    released.wait();
    kit::test::TestResponse response;
    response.contentType = "image/png";
    response.body.assign(png.begin(), png.end());
    return response;
  });
  auto tile = tileAt({20, 20, 56, 56});
  tile->setModel(item({{"name", "旧"}, {"icon", server->url("/slow.png")}}));
  ASSERT_TRUE(server->waitForRequests(1, 10));
  tile->setModel(item({{"name", "新"}}));
  release.set_value();
  // The slow answer has landed once a second read of the same address has.
  auto probe = tileAt({100, 20, 56, 56});
  probe->setModel(item({{"name", "探"}, {"icon", server->url("/slow.png")}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return probe->icon()->image() != nullptr; }));
  drainMain();
  EXPECT_FALSE(tile->icon()->image());
  EXPECT_EQ(tile->name()->text(), "新");
}

TEST_F(PropTile, OnlyWebAddressesAreRead) {
  auto tile = tileAt({20, 20, 56, 56});
  for (const char* address : {"file:///etc/passwd", "ftp://127.0.0.1/x.png", "", "(null)"}) {
    tile->setModel(item({{"name", "x"}, {"icon", address}}));
    drainMain();
    EXPECT_FALSE(tile->icon()->image()) << address;
  }
}

// ---- The chooser --------------------------------------------------------------------------

class Chooser : public StoreFixture {
 protected:
  Chooser() : StoreFixture(kit::DeviceProfile::phone375x667()) {}

  kit::Ref<kit::MutableArray> items(int count) {
    auto list = kit::MutableArray::make();
    for (int i = 0; i < count; ++i) {
      list->addObject(item({{"mid", std::to_string(40 + i)}, {"name", "物品" + std::to_string(i)}, {"amount", "1"}}));
    }
    return list;
  }
  kit::Ref<NUVAOptionalGiftView> open(const kit::Ref<kit::MutableArray>& offered) {
    auto chooser = NUVAOptionalGiftView::init();
    chooser->setGiftArray(offered);
    chooser->setChooseBlock([this](const kit::Ref<NUVAFixedGiftModel>& chosen) { this->chosen.push_back(chosen); });
    chooser->show();
    window->layoutIfNeeded();
    return chooser;
  }
  std::vector<kit::Ref<NUVAFixedGiftModel>> chosen;
};

TEST_F(Chooser, ItsSizeFollowsTheTilesThreeToARowCentredOnTheWindow) {
  auto four = open(items(4));
  EXPECT_EQ(four->frame().size, (kit::Size{165, 115}));
  EXPECT_EQ(four->center(), window->center());
  EXPECT_EQ(four->layer()->cornerRadius(), 12);
  ASSERT_EQ(four->tiles().size(), 4u);
  EXPECT_TRUE(sameRect(four->tiles()[3]->frame(), {10, 60, 45, 45}));
  EXPECT_TRUE(sameRect(four->tiles()[2]->frame(), {110, 10, 45, 45}));
  EXPECT_EQ(four->tiles()[1]->name()->text(), "物品1");
  // Another layout pass keeps the same tiles.
  auto first = four->tiles()[0];
  four->setNeedsLayout();
  window->layoutIfNeeded();
  EXPECT_EQ(four->tiles()[0], first);
  EXPECT_EQ(four->subviews().size(), 4u);
  picture("chooser_four");
  four->dissmiss();

  auto two = open(items(2));
  EXPECT_EQ(two->frame().size, (kit::Size{115, 65}));
  EXPECT_EQ(two->center(), window->center());
  two->dissmiss();

  auto none = open(kit::MutableArray::make());
  EXPECT_EQ(none->frame().size, (kit::Size{165, 100}));
  EXPECT_TRUE(none->tiles().empty());
}

TEST_F(Chooser, ATileChoosesItsItemAndTheCoverClosesWithoutAChoice) {
  auto offered = items(3);
  auto chooser = open(offered);
  ASSERT_TRUE(kit::test::tap(chooser->tiles()[1]));
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], offered->objectAtIndex(1));  // the record itself, not a copy
  EXPECT_FALSE(chooser->isOpen());
  EXPECT_FALSE(chooser->coverView()->superview());

  auto again = open(offered);
  // A tap beside the chooser lands on the cover.
  ASSERT_TRUE(kit::test::tapAt(*window, {20, 40}));
  EXPECT_FALSE(again->isOpen());
  EXPECT_FALSE(again->coverView()->superview());
  EXPECT_EQ(chosen.size(), 1u);
}

}  // namespace
