#include "CWebBrowser2.h"

#include <signal.h>
#include <string.h>

#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWidget>

#include "StatusTextPage.h"

namespace {

// Counts the events being delivered, so that DestroyWindow can tell whether it runs inside one.
class Delivering {
 public:
  explicit Delivering(int& depth) : depth_(depth) { ++depth_; }
  ~Delivering() { --depth_; }
  Delivering(const Delivering&) = delete;
  Delivering& operator=(const Delivering&) = delete;

 private:
  int& depth_;
};

}  // namespace

CWebBrowser2::CWebBrowser2(QObject* parent) : QObject(parent) {}

CWebBrowser2::~CWebBrowser2() { DestroyWindow(); }

bool CWebBrowser2::Create(QWidget* parent) { return Create(parent, QWebEngineProfile::defaultProfile()); }

bool CWebBrowser2::Create(QWidget* parent, QWebEngineProfile* profile) {
  if (view_ || profile == nullptr) return false;
  auto* view = new QWebEngineView(parent);
  auto* page = new StatusTextPage(profile, view);  // the view's child: it goes with the view
  view->setPage(page);
  connect(page, &StatusTextPage::statusTextAssigned, this, [this](const QString& text) {
    Delivering d(delivering_);
    emit StatusTextChange(text);
  });
  connect(page, &QWebEnginePage::loadFinished, this, [this, page](bool ok) {
    if (!ok) return;
    Delivering d(delivering_);
    emit StatusTextChange(page->url().toString());
  });
  connect(page, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
    Delivering d(delivering_);
    emit TitleChange(title);
  });
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            Delivering d(delivering_);
            emit RendererTerminated(DescribeTermination(status, exitCode));
          });
  view_ = view;
  page_ = page;
  navigated_ = false;
  view->show();
  return true;
}

bool CWebBrowser2::DestroyWindow() {
  if (!view_) return false;
  QWebEngineView* view = view_;
  if (page_) disconnect(page_, nullptr, this, nullptr);
  view_ = nullptr;
  page_ = nullptr;
  navigated_ = false;
  view->hide();
  // Inside one of this object's own events the page is still sending: let it finish first.
  if (delivering_ > 0)
    view->deleteLater();
  else
    delete view;
  return true;
}

bool CWebBrowser2::hasWindow() const { return !view_.isNull(); }

QWebEngineView* CWebBrowser2::view() const { return view_; }

QWebEnginePage* CWebBrowser2::page() const { return page_.data(); }

void CWebBrowser2::MoveWindow(int x, int y, int width, int height) {
  if (view_) view_->setGeometry(x, y, width, height);
}

void CWebBrowser2::Navigate(const QString& url) { Navigate(QUrl(url)); }

void CWebBrowser2::Navigate(const QUrl& url) {
  if (!view_ || !page_) return;
  navigated_ = true;
  page_->load(url);
}

QWebEnginePage* CWebBrowser2::Document() const { return (view_ && navigated_) ? page_.data() : nullptr; }

void CWebBrowser2::RunScript(const QString& script) {
  if (QWebEnginePage* page = Document()) page->runJavaScript(script);
}

qint64 CWebBrowser2::rendererPid() const { return page_ ? page_->renderProcessPid() : 0; }

QString CWebBrowser2::DescribeTermination(int terminationStatus, int exitCode) {
  // Chromium gives the signal number as the exit code of a process that a signal ended.
  auto signalName = [exitCode] {
    const char* name = exitCode > 0 && exitCode < NSIG ? sigabbrev_np(exitCode) : nullptr;
    return name != nullptr ? QStringLiteral("signal %1, SIG%2").arg(exitCode).arg(QLatin1String(name))
                           : QStringLiteral("code %1").arg(exitCode);
  };
  switch (terminationStatus) {
    case QWebEnginePage::NormalTerminationStatus:
      return QStringLiteral("the browser's renderer process exited (exit status %1)").arg(exitCode);
    case QWebEnginePage::AbnormalTerminationStatus:
      return QStringLiteral("the browser's renderer process failed (exit status %1)").arg(exitCode);
    case QWebEnginePage::CrashedTerminationStatus:
      return QStringLiteral("the browser's renderer process crashed (%1)").arg(signalName());
    case QWebEnginePage::KilledTerminationStatus:
      return QStringLiteral("the browser's renderer process was killed (%1; the system may have run out of memory)")
          .arg(signalName());
    default:
      return QStringLiteral("the browser's renderer process ended (status %1, code %2)")
          .arg(terminationStatus)
          .arg(exitCode);
  }
}
