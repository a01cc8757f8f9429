// Which of libcurl's sockets carries a connection: found by its ports, the
// ports kept between lookups and checked again, so that a number closed and
// taken by another socket is never taken for the old connection.
#include "kit/net/transfer_engine.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <tuple>
#include <utility>

namespace kit::netdetail {
namespace {

// A listening socket on loopback and connections to it.
class Loopback {
 public:
  Loopback() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 8);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Loopback() { close(listener_); }

  // A connected client socket and its local port.
  std::pair<int, long> connect() const {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(port_);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return {fd, ntohs(address.sin_port)};
  }
  long port() const { return port_; }

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
  }
  int listener_;
  long port_ = 0;
};

// Runs `work` on the engine's thread and returns its answer.
template <typename Work>
auto onNetworkThread(TransferEngine& engine, Work work) {
  std::promise<decltype(work())> answer;
  engine.post([&] { answer.set_value(work()); });
  return answer.get_future().get();
}

TEST(TransferEngineSockets, AConnectionIsFoundByItsPortsAndAReusedNumberIsLookedAtAgain) {
  TransferEngine engine({});
  Loopback server;
  int first, second, third;
  long firstPort, secondPort, thirdPort;
  std::tie(first, firstPort) = server.connect();
  std::tie(second, secondPort) = server.connect();
  auto socketFor = [&](long local) {
    return onNetworkThread(engine, [&] { return engine.socketFor(local, server.port()); });
  };
  onNetworkThread(engine, [&] {
    engine.noteSocket(first);
    engine.noteSocket(second);
    return 0;
  });
  EXPECT_EQ(socketFor(firstPort), first);
  EXPECT_EQ(socketFor(secondPort), second);
  EXPECT_EQ(socketFor(firstPort), first);  // from what was seen, checked again

  // The first connection's number now names the second connection (as if
  // closed and taken by someone else's socket): the first is gone.
  ASSERT_EQ(dup2(second, first), first);
  EXPECT_EQ(socketFor(firstPort), -1);
  const int found = socketFor(secondPort);
  EXPECT_TRUE(found == first || found == second) << found;

  // A closed number is forgotten; a new connection on it is found.
  close(first);
  EXPECT_EQ(socketFor(firstPort), -1);
  std::tie(third, thirdPort) = server.connect();
  onNetworkThread(engine, [&] {
    engine.noteSocket(third);
    return 0;
  });
  EXPECT_EQ(socketFor(thirdPort), third);
  close(second);
  close(third);
}

}  // namespace
}  // namespace kit::netdetail
