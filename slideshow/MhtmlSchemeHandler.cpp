#include "MhtmlSchemeHandler.h"

#include <QBuffer>
#include <QUrl>
#include <QWebEngineUrlRequestJob>

void MhtmlSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  if (job->requestMethod() != QByteArrayLiteral("GET")) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  // The path of "mhtml:file:///dir/a.tmp!a.files/x.htm" is "file:///dir/a.tmp!a.files/x.htm";
  // query and fragment play no part.
  const QByteArray path = job->requestUrl().path(QUrl::FullyDecoded).toUtf8();
  ArchiveRegistry::Result result = registry_.resolve(std::string_view(path.constData(), size_t(path.size())));
  switch (result.status) {
    case ArchiveRegistry::Status::Served: {
      auto* buffer = new QBuffer(job);
      buffer->setData(QByteArray(result.body.data(), qsizetype(result.body.size())));
      buffer->open(QIODevice::ReadOnly);
      job->reply(QByteArray::fromStdString(result.contentType), buffer);
      return;
    }
    case ArchiveRegistry::Status::NotAllowed:
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    case ArchiveRegistry::Status::NotFound:
    case ArchiveRegistry::Status::Unreadable:
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
  }
}
