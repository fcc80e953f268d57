#include "CConverterDlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QStandardPaths>
#include <QTimer>
#include <QTimerEvent>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "CAboutDlg.h"
#include "DialogPrompts.h"
#include "DrawOleObject.h"
#include "ExportPresentation.h"
#include "MhtmlArchive.h"
#include "PresentationFile.h"
#include "SlideShape.h"
#include "ui_IDD_CONVERTER.h"

#ifndef KAVRETO_BANNER_HOST
#define KAVRETO_BANNER_HOST "kavreto.invalid"
#endif

const char* const CConverterDlg::kOpenFilter = QT_TRANSLATE_NOOP("CConverterDlg", "PowerPoint文件(*.ppt)");

namespace {

// Restores the normal cursor on every way out of the conversion's set-up.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The millisecond tick count, as an unsigned 32-bit number.
uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Reads the show archive at `path` into `archive`; why it holds no show to play, or empty
// when it does. The exporter counts the slides before it writes the show, and an export that
// failed after the count still returns it: the office may have died while writing, leaving
// the work file empty or cut short.
std::string ReadShow(const std::string& path, MhtmlArchive& archive) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "the exported show cannot be opened";
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!archive.parse(data)) return "the exported show cannot be read (" + archive.error() + ")";
  for (const MhtmlArchive::Part& part : archive.parts()) {
    const std::string& name = part.contentLocation;
    static const std::string page = ".files/fullscreen.htm";
    if (name.size() >= page.size() && name.compare(name.size() - page.size(), page.size(), page) == 0) return {};
  }
  return "the exported show has no slide-show page";
}

bool SameFile(const QString& a, const QString& b) {
  const QFileInfo fa(a), fb(b);
  if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
  return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

}  // namespace

CConverterDlg::CConverterDlg(ConverterPrompts* prompts, bool withBanner, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::IDD_CONVERTER>()),
      prompts_(prompts),
      withBanner_(withBanner),
      pacer_(static_cast<FramePacer::Show&>(*this), static_cast<FramePacer::Drawer&>(*this),
             static_cast<FramePacer::Host&>(*this)) {
  if (prompts_ == nullptr) {
    ownPrompts_ = std::make_unique<DialogPrompts>(this);
    prompts_ = ownPrompts_.get();
  }
  ui_->setupUi(this);
  setFixedSize(size());
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  setAcceptDrops(true);  // a presentation dropped on the dialog is chosen as with 打开文件
  connect(ui_->IDOK, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(ui_->IDC_CONVERT, &QPushButton::clicked, this, [this] { OnConvert(); });
  connect(ui_->IDC_STOP, &QPushButton::clicked, this, [this] { StopConversion(); });
  connect(ui_->IDC_QUALITY_SLIDER, &QSlider::valueChanged, this, [this] { OnQualityCustomDraw(); });
  connect(ui_->IDC_FPS_SLIDER, &QSlider::valueChanged, this, [this] { OnFpsCustomDraw(); });
  // Without a timer the next tick follows the worker and the page.
  connect(&slideShow, &CSlideShowDlg::showStateChanged, this, [this] { queueTick(); });
  pacer_.setFrameTaken([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (tickOnDemand_) onTick();  // with a timer, the timer ticks
        },
        Qt::QueuedConnection);
  });
  connect(&slideShow, &CSlideShowDlg::soundReported, this, [this](const QString& report) {
    if (sound_) sound_->Report(report.toStdString());
  });
  connect(&slideShow.browser, &CWebBrowser2::RendererTerminated, this, &CConverterDlg::OnRendererTerminated);
  connect(&watchdog_, &RendererWatchdog::hung, this, &CConverterDlg::OnRendererHung);
  OnInitDialog();
}

CConverterDlg::~CConverterDlg() { DestroyWindow(); }

