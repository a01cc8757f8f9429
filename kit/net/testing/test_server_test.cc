// The test server itself: multipart bodies in the log byte for byte, prefix
// routes, answers held until released, many kept-alive connections served at
// once, and a stop that does not wait for idle clients, frees the port for a
// restart and leaves the process's other sockets alone.
#include "kit/net/testing/test_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace kit::test {
namespace {

using namespace std::string_literals;

httplib::Client clientOf(const TestServer& server) {
  httplib::Client client("127.0.0.1", server.port());
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  client.set_read_timeout(30, 0);
  return client;
}

TEST(TestServer, LogsMultipartBodiesByteForByteWithTheirParts) {
  auto server = TestServer::startHTTP();
  std::atomic<size_t> partsSeen{99};
  server->route("POST", "/upload", [&](const RecordedRequest& request) {
    partsSeen = request.parts.size();
    return TestResponse::text("stored");
  });
  const std::string type = "multipart/form-data; boundary=\"b-1\"";
  const std::string file = "\x89PNG\r\n\x1a\n\0\r\n--b-0"s;
  const std::string body = "--b-1\r\nContent-Disposition: form-data; name=\"uid\"\r\n\r\n7\r\n"
                           "--b-1\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.png\"\r\n"
                           "Content-Type: image/png\r\n\r\n" +
                           file + "\r\n--b-1--\r\n";
  auto client = clientOf(*server);
  auto stored = client.Post("/upload", body, type.c_str());
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->body, "stored");
  EXPECT_EQ(partsSeen, 2u) << "the route sees the parts";

  // A body that breaks off still reaches the route and the log, as sent.
  const std::string cut = body.substr(0, body.size() - 9);
  auto refused = client.Post("/upload", cut, type.c_str());
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 200);

  auto log = server->requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].body, body);
  EXPECT_EQ(log[0].header("Content-Type").value_or(""), type);
  ASSERT_EQ(log[0].parts.size(), 2u);
  EXPECT_EQ(log[0].parts[0].name, "uid");
  EXPECT_EQ(log[0].parts[0].content, "7");
  EXPECT_EQ(log[0].parts[1].filename, "a.png");
  EXPECT_EQ(log[0].parts[1].contentType, "image/png");
  EXPECT_EQ(log[0].parts[1].content, file);
  EXPECT_EQ(log[1].body, cut);
  EXPECT_TRUE(log[1].parts.empty());
  EXPECT_EQ(partsSeen, 0u);
}

TEST(TestServer, PrefixRoutesServeEveryPathUnderThemAfterExactRoutes) {
  auto server = TestServer::startHTTP();
  server->route("*", "/api/*", TestResponse::text("api"));
  server->route("GET", "/api/v2/*", TestResponse::text("v2"));
  server->route("GET", "/api/v2/exact", TestResponse::text("exact"));
  server->route("*", "/api/*", TestResponse::text("api again"));  // replaces the first
  auto client = clientOf(*server);
  EXPECT_EQ(client.Get("/api/a/b?q=1")->body, "api again");
  EXPECT_EQ(client.Get("/api/v2/x")->body, "v2");
  EXPECT_EQ(client.Post("/api/v2/x", "", "text/plain")->body, "api again") << "the longer prefix is GET only";
  EXPECT_EQ(client.Get("/api/v2/exact")->body, "exact");
  EXPECT_EQ(client.Get("/api")->status, 404);
  EXPECT_EQ(client.Get("/apix")->status, 404);
  EXPECT_EQ(server->requests().at(0).target(), "/api/a/b?q=1");
}

TEST(TestServer, HeldAnswersWaitForTheirReleaseOrTheStop) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/held", TestResponse::text("held"));
  server->route("GET", "/free", TestResponse::text("free"));
  server->holdAnswers("/held");
  auto heldReply = std::async(std::launch::async, [&] { return clientOf(*server).Get("/held?n=1"); });
  ASSERT_TRUE(server->waitForRequests(1, 10)) << "the held request is logged as it comes";
  auto other = clientOf(*server).Get("/free");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->body, "free") << "other paths are answered meanwhile";
  EXPECT_EQ(heldReply.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  server->releaseAnswers("/held");
  auto reply = heldReply.get();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "held");

  // Held again, the stop ends the wait.
  server->holdAnswers("/held");
  auto cut = std::async(std::launch::async, [&] { return clientOf(*server).Get("/held"); });
  ASSERT_TRUE(server->waitForRequests(3, 10));
  auto stopped = std::async(std::launch::async, [&] { server->stop(); });
  EXPECT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  auto cutReply = cut.get();
  EXPECT_TRUE(!cutReply || cutReply->status == 503);
}

