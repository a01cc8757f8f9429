// The player stand-in: item loading, playback time on the clock, periodic
// observers, the end of an item, and the player's controller.
#include "kit/web/player.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/net/url_session.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"

namespace kit {

double MediaTime::seconds() const {
  if (!isNumeric()) return std::nan("");
  return static_cast<double>(value) / timescale;
}

MediaTime MediaTime::withSeconds(double seconds, int32_t timescale) {
  if (!std::isfinite(seconds) || timescale <= 0) return invalid();
  return make(static_cast<int64_t>(std::llround(seconds * timescale)), timescale);
}

namespace {

Ref<Timer> scheduleOnMain(double delay, std::function<void()> fn) {
  auto timer = Timer::create(std::max(0.0, delay), false, [fn = std::move(fn)](Timer&) { fn(); });
  RunLoop::main().addTimer(timer, CommonRunLoopModes);
  return timer;
}

// Reads an item's headers: its status and the announced duration.
class ItemLoadDelegate : public URLSessionDelegate {
 public:
  using Done = std::function<void(PlayerItemStatus, MediaTime, Ref<Error>)>;
  explicit ItemLoadDelegate(Done done) : done_(std::move(done)) {}

  void didReceiveResponse(URLSession&, const Ref<URLSessionDataTask>&, const Ref<URLResponse>& response,
                          ResponseCompletion completion) override {
    completion(URLSessionResponseDisposition::Cancel);
    auto http = as<HTTPURLResponse>(response);
    if (http && (http->statusCode() < 200 || http->statusCode() >= 300)) {
      finish(PlayerItemStatus::Failed, MediaTime::indefinite(),
             Error::make(MediaErrorDomain, MediaErrorUnknown,
                         dict({{LocalizedDescriptionKey, "The server answered " + std::to_string(http->statusCode())}})));
      return;
    }
    MediaTime duration = MediaTime::indefinite();
    if (http) {
      if (auto text = http->valueForHTTPHeaderField("X-Content-Duration")) {
        char* end = nullptr;
        const double seconds = std::strtod(text->utf8().c_str(), &end);
        if (end != text->utf8().c_str() && std::isfinite(seconds) && seconds >= 0)
          duration = MediaTime::withSeconds(seconds);
      }
    }
    finish(PlayerItemStatus::ReadyToPlay, duration, nullptr);
  }

  void didCompleteWithError(URLSession&, const Ref<URLSessionTask>&, const Ref<Error>& error) override {
    if (error) finish(PlayerItemStatus::Failed, MediaTime::indefinite(), error);
  }

