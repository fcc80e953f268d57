#pragma once
// The browser profile of the slide-show window: private and off the record, with the `mhtml`
// scheme handler installed, every other scheme refused (RequestFilter), and no local-file or
// remote access for local content, and the fixes for the show engine (page/engine/)
// injected into every frame. Made on first use; the application object owns it.
//
// Threads: UI thread only, while the QApplication exists.

#include <string>

class QWebEngineProfile;
class MhtmlSchemeHandler;

class SlideShowProfile {
 public:
  static QWebEngineProfile* profile();
  static MhtmlSchemeHandler* schemeHandler();
  // Lets the slide-show browser read the archive at `archivePath`.
  static void allowArchive(const std::string& archivePath);
};
