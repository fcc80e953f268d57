#include "ShowClock.h"

#include <QDateTime>
#include <QEvent>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <cmath>
#include <cstdlib>

#include "CWebBrowser2.h"
#include "FrameScript.h"
#include "PageFiles.h"
#include "PageTexts.h"

namespace {

const QString kScriptName = QStringLiteral("kavreto-film-clock");
constexpr char kConfigMarker[] = "/*@kavreto:clock-config@*/ null";
// How long a frame waits for the browser to report the end or failure title the page holds.
constexpr int kTitleWaitMs = 10000;
// How long a frame waits for its picture before the show counts as failed: a picture older
// than its frame would put what the page showed earlier into the film.
constexpr int kPictureWaitMs = 30000;
// A picture not drawn this long after the page's answer gets the browser nudged (the strip
// drawn anew, the view updated), and again at each interval after that: the renderer now
// and then leaves a changed page undrawn until something else changes.
constexpr int kNudgeAfterMs = 1000;
constexpr int kNudgeEveryMs = 500;
// A picture still undrawn this long gets the page hidden and shown again, and again at each
// interval: the browser then makes a new picture from scratch.
constexpr int kWakeAfterMs = 3000;
constexpr int kWakeEveryMs = 3000;
// Retry intervals: while the page loads, and while a picture is not drawn yet.
constexpr int kLoadingRetryMs = 10;
constexpr int kPictureRetryMs = 4;

uint64_t g_token = 0;

}  // namespace

double ShowClock::ConversionStartMs() {
  const QByteArray epoch = qgetenv("SOURCE_DATE_EPOCH").trimmed();
  if (!epoch.isEmpty()) {
    bool ok = false;
    const qlonglong seconds = epoch.toLongLong(&ok);
    if (ok && seconds >= 0 && seconds < 253402300800LL) return static_cast<double>(seconds) * 1000.0;
  }
  return static_cast<double>(QDateTime::currentMSecsSinceEpoch());
}

uint32_t ShowClock::StripColour(int counter) {
  const uint32_t c = static_cast<uint32_t>(counter) & 0xfffu;
  return (((c >> 8) & 15u) * 17u) << 16 | (((c >> 4) & 15u) * 17u) << 8 | (c & 15u) * 17u;
}

int ShowClock::StripCounter(uint32_t rgb) {
  int counter = 0;
  for (int shift : {16, 8, 0}) {
    const int v = static_cast<int>((rgb >> shift) & 0xffu);
    const int nibble = (v + 8) / 17;
    if (std::abs(nibble * 17 - v) > 3) return -1;
    counter = counter << 4 | nibble;
  }
  return counter;
}

ShowClock::ShowClock(CWebBrowser2& browser, QObject* parent) : QObject(parent), browser_(browser) {
  retry_ = new QTimer(this);
  retry_->setSingleShot(true);
  connect(retry_, &QTimer::timeout, this, [this] {
    if (state_ == State::Starting) {
      preroll();
    } else if (pending_ && answered_) {
      tryPicture();
    }
  });
}

ShowClock::~ShowClock() = default;

void ShowClock::enable(double startMs, bool useTimings) {
  enabled_ = true;
  startMs_ = startMs;
  useTimings_ = useTimings;
}

void ShowClock::disable() { enabled_ = false; }

QString ShowClock::script(const QString& call) const {
  const QString name = QString::fromLatin1(PageTexts::kClockGlobal);
  return QStringLiteral("(function(){var c=window['%1'];return c?c.%2:null;})()").arg(name, call);
}

void ShowClock::begin(const QString& address) {
  end();
  QWebEnginePage* page = browser_.page();
  if (page == nullptr) return;
  QWebEngineScriptCollection& scripts = page->scripts();
  for (const QWebEngineScript& old : scripts.find(kScriptName)) scripts.remove(old);
  if (!enabled_) return;

  address_ = address;
  const uint64_t token = ++g_token;
  QString source = QString::fromUtf8(PageFiles::kFilmClockScript);
  source.replace(QLatin1String(kConfigMarker), QStringLiteral("{start: %1, useTimings: %2, token: %3}")
                                                   .arg(startMs_, 0, 'f', 0)
                                                   .arg(useTimings_ ? "true" : "false")
                                                   .arg(token));
  scripts.insert(FrameScript(kScriptName, source));

  token_ = token;
  seenPage_ = false;
  state_ = State::Starting;
  haveNext_ = false;
  stepped_ = false;
  firstFrameMs_ = startMs_;
  title_.clear();
  rendered_ = unchanged_ = quiet_ = attempts_ = 0;
  pageWaitNs_ = renderNs_ = 0;
  startWatch_.start();
  watchView();
  retry_->start(kLoadingRetryMs);
}

void ShowClock::end() {
  cancel();
  state_ = State::Off;
  retry_->stop();
  ++prerollSerial_;
}