bool CConverterDlg::OnInitDialog() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/kavreto.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/kavreto16.png"), QSize(16, 16));
  setWindowIcon(icon);
  // The banner must never hold up the dialog: it is made once the event loop
  // runs, and its page loads on its own (a failed load shows nothing more).
  if (withBanner_) QTimer::singleShot(0, this, [this] { createBanner(); });
  const QRect convert = ui_->IDC_CONVERT->geometry();
  thumbnailTop = convert.y() + convert.height() + 4;
  ui_->IDC_RES_352->setChecked(true);
  ui_->IDC_QUALITY_SLIDER->setRange(EncodePresets::kMinQuality, EncodePresets::kMaxQuality);
  ui_->IDC_FPS_SLIDER->setRange(EncodePresets::kMinFrameRate, EncodePresets::kMaxFrameRate);
  ui_->IDC_QUALITY_SLIDER->setValue(EncodePresets::kDefaultQuality);
  ui_->IDC_FPS_SLIDER->setValue(EncodePresets::kDefaultFrameRate);
  OnFpsCustomDraw();
  OnQualityCustomDraw();
  // What conversions killed earlier left behind goes now (those running beside stay).
  RemoveStaleWorkFiles();
  return true;
}

void CConverterDlg::createBanner() {
  if (destroyed_ || bannerBrowser.hasWindow()) return;
  if (!bannerBrowser.Create(ui_->IDC_BANNER)) return;
  bannerBrowser.MoveWindow(0, 0, ui_->IDC_BANNER->width(), ui_->IDC_BANNER->height());
  if (QWebEngineView* view = bannerBrowser.view()) {
    view->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    // Without a network the banner stays empty rather than showing an error page.
    connect(view, &QWebEngineView::loadFinished, view, [view](bool ok) { view->setVisible(ok); });
  }
  bannerBrowser.Navigate(QStringLiteral("http://" KAVRETO_BANNER_HOST "/green.htm"));
}

void CConverterDlg::OnQualityCustomDraw() {
  ui_->IDC_KBPS_LABEL->setText(QString::fromStdString(EncodePresets::QualityLabel(ui_->IDC_QUALITY_SLIDER->value())));
}

void CConverterDlg::OnFpsCustomDraw() {
  ui_->IDC_FPS_LABEL->setText(tr("%1 帧/秒").arg(ui_->IDC_FPS_SLIDER->value()));
}

void CConverterDlg::OnOK() {
  const QString path = prompts_->openFileName(tr(kOpenFilter));
  if (path.isEmpty()) return;
  setSourcePath(path);
}

QString CConverterDlg::saveFilter(int width, int height, int frameRate) {
  QString filter = QStringLiteral("(*.flv);;(*.swf);;(*.wmv);;(*.mp4)");
  if (EncodePresets::OffersMpgAndMov(width, height, frameRate)) filter += QStringLiteral(";;(*.mpg);;(*.mov)");
  return filter;
}

void CConverterDlg::message(const QString& text) { prompts_->messageBox(text); }

