// `kavreto convert`: drives the main dialog off screen. The settings are put
// on the dialog's controls, the presentation and the output file come from
// the command line, messages go to standard error, and progress is shown on
// standard error while the conversion runs. UI thread only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <memory>

#include "BatchOptions.h"

class BatchPrompts;
class CConverterDlg;
class QSocketNotifier;

class BatchCommand : public QObject {
  Q_OBJECT
 public:
  // Exit codes.
  static constexpr int kReachedEnd = 0;
  static constexpr int kFailed = 1;
  static constexpr int kStopped = 3;  // Ctrl-C, SIGTERM or --timeout

  explicit BatchCommand(BatchOptions options);
  ~BatchCommand() override;
  // Runs the conversion to its end; returns the exit code. The QApplication must exist.
  int run();

 private:
  void installSignalHandlers();
  void onSignal();
  void stop(const char* why);
  void showProgress(bool final);
  // Counters for the benchmark: --stats or the environment variable KAVRETO_STATS.
  bool statsWanted() const;
  void sampleMemory();
  void printStats();

  BatchOptions options_;
  std::unique_ptr<BatchPrompts> prompts_;
  std::unique_ptr<CConverterDlg> dialog_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  QElapsedTimer clock_;
  QElapsedTimer filming_;  // from the start of the conversion's timer to its stop
  double filmingSeconds_ = 0;
  bool stopped_ = false;
  bool tty_ = false;
  int lastSlide_ = -1;
  qint64 lastLineMs_ = 0;
  double peakRssMb_ = 0;
  double firstSlideRssMb_ = 0;
  double lastSlideRssMb_ = 0;
  double firstSlideSelfRssMb_ = 0;
  double lastSlideSelfRssMb_ = 0;
};
