// The video player stand-in: kit::Player, kit::PlayerItem and
// kit::PlayerViewController over kit::Clock, with the platform's media
// times. No picture is decoded; what a video is to its player is kept: an
// item loads its address for real (over kit networking, reading the
// duration a server announces in "X-Content-Duration", or from a given
// duration), becomes ready or fails, and plays at a rate on the clock.
// Periodic time observers run on the main thread at every multiple of their
// interval of playback time and whenever playback starts or stops; the end
// of the item stops the player and posts the end-of-play notification.
// Tests drive it with a virtual clock.
//
//   auto player = kit::Player::make(kit::URL::URLWithString(videoURL));
//   auto token = player->addPeriodicTimeObserver(kit::MediaTime::make(1, 1), [](kit::MediaTime now) { ... });
//   player->play();
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/dispatch/timer.h"
#include "kit/foundation/error.h"
#include "kit/foundation/url.h"
#include "kit/ui/key_value_observing.h"
#include "kit/ui/label.h"
#include "kit/ui/view_controller.h"

namespace kit {

class URLSession;

// A rational time (the platform's media time): value / timescale seconds,
// or indefinite, or invalid.
struct MediaTime {
  int64_t value = 0;
  int32_t timescale = 0;
  enum Flags : uint32_t { Valid = 1, Indefinite = 1u << 4 };
  uint32_t flags = 0;

  static MediaTime make(int64_t value, int32_t timescale) {
    return timescale > 0 ? MediaTime{value, timescale, Valid} : invalid();
  }
  // The nearest time in units of 1/600 s (the platform's video timescale).
  static MediaTime withSeconds(double seconds, int32_t timescale = 600);
  static MediaTime invalid() { return {}; }
  static MediaTime indefinite() { return {0, 0, Valid | Indefinite}; }
  static MediaTime zero() { return make(0, 1); }
  bool isValid() const { return flags & Valid; }
  bool isIndefinite() const { return (flags & Indefinite) != 0; }
  bool isNumeric() const { return isValid() && !isIndefinite(); }
  // Seconds; NaN for an invalid or indefinite time.
  double seconds() const;
};
// CMTimeGetSeconds.
inline double mediaTimeSeconds(MediaTime t) { return t.seconds(); }

// Posted with the item as object when an item played to its end.
inline constexpr const char* PlayerItemDidPlayToEndTimeNotification = "AVPlayerItemDidPlayToEndTimeNotification";
// The media error domain and its unknown-error code.
inline constexpr const char* MediaErrorDomain = "AVFoundationErrorDomain";
inline constexpr long MediaErrorUnknown = -11800;
inline constexpr const char* LayerVideoGravityResizeAspect = "AVLayerVideoGravityResizeAspect";
inline constexpr const char* LayerVideoGravityResizeAspectFill = "AVLayerVideoGravityResizeAspectFill";
inline constexpr const char* LayerVideoGravityResize = "AVLayerVideoGravityResize";

enum class PlayerItemStatus { Unknown = 0, ReadyToPlay = 1, Failed = 2 };
enum class PlayerStatus { Unknown = 0, ReadyToPlay = 1, Failed = 2 };
enum class PlayerTimeControlStatus { Paused = 0, WaitingToPlayAtSpecifiedRate = 1, Playing = 2 };
enum class PlayerActionAtItemEnd { Advance = 0, Pause = 1, None = 2 };

class PlayerItem : public Object {
 public:
  // An item that loads its address when a player takes it.
  static Ref<PlayerItem> make(Ref<kit::URL> url);
  // An item whose duration is known; it becomes ready without a fetch.
  static Ref<PlayerItem> withDuration(Ref<kit::URL> url, MediaTime duration);
  ~PlayerItem() override;

  const Ref<kit::URL>& URL() const { return url_; }
  PlayerItemStatus status() const { return status_; }
  const Ref<Error>& error() const { return error_; }
  // Indefinite until the item is ready (and when no duration is known).
  MediaTime duration() const { return duration_; }
  // The time of the item's player (zero without one).
  MediaTime currentTime() const;

  // Observation of "status" (long).
  void addObserver(const Id& observer, const std::string& keyPath, KeyValueHandler handler) {
    observers_.add(observer, keyPath, std::move(handler));
  }
  void removeObserver(const Object* observer, const std::string& keyPath) { observers_.remove(observer, keyPath); }

  // ---- Used by the player
  void load(std::function<void()> whenSettled);
  class Player* player() const { return player_; }
  void setPlayer(class Player* player) { player_ = player; }

  // Use the factories.
  explicit PlayerItem(Ref<kit::URL> url) : url_(std::move(url)) {}

 private:
  void settle(PlayerItemStatus status, MediaTime duration, Ref<Error> error);