 private:
  void finish(PlayerItemStatus status, MediaTime duration, Ref<Error> error) {
    if (!done_) return;
    auto done = std::move(done_);
    done_ = nullptr;
    done(status, duration, std::move(error));
  }
  Done done_;
};

}  // namespace

// ---- Items ---------------------------------------------------------------------------

Ref<PlayerItem> PlayerItem::make(Ref<kit::URL> url) { return kit::make<PlayerItem>(std::move(url)); }

Ref<PlayerItem> PlayerItem::withDuration(Ref<kit::URL> url, MediaTime duration) {
  auto item = kit::make<PlayerItem>(std::move(url));
  item->knownDuration_ = duration;
  return item;
}

PlayerItem::~PlayerItem() {
  if (session_) session_->invalidateAndCancel();
}

MediaTime PlayerItem::currentTime() const { return player_ ? player_->currentTime() : MediaTime::zero(); }

void PlayerItem::settle(PlayerItemStatus status, MediaTime duration, Ref<Error> error) {
  if (status_ != PlayerItemStatus::Unknown) return;
  loading_ = false;
  if (session_) {
    session_->finishTasksAndInvalidate();
    session_.reset();
  }
  Ref<Object> keep = weak_from_this().lock();
  status_ = status;
  duration_ = status == PlayerItemStatus::ReadyToPlay ? duration : MediaTime::indefinite();
  error_ = std::move(error);
  observers_.notify("status", static_cast<long>(PlayerItemStatus::Unknown), static_cast<long>(status));
  for (auto& fn : std::exchange(waiting_, {})) fn();
}

void PlayerItem::load(std::function<void()> whenSettled) {
  if (status_ != PlayerItemStatus::Unknown) {
    if (whenSettled) runOnMainSoon(std::move(whenSettled));
    return;
  }
  if (whenSettled) waiting_.push_back(std::move(whenSettled));
  if (loading_) return;
  loading_ = true;
  Weak<PlayerItem> weak = std::static_pointer_cast<PlayerItem>(weak_from_this().lock());
  auto done = [weak](PlayerItemStatus status, MediaTime duration, Ref<Error> error) {
    if (auto self = weak.lock()) self->settle(status, duration, std::move(error));
  };
  if (knownDuration_) {
    const MediaTime duration = *knownDuration_;
    runOnMainSoon([done, duration] { done(PlayerItemStatus::ReadyToPlay, duration, nullptr); });
    return;
  }
  if (!url_) {
    runOnMainSoon([done] {
      done(PlayerItemStatus::Failed, MediaTime::indefinite(),
           Error::make(MediaErrorDomain, MediaErrorUnknown, dict({{LocalizedDescriptionKey, "No address"}})));
    });
    return;
  }
  if (url_->isFileURL()) {
    const bool exists = url_->path() && FileManager::defaultManager()->fileExistsAtPath(url_->path()->utf8());
    runOnMainSoon([done, exists] {
      if (exists) done(PlayerItemStatus::ReadyToPlay, MediaTime::indefinite(), nullptr);
      else
        done(PlayerItemStatus::Failed, MediaTime::indefinite(),
             Error::make(URLErrorDomain, URLErrorFileDoesNotExist, dict({{LocalizedDescriptionKey, "No such file"}})));
    });
    return;
  }
  session_ = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                  std::make_shared<ItemLoadDelegate>(done),
                                                  OperationQueue::main().selfAs<OperationQueue>());
  session_->dataTaskWithRequest(URLRequest::make(url_))->resume();
}

// ---- The player ------------------------------------------------------------------------

Ref<Player> Player::withPlayerItem(Ref<PlayerItem> item) {
  auto player = kit::make<Player>();
  player->replaceCurrentItem(std::move(item));
  return player;
}

Player::~Player() {
  for (auto& [token, observer] : periodic_)
    if (observer.timer) observer.timer->invalidate();
  if (endTimer_) endTimer_->invalidate();
  if (item_ && item_->player() == this) item_->setPlayer(nullptr);
}

void Player::replaceCurrentItem(Ref<PlayerItem> item) {
  if (item_ && item_->player() == this) item_->setPlayer(nullptr);
  item_ = std::move(item);
  itemSeconds_ = 0;
  anchorClock_ = Clock::now();
  if (item_) {
    item_->setPlayer(this);
    Weak<Player> weak = std::static_pointer_cast<Player>(weak_from_this().lock());
    item_->load([weak] {
      if (auto self = weak.lock()) self->itemDidSettle();
    });
  }
  reschedule();
}

PlayerStatus Player::status() const {
  if (!item_) return PlayerStatus::Unknown;
  return static_cast<PlayerStatus>(item_->status());
}

bool Player::isAdvancing() const {
  if (rate_ <= 0 || !item_ || item_->status() != PlayerItemStatus::ReadyToPlay) return false;
  const MediaTime duration = item_->duration();
  return !duration.isNumeric() || itemSeconds_ < duration.seconds();
}

double Player::seconds() const {
  if (!isAdvancing()) return itemSeconds_;
  double s = itemSeconds_ + (Clock::now() - anchorClock_) * rate_;
  const MediaTime duration = item_->duration();
  if (duration.isNumeric()) s = std::min(s, duration.seconds());
  return s;
}

MediaTime Player::currentTime() const { return MediaTime::withSeconds(seconds()); }

PlayerTimeControlStatus Player::timeControlStatus() const {
  if (rate_ <= 0) return PlayerTimeControlStatus::Paused;
  return isAdvancing() ? PlayerTimeControlStatus::Playing : PlayerTimeControlStatus::WaitingToPlayAtSpecifiedRate;
}

void Player::anchorAt(double itemSeconds) {
  itemSeconds_ = itemSeconds;
  anchorClock_ = Clock::now();
}

