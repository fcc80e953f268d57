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
// Threads: UI thread only. Event handlers may be entered while a script started here is
// still running in the page; nothing here keeps state between script runs.

#include <QDialog>
#include <QString>
#include <string>

#include "CWebBrowser2.h"

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

  // The integer that the text starts with, read by the rules of atoi (leading white space,
  // an optional sign, decimal digits up to the first other character, 0 when there are no
  // digits); values beyond the range of int are held at its limits.
  static int ReadInteger(const std::string& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool created_ = false;
};
