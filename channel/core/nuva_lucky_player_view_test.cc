// The lucky-player cards and their reward tiles, shown on a key window with
// the application bundle's artwork: where the landscape and portrait cards
// put their tiles and titles, what each reward kind looks like, how the
// button and dissMiss close the card, and tiles whose icons come from a
// loopback server (a real PNG, failures, a tile that goes or changes its
// reward before the icon arrives).

#include "channel/core/nuva_lucky_player_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_store_records.h"
#include "kit/dispatch/operation_queue.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image_source.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"
#include "kit/web/testing/web_test_support.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

const std::string kResources = CHANNEL_RESOURCES_DIR;

kit::Id reward(const std::string& name, const std::string& amount, const std::string& icon = "") {
  return kit::dict({{"mid", "9"}, {"name", name}, {"amount", amount}, {"icon", icon}, {"rarity", "gold"}});
}

kit::Ref<kit::Dictionary> playerData(kit::Id title, size_t count) {
  auto items = kit::MutableArray::make();
  const char* names[] = {"金币", "钻石", "体力", "经验书", "宝箱"};
  for (size_t i = 0; i < count; ++i) items->addObject(reward(names[i % 5], std::to_string(100 * (i + 1))));
  auto data = kit::MutableDictionary::make();
  if (title) data->setObject(title, "title");
  data->setObject(items, "items");
  return data;
}

std::vector<kit::Ref<NUVALuckyPlayerItem>> tilesOf(NUVALuckyPlayerCard& card) {
  std::vector<kit::Ref<NUVALuckyPlayerItem>> tiles;
  for (const auto& view : card.subviews()) {
    if (auto tile = kit::as<NUVALuckyPlayerItem>(view)) tiles.push_back(tile);
  }
  return tiles;
}

// The application bundle of the project, with its channel artwork.
class LuckyPlayerCards : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Bundle::setMainBundlePath(kResources);
    kit::Application::shared()->reset();
  }
  void TearDown() override {
    window = nullptr;
    kit::Application::shared()->reset();
    kit::Bundle::setMainBundlePath("");
  }
  void showWindow(const kit::DeviceProfile& device) {
    profile.emplace(device);
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
  }
  template <class Card>
  kit::Ref<Card> showCard(kit::Ref<kit::Dictionary> data, const std::string& type = "luck") {
    auto card = Card::init();
    card->setPlayerDic(std::move(data));
    card->setType(kit::str(type));
    card->show();
    return card;
  }

  std::optional<kit::DeviceProfileScope> profile;
  kit::Ref<kit::Window> window;
};

TEST_F(LuckyPlayerCards, LandscapeCardPutsFiveTilesInOneRow) {
  showWindow(kit::DeviceProfile::phone667x375());
  auto card = showCard<NUVALuckyPlayerView>(playerData(kit::str("恭喜获得幸运奖励"), 5));
  EXPECT_EQ(card->window(), window);
  EXPECT_EQ(card->frame(), (kit::Rect{46, 32.5, 575, 310}));
  EXPECT_EQ(card->backbg()->frame(), (kit::Rect{0, 0, 575, 310}));
  EXPECT_EQ(card->closeBtn()->frame(), (kit::Rect{100, 255, 110, 35}));
  EXPECT_EQ(card->closeBtn()->superview(), card->backbg());

  auto tiles = tilesOf(*card);
  ASSERT_EQ(tiles.size(), 5u);
  const double xs[] = {35, 135, 235, 335, 435};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(tiles[i]->frame(), (kit::Rect{xs[i], 112, 85, 85})) << i;
  ASSERT_EQ(card->itemsArray()->count(), 5u);
  auto first = kit::as<NUVAFixedGiftModel>(card->itemsArray()->objectAtIndex(0));
  ASSERT_TRUE(first);
  EXPECT_EQ(kit::describe(first->name()), "金币");
  EXPECT_EQ(tiles[0]->model(), first);
  EXPECT_EQ(tiles[0]->name()->text(), "金币*100");
  EXPECT_EQ(tiles[4]->name()->text(), "宝箱*500");

  // The cover fills the window under the card, with a dark blur at 0.4.
  auto cover = card->coverView();
  ASSERT_TRUE(cover);
  EXPECT_EQ(cover->frame(), window->bounds());
  auto blurs = kit::test::findViewsOfType<kit::VisualEffectView>(*cover);
  ASSERT_EQ(blurs.size(), 1u);
  EXPECT_EQ(blurs[0]->effect()->style, kit::BlurEffectStyle::Dark);
  EXPECT_DOUBLE_EQ(blurs[0]->alpha(), 0.4);
  const auto& top = window->subviews();
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(top[top.size() - 2], cover);
  EXPECT_EQ(top.back(), card);

  // The "luck" artwork is drawn: the card's background and its button.
  ASSERT_TRUE(card->backbg()->image());
  EXPECT_EQ(card->backbg()->image()->size(), (kit::Size{575, 310}));
  ASSERT_TRUE(card->closeBtn()->currentBackgroundImage());
  EXPECT_EQ(card->closeBtn()->currentBackgroundImage()->size(), (kit::Size{110, 35}));
  EXPECT_TRUE(card->closeBtn()->currentTitle().empty());

  auto picture = kit::render(*window, 1);
  ASSERT_TRUE(picture);
  // Inside the card the artwork's warm red shows; beside it the dimmed game.
  auto inside = picture->pixelAt(46 + 300, 33 + 60);
  EXPECT_GT(inside.r, 150);
  EXPECT_LT(inside.b, 100);
  auto beside = picture->pixelAt(20, 200);
  EXPECT_LT(beside.r + beside.g + beside.b, 3 * 100);
#ifdef KIT_UI_ARTIFACT_DIR
  std::filesystem::create_directories(KIT_UI_ARTIFACT_DIR);
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/lucky_player_landscape.png"));
#endif
}

