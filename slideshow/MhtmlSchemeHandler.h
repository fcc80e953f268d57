#pragma once
// Serves the parts of single-file web archives under addresses of the form
// "mhtml:file://" + archive path + "!" + inner path. Only archives allowed in its registry
// (LoadShow allows the archive it opens) are read; any other address fails.
//
// Threads: UI thread only (Qt WebEngine calls requestStarted there).

#include <QWebEngineUrlSchemeHandler>

#include <string>

#include "ArchiveRegistry.h"

class MhtmlSchemeHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override;
  ArchiveRegistry& registry() { return registry_; }

 private:
  ArchiveRegistry registry_;
  std::string lastError_;  // the last unreadable-archive reason reported
};
