#pragma once
// One headless LibreOffice process (soffice.bin) that KAVRETO starts and owns: its own profile,
// its own temporary directory, its own listening pipe, its own process group. The object makes
// sure the process ends: whoever destroys it while the process still runs kills the process
// group and reaps it. A watchdog can be armed to kill the process after a time limit, which
// turns a hanging office call into a broken connection.
//
// The office also ends when the process that started it dies, however it dies (SIGKILL, the
// out-of-memory killer): it gets the parent-death signal SIGKILL, and a small guard process in
// its process group, forked from this one, holds the read end of a pipe whose write end only
// this process holds; when that end closes the guard kills the whole group, so whatever the
// office started goes too. Note: the parent-death signal follows the thread that called
// start(); when that thread ends, the office is killed.
//
// Threads: start/hasExited/waitForExit/kill/end/the destructor from the owning thread; the
// watchdog thread only signals the process, under a mutex, so a process is never signalled
// after it has been reaped.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class OfficeProcess {
 public:
  struct Settings {
    std::string programDir;  // directory holding soffice.bin
    std::string profileUrl;  // file URL of the private profile directory
    std::string pipeName;    // name of the pipe the office accepts UNO connections on
    std::string tempDir;     // TMPDIR for the office (its temporary files go there)
  };

  OfficeProcess() = default;
  ~OfficeProcess();
  OfficeProcess(const OfficeProcess&) = delete;
  OfficeProcess& operator=(const OfficeProcess&) = delete;

  // Starts soffice.bin; false when it could not be started. A process still running from an
  // earlier start() is killed and reaped first.
  bool start(const Settings& settings);
  pid_t pid() const { return pid_; }

  // Reaps without blocking: true once the process has ended (then exitCode() is valid).
  bool hasExited();
  // Exit status, or 128 + signal number when a signal ended it; -1 while unknown.
  int exitCode() const { return exitCode_; }
  // Waits up to `limit` for the process to end; true when it has ended.
  bool waitForExit(std::chrono::milliseconds limit);
  // Sends SIGKILL to the process group and reaps the process (waits at most a few seconds),
  // then removes the pipe files a killed office leaves in /tmp.
  void kill();

  // Kills the process once `limit` has passed, unless disarmed before. Re-arming restarts it.
  void armWatchdog(std::chrono::milliseconds limit);
  void disarmWatchdog();

  // Ends the process: waits up to `limit` for it to exit by itself, then kills it (and
  // anything left in its process group), and removes any pipe files it left. Returns true
  // when it exited by itself.
  bool end(std::chrono::milliseconds limit);

  // The pipe files (socket files in /tmp) an office started with `settings` makes; a killed
  // office leaves them behind.
  static std::vector<std::string> PipeFiles(const Settings& settings);

  // A pipe name no other process uses at the same time: "kavreto-<process id>-<random>".
  static std::string UniquePipeName();

  // Exit status with which a brand-new profile makes soffice.bin ask to be started again.
  static constexpr int kRestartRequested = 81;

 private:
  void signalLocked(int signal);
  void endGuard();
  void removePipeFiles() const;

  Settings settings_;
  pid_t pid_ = -1;
  int exitCode_ = -1;
  bool reaped_ = true;
  pid_t guard_ = -1;    // the guard process, while not reaped
  int guardPipe_ = -1;  // write end of the guard's pipe

  mutable std::mutex mutex_;
  std::condition_variable watchdogWake_;
  std::thread watchdog_;
  bool watchdogArmed_ = false;
  std::chrono::steady_clock::time_point watchdogDeadline_;
};
