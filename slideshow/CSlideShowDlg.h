#pragma once
// The slide-show window: a dialog that is never shown on screen, exactly the video's size,
// whose only content is the browser playing the show page of a single-file web archive.
// It steps the show by running scripts in the page (AdvanceShow) and learns the page's
// progress from the browser's status-text and title events:
//   - a status text holding "//" (an address: a page or a slide was loaded) runs the
//     page-number script, which sets the title to "PAGE:" + the slide number;
//   - a title holding "PAGE:" sets currentSlide and pageReady; the title "Endppt" sets
//     showEnded.
//
// On the film clock (UseFilmClock before LoadShow; see ShowClock.h) the page's time moves
// only as frames are filmed (FilmFrame). The title "KAVRETO-FAILED:" + a reason (the show
// could not be played to its end) sets showFailed and failureReason.
//
// On the film clock the window and its browser are ShowClock::kStripRows rows taller than the
// picture given to MoveWindow: the rows below the filmed area carry the frame strip.
//
// Threads: UI thread only. Event handlers may be entered while a script started here is
// still running in the page; nothing here keeps state between script runs.

#include <QDialog>
#include <QRect>
#include <QString>
#include <string>

#include "CWebBrowser2.h"
#include "ShowClock.h"

class QMouseEvent;
class QResizeEvent;

class CSlideShowDlg : public QDialog {
  Q_OBJECT
 public:
  // Steps the show once: the next animation step of the slide, else the next slide, else the
  // title "Endppt". 291 characters.
  static const char kAdvanceScript[];
  // Asks the page for its slide number; the answer comes back as the title. 45 characters.
  static const char kPageNumberScript[];

  explicit CSlideShowDlg(QWidget* parent = nullptr);
  ~CSlideShowDlg() override;

  CWebBrowser2 browser;
  int showEnded = 1;
  int currentSlide = 0;
  int slideCount = 0;
  int pageReady = 0;
  // The page could not play the show (its engine never became ready) or ended it before the
  // last shown slide; failureReason says why, in plain words. Reset by LoadShow.
  int showFailed = 0;
  // The browser's renderer died or stopped answering; failureReason says how. Reset by LoadShow.
  int rendererFailed = 0;
  QString failureReason;

  // Makes the window and its browser; the window stays off screen. `owner` is not made the
  // window's parent (the object's owner keeps it as a member).
  bool Create(QWidget* owner);
  void MoveWindow(int x, int y, int width, int height);
  // Resets the four fields, then opens the show page of the archive at `path`:
  // "mhtml:file://" + path + "!" + base name + ".files/fullscreen.htm", where the base name
  // lies between the last '/' and the last '.'. False, with nothing navigated, when the path
  // has no '/' or no '.' after its last '/'. Lets the browser read that archive only.
  bool LoadShow(const std::string& path, int count);
  // The show address LoadShow opens for `path`, or empty when the path has no usable name.
  static std::string ShowAddress(const std::string& path);

  // Runs script in the show page's top-level window; nothing when there is no document.
  void RunPageScript(const QString& script);
  void AdvanceShow();
  void OnStatusTextChange(const QString& text);
  void OnTitleChange(const QString& title);
  void OnLButtonDown(Qt::MouseButtons buttons, const QPoint& point);
  // Keeps the browser at the window's full size.
  void OnSize(int type, int width, int height);
  // Destroys the browser's view, then hides the window; false when no window exists.
  bool DestroyWindow();
  bool hasWindow() const { return created_; }

  // The next LoadShow films its show on the film clock starting at `startMs` (ms since 1970);
  // `useTimings`: slides with an automatic timing of their own move on by it.
  void UseFilmClock(double startMs, bool useTimings);
  // The next LoadShow plays its show on the wall clock (as a browser would).
  void UseWallClock();
  bool filmingOnClock() const { return clock_.enabled(); }
  // Films frame `index` of the show at `frameRate`; see ShowClock::film.
  void FilmFrame(uint64_t index, int frameRate, ShowClock::Done done);
  void CancelFilming();
  const ShowClock& filmClock() const { return clock_; }

  // The plain-words reason for a failure title's code ("engine", "ended:3:5").
  static QString FailureText(const QString& code);

  // The integer that the text starts with, read by the rules of atoi (leading white space,
  // an optional sign, decimal digits up to the first other character, 0 when there are no
  // digits); values beyond the range of int are held at its limits.
  static int ReadInteger(const std::string& text);

 signals:
  // pageReady, showEnded or showFailed changed.
  void showStateChanged();
  // The page reported a slide number other than the one before (currentSlide holds it).
  void slideChanged(int slide);
  // The page told that the show starts a sound or clip (the status text "KVSOUND:" +
  // `report`; see page/engine/media-report.js).
  void soundReported(const QString& report);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void onClockFailed(const QString& reason);

  bool created_ = false;
  QRect pictureGeometry_;  // as given to MoveWindow
  ShowClock clock_{browser};
};