TEST_F(LuckyPlayerCards, PortraitCardShowsThreeTilesAndKeepsEveryReward) {
  showWindow(kit::DeviceProfile::phone375x667());
  auto card = showCard<NUVAVerticalLuckyPlayerView>(playerData(kit::str("每日福利"), 4), "day");
  EXPECT_EQ(card->frame(), (kit::Rect{22.5, 63.5, 330, 540}));
  EXPECT_EQ(card->center(), window->center());
  EXPECT_EQ(card->closeBtn()->frame(), (kit::Rect{60, 460, 110, 35}));
  EXPECT_FALSE(card->backbg()->backgroundColor());

  auto tiles = tilesOf(*card);
  ASSERT_EQ(tiles.size(), 4u);
  EXPECT_EQ(tiles[0]->frame(), (kit::Rect{80, 170, 85, 85}));
  EXPECT_EQ(tiles[1]->frame(), (kit::Rect{35, 270, 85, 85}));
  EXPECT_EQ(tiles[2]->frame(), (kit::Rect{135, 270, 85, 85}));
  EXPECT_TRUE(tiles[3]->frame().isEmpty());
  EXPECT_TRUE(tiles[3]->isHidden());
  for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(tiles[i]->isHidden());
  // Nothing of the fourth reward is drawn at the card's corner.
  auto picture = kit::render(*window, 1);
  ASSERT_TRUE(picture);
  auto cardPicture = kit::render(*card->backbg(), 1);
  EXPECT_EQ(picture->pixelAt(22 + 30, 63 + 30), cardPicture->pixelAt(30, 30));
  ASSERT_EQ(card->itemsArray()->count(), 4u);
  EXPECT_EQ(kit::describe(kit::as<NUVAFixedGiftModel>(card->itemsArray()->objectAtIndex(3))->name()), "经验书");

  ASSERT_TRUE(card->backbg()->image());
  EXPECT_EQ(card->backbg()->image()->size(), (kit::Size{330, 540}));
#ifdef KIT_UI_ARTIFACT_DIR
  std::filesystem::create_directories(KIT_UI_ARTIFACT_DIR);
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/lucky_player_portrait.png"));
#endif
}

