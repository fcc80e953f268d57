#include "BrowserEnvironment.h"

#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QWebEngineUrlScheme>
#include <QtGlobal>

namespace {

void AddChromiumFlag(QByteArray& flags, const QByteArray& flag) {
  const QList<QByteArray> present = flags.split(' ');
  if (present.contains(flag)) return;
  if (!flags.isEmpty()) flags += ' ';
  flags += flag;
}

}  // namespace

void PrepareBrowserEnvironment(bool offscreen, bool unpacedFrames) {
  const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
  if (offscreen || noDisplay) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_QUICK_BACKEND", "software");

  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
  AddChromiumFlag(flags, "--disable-gpu");
  if (unpacedFrames) AddChromiumFlag(flags, "--disable-frame-rate-limit");
  if (::geteuid() == 0) AddChromiumFlag(flags, "--no-sandbox");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

  static bool registered = false;
  if (!registered) {
    registered = true;
    // Path syntax: "mhtml:file:///dir/x.tmp!x.files/page.htm" has no host, relative links
    // resolve inside the path, and every address of the scheme shares one origin, so the
    // show page can reach the globals of its slide frame.
    QWebEngineUrlScheme scheme("mhtml");
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
  }
}
