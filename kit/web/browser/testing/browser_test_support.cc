// The browser engine tests' fixture and process lookups. See
// browser_test_support.h.
#include "kit/web/browser/testing/browser_test_support.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "kit/web/browser/browser_runtime.h"

namespace kit::test {

namespace {

// The name and parent of a process, from /proc/<pid>/stat.
bool readStat(pid_t pid, std::string& name, pid_t& parent, char& state) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  const size_t open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  name = line.substr(open + 1, close - open - 1);
  std::istringstream rest(line.substr(close + 2));
  rest >> state >> parent;
  return static_cast<bool>(rest);
}

}  // namespace

void BrowserEngineTest::SetUp() {
  if (!browserEngineAvailable()) GTEST_SKIP() << "the browser engine cannot run here: " << browserEngineUnavailableReason();
  useBrowserEngine();
}

namespace {

std::vector<pid_t> childrenNamed(pid_t parent, bool (*wanted)(const std::string& name)) {
  if (parent == 0) parent = getpid();
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::string name;
    pid_t ppid = 0;
    char state = 0;
    if (readStat(pid, name, ppid, state) && ppid == parent && state != 'Z' && wanted(name)) found.push_back(pid);
  }
  closedir(proc);
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

// The kernel keeps 15 characters of a process name.
std::vector<pid_t> webContentProcesses(pid_t parent) {
  return childrenNamed(parent, [](const std::string& name) { return name == "WebKitWebProces"; });
}

std::vector<pid_t> webKitProcesses(pid_t parent) {
  return childrenNamed(parent, [](const std::string& name) { return name.rfind("WebKit", 0) == 0; });
}

bool processHasExited(pid_t pid) {
  std::string name;
  pid_t parent = 0;
  char state = 0;
  return !readStat(pid, name, parent, state) || state == 'Z' || state == 'X';
}

}  // namespace kit::test
