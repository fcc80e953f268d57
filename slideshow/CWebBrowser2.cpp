#include "CWebBrowser2.h"

#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWidget>

#include "StatusTextPage.h"

CWebBrowser2::CWebBrowser2(QObject* parent) : QObject(parent) {}

CWebBrowser2::~CWebBrowser2() { DestroyWindow(); }

bool CWebBrowser2::Create(QWidget* parent) { return Create(parent, QWebEngineProfile::defaultProfile()); }

bool CWebBrowser2::Create(QWidget* parent, QWebEngineProfile* profile) {
  if (view_ || profile == nullptr) return false;
  auto* view = new QWebEngineView(parent);
  auto* page = new StatusTextPage(profile, view);  // the view's child: it goes with the view
  view->setPage(page);
  connect(page, &StatusTextPage::statusTextAssigned, this, &CWebBrowser2::StatusTextChange);
  connect(page, &QWebEnginePage::loadFinished, this, [this, page](bool ok) {
    if (ok) emit StatusTextChange(page->url().toString());
  });
  connect(page, &QWebEnginePage::titleChanged, this, &CWebBrowser2::TitleChange);
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
  delete view;
  return true;
}

bool CWebBrowser2::hasWindow() const { return !view_.isNull(); }

QWebEngineView* CWebBrowser2::view() const { return view_; }

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
