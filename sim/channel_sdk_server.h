// The channel platform's SDK server, played on 127.0.0.1: "init",
// "login/index", "login/special", "login/enter", "role/index" and
// "order/index". It reads form bodies the standard way, checks the required
// fields and recomputes the signatures of role reports and orders as the
// real server does, keeps players, roles and orders, and logs every request.
//
// Tests script it: replace the reply of a route, or give a route a fault
// (a delay past the client's time-out, a 500 with a JSON body, an empty
// body, a body that is not JSON, a connection closed mid-body).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/channel_route_server.h"

namespace sim {

class ChannelSDKServer : public ChannelRouteServer {
 public:
  // The key the server appends to signed fields (it shares it with the
  // client).
  static constexpr const char* kSigningSalt = "5e0c7a9d13f2b84e6a1d0c3f9b7e2a64";
  // The path under which the routes live: "<origin>/sdk/<route>".
  static constexpr const char* kBasePath = "/sdk/";

  // Starts serving on 127.0.0.1 at `port`, or at a port the system picks
  // for 0 (PortUnavailable when it cannot).
  explicit ChannelSDKServer(int port = 0);
  ~ChannelSDKServer();
  ChannelSDKServer(const ChannelSDKServer&) = delete;
  ChannelSDKServer& operator=(const ChannelSDKServer&) = delete;

  // The game the server knows; other game ids are refused.
  void setGameId(std::string gameId);
  // The application package orders must come from.
  void setPackage(std::string package);
  // The reply of a route, as JSON text, instead of the server's own; empty
  // restores it. Faults (setFault) come before it.
  void setReply(const std::string& route, std::string json);
  // The launch notice "init" carries ("notice_data"); none by default.
  struct Notice {
    std::string type = "1";  // "1" text, "2" web page, other: text with a link
    std::string title;
    std::string content;  // the text, or for the link form {"content","url_content","url"} as JSON text
    std::string url;      // the page of the web form (noticePageURL() serves one)
  };
  void setNotice(Notice notice);
  // A text notice (type "1") with a title and content.
  void setNotice(std::string title, std::string content);
  // The address of the notice page the server serves: an HTML page with the
  // notice's title and content.
  std::string noticePageURL() const;

  // What the server answered last for each route (JSON text).
  std::string lastReply(const std::string& route) const;
  // The channel user id given to a platform user name at login.
  std::optional<std::string> superUserIdFor(const std::string& uid) const;
  // Whether a token is the one last issued to a channel user.
  bool isTokenOf(const std::string& superUserId, const std::string& token) const;

  // An order the server accepted ("order/index"): the id it gave it and
  // what the client sent for it.
  struct Order {
    std::string orderId;
    std::string gameOrder;  // "game_order_sn"
    std::string money;
    std::string superUserId;
  };
  // The orders accepted so far, in the order they came.
  std::vector<Order> orders() const;

 private:
  kit::test::TestResponse answer(const std::string& route, const kit::test::RecordedRequest& request);
  std::string answerInit(const ChannelRequest& request);
  std::string answerLogin(const ChannelRequest& request);
  std::string answerEnter(const ChannelRequest& request);
  std::string answerRole(const ChannelRequest& request);
  std::string answerOrder(const ChannelRequest& request);

  mutable std::mutex mutex_;
  std::string gameId_ = "1001";
  std::string package_;
  std::map<std::string, std::string> replies_;
  std::map<std::string, std::string> lastReplies_;
  Notice notice_;
  // Platform user name -> channel user id; channel user id -> token.
  std::map<std::string, std::string> users_;
  std::map<std::string, std::string> tokens_;
  // (channel user, server, game role) -> channel role id.
  std::map<std::string, std::string> roles_;
  int nextUser_ = 99;
  int nextRole_ = 1;
  int nextOrder_ = 1;
  std::vector<Order> orders_;
};

// The lower-case hex MD5 of a text, as the server signs.
std::string md5Hex(const std::string& text);

}  // namespace sim
