// Fly in, zoom and a motion path (effects whose values are formulas of the shape's size and
// place, and a path) filmed by the batch command as fast as it goes, with --realtime and
// SOURCE_DATE_EPOCH, and by the dialog at its timer's pace (the dialog's 352x288): the same
// frames every time, and the effects move.
#include <gtest/gtest.h>

#include <QSlider>

#include "AppTestSupport.h"
#include "CConverterDlg.h"
#include "MotionSupport.h"
#include "QtWait.h"

namespace {

class Prompts : public ConverterPrompts {
 public:
  QString openFileName(const QString&) override { return deck; }
  QString saveFileName(const QString&, const QString&) override { return output; }
  void messageBox(const QString& text) override { messages << text; }
  QString deck, output;
  QStringList messages;
};

// Mean difference per sample: 0 for the same pictures, a little for the encoder's rounding.
double Difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  long sum = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum += std::abs(a[i] - b[i]);
  return a.empty() ? 0 : static_cast<double>(sum) / static_cast<double>(a.size());
}

TEST(MotionModes, FlyInZoomAndAMotionPathFilmTheSameInEveryMode) {
  const std::vector<MotionPreset> presets = PresetsNamed(
      PresetDecks::Effects(), {"ooo-entrance-fly-in:from-bottom", "ooo-entrance-zoom:in", "ooo-motionpath-circle"});
  ASSERT_EQ(presets.size(), 3u) << "the office's effect list lacks fly in, zoom or the circle path";
  TempDir dir, cache;
  const std::string deck = MakeDeck(presets, dir.file("motion.fodp"));
  ASSERT_FALSE(deck.empty());

  // The dialog's settings: 352x288, 1 s hold, 10 fps, quality 10.
  FilmOptions options;
  options.size = "352x288";
  options.hold = 1;
  options.kbps = 0;
  options.extraArgs = {"--quality", "10"};
  const MotionFilm batch = FilmDeck(deck, dir.path(), options);
  ASSERT_TRUE(batch.ok) << batch.message;
  const std::set<std::string> gaps = GapList("effect-gaps.txt");
  const std::vector<SlideVerdict> verdicts = JudgeSlides(batch, presets);
  for (const SlideVerdict& v : verdicts) {
    EXPECT_TRUE(v.seen) << v.id;
    if (gaps.count(v.id) == 0) {
      EXPECT_TRUE(v.moved) << v.id << ": no motion";
    }
  }

  // At the clock's pace, and with the clock started at SOURCE_DATE_EPOCH.
  options.video = "realtime.mp4";
  options.extraArgs = {"--quality", "10", "--realtime"};
  options.env = {"SOURCE_DATE_EPOCH=1700000000"};
  const MotionFilm realtime = FilmDeck(deck, dir.path(), options);
  for (const MotionFilm* film : {&realtime}) {
    EXPECT_TRUE(film->ok) << film->message;
    std::string where;
    EXPECT_TRUE(SameFrames(*film, batch, &where)) << film->video << " differs from the batch command's film: " << where;
  }

  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.path()));
  Prompts prompts;
  prompts.deck = QString::fromStdString(deck);
  prompts.output = QString::fromStdString(dir.file("dialog.mp4"));
  CConverterDlg dlg(&prompts, false);
  dlg.OnOK();
  dlg.fpsSlider()->setValue(10);
  dlg.qualitySlider()->setValue(10);
  dlg.OnConvert();
  ASSERT_TRUE(dlg.conversionRunning()) << prompts.messages.join('\n').toStdString();
  ASSERT_TRUE(WaitUntil([&] { return !dlg.conversionRunning(); }, 300000));
  ProcessEventsBriefly();
  EXPECT_TRUE(dlg.stoppedAtEnd()) << prompts.messages.join('\n').toStdString();
  MotionFilm byDialog;
  ASSERT_TRUE(DecodeFrames(dir.file("dialog.mp4"), byDialog));
  ASSERT_EQ(byDialog.frames.size(), batch.frames.size());
  for (size_t i = 0; i < batch.frames.size(); ++i)
    EXPECT_LT(Difference(byDialog.frames[i], batch.frames[i]), 3) << "frame " << i;  // encoding noise only
}

}  // namespace