TEST_F(LuckyPlayerCards, TitlesAreMeasuredWrappedOrHidden) {
  showWindow(kit::DeviceProfile::phone667x375());
  // Before show the title has its first frame from the screen width.
  EXPECT_EQ(NUVALuckyPlayerView::init()->titleLabel()->frame(), (kit::Rect{60, 30, 547, 25}));

  auto shortTitle = showCard<NUVALuckyPlayerView>(playerData(kit::str("幸运"), 1));
  const kit::Rect small = shortTitle->titleLabel()->frame();
  EXPECT_EQ(small.origin, (kit::Point{60, 35}));
  EXPECT_LT(small.width(), 100);
  EXPECT_FALSE(shortTitle->titleLabel()->isHidden());
  EXPECT_EQ(shortTitle->titleLabel()->text(), "幸运");

  // A title that wraps gets its widest line's width; one whose measured
  // width passes the limit gets the limit.
  const std::string longText = "恭喜您在本次活动中被选为幸运玩家，以下奖励将在领取后发放到您的游戏背包之中";
  auto wrapped = showCard<NUVALuckyPlayerView>(playerData(kit::str(longText), 1));
  EXPECT_GT(wrapped->titleLabel()->frame().width(), 400);
  EXPECT_LE(wrapped->titleLabel()->frame().width(), 455);
  EXPECT_GT(wrapped->titleLabel()->frame().height(), small.height() + 10);
  const std::string longWord = "LuckyPlayerRewardsForTheWeekendEventOfServerThreeAreReadyToClaimNow";
  auto wide = showCard<NUVALuckyPlayerView>(playerData(kit::str(longWord), 1));
  EXPECT_EQ(wide->titleLabel()->frame().width(), 455);
  EXPECT_GT(wide->titleLabel()->frame().height(), small.height() + 10);

  for (const kit::Id& blank : {kit::Id(kit::str("   ")), kit::Id(), kit::Id(kit::null())}) {
    auto hidden = showCard<NUVALuckyPlayerView>(playerData(blank, 1));
    EXPECT_TRUE(hidden->titleLabel()->isHidden()) << kit::describe(blank);
  }
  // A number is shown as its text.
  EXPECT_EQ(showCard<NUVALuckyPlayerView>(playerData(kit::num(2024), 1))->titleLabel()->text(), "2024");

  window = nullptr;
  showWindow(kit::DeviceProfile::phone375x667());
  auto tall = showCard<NUVAVerticalLuckyPlayerView>(playerData(kit::str(longWord), 1));
  EXPECT_EQ(tall->titleLabel()->frame().origin, (kit::Point{35, 40}));
  EXPECT_EQ(tall->titleLabel()->frame().width(), 260);
}

TEST_F(LuckyPlayerCards, ArtworkFollowsTheRewardKind) {
  showWindow(kit::DeviceProfile::phone667x375());
  auto sameBitmap = [](const kit::Ref<kit::Image>& image, const std::string& file) {
    auto expected = kit::Image::withContentsOfFile(kResources + "/NUVALight.bundle/" + file);
    return image && expected && image->pngData() == expected->pngData();
  };
  auto day = showCard<NUVALuckyPlayerView>(playerData(kit::str("T"), 1), "day");
  EXPECT_TRUE(sameBitmap(day->backbg()->image(), "day/img_daybg.png"));
  EXPECT_TRUE(sameBitmap(day->closeBtn()->currentBackgroundImage(), "day/img_daybtn.png"));
  auto active = showCard<NUVALuckyPlayerView>(playerData(kit::str("T"), 1), "active");
  EXPECT_TRUE(sameBitmap(active->backbg()->image(), "img_activebg.png"));
  EXPECT_TRUE(sameBitmap(active->closeBtn()->currentBackgroundImage(), "img_activebtn.png"));
  auto luck = NUVAVerticalLuckyPlayerView::init();
  luck->setType(kit::str("luck"));
  EXPECT_TRUE(sameBitmap(luck->backbg()->image(), "img_veluckbg.png"));
  EXPECT_TRUE(sameBitmap(luck->closeBtn()->currentBackgroundImage(), "img_luckbtn.png"));
  auto verticalActive = NUVAVerticalLuckyPlayerView::init();
  verticalActive->setType(kit::str("active"));
  EXPECT_TRUE(sameBitmap(verticalActive->backbg()->image(), "img_veactivebg.png"));

  auto other = showCard<NUVALuckyPlayerView>(playerData(kit::str("T"), 1), "vip");
  EXPECT_FALSE(other->backbg()->image());
  EXPECT_FALSE(other->closeBtn()->currentBackgroundImage());

  // The banner's pictures are in the bundle too, where the banner looks.
  auto bundle = kit::Bundle::bundleWithPath(kit::Bundle::main()->pathForResource("NUVALight", "bundle")->utf8());
  ASSERT_TRUE(bundle);
  auto banner = kit::ImageSource::createWithFile(bundle->pathForResource("timepopbg", "gif")->utf8());
  ASSERT_TRUE(banner);
  ASSERT_EQ(banner->count(), 3u);
  EXPECT_EQ(banner->properties().gifLoopCount, 0);
  for (size_t i = 0; i < 3; ++i) {
    auto frame = banner->propertiesAtIndex(i);
    ASSERT_TRUE(frame);
    EXPECT_GE(frame->gifDelayTime.value_or(0), 0.3) << i;
    auto bitmap = banner->createImageAtIndex(i);
    ASSERT_TRUE(bitmap) << i;
    EXPECT_EQ(bitmap->width(), 300u);
    EXPECT_EQ(bitmap->height(), 75u);
  }
  EXPECT_TRUE(NUVALightImage("close"));
  EXPECT_TRUE(NUVALightImage("luck/luckygifttwver"));
  EXPECT_FALSE(NUVALightImage("missing"));
}

