#include "BatchCommand.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSlider>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "BatchPrompts.h"
#include "CConverterDlg.h"

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int number) {
  const char byte = static_cast<char>(number);
  [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
  // A second Ctrl-C ends the program at once.
  ::signal(number, SIG_DFL);
}

// Resident memory of this process and every process it started (the
// browser's renderer, the office), in megabytes.
double TreeRssMb() {
  std::map<long, long> parentOf;
  std::map<long, long> rssPages;
  if (DIR* proc = ::opendir("/proc")) {
    while (dirent* entry = ::readdir(proc)) {
      char* end = nullptr;
      const long pid = std::strtol(entry->d_name, &end, 10);
      if (*end != '\0' || pid <= 0) continue;
      std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      const size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      std::string field;
      long ppid = 0, rss = 0;
      for (int i = 3; rest >> field; ++i) {  // fields counted from 1; state is field 3
        if (i == 4) ppid = std::atol(field.c_str());
        if (i == 24) {
          rss = std::atol(field.c_str());
          break;
        }
      }
      parentOf[pid] = ppid;
      rssPages[pid] = rss;
    }
    ::closedir(proc);
  }
  const long self = ::getpid();
  long pages = 0;
  for (const auto& [pid, rss] : rssPages) {
    for (long p = pid, guard = 0; p > 0 && guard < 64; p = parentOf.count(p) ? parentOf[p] : 0, ++guard) {
      if (p == self) {
        pages += rss;
        break;
      }
    }
  }
  return static_cast<double>(pages) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Resident memory of this process alone, in megabytes.
double SelfRssMb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

BatchCommand::BatchCommand(BatchOptions options) : options_(std::move(options)) {}

BatchCommand::~BatchCommand() {
  dialog_.reset();
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
  if (dialog_ != nullptr && dialog_->conversionRunning()) {
    std::fprintf(stderr, "%sstopping (%s); completing the file...\n", tty_ ? "\r\033[K" : "", why);
    dialog_->StopConversion();
  }
}

int BatchCommand::run() {
  tty_ = ::isatty(2) == 1;
  clock_.start();
  installSignalHandlers();
  // Past a file size limit a write should fail (and be reported), not end the process.
  ::signal(SIGXFSZ, SIG_IGN);

  const QString input = QString::fromLocal8Bit(options_.input.c_str());
  const QString output = QString::fromLocal8Bit(options_.output.c_str());
  prompts_ = std::make_unique<BatchPrompts>(input, output);
  const QFileInfo source(input);
  if (!source.isFile() || !source.isReadable()) {
    prompts_->messageBox(QStringLiteral("找不到演示文稿：%1").arg(input));
    return kFailed;
  }

  dialog_ = std::make_unique<CConverterDlg>(prompts_.get(), /*withBanner=*/false);
  const char* size = options_.width == 720 ? "IDC_RES_720" : options_.width == 640 ? "IDC_RES_640" : "IDC_RES_352";
  dialog_->button(size)->setChecked(true);
  dialog_->fpsSlider()->setValue(options_.fps);
  dialog_->qualitySlider()->setValue(options_.quality);
  dialog_->OnOK();

  QEventLoop loop;
  connect(dialog_.get(), &CConverterDlg::conversionStopped, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  std::fprintf(stderr, "converting %s -> %s (%dx%d, %d fps, %d kbps)\n", options_.input.c_str(),
               options_.output.c_str(), options_.width, options_.height, options_.fps, options_.quality * 20);
  dialog_->OnConvert();
  if (!dialog_->conversionRunning()) {
    if (prompts_->messages().isEmpty()) prompts_->messageBox(QStringLiteral("初始化失败!"));
    return kFailed;
  }

  filming_.start();
  QTimer progress;
  connect(&progress, &QTimer::timeout, this, [this] { showProgress(false); });
  progress.start(250);
  QTimer timeout;
  if (options_.timeoutSeconds > 0) {
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this, [this] { stop("timeout"); });
    timeout.start(static_cast<int>(
        options_.timeoutSeconds * 1000 - clock_.elapsed() > 0 ? options_.timeoutSeconds * 1000 - clock_.elapsed() : 0));
  }
  // A signal that came during the export is acted on now.
  loop.exec();
  filmingSeconds_ = static_cast<double>(filming_.elapsed()) / 1000.0;
  progress.stop();
  showProgress(true);
  if (statsWanted()) printStats();

  switch (dialog_->outcome()) {
    case ConversionOutcome::ReachedEnd:
      return kReachedEnd;
    case ConversionOutcome::Stopped:
      return stopped_ ? kStopped : kFailed;
    default:
      // After the dialog's own message, what went wrong in plain words.
      if (!dialog_->outcomeDetail().isEmpty()) {
        std::fprintf(stderr, "kavreto: %s\n", dialog_->outcomeDetail().toUtf8().constData());
      }
      return kFailed;
  }
}

bool BatchCommand::statsWanted() const { return options_.printStats || qEnvironmentVariableIsSet("KAVRETO_STATS"); }

void BatchCommand::sampleMemory() {
  const double rss = TreeRssMb();
  if (rss > peakRssMb_) peakRssMb_ = rss;
  const CSlideShowDlg& show = dialog_->slideShowWindow();
  if (show.currentSlide == 1 && firstSlideRssMb_ == 0) {
    firstSlideRssMb_ = rss;
    firstSlideSelfRssMb_ = SelfRssMb();
  }
  if (show.currentSlide >= 1 && show.currentSlide == show.slideCount) {
    lastSlideRssMb_ = rss;
    lastSlideSelfRssMb_ = SelfRssMb();
  }
}

void BatchCommand::showProgress(bool final) {
  const CSlideShowDlg& show = dialog_->slideShowWindow();
  const int slide = show.currentSlide;
  const int count = show.slideCount;
  const uint64_t frames = dialog_->pacer().writtenFrames();
  const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
  if (statsWanted()) sampleMemory();
  if (tty_) {
    constexpr int kWidth = 30;
    // A show that skips hidden slides ends before its last slide number.
    const int filled = final && dialog_->stoppedAtEnd() ? kWidth
                       : count > 0                      ? std::min(kWidth, slide * kWidth / count)
                                                        : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '-');
    std::fprintf(stderr, "\r\033[K[%s] slide %d of %d  %llu frames  %d:%02d", bar.c_str(), slide, count,
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

void BatchCommand::printStats() {
  const FramePacer& pacer = dialog_->pacer();
  const double total = static_cast<double>(clock_.elapsed()) / 1000.0;
  const double video = static_cast<double>(pacer.writtenFrames()) / dialog_->encodeSettings().frameRate;
  std::fprintf(stderr, "dropped ticks: %llu\n", static_cast<unsigned long long>(pacer.droppedTicks()));
  std::fprintf(stderr, "frames: %llu\n", static_cast<unsigned long long>(pacer.writtenFrames()));
  std::fprintf(stderr, "video seconds: %.3f\n", video);
  std::fprintf(stderr, "wall seconds: %.3f\n", filmingSeconds_);
  std::fprintf(stderr, "total seconds: %.3f\n", total);
  std::fprintf(stderr, "peak rss MB: %.1f\n", peakRssMb_);
  std::fprintf(stderr, "rss MB at first slide: %.1f\n", firstSlideRssMb_);
  std::fprintf(stderr, "rss MB at last slide: %.1f\n", lastSlideRssMb_);
  std::fprintf(stderr, "kavreto's own rss MB at first slide: %.1f\n", firstSlideSelfRssMb_);
  std::fprintf(stderr, "kavreto's own rss MB at last slide: %.1f\n", lastSlideSelfRssMb_);
}