void CConverterDlg::OnConvert() {
  const QString source = ui_->IDC_SOURCE_PATH->text();
  if (source.isEmpty()) return;
  // Choosing a presentation enables Convert even while a conversion runs; a
  // click then would pull the surface and the show from under the tick and
  // the worker, so it is ignored.
  if (conversionRunning()) return;
  outcome_ = ConversionOutcome::None;
  outcomeDetail_.clear();

  readSettings();
  const QString output =
      !presetOutput_.isEmpty()
          ? presetOutput_
          : prompts_->saveFileName(saveFilter(settings_.width, settings_.height, settings_.frameRate),
                                   QStringLiteral("flv"));
  if (output.isEmpty()) return;
  // The writer deletes the output file first: never let that be the presentation.
  if (SameFile(output, source)) {
    outcome_ = ConversionOutcome::StartFailed;
    message(tr("输出文件不能是源演示文稿本身，请另选一个文件名。"));
    return;
  }

  ui_->IDC_OUTPUT_PATH->setText(QDir::toNativeSeparators(QFileInfo(output).absoluteFilePath()));
  ui_->IDC_STATUS->setText(tr("准备转换..."));
  WaitCursor waitCursor;

  slideShow.DestroyWindow();
  if (slideShow.Create(this)) {
    slideShow.MoveWindow(0, 0, settings_.width, settings_.height);
  }

  // The work file lives in the user's cache directory: the program's own
  // directory is not writable once installed.
  deleteWorkFile();  // one left from an earlier Convert
  programDirectory = workFileDirectory();
  if (programDirectory.isEmpty() || !QDir().mkpath(programDirectory)) programDirectory.clear();
  if (!programDirectory.isEmpty()) RemoveStaleWorkFiles();
  if (programDirectory.isEmpty() || !makeWorkFile()) {
    outcome_ = ConversionOutcome::StartFailed;
    outcomeDetail_ = QStringLiteral("cannot create a work file in %1").arg(programDirectory);
    message(tr("无法创建工作文件：%1").arg(QDir::toNativeSeparators(programDirectory)));
    return;
  }
  const QString workFile = workFilePath();

  bool exporterSpoke = false;
  const ExportNotifier notify = [this, &exporterSpoke](const std::string& text) {
    exporterSpoke = true;
    message(QString::fromStdString(text));
  };
  const std::string sourcePath = QFileInfo(source).absoluteFilePath().toStdString();
  ExportReport report;
  const int count = exporter_ ? exporter_(sourcePath, workFile.toStdString(), notify)
                              : ExportPresentation(sourcePath, workFile.toStdString(), notify, ExportOptions(), &report);
  if (count < 1) {
    // Nothing to film: end the attempt instead of converting an empty show.
    outcome_ = ConversionOutcome::StartFailed;
    if (!exporterSpoke) message(tr("无法导出演示文稿：%1").arg(source));
    // The answer to an encrypted deck is its password, not another try.
    if (report.problem == ExportProblem::Encrypted) message(EncryptedMessage());
    deleteWorkFile();
    return;
  }
  // Read once here for the checks, the picture's shape and the sound; the browser reads it itself.
  MhtmlArchive show;
  if (const std::string why = ReadShow(workFile.toStdString(), show); !why.empty()) {
    // The exporter has already said that it failed; filming would wait for a show that never comes.
    outcome_ = ConversionOutcome::StartFailed;
    outcomeDetail_ = QString::fromStdString(why);
    if (!exporterSpoke) message(tr("无法导出演示文稿：%1").arg(source));
    deleteWorkFile();
    return;
  }
  // The lock must cover the archive the exporter wrote, should it have replaced the file.
  workFile_.relock();
  if (autoHeight_ > 0) sizeFromShow(show);
  // The show keeps time by the filmed frames, from the conversion's start (or SOURCE_DATE_EPOCH).
  slideShow.UseFilmClock(ShowClock::ConversionStartMs(), options_.useTimings);
  slideShow.LoadShow(workFile.toStdString(), count);

  if (!CreateCaptureSurface()) {
    outcome_ = ConversionOutcome::StartFailed;
    message(tr("初始化失败!"));
    deleteWorkFile();
    return;
  }
  // The deck's sounds and clips; the writer gets an audio stream only when there are any and
  // the film is not muted (a muted film still shows its video clips).
  writer_.close();
  sound_.reset();
  auto sound = std::make_unique<ShowSound>();
  if (sound->Load(show)) sound_ = std::move(sound);
  if (writer_.open(QFileInfo(output).absoluteFilePath().toStdString(), settings_,
                   sound_ && !options_.mute ? sound_->source() : nullptr) == 0) {
    outcome_ = ConversionOutcome::StartFailed;
    outcomeDetail_ = QStringLiteral("cannot open the video file %1 for writing").arg(output);
    message(tr("初始化失败!"));
    deleteWorkFile();
    return;
  }

  // What of the deck's sound cannot be had, in plain words; the conversion goes on.
  if (sound_)
    for (const std::string& warning : sound_->warnings()) std::fprintf(stderr, "warning: %s\n", warning.c_str());

  stoppedAtEnd_ = false;
  outputIncomplete_ = false;
  // sameFrameCount = 0; the show steps on after round(hold x frameRate) still frames.
  pacer_.prepare(surface_, settings_.frameRate,
                 EncodePresets::AdvanceThreshold(options_.holdSeconds, settings_.frameRate));
  // Batch mode has no timer: each tick runs as soon as the last frame was taken.
  tickOnDemand_ = !options_.realtime;
  if (!tickOnDemand_) timerId_ = startTimer(1000 / settings_.frameRate, Qt::PreciseTimer);
  ui_->IDC_STOP->setEnabled(true);
  ui_->IDC_CONVERT->setEnabled(false);
  pacer_.startWorker(static_cast<FramePacer::FrameSink&>(*this), static_cast<FramePacer::PreviewSink*>(this));
  ++conversionSerial_;
  rendererHung_ = false;
  watchdog_.start(slideShow.browser.Document());
  queueTick();
}

