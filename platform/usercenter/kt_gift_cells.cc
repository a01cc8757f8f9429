// The welfare page's gift-pack rows and their scenes. See kt_gift_cells.h.
#include "platform/usercenter/kt_gift_cells.h"

#include <algorithm>
#include <cmath>

#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"

namespace {

constexpr double W = 300, X = 10, TextW = 205;
constexpr unsigned Accent = 0xFF7F00;
// The claim row, top to bottom: the name within 47.5 points, the contents
// (H), 10, the bar (2), 10, the counts (14.5), 15.
constexpr double NameY = 12, NameH = 20, ContentY = 47.5, Gap = 10, BarH = 2, CountH = 14.5;
// The code row: name, code, the contents from 69.5, 15 below.
constexpr double CodeY = 40, CodeH = 20, CopyContentY = 69.5;
// The buttons on the right.
const kit::Rect kButtonFrame{225, 30, 65, 30};

kit::Ref<kit::Label> label(double size, unsigned colour, int lines = 1) {
  auto made = kit::Label::make();
  made->setFont(kit::Font::systemFont(size));
  made->setTextColor(kit::Color::hex(colour));
  made->setNumberOfLines(lines);
  return made;
}

bool is(const kit::Ref<kit::String>& v, std::string_view value) { return v && v->isEqualToString(value); }

kit::Ref<kit::Button> button(const char* title) {
  auto made = kit::Button::make(kButtonFrame);
  made->setTitle(title);
  made->setTitleColor(kit::Color::hex(Accent));
  made->titleLabel()->setFont(kit::Font::systemFont(14));
  made->layer()->setBorderWidth(1);
  made->layer()->setBorderColor(kit::Color::hex(Accent));
  made->layer()->setCornerRadius(15);
  return made;
}

// The bar's width for a share of codes left: the number value of the text
// on the 150-point track, kept on the track for values outside 0 to 100
// and for a text that is not a number.
double barWidth(const kit::Ref<kit::String>& percentage) {
  const double share = percentage ? percentage->doubleValue() : 0;
  if (!(share > 0)) return 0;  // also a text of no number
  const float kept = static_cast<float>(std::min(share, 100.0));
  return static_cast<double>(kept * static_cast<float>(KTGetGiftCell::TrackW) / 100.0f);
}

}  // namespace

kit::Ref<KTGetGiftCell> KTGetGiftCell::make() {
  auto cell = kit::make<KTGetGiftCell>(kit::Rect{0, 0, W, 120});
  cell->buildScene();
  return cell;
}

void KTGetGiftCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTGetGiftCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto& content = contentView();
  auto type = label(15, 0x333333);
  type->setFrame(kit::Rect{X, NameY, TextW, NameH});
  auto body = label(KTSuGiftModel::ExcerptFontSize, 0x999999, 0);
  auto track = kit::View::make();
  track->setBackgroundColor(kit::Color::hex(0xEEEEEE));
  auto line = kit::View::make();
  line->setBackgroundColor(kit::Color::hex(Accent));
  auto count = label(11, 0x999999);
  auto residue = label(11, Accent);
  residue->setTextAlignment(kit::TextAlignment::Right);
  auto claim = button(ClaimTitle);
  claim->setTitle(ClaimedTitle, kit::ControlStateDisabled);
  claim->setTitleColor(kit::Color::lightGrayColor(), kit::ControlStateDisabled);
  kit::Weak<KTGetGiftCell> weak = weakSelf<KTGetGiftCell>();
  claim->addAction(kit::ControlEvent::TouchUpInside, [weak](kit::Control& sender) {
    auto self = weak.lock();
    if (auto* pressed = dynamic_cast<kit::Button*>(&sender); self && pressed) self->btnClick(*pressed);
  });
  for (const kit::Ref<kit::View>& v : std::initializer_list<kit::Ref<kit::View>>{type, body, track, line, count, residue, claim}) {
    content->addSubview(v);
  }
  typeL_ = type;
  contentL_ = body;
  track_ = track;
  lineView_ = line;
  countL_ = count;
  residueL_ = residue;
  getBtn_ = claim;
}

