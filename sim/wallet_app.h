// The payment vendor's wallet app on this device, played by the simulator:
// installed in kit's application under the wallet's URL scheme, it receives
// the URLs the client opens with it ("<scheme>://pay?order=...&scheme=...",
// the values percent-encoded), checks the order text against the signed
// orders the platform service issued for its app orders, and answers by
// opening the client's return scheme through the application's open-URL
// entry, on the main queue:
//   <return scheme>://safepay/?result=<percent-encoded JSON>
// with {"resultStatus", "memo", "result"}. The status is scripted ("9000"
// pays the order in the platform service, "6001" is the player's cancel,
// "4000" a failure); an order the platform never issued, or a request
// without a return scheme, is answered "4000" and pays nothing. A paid
// answer's "result" names the order as a JSON object {"out_trade_no", ...}
// unless scripted to name it in a form the client cannot read, or in a
// spelling of the number that is not the order's own (blanks around it, a
// leading zero). Answers that pay nothing carry no "result" unless scripted
// to name their order too.
//
// Main thread: install, answer and the received log belong to it.
//
//   sim::WalletApp wallet(simulator.platform());
//   wallet.install();
//   wallet.setAnswer("6001");
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace sim {

class PlatformService;

class WalletApp {
 public:
  static constexpr const char* kScheme = "walletpay";
  // What the wallet answers for an order it cannot check.
  static constexpr const char* kUnknownOrderMemo = "订单信息无效";

  // How a paid answer's "result" names the order.
  enum class ResultForm {
    JSON,       // {"out_trade_no":"N","total_fee":"6","paid":"true"}
    OtherCase,  // {"OUT_TRADE_NO":"N",...}
    Nested,     // {"trade":{"out_trade_no":"N",...}}
    NotJSON,    // out_trade_no=N&total_fee=6&paid=true
    Blanks,     // {"out_trade_no":" N ",...}
    LeadingZero,  // {"out_trade_no":"0N",...}
  };

  explicit WalletApp(PlatformService& platform, std::string scheme = kScheme);
  // Uninstalls it, when it is installed.
  ~WalletApp();
  WalletApp(const WalletApp&) = delete;
  WalletApp& operator=(const WalletApp&) = delete;

  // Puts the wallet in (or takes it out of) kit's application.
  void install();
  bool isInstalled() const;
  void uninstall();
  // The status of the next answers ("9000" until set).
  void setAnswer(std::string resultStatus);
  // The form of the next paid answers' "result" (JSON until set).
  void setResultForm(ResultForm form);
  // Whether the next answers that pay nothing ("6001", "4000" ...) name
  // their order in a "result" of that form too (no until set).
  void setNamesUnpaidOrders(bool names);

  // The URLs the wallet received, and the return URLs it opened, in order.
  std::vector<std::string> receivedURLs() const;
  std::vector<std::string> returnURLs() const;

  // The memo the wallet sends with a status.
  static std::string memoFor(const std::string& resultStatus);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace sim
