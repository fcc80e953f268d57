#include "ProcessStats.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

struct ProcessEntry {
  long parent = 0;
  long rssPages = 0;
  long cpuTicks = 0;  // utime + stime + cutime + cstime
};

// Every process in /proc, by id.
std::map<long, ProcessEntry> ReadProcesses() {
  std::map<long, ProcessEntry> processes;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return processes;
  while (dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // The command name (field 2) may hold spaces and parentheses: fields resume after the last ')'.
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 > line.size()) continue;
    std::istringstream rest(line.substr(close + 2));
    ProcessEntry process;
    std::string field;
    for (int i = 3; rest >> field; ++i) {  // fields counted from 1; the state is field 3
      const long value = std::atol(field.c_str());
      if (i == 4) process.parent = value;
      if (i >= 14 && i <= 17) process.cpuTicks += value;
      if (i == 24) {
        process.rssPages = value;
        break;
      }
    }
    processes[pid] = process;
  }
  ::closedir(proc);
  return processes;
}

bool DescendsFrom(const std::map<long, ProcessEntry>& processes, long pid, long ancestor) {
  for (int guard = 0; pid > 0 && guard < 64; ++guard) {
    if (pid == ancestor) return true;
    const auto it = processes.find(pid);
    if (it == processes.end()) return false;
    pid = it->second.parent;
  }
  return false;
}

double PagesToMb(long pages) {
  return static_cast<double>(pages) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

}  // namespace

double ProcessStats::TreeRssMb() {
  const std::map<long, ProcessEntry> processes = ReadProcesses();
  const long self = ::getpid();
  long pages = 0;
  for (const auto& [pid, process] : processes) {
    if (DescendsFrom(processes, pid, self)) pages += process.rssPages;
  }
  return PagesToMb(pages);
}

double ProcessStats::SelfRssMb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return PagesToMb(resident);
}

double ProcessStats::TreeCpuSeconds() {
  // This process and the children it has reaped (whose own reaped children are
  // counted in theirs), then every descendant still in /proc: a process that is
  // still there is not yet in its parent's count.
  rusage self{}, children{};
  ::getrusage(RUSAGE_SELF, &self);
  ::getrusage(RUSAGE_CHILDREN, &children);
  double seconds =
      Seconds(self.ru_utime) + Seconds(self.ru_stime) + Seconds(children.ru_utime) + Seconds(children.ru_stime);
  const std::map<long, ProcessEntry> processes = ReadProcesses();
  const long selfPid = ::getpid();
  long ticks = 0;
  for (const auto& [pid, process] : processes) {
    if (pid != selfPid && DescendsFrom(processes, pid, selfPid)) ticks += process.cpuTicks;
  }
  return seconds + static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ProcessStats::ProcessAgeSeconds() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  if (close == std::string::npos || close + 2 > line.size()) return 0;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  double startTicks = 0;
  for (int i = 3; rest >> field; ++i) {
    if (i == 22) {
      startTicks = std::atof(field.c_str());
      break;
    }
  }
  std::ifstream uptime("/proc/uptime");
  double up = 0;
  uptime >> up;
  const double age = up - startTicks / static_cast<double>(::sysconf(_SC_CLK_TCK));
  return age > 0 ? age : 0;
}

void ProcessStats::sample(int currentSlide, int slideCount) {
  const double rss = TreeRssMb();
  if (rss > peakRssMb_) peakRssMb_ = rss;
  if (currentSlide == 1 && firstSlideRssMb_ == 0) {
    firstSlideRssMb_ = rss;
    firstSlideSelfRssMb_ = SelfRssMb();
  }
  if (currentSlide >= 1 && currentSlide == slideCount) {
    lastSlideRssMb_ = rss;
    lastSlideSelfRssMb_ = SelfRssMb();
  }
}
