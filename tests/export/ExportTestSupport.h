#pragma once
// Helpers for the export tests: one export with its messages and office processes recorded,
// a private temporary directory, and checks that nothing of the office is left behind.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "ExportOptions.h"
#include "ScratchDirectory.h"
#include "StrictMhtmlReader.h"
#include "TestFiles.h"

struct ExportRun {
  int result = -1;
  std::vector<std::string> messages;
  std::vector<pid_t> officePids;  // every office process the export started
};

// The shared corpus of real presentations (MANIFEST.tsv, ppt/), beside the repository.
inline const std::string kCorpusDir = KAVRETO_SOURCE_DIR "/../shared/corpus/";

// Runs ExportPresentation with `options`, recording what it reports.
ExportRun RunExport(const std::string& source, const std::string& archive, ExportOptions options = {});

// True while a process with this id exists and is an office (soffice.bin) process.
bool IsOfficeProcess(pid_t pid);

// True while a process with this id exists and is not a zombie.
bool IsLiveProcess(pid_t pid);

// Waits up to `limit` for `pid` to be gone, or a zombie whose threads have all ended (so that
// its parent can reap it); true when it is.
bool WaitUntilGone(pid_t pid, std::chrono::milliseconds limit);

// The export helper program (tests/export/ExportHelper.cpp) run as a child process, its
// standard input and output on pipes, its environment this process's.
class HelperProcess {
 public:
  explicit HelperProcess(const std::vector<std::string>& arguments);
  ~HelperProcess();  // kills it if it still runs
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The next line it writes (without the newline), waiting up to `limit`; empty on timeout
  // or end of output.
  std::string readLine(std::chrono::milliseconds limit);
  // Reads lines until one starts with `prefix`; returns the rest of it ("" when none came).
  std::string waitFor(const std::string& prefix, std::chrono::milliseconds limit);
  void closeInput();
  void kill(int signal);
  // Waits for it to end; its exit status, or -1 on timeout or when killed.
  int wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buffer_;
  bool reaped_ = false;
};

// Pipe files in /tmp named after this test process's office pipes (a killed office leaves them).
std::vector<std::string> LeftoverPipeFiles();

// Points TMPDIR at a fresh directory for the lifetime of the object (restoring the old value
// afterwards), so a test can check that an export leaves no temporary file behind.
class PrivateTmpDir {
 public:
  PrivateTmpDir();
  ~PrivateTmpDir();
  const std::string& path() const { return dir_.path(); }

 private:
  ScratchDirectory dir_;
  std::string old_;
  bool hadOld_ = false;
};
