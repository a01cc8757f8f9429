// Helpers for the web views' tests: a loopback port nobody listens on, and
// a page's answer to a script.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/web/page_engine.h"
#include "kit/web/web_view.h"

namespace kit::test {

// A port on 127.0.0.1 that was free a moment ago: connecting is refused.
inline int closedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

inline std::string closedPortURL(const std::string& path = "/") {
  return "http://127.0.0.1:" + std::to_string(closedPort()) + path;
}

// Runs `script` in `view`'s page and waits for its value or error (an
// empty result, and a failure of the test, when none comes in `timeout`
// seconds). An answer that comes after the wait gave up lands in a state
// of its own.
inline ScriptResult evaluateScript(WebView& view, const std::string& script, double timeout = kDefaultTimeout) {
  struct Answer {
    bool done = false;
    ScriptResult result;
  };
  auto answer = std::make_shared<Answer>();
  view.evaluateJavaScript(script, [answer](Id value, Ref<Error> error) {
    answer->result = {std::move(value), std::move(error)};
    answer->done = true;
  });
  if (!runUntil([&] { return answer->done; }, timeout)) {
    ADD_FAILURE() << "no answer to " << script;
    return {};
  }
  return answer->result;
}

// The value's description, or "error" when the script failed.
inline std::string evaluate(WebView& view, const std::string& script) {
  ScriptResult result = evaluateScript(view, script);
  return result.error ? "error" : describe(result.value);
}

}  // namespace kit::test
