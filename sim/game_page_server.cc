// The game page's resource server stand-in. See game_page_server.h.

#include "sim/game_page_server.h"

namespace sim {

GamePageServer::GamePageServer(std::string gameId) : gameId_(std::move(gameId)) { listen(0); }

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

std::string GamePageServer::pageHTML(const std::string& gameId) {
  return R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, user-scalable=no">
<title>星河远征</title>
<style>
  html, body { margin: 0; height: 100%; background: #10243f; color: #f4e9c8; font-family: sans-serif; }
  .title { padding-top: 30%; text-align: center; font-size: 32px; letter-spacing: 4px; }
  .server { text-align: center; margin-top: 16px; font-size: 16px; color: #9fb6d8; }
  .start { display: block; margin: 40px auto; width: 180px; height: 48px; border-radius: 24px;
           border: none; background: #e0a42b; color: #10243f; font-size: 20px; }
</style>
</head>
<body data-game=")HTML" + gameId + R"HTML(">
<div class="title">星河远征</div>
<div class="server">3区 · 青龙</div>
<button class="start" onclick="send('login', {})">开始游戏</button>
<script>
  function send(action, data) {
    window.webkit.messageHandlers.eventComplete.postMessage(JSON.stringify({action: action, data: data}));
  }
  function CallbackFromIOS(text) {
    var message = JSON.parse(text);
    document.querySelector('.server').textContent = message.action;
  }
</script>
</body>
</html>
)HTML";
}

}  // namespace sim