  Ref<kit::URL> url_;
  PlayerItemStatus status_ = PlayerItemStatus::Unknown;
  Ref<Error> error_;
  MediaTime duration_ = MediaTime::indefinite();
  std::optional<MediaTime> knownDuration_;
  bool loading_ = false;
  std::vector<std::function<void()>> waiting_;
  Ref<URLSession> session_;
  class Player* player_ = nullptr;
  KeyValueObservers observers_;
};

class Player : public Object {
 public:
  static Ref<Player> make(Ref<URL> url) { return withPlayerItem(PlayerItem::make(std::move(url))); }
  static Ref<Player> withPlayerItem(Ref<PlayerItem> item);
  Player() = default;
  ~Player() override;

  const Ref<PlayerItem>& currentItem() const { return item_; }
  void replaceCurrentItem(Ref<PlayerItem> item);
  PlayerStatus status() const;

  void play() { setRate(1); }
  void pause() { setRate(0); }
  double rate() const { return rate_; }
  void setRate(double rate);
  PlayerTimeControlStatus timeControlStatus() const;
  PlayerActionAtItemEnd actionAtItemEnd = PlayerActionAtItemEnd::Pause;
  bool isMuted() const { return muted_; }
  void setMuted(bool v) { muted_ = v; }
  double volume() const { return volume_; }
  void setVolume(double v) { volume_ = v; }

  MediaTime currentTime() const;
  void seekToTime(MediaTime time);

  // Calls `block` on the main thread at every multiple of `interval` of
  // playback time and when playback starts or stops. Returns the token
  // removeTimeObserver takes.
  Id addPeriodicTimeObserver(MediaTime interval, std::function<void(MediaTime)> block);
  void removeTimeObserver(const Id& token);

  // Observation of "rate" (double) and "timeControlStatus" (long).
  void addObserver(const Id& observer, const std::string& keyPath, KeyValueHandler handler) {
    observers_.add(observer, keyPath, std::move(handler));
  }
  void removeObserver(const Object* observer, const std::string& keyPath) { observers_.remove(observer, keyPath); }

  // ---- Used by the item
  void itemDidSettle();

 private:
  struct PeriodicObserver {
    double interval;
    std::function<void(MediaTime)> block;
    Ref<Timer> timer;
  };
  bool isAdvancing() const;
  double seconds() const;
  // Re-anchors the clock reading at an exact item time.
  void anchorAt(double itemSeconds);
  void reschedule();
  void scheduleObserver(const Id& token, PeriodicObserver& observer);
  void tellObservers();
  void reachEnd();
  void setTimeControlStatus(PlayerTimeControlStatus old);

  Ref<PlayerItem> item_;
  double rate_ = 0;
  double itemSeconds_ = 0;  // at anchorClock_
  double anchorClock_ = 0;
  bool muted_ = false;
  double volume_ = 1;
  std::map<Id, PeriodicObserver> periodic_;
  Ref<Timer> endTimer_;
  KeyValueObservers observers_;
};

class PlayerViewController : public ViewController {
 public:
  static Ref<PlayerViewController> make() { return kit::make<PlayerViewController>(); }
  ~PlayerViewController() override;

  const Ref<Player>& player() const { return player_; }
  void setPlayer(Ref<Player> player);
  bool showsPlaybackControls() const { return showsControls_; }
  void setShowsPlaybackControls(bool v);
  const std::string& videoGravity() const { return gravity_; }
  void setVideoGravity(std::string gravity) { gravity_ = std::move(gravity); }
  // The time label shown with the playback controls ("00:05 / 00:20").
  const Ref<Label>& timeLabel() const { return timeLabel_; }

  void loadView() override;
  void viewDidLayoutSubviews() override;

 private:
  void updateTimeLabel();
  Ref<Player> player_;
  Id timeToken_;
  bool showsControls_ = true;
  std::string gravity_ = LayerVideoGravityResizeAspect;
  Ref<Label> timeLabel_;
};

// The shared audio session (its category is kept for those who read it).
inline constexpr const char* AudioSessionCategoryAmbient = "AVAudioSessionCategoryAmbient";
inline constexpr const char* AudioSessionCategorySoloAmbient = "AVAudioSessionCategorySoloAmbient";
inline constexpr const char* AudioSessionCategoryPlayback = "AVAudioSessionCategoryPlayback";

class AudioSession : public Object {
 public:
  static Ref<AudioSession> sharedInstance();
  const std::string& category() const { return category_; }
  // False (with an error) for an unknown category.
  bool setCategory(const std::string& category, Ref<Error>* error = nullptr);
  bool isActive() const { return active_; }
  bool setActive(bool active, Ref<Error>* error = nullptr);

 private:
  std::string category_ = AudioSessionCategorySoloAmbient;
  bool active_ = false;
};

}  // namespace kit
