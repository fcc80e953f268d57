// The main dialog off screen: its state at start, the slider labels, choosing
// a presentation, the save filters, Enter, the About item, and (with the real
// office, browser and encoder) the buttons during and after a conversion.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AppTestSupport.h"
#include "CAboutDlg.h"
#include "CConverterDlg.h"
#include "ExportPresentation.h"
#include "FixtureFiles.h"
#include "ProcessTree.h"
#include "QtWait.h"
#include "WorkFile.h"

namespace {

class FakePrompts : public ConverterPrompts {
 public:
  QString openFileName(const QString& filter) override {
    ++opens;
    openFilter = filter;
    return openResult;
  }
  QString saveFileName(const QString& filter, const QString& suffix) override {
    ++saves;
    saveFilter = filter;
    saveSuffix = suffix;
    return saveResult;
  }
  void messageBox(const QString& text) override { messages << text; }

  QString openResult, saveResult;
  QString openFilter, saveFilter, saveSuffix;
  int opens = 0, saves = 0;
  QStringList messages;
};

const QString kShort = QStringLiteral("(*.flv);;(*.swf);;(*.wmv);;(*.mp4)");
const QString kLong = QStringLiteral("(*.flv);;(*.swf);;(*.wmv);;(*.mp4);;(*.mpg);;(*.mov)");

TEST(ConverterDlg, StateAtStart) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("PPT转视频"));
  EXPECT_EQ(dlg.labelText("IDC_FPS_LABEL"), QStringLiteral("25 帧/秒"));
  EXPECT_EQ(dlg.labelText("IDC_KBPS_LABEL"), QStringLiteral("200 kbps"));
  EXPECT_TRUE(dlg.button("IDC_RES_352")->isChecked());
  EXPECT_FALSE(dlg.button("IDC_RES_720")->isChecked());
  EXPECT_FALSE(dlg.button("IDC_RES_640")->isChecked());
  EXPECT_FALSE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_FALSE(dlg.button("IDC_STOP")->isEnabled());
  EXPECT_TRUE(dlg.button("IDOK")->isEnabled());
  EXPECT_EQ(dlg.fpsSlider()->minimum(), 1);
  EXPECT_EQ(dlg.fpsSlider()->maximum(), 30);
  EXPECT_EQ(dlg.qualitySlider()->minimum(), 1);
  EXPECT_EQ(dlg.qualitySlider()->maximum(), 100);
  EXPECT_TRUE(dlg.edit("IDC_SOURCE_PATH")->isReadOnly());
  EXPECT_TRUE(dlg.edit("IDC_SOURCE_PATH")->text().isEmpty());
  EXPECT_TRUE(dlg.workFilePath().isEmpty());
}

TEST(ConverterDlg, SliderLabelsFollowTheSlidersToBothEnds) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  dlg.qualitySlider()->setValue(1);
  EXPECT_EQ(dlg.labelText("IDC_KBPS_LABEL"), QStringLiteral("20 kbps"));
  dlg.qualitySlider()->setValue(100);
  EXPECT_EQ(dlg.labelText("IDC_KBPS_LABEL"), QStringLiteral("2000 kbps"));
  dlg.qualitySlider()->setValue(500);  // clamped by the range
  EXPECT_EQ(dlg.labelText("IDC_KBPS_LABEL"), QStringLiteral("2000 kbps"));
  dlg.fpsSlider()->setValue(1);
  EXPECT_EQ(dlg.labelText("IDC_FPS_LABEL"), QStringLiteral("1 帧/秒"));
  dlg.fpsSlider()->setValue(30);
  EXPECT_EQ(dlg.labelText("IDC_FPS_LABEL"), QStringLiteral("30 帧/秒"));
}

TEST(ConverterDlg, ChoosingAPresentationEnablesConvert) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  dlg.OnOK();  // cancelled
  EXPECT_EQ(prompts.openFilter, QStringLiteral("PowerPoint文件(*.ppt)"));
  EXPECT_FALSE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_TRUE(dlg.edit("IDC_SOURCE_PATH")->text().isEmpty());
  prompts.openResult = QStringLiteral("/tmp/first.ppt");
  dlg.OnOK();
  EXPECT_EQ(dlg.edit("IDC_SOURCE_PATH")->text(), QStringLiteral("/tmp/first.ppt"));
  EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
  prompts.openResult = QStringLiteral("/tmp/second.ppt");
  dlg.OnOK();
  EXPECT_EQ(dlg.edit("IDC_SOURCE_PATH")->text(), QStringLiteral("/tmp/second.ppt"));
  EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
}