TEST_F(LuckyPlayerCards, ItemsOfTheWrongKindShowNoTiles) {
  showWindow(kit::DeviceProfile::phone667x375());
  auto text = kit::mutableDict({{"title", "T"}, {"items", "金币*100"}});
  EXPECT_TRUE(tilesOf(*showCard<NUVALuckyPlayerView>(text)).empty());
  EXPECT_TRUE(tilesOf(*showCard<NUVALuckyPlayerView>(kit::mutableDict({{"title", "T"}}))).empty());
  EXPECT_TRUE(tilesOf(*showCard<NUVALuckyPlayerView>(nullptr)).empty());
  // An element that is not a reward object is an empty tile.
  auto odd = showCard<NUVALuckyPlayerView>(kit::mutableDict({{"items", kit::array({"x", reward("金币", "100")})}}));
  auto tiles = tilesOf(*odd);
  ASSERT_EQ(tiles.size(), 2u);
  EXPECT_EQ(tiles[0]->name()->text(), "") << "no \"(null)\" under an empty tile";
  EXPECT_EQ(tiles[1]->name()->text(), "金币*100");
}

TEST_F(LuckyPlayerCards, ButtonCallsCloseBlockOnceThenTheCardGoes) {
  showWindow(kit::DeviceProfile::phone667x375());
  kit::Weak<NUVALuckyPlayerView> weak;
  int calls = 0;
  bool onWindowDuringBlock = false;
  {
    auto card = showCard<NUVALuckyPlayerView>(playerData(kit::str("T"), 2));
    weak = card;
    card->setCloseBlock([&calls, &onWindowDuringBlock, weak] {
      ++calls;
      if (auto card = weak.lock()) onWindowDuringBlock = card->window() != nullptr;
    });
    kit::Weak<kit::Button> cover = card->coverView();
    // The cover swallows taps.
    ASSERT_TRUE(kit::test::tapAt(*window, {10, 10}));
    EXPECT_EQ(calls, 0);
    ASSERT_TRUE(kit::test::tap(card->closeBtn()));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onWindowDuringBlock);
    EXPECT_FALSE(card->window());
    EXPECT_FALSE(cover.lock()->window());
    EXPECT_FALSE(kit::test::tap(card->closeBtn()));
    card->closeClick();
    EXPECT_EQ(calls, 1);
  }
  EXPECT_TRUE(weak.expired());

  // dissMiss removes card and cover without the block.
  auto quiet = showCard<NUVAVerticalLuckyPlayerView>(playerData(kit::str("T"), 1), "active");
  quiet->setCloseBlock([&calls] { ++calls; });
  quiet->dissMiss();
  EXPECT_FALSE(quiet->window());
  EXPECT_FALSE(quiet->coverView()->window());
  quiet->closeClick();
  EXPECT_EQ(calls, 1);

  // Without a block the button just closes.
  auto plain = showCard<NUVALuckyPlayerView>(playerData(kit::str("T"), 1));
  ASSERT_TRUE(kit::test::tap(plain->closeBtn()));
  EXPECT_FALSE(plain->window());
}

// ---- Tiles and their icons -----------------------------------------------------------------

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RewardTiles : public ::testing::Test {
 protected:
  void SetUp() override {
    png = fileText(kResources + "/NUVALight.bundle/close.png");
    ASSERT_FALSE(png.empty());
    TestResponse icon = TestResponse::text(png);
    icon.contentType = "image/png";
    icon.headers.set("Connection", "close");
    server->route("GET", "/icon.png", icon);
    TestResponse slow = icon;
    slow.delaySeconds = 0.3;
    server->route("GET", "/slow.png", slow);
    TestResponse missing = TestResponse::withStatus(404);
    missing.headers.set("Connection", "close");
    server->route("GET", "/missing.png", missing);
    TestResponse text = TestResponse::text("not a picture");
    text.headers.set("Connection", "close");
    server->route("GET", "/text.png", text);
  }

  // Waits until the icon downloads have ended and their results have
  // reached the main queue.
  static void settleDownloads() {
    auto session = kit::URLSession::sharedSession();
    ASSERT_TRUE(kit::test::runUntil([&] { return session->allTasks().empty(); }));
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  }

  kit::Ref<NUVALuckyPlayerItem> tile(const std::string& icon, const std::string& name = "金币",
                                     const std::string& amount = "100") {
    auto item = NUVALuckyPlayerItem::init();
    item->setModel(NUVAFixedGiftModel::withValues(reward(name, amount, icon)));
    return item;
  }

  std::string png;
  std::unique_ptr<TestServer> server = TestServer::startHTTP();
};

