#pragma once
// The browser control of the dialogs: a QWebEngineView made as a child of a dialog, with the
// operations and the two events the rest of the program uses. Chromium ignores status text,
// so the page (StatusTextPage) reports every `window.status` assignment in any frame as
// StatusTextChange; a finished page load reports the page's address the same way.
//
// When the page's renderer process ends while a view exists (it crashed, was killed, ran out of
// memory), RendererTerminated says so; nothing reloads the page by itself.
//
// Threads: UI thread only. Events are delivered on the UI thread. DestroyWindow may be called
// from inside one of the events: the view then goes once the event has been delivered.

#include <QObject>
#include <QPointer>
#include <QString>

class QUrl;
class QWidget;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class StatusTextPage;

class CWebBrowser2 : public QObject {
  Q_OBJECT
 public:
  explicit CWebBrowser2(QObject* parent = nullptr);
  ~CWebBrowser2() override;

  // Makes the view as a child of parent, on the default profile. False when a view exists.
  bool Create(QWidget* parent);
  // The same on the given profile (the slide-show window passes its private one).
  bool Create(QWidget* parent, QWebEngineProfile* profile);
  // Destroys the view and its page; false (and nothing done) without a window.
  bool DestroyWindow();
  bool hasWindow() const;
  QWebEngineView* view() const;  // null without a window
  QWebEnginePage* page() const;  // the view's page, also before the first navigation; null without a window
  void MoveWindow(int x, int y, int width, int height);
  // Starts loading the address and returns at once; nothing happens without a window.
  void Navigate(const QString& url);
  void Navigate(const QUrl& url);
  // The current document: null without a window and before the first navigation.
  QWebEnginePage* Document() const;
  // Runs script in the top-level document's window; returns before it runs.
  void RunScript(const QString& script);
  // Process id of the page's renderer; 0 without a window or before it has started.
  qint64 rendererPid() const;
  // The plain-words account of a renderer's end that RendererTerminated gives.
  static QString DescribeTermination(int terminationStatus, int exitCode);

 signals:
  void StatusTextChange(const QString& text);
  void TitleChange(const QString& title);
  // The renderer process ended; `how` tells how, with its exit status or signal.
  void RendererTerminated(const QString& how);

 private:
  QPointer<QWebEngineView> view_;
  QPointer<StatusTextPage> page_;
  bool navigated_ = false;
  int delivering_ = 0;  // events being delivered right now
};
