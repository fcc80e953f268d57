#include "OfficeProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <rtl/digest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <rtl/ustring.hxx>
#include <sstream>

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

// What runs between fork and exec, or in the guard, may only make async-signal-safe calls.

void CloseDescriptorsFrom(unsigned first, unsigned last) {
  if (first > last) return;
  if (::close_range(first, last, 0) == 0) return;
  for (unsigned fd = first; fd <= last && fd < 4096; ++fd) ::close(static_cast<int>(fd));
}

void ResetSignals(const int* ignored, size_t count) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  for (int s = 1; s < NSIG; ++s) {
    action.sa_handler = SIG_DFL;
    for (size_t i = 0; i < count; ++i)
      if (ignored[i] == s) action.sa_handler = SIG_IGN;
    ::sigaction(s, &action, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// The office child: its own process group, killed when the starting thread's process goes,
// standard streams on /dev/null, no descriptor of ours, default signals. Never returns.
[[noreturn]] void ExecOffice(pid_t parent, int errorPipe, const char* program, char* const* argv, char* const* envp) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // the parent is already gone
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
  }
  // Everything else closes on exec, the error pipe too (which tells the parent exec worked).
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 4096; ++fd)
      if (fd != errorPipe) ::close(fd);
  }
  ResetSignals(nullptr, 0);
  ::execve(program, argv, envp);
  const int error = errno;
  [[maybe_unused]] const ssize_t n = ::write(errorPipe, &error, sizeof error);
  ::_exit(127);
}

// The guard: joins the office's process group and waits for end of file on its pipe, which
// comes when the process that started the office closes the write end or dies. Then it kills
// the group, itself included. Never returns.
[[noreturn]] void RunGuard(pid_t group, int readEnd) {
  if (::setpgid(0, group) != 0 || ::getpgrp() != group) ::_exit(0);
  if (readEnd > 0) CloseDescriptorsFrom(0, static_cast<unsigned>(readEnd) - 1);
  CloseDescriptorsFrom(static_cast<unsigned>(readEnd) + 1, ~0U);
  // Ended only through its pipe or its group: not by the terminal's signals.
  static const int kIgnored[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU};
  ResetSignals(kIgnored, sizeof kIgnored / sizeof kIgnored[0]);
  ::prctl(PR_SET_NAME, "kavreto-guard");
  char byte;
  while (::read(readEnd, &byte, 1) < 0 && errno == EINTR) {
  }
  ::kill(0, SIGKILL);
  ::_exit(0);
}

}  // namespace

OfficeProcess::~OfficeProcess() {
  disarmWatchdog();
  if (pid_ > 0) end(0ms);
}

std::vector<std::string> OfficeProcess::PipeFiles(const Settings& settings) {
  std::vector<std::string> files;
  if (settings.pipeName.empty()) return files;
  const std::string prefix = PipeDirectory() + "/OSL_PIPE_" + std::to_string(::getuid()) + "_";
  files.push_back(prefix + settings.pipeName);
  const std::string single = SingleInstancePipeName(settings.profileUrl);
  if (!single.empty()) files.push_back(prefix + single);
  return files;
}

std::string OfficeProcess::UniquePipeName() {
  std::random_device random;
  std::ostringstream name;
  name << "kavreto-" << ::getpid() << "-" << std::hex << random() << random();
  return name.str();
}

bool OfficeProcess::start(const Settings& settings) {
  disarmWatchdog();
  if (!hasExited()) kill();
  endGuard();
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

  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) return false;

  // No signal handler of ours may run in a child before it has reset its signals.
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  const pid_t parent = ::getpid();
  // _Fork runs no fork handlers: the children make only async-signal-safe calls.
  const pid_t child = ::_Fork();
  if (child == 0) ExecOffice(parent, errorPipe[1], program.c_str(), argv.data(), envp.data());
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ::close(errorPipe[1]);
  if (child < 0) {
    ::close(errorPipe[0]);
    return false;
  }
  ::setpgid(child, child);  // also here, so the group exists whichever of the two runs first

  // Wait for the exec: end of file means it worked, an error number means it did not.
  int error = 0;
  ssize_t got;
  do {
    got = ::read(errorPipe[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(errorPipe[0]);
  if (got > 0) {
    ::waitpid(child, nullptr, 0);
    return false;
  }

  {
    std::lock_guard lock(mutex_);
    pid_ = child;
    reaped_ = false;
  }

  // The guard. Without one (it could not be made) the parent-death signal still ends the
  // office itself.
  int guardPipe[2];
  if (::pipe2(guardPipe, O_CLOEXEC) == 0) {
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t guard = ::_Fork();
    if (guard == 0) RunGuard(child, guardPipe[0]);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(guardPipe[0]);
    if (guard > 0 && ::setpgid(guard, child) == 0) {
      std::lock_guard lock(mutex_);
      guard_ = guard;
      guardPipe_ = guardPipe[1];
    } else {
      if (guard > 0) {
        ::kill(guard, SIGKILL);
        ::waitpid(guard, nullptr, 0);
      }
      ::close(guardPipe[1]);
    }
  }
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
  // The group cannot have been reused while the office or the guard (a member) is unreaped.
  if (pid_ > 0 && (!reaped_ || guard_ > 0)) ::kill(-pid_, signal);
  if (!reaped_ && pid_ > 0) ::kill(pid_, signal);
}

void OfficeProcess::endGuard() {
  pid_t guard;
  {
    std::lock_guard lock(mutex_);
    // Whatever the office left in its group goes with the guard.
    if (guard_ > 0) ::kill(-pid_, SIGKILL);
    guard = guard_;
    guard_ = -1;
    if (guardPipe_ >= 0) ::close(guardPipe_);
    guardPipe_ = -1;
  }
  if (guard > 0) {
    while (::waitpid(guard, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

void OfficeProcess::kill() {
  {
    std::lock_guard lock(mutex_);
    if (reaped_ && guard_ <= 0) return;
    signalLocked(SIGKILL);
  }
  waitForExit(10s);
  endGuard();
  removePipeFiles();
}

bool OfficeProcess::end(std::chrono::milliseconds limit) {
  disarmWatchdog();
  const bool byItself = waitForExit(limit);
  if (!byItself) kill();
  endGuard();
  // A process that did not shut down in order leaves its pipe files behind.
  removePipeFiles();
  return byItself;
}

void OfficeProcess::removePipeFiles() const {
  for (const std::string& file : PipeFiles(settings_)) ::unlink(file.c_str());
}

void OfficeProcess::armWatchdog(std::chrono::milliseconds limit) {
  disarmWatchdog();
  std::lock_guard lock(mutex_);
  watchdogArmed_ = true;
  watchdogDeadline_ = std::chrono::steady_clock::now() + limit;
  watchdog_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    if (!watchdogWake_.wait_until(lock, watchdogDeadline_, [this] { return !watchdogArmed_; })) signalLocked(SIGKILL);
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
