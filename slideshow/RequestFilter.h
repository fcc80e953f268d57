#pragma once
// Refuses every request of the slide-show browser whose scheme is not one that a show page
// may use: `mhtml` (the archive behind the show), `data`, `blob` (made by the page itself)
// and `about`. A presentation is outside data, so its pages reach neither the network nor
// local files.
//
// Threads: called by Qt WebEngine on the UI thread.

#include <QWebEngineUrlRequestInterceptor>

class RequestFilter : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

  static bool IsAllowedScheme(const QString& scheme);
};
