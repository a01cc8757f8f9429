// Which of libcurl's sockets carries a connection: found by its ports, which
// are read once a socket is connected; a closed socket is forgotten, and a
// number noted again names a new socket, never the old connection.
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

TEST(TransferEngineSockets, AConnectionIsFoundByItsPortsUntilItsSocketCloses) {
  TransferEngine engine({});
  Loopback server;
  int first, second, third;
  long firstPort, secondPort, thirdPort;
  std::tie(first, firstPort) = server.connect();
  std::tie(second, secondPort) = server.connect();
  auto onThread = [&](auto work) {
    return onNetworkThread(engine, [&] {
      work();
      return 0;
    });
  };
  auto socketFor = [&](long local) {
    return onNetworkThread(engine, [&] { return engine.socketFor(local, server.port()); });
  };
  onThread([&] {
    engine.noteSocket(first);
    engine.noteSocket(second);
  });
  EXPECT_EQ(socketFor(firstPort), first);
  EXPECT_EQ(socketFor(secondPort), second);
  EXPECT_EQ(socketFor(firstPort), first);  // from what was seen
  EXPECT_EQ(socketFor(firstPort + 100000), -1);

  // Closed: forgotten, though its number lives on elsewhere.
  ASSERT_EQ(dup2(second, first), first);
  onThread([&] { engine.forgetSocket(first); });
  EXPECT_EQ(socketFor(firstPort), -1);
  EXPECT_EQ(socketFor(secondPort), second);

  // A number noted again names the new socket: its own ports find it, the
  // old connection's do not.
  std::tie(third, thirdPort) = server.connect();
  ASSERT_EQ(dup2(third, first), first);
  close(third);
  onThread([&] { engine.noteSocket(first); });
  EXPECT_EQ(socketFor(firstPort), -1);
  EXPECT_EQ(socketFor(thirdPort), first);

  // A socket noted before it connects is looked at again once it has.
  const int late = socket(AF_INET, SOCK_STREAM, 0);
  onThread([&] { engine.noteSocket(late); });
  EXPECT_EQ(socketFor(thirdPort + 100000), -1);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(server.port()));
  ASSERT_EQ(connect(late, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(late, reinterpret_cast<sockaddr*>(&address), &length);
  EXPECT_EQ(socketFor(ntohs(address.sin_port)), late);
  close(first);
  close(second);
  close(late);
}

}  // namespace
}  // namespace kit::netdetail
