// The batch command's command line (parsed with QCommandLineParser; usage() lists every
// option with its range and default):
//   kavreto convert INPUT OUTPUT [options]
//   kavreto convert INPUT... --output-dir DIR [--format mp4|flv|swf|wmv|mov|mpg] [options]
//   kavreto [FILE]       the dialog, with FILE chosen as if opened with its 打开文件 button
//   kavreto --help | --version
// Options take their value as `--opt value` or `--opt=value`. The ranges and defaults are
// EncodePresets'.
//
// Threads: any thread (parsing only; needs no application object).
#pragma once

#include <string>
#include <vector>

#include "EncodePresets.h"

struct BatchOptions {
  enum class Action { RunDialog, Convert, Help, Version, Error };
  enum class Progress { Bar, Json };

  // One file of the run: a presentation and the video it becomes.
  struct Job {
    std::string input;
    std::string output;
  };

  Action action = Action::RunDialog;
  std::vector<Job> jobs;  // in the order given
  std::string outputDir;  // the many-file form; empty in the two-argument form
  std::string format = "mp4";
  int width = EncodePresets::kDefaultWidth;  // the dialog's defaults
  int height = EncodePresets::kDefaultHeight;
  int autoHeight = 0;  // --size auto: the deck's aspect ratio at this height; 0: width x height
  int fps = EncodePresets::kDefaultFrameRate;
  int quality = EncodePresets::kDefaultQuality;
  int kbps = 0;  // --kbps; 0: the bit rate comes from the quality
  double holdSeconds = EncodePresets::kDefaultHoldSeconds;
  bool useTimings = false;
  bool realtime = false;
  bool mute = false;  // --mute: no audio stream
  double timeoutSeconds = 0;  // per file; 0: no limit
  Progress progress = Progress::Bar;
  bool printStats = false;       // hidden --stats: counters for the benchmarks
  bool verbose = false;          // --verbose: FFmpeg's, the encoder's and the browser's own output too
  std::string openPath;          // `kavreto FILE`: the dialog starts with FILE chosen
  std::string error;             // for Action::Error
  bool errorWantsUsage = false;  // the command line's form was wrong (not just a value)

  static BatchOptions parse(const std::vector<std::string>& args);  // args without the program name
  static std::string usage();
  // The bit rate and its label's kbps, from --kbps or else --quality.
  int bitRateKbps() const { return kbps > 0 ? kbps : EncodePresets::KbpsFromQuality(quality); }
  // "1280x720", or "auto (height 720)".
  std::string sizeText() const;
  // The output extensions --format takes; the first is the default.
  static const std::vector<std::string>& formats();
};