TEST(ConverterDlg, EnterOpensTheChooserAndNeverClosesTheDialog) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  dlg.edit("IDC_SOURCE_PATH")->setFocus();
  QTest::keyClick(&dlg, Qt::Key_Return);
  EXPECT_EQ(prompts.opens, 1);
  EXPECT_TRUE(dlg.isVisible());
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_FALSE(dlg.isVisible());
}

TEST(ConverterDlg, SaveFilterIsLongOnlyAt352x288With25Fps) {
  struct Case {
    const char* size;
    int fps;
    QString filter;
    int width, height;
  };
  const std::vector<Case> cases = {
      {"IDC_RES_352", 25, kLong, 352, 288},  {"IDC_RES_352", 24, kShort, 352, 288},
      {"IDC_RES_352", 26, kShort, 352, 288}, {"IDC_RES_720", 25, kShort, 720, 540},
      {"IDC_RES_640", 25, kShort, 640, 480}, {"IDC_RES_640", 30, kShort, 640, 480},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.size) + " " + std::to_string(c.fps));
    FakePrompts prompts;
    CConverterDlg dlg(&prompts, false);
    prompts.openResult = QStringLiteral("/tmp/deck.ppt");
    dlg.OnOK();
    dlg.button(c.size)->setChecked(true);
    dlg.fpsSlider()->setValue(c.fps);
    dlg.qualitySlider()->setValue(37);
    dlg.OnConvert();  // the save dialog is cancelled
    EXPECT_EQ(prompts.saveFilter, c.filter);
    EXPECT_EQ(prompts.saveSuffix, QStringLiteral("flv"));
    // The settings are taken although the choice was cancelled; nothing else changed.
    EXPECT_EQ(dlg.encodeSettings().width, c.width);
    EXPECT_EQ(dlg.encodeSettings().height, c.height);
    EXPECT_EQ(dlg.encodeSettings().frameRate, c.fps);
    EXPECT_EQ(dlg.encodeSettings().bitRate, 37 * 20480);
    EXPECT_TRUE(dlg.edit("IDC_STATUS")->text().isEmpty());
    EXPECT_TRUE(dlg.edit("IDC_OUTPUT_PATH")->text().isEmpty());
    EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
    EXPECT_FALSE(dlg.button("IDC_STOP")->isEnabled());
  }
  // Neither larger size checked (all unchecked): 352 x 288.
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QStringLiteral("/tmp/deck.ppt");
  dlg.OnOK();
  dlg.button("IDC_RES_352")->setAutoExclusive(false);
  dlg.button("IDC_RES_352")->setChecked(false);
  dlg.OnConvert();
  EXPECT_EQ(dlg.encodeSettings().width, 352);
  EXPECT_EQ(prompts.saveFilter, kLong);
}

TEST(ConverterDlg, ConvertWithoutASourceDoesNothing) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  dlg.OnConvert();
  EXPECT_EQ(prompts.saves, 0);
  EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST(ConverterDlg, OutputNamingTheSourceIsRefusedBeforeAnythingHappens) {
  TempDir dir;
  const std::string source = dir.file("deck.ppt");
  std::ofstream(source) << "presentation";
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QString::fromStdString(source);
  dlg.OnOK();
  prompts.saveResult = QString::fromStdString(dir.path() + "/./deck.ppt");
  dlg.OnConvert();
  ASSERT_EQ(prompts.messages.size(), 1);
  EXPECT_TRUE(prompts.messages[0].contains(QStringLiteral("源演示文稿")));
  EXPECT_EQ(std::filesystem::file_size(source), 12u);
  EXPECT_TRUE(dlg.edit("IDC_STATUS")->text().isEmpty());
  EXPECT_TRUE(dlg.workFilePath().isEmpty());
}

TEST(ConverterDlg, AboutBoxOpensOnlyForTheAboutIdWithAnyLowFourBits) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  // Bits above the low sixteen count: 0x10010 is another command.
  for (int command : {0x10, 0x11, 0x17, 0x1F, 0x20, 0x00, 0xF060, 0x10010, 0x10011, 0x7FFF0010, -0xFFF0}) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
      if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
        opened = true;
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About KAVRETO"));
        about->accept();
      }
    });
    dlg.OnSysCommand(command, 0);
    ProcessEventsBriefly();
    EXPECT_EQ(opened, command == 0x10 || command == 0x11 || command == 0x17 || command == 0x1F) << std::hex << command;
  }
}

