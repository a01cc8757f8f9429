// The main job. Until the client is assembled on top of kit, this program
// exercises the platform layer the way the client will and writes what it
// saw to the output folder; it exits non-zero when a check fails.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace {

struct Step {
  std::string name;
  std::string observed;
  bool ok;
};

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path out = argc > 1 ? argv[1] : "out/demo";
  std::filesystem::create_directories(out);
  std::vector<Step> steps;
  auto check = [&](std::string name, std::string observed, std::string expected) {
    bool ok = observed == expected;
    std::printf("%s %-40s %s\n", ok ? "ok  " : "FAIL", name.c_str(), observed.c_str());
    steps.push_back({std::move(name), std::move(observed), ok});
  };

  // A page message as the game page posts it, read the way the client reads it.
  kit::Id message = kit::dict({{"action", "login"}, {"data", kit::dict({{"role_id", 7}, {"role_name", "领主"}})}});
  check("action text", kit::describe(message["action"]), "login");
  check("missing field reads (null)", kit::describe(message["data"]["service_id"]), "(null)");
  check("role id is set", kit::isSet(message["data"]["role_id"]) ? "yes" : "no", "yes");
  check("callback script", kit::formatString("CallbackFromIOS('%@')", kit::str("{}")), "CallbackFromIOS('{}')");
  check("UTF-16 length", std::to_string(kit::str("a😀b")->length()), "4");
  check("reply log text", kit::describe(kit::dict({{"msg", "领取成功"}})), "{\n    msg = \"领取成功\";\n}");

  std::ofstream report(out / "report.txt");
  int failures = 0;
  for (const Step& s : steps) {
    report << (s.ok ? "ok   " : "FAIL ") << s.name << ": " << s.observed << "\n";
    failures += !s.ok;
  }
  std::printf("%zu checks, %d failed; report in %s\n", steps.size(), failures, (out / "report.txt").c_str());
  return failures ? 1 : 0;
}
