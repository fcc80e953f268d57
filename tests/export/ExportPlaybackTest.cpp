// Exported shows played in the real off-screen browser, stepped with the advance script the
// way the capture tick does it: every click step and every slide in order, hidden slides
// passed over, no wrap past the last slide, the end mark, steps asked for while an effect
// plays kept, and Chinese text drawn as glyphs.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QWebEnginePage>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "CSlideShowDlg.h"
#include "CaptureSurface.h"
#include "DrawOleObject.h"
#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"
#include "MhtmlWriter.h"
#include "QtWait.h"
#include "ShowPage.h"

namespace {

using Rgb = std::array<int, 3>;

constexpr int kWidth = 720, kHeight = 540;  // a 4:3 slide fills the picture exactly

// Colours of the test presentations (tests/fixtures/*.fodp).
constexpr Rgb kTitleBlue{0x1f, 0x3a, 0x5f};
constexpr Rgb kPaper{0xf4, 0xf1, 0xea};
constexpr Rgb kGreen{0x2e, 0x7d, 0x32};
constexpr Rgb kHiddenRed{0xc6, 0x28, 0x28};
constexpr Rgb kBoxes[3] = {{0xe6, 0x51, 0x00}, {0x00, 0x83, 0x8f}, {0x6a, 0x1b, 0x9a}};
// Box centres on slide 2, in pixels (boxes 7 cm wide from x = 1.2, 9.2, 17.2 cm; y 6.5-13.5 cm);
// the boxes are sampled away from their centred digit.
constexpr int kBoxX[3] = {133, 360, 587};
constexpr int kBoxY = 283;

bool Near(Rgb a, Rgb b, int tolerance = 12) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  return true;
}

class ExportPlayback : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.MoveWindow(0, 0, kWidth, kHeight);
    ASSERT_TRUE(surface.create(kWidth, kHeight));
    QObject::connect(&dlg.browser, &CWebBrowser2::TitleChange, [this](const QString& t) { titles.push_back(t); });
  }
  void TearDown() override { dlg.DestroyWindow(); }

  // Exports the fixture into the scratch directory and loads its show.
  void LoadFixture(const std::string& fixture, int expectedCount) {
    const std::string ppt = FixtureFiles::Converted(fixture);
    ASSERT_FALSE(ppt.empty());
    archive = dir.file("nn5e1.tmp");
    std::vector<std::string> messages;
    const int count = ExportPresentation(ppt, archive, [&](const std::string& m) { messages.push_back(m); });
    ASSERT_EQ(count, expectedCount);
    ASSERT_TRUE(messages.empty());
    ASSERT_TRUE(dlg.LoadShow(archive, count));
    ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1; }));
  }

  Rgb At(int x, int y) const {
    const uint8_t* p = surface.captureBits() + (size_t(kHeight - 1 - y) * kWidth + x) * 3;
    return {p[2], p[1], p[0]};
  }

  bool Film() {
    if (!DrawOleObject(dlg.browser.Document(), surface)) return false;
    if (Near(At(20, 20), kHiddenRed, 30)) sawHiddenSlide = true;
    return true;
  }

  // Films until the picture has stood still for one second, as the capture tick waits before
  // it steps the show; false when it never comes to rest.
  bool WaitForStillPicture() {
    std::vector<uint8_t> last;
    QElapsedTimer still;
    return WaitUntil(
        [&] {
          if (!Film()) return false;
          std::vector<uint8_t> now(surface.captureBits(), surface.captureBits() + surface.frameBytes());
          if (now != last || !still.isValid()) still.start();
          last.swap(now);
          return still.elapsed() >= 1000;
        },
        60000);
  }

  // One step of the show, then the picture it comes to rest on.
  bool Step() {
    dlg.AdvanceShow();
    return WaitForStillPicture();
  }

  // Runs `script` in the show page and returns its result.
  QVariant Evaluate(const QString& script) {
    QVariant result;
    bool done = false;
    dlg.browser.Document()->runJavaScript(script, [&](const QVariant& v) {
      result = v;
      done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done; }));
    return result;
  }

  std::vector<bool> BoxesShown() const {
    std::vector<bool> shown;
    for (int i = 0; i < 3; ++i) shown.push_back(Near(At(kBoxX[i] - 60, kBoxY - 60), kBoxes[i]));
    return shown;
  }

  ScratchDirectory dir;
  std::string archive;
  CSlideShowDlg dlg;
  CaptureSurface surface;
  std::vector<QString> titles;
  bool sawHiddenSlide = false;
};

