// The batch command's command line:
//   kavreto convert INPUT OUTPUT [--size 720x540|640x480|352x288] [--fps 1-30]
//                                [--quality 1-100] [--timeout SECONDS]
// Any thread (plain parsing, no Qt objects).
#pragma once

#include <string>
#include <vector>

struct BatchOptions {
  enum class Action { RunDialog, Convert, Help, Version, Error };
  Action action = Action::RunDialog;
  std::string input;
  std::string output;
  int width = 352;  // the dialog's defaults
  int height = 288;
  int fps = 25;
  int quality = 10;
  double timeoutSeconds = 0;  // 0: no limit
  bool printStats = false;    // hidden --stats: counters for the benchmark
  std::string error;          // for Action::Error

  static BatchOptions parse(const std::vector<std::string>& args);  // args without the program name
  static std::string usage();
};
