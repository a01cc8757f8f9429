// The simulator program: every remote service the client talks to, on
// 127.0.0.1, for a person or a script to run the client against.
//
//   simulator [--services FILE] [--channel-sdk-port N] [--channel-game-port N]
//             [--game-page-port N] [--platform-api-port N] [--game-id ID]
//             [--speedup]
//   simulator --help
//
// It starts the services (at the ports given, or where the system picks)
// with one platform account ready to log in with (and the speed-up tool on
// with --speedup), writes the services file the client reads when
// GAMECLIENT_SERVICES names it (services.plist in the current folder unless
// --services says otherwise), prints "ready" with the account's name and
// password, then one line per request the services receive, and runs until
// SIGTERM or SIGINT; then it stops the services and
// ends with 0. --help prints the usage and ends with 0; bad arguments end it
// with 2, a port it cannot listen on or a services file it cannot write with
// 1, each with the reason. A services file that is a symbolic link is
// written through it, to its target; a path that is no regular file (a
// FIFO, a device, a folder, a socket) is refused before it is touched. Its bundle (the platform's identity) is the
// resources folder next to it, as the client's is.

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulator.h"

namespace {

struct Options {
  std::string services = "services.plist";
  std::string gameId = "1001";
  bool speedUp = false;
  sim::SimulatorPorts ports;
};

constexpr const char* kUsage =
    "usage: simulator [--services FILE] [--channel-sdk-port N] [--channel-game-port N]\n"
    "                 [--game-page-port N] [--platform-api-port N] [--game-id ID] [--speedup]\n"
    "       simulator --help\n";

int usage(const std::string& why) {
  std::fprintf(stderr, "simulator: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// The platform account a person logs in with at once, without registering
// first (the README names it too).
sim::PlatformAccount readyAccount() {
  sim::PlatformAccount account;
  account.userName = "player01";
  account.password = "pass123";
  account.platformCoins = 120;
  return account;
}

// A port from the command line: 0 to 65535.
bool readPort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(text);
  return port <= 65535;
}

// False, with the reason, for arguments it does not understand.
bool readOptions(int argc, char** argv, Options& options, std::string& why) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--speedup") {
      options.speedUp = true;
      continue;
    }
    int* port = name == "--channel-sdk-port"    ? &options.ports.channelSDK
                : name == "--channel-game-port" ? &options.ports.channelGame
                : name == "--game-page-port"    ? &options.ports.gamePage
                : name == "--platform-api-port" ? &options.ports.platformAPI
                                                : nullptr;
    if (!port && name != "--services" && name != "--game-id") {
      why = "unknown option " + name;
      return false;
    }
    if (i + 1 >= argc) {
      why = "no value after " + name;
      return false;
    }
    const std::string value = argv[++i];
    if (port) {
      if (!readPort(value, *port)) {
        why = "not a port: " + value;
        return false;
      }
    } else if (name == "--services") {
      options.services = value;
    } else if (!value.empty()) {
      options.gameId = value;
    } else {
      why = "no game id after --game-id";
      return false;
    }
  }
  return true;
}

// Why the services file could not be written at `path`. A folder that is
// there but where no file can be made (a system folder such as /proc
// answers "no such file" too) is named with the system's reason, not said
// to be missing.
std::string whyNotWritten(const std::string& path, const kit::Ref<kit::Error>& error) {
  if (!error) return "unknown error";
  const kit::Ref<kit::Error> underlying = error->underlyingError();
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ignored;
  if (underlying && underlying->domain() == kit::POSIXErrorDomain &&
      (underlying->code() == ENOENT || underlying->code() == ENOTDIR) &&
      std::filesystem::is_directory(folder, ignored)) {
    return "no file can be made in the folder " + folder.string() + ": " +
           std::strerror(static_cast<int>(underlying->code()));
  }
  return error->localizedDescription();
}

