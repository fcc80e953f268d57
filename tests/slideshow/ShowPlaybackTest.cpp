// Plays a real show in the real off-screen browser: the page protocol end to end, with the
// picture checked through the capture surface.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QWebEngineView>
#include <algorithm>
#include <array>

#include "CSlideShowDlg.h"
#include "CaptureSurface.h"
#include "DrawOleObject.h"
#include "QtWait.h"
#include "TestArchive.h"

namespace {

using Rgb = std::array<int, 3>;

// The colour at picture point (x, y); the picture's top row is the frame's last row.
Rgb PixelAt(const CaptureSurface& s, int x, int y) {
  const uint8_t* p = s.captureBits() + (size_t(s.height() - 1 - y) * s.width() + x) * 3;
  return {p[2], p[1], p[0]};
}

bool Near(Rgb a, Rgb b) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(a[i] - b[i]) > 8) return false;
  return true;
}

class ShowPlayback : public testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.MoveWindow(0, 0, kWidth, kHeight);
    ASSERT_TRUE(surface.create(kWidth, kHeight));
    QObject::connect(&dlg.browser, &CWebBrowser2::StatusTextChange,
                     [this](const QString& t) { statusTexts.push_back(t); });
  }
  void TearDown() override {
    dlg.DestroyWindow();
    RemoveTree(dir);
  }

  // Films until the picture at (x, y) shows `colour`.
  bool WaitForColour(double fx, double fy, Rgb colour) {
    const int x = int(fx * kWidth), y = int(fy * kHeight);
    return WaitUntil(
        [&] { return DrawOleObject(dlg.browser.Document(), surface) && Near(PixelAt(surface, x, y), colour); });
  }
  Rgb ColourAt(double fx, double fy) { return PixelAt(surface, int(fx * kWidth), int(fy * kHeight)); }

  static constexpr int kWidth = 352, kHeight = 288;
  static constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
  static constexpr Rgb kYellow{255, 255, 0}, kMagenta{255, 0, 255}, kCyan{0, 255, 255};
  std::string dir;
  CSlideShowDlg dlg;
  CaptureSurface surface;
  std::vector<QString> statusTexts;
};

TEST_F(ShowPlayback, StepsThroughEveryAnimationAndSlideToTheEnd) {
  // Blanks, '#' and '%' in the directory stay part of the archive's path in every address.
  const std::string showDir = dir + "/my show #1 100%";
  ASSERT_EQ(::mkdir(showDir.c_str(), 0700), 0);
  const std::string archive = WriteShowArchive(showDir, "nn1a2b");
  ASSERT_TRUE(dlg.LoadShow(archive, 3));
  EXPECT_EQ(dlg.showEnded, 0);

  // The page's load reports an address, which asks for the slide number.
  ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1 && dlg.currentSlide == 1; }));
  ASSERT_TRUE(WaitForColour(0.5, 0.5, kRed));

  dlg.AdvanceShow();  // slide 1 has no animation: next slide
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 2; }));
  ASSERT_TRUE(WaitForColour(0.5, 0.5, kGreen));
  EXPECT_TRUE(Near(ColourAt(0.1, 0.1), kGreen));

  // Three animation steps on slide 2, each a new picture; the slide number stays.
  const std::array<std::pair<double, Rgb>, 3> boxes{{{0.1, kYellow}, {0.5, kMagenta}, {0.85, kCyan}}};
  for (size_t step = 0; step < boxes.size(); ++step) {
    statusTexts.clear();
    dlg.AdvanceShow();
    ASSERT_TRUE(WaitForColour(boxes[step].first, 0.1, boxes[step].second)) << "step " << step + 1;
    // The advance script's own status texts arrive as assigned, in order.
    ASSERT_TRUE(WaitUntil([&] { return statusTexts.size() >= 2; }));
    EXPECT_EQ(statusTexts[0], QStringLiteral("NEXTCLICK"));
    EXPECT_EQ(statusTexts[1], QString());
    EXPECT_EQ(dlg.currentSlide, 2);
    EXPECT_EQ(dlg.showEnded, 0);
    for (size_t later = step + 1; later < boxes.size(); ++later)
      EXPECT_TRUE(Near(ColourAt(boxes[later].first, 0.1), kGreen)) << "box " << later + 1 << " too early";
  }

  dlg.AdvanceShow();  // no step left: slide 3
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 3; }));
  ASSERT_TRUE(WaitForColour(0.5, 0.5, kBlue));
  EXPECT_EQ(dlg.showEnded, 0);

  dlg.AdvanceShow();  // nothing left: the end mark
  ASSERT_TRUE(WaitUntil([&] { return dlg.showEnded == 1; }));
  EXPECT_EQ(dlg.currentSlide, 3);

  // Further advances keep the show ended; a slide number read afterwards changes only the
  // slide (the page-number run after them proves they have been executed).
  dlg.AdvanceShow();
  dlg.AdvanceShow();
  dlg.RunPageScript(QStringLiteral("gCurSld = 42;"));
  dlg.RunPageScript(QString::fromLatin1(CSlideShowDlg::kPageNumberScript));
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 42; }));
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_TRUE(Near(ColourAt(0.5, 0.5), kBlue));
}