TEST(TestServer, ServesManyKeptAliveConnectionsAtOnce) {
  // Every client holds its request open until all of them have arrived, so
  // they are all served at the same time, and then asks again on the same
  // connection.
  constexpr size_t kClients = 48;
  constexpr int kRequestsEach = 8;
  auto server = TestServer::startHTTP();
  server->route("GET", "/together", [&](const RecordedRequest&) {
    return TestResponse::text(server->waitForRequests(kClients, 20) ? "together" : "alone");
  });
  server->route("GET", "/again", TestResponse::text("again"));
  std::vector<std::string> answers(kClients);
  std::vector<int> agains(kClients);
  std::vector<std::thread> clients;
  for (size_t i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      auto client = clientOf(*server);
      if (auto reply = client.Get("/together")) answers[i] = reply->body;
      for (int n = 1; n < kRequestsEach; ++n) {
        auto reply = client.Get("/again");
        agains[i] += reply && reply->body == "again";
      }
    });
  }
  for (auto& client : clients) client.join();
  for (size_t i = 0; i < kClients; ++i) {
    EXPECT_EQ(answers[i], "together") << "client " << i;
    EXPECT_EQ(agains[i], kRequestsEach - 1) << "client " << i;
  }
  EXPECT_EQ(server->requestCount(), kClients * kRequestsEach);
  EXPECT_EQ(server->connectionCount(), kClients) << "every client kept its one connection";
}

TEST(TestServer, StopDoesNotWaitForIdleClientsAndFreesThePort) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/hello", TestResponse::text("hello"));
  const int port = server->port();
  auto client = clientOf(*server);
  ASSERT_TRUE(client.Get("/hello"));
  // The client keeps its connection; idle, the server would keep it for ten
  // seconds.
  auto stopped = std::async(std::launch::async, [&] { server->stop(); });
  EXPECT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  stopped.wait();
  EXPECT_FALSE(httplib::Client("127.0.0.1", port).Get("/hello")) << "nothing listens";

  auto again = TestServer::startHTTP(port);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->port(), port);
  again->route("GET", "/hello", TestResponse::text("back"));
  auto reply = client.Get("/hello");
  ASSERT_TRUE(reply) << "the client finds its old connection closed and opens a new one";
  EXPECT_EQ(reply->body, "back");
  EXPECT_FALSE(TestServer::startHTTP(port)) << "the port is taken";
}

TEST(TestServer, StopShutsDownOnlyTheConnectionsItAccepted) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/hello", TestResponse::text("hello"));
  auto client = clientOf(*server);
  ASSERT_TRUE(client.Get("/hello"));
  // A datagram socket on the server's own port number with a peer of its
  // own looks, address for address, like one of the server's connections.
  const auto address = [](int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  };
  const int receiver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(receiver, 0);
  ASSERT_GE(sender, 0);
  sockaddr_in local = address(server->port());
  ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  sockaddr_in any = address(0);
  ASSERT_EQ(bind(sender, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  socklen_t length = sizeof any;
  ASSERT_EQ(getsockname(sender, reinterpret_cast<sockaddr*>(&any), &length), 0);
  ASSERT_EQ(connect(receiver, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(connect(sender, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);

  auto stopped = std::async(std::launch::async, [&] { server->stop(); });
  EXPECT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the idle connection was ended";
  stopped.wait();

  EXPECT_EQ(send(receiver, "ping", 4, MSG_NOSIGNAL), 4) << "the datagram socket still sends";
  char received[8] = {};
  // Loopback delivers a datagram as it is sent.
  EXPECT_EQ(recv(sender, received, sizeof received, MSG_DONTWAIT), 4);
  EXPECT_EQ(std::string(received, 4), "ping");
  close(sender);
  close(receiver);
}

}  // namespace
}  // namespace kit::test
