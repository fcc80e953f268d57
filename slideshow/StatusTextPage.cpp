#include "StatusTextPage.h"

#include <QWebEngineScriptCollection>

#include "FrameScript.h"
#include "PageFiles.h"
#include "PageTexts.h"

namespace {

// Marks the console messages that carry a status text; no page prints this by accident.
const QString kStatusMarker = QString::fromLatin1(PageTexts::kStatusMarker);

}  // namespace

StatusTextPage::StatusTextPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
  scripts().insert(FrameScript(QStringLiteral("kavreto-status-text"), QString::fromUtf8(PageFiles::kStatusTextScript)));
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
