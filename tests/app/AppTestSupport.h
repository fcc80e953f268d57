// Helpers of the application's end-to-end tests: running the kavreto command
// as a child process, and decoding a video back with FFmpeg.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ScratchDirectory.h"

// A directory under the system's temporary directory, removed with everything in it.
using TempDir = ScratchDirectory;

// A child process with its standard error captured.
class ChildProcess {
 public:
  // env entries "NAME=value" are added to (or replace in) this process's environment, in
  // which LANG is zh_CN.UTF-8 and LC_ALL, LC_MESSAGES and LANGUAGE are unset.
  ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& env);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Reads what is available; waits up to `timeoutMs` until `text` appears in stderr.
  bool waitForStderr(const std::string& text, int timeoutMs);
  // Waits for the exit; returns the exit status, or -1 on timeout (child killed),
  // or 128 + signal when a signal ended it.
  int wait(int timeoutMs);
  const std::string& stderrText() const { return stderr_; }
  const std::string& stdoutText() const { return stdout_; }

 private:
  void pump(int timeoutMs);
  pid_t pid_ = -1;
  int stderrFd_ = -1;
  int stdoutFd_ = -1;
  std::string stderr_;
  std::string stdout_;
  bool exited_ = false;
  int status_ = -1;
};

// Path of the built kavreto program.
std::string KavretoProgram();
// Number of LibreOffice processes running now whose command line contains
// `marker` (a conversion's private temporary directory).
int OfficeProcessCount(const std::string& marker);
// The id of an office (soffice) process that has the file at `path` open, or 0 when none has.
pid_t OfficeHavingOpen(const std::string& path);
// Files in `dir` whose names start with `prefix`.
std::vector<std::string> FilesWithPrefix(const std::string& dir, const std::string& prefix);
bool FileExists(const std::string& path);

// A video decoded back: every frame as a small RGB picture, and its time in seconds.
struct DecodedVideo {
  static constexpr int kWidth = 88;
  static constexpr int kHeight = 72;
  std::vector<std::vector<uint8_t>> frames;  // kWidth x kHeight x 3, RGB, top row first
  std::vector<double> times;                 // presentation time of each frame
  std::string errors;                        // what the decoder complained about
};
// Decodes with the ffmpeg and ffprobe programs. Empty frames on failure.
DecodedVideo DecodeVideo(const std::string& path);

// The picture size of a video's first video stream (0 x 0 when it has none).
struct VideoStreamInfo {
  int width = 0;
  int height = 0;
};
VideoStreamInfo ProbeVideo(const std::string& path);