// What `mode` is, for a refusal: a file type that is not a regular file.
std::string fileTypeOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The file the services file is written to for `path`: the path itself, or
// where its symbolic links lead (a link stays and its target is rewritten,
// made where a dangling link points). Empty, with the reason in `why`, when
// that file is there and is no regular file: writing the services file
// replaces the file it goes to, and a FIFO, a device or a socket is left as
// it is.
std::string servicesFileBehind(const std::string& path, std::string& why) {
  std::filesystem::path at = path;
  for (int links = 0;; ++links) {
    struct stat status {};
    if (lstat(at.c_str(), &status) != 0) return at.string();  // made there (or refused there)
    if (S_ISREG(status.st_mode)) return at.string();
    if (!S_ISLNK(status.st_mode)) {
      why = (at == path ? std::string("it is ") : at.string() + " is ") + fileTypeOf(status.st_mode) +
            ", not a regular file";
      return {};
    }
    if (links == 40) {
      why = std::strerror(ELOOP);
      return {};
    }
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(at, error);
    if (error) {
      why = "cannot read the link " + at.string() + ": " + error.message();
      return {};
    }
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
}

std::mutex outputMutex;

void say(const std::string& line) {
  std::lock_guard lock(outputMutex);
  std::fprintf(stdout, "simulator: %s\n", line.c_str());
  std::fflush(stdout);
}

// The path of a URL ("http://host:port/sdk/" -> "/sdk/").
std::string pathOf(const std::string& url) {
  const size_t host = url.find("://");
  const size_t path = url.find('/', host == std::string::npos ? 0 : host + 3);
  return path == std::string::npos ? "/" : url.substr(path);
}

// One service's requests, as log lines, and a wait for more of them.
struct Feed {
  std::string service;
  std::function<bool(size_t count, double timeoutSeconds)> waitFor;
  std::function<std::vector<std::string>()> lines;
};

std::vector<Feed> feeds(sim::Simulator& simulator) {
  auto channel = [](const std::string& service, sim::ChannelRouteServer& server) {
    const std::string base = pathOf(server.baseURL());
    return Feed{service, [&server](size_t n, double t) { return server.waitForRequests(n, t); },
                [&server, base] {
                  std::vector<std::string> out;
                  for (const auto& r : server.requests())
                    out.push_back(r.method + " " + base + r.route + (r.query.empty() ? "" : "?" + r.query));
                  return out;
                }};
  };
  sim::GamePageServer& page = simulator.page();
  sim::PlatformAPIServer& api = simulator.platformAPI();
  return {channel("channel-sdk", simulator.channel()), channel("channel-game", simulator.game()),
          Feed{"game-page", [&page](size_t n, double t) { return page.waitForRequests(n, t); },
               [&page] {
                 std::vector<std::string> out;
                 for (const auto& target : page.requests()) out.push_back("GET " + target);
                 return out;
               }},
          Feed{"platform-api", [&api](size_t n, double t) { return api.waitForRequests(n, t); },
               [&api] {
                 std::vector<std::string> out;
                 for (const auto& r : api.requests()) out.push_back(r.method + " " + r.target());
                 return out;
               }}};
}

// Prints a feed's requests as they come, until `stopping`; then the rest.
void follow(const Feed& feed, const std::atomic<bool>& stopping) {
  size_t printed = 0;
  auto printNew = [&] {
    const std::vector<std::string> lines = feed.lines();
    for (; printed < lines.size(); ++printed) say(feed.service + " " + lines[printed]);
  };
  while (!stopping) {
    // Wakes for the next request, or now and then to see whether to stop.
    if (feed.waitFor(printed + 1, 0.2)) printNew();
  }
  printNew();
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else: SIGTERM and SIGINT wait for the loop below, in
  // every thread the services start.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);

  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::printf("simulator: every service the game client talks to, on 127.0.0.1\n%s", kUsage);
      return 0;
    }
  }
  Options options;
  std::string why;
  if (!readOptions(argc, argv, options, why)) return usage(why);
  // Refused before any service starts: no file can be written at no path.
  if (options.services.empty()) {
    std::fprintf(stderr, "simulator: cannot write the services file: the path is empty\n");
    return 1;
  }

  std::unique_ptr<sim::Simulator> simulator;
  try {
    simulator = std::make_unique<sim::Simulator>(options.gameId, options.ports);
  } catch (const sim::PortUnavailable& error) {
    std::fprintf(stderr, "simulator: %s\n", error.what());
    return 1;
  }
  simulator->platform().setSpeedUpEnabled(options.speedUp);
  say("channel SDK server " + simulator->channel().baseURL());
  say("channel game server " + simulator->game().baseURL());
  say("game page " + simulator->page().pageURL());
  say("platform API " + simulator->platformAPI().baseURL());
  const sim::PlatformAccount account = readyAccount();
  simulator->platform().addAccount(account);
  std::error_code ignored;
  const std::string services = std::filesystem::absolute(options.services, ignored).string();
  const std::string file = servicesFileBehind(services, why);
  if (file.empty()) {
    std::fprintf(stderr, "simulator: cannot write the services file %s: %s\n", services.c_str(), why.c_str());
    return 1;
  }
  kit::Ref<kit::Error> error;
  if (!simulator->writeConfiguration(file, &error)) {
    std::fprintf(stderr, "simulator: cannot write the services file %s: %s\n", services.c_str(),
                 whyNotWritten(file, error).c_str());
    return 1;
  }
  say("services file " + services + " (run the client with GAMECLIENT_SERVICES=" + services + ")");

  std::atomic<bool> stopping = false;
  std::vector<std::thread> followers;
  const std::vector<Feed> all = feeds(*simulator);
  for (const Feed& feed : all) followers.emplace_back([&feed, &stopping] { follow(feed, stopping); });
  say("ready; log in as " + account.userName + " with password " + account.password +
      "; SIGTERM or SIGINT ends it");

  int signal = 0;
  sigwait(&ending, &signal);
  stopping = true;
  for (auto& follower : followers) follower.join();
  say("signal " + std::to_string(signal) + ", stopping");
  simulator.reset();
  return 0;
}
