// kit::Application: the shared application. It keeps the delegate, lists
// the visible windows in level order and knows the key window, opens URLs
// (a log of what was opened and a configurable set of installed schemes),
// keeps the status-bar orientation and background tasks, and delivers the
// application events: tests fire each one through the hooks below, the
// same way the system would.
//
// Everything but the background tasks belongs to the main thread: the
// methods that change the application check it (KIT_CHECK_MAIN_THREAD).
//
//   auto& app = *kit::Application::shared();
//   app.setDelegate(delegate);
//   app.launch();                 // didFinishLaunching, main interface
//   app.enterBackground();        // resign active, did enter background
//   EXPECT_EQ(app.openedURLs().back(), "weixin://pay?x=1");
#pragma once

#include "kit/foundation/app_notifications.h"

#include <mutex>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/dictionary.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/responder.h"
#include "kit/ui/ui_types.h"

namespace kit {

class Application;
class Window;

// The application's delegate. Every method has a default body; the URL
// methods answer nullopt by default, meaning "not implemented", so that the
// application picks the form the delegate implements, as the platform does.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool willFinishLaunching(Application&, const Ref<Dictionary>& /*options*/) { return true; }
  virtual bool didFinishLaunching(Application&, const Ref<Dictionary>& /*options*/) { return true; }
  virtual std::optional<bool> openURL(Application&, const std::string& /*url*/, const Ref<Dictionary>& /*options*/) {
    return std::nullopt;
  }
  virtual std::optional<bool> openURL(Application&, const std::string& /*url*/, const std::string& /*sourceApp*/,
                                      const Id& /*annotation*/) {
    return std::nullopt;
  }
  virtual std::optional<bool> handleOpenURL(Application&, const std::string& /*url*/) { return std::nullopt; }
  virtual void willResignActive(Application&) {}
  virtual void didEnterBackground(Application&) {}
  virtual void willEnterForeground(Application&) {}
  virtual void didBecomeActive(Application&) {}
  virtual void willTerminate(Application&) {}
  virtual void didReceiveMemoryWarning(Application&) {}
  virtual std::optional<unsigned> supportedInterfaceOrientations(Application&, Window*) { return std::nullopt; }
  // The delegate's window, when it keeps one.
  virtual Ref<Window> window() const { return nullptr; }
  virtual void setWindow(Ref<Window>) {}
};

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };

// The platform's application notification names (memory warning, background
// and terminate come from kit/foundation/app_notifications.h).
inline constexpr const char* ApplicationDidFinishLaunchingNotification = "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* ApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* ApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* ApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* ApplicationDidChangeStatusBarOrientationNotification =
    "UIApplicationDidChangeStatusBarOrientationNotification";
inline constexpr const char* KeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* KeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline constexpr const char* KeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* KeyboardDidHideNotification = "UIKeyboardDidHideNotification";
inline constexpr const char* KeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* KeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";

using BackgroundTaskIdentifier = BackgroundTaskId;
inline constexpr BackgroundTaskIdentifier InvalidBackgroundTask = InvalidBackgroundTaskId;

class Application : public Responder {
 public:
  static Ref<Application> shared();

  void setDelegate(Ref<ApplicationDelegate> delegate) { KIT_CHECK_MAIN_THREAD(); delegate_ = std::move(delegate); }
  const Ref<ApplicationDelegate>& delegate() const { return delegate_; }
  ApplicationState applicationState() const { return state_; }

  // ---- Windows
  // The visible windows, lowest level first (windows of one level in the
  // order they were shown).
  std::vector<Ref<Window>> windows() const;
  Ref<Window> keyWindow() const;

  // ---- Orientation and status bar
  InterfaceOrientation statusBarOrientation() const;
  void setStatusBarOrientation(InterfaceOrientation orientation);
  bool isStatusBarHidden() const { return statusBarHidden_; }
  void setStatusBarHidden(bool v) { KIT_CHECK_MAIN_THREAD(); statusBarHidden_ = v; }
  // What the delegate allows for a window, else the configured default.
  unsigned supportedInterfaceOrientations(Window* window);
  void setDefaultSupportedOrientations(unsigned mask) { KIT_CHECK_MAIN_THREAD(); defaultOrientations_ = mask; }
  bool isNetworkActivityIndicatorVisible() const { return networkIndicator_; }
  void setNetworkActivityIndicatorVisible(bool v) { KIT_CHECK_MAIN_THREAD(); networkIndicator_ = v; }
  bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
  void setIdleTimerDisabled(bool v) { KIT_CHECK_MAIN_THREAD(); idleTimerDisabled_ = v; }

