// The main dialog (form IDD_CONVERTER): choosing the presentation, the picture
// size, frame rate and quality, Convert and Stop, and the conversion itself:
// the capture tick runs on this dialog's timer, the encoder worker on its own
// thread (FramePacer), the file is written by its VideoWriter.
//
// Every member function runs on the UI thread, except the FramePacer::FrameSink
// and FramePacer::PreviewSink overrides, which the worker calls.
//
// The dialog asks its questions through a ConverterPrompts, so the batch
// command drives this same dialog off screen.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "CSlideShowDlg.h"
#include "CWebBrowser2.h"
#include "CaptureSurface.h"
#include "ConversionOptions.h"
#include "ConversionOutcome.h"
#include "ConverterPrompts.h"
#include "EncodeSettings.h"
#include "ExportPresentation.h"
#include "FramePacer.h"
#include "RendererWatchdog.h"
#include "ShowSound.h"
#include "VideoWriter.h"
#include "WorkFile.h"

namespace Ui {
class IDD_CONVERTER;
}
class QAbstractButton;
class QLineEdit;
class QSlider;

class CConverterDlg : public QDialog,
                      private FramePacer::Show,
                      private FramePacer::Drawer,
                      private FramePacer::Host,
                      private FramePacer::FrameSink,
                      private FramePacer::PreviewSink {
  Q_OBJECT
 public:
  static constexpr int IDM_ABOUTBOX = 0x0010;
  static constexpr int CAPTURE_TIMER_ID = 100;  // the dialog's only timer: the capture tick
  static constexpr int kPreviewLeft = 16;

  // `prompts` null: real file dialogs and message boxes. `withBanner` false:
  // no banner browser (batch and tests, where nothing may reach the network).
  explicit CConverterDlg(ConverterPrompts* prompts = nullptr, bool withBanner = true, QWidget* parent = nullptr);
  ~CConverterDlg() override;

  // Sets up the controls, as when the dialog appears. Called by the constructor.
  bool OnInitDialog();
  // The presentation chooser (the "打开文件" button and the Enter key).
  void OnOK();
  // Convert: settings, output file, export, show, capture surface, writer, timer, worker.
  void OnConvert();
  // Ends a running conversion; the output file is complete when it returns. Sets outcome():
  // a renderer that failed, a show that could not be played to its end or a file that could
  // not be written completely is told in a message box (never "完成!").
  void StopConversion() override;
  // Stops a running conversion and releases what the conversions left behind.
  // Runs when the dialog closes, by whatever way; harmless when repeated.
  bool DestroyWindow();
  // The context menu's "&About KAVRETO..." item: opens the About box when the command id
  // with its low four bits cleared is IDM_ABOUTBOX.
  void OnSysCommand(int commandId, int parameter);

  // State for the batch command, the tests and progress display.
  bool conversionRunning() const;
  bool stoppedAtEnd() const { return stoppedAtEnd_; }          // the last conversion reached the show's end
  bool outputIncomplete() const { return outputIncomplete_; }  // the last output file could not be written completely
  // How the latest conversion ended, and a plain-words detail where there is one.
  ConversionOutcome outcome() const { return outcome_; }
  const QString& outcomeDetail() const { return outcomeDetail_; }
  // Typed settings for the batch command, used by the next Convert. One of the
  // dialog's three sizes checks its radio button; any other size (the batch
  // command's larger ones, already checked with EncodePresets::SizeProblem) is
  // used without one, until a size of the three is set again.
  void setPictureSize(int width, int height);
  // The next Converts take the deck's own aspect ratio at about `height` pixels
  // (read from the exported show); 0 goes back to a fixed size.
  void setAutoPictureSize(int height);
  void setFrameRate(int framesPerSecond);  // the frame-rate slider
  void setQuality(int position);           // the quality slider
  // A bit rate in the label's kbps, beyond the slider's range; 0: from the quality.
  void setKbps(int kbps);
  // As choosing the presentation: the source path, and Convert enabled.
  void setSourcePath(const QString& path);
  // `kavreto FILE` and a dropped presentation: FILE chosen as with the chooser (its full
  // path in IDC_SOURCE_PATH, Convert enabled). False, changing nothing, when it is no file.
  bool openPresentation(const QString& path);
  // The message box for an encrypted presentation, in the dialog's language.
  static QString EncryptedMessage();
  // The output file of the next Converts, taken without asking; empty: ask.
  void setOutputPath(const QString& path);
  // What exports the presentation (same contract as ExportPresentation); empty:
  // ExportPresentation itself, one office per Convert.
  using ExportFunction =
      std::function<int(const std::string& source, const std::string& archive, const ExportNotifier& notify)>;
  void setExportFunction(ExportFunction exporter) { exporter_ = std::move(exporter); }

  // Settings the controls do not carry (the batch command's); used by the next Convert.
  void setConversionOptions(const ConversionOptions& options) { options_ = options; }
  const ConversionOptions& conversionOptions() const { return options_; }
  const FramePacer& pacer() const { return pacer_; }
  const CSlideShowDlg& slideShowWindow() const { return slideShow; }
  const EncodeSettings& encodeSettings() const { return settings_; }
  QString workFilePath() const;  // empty while no work file exists
  // The directory of the work files (the user's cache directory).
  static QString workFileDirectory();
  // Deletes the work files there that no living conversion holds, and what killed exports
  // left behind; silent unless what cannot be deleted threatens to fill the disk.
  void RemoveStaleWorkFiles();
  const RendererWatchdog& rendererWatchdog() const { return watchdog_; }
  QImage previewImage() const;  // the latest 60 x 40 preview

  // The controls, by their ids (for the batch command and the tests).
  QSlider* fpsSlider() const;
  QSlider* qualitySlider() const;
  QAbstractButton* button(const char* id) const;
  QLineEdit* edit(const char* id) const;
  QString labelText(const char* id) const;

  // Texts of the save dialog's two filters.
  static QString saveFilter(int width, int height, int frameRate);
  static const char* const kOpenFilter;

 signals:
  // Emitted at the end of StopConversion, from whatever stopped the conversion.
  void conversionStopped();

 protected:
  void timerEvent(QTimerEvent* event) override;  // the capture tick
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void done(int result) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // FramePacer::Show
  int pageReady() const override { return slideShow.pageReady; }
  int showEnded() const override { return slideShow.showEnded; }
  int currentSlide() const override { return slideShow.currentSlide; }
  int slideCount() const override { return slideShow.slideCount; }
  int showFailed() const override { return slideShow.showFailed; }
  int rendererFailed() const override { return slideShow.rendererFailed; }
  void AdvanceShow() override { slideShow.AdvanceShow(); }
  bool playing(uint64_t frame) const override { return sound_ && sound_->holds(static_cast<int64_t>(frame)); }
  // FramePacer::Drawer
  bool draw(CaptureSurface& surface) override;
  void beginDraw(CaptureSurface& surface, uint64_t frame, Done done) override;
  void cancelDraw() override;
  // One capture tick: from the timer (the dialog, --realtime) or, in batch mode, as soon as
  // the worker has taken the last frame or the show's state changed.
  void onTick();
  void queueTick();
  // FramePacer::Host
  void setStatusText(const std::string& text) override;
  void showEndMessage(const std::string& text) override;
  // FramePacer::FrameSink (worker thread)
  void writeFrame(const uint8_t* frame, int32_t width, int32_t height) override;
  // FramePacer::PreviewSink (worker thread)
  void previewReady(const uint8_t* bgr, int32_t width, int32_t height) override;

  void OnQualityCustomDraw();
  void OnFpsCustomDraw();
  void createBanner();
  bool CreateCaptureSurface();
  void ReleaseCaptureSurface();
  // Makes a new, empty work file under programDirectory with a name no other
  // conversion uses; sets workFileName. False when none could be made.
  bool makeWorkFile();
  void deleteWorkFile();
  void message(const QString& text);
  // The renderer died (`how` in plain words) or stopped answering: the conversion is stopped
  // as by Stop and the failure reported.
  void OnRendererTerminated(const QString& how);
  void OnRendererHung(qint64 waitedMs);
  void failRenderer(const QString& how, bool hung);
  // Sets outcome_ and outcomeDetail_ once the file is closed; the message box text for a failure.
  void settleOutcome();
  QString outcomeMessage() const;
  // The settings of the next conversion from the controls and the typed settings.
  void readSettings();
  // --size auto: the picture size from the exported show's own aspect ratio.
  void sizeFromShow(const MhtmlArchive& show);

  std::unique_ptr<Ui::IDD_CONVERTER> ui_;
  std::unique_ptr<ConverterPrompts> ownPrompts_;
  ConverterPrompts* prompts_;
  bool withBanner_;
  CWebBrowser2 bannerBrowser;
  CSlideShowDlg slideShow;
  CaptureSurface surface_;
  FramePacer pacer_;
  VideoWriter writer_;
  // The deck's sounds for the writer's audio stream; null for a deck without sound (or muted).
  // Kept until the next Convert: the writer asks it for sound until it is closed.
  std::unique_ptr<ShowSound> sound_;
  void flushSound();
  EncodeSettings settings_;
  QString programDirectory;
  QString workFileName;
  WorkFile workFile_;
  RendererWatchdog watchdog_;
  bool rendererHung_ = false;
  uint64_t conversionSerial_ = 0;  // counts the conversions started
  int thumbnailTop = 0;
  int timerId_ = 0;
  bool tickOnDemand_ = false;  // batch mode: ticks follow the worker, no timer
  bool stoppedAtEnd_ = false;
  bool outputIncomplete_ = false;
  bool destroyed_ = false;
  ConversionOptions options_ = DialogOptions();
  // The dialog's own settings: it films at its timer's pace.
  static ConversionOptions DialogOptions() {
    ConversionOptions options;
    options.realtime = true;
    return options;
  }
  int customWidth_ = 0;  // a size beyond the three radio buttons; 0: none
  int customHeight_ = 0;
  int autoHeight_ = 0;  // --size auto at this height; 0: a fixed size
  int kbps_ = 0;        // 0: the bit rate comes from the quality slider
  QString presetOutput_;
  ExportFunction exporter_;
  ConversionOutcome outcome_ = ConversionOutcome::None;
  QString outcomeDetail_;

  // The preview hand-off: the worker writes, the UI thread paints.
  mutable std::mutex previewMutex_;
  QImage preview_;
  std::atomic<uint64_t> previewSerial_{0};
  uint64_t previewShown_ = 0;  // UI thread only
};