QString CConverterDlg::workFileDirectory() { return QStandardPaths::writableLocation(QStandardPaths::CacheLocation); }

void CConverterDlg::RemoveStaleWorkFiles() {
  // The office profiles and pipe files of exports that were killed.
  RemoveStaleOfficeLeftovers();
  const QString directory = workFileDirectory();
  if (directory.isEmpty() || !QFileInfo(directory).isDir()) return;
  const WorkFile::Sweep sweep = WorkFile::RemoveStale(QFile::encodeName(directory).toStdString());
  if (!WorkFile::ThreatensDisk(sweep)) return;
  const QString text = tr("缓存目录里有 %1 个旧工作文件无法删除（共 %2 MB），可能占满磁盘，请手动删除：%3")
                           .arg(sweep.failed)
                           .arg(static_cast<double>(sweep.failedBytes) / (1024.0 * 1024.0), 0, 'f', 0)
                           .arg(QDir::toNativeSeparators(directory));
  // Not from inside the dialog's own set-up: once the event loop runs.
  QTimer::singleShot(0, this, [this, text] { message(text); });
}

void CConverterDlg::readSettings() {
  settings_.frameRate = ui_->IDC_FPS_SLIDER->value();
  settings_.bitRate = kbps_ > 0 ? EncodePresets::BitRateFromKbps(kbps_)
                                : EncodePresets::BitRateFromQuality(ui_->IDC_QUALITY_SLIDER->value());
  // The radio buttons in their order; when none of the first two is checked, the last size.
  const EncodePresets::PictureSize& last = std::end(EncodePresets::kDialogSizes)[-1];
  settings_.width = last.width;
  settings_.height = last.height;
  const QAbstractButton* buttons[] = {ui_->IDC_RES_720, ui_->IDC_RES_640};
  for (size_t i = 0; i < std::size(buttons); ++i) {
    if (buttons[i]->isChecked()) {
      settings_.width = EncodePresets::kDialogSizes[i].width;
      settings_.height = EncodePresets::kDialogSizes[i].height;
      break;
    }
  }
  if (customWidth_ > 0) {
    settings_.width = customWidth_;
    settings_.height = customHeight_;
  }
  if (autoHeight_ > 0) {
    // Until the export tells the deck's shape: 4:3 at that height.
    const EncodePresets::PictureSize size = EncodePresets::SizeForAspect(4, 3, autoHeight_);
    settings_.width = size.width;
    settings_.height = size.height;
  }
}

void CConverterDlg::sizeFromShow(const MhtmlArchive& show) {
  double aspectWidth = 0, aspectHeight = 0;
  if (!SlideShape::FromArchive(show, aspectWidth, aspectHeight)) return;
  const EncodePresets::PictureSize size = EncodePresets::SizeForAspect(aspectWidth, aspectHeight, autoHeight_);
  settings_.width = size.width;
  settings_.height = size.height;
  if (slideShow.hasWindow()) slideShow.MoveWindow(0, 0, settings_.width, settings_.height);
}

void CConverterDlg::setPictureSize(int width, int height) {
  autoHeight_ = 0;
  customWidth_ = customHeight_ = 0;
  QAbstractButton* buttons[] = {ui_->IDC_RES_720, ui_->IDC_RES_640, ui_->IDC_RES_352};
  for (size_t i = 0; i < std::size(buttons); ++i) {
    if (EncodePresets::kDialogSizes[i].width == width && EncodePresets::kDialogSizes[i].height == height) {
      buttons[i]->setChecked(true);
      return;
    }
  }
  customWidth_ = width;
  customHeight_ = height;
}

void CConverterDlg::setAutoPictureSize(int height) {
  customWidth_ = customHeight_ = 0;
  autoHeight_ = height > 0 ? height : 0;
}