void KTGetGiftCell::setModel(const kit::Ref<KTSuGiftModel>& model) {
  model_ = model;
  if (!model) return;
  auto claim = getBtn();
  if (claim) {
    if (is(model->getstatus(), "1")) {
      claim->setEnabled(false);
      claim->setTitle(ClaimedTitle, kit::ControlStateDisabled);
      claim->layer()->setBorderColor(kit::Color::lightGrayColor());
    } else if (is(model->percentage(), "0")) {
      claim->setEnabled(false);
      claim->setTitle(GoneTitle, kit::ControlStateDisabled);
      claim->layer()->setBorderColor(kit::Color::lightGrayColor());
    } else {
      claim->setEnabled(true);
      claim->layer()->setBorderColor(kit::Color::hex(Accent));
    }
  }
  const double H = model->getCodeH() - KTSuGiftModel::ClaimPadding;
  const double barY = ContentY + H + Gap;
  const double countY = barY + BarH + Gap;
  if (auto l = typeL()) l->setText(kit::shownText(model->name()));
  if (auto l = contentL()) {
    l->setText(kit::shownText(model->excerpt()));
    l->setFrame(kit::Rect{X, ContentY, TextW, H});
  }
  if (auto track = track_.lock()) track->setFrame(kit::Rect{X, barY, TrackW, BarH});
  if (auto line = lineView()) line->setFrame(kit::Rect{X, barY, barWidth(model->percentage()), BarH});
  if (auto l = residueL()) {
    l->setText("剩余:" + kit::shownText(model->percentage()) + "%");
    l->setFrame(kit::Rect{X + TrackW - 70, countY, 70, CountH});
  }
  if (auto l = countL()) {
    l->setText("已有" + kit::shownText(model->part_num()) + "人领取");
    l->setFrame(kit::Rect{X, countY, TrackW - 70, CountH});
  }
}

void KTGetGiftCell::btnClick(kit::Button& button) {
  if (getCodeBlock_) getCodeBlock_(button);
}

kit::Ref<KTCopyGiftCell> KTCopyGiftCell::make() {
  auto cell = kit::make<KTCopyGiftCell>(kit::Rect{0, 0, W, 100});
  cell->buildScene();
  return cell;
}

void KTCopyGiftCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTCopyGiftCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto& content = contentView();
  auto type = label(15, 0x333333);
  type->setFrame(kit::Rect{X, NameY, TextW, NameH});
  auto code = label(14, Accent);
  code->setFrame(kit::Rect{X, CodeY, TextW, CodeH});
  auto body = label(KTSuGiftModel::ExcerptFontSize, 0x999999, 0);
  auto copy = button(CopyTitle);
  kit::Weak<KTCopyGiftCell> weak = weakSelf<KTCopyGiftCell>();
  copy->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->copyBtnClick();
  });
  for (const kit::Ref<kit::View>& v : std::initializer_list<kit::Ref<kit::View>>{type, code, body, copy}) {
    content->addSubview(v);
  }
  typeL_ = type;
  codeL_ = code;
  contentL_ = body;
  copyBtn_ = copy;
}

void KTCopyGiftCell::setModel(const kit::Ref<KTSuGiftModel>& model) {
  model_ = model;
  if (!model) return;
  if (auto l = typeL()) l->setText(kit::shownText(model->name()));
  if (auto l = codeL()) l->setText(kit::shownText(model->code()));
  if (auto l = contentL()) {
    l->setText(kit::shownText(model->excerpt()));
    l->setFrame(kit::Rect{X, CopyContentY, TextW, model->copyH() - KTSuGiftModel::CodePadding});
  }
}

void KTCopyGiftCell::copyBtnClick() {
  if (copyBlock_ && model_) copyBlock_(model_->code());
}
