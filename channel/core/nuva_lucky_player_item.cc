// A reward tile of the lucky-player cards. See nuva_lucky_player_item.h.

#include "channel/core/nuva_lucky_player_item.h"

#include <cmath>
#include <limits>

#include "channel/core/nuva_data_format.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/data.h"
#include "kit/foundation/format.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"
#include "kit/net/url_session.h"
#include "kit/ui/font.h"
#include "kit/ui/text_measure.h"

kit::Ref<NUVALuckyPlayerItem> NUVALuckyPlayerItem::init() {
  auto item = kit::make<NUVALuckyPlayerItem>();
  item->p_setUI();
  return item;
}

NUVALuckyPlayerItem::NUVALuckyPlayerItem() : kit::View(kit::Rect{}) {}

void NUVALuckyPlayerItem::p_setUI() {
  backbg_ = kit::ImageView::make({0, 0, kSide, kSide});
  backbg_->layer()->setCornerRadius(4);
  backbg_->setClipsToBounds(true);
  backbg_->setBackgroundColor(kit::Color::white(1, 0.3));
  addSubview(backbg_);

  icon_ = kit::ImageView::make({12, 5, 60, 60});
  icon_->setContentMode(kit::ContentMode::ScaleAspectFit);
  addSubview(icon_);

  name_ = kit::Label::make({0, 0, kSide, 10});
  name_->setNumberOfLines(0);
  name_->setFont(kit::Font::systemFont(10));
  name_->setTextAlignment(kit::TextAlignment::Center);
  name_->setTextColor(kit::Color::blackColor());
  addSubview(name_);
}

void NUVALuckyPlayerItem::setModel(kit::Ref<NUVAFixedGiftModel> model) {
  model_ = std::move(model);
  icon_->setImage(nullptr);
  if (!model_) {
    name_->setText("");
    return;
  }
  loadIcon(model_->icon());

  const std::string caption = NUVADataFormat::prizeCaption(model_->name(), model_->amount());
  name_->setText(caption);
  kit::TextAttributes attributes;
  attributes.font = kit::Font::systemFont(10);
  const kit::Rect measured = kit::boundingRectWithSize(caption, {kSide, std::numeric_limits<double>::max()},
                                                       kit::StringDrawingUsesLineFragmentOrigin, attributes);
  const double h = std::ceil(measured.height()) + 2;
  name_->setFrame({0, kSide - h - 5, kSide, h});
}

void NUVALuckyPlayerItem::loadIcon(const kit::Id& address) {
  auto url = kit::URL::URLWithString(kit::describe(address));
  if (!url || !url->scheme()) return;
  const std::string scheme = url->scheme()->utf8();
  // Only pictures from the web: an icon address never reads local files.
  if (scheme != "http" && scheme != "https") return;

  auto request = kit::URLRequest::make(url, kit::URLRequestCachePolicy::UseProtocolCachePolicy, kIconTimeout);
  kit::Weak<NUVAFixedGiftModel> wanted = model_;
  auto show = kit::bindPost(kit::Queue::main(), selfAs<NUVALuckyPlayerItem>(),
                            [wanted](NUVALuckyPlayerItem& self, const kit::Ref<kit::Data>& data) {
                              // A tile given another reward meanwhile keeps that one's icon.
                              if (!self.model_ || self.model_ != wanted.lock()) return;
                              if (auto image = kit::Image::withData(data->span())) self.icon_->setImage(image);
                            });
  auto task = kit::URLSession::sharedSession()->dataTaskWithRequest(
      request, [show](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse> response, kit::Ref<kit::Error> error) {
        if (error || !data) return;
        auto http = kit::as<kit::HTTPURLResponse>(response);
        if (http && (http->statusCode() < 200 || http->statusCode() > 299)) return;
        show(data);
      });
  task->resume();
}