void CConverterDlg::setFrameRate(int framesPerSecond) { ui_->IDC_FPS_SLIDER->setValue(framesPerSecond); }

void CConverterDlg::setQuality(int position) { ui_->IDC_QUALITY_SLIDER->setValue(position); }

void CConverterDlg::setKbps(int kbps) { kbps_ = kbps > 0 ? kbps : 0; }

QString CConverterDlg::EncryptedMessage() { return tr("演示文稿已加密（受密码保护）。"); }

bool CConverterDlg::openPresentation(const QString& path) {
  if (!QFileInfo(path).isFile()) return false;
  setSourcePath(path);
  return true;
}

// Only a single local presentation file is taken; anything else is not accepted, so the
// pointer shows that a drop would do nothing.
static QString DroppedPresentation(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile() || !PresentationFile::IsPresentation(url.toLocalFile())) return {};
  return url.toLocalFile();
}

void CConverterDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPresentation(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CConverterDlg::dropEvent(QDropEvent* event) {
  const QString path = DroppedPresentation(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  setSourcePath(path);
}

void CConverterDlg::setSourcePath(const QString& path) {
  ui_->IDC_SOURCE_PATH->setText(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
  ui_->IDC_CONVERT->setEnabled(true);
}

void CConverterDlg::setOutputPath(const QString& path) { presetOutput_ = path; }

bool CConverterDlg::makeWorkFile() {
  // "nn%x.tmp" from the tick count, created exclusively and locked for the
  // conversion's life (WorkFile).
  if (!workFile_.create(QFile::encodeName(programDirectory).toStdString(), TickCount())) return false;
  workFileName = QFile::decodeName(QByteArray::fromStdString(workFile_.name()));
  return true;
}

QString CConverterDlg::workFilePath() const {
  if (workFileName.isEmpty() || programDirectory.isEmpty()) return {};
  return QDir(programDirectory).filePath(workFileName);
}

void CConverterDlg::deleteWorkFile() {
  workFile_.remove();
  workFileName.clear();
}

bool CConverterDlg::CreateCaptureSurface() {
  // create() releases the old surface and fills previousFrame with 0x01, so
  // the first filmed frame counts as changed.
  return surface_.create(settings_.width, settings_.height);
}

void CConverterDlg::ReleaseCaptureSurface() { surface_.release(); }

bool CConverterDlg::conversionRunning() const {
  return g_running.load(std::memory_order_acquire) != 0 || pacer_.workerRunning();
}

void CConverterDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timerId_) {
    QDialog::timerEvent(event);
    return;
  }
  onTick();
}

void CConverterDlg::queueTick() {
  if (!tickOnDemand_) return;
  QMetaObject::invokeMethod(
      this, [this] { onTick(); }, Qt::QueuedConnection);
}

void CConverterDlg::onTick() {
  if (timerId_ == 0 && !tickOnDemand_) return;  // stopped
  // Without a timer, a tick while a frame waits for the worker has news only with an end or a
  // failure; the worker's report of the frame taken brings the next one.
  if (tickOnDemand_ && g_frameReady.load(std::memory_order_acquire) == 1 && slideShow.showEnded == 0 &&
      slideShow.showFailed == 0 && slideShow.rendererFailed == 0)
    return;
  pacer_.tick();
  if (previewSerial_.load(std::memory_order_acquire) != previewShown_) {
    previewShown_ = previewSerial_.load(std::memory_order_acquire);
    update(kPreviewLeft, thumbnailTop, FramePacer::kPreviewWidth, FramePacer::kPreviewHeight);
  }
}

bool CConverterDlg::draw(CaptureSurface& surface) { return DrawOleObject(slideShow.browser.Document(), surface); }

void CConverterDlg::flushSound() {
  const ShowClock& clock = slideShow.filmClock();
  if (sound_ && clock.started()) sound_->Flush(clock.startMs(), clock.firstFrameMs(), settings_.frameRate);
}

void CConverterDlg::beginDraw(CaptureSurface& surface, uint64_t frame, Done done) {
  flushSound();
  if (!slideShow.filmingOnClock()) {
    draw(surface);
    done();
    return;
  }
  // The page is moved to the frame's time and drawn once it stands there; an unchanged
  // page leaves the last picture in the surface.
  slideShow.FilmFrame(frame, settings_.frameRate, [this, &surface, done = std::move(done)](const QImage* picture) {
    if (picture != nullptr) DrawImageIntoSurface(*picture, surface);
    // What the page reported while it moved to this frame's time is placed before the frame
    // goes to the worker, which draws the video clips into it.
    flushSound();
    done();
  });
}

void CConverterDlg::cancelDraw() { slideShow.CancelFilming(); }

void CConverterDlg::setStatusText(const std::string& text) {
  // The pacer's "转到：n/m", in the dialog's language.
  QString status = QString::fromStdString(text);
  const QString slidePrefix = QStringLiteral("转到：");
  if (status.startsWith(slidePrefix)) status = tr("转到：%1").arg(status.mid(slidePrefix.size()));
  ui_->IDC_STATUS->setText(status);
}

void CConverterDlg::showEndMessage(const std::string& text) {
  // Only a show that reached its end is a success; a failure was reported instead.
  if (outcome_ != ConversionOutcome::ReachedEnd) return;
  message(text == "完成!" ? tr("完成!") : QString::fromStdString(text));
}

void CConverterDlg::writeFrame(const uint8_t* frame, int32_t width, int32_t height) {
  // The pacer counts the frame as written only after this call: the count is this frame's number.
  if (sound_) frame = sound_->compose(static_cast<int64_t>(pacer_.writtenFrames()), frame, width, height);
  writer_.writeFrame(frame, width, height);
}

void CConverterDlg::previewReady(const uint8_t* bgr, int32_t width, int32_t height) {
  {
    std::lock_guard<std::mutex> lock(previewMutex_);
    if (preview_.width() != width || preview_.height() != height) {
      preview_ = QImage(width, height, QImage::Format_BGR888);
    }
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(preview_.scanLine(y), bgr + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
    }
  }
  previewSerial_.fetch_add(1, std::memory_order_release);
}

QImage CConverterDlg::previewImage() const {
  std::lock_guard<std::mutex> lock(previewMutex_);
  return preview_.copy();
}

void CConverterDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  // The preview is shown only while a conversion runs.
  if (!conversionRunning()) return;
  const QImage image = previewImage();
  if (image.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QPoint(kPreviewLeft, thumbnailTop), image);
}