void Player::setTimeControlStatus(PlayerTimeControlStatus old) {
  const PlayerTimeControlStatus now = timeControlStatus();
  if (old != now) observers_.notify("timeControlStatus", static_cast<long>(old), static_cast<long>(now));
}

void Player::setRate(double rate) {
  rate = std::max(0.0, rate);
  if (rate == rate_) return;
  Ref<Object> keep = weak_from_this().lock();
  const PlayerTimeControlStatus oldStatus = timeControlStatus();
  const bool wasAdvancing = isAdvancing();
  anchorAt(seconds());
  const double old = rate_;
  rate_ = rate;
  reschedule();
  observers_.notify("rate", old, rate);
  setTimeControlStatus(oldStatus);
  if (wasAdvancing != isAdvancing()) tellObservers();
}

void Player::seekToTime(MediaTime time) {
  if (!time.isNumeric()) return;
  double target = std::max(0.0, time.seconds());
  if (item_ && item_->duration().isNumeric()) target = std::min(target, item_->duration().seconds());
  anchorAt(target);
  reschedule();
  tellObservers();  // the time jumped
}

void Player::itemDidSettle() {
  const PlayerTimeControlStatus old =
      rate_ > 0 ? PlayerTimeControlStatus::WaitingToPlayAtSpecifiedRate : PlayerTimeControlStatus::Paused;
  anchorAt(itemSeconds_);
  reschedule();
  setTimeControlStatus(old);
  if (isAdvancing()) tellObservers();  // playback starts
}

Id Player::addPeriodicTimeObserver(MediaTime interval, std::function<void(MediaTime)> block) {
  Id token = kit::make<Object>();
  PeriodicObserver observer;
  observer.interval = interval.isNumeric() && interval.seconds() > 0 ? interval.seconds() : 1.0;
  observer.block = std::move(block);
  auto& stored = periodic_[token] = std::move(observer);
  scheduleObserver(token, stored);
  return token;
}

void Player::removeTimeObserver(const Id& token) {
  auto it = periodic_.find(token);
  if (it == periodic_.end()) return;
  if (it->second.timer) it->second.timer->invalidate();
  periodic_.erase(it);
}

void Player::reschedule() {
  if (endTimer_) endTimer_->invalidate();
  endTimer_.reset();
  for (auto& [token, observer] : periodic_) scheduleObserver(token, observer);
  if (!isAdvancing()) return;
  const MediaTime duration = item_->duration();
  if (!duration.isNumeric()) return;
  Weak<Player> weak = std::static_pointer_cast<Player>(weak_from_this().lock());
  endTimer_ = scheduleOnMain((duration.seconds() - seconds()) / rate_, [weak] {
    if (auto self = weak.lock()) self->reachEnd();
  });
}

void Player::scheduleObserver(const Id& token, PeriodicObserver& observer) {
  if (observer.timer) observer.timer->invalidate();
  observer.timer.reset();
  if (!isAdvancing()) return;
  const double now = seconds();
  const double next = (std::floor(now / observer.interval + 1e-9) + 1) * observer.interval;
  const MediaTime duration = item_->duration();
  // The end of the item tells the observers itself.
  if (duration.isNumeric() && next >= duration.seconds() - 1e-9) return;
  Weak<Player> weak = std::static_pointer_cast<Player>(weak_from_this().lock());
  std::weak_ptr<Object> weakToken = token;
  observer.timer = scheduleOnMain((next - now) / rate_, [weak, weakToken, next] {
    auto self = weak.lock();
    Id token = weakToken.lock();
    if (!self || !token) return;
    auto it = self->periodic_.find(token);
    if (it == self->periodic_.end()) return;
    // The reading at the tick is its exact time.
    self->anchorAt(next);
    auto block = it->second.block;
    self->scheduleObserver(token, it->second);
    if (block) block(MediaTime::withSeconds(next));
  });
}

void Player::tellObservers() {
  Ref<Object> keep = weak_from_this().lock();
  std::vector<std::function<void(MediaTime)>> blocks;
  for (auto& [token, observer] : periodic_) blocks.push_back(observer.block);
  const MediaTime now = currentTime();
  for (auto& block : blocks)
    if (block) block(now);
}

