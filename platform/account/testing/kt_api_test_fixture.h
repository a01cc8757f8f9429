// Test support for the platform API tests (header only, for *_test.cc): a
// temporary bundle with KT.plist (app id "10001", game id "1001", app key
// "k1", agent "agent7") and defaults file, the platform service on a
// loopback server that the client's configuration points at, a key window
// for toasts, and waiting for the blocks of a call.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "config/client_configuration.h"
#include "kit/foundation/values.h"
#include "kit/testing/lifeline.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/label.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "platform/account/kt_account_scenes.h"
#include "platform/base/share_vale.h"
#include "platform/base/testing/platform_test_bundle.h"
#include "sim/platform_api_server.h"
#include "sim/platform_service.h"

class PlatformAPITest : public ::testing::Test {
 protected:
  PlatformAPITest() { platform = std::make_unique<sim::PlatformService>(*server); }

  void SetUp() override {
    // The account's scenes, as the program registers them when it starts.
    KTAccountRegisterScenes();
    pointClientAt(server->origin());
    window = kit::Window::make();
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    ClientConfiguration::shared().setOverrides(nullptr);
    window.reset();
    kit::Application::shared()->reset();
    if (closedPort_ >= 0) close(closedPort_);
    closedPort_ = -1;
  }

  // The client's platform API base and web host.
  static void pointClientAt(const std::string& origin) {
    ClientConfiguration::shared().setOverrides(kit::dict(
        {{ClientConfiguration::kPlatformAPIBase, origin}, {ClientConfiguration::kPlatformWebHost, origin + "/"}}));
  }
  // Points the client at a port where nothing listens: one this test holds
  // bound without listening until it ends, so that no server of a test
  // running beside it takes the port and answers (a connection is refused).
  void pointClientAtClosedPort() {
    if (closedPort_ < 0) {
      closedPort_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      ASSERT_GE(closedPort_, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ASSERT_EQ(bind(closedPort_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ASSERT_EQ(getsockname(closedPort_, reinterpret_cast<sockaddr*>(&bound), &length), 0);
    pointClientAt("http://127.0.0.1:" + std::to_string(ntohs(bound.sin_port)));
  }

  void addPlayer(const std::string& name, const std::string& password) {
    sim::PlatformAccount account;
    account.userName = name;
    account.password = password;
    platform->addAccount(account);
  }
  static void storeUserName(const char* name) { ShareVale::sharedInstance()->setUserName(kit::str(name)); }

  // The parameters of the last request to an endpoint (scrambled body or
  // form fields), as a dictionary.
  kit::Id sentTo(const std::string& endpoint) const {
    auto requests = server->requestsTo(endpoint);
    if (requests.empty()) return nullptr;
    const auto& last = requests.back();
    if (auto parameters = kit::as<kit::Dictionary>(last.parameters)) return kit::Id(parameters);
    auto fields = kit::MutableDictionary::make();
    for (const auto& [name, value] : last.exchange.form) fields->setObject(kit::str(value), std::string_view(name));
    return kit::Id(fields);
  }
  // Waits until `count` requests to the endpoint are in the decoded log.
  bool waitForCalls(const std::string& endpoint, size_t count) const {
    return kit::test::runUntil([&] { return server->requestsTo(endpoint).size() >= count; });
  }
  // The keys of a dictionary, sorted, joined by ",".
  static std::string keysOf(const kit::Id& value) {
    auto dictionary = kit::as<kit::Dictionary>(value);
    std::vector<std::string> keys;
    if (dictionary) {
      for (const kit::Id& key : dictionary->keys()) keys.push_back(kit::describe(key));
    }
    std::sort(keys.begin(), keys.end());
    std::string joined;
    for (const auto& key : keys) joined += (joined.empty() ? "" : ",") + key;
    return joined;
  }

  bool toastShown(const std::string& text) const { return kit::test::findLabel(*window, text) != nullptr; }
  // The texts on screen (labels and button titles, in every window) that
  // read "(null)", "<null>" or "NaN": what a value nobody set looks like.
  static std::vector<std::string> unsetTextsShown() {
    std::vector<std::string> found;
    auto unset = [](const std::string& text) {
      return text.find("(null)") != std::string::npos || text.find("<null>") != std::string::npos ||
             text.find("NaN") != std::string::npos;
    };
    for (const auto& shown : kit::Application::shared()->windows()) {
      kit::test::findViews(*shown, [&](kit::View& view) {
        std::string text;
        if (auto label = dynamic_cast<kit::Label*>(&view)) text = label->text();
        if (auto button = dynamic_cast<kit::Button*>(&view)) text = button->currentTitle();
        if (unset(text)) found.push_back(text);
        return false;
      });
    }
    return found;
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  PlatformTestBundle bundle;
  // The service goes after the server, whose answers call into it.
  std::unique_ptr<sim::PlatformService> platform;
  std::unique_ptr<sim::PlatformAPIServer> server = sim::PlatformAPIServer::start();
  kit::Ref<kit::Window> window;

 private:
  int closedPort_ = -1;  // the port pointClientAtClosedPort holds
};

// What a call's blocks delivered: how many ran, on which thread, with what.
// A block that runs after its outcome has gone (a wait for it gave up and
// the test ended) does nothing.
struct Outcome {
  int calls = 0;
  bool succeeded = false;
  bool onMain = true;
  kit::Id result;
  kit::Ref<kit::String> message;
  kit::Ref<kit::String> code;

  Outcome() = default;
  // Returned from a helper that made the call: its blocks report here.
  Outcome(Outcome&& other)
      : calls(other.calls),
        succeeded(other.succeeded),
        onMain(other.onMain),
        result(std::move(other.result)),
        message(std::move(other.message)),
        code(std::move(other.code)),
        lifeline(*this, std::move(other.lifeline)) {}

  bool done() const { return calls > 0; }
  void record() {
    ++calls;
    onMain = onMain && kit::RunLoop::isMainThread();
  }
  template <class T>
  std::function<void(const kit::Ref<T>&)> success() {
    return lifeline.bind([](Outcome& self, const kit::Ref<T>& value) {
      self.record();
      self.succeeded = true;
      self.result = value;
    });
  }
  std::function<void(const kit::Id&)> valueSuccess() {
    return lifeline.bind([](Outcome& self, const kit::Id& value) {
      self.record();
      self.succeeded = true;
      self.result = value;
    });
  }
  std::function<void()> plainSuccess() {
    return lifeline.bind([](Outcome& self) {
      self.record();
      self.succeeded = true;
    });
  }
  std::function<void(const kit::Ref<kit::String>&)> failure() {
    return lifeline.bind([](Outcome& self, const kit::Ref<kit::String>& m) {
      self.record();
      self.message = m;
    });
  }
  std::function<void(const kit::Ref<kit::String>&, const kit::Ref<kit::String>&)> codeFailure() {
    return lifeline.bind([](Outcome& self, const kit::Ref<kit::String>& m, const kit::Ref<kit::String>& c) {
      self.record();
      self.message = m;
      self.code = c;
    });
  }
  // The failure's texts as "message|code" ("(null)" for nil).
  std::string texts() const { return kit::describe(message) + "|" + kit::describe(code); }
  bool wait() { return kit::test::runUntil([this] { return done(); }); }

  // The last member: cut before the others go.
  kit::test::Lifeline<Outcome> lifeline{*this};
};