// With the real office, browser and encoder.
class ConverterDlgConversion : public testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache_.path()));
    deck_ = FixtureFiles::Converted("one-slide.fodp");
    ASSERT_FALSE(deck_.empty());
  }
  // Starts a conversion of `deck` into `output` at `fps` frames per second.
  static void Start(CConverterDlg& dlg, FakePrompts& prompts, const std::string& deck, const std::string& output,
                    int fps) {
    prompts.openResult = QString::fromStdString(deck);
    dlg.OnOK();
    dlg.fpsSlider()->setValue(fps);
    prompts.saveResult = QString::fromStdString(output);
    dlg.OnConvert();
  }
  static std::string FourSlides() {
    static const std::string deck = FixtureFiles::Converted("four-slides.fodp");
    return deck;
  }
  // Work files in the dialog's cache directory.
  std::vector<std::string> WorkFilesLeft() const {
    return FilesWithPrefix(CConverterDlg::workFileDirectory().toStdString(), "nn");
  }
  // The video holds exactly the frames the dialog wrote, and decodes cleanly.
  static void ExpectCompleteVideo(const std::string& output, uint64_t written) {
    ASSERT_GT(written, 0u);
    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    EXPECT_EQ(video.frames.size(), written);
  }
  static void ExpectReady(CConverterDlg& dlg) {
    EXPECT_FALSE(dlg.conversionRunning());
    EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
    EXPECT_FALSE(dlg.button("IDC_STOP")->isEnabled());
  }
  TempDir cache_, out_;
  std::string deck_;
};

TEST_F(ConverterDlgConversion, ButtonsDuringAndAfterAConversionAndConvertIgnoredWhileRunning) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QString::fromStdString(deck_);
  dlg.OnOK();
  dlg.fpsSlider()->setValue(5);
  prompts.saveResult = QString::fromStdString(out_.file("out.flv"));
  dlg.OnConvert();
  ASSERT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
  ASSERT_TRUE(dlg.conversionRunning());
  EXPECT_FALSE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_TRUE(dlg.button("IDC_STOP")->isEnabled());
  EXPECT_EQ(dlg.edit("IDC_STATUS")->text(), QStringLiteral("准备转换..."));
  const QString workFile = dlg.workFilePath();
  EXPECT_TRUE(workFile.startsWith(QString::fromStdString(cache_.path())));
  EXPECT_TRUE(QFileInfo::exists(workFile));

  // Choosing another presentation enables Convert, but a click is ignored.
  dlg.OnOK();
  dlg.OnConvert();
  EXPECT_EQ(prompts.saves, 1);
  EXPECT_EQ(dlg.workFilePath(), workFile);

  ASSERT_TRUE(WaitUntil([&] { return dlg.pacer().writtenFrames() >= 3; }, 120000));
  EXPECT_EQ(dlg.edit("IDC_STATUS")->text(), QStringLiteral("转到：1/1"));
  EXPECT_FALSE(dlg.previewImage().isNull());

  int stops = 0;
  QObject::connect(&dlg, &CConverterDlg::conversionStopped, [&stops] { ++stops; });
  dlg.button("IDC_STOP")->click();
  dlg.StopConversion();  // a second Stop does nothing
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(dlg.conversionRunning());
  EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_FALSE(dlg.button("IDC_STOP")->isEnabled());
  EXPECT_FALSE(QFileInfo::exists(workFile));
  EXPECT_FALSE(dlg.stoppedAtEnd());
  EXPECT_TRUE(prompts.messages.isEmpty());  // Stop shows no "完成!"
  const DecodedVideo video = DecodeVideo(out_.file("out.flv"));
  EXPECT_EQ(video.errors, "");
  EXPECT_EQ(video.frames.size(), dlg.pacer().writtenFrames());

  // A second conversion runs to the end of the show and says so once.
  prompts.saveResult = QString::fromStdString(out_.file("out2.mp4"));
  dlg.OnConvert();
  ASSERT_TRUE(dlg.conversionRunning());
  ASSERT_TRUE(WaitUntil([&] { return !dlg.conversionRunning(); }, 120000));
  ProcessEventsBriefly();
  EXPECT_TRUE(dlg.stoppedAtEnd());
  EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("完成!")});
  EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_TRUE(WorkFilesLeft().empty());
}

