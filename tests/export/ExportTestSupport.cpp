#include "ExportTestSupport.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ExportPresentation.h"

namespace fs = std::filesystem;

ExportRun RunExport(const std::string& source, const std::string& archive, ExportOptions options) {
  ExportRun run;
  auto started = options.officeStarted;
  options.officeStarted = [&run, started](pid_t pid) {
    run.officePids.push_back(pid);
    if (started) started(pid);
  };
  run.result = ExportPresentation(
      source, archive, [&run](const std::string& message) { run.messages.push_back(message); }, options);
  return run;
}

bool IsOfficeProcess(pid_t pid) {
  std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
  std::string text;
  std::getline(cmdline, text, '\0');
  if (text.find("soffice") == std::string::npos) return false;
  // A zombie has no command line any more; anything readable is a live process.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

std::vector<std::string> LeftoverPipeFiles() {
  std::vector<std::string> found;
  const std::string prefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_kavreto-" + std::to_string(::getpid()) + "-";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/tmp", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
  }
  return found;
}

PrivateTmpDir::PrivateTmpDir() {
  if (const char* old = std::getenv("TMPDIR")) {
    old_ = old;
    hadOld_ = true;
  }
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
}

PrivateTmpDir::~PrivateTmpDir() {
  if (hadOld_)
    ::setenv("TMPDIR", old_.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

