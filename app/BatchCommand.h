// `kavreto convert`: drives the main dialog off screen, one file after another. The
// settings go to the dialog through its typed setters, the presentations and output
// files come from the command line, messages go to standard error, and progress is shown
// on standard error (a bar, or lines when not on a terminal) or as JSON lines on
// standard output. One exporter serves the whole run. UI thread only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <string>

#include "BatchOptions.h"
#include "ProcessStats.h"
#include "ProgressJson.h"

class BatchExporter;
class BatchPrompts;
class CConverterDlg;
class QSocketNotifier;

class BatchCommand : public QObject {
  Q_OBJECT
 public:
  // Exit codes.
  static constexpr int kReachedEnd = 0;    // every file reached the end of its show
  static constexpr int kFailed = 1;        // at least one file failed
  static constexpr int kBadArguments = 2;  // also: settings an output cannot carry
  static constexpr int kStopped = 3;       // Ctrl-C, SIGTERM or --timeout

  explicit BatchCommand(BatchOptions options);
  ~BatchCommand() override;
  // Runs every conversion; returns the exit code. The QApplication must exist.
  int run();

 private:
  enum class FileState { Done, Failed, Stopped };
  struct FileResult {
    FileState state = FileState::Failed;
    std::string message;
  };

  void installSignalHandlers();
  void onSignal();
  void stop(const char* why);
  // Refuses, before anything starts, outputs that cannot carry the settings.
  bool checkOutputs();
  FileResult convert(const BatchOptions::Job& job);
  // How the file's conversion ended, from the dialog's outcome.
  FileResult conversionResult() const;
  void showProgress(bool final);
  void emitJson(const char* state, const std::string& message = {});
  void printSummary(const BatchOptions::Job& job, const FileResult& result);
  // Counters for the benchmark: --stats or the environment variable KAVRETO_STATS.
  bool statsWanted() const;
  void printStats();

  BatchOptions options_;
  std::unique_ptr<BatchPrompts> prompts_;
  std::unique_ptr<BatchExporter> exporter_;
  std::unique_ptr<CConverterDlg> dialog_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  const BatchOptions::Job* job_ = nullptr;  // the file being converted
  int jobIndex_ = 0;
  QElapsedTimer clock_;      // from the command's start
  QElapsedTimer fileClock_;  // from the current file's start
  QElapsedTimer filming_;    // from the start of the conversion's timer to its stop
  double filmingSeconds_ = 0;
  double firstFrameSeconds_ = -1;  // process age when the first frame of the run was written
  std::string stopReason_;
  bool stopped_ = false;
  bool filmingStarted_ = false;  // the current file's conversion has started
  bool tty_ = false;
  bool json_ = false;
  int lastSlide_ = -1;
  qint64 lastLineMs_ = 0;
  int lastJsonSlide_ = -1;
  qint64 lastJsonMs_ = 0;
  ProcessStats stats_;
};
