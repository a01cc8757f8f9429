// The game page's resource server stand-in. See game_page_server.h.

#include "sim/game_page_server.h"

#include <httplib.h>

#include <atomic>

#include "sim/game_page.h"

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

std::string GamePageServer::pageHTML(const std::string& gameId) { return gamePageHTML(gameId); }

}  // namespace sim