TEST_F(ExportPlayback, StepsEveryClickAndSlideInOrderSkipsTheHiddenSlideAndEnds) {
  LoadFixture("four-slides.fodp", 4);
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(dlg.currentSlide, 1);
  EXPECT_TRUE(Near(At(20, 20), kTitleBlue));
  // The slide fills the picture to its last pixel: no line of another colour at the edges.
  for (auto [x, y] : {std::pair{0, 0},
                      {kWidth - 1, 0},
                      {0, kHeight - 1},
                      {kWidth - 1, kHeight - 1},
                      {kWidth - 1, kHeight / 2},
                      {kWidth / 2, kHeight - 1}})
    EXPECT_TRUE(Near(At(x, y), kTitleBlue, 4)) << x << "," << y;

  ASSERT_TRUE(Step());  // slide 2, its boxes not shown yet
  EXPECT_EQ(dlg.currentSlide, 2);
  EXPECT_TRUE(Near(At(20, 20), kPaper));
  EXPECT_EQ(BoxesShown(), (std::vector<bool>{false, false, false}));

  for (int click = 0; click < 3; ++click) {
    SCOPED_TRACE(click);
    ASSERT_TRUE(Step());
    std::vector<bool> expected(3, false);
    for (int i = 0; i <= click; ++i) expected[i] = true;
    EXPECT_EQ(BoxesShown(), expected);
    EXPECT_EQ(dlg.currentSlide, 2);
  }

  // Slide 3 comes in with its wipe transition.
  EXPECT_TRUE(Evaluate(QString(CSlideShowDlg::kAdvanceScript) + "PPTSld.aSlideShow.isTransitionPlaying()").toBool());
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(dlg.currentSlide, 3);
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  EXPECT_EQ(dlg.showEnded, 0);
  EXPECT_FALSE(Evaluate("HasNextSld()").toBool());  // the hidden slide 4 does not count

  ASSERT_TRUE(Step());  // nothing left: the end mark, the picture stays
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  ASSERT_TRUE(Step());  // and it never wraps to the first slide
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  EXPECT_EQ(dlg.currentSlide, 3);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), QString("Endppt")), 1);  // set again: no change
  EXPECT_FALSE(sawHiddenSlide);
}

TEST_F(ExportPlayback, StepsAskedForWhileAnEffectPlaysAreKeptAndPlayedAfterIt) {
  LoadFixture("four-slides.fodp", 4);
  ASSERT_TRUE(Step());
  ASSERT_EQ(dlg.currentSlide, 2);

  // Two advance scripts straight after one another: the second arrives while the first
  // effect (a 0.6 s fade) plays. It must wait for it, not end it early and not be lost.
  const QVariant state = Evaluate(QString(CSlideShowDlg::kAdvanceScript) + QString(CSlideShowDlg::kAdvanceScript) +
                                  "[PPTSld.aSlideShow.nCurrentEffect, kvQueue.length, PPTSld.aSlideShow.isRunning()]");
  const QVariantList values = state.toList();
  ASSERT_EQ(values.size(), 3);
  EXPECT_EQ(values[0].toInt(), 1);  // only the first effect has started
  EXPECT_EQ(values[1].toInt(), 1);  // the second waits
  EXPECT_TRUE(values[2].toBool());  // and the first still plays

  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(BoxesShown(), (std::vector<bool>{true, true, false}));
  ASSERT_TRUE(Step());
  EXPECT_EQ(BoxesShown(), (std::vector<bool>{true, true, true}));
  ASSERT_TRUE(Step());
  EXPECT_EQ(dlg.currentSlide, 3);
}

TEST_F(ExportPlayback, HiddenSlideInTheMiddleIsPassedOver) {
  LoadFixture("hidden-middle.fodp", 3);
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(dlg.currentSlide, 1);
  EXPECT_TRUE(Near(At(20, 20), kTitleBlue));
  EXPECT_TRUE(Evaluate("HasNextSld()").toBool());

  ASSERT_TRUE(Step());
  EXPECT_EQ(dlg.currentSlide, 3);  // the presentation's third slide, the second one shown
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  EXPECT_EQ(Evaluate("PPTSld.nCurSlide").toInt(), 2);  // the engine's third slide

  ASSERT_TRUE(Step());
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_FALSE(sawHiddenSlide);
}

// A wide slide in a 4:3 picture sits between black bars, with clean edges: every pixel of a
// column through the picture is either the bar's black or the slide's blue, nothing between
// (no light line where the slide ends).
TEST_F(ExportPlayback, WideSlideIsLetterboxedWithCleanEdges) {
  LoadFixture("wide-slide.fodp", 1);
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_TRUE(Near(At(20, 10), {0, 0, 0}));
  EXPECT_TRUE(Near(At(20, kHeight / 2), kTitleBlue));
  int blueRows = 0;
  for (int y = 0; y < kHeight; ++y) {
    const Rgb c = At(20, y);
    const bool blue = Near(c, kTitleBlue, 6);
    EXPECT_TRUE(blue || Near(c, {0, 0, 0}, 6)) << "row " << y << ": " << c[0] << "," << c[1] << "," << c[2];
    blueRows += blue;
  }
  EXPECT_NEAR(blueRows, 405, 2);  // 720 x 405 for a 16:9 slide
}