TEST_F(ShowPlayback, AClickOnTheWindowAdvancesAndNestedEventsAreSafe) {
  ASSERT_TRUE(dlg.LoadShow(WriteShowArchive(dir, "nn1a2b"), 3));
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 1; }));

  dlg.OnLButtonDown(Qt::LeftButton, QPoint(10, 10));
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 2; }));

  // Many status texts and advances in a row, while earlier scripts are still pending: the
  // show plays the three steps and slide 3, then ends, and every answer is handled.
  for (int i = 0; i < 10; ++i) {
    dlg.OnStatusTextChange(QStringLiteral("mhtml://again"));
    dlg.AdvanceShow();
  }
  ASSERT_TRUE(WaitUntil([&] { return dlg.showEnded == 1 && dlg.currentSlide == 3; }));
  ASSERT_TRUE(WaitForColour(0.5, 0.5, kBlue));

  // The window may even be destroyed from inside one of its browser's events.
  bool destroyed = false;
  QObject::connect(&dlg.browser, &CWebBrowser2::TitleChange, [&](const QString& t) {
    if (t == QStringLiteral("PAGE:1") && !destroyed) destroyed = dlg.DestroyWindow();
  });
  ASSERT_TRUE(dlg.LoadShow(WriteShowArchive(dir, "second"), 3));
  ASSERT_TRUE(WaitUntil([&] { return destroyed; }));
  EXPECT_FALSE(dlg.browser.hasWindow());
  EXPECT_EQ(dlg.currentSlide, 1);
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.MoveWindow(0, 0, kWidth, kHeight);
  ASSERT_TRUE(dlg.LoadShow(WriteShowArchive(dir, "third"), 3));
  ASSERT_TRUE(WaitForColour(0.5, 0.5, kRed));
}

TEST_F(ShowPlayback, StatusTextsRunThePageNumberScriptOnlyForAddresses) {
  // A page without gCurSld answers "PAGE:undefined": slide 0, page ready.
  const std::string archive = WritePageArchive(
      dir, "plain", "<html><head><title>Plain</title></head><body style='background:#ff0000'></body></html>");
  ASSERT_TRUE(dlg.LoadShow(archive, 2));
  dlg.currentSlide = 77;  // the answer overwrites it
  ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1; }));
  EXPECT_EQ(dlg.currentSlide, 0);
  ASSERT_TRUE(WaitForColour(0.5, 0.5, kRed));

  // Texts without "//" run nothing. Scripts run in the order they are started, so had any of
  // them run the page-number script, the title "PAGE:5" would appear before "PAGE:6".
  std::vector<QString> titles;
  QObject::connect(&dlg.browser, &CWebBrowser2::TitleChange, [&](const QString& t) { titles.push_back(t); });
  dlg.RunPageScript(QStringLiteral("window.gCurSld = 5;"));
  for (const char* text : {"NEXTCLICK", "", "Done", "mhtml:/single/slash"})
    dlg.OnStatusTextChange(QString::fromLatin1(text));
  dlg.RunPageScript(QStringLiteral("window.gCurSld = 6;"));
  dlg.OnStatusTextChange(QStringLiteral("mhtml:file:///dir/nn1a2b.tmp!nn1a2b.files/slide0002.htm"));
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 6; }));
  EXPECT_EQ(std::count(titles.begin(), titles.end(), QStringLiteral("PAGE:5")), 0);

  // Status texts the page sets arrive exactly as assigned, the empty one included.
  statusTexts.clear();
  dlg.RunPageScript(
      QStringLiteral("top.status = 'NEXTCLICK'; window.status = 'Done'; top.status = '';"
                     "parent.status = 'mhtml://x/y';"));
  ASSERT_TRUE(WaitUntil([&] { return statusTexts.size() >= 4; }));
  EXPECT_EQ(statusTexts, (std::vector<QString>{QStringLiteral("NEXTCLICK"), QStringLiteral("Done"), QString(),
                                               QStringLiteral("mhtml://x/y")}));
}

}  // namespace

namespace {

TEST(ArchivePages, AreReadInTheCharsetTheirPartDeclares) {
  // No <meta charset>: only the part's Content-Type says UTF-8.
  const std::string dir = MakeTempDir();
  ASSERT_FALSE(dir.empty());
  const std::string archive = WritePageArchive(
      dir, "cjk",
      "<html><head><title>\xe6\xbc\x94\xe7\xa4\xba\xe6\x96\x87\xe7\xa8\xbf</title></head><body></body></html>");
  CSlideShowDlg dlg;
  ASSERT_TRUE(dlg.Create(nullptr));
  QString title;
  QObject::connect(&dlg.browser, &CWebBrowser2::TitleChange, [&](const QString& t) {
    if (!t.startsWith(QStringLiteral("PAGE:")) && !t.startsWith(QStringLiteral("mhtml:"))) title = t;
  });
  ASSERT_TRUE(dlg.LoadShow(archive, 2));
  ASSERT_TRUE(WaitUntil([&] { return !title.isEmpty(); }));
  EXPECT_EQ(title, QString::fromUtf8("\xe6\xbc\x94\xe7\xa4\xba\xe6\x96\x87\xe7\xa8\xbf"));
  dlg.DestroyWindow();
  RemoveTree(dir);
}

}  // namespace