void ShowClock::watchView() {
  // The renderer's pictures reach the view's focus proxy, which the browser makes only once
  // the view has been shown and the event loop has run: it is looked for again until found.
  QWebEngineView* view = browser_.view();
  QWidget* proxy = view != nullptr ? view->focusProxy() : nullptr;
  if (view == watchedView_ && proxy == watchedProxy_) return;
  if (watchedView_) watchedView_->removeEventFilter(this);
  if (watchedProxy_) watchedProxy_->removeEventFilter(this);
  watchedView_ = view;
  watchedProxy_ = proxy;
  if (view != nullptr) view->installEventFilter(this);
  if (proxy != nullptr) proxy->installEventFilter(this);
}

bool ShowClock::eventFilter(QObject* watched, QEvent* event) {
  // A new picture from the renderer reaches the view as an update: look at it at once (only
  // once the page has answered: until then the counter to look for is not known).
  if (pending_ && answered_ && wantedCounter_ >= 0 &&
      (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint)) {
    retry_->start(0);
  }
  return QObject::eventFilter(watched, event);
}

void ShowClock::preroll() {
  if (state_ != State::Starting) return;
  if (startWatch_.elapsed() > kStartLimitMs) {
    state_ = State::Failed;
    emit failed(QStringLiteral("the show page did not load and start within %1 seconds").arg(kStartLimitMs / 1000));
    if (pending_) finish(nullptr);
    return;
  }
  QWebEnginePage* page = browser_.Document();
  if (page == nullptr) {
    retry_->start(kLoadingRetryMs);
    return;
  }
  const uint64_t serial = ++prerollSerial_;
  QPointer<ShowClock> self(this);
  page->runJavaScript(script(QStringLiteral("preroll()")), [self, serial](const QVariant& reply) {
    if (self && serial == self->prerollSerial_) self->onPreroll(reply);
  });
}

void ShowClock::onPreroll(const QVariant& reply) {
  if (state_ != State::Starting) return;
  const QVariantMap answer = reply.toMap();
  // No answer yet, or one from the page that was there before this show's; once the show's
  // page has answered, another page means it was left.
  if (answer.value(QStringLiteral("token")).toULongLong() != token_) {
    if (seenPage_) {
      end();
      return;
    }
    retry_->start(kLoadingRetryMs);
    return;
  }
  seenPage_ = true;
  const QString state = answer.value(QStringLiteral("state")).toString();
  if (state == QLatin1String("started")) {
    state_ = State::Started;
    firstFrameMs_ = answer.value(QStringLiteral("now")).toDouble();
    lastFrameMs_ = pageMs_ = firstFrameMs_;
    watchView();
    if (pending_) startFrame();
    return;
  }
  // "starting": the page moved on by timers and wants more; otherwise it waits for loading.
  retry_->start(state == QLatin1String("starting") ? 0 : kLoadingRetryMs);
}

void ShowClock::film(uint64_t index, int frameRate, Done done) {
  cancel();
  pending_ = true;
  index_ = index;
  frameRate_ = frameRate > 0 ? frameRate : 1;
  done_ = std::move(done);
  frameWatch_.start();
  if (state_ == State::Starting) return;  // filmed once the page has started
  if (state_ != State::Started) {
    finish(nullptr);
    return;
  }
  startFrame();
}

void ShowClock::cancel() {
  pending_ = false;
  answered_ = false;
  wantedCounter_ = -1;
  wantedTitle_.clear();
  done_ = nullptr;
  ++filmSerial_;
}

void ShowClock::noteStep() {
  stepped_ = true;
  if (state_ != State::Started || lastFrameMs_ <= pageMs_) return;
  QWebEnginePage* page = browser_.Document();
  if (page == nullptr) return;
  // Scripts run in the page in the order they are sent: this comes before the step's.
  pageMs_ = lastFrameMs_;
  page->runJavaScript(script(QStringLiteral("advanceTo(%1)").arg(lastFrameMs_, 0, 'f', 6)));
}

void ShowClock::startFrame() {
  const double t = firstFrameMs_ + static_cast<double>(index_) * 1000.0 / frameRate_;
  lastFrameMs_ = t;
  // Nothing runs in the page before its next timer, and no step was made: the page stands as
  // it stood at the last frame.
  if (haveNext_ && !stepped_ && (nextNone_ || nextDueMs_ > t)) {
    ++quiet_;
    finish(nullptr);
    return;
  }
  QWebEnginePage* page = browser_.Document();
  if (page == nullptr) {
    finish(nullptr);
    return;
  }
  watchView();
  stepped_ = false;
  pageMs_ = t;
  const uint64_t serial = ++filmSerial_;
  QPointer<ShowClock> self(this);
  page->runJavaScript(script(QStringLiteral("film(%1)").arg(t, 0, 'f', 6)), [self, serial](const QVariant& reply) {
    if (self && serial == self->filmSerial_) self->onFilmed(serial, reply);
  });
}

