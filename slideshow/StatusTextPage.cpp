#include "StatusTextPage.h"

#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

// Marks the console messages that carry a status text; no page prints this by accident.
const QString kStatusMarker = QStringLiteral("\u0001kavreto.status\u0001");

// Runs before any script of the document, in every frame. The original console.log is kept,
// so a page that replaces console.log does not silence its status texts.
const char kStatusScript[] = R"JS(
(function () {
  var log = console.log.bind(console);
  var text = '';
  try {
    Object.defineProperty(window, 'status', {
      configurable: true,
      enumerable: true,
      get: function () { return text; },
      set: function (value) { text = String(value); log('\u0001kavreto.status\u0001' + text); }
    });
  } catch (e) {}
})();
)JS";

}  // namespace

StatusTextPage::StatusTextPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
  QWebEngineScript script;
  script.setName(QStringLiteral("kavreto-status-text"));
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  script.setSourceCode(QString::fromUtf8(kStatusScript));
  scripts().insert(script);
}

void StatusTextPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                              int lineNumber, const QString& sourceID) {
  if (message.startsWith(kStatusMarker)) {
    emit statusTextAssigned(message.mid(kStatusMarker.size()));
    return;
  }
  QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

void StatusTextPage::javaScriptAlert(const QUrl&, const QString&) {}

bool StatusTextPage::javaScriptConfirm(const QUrl&, const QString&) { return false; }

bool StatusTextPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) { return false; }

QStringList StatusTextPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) { return {}; }