// The dialog films at its timer's pace, the batch command without a timer as fast as the page
// and the encoder go: on the show's own clock both give the same frames.
TEST_F(ConverterDlgConversion, DialogAtItsTimersPaceFilmsTheSameFramesAsTheBatchCommand) {
  const std::string deck = FixtureFiles::Converted("four-slides.fodp");
  ASSERT_FALSE(deck.empty());
  qputenv("SOURCE_DATE_EPOCH", "1700000000");
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QString::fromStdString(deck);
  dlg.OnOK();
  dlg.fpsSlider()->setValue(10);
  dlg.qualitySlider()->setValue(10);
  prompts.saveResult = QString::fromStdString(out_.file("dialog.mp4"));
  dlg.OnConvert();
  ASSERT_TRUE(dlg.conversionRunning());
  ASSERT_TRUE(WaitUntil([&] { return !dlg.conversionRunning(); }, 240000));
  ProcessEventsBriefly();
  qunsetenv("SOURCE_DATE_EPOCH");
  EXPECT_TRUE(dlg.stoppedAtEnd());

  TempDir tmp, runtime;
  ChildProcess kavreto({KavretoProgram(), "convert", deck, out_.file("batch.mp4"), "--size", "352x288", "--fps", "10",
                        "--quality", "10"},
                       {"SOURCE_DATE_EPOCH=1700000000", "XDG_CACHE_HOME=" + cache_.path(), "TMPDIR=" + tmp.path(),
                        "XDG_RUNTIME_DIR=" + runtime.path()});
  ASSERT_EQ(kavreto.wait(240000), 0) << kavreto.stderrText();

  const DecodedVideo byDialog = DecodeVideo(out_.file("dialog.mp4"));
  const DecodedVideo byBatch = DecodeVideo(out_.file("batch.mp4"));
  ASSERT_GT(byDialog.frames.size(), 60u);
  ASSERT_EQ(byBatch.frames.size(), byDialog.frames.size());
  for (size_t i = 0; i < byDialog.frames.size(); ++i) {
    long difference = 0;
    for (size_t j = 0; j < byDialog.frames[i].size(); ++j)
      difference += std::abs(byDialog.frames[i][j] - byBatch.frames[i][j]);
    EXPECT_LT(difference / static_cast<long>(byDialog.frames[i].size()), 3) << "frame " << i;  // encoding noise only
  }
}

TEST_F(ConverterDlgConversion, ClosingTheDialogDuringAConversionCompletesTheFile) {
  FakePrompts prompts;
  auto dlg = std::make_unique<CConverterDlg>(&prompts, false);
  prompts.openResult = QString::fromStdString(deck_);
  dlg->OnOK();
  dlg->fpsSlider()->setValue(5);
  prompts.saveResult = QString::fromStdString(out_.file("closed.mp4"));
  dlg->OnConvert();
  ASSERT_TRUE(dlg->conversionRunning());
  ASSERT_TRUE(WaitUntil([&] { return dlg->pacer().writtenFrames() >= 2; }, 120000));
  dlg->reject();  // Esc or the close box
  EXPECT_FALSE(dlg->conversionRunning());
  const uint64_t written = dlg->pacer().writtenFrames();
  dlg.reset();
  const DecodedVideo video = DecodeVideo(out_.file("closed.mp4"));
  EXPECT_EQ(video.errors, "");
  EXPECT_EQ(video.frames.size(), written);
  EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(ConverterDlgConversion, WriterThatCannotOpenEndsTheAttemptAndDeletesTheWorkFile) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QString::fromStdString(deck_);
  dlg.OnOK();
  prompts.saveResult = QString::fromStdString(out_.file("no-such-directory/out.mp4"));
  dlg.OnConvert();
  EXPECT_FALSE(dlg.conversionRunning());
  EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("初始化失败!")});
  EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_FALSE(dlg.button("IDC_STOP")->isEnabled());
  EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(ConverterDlgConversion, AVideoThatCouldNotBeWrittenCompletelyIsReported) {
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QString::fromStdString(deck_);
  dlg.OnOK();
  dlg.fpsSlider()->setValue(5);
  dlg.qualitySlider()->setValue(100);
  const std::string output = out_.file("limited.flv");
  prompts.saveResult = QString::fromStdString(output);
  dlg.OnConvert();
  ASSERT_TRUE(dlg.conversionRunning());
  ASSERT_TRUE(WaitUntil([&] { return dlg.pacer().writtenFrames() >= 3; }, 120000));
  // From now on this process may not write more than a few hundred bytes
  // into any file (a stand-in for a full disk): the file cannot be completed.
  const auto limit = static_cast<rlim_t>(std::filesystem::file_size(output) + 300);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  dlg.StopConversion();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(dlg.outputIncomplete());
  ASSERT_EQ(prompts.messages.size(), 1) << prompts.messages.join('\n').toStdString();
  EXPECT_TRUE(prompts.messages[0].startsWith(QStringLiteral("视频文件没有完整写入")));
}

