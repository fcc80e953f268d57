#include "PresentationFile.h"

#include <QFileInfo>
#include <QMimeDatabase>

const QStringList& PresentationFile::MimeTypes() {
  static const QStringList types = {
      QStringLiteral("application/vnd.ms-powerpoint"),
      QStringLiteral("application/vnd.openxmlformats-officedocument.presentationml.presentation"),
      QStringLiteral("application/vnd.openxmlformats-officedocument.presentationml.slideshow"),
      QStringLiteral("application/vnd.openxmlformats-officedocument.presentationml.template"),
      QStringLiteral("application/vnd.ms-powerpoint.presentation.macroEnabled.12"),
      QStringLiteral("application/vnd.ms-powerpoint.slideshow.macroEnabled.12"),
      QStringLiteral("application/vnd.oasis.opendocument.presentation"),
      QStringLiteral("application/vnd.oasis.opendocument.presentation-template"),
      QStringLiteral("application/vnd.oasis.opendocument.presentation-flat-xml"),
  };
  return types;
}

bool PresentationFile::IsPresentation(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || !info.isReadable()) return false;
  const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
  for (const QString& name : MimeTypes()) {
    if (type.inherits(name)) return true;
  }
  return false;
}
