#include "RendererWatchdog.h"

#include <signal.h>
#include <unistd.h>

#include <QWebEnginePage>
#include <QtGlobal>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// The parent of `pid` from /proc/PID/stat, or 0.
long ParentOf(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0;
  const size_t close = line.rfind(')');  // the command name may hold anything
  if (close == std::string::npos || close + 4 >= line.size()) return 0;
  // After ") " come the state and then the parent's id.
  const size_t parent = line.find(' ', close + 2);
  return parent == std::string::npos ? 0 : std::atol(line.c_str() + parent + 1);
}

}  // namespace

int RendererWatchdog::DefaultLimitMs() {
  constexpr int kLimitMs = 30000;
  bool ok = false;
  const double seconds = qEnvironmentVariable("KAVRETO_RENDERER_HANG_SECONDS").toDouble(&ok);
  if (!ok || !(seconds > 0)) return kLimitMs;
  return static_cast<int>(std::clamp(seconds * 1000.0, 100.0, 24.0 * 3600 * 1000));
}

RendererWatchdog::RendererWatchdog(QObject* parent) : QObject(parent) {
  connect(&timer_, &QTimer::timeout, this, &RendererWatchdog::onTimer);
}

void RendererWatchdog::start(QWebEnginePage* page, int limitMs) {
  stop();
  page_ = page;
  limitMs_ = std::max(limitMs, 100);
  // Several pings within the limit, so that one lost answer (a ping sent into a document
  // that was being replaced) never decides on its own.
  intervalMs_ = std::clamp(limitMs_ / 8, 20, 1000);
  waitedMs_ = 0;
  sinceLastTimer_.start();
  timer_.start(intervalMs_);
}

void RendererWatchdog::stop() {
  timer_.stop();
  page_ = nullptr;
  waitedMs_ = 0;
  ++generation_;
}

void RendererWatchdog::onTimer() {
  // A late timer means this thread was busy: count at most two periods per timer.
  const qint64 elapsed = sinceLastTimer_.restart();
  if (!page_) return;
  waitedMs_ += std::min<qint64>(elapsed, 2 * intervalMs_);
  if (waitedMs_ >= limitMs_) {
    const qint64 waited = waitedMs_;
    stop();
    emit hung(waited);
    return;
  }
  const quint64 generation = generation_;
  QPointer<RendererWatchdog> self(this);
  page_->runJavaScript(QStringLiteral("0"), [self, generation](const QVariant&) {
    if (self && self->generation_ == generation) self->waitedMs_ = 0;
  });
}

bool RendererWatchdog::IsOwnDescendant(qint64 pid) {
  const long self = ::getpid();
  if (pid <= 1 || pid == self) return false;
  long p = static_cast<long>(pid);
  for (int depth = 0; depth < 16 && p > 1; ++depth) {
    p = ParentOf(p);
    if (p == self) return true;
  }
  return false;
}

bool RendererWatchdog::KillRenderer(qint64 pid) {
  if (!IsOwnDescendant(pid)) return false;
  return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}