TEST_F(ConverterDlgConversion, FailedExportEndsTheAttemptWithTheExportersOwnText) {
  TempDir dir;
  const std::string broken = dir.file("broken.ppt");
  std::ofstream(broken) << "this is not a presentation";
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  prompts.openResult = QString::fromStdString(broken);
  dlg.OnOK();
  prompts.saveResult = QString::fromStdString(out_.file("never.mp4"));
  dlg.OnConvert();
  EXPECT_FALSE(dlg.conversionRunning());
  EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("Unknown Exception take place")});
  EXPECT_EQ(dlg.outcome(), ConversionOutcome::StartFailed);
  EXPECT_TRUE(dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_FALSE(dlg.button("IDC_STOP")->isEnabled());
  EXPECT_FALSE(FileExists(out_.file("never.mp4")));
  EXPECT_TRUE(WorkFilesLeft().empty());
}

// An office that dies while writing the show has already counted the slides: the export
// returns the count with its failure, and the show it left is empty or cut short.
TEST_F(ConverterDlgConversion, ExportThatCountedButLeftNoReadableShowEndsTheAttempt) {
  for (const std::string& written : {std::string(), std::string("MIME-Version: 1.0\r\nContent-Type: multipart/related;")}) {
    SCOPED_TRACE(written.size());
    FakePrompts prompts;
    CConverterDlg dlg(&prompts, false);
    dlg.setExportFunction([&](const std::string&, const std::string& archive, const ExportNotifier& notify) {
      std::ofstream(archive, std::ios::binary | std::ios::trunc) << written;
      notify(kOleExceptionMessage);
      return 4;
    });
    Start(dlg, prompts, FourSlides(), out_.file("never.mp4"), 5);
    EXPECT_EQ(prompts.messages, QStringList{QStringLiteral(" OLE Exception take place ")});
    EXPECT_EQ(dlg.outcome(), ConversionOutcome::StartFailed);
    EXPECT_TRUE(dlg.outcomeDetail().startsWith(QStringLiteral("the exported show cannot be read")))
        << dlg.outcomeDetail().toStdString();
    ExpectReady(dlg);
    EXPECT_FALSE(FileExists(out_.file("never.mp4")));
    EXPECT_TRUE(WorkFilesLeft().empty());
  }
}

// True when some open file description holds the lock of `path`.
bool LockedByAnyone(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

TEST(ConverterDlg, StartRemovesStaleWorkFilesAndLeavesThoseInUse) {
  TempDir cache;
  const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.path()));
  const std::string directory = CConverterDlg::workFileDirectory().toStdString();
  std::filesystem::create_directories(directory);
  std::ofstream(directory + "/nn1234.tmp") << "left by a killed conversion";
  std::ofstream(directory + "/notes.txt") << "not ours";
  WorkFile inUse;  // as a conversion running beside holds it
  ASSERT_TRUE(inUse.create(directory, 0xabc));
  {
    FakePrompts prompts;
    CConverterDlg dlg(&prompts, false);
    ProcessEventsBriefly();
    EXPECT_FALSE(FileExists(directory + "/nn1234.tmp"));
    EXPECT_TRUE(FileExists(inUse.path()));
    EXPECT_TRUE(FileExists(directory + "/notes.txt"));
    EXPECT_TRUE(prompts.messages.isEmpty());  // leftovers say nothing
  }
  EXPECT_TRUE(LockedByAnyone(QString::fromStdString(inUse.path())));
  qputenv("XDG_CACHE_HOME", oldCache);
}