void CConverterDlg::StopConversion() {
  if (g_running.load(std::memory_order_acquire) == 0 && !pacer_.workerRunning()) return;
  watchdog_.stop();
  if (timerId_ != 0) {
    killTimer(timerId_);
    timerId_ = 0;
  }
  tickOnDemand_ = false;
  // Clears both flags and waits for the worker to leave its loop: the file is
  // closed only once no frame write can still be running.
  pacer_.stopWorker();
  flushSound();
  writer_.close();
  outputIncomplete_ = writer_.writeFailed();
  settleOutcome();
  stoppedAtEnd_ = outcome_ == ConversionOutcome::ReachedEnd;
  if (slideShow.browser.hasWindow()) slideShow.browser.Navigate(QStringLiteral("about:blank"));
  ui_->IDC_STOP->setEnabled(false);
  ui_->IDC_CONVERT->setEnabled(true);
  deleteWorkFile();
  update();
  // Never let a failure pass for a finished video: its message instead of "完成!".
  const QString failure = outcomeMessage();
  if (!failure.isEmpty()) message(failure);
  emit conversionStopped();
}

void CConverterDlg::settleOutcome() {
  const CSlideShowDlg& show = slideShow;
  const QString filmed = QStringLiteral("the video keeps the %1 frames filmed up to slide %2 of %3")
                             .arg(pacer_.writtenFrames())
                             .arg(show.currentSlide)
                             .arg(show.slideCount);
  if (outputIncomplete_) {
    // A full disk or a file size limit.
    outcome_ = ConversionOutcome::OutputIncomplete;
    outcomeDetail_ = QStringLiteral("the video file could not be written completely");
  } else if (show.rendererFailed != 0) {
    outcome_ = ConversionOutcome::RendererFailed;
    outcomeDetail_ = show.failureReason + QStringLiteral("; ") + filmed;
  } else if (show.showFailed != 0) {
    outcome_ = ConversionOutcome::ShowIncomplete;
    outcomeDetail_ = QStringLiteral("the presentation could not be played to its end");
    if (!show.failureReason.isEmpty()) outcomeDetail_ += QStringLiteral(": ") + show.failureReason;
    outcomeDetail_ += QStringLiteral("; ") + filmed;
  } else if (show.showEnded != 0) {
    outcome_ = ConversionOutcome::ReachedEnd;
    outcomeDetail_.clear();
  } else {
    outcome_ = ConversionOutcome::Stopped;
    outcomeDetail_.clear();
  }
}

