#include "OfficeProcess.h"

#include <fcntl.h>
#include <rtl/digest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <rtl/ustring.hxx>
#include <vector>

extern char** environ;

using rtl::OUString;

namespace {

using namespace std::chrono_literals;

// Where the office's pipe implementation puts its socket files.
std::string PipeDirectory() { return ::access("/tmp", W_OK) == 0 ? "/tmp" : "/var/tmp"; }

// The office names its single-instance pipe after an MD5 of the profile URL (as UTF-16),
// written as hexadecimal bytes without leading zeros.
std::string SingleInstancePipeName(const std::string& profileUrl) {
  const OUString url = OUString(profileUrl.data(), static_cast<sal_Int32>(profileUrl.size()), RTL_TEXTENCODING_UTF8);
  sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
  if (rtl_digest_MD5(url.getStr(), static_cast<sal_uInt32>(url.getLength() * sizeof(sal_Unicode)), digest,
                     sizeof digest) != rtl_Digest_E_None)
    return {};
  std::string name = "SingleOfficeIPC_";
  static const char kHex[] = "0123456789abcdef";
  for (sal_uInt8 byte : digest) {
    if (byte >= 16) name.push_back(kHex[byte >> 4]);
    name.push_back(kHex[byte & 15]);
  }
  return name;
}

}  // namespace

OfficeProcess::~OfficeProcess() {
  disarmWatchdog();
  if (pid_ > 0) end(0ms);
}

bool OfficeProcess::start(const Settings& settings) {
  disarmWatchdog();
  if (!hasExited()) kill();
  settings_ = settings;
  exitCode_ = -1;

  const std::string program = settings.programDir + "/soffice.bin";
  std::vector<std::string> args = {
      program,
      "--headless",
      "--invisible",
      "--norestore",
      "--nolockcheck",
      "--nologo",
      "--nodefault",
      "-env:UserInstallation=" + settings.profileUrl,
      "--accept=pipe,name=" + settings.pipeName + ";urp;StarOffice.ComponentContext",
  };
  std::vector<std::string> env;
  // The office gets its own temporary directory, and finds its own UNO bootstrap files (a
  // URE_BOOTSTRAP meant for the calling program would point it elsewhere).
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (std::strncmp(*e, "TMPDIR=", 7) != 0 && std::strncmp(*e, "URE_BOOTSTRAP=", 14) != 0) env.emplace_back(*e);
  }
  if (!settings.tempDir.empty()) env.push_back("TMPDIR=" + settings.tempDir);

  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // The office must not hold on to the caller's descriptors (sockets, pipes of a test runner).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  // Its own process group, so that killing it also ends anything it started.
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  pid_t child = -1;
  const int rc = posix_spawn(&child, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;

  std::lock_guard lock(mutex_);
  pid_ = child;
  reaped_ = false;
  return true;
}

bool OfficeProcess::hasExited() {
  std::lock_guard lock(mutex_);
  if (reaped_) return true;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == 0) return false;
  if (r == pid_) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  }
  // r < 0: not our child any more (reaped elsewhere); treat it as gone.
  reaped_ = true;
  return true;
}

bool OfficeProcess::waitForExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!hasExited()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

void OfficeProcess::signalLocked(int signal) {
  if (reaped_ || pid_ <= 0) return;
  ::kill(-pid_, signal);  // the process group it leads
  ::kill(pid_, signal);
}

void OfficeProcess::kill() {
  {
    std::lock_guard lock(mutex_);
    if (reaped_) return;
    signalLocked(SIGKILL);
  }
  waitForExit(10s);
  removePipeFiles();
}

bool OfficeProcess::end(std::chrono::milliseconds limit) {
  disarmWatchdog();
  const bool byItself = waitForExit(limit);
  if (!byItself) kill();
  // A process that did not shut down in order leaves its pipe files behind.
  removePipeFiles();
  return byItself;
}

void OfficeProcess::removePipeFiles() const {
  if (settings_.pipeName.empty()) return;
  const std::string prefix = PipeDirectory() + "/OSL_PIPE_" + std::to_string(::getuid()) + "_";
  ::unlink((prefix + settings_.pipeName).c_str());
  const std::string single = SingleInstancePipeName(settings_.profileUrl);
  if (!single.empty()) ::unlink((prefix + single).c_str());
}

void OfficeProcess::armWatchdog(std::chrono::milliseconds limit) {
  disarmWatchdog();
  std::lock_guard lock(mutex_);
  watchdogArmed_ = true;
  watchdogFired_ = false;
  watchdogDeadline_ = std::chrono::steady_clock::now() + limit;
  watchdog_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    if (!watchdogWake_.wait_until(lock, watchdogDeadline_, [this] { return !watchdogArmed_; })) {
      watchdogFired_ = true;
      signalLocked(SIGKILL);
    }
  });
}

void OfficeProcess::disarmWatchdog() {
  {
    std::lock_guard lock(mutex_);
    watchdogArmed_ = false;
  }
  watchdogWake_.notify_all();
  if (watchdog_.joinable()) watchdog_.join();
}

bool OfficeProcess::watchdogFired() const {
  std::lock_guard lock(mutex_);
  return watchdogFired_;
}
