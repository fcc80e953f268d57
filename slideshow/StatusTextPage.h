#pragma once
// A web page that gives `window.status` its old meaning back: a script injected at document
// creation, in every frame, turns each assignment to `window.status` into a marked console
// message, which this page catches and reports through statusTextAssigned() with the
// assigned text. The page also keeps scripts from opening modal dialogs (alert, confirm,
// prompt, file choosers): nobody is there to answer them in an off-screen browser.
//
// Threads: UI thread only.

#include <QWebEnginePage>

class StatusTextPage : public QWebEnginePage {
  Q_OBJECT
 public:
  StatusTextPage(QWebEngineProfile* profile, QObject* parent);

 signals:
  void statusTextAssigned(const QString& text);

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                const QString& sourceID) override;
  void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
  bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
  bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                        QString* result) override;
  QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                          const QStringList& acceptedMimeTypes) override;
};
