// The lucky-player cards: a modal card over the game with a title, the
// reward tiles and one button, shown when the channel server picks the
// player for a "luck", "day" or "active" reward. NUVALuckyPlayerView is the
// landscape card (575 x 310, tiles in one row), NUVAVerticalLuckyPlayerView
// the portrait one (330 x 540, three tiles: one above, two below). Both are
// one card, NUVALuckyPlayerCard, built from a table of geometry; the
// artwork of each reward kind comes from the resource bundle
// "NUVALight.bundle".
//
// The cards do not talk to the server: the button calls the owner's close
// callback, then the card and its cover leave the window.
//
//   auto card = NUVALuckyPlayerView::init();
//   card->setPlayerDic(answer["data"]);     // "title" and "items"
//   card->setType(kit::str("luck"));
//   card->setCloseBlock([weak] { ... claim ... });
//   card->show();
#pragma once

#include <functional>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

// What tells the landscape card from the portrait one.
struct NUVALuckyPlayerLayout {
  kit::Size card;                   // the card's size
  bool whiteBackground;             // the background view's own colour
  kit::Rect closeButton;            // the button, inside the background
  double titleInitialY;             // the title's y before show
  double titleX, titleY;            // the title's origin once shown
  double titleInset;                // the initial title width is W minus this
  double titleLimit;                // the widest title text before it wraps
  std::vector<kit::Point> tiles;    // tile origins; empty: one row from (35, 112)
  bool centreOnWindow;              // centred on the key window after placing
  const char* luckBackground;       // artwork names in the resource bundle
  const char* dayBackground;
  const char* activeBackground;

  static const NUVALuckyPlayerLayout& landscape();
  static const NUVALuckyPlayerLayout& portrait();
};

class NUVALuckyPlayerCard : public kit::View {
 public:
  // The cover's blur, and the title's font size.
  static constexpr double kBlurAlpha = 0.4;
  static constexpr double kTitleFontSize = 20;

  // ---- Inputs
  // The reward data (held, not copied), read by show.
  const kit::Ref<kit::Dictionary>& playerDic() const { return playerDic_; }
  void setPlayerDic(kit::Ref<kit::Dictionary> playerDic) { playerDic_ = std::move(playerDic); }
  // "luck", "day" or "active" (copied); picks the artwork, any other value
  // leaves it unset.
  const kit::Ref<kit::String>& type() const { return type_; }
  void setType(const kit::Ref<kit::String>& type);
  // Called by the button before the card leaves the window.
  const std::function<void()>& closeBlock() const { return closeBlock_; }
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }

  // ---- Parts
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::ImageView>& backbg() const { return backbg_; }
  const kit::Ref<kit::Button>& closeBtn() const { return closeBtn_; }
  const kit::Ref<kit::Label>& titleLabel() const { return titleLabel_; }
  // The reward records in display order (every item, shown or not).
  kit::Ref<kit::MutableArray> itemsArray();
  const NUVALuckyPlayerLayout& layout() const { return layout_; }

  // ---- Operations
  // Builds the cover, places the card on the key window and fills the
  // title and the tiles from playerDic. A card shows once.
  void show();
  // Removes the cover and the card without calling closeBlock.
  void dissMiss();
  // The button's action: closeBlock (once), then the card goes.
  void closeClick();

 protected:
  explicit NUVALuckyPlayerCard(const NUVALuckyPlayerLayout& layout);
  // Builds the parts (the platform's initWithFrame:).
  void initWithFrame(const kit::Rect& frame);

 private:
  void showTitle();
  void showItems();

  const NUVALuckyPlayerLayout& layout_;
  kit::Ref<kit::Dictionary> playerDic_;
  kit::Ref<kit::String> type_;
  std::function<void()> closeBlock_;
  kit::Ref<kit::Button> coverView_;
  kit::Ref<kit::ImageView> backbg_;
  kit::Ref<kit::Button> closeBtn_;
  kit::Ref<kit::Label> titleLabel_;
  kit::Ref<kit::MutableArray> itemsArray_;
  bool shown_ = false;
  bool closed_ = false;
};

// The landscape card, 575 x 310.
class NUVALuckyPlayerView : public NUVALuckyPlayerCard {
 public:
  static kit::Ref<NUVALuckyPlayerView> init();
  static kit::Ref<NUVALuckyPlayerView> make() { return init(); }
  NUVALuckyPlayerView() : NUVALuckyPlayerCard(NUVALuckyPlayerLayout::landscape()) {}
};

// The portrait card, 330 x 540.
class NUVAVerticalLuckyPlayerView : public NUVALuckyPlayerCard {
 public:
  static kit::Ref<NUVAVerticalLuckyPlayerView> init();
  static kit::Ref<NUVAVerticalLuckyPlayerView> make() { return init(); }
  NUVAVerticalLuckyPlayerView() : NUVALuckyPlayerCard(NUVALuckyPlayerLayout::portrait()) {}
};

// A picture of the channel's resource bundle "NUVALight.bundle" by its
// bundle-relative name without extension ("img_luckbg", "day/img_daybg"),
// as PNG; nil when the bundle or the file is missing.
kit::Ref<kit::Image> NUVALightImage(std::string_view name);
