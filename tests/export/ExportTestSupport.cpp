#include "ExportTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ExportPresentation.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

extern char** environ;

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

bool IsLiveProcess(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool WaitUntilGone(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // A killed process's main thread shows as a zombie while its other threads still end.
  auto threads = [pid] {
    std::error_code ec;
    size_t count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end;
         it.increment(ec))
      ++count;
    return count;
  };
  while (IsLiveProcess(pid) || threads() > 1) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

HelperProcess::HelperProcess(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = {KAVRETO_BINARY_DIR "/tests/export/export_helper"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int input[2], output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) return;
  if (::pipe2(output, O_CLOEXEC) != 0) {
    ::close(input[0]), ::close(input[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  in_ = input[1];
  out_ = output[0];
}

HelperProcess::~HelperProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
}

std::string HelperProcess::readLine(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (out_ < 0 || left.count() <= 0) return {};
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[512];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) return {};
    buffer_.append(chunk, static_cast<size_t>(got));
  }
}

std::string HelperProcess::waitFor(const std::string& prefix, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string line =
        readLine(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    if (line.empty()) break;
  }
  return {};
}

void HelperProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

void HelperProcess::kill(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

int HelperProcess::wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0 || reaped_) return -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(20ms);
  }
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