TEST_F(RewardTiles, TileLayoutAndCaption) {
  auto item = NUVALuckyPlayerItem::init();
  EXPECT_EQ(item->backbg()->frame(), (kit::Rect{0, 0, 85, 85}));
  EXPECT_EQ(item->backbg()->layer()->cornerRadius(), 4);
  EXPECT_TRUE(item->backbg()->clipsToBounds());
  EXPECT_EQ(item->icon()->frame(), (kit::Rect{12, 5, 60, 60}));
  EXPECT_EQ(item->icon()->contentMode(), kit::ContentMode::ScaleAspectFit);
  EXPECT_EQ(item->name()->frame(), (kit::Rect{0, 0, 85, 10}));

  item->setModel(NUVAFixedGiftModel::withValues(reward("金币", "100")));
  EXPECT_EQ(item->name()->text(), "金币*100");
  const kit::Rect oneLine = item->name()->frame();
  EXPECT_EQ(oneLine.maxY(), 80);
  EXPECT_GT(oneLine.height(), 10);
  EXPECT_LT(oneLine.height(), 20);

  // A long caption wraps and grows upwards from the same bottom line.
  item->setModel(NUVAFixedGiftModel::withValues(reward("传说级强化石礼包（绑定）", "99999")));
  const kit::Rect wrapped = item->name()->frame();
  EXPECT_EQ(wrapped.maxY(), 80);
  EXPECT_GT(wrapped.height(), oneLine.height() + 8);
  // Numbers from the server read as their text.
  item->setModel(NUVAFixedGiftModel::withValues(kit::dict({{"name", "钻石"}, {"amount", 20}})));
  EXPECT_EQ(item->name()->text(), "钻石*20");
}

TEST_F(RewardTiles, IconComesFromTheServer) {
  auto item = tile(server->url("/icon.png"));
  ASSERT_TRUE(kit::test::runUntil([&] { return item->icon()->image() != nullptr; }));
  EXPECT_EQ(item->icon()->image()->size(), (kit::Size{50, 50}));
  EXPECT_EQ(item->icon()->image()->pngData(), kit::Image::withData(std::span(
      reinterpret_cast<const uint8_t*>(png.data()), png.size()))->pngData());
  ASSERT_EQ(server->requests().size(), 1u);
  EXPECT_EQ(server->requests()[0].method, "GET");
  EXPECT_EQ(item->name()->text(), "金币*100");
}

TEST_F(RewardTiles, FailedIconsLeaveTheCaption) {
  auto missing = tile(server->url("/missing.png"));
  auto notPicture = tile(server->url("/text.png"));
  auto refused = tile(kit::test::closedPortURL("/icon.png"));
  auto local = tile("file://" + kResources + "/NUVALight.bundle/close.png");
  auto blank = tile("");
  settleDownloads();
  for (const auto& item : {missing, notPicture, refused, local, blank}) {
    EXPECT_FALSE(item->icon()->image());
    EXPECT_EQ(item->name()->text(), "金币*100");
  }
  EXPECT_EQ(server->requests().size(), 2u);
}

TEST_F(RewardTiles, DownloadHoldsTheTileWeaklyAndKeepsTheNewerReward) {
  kit::Weak<NUVALuckyPlayerItem> gone;
  {
    auto item = tile(server->url("/slow.png"));
    gone = item;
  }
  EXPECT_TRUE(gone.expired());

  // A reward replaced before its icon came keeps the newer reward's look.
  auto item = tile(server->url("/slow.png"));
  item->setModel(NUVAFixedGiftModel::withValues(reward("体力", "5")));
  settleDownloads();
  EXPECT_EQ(server->requests().size(), 2u);
  EXPECT_FALSE(item->icon()->image());
  EXPECT_EQ(item->name()->text(), "体力*5");
}

}  // namespace