void ShowClock::onFilmed(uint64_t /*serial*/, const QVariant& reply) {
  if (!pending_ || answered_) return;
  const QVariantMap answer = reply.toMap();
  if (answer.value(QStringLiteral("token")).toULongLong() != token_) {
    // The show page is gone (the browser was navigated away): nothing to film.
    haveNext_ = false;
    finish(nullptr);
    return;
  }
  const QVariant next = answer.value(QStringLiteral("next"));
  haveNext_ = true;
  nextNone_ = next.isNull() || !next.isValid();
  nextDueMs_ = next.toDouble();
  const QString title = answer.value(QStringLiteral("title")).toString();
  const bool protocolTitle =
      title == QLatin1String(PageTexts::kEndTitle) || title.startsWith(QLatin1String(PageTexts::kFailedTitlePrefix));
  wantedTitle_ = protocolTitle ? title : QString();
  if (answer.value(QStringLiteral("changed")).toBool()) {
    wantedCounter_ = answer.value(QStringLiteral("counter")).toInt();
  } else {
    wantedCounter_ = -1;
    ++unchanged_;
  }
  // From here on the picture may be looked at: the counter and the title it must show are
  // this frame's.
  answered_ = true;
  pictureWatch_.start();
  nextNudgeMs_ = kNudgeAfterMs;
  nextWakeMs_ = kWakeAfterMs;
  tryPicture();
}

void ShowClock::noteTitle(const QString& title) {
  title_ = title;
  if (pending_ && answered_ && !wantedTitle_.isEmpty()) retry_->start(0);
}

void ShowClock::tryPicture() {
  if (!pending_ || !answered_) return;
  if (!wantedTitle_.isEmpty() && title_ != wantedTitle_ && pictureWatch_.elapsed() < kTitleWaitMs) {
    retry_->start(50);  // noteTitle() comes sooner
    return;
  }
  if (wantedCounter_ < 0) {
    finish(nullptr);
    return;
  }
  QWebEngineView* view = browser_.view();
  if (view == nullptr || view->width() <= 0 || view->height() <= 0) {
    finish(nullptr);
    return;
  }
  if (picture_.size() != view->size()) {
    picture_ = QImage(view->size(), QImage::Format_RGB32);
    if (picture_.isNull()) {
      finish(nullptr);
      return;
    }
  }
  picture_.setDevicePixelRatio(1.0);
  QElapsedTimer renderWatch;
  renderWatch.start();
  view->render(&picture_, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
  renderNs_ += static_cast<double>(renderWatch.nsecsElapsed());
  ++attempts_;
  const int row = picture_.height() - 1;
  bool drawn = true;
  for (int x : {picture_.width() / 4, picture_.width() / 2, picture_.width() * 3 / 4}) {
    if (StripCounter(picture_.pixel(x, row) & 0xffffffu) != wantedCounter_) drawn = false;
  }
  if (drawn) {
    ++rendered_;
    finish(&picture_);
    return;
  }
  const qint64 waited = pictureWatch_.elapsed();
  if (waited > kPictureWaitMs) {
    // What the picture showed instead, for whoever looks into it.
    int seen[3] = {};
    for (int i = 0; i < 3; ++i) seen[i] = StripCounter(picture_.pixel(picture_.width() * (i + 1) / 4, row) & 0xffffffu);
    QWebEnginePage* page = browser_.Document();
    qWarning("film clock: frame %llu not drawn: the strip reads %d %d %d, not %d; view %dx%d, page %s",
             static_cast<unsigned long long>(index_), seen[0], seen[1], seen[2], wantedCounter_, view->width(),
             view->height(), page == nullptr ? "gone" : page->isVisible() ? "visible" : "hidden");
    state_ = State::Failed;
    emit failed(QStringLiteral("the browser did not draw frame %1 within %2 seconds").arg(index_).arg(kPictureWaitMs / 1000));
    finish(nullptr);
    return;
  }
  if (waited >= nextNudgeMs_) {
    nextNudgeMs_ = waited + kNudgeEveryMs;
    const bool wake = waited >= nextWakeMs_;
    if (wake) nextWakeMs_ = waited + kWakeEveryMs;
    nudge(wake);
  }
  retry_->start(kPictureRetryMs);
}

void ShowClock::nudge(bool wake) {
  ++nudges_;
  QWebEnginePage* page = browser_.Document();
  if (page != nullptr) {
    // A page the browser takes for hidden or frozen draws nothing: it is shown and woken.
    // Waking a page that still draws nothing hides it first.
    if (wake && page->isVisible()) page->setVisible(false);
    if (!page->isVisible()) page->setVisible(true);
    if (page->lifecycleState() != QWebEnginePage::LifecycleState::Active)
      page->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    page->runJavaScript(script(QStringLiteral("redraw()")));
  }
  if (watchedView_) watchedView_->update();
  if (auto* proxy = qobject_cast<QWidget*>(watchedProxy_.data())) proxy->update();
}

void ShowClock::finish(const QImage* picture) {
  pending_ = false;
  answered_ = false;
  pageWaitNs_ += static_cast<double>(frameWatch_.nsecsElapsed());
  Done done = std::move(done_);
  done_ = nullptr;
  if (done) done(picture);
}
