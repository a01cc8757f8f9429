// The shared application: windows, URLs, background tasks and events.
#include "kit/ui/application.h"

#include <algorithm>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/values.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace kit {

Ref<Application> Application::shared() {
  static const NoDestructor<Ref<Application>> app([] {
    auto made = kit::make<Application>();
    // Code below the interface layer asks the application for background time.
    Weak<Application> weak = made;
    setBackgroundTaskHandler({
        [weak](std::function<void()> expiration) {
          auto self = weak.lock();
          return self ? self->beginBackgroundTask(std::move(expiration), "") : InvalidBackgroundTaskId;
        },
        [weak](BackgroundTaskId task) {
          if (auto self = weak.lock()) self->endBackgroundTask(task);
        },
    });
    return made;
  }());
  return *app;
}

// ---- Windows ------------------------------------------------------------------

void Application::prune() const {
  std::erase_if(windows_, [](const WindowEntry& e) { return e.window.expired(); });
}

std::vector<Ref<Window>> Application::windows() const {
  prune();
  std::vector<WindowEntry> sorted = windows_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const WindowEntry& a, const WindowEntry& b) {
    const double la = a.pointer->windowLevel(), lb = b.pointer->windowLevel();
    if (la != lb) return la < lb;
    return a.order < b.order;
  });
  std::vector<Ref<Window>> out;
  for (const auto& e : sorted)
    if (auto w = e.window.lock()) out.push_back(w);
  return out;
}

Ref<Window> Application::keyWindow() const {
  auto key = key_.lock();
  if (key && !key->isHidden()) return key;
  return nullptr;
}

void Application::windowVisibilityChanged(Window* window) {
  KIT_CHECK_MAIN_THREAD();
  prune();
  auto it = std::find_if(windows_.begin(), windows_.end(), [&](const WindowEntry& e) { return e.pointer == window; });
  if (window->isHidden()) {
    if (it != windows_.end()) windows_.erase(it);
    if (key_.lock().get() == window) {
      // The key role passes to the front-most visible window of the normal level.
      key_.reset();
      window->resignKeyWindow();
      auto list = windows();
      for (auto w = list.rbegin(); w != list.rend(); ++w) {
        if ((*w)->windowLevel() == WindowLevelNormal) {
          makeKey(w->get());
          break;
        }
      }
    }
    return;
  }
  if (it == windows_.end()) {
    windows_.push_back({std::static_pointer_cast<Window>(window->weak_from_this().lock()), window, nextOrder_++});
  }
}

void Application::windowLevelChanged(Window*) {
  KIT_CHECK_MAIN_THREAD();
}

void Application::makeKey(Window* window) {
  KIT_CHECK_MAIN_THREAD();
  auto old = key_.lock();
  if (old.get() == window) return;
  if (old) old->resignKeyWindow();
  key_ = std::static_pointer_cast<Window>(window->weak_from_this().lock());
  window->becomeKeyWindow();
}

void Application::screenDidChange(Size oldScreen) {
  KIT_CHECK_MAIN_THREAD();
  for (auto& w : windows()) w->screenDidChange(oldScreen);
  if (mainWindow_ && mainWindow_->isHidden()) mainWindow_->screenDidChange(oldScreen);
}

// ---- Orientation ------------------------------------------------------------

InterfaceOrientation Application::statusBarOrientation() const {
  return statusBarOrientation_ ? *statusBarOrientation_ : DeviceProfile::current().orientation();
}

void Application::setStatusBarOrientation(InterfaceOrientation orientation) {
  KIT_CHECK_MAIN_THREAD();
  const InterfaceOrientation old = statusBarOrientation();
  statusBarOrientation_ = orientation;
  if (old != orientation) postNotification(ApplicationDidChangeStatusBarOrientationNotification);
}

unsigned Application::supportedInterfaceOrientations(Window* window) {
  if (delegate_)
    if (auto mask = delegate_->supportedInterfaceOrientations(*this, window)) return *mask;
  return defaultOrientations_;
}

// ---- URLs ---------------------------------------------------------------------

namespace {
std::string schemeOf(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return "";
  std::string scheme = url.substr(0, colon);
  for (char c : scheme)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) return "";
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return scheme;
}
}  // namespace

