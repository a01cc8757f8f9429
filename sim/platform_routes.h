// Inside the platform service (platform_service.h): how an endpoint reads
// its request and answers, and the endpoints themselves, in two groups
// (platform_account_routes.cc, platform_pay_routes.cc).
#pragma once

#include <initializer_list>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/expected.h"
#include "sim/platform_service.h"

namespace sim {

// The client an endpoint is called through, which fixes the request's and
// the reply's forms.
enum class PlatformClient {
  Scrambled,   // scrambled gzip in, scrambled gzip out
  Connection,  // scrambled gzip in, plain gzip out
  Form,        // form fields in, JSON out
};

// One request as an endpoint reads it: its parameters, whatever form they
// came in.
class PlatformCall {
 public:
  PlatformCall(const PlatformAPIRequest& request, PlatformClient client);

  // Whether the body came in the form of the endpoint's client.
  bool wellFormed() const { return wellFormed_; }
  const std::string& endpoint() const { return endpoint_; }
  const kit::Ref<kit::Dictionary>& parameters() const { return parameters_; }
  kit::Id value(const char* key) const;
  bool has(const char* key) const { return value(key) != nullptr; }
  // A text as it is, a number as its text; "" for anything else.
  std::string text(const char* key) const;
  // The first key that is missing, or has a value that is neither a text
  // nor a number; empty when all are there.
  std::string missing(std::initializer_list<const char*> keys) const;

 private:
  kit::Ref<kit::Dictionary> parameters_;
  std::string endpoint_;
  bool wellFormed_ = false;
};

// What an endpoint answers: the reply object, or a refusal (the error's
// description) that the endpoint's envelope carries.
using PlatformAnswer = kit::Expected<kit::Id>;
kit::Unexpected refuse(const std::string& why);

struct PlatformRoutes {
  using Envelope = kit::Ref<kit::Dictionary> (*)(const std::string& why);
  using Handler = PlatformAnswer (*)(PlatformService& service, const PlatformCall& call);

  // Routes `endpoint` on the service's server: a request not in the
  // client's form is refused, the handler answers the others, and both go
  // out in the client's reply form.
  static void serve(PlatformService& service, const std::string& endpoint, PlatformClient client, Envelope envelope,
                    Handler handler);

  static void installAccountRoutes(PlatformService& service);
  static void installPayRoutes(PlatformService& service);

  // Checks shared by the endpoints: the app id, game id and channel under
  // the given keys (nullptr: not checked) against the registration.
  static kit::Expected<void> checkGame(PlatformService& service, const PlatformCall& call, const char* appKey,
                                       const char* gameKey, const char* channelKey);
  // An advertising identifier: an upper-case UUID text.
  static bool isAdvertisingIdentifier(const std::string& text);
  // The current time in seconds since 1970, as text.
  static std::string nowText();
  // Access to the service's state for the endpoints, under its lock.
  static std::mutex& lock(PlatformService& service) { return service.mutex_; }
  static std::map<std::string, PlatformAccount>& accounts(PlatformService& s) { return s.accounts_; }
  static std::map<std::string, std::string>& smsCodes(PlatformService& s) { return s.smsCodes_; }
  static std::optional<PlatformNotice>& notice(PlatformService& s) { return s.notice_; }
  static std::map<std::string, kit::Ref<kit::Dictionary>>& roles(PlatformService& s) { return s.roles_; }
  static std::map<std::string, int>& onlineReports(PlatformService& s) { return s.onlineReports_; }
  static std::map<std::string, int>& logouts(PlatformService& s) { return s.logouts_; }
  static bool speedUp(PlatformService& s) { return s.speedUp_; }
  static std::vector<PlatformPayWay>& payWays(PlatformService& s) { return s.payWays_; }
  static const std::string& discount(PlatformService& s) { return s.discount_; }
  static std::pair<std::string, std::string> contacts(PlatformService& s) { return {s.qq_, s.tel_}; }
  static std::vector<PlatformOrder>& orders(PlatformService& s) { return s.orders_; }
  static std::string nextCode(PlatformService& s);
  static std::string nextSid(PlatformService& s);
  static std::string nextOrderNumber(PlatformService& s) { return s.nextOrderNumber(); }
  static std::string webHost(PlatformService& s) { return s.server_.origin() + "/"; }
};

// The envelopes: {"z": "0", <key>: why} and {"code": "0", "msg": why}.
kit::Ref<kit::Dictionary> letterRefusal(const char* messageKey, const std::string& why);
kit::Ref<kit::Dictionary> codeRefusal(const std::string& why);

}  // namespace sim
