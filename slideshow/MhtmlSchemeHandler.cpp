#include "MhtmlSchemeHandler.h"

#include <QBuffer>
#include <QUrl>
#include <QWebEngineUrlRequestJob>
#include <cstdio>

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
    case ArchiveRegistry::Status::Unreadable:
      // The show cannot play from a broken archive: say why once per reason, not per part.
      if (result.error != lastError_) {
        lastError_ = result.error;
        std::fprintf(stderr, "kavreto: the show archive cannot be read (%s)\n", result.error.c_str());
      }
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    case ArchiveRegistry::Status::NotFound:
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
  }
}
