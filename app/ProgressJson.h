// The batch command's machine-readable progress (--progress json): one JSON object per
// line on standard output, for each progress step of a file and for its end:
//   {"file":"deck.ppt","output":"out/deck.mp4","state":"filming","slide":2,"slides":4,
//    "frames":57,"video_seconds":2.28,"elapsed_seconds":3.91}
// `state` is exporting, filming, done, failed or stopped; `message` is added on failure
// (and says why a file was stopped). `elapsed_seconds` counts from the file's start.
//
// Threads: pure functions, any thread. No Qt.
#pragma once

#include <cstdint>
#include <string>

class ProgressJson {
 public:
  struct Record {
    std::string file;
    std::string output;
    std::string state;
    int slide = 0;
    int slides = 0;
    uint64_t frames = 0;
    double videoSeconds = 0;
    double elapsedSeconds = 0;
    std::string message;  // written only when not empty
  };

  // The record as one line of JSON, without the line feed.
  static std::string Line(const Record& record);
  // `text` as a JSON string, quotes included. UTF-8 passes through; bytes that are not
  // valid UTF-8 become U+FFFD, so the line always parses.
  static std::string Quote(const std::string& text);
};