// A show whose engine fails to start must still report its page and end at the first step,
// instead of leaving the conversion waiting for ever.
TEST_F(ExportPlayback, ShowWithoutAWorkingEngineEndsAtTheFirstStep) {
  const std::string svg =
      "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 75\">"
      "<rect width=\"100\" height=\"75\" fill=\"#1f3a5f\"/>"
      "<script type=\"text/ecmascript\">throw new Error('engine failed');</script></svg>";
  MhtmlWriter writer;
  writer.addPart({"nn7.files/fullscreen.htm", "text/html; charset=utf-8", ShowPage::Html("show.svg", {0, 1})});
  writer.addPart({"nn7.files/show.svg", "image/svg+xml", ShowPage::PrepareShow(svg)});
  std::string error;
  ASSERT_TRUE(writer.writeFile(dir.file("nn7.tmp"), error)) << error;
  ASSERT_TRUE(dlg.LoadShow(dir.file("nn7.tmp"), 2));
  ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1; }));
  EXPECT_EQ(dlg.currentSlide, 1);
  dlg.AdvanceShow();
  EXPECT_TRUE(WaitUntil([&] { return dlg.showEnded == 1; }));
}

// A real presentation with many click steps (25 slides, 37 on-click effects) plays from its
// first slide to its last, one click step or slide per step, and then ends.
TEST_F(ExportPlayback, CorpusPresentationWithManyClickStepsPlaysToTheEnd) {
  const std::string source = kCorpusDir + "ppt/poi__bug58718_008558.ppt";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "no corpus";
  archive = dir.file("nn25.tmp");
  ASSERT_EQ(ExportPresentation(source, archive, {}), 25);
  ASSERT_TRUE(dlg.LoadShow(archive, 25));
  ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1; }));
  ASSERT_TRUE(WaitForStillPicture());
  std::vector<int> slides{dlg.currentSlide};
  int steps = 0;
  while (dlg.showEnded == 0 && steps < 200) {
    ASSERT_TRUE(Step()) << "the picture never came to rest after step " << steps;
    ++steps;
    if (dlg.currentSlide != slides.back()) slides.push_back(dlg.currentSlide);
  }
  EXPECT_EQ(dlg.showEnded, 1);
  std::vector<int> expected;
  for (int i = 1; i <= 25; ++i) expected.push_back(i);
  EXPECT_EQ(slides, expected);  // every slide once, in order, no wrap
  // Every on-click step on a step of its own: 24 slide changes, 37 click steps, the end mark.
  EXPECT_EQ(steps, 24 + 37 + 1);
}

// Chinese glyphs, not boxes: the title "演示文稿测试" is six different characters, so the six
// character cells of the drawn title must differ from each other; missing glyphs would be six
// identical boxes (or nothing at all).
TEST_F(ExportPlayback, ChineseTitleIsDrawnAsGlyphs) {
  LoadFixture("four-slides.fodp", 4);
  ASSERT_TRUE(WaitForStillPicture());
  ASSERT_TRUE(Near(At(20, 20), kTitleBlue));

  // The title line lies between 5.0 and 9.0 cm from the top (142..255 px).
  int left = kWidth, right = -1, top = kHeight, bottom = -1;
  for (int y = 142; y < 255; ++y)
    for (int x = 10; x < kWidth - 10; ++x)  // away from the picture's edges
      if (!Near(At(x, y), kTitleBlue, 40)) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_GT(right, left) << "no title drawn";
  EXPECT_GT(right - left, 200);  // six characters at 48 pt
  EXPECT_GT(bottom - top, 30);

  std::vector<std::vector<bool>> cells(6);
  const double cellWidth = (right - left + 1) / 6.0;
  for (int c = 0; c < 6; ++c)
    for (int y = top; y <= bottom; ++y)
      for (int x = int(left + c * cellWidth); x < int(left + (c + 1) * cellWidth); ++x)
        cells[c].push_back(!Near(At(x, y), kTitleBlue, 40));
  int differentPairs = 0;
  for (int a = 0; a < 6; ++a)
    for (int b = a + 1; b < 6; ++b) {
      size_t differ = 0;
      const size_t n = std::min(cells[a].size(), cells[b].size());
      for (size_t i = 0; i < n; ++i) differ += cells[a][i] != cells[b][i];
      if (differ > n / 20) ++differentPairs;
    }
  EXPECT_EQ(differentPairs, 15);
}

}  // namespace