void Player::reachEnd() {
  if (!item_) return;
  Ref<Object> keep = weak_from_this().lock();
  Ref<PlayerItem> item = item_;
  const PlayerTimeControlStatus oldStatus = timeControlStatus();
  anchorAt(item->duration().seconds());
  const double old = rate_;
  if (actionAtItemEnd != PlayerActionAtItemEnd::None) rate_ = 0;
  reschedule();
  if (old != rate_) observers_.notify("rate", old, rate_);
  setTimeControlStatus(oldStatus);
  tellObservers();  // playback stopped
  NotificationCenter::defaultCenter()->postNotificationName(PlayerItemDidPlayToEndTimeNotification, item, nullptr);
}

// ---- The player's controller ---------------------------------------------------------------

PlayerViewController::~PlayerViewController() {
  if (player_ && timeToken_) player_->removeTimeObserver(timeToken_);
}

void PlayerViewController::setPlayer(Ref<Player> player) {
  if (player_ && timeToken_) player_->removeTimeObserver(timeToken_);
  timeToken_.reset();
  player_ = std::move(player);
  if (player_) {
    Weak<PlayerViewController> weak = std::static_pointer_cast<PlayerViewController>(weak_from_this().lock());
    timeToken_ = player_->addPeriodicTimeObserver(MediaTime::make(1, 1), [weak](MediaTime) {
      if (auto self = weak.lock()) self->updateTimeLabel();
    });
    // The duration is known once the item is ready.
    if (auto item = player_->currentItem())
      item->addObserver(timeToken_, "status", [weak](const KeyValueChange&) {
        if (auto self = weak.lock()) self->updateTimeLabel();
      });
  }
  updateTimeLabel();
}

void PlayerViewController::setShowsPlaybackControls(bool v) {
  showsControls_ = v;
  if (timeLabel_) timeLabel_->setHidden(!v);
}

void PlayerViewController::loadView() {
  auto view = View::make(Screen::main()->bounds());
  view->setBackgroundColor(Color::blackColor());
  timeLabel_ = Label::make();
  timeLabel_->setTextColor(Color::whiteColor());
  timeLabel_->setFont(Font::systemFont(13));
  timeLabel_->setTextAlignment(TextAlignment::Center);
  timeLabel_->setHidden(!showsControls_);
  view->addSubview(timeLabel_);
  setView(view);
  updateTimeLabel();
}

void PlayerViewController::viewDidLayoutSubviews() {
  const Rect b = view()->bounds();
  timeLabel_->setFrame(Rect{0, b.height() - 30, b.width(), 20});
}

void PlayerViewController::updateTimeLabel() {
  if (!timeLabel_) return;
  auto text = [](MediaTime t) {
    if (!t.isNumeric()) return std::string("--:--");
    const long s = static_cast<long>(std::floor(t.seconds()));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02ld:%02ld", s / 60, s % 60);
    return std::string(buffer);
  };
  if (!player_ || !player_->currentItem()) {
    timeLabel_->setText("");
    return;
  }
  timeLabel_->setText(text(player_->currentTime()) + " / " + text(player_->currentItem()->duration()));
}

// ---- Audio session ---------------------------------------------------------------------------

Ref<AudioSession> AudioSession::sharedInstance() {
  static NoDestructor<Ref<AudioSession>> shared(kit::make<AudioSession>());
  return *shared;
}

bool AudioSession::setCategory(const std::string& category, Ref<Error>* error) {
  if (category != AudioSessionCategoryAmbient && category != AudioSessionCategorySoloAmbient &&
      category != AudioSessionCategoryPlayback && category != "AVAudioSessionCategoryRecord" &&
      category != "AVAudioSessionCategoryPlayAndRecord" && category != "AVAudioSessionCategoryMultiRoute") {
    if (error) *error = Error::make(MediaErrorDomain, MediaErrorUnknown, dict({{LocalizedDescriptionKey, "Unknown category"}}));
    return false;
  }
  category_ = category;
  return true;
}

bool AudioSession::setActive(bool active, Ref<Error>*) {
  active_ = active;
  return true;
}

}  // namespace kit
