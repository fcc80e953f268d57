#include "RequestFilter.h"

#include <QUrl>

bool RequestFilter::IsAllowedScheme(const QString& scheme) {
  const QString s = scheme.toLower();
  return s == QLatin1String("mhtml") || s == QLatin1String("data") || s == QLatin1String("blob") ||
         s == QLatin1String("about");
}

void RequestFilter::interceptRequest(QWebEngineUrlRequestInfo& info) {
  if (!IsAllowedScheme(info.requestUrl().scheme())) info.block(true);
}
