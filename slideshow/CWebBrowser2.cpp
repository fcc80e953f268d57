#include "CWebBrowser2.h"

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
