// TolmixSDK: the one entry point of the platform SDK, for the channel's
// light channel. It opens the platform's pay sheet for the game's orders,
// reports roles and logouts through the login API, installs the shared URL
// cache at launch, routes the payment vendor's return URL to the pay plug,
// and answers the supported orientations from the main bundle. It keeps no
// state of its own: the role report writes "roleInfo" to the user defaults
// for the login API to send.
//
// Main thread.
//
//   TolmixSDK::loadToPayVCWithroleid(role, str("6"), server, name, desc, orderId,
//       [](auto message, auto money) { ... }, [](auto message, long code, auto money) { ... });
#pragma once

#include <functional>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"

namespace kit {
class Application;
class Window;
}  // namespace kit

class TolmixSDK {
 public:
  using Text = kit::Ref<kit::String>;
  using PaySuccess = std::function<void(const Text& message, const Text& money)>;
  using PayFailure = std::function<void(const Text& message, long code, const Text& money)>;
  // (login time, user name, sign, real-name status)
  using LoginSuccess = std::function<void(const Text& loginTime, const Text& userName, const Text& sign,
                                          const Text& realName)>;
  // (code, message): -9 when the player switched account in the user centre.
  using LoginFailure = std::function<void(long code, const Text& message)>;
  // 1 reported, 0 refused or not delivered, 2 a required field was empty.
  using RoleResult = std::function<void(long result)>;

  static constexpr uint64_t kCacheMemoryCapacity = 4 * 1024 * 1024;
  static constexpr uint64_t kCacheDiskCapacity = 32 * 1024 * 1024;
  static constexpr const char* kCachePath = "nsurlcache";
  static constexpr const char* kRoleInfoKey = "roleInfo";
  static constexpr const char* kReturnHost = "safepay";

  // Installs the process's shared URL cache.
  static void didFinishLaunching();
  // Opens the login window. Its success passes through unchanged; its
  // failure (message, code text) reaches `failed` as (code as an integer,
  // 0 when it is none; message). The floating ball keeps that failure
  // block and calls it with "注销", "-9" on a switch of account.
  static void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed);
  // Opens the pay sheet for the order; its failure code text becomes an
  // integer (0 when it is none).
  static void loadToPayVCWithroleid(const Text& roleid, const Text& money, const Text& serverid,
                                    const Text& productName, const Text& productDesc, const Text& attach,
                                    PaySuccess success, PayFailure faild);
  // Hides the floating ball and stops its play-time timer, reports the
  // logout (without waiting for the answer) and makes the next login window
  // show the form with the saved name.
  static void LoginOut();
  // Stores the role as "roleInfo" and reports it (see RoleResult).
  static void SetUserInfoDataWithRoleId(const Text& roleId, const Text& roleName, const Text& roleLevel,
                                        const Text& zoneId, const Text& zoneName, const Text& attach,
                                        RoleResult block);
  // The three open-URL forms: a payment return URL
  // ("TolmixWalletPayScheme<game id>://safepay/...") goes to the payment
  // vendor, whose result goes to the pay plug; any other URL is ignored.
  static void handleOpenURL(kit::Application& application, const std::string& url);
  static void openURL(kit::Application& application, const std::string& url, const std::string& sourceApplication,
                      const kit::Id& annotation);
  static void openURL(kit::Application& application, const std::string& url,
                      const kit::Ref<kit::Dictionary>& options);
  // Portrait and landscape (26), portrait (2) or landscape (24), from the
  // main bundle's "UISupportedInterfaceOrientations".
  static unsigned supportedInterfaceOrientationsForWindow(kit::Application& application, kit::Window* window);

 private:
  static void routeReturnURL(const std::string& url);
};