bool Application::canOpenURL(const std::string& url) const {
  const std::string scheme = schemeOf(url);
  return !scheme.empty() && schemes_.count(scheme) > 0;
}

std::string Application::picturesDirectory() const {
  std::lock_guard lock(picturesMutex_);
  if (!picturesDirectory_.empty()) return picturesDirectory_;
  auto home = homeDirectory();
  return (home ? home->utf8() : std::string()) + "/Pictures";
}

void Application::setPicturesDirectory(std::string path) {
  std::lock_guard lock(picturesMutex_);
  picturesDirectory_ = std::move(path);
}

void Application::openURL(const std::string& url, const Ref<Dictionary>&, std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  const bool ok = canOpenURL(url);
  if (ok) opened_.push_back(url);
  if (completion) runOnMainSoon([completion = std::move(completion), ok] { completion(ok); });
  if (ok) handOver(url);
}

bool Application::openURL(const std::string& url, bool) {
  KIT_CHECK_MAIN_THREAD();
  const bool ok = canOpenURL(url);
  if (ok) opened_.push_back(url);
  if (ok) handOver(url);
  return ok;
}

void Application::installApplication(const std::string& scheme,
                                     std::function<void(const std::string& url)> receiver) {
  KIT_CHECK_MAIN_THREAD();
  std::string key = scheme;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
  if (receiver) {
    schemes_.insert(key);
    receivers_[key] = std::move(receiver);
  } else {
    schemes_.erase(key);
    receivers_.erase(key);
  }
}

void Application::handOver(const std::string& url) {
  auto found = receivers_.find(schemeOf(url));
  if (found != receivers_.end()) {
    runOnMainSoon([receiver = found->second, url] { receiver(url); });
  } else if (outsideHandler_) {
    runOnMainSoon([receiver = outsideHandler_, url] { receiver(url); });
  }
}

// ---- Background tasks ---------------------------------------------------------

BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler,
                                                          const std::string& name) {
  std::lock_guard lock(tasksMutex_);
  const BackgroundTaskIdentifier id = nextTask_++;
  tasks_.push_back({id, name, std::move(expirationHandler)});
  return id;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier task) {
  std::lock_guard lock(tasksMutex_);
  std::erase_if(tasks_, [&](const Task& t) { return t.id == task; });
}

double Application::backgroundTimeRemaining() const {
  return state_ == ApplicationState::Background ? 180.0 : 1.7976931348623157e308;
}

void Application::expireBackgroundTasks() {
  std::vector<Task> open;
  {
    std::lock_guard lock(tasksMutex_);
    open = tasks_;
  }
  for (auto& t : open)
    if (t.expiration) t.expiration();
}

// ---- Events -------------------------------------------------------------------

bool Application::launch(const Ref<Dictionary>& options) {
  KIT_CHECK_MAIN_THREAD();
  bool result = true;
  if (delegate_) {
    result = delegate_->willFinishLaunching(*this, options) && result;
    result = delegate_->didFinishLaunching(*this, options) && result;
  }
  if (mainInterface_ && !mainWindow_) {
    if (auto root = mainInterface_()) {
      mainWindow_ = Window::make();
      mainWindow_->setRootViewController(root);
      if (delegate_) delegate_->setWindow(mainWindow_);
      mainWindow_->makeKeyAndVisible();
    }
  }
  postNotification(ApplicationDidFinishLaunchingNotification);
  becomeActive();
  return result;
}

bool Application::openURLFromOutside(const std::string& url, const std::string& sourceApplication,
                                     const Ref<Dictionary>& options) {
  KIT_CHECK_MAIN_THREAD();
  if (!delegate_) return false;
  if (auto r = delegate_->openURL(*this, url, options)) return *r;
  if (auto r = delegate_->openURL(*this, url, sourceApplication, nullptr)) return *r;
  if (auto r = delegate_->handleOpenURL(*this, url)) return *r;
  return false;
}

void Application::resignActive() {
  KIT_CHECK_MAIN_THREAD();
  if (state_ != ApplicationState::Active) return;
  state_ = ApplicationState::Inactive;
  if (delegate_) delegate_->willResignActive(*this);
  postNotification(ApplicationWillResignActiveNotification);
}

