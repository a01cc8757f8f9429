// The platform's API as a service on the local platform API server: every
// account and pay endpoint the client calls, with the state behind them
// (accounts and passwords, SMS codes, real-name state, the notice,
// sub-accounts, coupons, pay ways, platform-coin and voucher balances,
// orders and whether each is paid), and the platform's web pages on the
// same host (PlatformWebPages).
//
// Each endpoint reads its request in its client's form and answers in it:
//   scrambled gzip (NetWorkManager)    every endpoint not named below
//   scrambled in, plain gzip out (CXRNetTool)
//                                      "login/iosxiaohao", "login/iosaddxiaohao"
//   form in, JSON out (CXRSdpNetTool)  "Sdkmsg/indexios", "WalletPayapp/apppayios",
//                                      "WalletPayappother/apppayios"
// and checks it as the real server does: the request's form, its required
// keys, the app id and game id of the game's registration, the channel
// (one of its channel folder or its agent), the advertising identifier
// (an upper-case UUID), the player's password or SMS code, the order's
// amounts. A refusal is answered in the call's own envelope ({"z": "0",
// "x": why} for a login, {"code": "0", "msg": why} for the notice ...).
// A login is signed md5("username=<u>&appkey=<app key>&logintime=<e>").
//
// Tests script it through the state below, and through the server's fault
// modes and canned replies per endpoint (PlatformAPIServer). The server's
// request log keeps every request.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "sim/platform_api_server.h"
#include "sim/platform_identity.h"

namespace sim {

struct PlatformSubAccount {
  std::string nickname;
  std::string userName;
  std::string loginTime;
};

struct PlatformCoupon {
  std::string cid;
  std::string name;
  std::string payMoney;     // the smallest order it applies to, in yuan
  std::string couponMoney;  // its value, in yuan
  std::string validity = "2099-12-31";
  std::string gameId = "0";  // "0": every game
};

struct PlatformAccount {
  std::string userName;
  std::string password;
  std::string sid;  // the session id of the last login
  // Real name: "nrz" "0" not verified, "1" verified adult, "2" verified
  // minor (whose play ends at the deadline "lmit", ms since 1970).
  std::string realNameStatus = "0";
  std::string realName;
  std::string idNumber;
  // A minor's "lmit"; empty: an hour after each login or verification.
  std::string playDeadline;
  bool askRealName = true;             // "rz" "1": ask at login while not verified
  bool realNameCompulsory = false;     // "frz"
  std::string cancelled = "0";         // "ic"
  long platformCoins = 0;              // "ttb", 10 to the yuan
  std::string vouchers = "0.00";       // "djq", in yuan
  std::vector<PlatformSubAccount> subAccounts;
  std::vector<PlatformCoupon> coupons;
};

struct PlatformOrder {
  std::string orderNumber;
  std::string endpoint;  // where it was placed
  std::string payType;   // "wx", "qb", "ptb", "djq"
  std::string userName;
  std::string money;
  std::string realMoney;
  std::string couponId;
  std::string roleId;
  std::string serverId;
  std::string productName;
  // The text the game attached to the order, handed back with its result
  // (the channel's order number).
  std::string cpExtend;
  std::string createTime;  // seconds since 1970
  bool paid = false;
  // The signed order text an app order was answered with (the wallet
  // checks what it is handed against it); empty for other orders.
  std::string signedOrder;
};

struct PlatformNotice {
  std::string status = "1";  // sent as a number
  std::string content;
  long id = 1;
};

struct PlatformPayWay {
  std::string code;  // "z": 1 coins, 2 WalletPay H5, 3 WeChat H5, 4 vouchers, 5/31 app, 6/32 official WeChat
  std::string name;  // "b"
  std::string detail;  // "d"
};

class PlatformService {
 public:
  // Routes every endpoint on `server` (and the web pages on its host).
  // The server must outlive the service's use; the service must outlive
  // the server's answers (stop the server first, as Simulator does).
  explicit PlatformService(PlatformAPIServer& server);
  PlatformService(const PlatformService&) = delete;
  PlatformService& operator=(const PlatformService&) = delete;

  // The game's registration. Until one is set, each request is checked
  // against the main bundle of the process at that moment.
  void setIdentity(PlatformIdentity identity);
  PlatformIdentity identity() const;

  // ---- Accounts
  void addAccount(PlatformAccount account);
  std::optional<PlatformAccount> account(const std::string& userName) const;
  // Changes a stored account (nothing for an unknown name).
  void updateAccount(const std::string& userName, const std::function<void(PlatformAccount&)>& change);
  // The SMS code last issued to a phone number.
  std::optional<std::string> issuedCode(const std::string& phone) const;
  // The sign of a login: md5("username=<u>&appkey=<app key>&logintime=<t>").
  std::string loginSign(const std::string& userName, const std::string& loginTime) const;

  // ---- Notice, roles, reports
  // The notice "Sdkmsg/indexios" answers; none answers "code" "0".
  void setNotice(std::optional<PlatformNotice> notice);
  // The last role each user reported ("User/setRole"), as sent.
  std::optional<kit::Ref<kit::Dictionary>> reportedRole(const std::string& userName) const;
  // Play-time reports ("login/setTime") and logouts received per user name.
  int onlineTimeReports(const std::string& userName) const;
  int logouts(const std::string& userName) const;
  // "pay/getjiasu": whether the speed-up tool is on for the game.
  void setSpeedUpEnabled(bool enabled);

  // ---- Payment
  void setPayWays(std::vector<PlatformPayWay> ways);
  // The factor the pay ways reply gives ("discount"), as text.
  void setDiscount(std::string discount);
  void setServiceContacts(std::string qq, std::string tel);
  std::vector<PlatformOrder> orders() const;
  std::optional<PlatformOrder> order(const std::string& orderNumber) const;
  // Marks an order paid (what the pay page or the wallet does); false for
  // an unknown order.
  bool markPaid(const std::string& orderNumber);

  // The texts the service answers with.
  static constexpr const char* kLoginOK = "登录成功";
  static constexpr const char* kWrongPassword = "用户名或密码错误";

 private:
  friend struct PlatformRoutes;
  PlatformIdentity identityLocked() const;
  std::string nextOrderNumber();

  PlatformAPIServer& server_;
  mutable std::mutex mutex_;
  std::optional<PlatformIdentity> identity_;
  std::map<std::string, PlatformAccount> accounts_;
  std::map<std::string, std::string> smsCodes_;
  std::optional<PlatformNotice> notice_;
  std::map<std::string, kit::Ref<kit::Dictionary>> roles_;
  std::map<std::string, int> onlineReports_;
  std::map<std::string, int> logouts_;
  bool speedUp_ = false;
  std::vector<PlatformPayWay> payWays_;
  std::string discount_ = "1";
  std::string qq_ = "800012345";
  std::string tel_ = "400-000-1234";
  std::vector<PlatformOrder> orders_;
  long nextCode_ = 0;
  long nextSid_ = 0;
  long nextOrder_ = 0;
};

}  // namespace sim
