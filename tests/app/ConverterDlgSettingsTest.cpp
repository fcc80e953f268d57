// The dialog's typed settings, as the batch command sets them: what the next Convert
// reads into EncodeSettings, which radio button a size checks, the preset output, and the
// export seam. The export is a stand-in that exports nothing, so no office is needed.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QSlider>

#include "CConverterDlg.h"
#include "ScratchDirectory.h"

namespace {

class SilentPrompts : public ConverterPrompts {
 public:
  QString openFileName(const QString&) override { return {}; }
  QString saveFileName(const QString&, const QString&) override {
    ++saves;
    return {};
  }
  void messageBox(const QString& text) override { messages << text; }
  int saves = 0;
  QStringList messages;
};

// A dialog whose Convert reads the settings and calls the export stand-in, which says
// there was nothing to export: the attempt ends there, with the settings read.
struct Dialog {
  Dialog() : dlg(&prompts, /*withBanner=*/false) {
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.path()));
    dlg.setExportFunction([this](const std::string& source, const std::string& archive, const ExportNotifier&) {
      exportedSource = source;
      exportedArchive = archive;
      return 0;
    });
  }
  void convert(const QString& output) {
    dlg.setSourcePath(QStringLiteral("/tmp/deck.ppt"));
    dlg.setOutputPath(output);
    dlg.OnConvert();
  }
  ScratchDirectory cache;
  SilentPrompts prompts;
  CConverterDlg dlg;
  std::string exportedSource, exportedArchive;
};

TEST(ConverterDlgSettings, TheDialogsSizesCheckTheirButtonsOthersAreUsedWithout) {
  Dialog d;
  d.dlg.setPictureSize(720, 540);
  EXPECT_TRUE(d.dlg.button("IDC_RES_720")->isChecked());
  d.dlg.setPictureSize(640, 480);
  EXPECT_TRUE(d.dlg.button("IDC_RES_640")->isChecked());
  d.convert(QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.dlg.encodeSettings().width, 640);
  EXPECT_EQ(d.dlg.encodeSettings().height, 480);
  // A size beyond the three: no button changes, Convert uses it.
  d.dlg.setPictureSize(1920, 1080);
  EXPECT_TRUE(d.dlg.button("IDC_RES_640")->isChecked());
  d.convert(QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.dlg.encodeSettings().width, 1920);
  EXPECT_EQ(d.dlg.encodeSettings().height, 1080);
  // One of the three again replaces it.
  d.dlg.setPictureSize(352, 288);
  EXPECT_TRUE(d.dlg.button("IDC_RES_352")->isChecked());
  d.convert(QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.dlg.encodeSettings().width, 352);
  EXPECT_EQ(d.dlg.encodeSettings().height, 288);
}

TEST(ConverterDlgSettings, FrameRateQualityAndKbpsReachTheSettingsAndLabels) {
  Dialog d;
  d.dlg.setFrameRate(12);
  d.dlg.setQuality(37);
  EXPECT_EQ(d.dlg.fpsSlider()->value(), 12);
  EXPECT_EQ(d.dlg.labelText("IDC_FPS_LABEL"), QStringLiteral("12 帧/秒"));
  EXPECT_EQ(d.dlg.labelText("IDC_KBPS_LABEL"), QStringLiteral("740 kbps"));
  d.convert(QStringLiteral("/tmp/out.flv"));
  EXPECT_EQ(d.dlg.encodeSettings().frameRate, 12);
  EXPECT_EQ(d.dlg.encodeSettings().bitRate, 37 * 20480);
  d.dlg.setKbps(8000);
  d.convert(QStringLiteral("/tmp/out.flv"));
  EXPECT_EQ(d.dlg.encodeSettings().bitRate, 8000 * 1024);
  d.dlg.setKbps(0);  // back to the slider
  d.convert(QStringLiteral("/tmp/out.flv"));
  EXPECT_EQ(d.dlg.encodeSettings().bitRate, 37 * 20480);
}

TEST(ConverterDlgSettings, PresetOutputAndSourceGoThroughTheExportSeam) {
  Dialog d;
  d.convert(QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.prompts.saves, 0);  // nothing asked
  EXPECT_EQ(d.dlg.edit("IDC_OUTPUT_PATH")->text(), QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.dlg.edit("IDC_SOURCE_PATH")->text(), QStringLiteral("/tmp/deck.ppt"));
  EXPECT_TRUE(d.dlg.button("IDC_CONVERT")->isEnabled());
  EXPECT_EQ(d.exportedSource, "/tmp/deck.ppt");
  EXPECT_NE(d.exportedArchive.find(d.cache.path()), std::string::npos) << d.exportedArchive;
  // Nothing was exported: the attempt ended with a message and left no work file.
  EXPECT_FALSE(d.prompts.messages.isEmpty());
  EXPECT_TRUE(d.dlg.workFilePath().isEmpty());
  EXPECT_FALSE(d.dlg.conversionRunning());
  // Without a preset output the save dialog is asked again.
  d.dlg.setOutputPath({});
  d.dlg.OnConvert();
  EXPECT_EQ(d.prompts.saves, 1);
}

TEST(ConverterDlgSettings, AutoSizeStartsFromFourToThreeUntilTheShowIsRead) {
  Dialog d;
  d.dlg.setAutoPictureSize(720);
  d.convert(QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.dlg.encodeSettings().width, 960);
  EXPECT_EQ(d.dlg.encodeSettings().height, 720);
  d.dlg.setPictureSize(1280, 720);  // a fixed size ends it
  d.convert(QStringLiteral("/tmp/out.mp4"));
  EXPECT_EQ(d.dlg.encodeSettings().width, 1280);
}

}  // namespace
