#include "ProcessTree.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

struct Stat {
  char state = '?';
  pid_t parent = 0;
  unsigned long long startTime = 0;
  std::string command;
};

bool ReadStat(pid_t pid, Stat& out) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return false;
  const size_t open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  out.command = line.substr(open + 1, close - open - 1);
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  for (int i = 3; rest >> field; ++i) {  // fields counted from 1
    if (i == 3) out.state = field[0];
    if (i == 4) out.parent = static_cast<pid_t>(std::atol(field.c_str()));
    if (i == 22) {
      out.startTime = std::strtoull(field.c_str(), nullptr, 10);
      return true;
    }
  }
  return false;
}

std::map<pid_t, Stat> AllProcesses() {
  std::map<pid_t, Stat> all;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    Stat stat;
    const pid_t pid = static_cast<pid_t>(std::atol(name.c_str()));
    if (ReadStat(pid, stat) && stat.state != 'Z') all[pid] = stat;
  }
  return all;
}

constexpr const char* kHelperCommand = "QtWebEngineProc";  // the kernel keeps 15 characters

}  // namespace

std::vector<ProcessRef> Descendants(pid_t root) {
  const std::map<pid_t, Stat> all = AllProcesses();
  std::vector<ProcessRef> found;
  for (const auto& [pid, stat] : all) {
    pid_t p = stat.parent;
    for (int depth = 0; depth < 32 && p > 1; ++depth) {
      if (p == root) {
        found.push_back({pid, stat.startTime});
        break;
      }
      const auto it = all.find(p);
      if (it == all.end()) break;
      p = it->second.parent;
    }
  }
  return found;
}

std::vector<ProcessRef> BrowserHelpers(pid_t root) {
  std::vector<ProcessRef> helpers;
  for (const ProcessRef& process : Descendants(root)) {
    Stat stat;
    if (ReadStat(process.pid, stat) && stat.command == kHelperCommand) helpers.push_back(process);
  }
  return helpers;
}

pid_t FindRenderer(pid_t root) {
  pid_t renderer = 0;
  for (const ProcessRef& process : BrowserHelpers(root)) {
    Stat stat, parent;
    if (ReadStat(process.pid, stat) && ReadStat(stat.parent, parent) && parent.command == kHelperCommand) {
      if (process.pid > renderer) renderer = process.pid;
    }
  }
  return renderer;
}

bool Running(const ProcessRef& process) {
  Stat stat;
  return ReadStat(process.pid, stat) && stat.state != 'Z' && stat.startTime == process.startTime;
}

bool WaitUntilNoneRuns(const std::vector<ProcessRef>& processes, int timeoutMs) {
  return PollUntil(
      [&] {
        for (const ProcessRef& process : processes)
          if (Running(process)) return false;
        return true;
      },
      timeoutMs);
}

bool PollUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