void Application::becomeActive() {
  KIT_CHECK_MAIN_THREAD();
  if (state_ == ApplicationState::Active) return;
  state_ = ApplicationState::Active;
  if (delegate_) delegate_->didBecomeActive(*this);
  postNotification(ApplicationDidBecomeActiveNotification);
}

void Application::enterBackground() {
  KIT_CHECK_MAIN_THREAD();
  resignActive();
  if (state_ == ApplicationState::Background) return;
  state_ = ApplicationState::Background;
  if (delegate_) delegate_->didEnterBackground(*this);
  postNotification(ApplicationDidEnterBackgroundNotification);
}

void Application::enterForeground() {
  KIT_CHECK_MAIN_THREAD();
  if (state_ != ApplicationState::Background) return;
  state_ = ApplicationState::Inactive;
  if (delegate_) delegate_->willEnterForeground(*this);
  postNotification(ApplicationWillEnterForegroundNotification);
  becomeActive();
}

void Application::terminate() {
  KIT_CHECK_MAIN_THREAD();
  if (delegate_) delegate_->willTerminate(*this);
  postNotification(ApplicationWillTerminateNotification);
}

void Application::receiveMemoryWarning() {
  KIT_CHECK_MAIN_THREAD();
  if (delegate_) delegate_->didReceiveMemoryWarning(*this);
  postNotification(ApplicationDidReceiveMemoryWarningNotification);
  for (auto& w : windows())
    if (auto root = w->rootViewController()) root->receiveMemoryWarning();
}

// The keyboard's end frame travels as the platform prints rectangles
// ("{{0, 451}, {375, 216}}"), its duration as a number.
void Application::showKeyboard(const Rect& endFrame, double duration) {
  KIT_CHECK_MAIN_THREAD();
  keyboardVisible_ = true;
  auto info = dict({{KeyboardFrameEndUserInfoKey, toString(endFrame)}, {KeyboardAnimationDurationUserInfoKey, duration}});
  postNotification(KeyboardWillShowNotification, info);
  postNotification(KeyboardDidShowNotification, info);
}

void Application::hideKeyboard(double duration) {
  KIT_CHECK_MAIN_THREAD();
  keyboardVisible_ = false;
  auto info = dict({{KeyboardAnimationDurationUserInfoKey, duration}});
  postNotification(KeyboardWillHideNotification, info);
  postNotification(KeyboardDidHideNotification, info);
}

void Application::postNotification(const std::string& name, const Ref<Dictionary>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  posted_.push_back(name);
  NotificationCenter::defaultCenter()->postNotificationName(name, weak_from_this().lock(), userInfo);
}

void Application::tearDown() {
  KIT_CHECK_MAIN_THREAD();
  std::vector<Ref<Window>> shown = windows();
  std::reverse(shown.begin(), shown.end());
  if (mainWindow_ && std::find(shown.begin(), shown.end(), mainWindow_) == shown.end()) shown.push_back(mainWindow_);
  // The main window goes last, whatever its level.
  std::stable_partition(shown.begin(), shown.end(), [&](const Ref<Window>& w) { return w != mainWindow_; });
  for (const Ref<Window>& window : shown) {
    // The views from the top down; the root controller's view lies at the
    // bottom and goes with its controller.
    while (!window->subviews().empty()) {
      Ref<View> top = window->subviews().back();
      top->removeFromSuperview();
    }
    window->setRootViewController(nullptr);
    window->setHidden(true);
  }
  key_.reset();
  windows_.clear();
  mainWindow_.reset();
  mainInterface_ = nullptr;
  delegate_.reset();
}

void Application::reset() {
  KIT_CHECK_MAIN_THREAD();
  windows_.clear();
  key_.reset();
  mainWindow_.reset();
  delegate_.reset();
  opened_.clear();
  outsideHandler_ = nullptr;
  {
    std::lock_guard lock(tasksMutex_);
    tasks_.clear();
  }
  posted_.clear();
  statusBarOrientation_.reset();
  statusBarHidden_ = false;
  state_ = ApplicationState::Inactive;
  schemes_ = {"http", "https", "tel", "mailto", "sms"};
  receivers_.clear();
  mainInterface_ = nullptr;
  keyboardVisible_ = false;
}

}  // namespace kit
