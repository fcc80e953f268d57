#pragma once
// Waits for a condition while the Qt event loop runs (page loads, script results and paint
// all arrive as events). Returns as soon as `condition` holds, or false after `timeoutMs`.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 60000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Runs the event loop until every event posted so far has been handled at least once.
inline void ProcessEventsBriefly() { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); }
