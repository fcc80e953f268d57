#pragma once
// Notices a browser page that stops answering: a renderer that hangs (an endless script, a
// stopped process) instead of dying. While it runs it sends the page a trivial script about
// once a second; when no answer at all has come back for `limit` of wall time it reports
// hung() once and rests until started again.
//
// Only time in which this thread was free to receive answers counts: a UI thread that was
// itself busy (an export blocks it for seconds) never makes the page look hung, and neither
// does a slow page that still answers within the limit. The show's own clock plays no part.
//
// Threads: UI thread only.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWebEnginePage;

class RendererWatchdog : public QObject {
  Q_OBJECT
 public:
  // The limit of the program: 30 s, or the seconds given by the environment variable
  // KAVRETO_RENDERER_HANG_SECONDS (a positive number, fractions allowed).
  static int DefaultLimitMs();

  explicit RendererWatchdog(QObject* parent = nullptr);

  // Starts watching `page` (which may change its document at will) with the given limit.
  void start(QWebEnginePage* page, int limitMs = DefaultLimitMs());
  void stop();
  bool running() const { return timer_.isActive(); }
  int limitMs() const { return limitMs_; }
  // Wall time counted so far without an answer, in milliseconds.
  qint64 waitedMs() const { return waitedMs_; }

  // Ends a hung renderer with SIGKILL (which also ends a stopped one), but only when `pid` is
  // a process this one started, directly or not. True when the signal was sent.
  static bool KillRenderer(qint64 pid);
  // True when `pid` descends from this process (found through /proc).
  static bool IsOwnDescendant(qint64 pid);

 signals:
  // No answer for the limit; `waitedMs` is the time counted.
  void hung(qint64 waitedMs);

 private:
  void onTimer();

  QTimer timer_;
  QPointer<QWebEnginePage> page_;
  QElapsedTimer sinceLastTimer_;
  int limitMs_ = 30000;
  int intervalMs_ = 1000;
  qint64 waitedMs_ = 0;
  quint64 generation_ = 0;  // answers to pings of an earlier start() are ignored
};