QString CConverterDlg::outcomeMessage() const {
  const int slide = slideShow.currentSlide;
  const bool filmed = slideShow.pageReady != 0 && slide > 0;
  switch (outcome_) {
    case ConversionOutcome::OutputIncomplete:
      return tr("视频文件没有完整写入：%1").arg(ui_->IDC_OUTPUT_PATH->text());
    case ConversionOutcome::RendererFailed: {
      const QString what = rendererHung_ ? tr("播放器停止响应") : tr("播放器意外退出");
      if (!filmed) return what + tr("，没有录下任何幻灯片。");
      return what + tr("，视频只录到第 %1 张幻灯片（已录下的部分已保存）。").arg(slide);
    }
    case ConversionOutcome::ShowIncomplete:
      if (!filmed) return tr("演示文稿无法播放，没有录下任何幻灯片。");
      return tr("演示文稿无法完整播放：视频只录到第 %1 张幻灯片（已录下的部分已保存）。").arg(slide);
    default:
      return {};
  }
}

void CConverterDlg::OnRendererTerminated(const QString& how) { failRenderer(how, false); }

void CConverterDlg::OnRendererHung(qint64 waitedMs) {
  // A stopped or dead-locked renderer never ends by itself, nor notices that we have gone.
  RendererWatchdog::KillRenderer(slideShow.browser.rendererPid());
  failRenderer(QStringLiteral("the browser's renderer process stopped answering (no answer for %1 s)")
                   .arg(static_cast<double>(waitedMs) / 1000.0, 0, 'f', 0),
               true);
}

void CConverterDlg::failRenderer(const QString& how, bool hung) {
  if (g_running.load(std::memory_order_acquire) == 0 || slideShow.rendererFailed != 0) return;
  slideShow.rendererFailed = 1;
  slideShow.failureReason = how;
  rendererHung_ = hung;
  // Stopped from the event loop, not from inside the browser's own notification; the tick
  // stops it as well should it come first.
  const uint64_t serial = conversionSerial_;
  QTimer::singleShot(0, this, [this, serial] {
    if (serial == conversionSerial_) StopConversion();
  });
}

bool CConverterDlg::DestroyWindow() {
  if (destroyed_) return true;
  destroyed_ = true;
  StopConversion();
  slideShow.DestroyWindow();
  bannerBrowser.DestroyWindow();
  ReleaseCaptureSurface();
  deleteWorkFile();
  return true;
}

void CConverterDlg::done(int result) {
  // Closing the dialog completes a running conversion's file first.
  StopConversion();
  QDialog::done(result);
}

void CConverterDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* about = menu.addAction(tr("&About KAVRETO..."));
  if (menu.exec(event->globalPos()) == about) OnSysCommand(IDM_ABOUTBOX, 0);
}

void CConverterDlg::OnSysCommand(int commandId, int /*parameter*/) {
  if ((commandId & ~0xF) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.exec();
  }
}

QSlider* CConverterDlg::fpsSlider() const { return ui_->IDC_FPS_SLIDER; }
QSlider* CConverterDlg::qualitySlider() const { return ui_->IDC_QUALITY_SLIDER; }
QAbstractButton* CConverterDlg::button(const char* id) const { return findChild<QAbstractButton*>(QLatin1String(id)); }
QLineEdit* CConverterDlg::edit(const char* id) const { return findChild<QLineEdit*>(QLatin1String(id)); }
QString CConverterDlg::labelText(const char* id) const {
  auto* label = findChild<QLabel*>(QLatin1String(id));
  return label != nullptr ? label->text() : QString();
}
