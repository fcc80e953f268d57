#pragma once
// What FFmpeg and its encoders print. By default only their warnings and errors reach
// standard error, each as one whole line (FFmpeg hands a line over in pieces, from any
// thread), so the encoder's statistics and stream dumps do not drown the program's own
// progress; on a terminal the line first clears the progress bar's line. Verbose restores
// FFmpeg's own output, informational lines included.
//
// Threads: Install() before any encoding starts (it sets FFmpeg's process-wide log
// callback); the callback itself may then run on any thread.

#include <string>

class FfmpegLog {
 public:
  static void Install(bool verbose);
  // The one line a quiet log prints for a finished message: inner line breaks become spaces,
  // the text ends with exactly one newline. Exposed for tests.
  static std::string OneLine(const std::string& message);
};