TEST_F(ConverterDlgConversion, KilledRendererIsReportedInsteadOfFinishedAndTheNextConversionWorks) {
  const std::string deck = FourSlides();
  ASSERT_FALSE(deck.empty());
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  const std::string output = out_.file("killed.mp4");
  Start(dlg, prompts, deck, output, 5);
  ASSERT_TRUE(dlg.conversionRunning()) << prompts.messages.join('\n').toStdString();
  const QString workFile = dlg.workFilePath();
  EXPECT_TRUE(LockedByAnyone(workFile));  // held for the conversion's life
  ASSERT_TRUE(WaitUntil([&] { return dlg.pacer().writtenFrames() >= 3; }, 120000));
  EXPECT_TRUE(LockedByAnyone(workFile));
  const qint64 renderer = dlg.slideShowWindow().browser.rendererPid();
  ASSERT_GT(renderer, 0);
  ASSERT_EQ(::kill(static_cast<pid_t>(renderer), SIGKILL), 0);
  ASSERT_TRUE(WaitUntil([&] { return !dlg.conversionRunning(); }, 60000));
  ProcessEventsBriefly();

  EXPECT_EQ(dlg.outcome(), ConversionOutcome::RendererFailed);
  const int slide = dlg.slideShowWindow().currentSlide;
  EXPECT_GE(slide, 1);
  EXPECT_EQ(prompts.messages,
            QStringList{QStringLiteral("播放器意外退出，视频只录到第 %1 张幻灯片（已录下的部分已保存）。").arg(slide)});
  EXPECT_TRUE(dlg.outcomeDetail().contains(QStringLiteral("killed"))) << dlg.outcomeDetail().toStdString();
  EXPECT_FALSE(dlg.stoppedAtEnd());
  ExpectReady(dlg);
  EXPECT_FALSE(QFileInfo::exists(workFile));
  ExpectCompleteVideo(output, dlg.pacer().writtenFrames());

  // The next conversion gets a new renderer and reaches the end.
  prompts.messages.clear();
  Start(dlg, prompts, deck_, out_.file("after.mp4"), 5);
  ASSERT_TRUE(dlg.conversionRunning());
  ASSERT_TRUE(WaitUntil([&] { return !dlg.conversionRunning(); }, 120000));
  ProcessEventsBriefly();
  EXPECT_EQ(dlg.outcome(), ConversionOutcome::ReachedEnd);
  EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("完成!")});
  EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(ConverterDlgConversion, StoppedRendererIsTakenForHungAfterTheLimitAndEnded) {
  const std::string deck = FourSlides();
  ASSERT_FALSE(deck.empty());
  qputenv("KAVRETO_RENDERER_HANG_SECONDS", "2");
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  const std::string output = out_.file("hung.flv");
  Start(dlg, prompts, deck, output, 5);
  qunsetenv("KAVRETO_RENDERER_HANG_SECONDS");
  ASSERT_TRUE(dlg.conversionRunning());
  EXPECT_EQ(dlg.rendererWatchdog().limitMs(), 2000);
  ASSERT_TRUE(WaitUntil([&] { return dlg.pacer().writtenFrames() >= 3; }, 120000));
  const pid_t renderer = static_cast<pid_t>(dlg.slideShowWindow().browser.rendererPid());
  ASSERT_GT(renderer, 0);
  ProcessRef rendererRef{renderer, 0};
  for (const ProcessRef& process : Descendants(::getpid()))
    if (process.pid == renderer) rendererRef = process;
  ASSERT_TRUE(Running(rendererRef));
  ASSERT_EQ(::kill(renderer, SIGSTOP), 0);
  const bool ended = WaitUntil([&] { return !dlg.conversionRunning(); }, 60000);
  if (!ended) ::kill(renderer, SIGCONT);
  ASSERT_TRUE(ended);
  ProcessEventsBriefly();

  EXPECT_EQ(dlg.outcome(), ConversionOutcome::RendererFailed);
  const int slide = dlg.slideShowWindow().currentSlide;
  EXPECT_EQ(prompts.messages,
            QStringList{QStringLiteral("播放器停止响应，视频只录到第 %1 张幻灯片（已录下的部分已保存）。").arg(slide)});
  ExpectReady(dlg);
  ExpectCompleteVideo(output, dlg.pacer().writtenFrames());
  // The stopped renderer would never end by itself: it was ended.
  EXPECT_TRUE(WaitUntilNoneRuns({rendererRef}, 15000));
  EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(ConverterDlgConversion, ShowThatCouldNotBePlayedToItsEndIsAFailureAndKeepsTheVideo) {
  const std::string deck = FourSlides();
  ASSERT_FALSE(deck.empty());
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  const std::string output = out_.file("incomplete.mp4");
  Start(dlg, prompts, deck, output, 5);
  ASSERT_TRUE(dlg.conversionRunning());
  ASSERT_TRUE(WaitUntil([&] { return dlg.pacer().writtenFrames() >= 3; }, 120000));
  // What the page protocol sets when the show ends before its last shown slide.
  auto& show = const_cast<CSlideShowDlg&>(dlg.slideShowWindow());
  show.showFailed = 1;
  show.failureReason = QStringLiteral("the show ended at slide 1, before its last shown slide 3");
  show.showEnded = 1;
  ASSERT_TRUE(WaitUntil([&] { return !dlg.conversionRunning(); }, 60000));
  ProcessEventsBriefly();

  EXPECT_EQ(dlg.outcome(), ConversionOutcome::ShowIncomplete);
  EXPECT_FALSE(dlg.stoppedAtEnd());
  EXPECT_EQ(prompts.messages,
            QStringList{QStringLiteral("演示文稿无法完整播放：视频只录到第 %1 张幻灯片（已录下的部分已保存）。")
                            .arg(show.currentSlide)});
  EXPECT_TRUE(dlg.outcomeDetail().contains(show.failureReason));
  ExpectReady(dlg);
  ExpectCompleteVideo(output, dlg.pacer().writtenFrames());
}

TEST_F(ConverterDlgConversion, OfficeThatDiesDuringTheExportGivesTheOleText) {
  // The office is killed once it has the presentation open: the link to it breaks.
  TempDir dir;
  const std::string source = dir.file("dies-while-loading.ppt");
  std::filesystem::copy_file(FourSlides(), source);
  std::atomic<bool> done{false};
  std::atomic<int> killed{0};
  std::thread killer([&] {
    while (!done && killed == 0) {
      if (const pid_t office = OfficeHavingOpen(source); office > 0) {
        ::kill(office, SIGKILL);
        ++killed;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  FakePrompts prompts;
  CConverterDlg dlg(&prompts, false);
  Start(dlg, prompts, source, out_.file("never.mp4"), 5);
  done = true;
  killer.join();
  ASSERT_GT(killed, 0) << "the office never had the presentation open";
  EXPECT_FALSE(dlg.conversionRunning());
  EXPECT_EQ(prompts.messages, QStringList{QStringLiteral(" OLE Exception take place ")});
  EXPECT_EQ(dlg.outcome(), ConversionOutcome::StartFailed);
  ExpectReady(dlg);
  EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST(RendererWatchdog, ABusyUiThreadOrASlowPageIsNotAHungRendererButAStoppedOneIs) {
  QWebEnginePage page;
  bool loaded = false;
  QObject::connect(&page, &QWebEnginePage::loadFinished, [&loaded](bool ok) { loaded = ok; });
  page.setHtml(QStringLiteral("<html><body>watched</body></html>"));
  ASSERT_TRUE(WaitUntil([&] { return loaded; }, 60000));
  RendererWatchdog watchdog;
  int hung = 0;
  QObject::connect(&watchdog, &RendererWatchdog::hung, [&hung](qint64) { ++hung; });
  watchdog.start(&page, 800);
  // This thread busy for longer than the limit (as during an export): not the page's fault.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  WaitUntil([] { return false; }, 1500);
  // A page whose script keeps it busy for a while, but less than the limit, still answers.
  page.runJavaScript(QStringLiteral("var t = Date.now(); while (Date.now() - t < 400) {}"));
  WaitUntil([] { return false; }, 1500);
  EXPECT_EQ(hung, 0);
  EXPECT_TRUE(watchdog.running());

  const pid_t renderer = static_cast<pid_t>(page.renderProcessPid());
  ASSERT_GT(renderer, 0);
  ASSERT_EQ(::kill(renderer, SIGSTOP), 0);
  const bool tripped = WaitUntil([&] { return hung > 0; }, 30000);
  EXPECT_TRUE(RendererWatchdog::KillRenderer(renderer));
  EXPECT_TRUE(tripped);
  EXPECT_EQ(hung, 1);  // once, then it rests
  EXPECT_FALSE(watchdog.running());
  EXPECT_FALSE(RendererWatchdog::IsOwnDescendant(::getpid()));
  EXPECT_FALSE(RendererWatchdog::IsOwnDescendant(1));
}

}  // namespace
