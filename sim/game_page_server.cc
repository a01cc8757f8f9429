// The game page's resource server stand-in. See game_page_server.h.

#include "sim/game_page_server.h"

#include "sim/game_page.h"
#include "sim/service_port.h"

namespace sim {

GamePageServer::GamePageServer(std::string gameId, int port) : gameId_(std::move(gameId)) {
  if (!listen(port)) throw PortUnavailable(port);
}

GamePageServer::~GamePageServer() { down(); }

std::string GamePageServer::pageURL() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/games/" + gameId_ + "/index.html?_channel=nuva";
}

bool GamePageServer::listen(int port) {
  auto server = kit::test::TestServer::startHTTP(port);
  if (!server) return false;
  auto page = kit::test::TestResponse::text(pageHTML(gameId_));
  page.contentType = "text/html; charset=utf-8";
  server->route("GET", "/games/" + gameId_ + "/index.html", page);
  port_ = server->port();
  server_ = std::move(server);
  return true;
}

void GamePageServer::down() {
  if (!server_) return;
  for (const auto& request : server_->requests()) earlier_.push_back(request.target());
  server_.reset();
}

bool GamePageServer::up() {
  if (server_) return true;
  return listen(port_);
}

bool GamePageServer::isUp() const { return server_ != nullptr; }

std::vector<std::string> GamePageServer::requests() const {
  std::vector<std::string> targets = earlier_;
  if (server_) {
    for (const auto& request : server_->requests()) targets.push_back(request.target());
  }
  return targets;
}

bool GamePageServer::waitForRequests(size_t count, double timeoutSeconds) const {
  if (count <= earlier_.size()) return true;
  return server_ && server_->waitForRequests(count - earlier_.size(), timeoutSeconds);
}

std::string GamePageServer::pageHTML(const std::string& gameId) { return gamePageHTML(gameId); }

}  // namespace sim
