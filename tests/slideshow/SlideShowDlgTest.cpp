// The slide-show window's own logic: the show address, the title and status rules, the
// window and browser sizes. Needs a QApplication (QtTestMain.cpp) but plays no show.
#include <gtest/gtest.h>

#include <QWebEngineView>
#include <cstring>

#include "CSlideShowDlg.h"
#include "PageTexts.h"

namespace {

TEST(SlideShowDlg, StartsWithNoShowAndNoWindow) {
  CSlideShowDlg dlg;
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_EQ(dlg.currentSlide, 0);
  EXPECT_EQ(dlg.slideCount, 0);
  EXPECT_EQ(dlg.pageReady, 0);
  EXPECT_FALSE(dlg.browser.hasWindow());
  EXPECT_EQ(dlg.browser.Document(), nullptr);
  EXPECT_FALSE(dlg.DestroyWindow());  // harmless without a window
  EXPECT_FALSE(dlg.DestroyWindow());
  // Scripts and events without a window do nothing.
  dlg.AdvanceShow();
  dlg.OnStatusTextChange(QStringLiteral("mhtml:file:///dir/nn1a2b.tmp!nn1a2b.files/slide0002.htm"));
  dlg.OnLButtonDown(Qt::LeftButton, QPoint(1, 1));
  EXPECT_EQ(dlg.pageReady, 0);
}

TEST(SlideShowDlg, ScriptsAreExactlyThePageProtocol) {
  EXPECT_EQ(std::strlen(CSlideShowDlg::kAdvanceScript), 291u);
  EXPECT_EQ(std::strlen(CSlideShowDlg::kPageNumberScript), 45u);
  EXPECT_STREQ(CSlideShowDlg::kPageNumberScript, "parent.document.title='PAGE:'+parent.gCurSld;");
  EXPECT_STREQ(CSlideShowDlg::kAdvanceScript,
               "if(PPTSld.g_animMainSequence){ if(PPTSld.g_animMainSequence.cangonext){top.status='NEXTCLICK';"
               "PPTSld.g_animMainSequence.next();top.status='';}else{ if(HasNextSld()) GoToNextSld(); else "
               "parent.document.title='Endppt';}}else{if(HasNextSld()) GoToNextSld();else "
               "parent.document.title='Endppt';}");
}

TEST(SlideShowDlg, LoadShowBuildsTheAddressOrRefusesThePath) {
  EXPECT_EQ(CSlideShowDlg::ShowAddress("/dir/a.b.tmp"), "mhtml:file:///dir/a.b.tmp!a.b.files/fullscreen.htm");
  EXPECT_EQ(CSlideShowDlg::ShowAddress("/dir/.tmp"), "mhtml:file:///dir/.tmp!.files/fullscreen.htm");
  EXPECT_EQ(CSlideShowDlg::ShowAddress("/home/u/.local/share/kavreto/nn1a2b3c.tmp"),
            "mhtml:file:///home/u/.local/share/kavreto/nn1a2b3c.tmp!nn1a2b3c.files/fullscreen.htm");
  EXPECT_EQ(CSlideShowDlg::ShowAddress("/a/b.c/name"), "");
  EXPECT_EQ(CSlideShowDlg::ShowAddress("name.tmp"), "");
  EXPECT_EQ(CSlideShowDlg::ShowAddress("/dir/archive"), "");

  CSlideShowDlg dlg;
  ASSERT_TRUE(dlg.Create(nullptr));
  for (const char* bad : {"/a/b.c/name", "name.tmp", "/dir/archive"}) {
    dlg.showEnded = 1;
    dlg.pageReady = 1;
    dlg.currentSlide = 9;
    EXPECT_FALSE(dlg.LoadShow(bad, 17)) << bad;
    // The fields are reset before the path is looked at; nothing is navigated.
    EXPECT_EQ(dlg.slideCount, 17) << bad;
    EXPECT_EQ(dlg.showEnded, 0) << bad;
    EXPECT_EQ(dlg.pageReady, 0) << bad;
    EXPECT_EQ(dlg.currentSlide, 0) << bad;
    EXPECT_EQ(dlg.browser.Document(), nullptr) << bad;
  }
  EXPECT_TRUE(dlg.LoadShow("/nonexistent-dir/a b#c.tmp", 4));
  ASSERT_NE(dlg.browser.Document(), nullptr);
  EXPECT_EQ(dlg.slideCount, 4);
  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_EQ(dlg.browser.Document(), nullptr);
}

TEST(SlideShowDlg, TitleRules) {
  CSlideShowDlg dlg;
  struct Case {
    const char* title;
    int slide;
  };
  for (Case c : {Case{"PAGE:7", 7}, Case{"Slide PAGE:12 of 20", 12}, Case{"PAGE: 4", 4}, Case{"PAGE:-3", -3},
                 Case{"PAGE:5abc", 5}, Case{"PAGE:undefined", 0}, Case{"PAGE:+8", 8}, Case{"PAGE:\t\n 6", 6},
                 Case{"PAGE:99999999999", 2147483647}, Case{"PAGE:-99999999999", -2147483647 - 1},
                 Case{"x PAGE:3 PAGE:4", 3}, Case{"PAGE:", 0}}) {
    dlg.currentSlide = 1234;
    dlg.pageReady = 0;
    dlg.showEnded = 0;
    dlg.OnTitleChange(QString::fromLatin1(c.title));
    EXPECT_EQ(dlg.currentSlide, c.slide) << c.title;
    EXPECT_EQ(dlg.pageReady, 1) << c.title;
    EXPECT_EQ(dlg.showEnded, 0) << c.title;
  }
  // A title that holds "PAGE:" is never taken for the end mark.
  dlg.OnTitleChange(QStringLiteral("Endppt PAGE:2"));
  EXPECT_EQ(dlg.showEnded, 0);

  for (const char* other : {"endppt", "Endppt ", "The Endppt", " Endppt", "", "Show", "PAGE 3", "page:3"}) {
    dlg.currentSlide = 5;
    dlg.pageReady = 0;
    dlg.showEnded = 0;
    dlg.OnTitleChange(QString::fromLatin1(other));
    EXPECT_EQ(dlg.showEnded, 0) << other;
    EXPECT_EQ(dlg.currentSlide, 5) << other;
    EXPECT_EQ(dlg.pageReady, 0) << other;
  }
  dlg.OnTitleChange(QStringLiteral("Endppt"));
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_EQ(dlg.currentSlide, 5);
  EXPECT_EQ(dlg.pageReady, 0);
  // A slide number after the end updates the slide and leaves the show ended.
  dlg.OnTitleChange(QStringLiteral("PAGE:3"));
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_EQ(dlg.currentSlide, 3);
}

// The page's failure title becomes the reason the user reads: the first failure counts, and
// what the engine threw is passed on whole, colons and all.
TEST(SlideShowDlg, FailureTitlesSayWhatWentWrong) {
  struct Case {
    const char* code;
    const char* reason;
  };
  for (Case c :
       {Case{"engine", "the show's engine never became ready"}, Case{"ended:2:20", "the show ended at slide 2 of 20"},
        Case{"ended:2:20:TypeError: Cannot read 'type': x",
             "the show ended at slide 2 of 20 (the show's engine reported: TypeError: Cannot read 'type': x)"},
        Case{"ended:2:20: ", "the show ended at slide 2 of 20"},
        Case{"ended:2", "the show could not be played (ended:2)"}, Case{"", "the show could not be played ()"}}) {
    CSlideShowDlg dlg;
    dlg.OnTitleChange(QString::fromLatin1(PageTexts::kFailedTitlePrefix) + QString::fromUtf8(c.code));
    EXPECT_EQ(dlg.showFailed, 1) << c.code;
    EXPECT_EQ(dlg.failureReason.toStdString(), c.reason);
    dlg.OnTitleChange(QString::fromLatin1(PageTexts::kFailedTitlePrefix) + QStringLiteral("engine"));
    EXPECT_EQ(dlg.failureReason.toStdString(), c.reason) << "a later failure replaced the first";
  }
}

TEST(SlideShowDlg, BrowserFillsTheWindow) {
  CSlideShowDlg dlg;
  ASSERT_TRUE(dlg.Create(nullptr));
  EXPECT_FALSE(dlg.Create(nullptr));  // one window at a time
  EXPECT_TRUE(dlg.testAttribute(Qt::WA_DontShowOnScreen));
  for (QSize size : {QSize(720, 540), QSize(640, 480), QSize(352, 288)}) {
    dlg.MoveWindow(0, 0, size.width(), size.height());
    EXPECT_EQ(dlg.size(), size);
    ASSERT_NE(dlg.browser.view(), nullptr);
    EXPECT_EQ(dlg.browser.view()->geometry(), QRect(QPoint(0, 0), size));
  }
  // On the film clock the rows of its frame strip lie below the picture, either way round.
  dlg.UseFilmClock(0, false);
  EXPECT_EQ(dlg.browser.view()->geometry(), QRect(0, 0, 352, 288 + ShowClock::kStripRows));
  dlg.MoveWindow(0, 0, 720, 540);
  EXPECT_EQ(dlg.browser.view()->geometry(), QRect(0, 0, 720, 540 + ShowClock::kStripRows));
  dlg.UseWallClock();
  EXPECT_EQ(dlg.browser.view()->geometry(), QRect(0, 0, 720, 540));
  // A new window after a destroyed one works the same, and the fields survive.
  dlg.currentSlide = 3;
  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_FALSE(dlg.browser.hasWindow());
  EXPECT_TRUE(dlg.Create(nullptr));
  dlg.MoveWindow(0, 0, 352, 288);
  EXPECT_EQ(dlg.browser.view()->geometry(), QRect(0, 0, 352, 288));
  EXPECT_EQ(dlg.currentSlide, 3);
}

}  // namespace
