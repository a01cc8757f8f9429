// The game page's resource server stand-in. See game_page_server.h.

#include "sim/game_page_server.h"

#include <httplib.h>

#include <atomic>

namespace sim {

GamePageServer::GamePageServer(std::string gameId) : gameId_(std::move(gameId)) { listen(0); }

GamePageServer::~GamePageServer() { down(); }

std::string GamePageServer::pageURL() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/games/" + gameId_ + "/index.html?_channel=nuva";
}

bool GamePageServer::listen(int port) {
  auto server = std::make_unique<httplib::Server>();
  server->new_task_queue = [] { return new httplib::ThreadPool(4); };
  std::string page = "/games/" + gameId_ + "/index.html";
  std::string html = pageHTML(gameId_);
  server->Get(".*", [this, page, html](const httplib::Request& request, httplib::Response& response) {
    {
      std::lock_guard lock(mutex_);
      log_.push_back(request.target);
    }
    if (request.path == page) {
      response.set_content(html, "text/html; charset=utf-8");
    } else {
      response.status = 404;
      response.set_content("not found", "text/plain");
    }
  });
  int bound = port == 0 ? server->bind_to_any_port("127.0.0.1") : (server->bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) return false;
  port_ = bound;
  server_ = std::move(server);
  auto listening = std::make_shared<std::atomic<bool>>(true);
  httplib::Server* raw = server_.get();
  thread_ = std::thread([raw, listening] {
    raw->listen_after_bind();
    *listening = false;
  });
  while (!raw->is_running() && *listening) std::this_thread::yield();
  return true;
}

void GamePageServer::down() {
  if (!server_) return;
  server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

bool GamePageServer::up() {
  if (server_) return true;
  return listen(port_);
}

bool GamePageServer::isUp() const { return server_ != nullptr; }

std::vector<std::string> GamePageServer::requests() const {
  std::lock_guard lock(mutex_);
  return log_;
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
