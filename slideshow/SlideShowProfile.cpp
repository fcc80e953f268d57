#include "SlideShowProfile.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include "FrameScript.h"
#include "MhtmlSchemeHandler.h"
#include "PageFiles.h"
#include "RequestFilter.h"

namespace {
QPointer<QWebEngineProfile> g_profile;
QPointer<MhtmlSchemeHandler> g_handler;
}  // namespace

QWebEngineProfile* SlideShowProfile::profile() {
  if (g_profile) return g_profile;
  // No storage name: off the record, nothing is written to disk.
  auto* profile = new QWebEngineProfile(QCoreApplication::instance());
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  profile->setSpellCheckEnabled(false);

  QWebEngineSettings* s = profile->settings();
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
  s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
  s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
  s->setAttribute(QWebEngineSettings::ShowScrollBars, false);  // the page fills the video frame
  s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);

  auto* handler = new MhtmlSchemeHandler(profile);
  profile->installUrlSchemeHandler(QByteArrayLiteral("mhtml"), handler);
  profile->setUrlRequestInterceptor(new RequestFilter(profile));

  // Fixes for the show engine, in every frame of every page of the profile (page/engine/).
  profile->scripts()->insert(
      FrameScript(QStringLiteral("kavreto-engine-fixes"), QString::fromUtf8(PageFiles::kEngineFixesScript)));
  g_profile = profile;
  g_handler = handler;
  return profile;
}

MhtmlSchemeHandler* SlideShowProfile::schemeHandler() {
  profile();
  return g_handler;
}

void SlideShowProfile::allowArchive(const std::string& archivePath) {
  if (MhtmlSchemeHandler* handler = schemeHandler()) handler->registry().allow(archivePath);
}
