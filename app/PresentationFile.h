// Which files the dialog takes as presentations when they are dropped on it or handed to
// `kavreto FILE` by a file manager: the kinds the desktop entry lists (PowerPoint, Office
// Open XML and OpenDocument presentations), told by Qt's MIME database from the file's
// name and content. UI thread (QMimeDatabase is used from it only).
#pragma once

#include <QString>
#include <QStringList>

class PresentationFile {
 public:
  // The MIME types of the desktop entry's MimeType key, in its order.
  static const QStringList& MimeTypes();
  // A readable regular file of one of those types (or one that inherits from one).
  static bool IsPresentation(const QString& path);
};
