#pragma once
// Films the slide-show browser on the show's own clock (page/film-clock.js): the page's time
// moves only when a frame is filmed, to exactly index / frameRate seconds after the first
// frame, and a frame's picture is taken only once the page stands at that time with
// everything drawn.
//
// - Start: the clock starts at `startMs` (the conversion's start, or SOURCE_DATE_EPOCH). While
//   the page loads, time stands still; once it has loaded, a page that still holds its start
//   (the show page waits for its engine) gets its time moved from timer to timer until it
//   lets go. So the first frame comes at the same page time on every run. A page that has not
//   started after kStartLimitMs of wall time has failed (failed() is emitted).
// - Each frame: one script call moves the page's time and runs the timers that fall due; it
//   answers whether anything changed. An unchanged page gives no picture (the caller keeps the
//   last one). A changed page is drawn again and again until the one-pixel strip below the
//   filmed area shows the counter of this frame: the picture then holds every change of this
//   frame, never an older one. A picture that stays undrawn gets the browser nudged; one
//   still undrawn after kPictureWaitMs fails the show (failed() is emitted). When the page's answer holds the end or failure title, the
//   frame is finished only once the browser has reported that title, so the title's effects
//   are known before the next frame.
// - A frame before which the page has no timer due and to which no step was made needs no
//   script call at all.
//
// Nothing here blocks: every wait is for an event (a script's answer, the view's next update,
// a short timer).
//
// Threads: UI thread only.

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>

class CWebBrowser2;
class QTimer;
class QWebEngineView;

class ShowClock : public QObject {
  Q_OBJECT
 public:
  // Rows below the filmed area that carry the frame strip: the browser's view is this much
  // taller than the video.
  static constexpr int kStripRows = 1;
  // Wall time a page may take to load and start before it counts as failed.
  static constexpr int kStartLimitMs = 180000;

  // The clock's start for a conversion starting now: SOURCE_DATE_EPOCH (seconds since 1970)
  // when that is set to a number, else the real time; in ms since 1970.
  static double ConversionStartMs();
  // The strip's colour for a counter, and the counter a colour reads as (-1: none).
  static uint32_t StripColour(int counter);  // 0xRRGGBB
  static int StripCounter(uint32_t rgb);

  explicit ShowClock(CWebBrowser2& browser, QObject* parent = nullptr);
  ~ShowClock() override;

  // Films the next show on the clock starting at `startMs`; takes effect with begin().
  void enable(double startMs, bool useTimings);
  void disable();
  bool enabled() const { return enabled_; }

  // A show is being loaded into the browser at `address`: installs the clock script into the
  // browser's page (before the navigation) and starts the start-up watch. Forgets any frame
  // being filmed. Nothing when the clock is not enabled.
  void begin(const QString& address);
  // The show was left (stop, teardown): nothing more is asked of the page.
  void end();
  bool started() const { return state_ == State::Started; }

  using Done = std::function<void(const QImage* picture)>;
  // Films frame `index` at `frameRate` frames per second; `done` gets the picture, or null
  // when the page has not changed since the last frame (or cannot be filmed). `done` may run
  // before film() returns. A new film() or cancel() forgets a pending one.
  void film(uint64_t index, int frameRate, Done done);
  void cancel();
  // A script that may change the page is about to run (a step of the show): the page's time
  // is first brought to the last filmed frame's, which frames without a page call skipped.
  void noteStep();
  // The browser reported a new title.
  void noteTitle(const QString& title);

  // Counters of the current show.
  uint64_t renderedFrames() const { return rendered_; }  // frames drawn from the page
  uint64_t unchangedFrames() const { return unchanged_; }
  uint64_t quietFrames() const { return quiet_; }  // frames without a script call
  double pageWaitSeconds() const { return pageWaitNs_ / 1e9; }
  double renderSeconds() const { return renderNs_ / 1e9; }
  uint64_t renderAttempts() const { return attempts_; }
  uint64_t nudges() const { return nudges_; }  // times the browser was asked to draw again
  double startMs() const { return startMs_; }
  double firstFrameMs() const { return firstFrameMs_; }

 signals:
  // The page did not load and start within kStartLimitMs, or a frame's picture was never
  // drawn; `reason` in plain English.
  void failed(const QString& reason);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class State { Off, Starting, Started, Failed };

  void preroll();
  void onPreroll(const QVariant& reply);
  void startFrame();
  void onFilmed(uint64_t serial, const QVariant& reply);
  void tryPicture();
  void nudge(bool wake);
  void finish(const QImage* picture);
  void watchView();
  QString script(const QString& call) const;

  CWebBrowser2& browser_;
  bool enabled_ = false;
  bool useTimings_ = false;
  double startMs_ = 0;
  State state_ = State::Off;
  QString address_;
  QElapsedTimer startWatch_;
  QTimer* retry_ = nullptr;
  uint64_t token_ = 0;     // tells this show's page from an earlier one
  bool seenPage_ = false;  // this show's page has answered
  // Count the page requests; an answer to an older one is ignored.
  uint64_t prerollSerial_ = 0;
  uint64_t filmSerial_ = 0;

  // The frame being filmed.
  bool pending_ = false;
  // The page has answered this frame's call: wantedCounter_ and wantedTitle_ are this
  // frame's, and only now may a picture be taken. Before the answer they are unknown: a
  // picture looked at then would be checked against the last frame's counter and pass
  // with the last frame's content.
  bool answered_ = false;
  uint64_t index_ = 0;
  int frameRate_ = 25;
  Done done_;
  int wantedCounter_ = -1;
  QString wantedTitle_;
  QElapsedTimer frameWatch_;
  QElapsedTimer pictureWatch_;
  qint64 nextNudgeMs_ = 0;
  qint64 nextWakeMs_ = 0;

  // What the page told at its last answer.
  double firstFrameMs_ = 0;
  bool haveNext_ = false;
  bool nextNone_ = true;
  double nextDueMs_ = 0;
  bool stepped_ = false;
  double lastFrameMs_ = 0;  // the time of the last frame asked for
  double pageMs_ = 0;       // the page's time as of its last call
  QString title_;

  QImage picture_;
  QPointer<QWebEngineView> watchedView_;
  QPointer<QObject> watchedProxy_;

  uint64_t rendered_ = 0;
  uint64_t unchanged_ = 0;
  uint64_t quiet_ = 0;
  uint64_t attempts_ = 0;
  uint64_t nudges_ = 0;
  double pageWaitNs_ = 0;
  double renderNs_ = 0;
};
