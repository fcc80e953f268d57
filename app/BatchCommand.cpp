#include "BatchCommand.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "BatchExporter.h"
#include "BatchPrompts.h"
#include "CConverterDlg.h"
#include "OutputCheck.h"

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int number) {
  const char byte = static_cast<char>(number);
  [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
  // A second Ctrl-C ends the program at once.
  ::signal(number, SIG_DFL);
}

QString Local(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }

}  // namespace

BatchCommand::BatchCommand(BatchOptions options) : options_(std::move(options)) {}

BatchCommand::~BatchCommand() {
  dialog_.reset();
  exporter_.reset();
  if (g_signalPipe[0] >= 0) {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
}

void BatchCommand::installSignalHandlers() {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalNotifier_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
  connect(signalNotifier_.get(), &QSocketNotifier::activated, this, [this] { onSignal(); });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

void BatchCommand::onSignal() {
  char byte = 0;
  while (::read(g_signalPipe[0], &byte, 1) == 1) {
  }
  stop(byte == SIGTERM ? "SIGTERM" : "SIGINT");
}

void BatchCommand::stop(const char* why) {
  if (stopped_) return;
  stopped_ = true;
  stopReason_ = why;
  // During an export the conversion has not started yet; it is stopped as soon as it has.
  if (dialog_ != nullptr && dialog_->conversionRunning()) {
    std::fprintf(stderr, "%sstopping (%s); completing the file...\n", tty_ ? "\r\033[K" : "", why);
    dialog_->StopConversion();
  }
}

bool BatchCommand::checkOutputs() {
  EncodeSettings settings;
  settings.width = options_.width;
  settings.height = options_.height;
  settings.frameRate = options_.fps;
  settings.bitRate = EncodePresets::BitRateFromKbps(options_.bitRateKbps());
  for (const BatchOptions::Job& job : options_.jobs) {
    const std::string problem = OutputCheck::Problem(job.output, settings, options_.autoHeight == 0);
    if (!problem.empty()) {
      std::fprintf(stderr, "kavreto: %s: %s\n", job.output.c_str(), problem.c_str());
      return false;
    }
  }
  return true;
}

int BatchCommand::run() {
  tty_ = ::isatty(2) == 1;
  json_ = options_.progress == BatchOptions::Progress::Json;
  clock_.start();
  installSignalHandlers();
  // Past a file size limit a write should fail (and be reported), not end the process.
  ::signal(SIGXFSZ, SIG_IGN);
  if (!checkOutputs()) return kBadArguments;
  if (!options_.outputDir.empty() && !QDir().mkpath(Local(options_.outputDir))) {
    std::fprintf(stderr, "kavreto: cannot make the output directory %s\n", options_.outputDir.c_str());
    return kFailed;
  }

  prompts_ = std::make_unique<BatchPrompts>();
  exporter_ = std::make_unique<BatchExporter>();
  exporter_->warmUp();  // the office starts while the dialog and its browser are made
  dialog_ = std::make_unique<CConverterDlg>(prompts_.get(), /*withBanner=*/false);
  // Every slide gets its progress line, however fast the show is filmed.
  connect(&dialog_->slideShowWindow(), &CSlideShowDlg::slideChanged, this, [this] {
    if (filming_.isValid()) showProgress(false);
  });
  if (options_.autoHeight > 0) {
    dialog_->setAutoPictureSize(options_.autoHeight);
  } else {
    dialog_->setPictureSize(options_.width, options_.height);
  }
  dialog_->setFrameRate(options_.fps);
  dialog_->setQuality(options_.quality);
  dialog_->setKbps(options_.kbps);
  ConversionOptions conversion;
  conversion.realtime = options_.realtime;
  conversion.mute = options_.mute;
  conversion.holdSeconds = options_.holdSeconds;
  conversion.useTimings = options_.useTimings;
  dialog_->setConversionOptions(conversion);
  dialog_->setExportFunction(
      [this](const std::string& source, const std::string& archive, const ExportNotifier& notify) {
        return exporter_->exportPresentation(source, archive, notify);
      });

  QTimer timeout;
  if (options_.timeoutSeconds > 0) {
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this, [this] { stop("timeout"); });
    timeout.start(static_cast<int>(std::min(options_.timeoutSeconds * 1000, 2.0e9)));
  }

  int done = 0, failed = 0, stopped = 0, notStarted = 0;
  for (const BatchOptions::Job& job : options_.jobs) {
    if (stopped_) {
      std::fprintf(stderr, "not started: %s\n", job.input.c_str());
      ++notStarted;
      continue;
    }
    ++jobIndex_;
    const FileResult result = convert(job);
    printSummary(job, result);
    if (result.state == FileState::Done) ++done;
    if (result.state == FileState::Failed) ++failed;
    if (result.state == FileState::Stopped) ++stopped;
  }
  exporter_->close();
  job_ = nullptr;
  if (options_.jobs.size() > 1) {
    std::fprintf(stderr, "%zu files: %d done, %d failed, %d stopped, %d not started\n", options_.jobs.size(), done,
                 failed, stopped, notStarted);
  }
  if (stopped_) return kStopped;
  return failed == 0 ? kReachedEnd : kFailed;
}

BatchCommand::FileResult BatchCommand::convert(const BatchOptions::Job& job) {
  job_ = &job;
  fileClock_.start();
  filmingStarted_ = false;
  filmingSeconds_ = 0;
  lastSlide_ = -1;
  lastJsonSlide_ = -1;
  lastJsonMs_ = 0;
  stats_.reset();
  const QString input = Local(job.input);
  const QFileInfo source(input);
  if (!source.isFile() || !source.isReadable()) {
    const QString text = QCoreApplication::translate("CConverterDlg", "找不到演示文稿：%1").arg(input);
    prompts_->messageBox(text);
    emitJson("failed", text.toStdString());
    return {FileState::Failed, text.toStdString()};
  }

  emitJson("exporting");
  std::fprintf(stderr, "converting %s -> %s (%s, %d fps, %d kbps)\n", job.input.c_str(), job.output.c_str(),
               options_.sizeText().c_str(), options_.fps, options_.bitRateKbps());
  std::fflush(stderr);
  const qsizetype messagesBefore = prompts_->messages().size();
  exporter_->forgetReport();
  dialog_->setSourcePath(input);
  dialog_->setOutputPath(Local(job.output));
  QEventLoop loop;
  connect(dialog_.get(), &CConverterDlg::conversionStopped, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  dialog_->OnConvert();
  if (!dialog_->conversionRunning()) {
    // The exporter's own account says more than the dialog's message.
    const ExportReport& report = exporter_->lastReport();
    if (report.problem != ExportProblem::None) {
      std::string words = PlainWords(report.problem);
      if (!report.detail.empty()) words += " (" + report.detail + ")";
      prompts_->messageBox(QString::fromStdString(words));
    }
    std::string message = dialog_->outcomeDetail().toStdString();
    if (message.empty() && prompts_->messages().size() > messagesBefore) {
      message = prompts_->messages().back().toStdString();
    }
    if (message.empty()) {
      const QString failedText = QCoreApplication::translate("CConverterDlg", "初始化失败!");
      prompts_->messageBox(failedText);
      message = failedText.toStdString();
    }
    emitJson("failed", message);
    return {FileState::Failed, message};
  }

  filming_.start();
  filmingStarted_ = true;
  emitJson("filming");
  QTimer progress;
  connect(&progress, &QTimer::timeout, this, [this] { showProgress(false); });
  progress.start(250);
  // The start-up time ends with the run's first written frame.
  QTimer firstFrame;
  if (firstFrameSeconds_ < 0) {
    connect(&firstFrame, &QTimer::timeout, this, [this, &firstFrame] {
      if (dialog_->pacer().writtenFrames() > 0) {
        firstFrameSeconds_ = ProcessStats::ProcessAgeSeconds();
        firstFrame.stop();
      }
    });
    firstFrame.start(5);
  }
  // A signal that came during the export is acted on now.
  if (stopped_) {
    std::fprintf(stderr, "%sstopping (%s); completing the file...\n", tty_ ? "\r\033[K" : "", stopReason_.c_str());
    dialog_->StopConversion();
  }
  loop.exec();
  filmingSeconds_ = static_cast<double>(filming_.elapsed()) / 1000.0;
  progress.stop();
  showProgress(true);
  if (statsWanted()) printStats();

  const FileResult result = conversionResult();
  static const char* const kStates[] = {"done", "failed", "stopped"};
  emitJson(kStates[static_cast<int>(result.state)], result.state == FileState::Done ? std::string() : result.message);
  return result;
}

BatchCommand::FileResult BatchCommand::conversionResult() const {
  const std::string detail = dialog_->outcomeDetail().toStdString();
  switch (dialog_->outcome()) {
    case ConversionOutcome::ReachedEnd:
      return {FileState::Done, {}};
    case ConversionOutcome::Stopped:
      return {FileState::Stopped, "stopped (" + (stopReason_.empty() ? std::string("stop") : stopReason_) + ")"};
    case ConversionOutcome::None:
      break;  // the dialog did not say: from its flags below
    default:
      return {FileState::Failed, !detail.empty()                   ? detail
                                 : !prompts_->messages().isEmpty() ? prompts_->messages().back().toStdString()
                                                                   : std::string("the conversion failed")};
  }
  if (dialog_->outputIncomplete()) return {FileState::Failed, "the video file could not be written completely"};
  if (stopped_) return {FileState::Stopped, "stopped (" + stopReason_ + ")"};
  if (dialog_->stoppedAtEnd()) return {FileState::Done, {}};
  return {FileState::Failed, "the show ended before its last slide"};
}

bool BatchCommand::statsWanted() const { return options_.printStats || qEnvironmentVariableIsSet("KAVRETO_STATS"); }

void BatchCommand::emitJson(const char* state, const std::string& message) {
  if (!json_ || job_ == nullptr) return;
  ProgressJson::Record record;
  record.file = job_->input;
  record.output = job_->output;
  record.state = state;
  record.message = message;
  record.elapsedSeconds = static_cast<double>(fileClock_.elapsed()) / 1000.0;
  // Before the conversion has started, the counters belong to the file before.
  if (filmingStarted_) {
    const CSlideShowDlg& show = dialog_->slideShowWindow();
    record.slide = show.currentSlide;
    record.slides = show.slideCount;
    record.frames = dialog_->pacer().writtenFrames();
    record.videoSeconds = static_cast<double>(record.frames) / dialog_->encodeSettings().frameRate;
  }
  std::fputs((ProgressJson::Line(record) + "\n").c_str(), stdout);
  std::fflush(stdout);
  lastJsonSlide_ = record.slide;
  lastJsonMs_ = fileClock_.elapsed();
}

void BatchCommand::showProgress(bool final) {
  const CSlideShowDlg& show = dialog_->slideShowWindow();
  const int slide = show.currentSlide;
  const int count = show.slideCount;
  const uint64_t frames = dialog_->pacer().writtenFrames();
  const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
  if (statsWanted()) stats_.sample(slide, count);
  if (json_) {
    // One line for each slide, and one a second while a slide is filmed.
    if (!final && (slide != lastJsonSlide_ || fileClock_.elapsed() - lastJsonMs_ >= 1000)) emitJson("filming");
    return;
  }
  if (tty_) {
    constexpr int kWidth = 30;
    // A show that skips hidden slides ends before its last slide number.
    const int filled = final && dialog_->stoppedAtEnd() ? kWidth
                       : count > 0                      ? std::min(kWidth, slide * kWidth / count)
                                                        : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '-');
    const std::string file = options_.jobs.size() > 1
                                 ? "(" + std::to_string(jobIndex_) + "/" + std::to_string(options_.jobs.size()) + ") "
                                 : std::string();
    std::fprintf(stderr, "\r\033[K%s[%s] slide %d of %d  %llu frames  %d:%02d", file.c_str(), bar.c_str(), slide, count,
                 static_cast<unsigned long long>(frames), static_cast<int>(seconds) / 60,
                 static_cast<int>(seconds) % 60);
    if (final) std::fputc('\n', stderr);
  } else if (final || slide != lastSlide_ || clock_.elapsed() - lastLineMs_ >= 10000) {
    std::fprintf(stderr, "slide %d of %d, %llu frames, %.1f s\n", slide, count, static_cast<unsigned long long>(frames),
                 seconds);
    lastLineMs_ = clock_.elapsed();
  }
  lastSlide_ = slide;
  std::fflush(stderr);
}

void BatchCommand::printSummary(const BatchOptions::Job& job, const FileResult& result) {
  const uint64_t frames = dialog_ != nullptr ? dialog_->pacer().writtenFrames() : 0;
  const double video = dialog_ != nullptr ? static_cast<double>(frames) / dialog_->encodeSettings().frameRate : 0.0;
  const double seconds = static_cast<double>(fileClock_.elapsed()) / 1000.0;
  switch (result.state) {
    case FileState::Done:
      std::fprintf(stderr, "done: %s -> %s (%llu frames, %.1f s of video, in %.1f s)\n", job.input.c_str(),
                   job.output.c_str(), static_cast<unsigned long long>(frames), video, seconds);
      break;
    case FileState::Stopped:
      std::fprintf(stderr, "stopped: %s -> %s (%llu frames, %.1f s of video; the file is complete)\n",
                   job.input.c_str(), job.output.c_str(), static_cast<unsigned long long>(frames), video);
      break;
    case FileState::Failed:
      std::fprintf(stderr, "failed: %s: %s\n", job.input.c_str(), result.message.c_str());
      break;
  }
  std::fflush(stderr);
}

void BatchCommand::printStats() {
  const FramePacer& pacer = dialog_->pacer();
  const double total = ProcessStats::ProcessAgeSeconds();
  const double video = static_cast<double>(pacer.writtenFrames()) / dialog_->encodeSettings().frameRate;
  const double cpu = ProcessStats::TreeCpuSeconds();
  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::fprintf(stderr, "dropped ticks: %llu\n", static_cast<unsigned long long>(pacer.droppedTicks()));
  std::fprintf(stderr, "frames: %llu\n", static_cast<unsigned long long>(pacer.writtenFrames()));
  const ShowClock& clock = dialog_->slideShowWindow().filmClock();
  std::fprintf(stderr, "rendered frames: %llu\n", static_cast<unsigned long long>(clock.renderedFrames()));
  if (qEnvironmentVariableIsSet("KAVRETO_FILM_PROFILE")) {
    // Where the filming time goes: frames without a page call, unchanged frames, drawing,
    // waiting for the page (drawing included), encoding on the worker.
    std::fprintf(stderr, "film: %llu quiet, %llu unchanged, %llu draws, %.3f s drawing, %.3f s page, %.3f s encoding\n",
                 static_cast<unsigned long long>(clock.quietFrames()),
                 static_cast<unsigned long long>(clock.unchangedFrames()),
                 static_cast<unsigned long long>(clock.renderAttempts()), clock.renderSeconds(),
                 clock.pageWaitSeconds(), pacer.writeSeconds());
  }
  std::fprintf(stderr, "video seconds: %.3f\n", video);
  std::fprintf(stderr, "wall seconds: %.3f\n", filmingSeconds_);
  std::fprintf(stderr, "total seconds: %.3f\n", total);
  std::fprintf(stderr, "start-up seconds: %.3f\n", firstFrameSeconds_ > 0 ? firstFrameSeconds_ : 0.0);
  std::fprintf(stderr, "speed x real time: %.3f\n", ratio(video, filmingSeconds_));
  std::fprintf(stderr, "speed x real time with start-up: %.3f\n", ratio(video, total));
  std::fprintf(stderr, "cpu seconds: %.3f\n", cpu);
  std::fprintf(stderr, "cpu seconds per video second: %.3f\n", ratio(cpu, video));
  std::fprintf(stderr, "peak rss MB: %.1f\n", stats_.peakRssMb());
  std::fprintf(stderr, "rss MB at first slide: %.1f\n", stats_.firstSlideRssMb());
  std::fprintf(stderr, "rss MB at last slide: %.1f\n", stats_.lastSlideRssMb());
  std::fprintf(stderr, "kavreto's own rss MB at first slide: %.1f\n", stats_.firstSlideSelfRssMb());
  std::fprintf(stderr, "kavreto's own rss MB at last slide: %.1f\n", stats_.lastSlideSelfRssMb());
}