  // ---- URLs
  // Whether an installed application (or the system) handles the scheme.
  bool canOpenURL(const std::string& url) const;
  // Records the URL and reports, on the next main run loop pass, whether
  // it could be opened.
  void openURL(const std::string& url, const Ref<Dictionary>& options = nullptr,
               std::function<void(bool)> completion = {});
  // The older synchronous form.
  bool openURL(const std::string& url, bool);
  const std::vector<std::string>& openedURLs() const { return opened_; }
  // The folder that stands for the photo album: pictures saved "to the
  // album" are written here. Default "<home>/Pictures"; any thread may ask.
  std::string picturesDirectory() const;
  void setPicturesDirectory(std::string path);
  void clearOpenedURLs() { KIT_CHECK_MAIN_THREAD(); opened_.clear(); }
  // Schemes that count as installed ("http", "https", "tel", "mailto" and
  // "sms" by default).
  void setInstalledSchemes(std::set<std::string> schemes) { KIT_CHECK_MAIN_THREAD(); schemes_ = std::move(schemes); }
  void addInstalledScheme(const std::string& scheme) { KIT_CHECK_MAIN_THREAD(); schemes_.insert(scheme); }
  // An installed application that receives the URLs of its scheme (a
  // stand-in for another app, such as a wallet): the scheme counts as
  // installed, and every URL opened with it is recorded and then handed to
  // `receiver` on a later main run loop pass, after the opener's completion.
  // An empty receiver uninstalls the application and its scheme.
  void installApplication(const std::string& scheme, std::function<void(const std::string& url)> receiver);
  // Where an opened URL goes when no installed application receives its
  // scheme (a desktop's own handler): handed over on a later main run loop
  // pass, as to an installed application. None by default.
  void setOutsideURLHandler(std::function<void(const std::string& url)> handler) {
    KIT_CHECK_MAIN_THREAD();
    outsideHandler_ = std::move(handler);
  }

  // ---- Background tasks
  BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler,
                                               const std::string& name = "");
  void endBackgroundTask(BackgroundTaskIdentifier task);
  size_t backgroundTaskCount() const {
    std::lock_guard lock(tasksMutex_);
    return tasks_.size();
  }
  double backgroundTimeRemaining() const;
  // Runs the expiration handlers of every open task (the system's time-out).
  void expireBackgroundTasks();

  // ---- Events, fired by the system or by a test
  // willFinishLaunching, didFinishLaunching and, when a main interface has
  // been set, its window shown as key. Returns the delegate's answer.
  bool launch(const Ref<Dictionary>& options = nullptr);
  // The main interface: a factory of the initial window's root controller.
  void setMainInterface(std::function<Ref<class ViewController>()> factory) {
    KIT_CHECK_MAIN_THREAD();
    mainInterface_ = std::move(factory);
  }
  // An URL from another application: the delegate's newest implemented
  // form is called, as the platform chooses it.
  bool openURLFromOutside(const std::string& url, const std::string& sourceApplication = "",
                          const Ref<Dictionary>& options = nullptr);
  void resignActive();
  void becomeActive();
  void enterBackground();
  void enterForeground();
  void terminate();
  void receiveMemoryWarning();
  // Keyboard appearance with its end frame (posted as notifications).
  void showKeyboard(const Rect& endFrame, double duration = 0.25);
  void hideKeyboard(double duration = 0.25);
  bool isKeyboardVisible() const { return keyboardVisible_; }

  // Posts an application notification (object: the application).
  void postNotification(const std::string& name, const Ref<Dictionary>& userInfo = nullptr);
  // Every application notification posted, in order (for tests).
  const std::vector<std::string>& postedNotifications() const { return posted_; }

  // ---- Used by windows and profiles
  void windowVisibilityChanged(Window* window);
  void windowLevelChanged(Window* window);
  void makeKey(Window* window);
  void screenDidChange(Size oldScreen);
  // Forgets windows, URLs, tasks, orientation and the delegate (tests).
  void reset();
  // Takes down what the application shows, before the process ends, in
  // one order: the visible windows from the front-most back (the main
  // window last), each losing its views from the top down, then its root
  // view controller (whose view lies at the bottom), before it is hidden;
  // then the main window and the delegate are let go. A window's owner keeps the emptied window. The
  // application itself is never destroyed, so that no view or window is
  // destroyed by the process's exit handlers. Main thread.
  void tearDown();

 private:
  struct WindowEntry {
    Weak<Window> window;
    Window* pointer;
    uint64_t order;
  };
  struct Task {
    BackgroundTaskIdentifier id;
    std::string name;
    std::function<void()> expiration;
  };
  void prune() const;
  // Hands an opened URL to the installed application of its scheme.
  void handOver(const std::string& url);

  Ref<ApplicationDelegate> delegate_;
  ApplicationState state_ = ApplicationState::Inactive;
  mutable std::vector<WindowEntry> windows_;
  Weak<Window> key_;
  uint64_t nextOrder_ = 1;
  std::optional<InterfaceOrientation> statusBarOrientation_;
  bool statusBarHidden_ = false;
  unsigned defaultOrientations_ = OrientationMaskAllButUpsideDown;
  bool networkIndicator_ = false;
  bool idleTimerDisabled_ = false;
  std::vector<std::string> opened_;
  std::set<std::string> schemes_{"http", "https", "tel", "mailto", "sms"};
  std::map<std::string, std::function<void(const std::string&)>> receivers_;  // by lower-case scheme
  std::function<void(const std::string&)> outsideHandler_;
  mutable std::mutex picturesMutex_;
  std::string picturesDirectory_;
  mutable std::mutex tasksMutex_;  // background tasks may be asked for from any thread
  std::vector<Task> tasks_;
  BackgroundTaskIdentifier nextTask_ = 1;
  std::function<Ref<ViewController>()> mainInterface_;
  Ref<Window> mainWindow_;
  bool keyboardVisible_ = false;
  std::vector<std::string> posted_;
};

}  // namespace kit
