// The prompts of the batch command: the presentation and the output file come
// from the command line, and every message goes to standard error. UI thread only.
#pragma once

#include <QString>
#include <QStringList>

#include "ConverterPrompts.h"

class BatchPrompts : public ConverterPrompts {
 public:
  BatchPrompts(QString input, QString output) : input_(std::move(input)), output_(std::move(output)) {}
  // The input is taken whatever its extension: the batch command accepts
  // every file the office opens.
  QString openFileName(const QString& filter) override;
  // The output, when its extension is one the dialog's filter offers;
  // otherwise a message and an empty result (as a cancelled choice).
  QString saveFileName(const QString& filter, const QString& defaultSuffix) override;
  void messageBox(const QString& text) override;

  // The messages shown so far, in order.
  const QStringList& messages() const { return messages_; }

  // The extensions a filter in Qt's form offers ("mp4", ...).
  static QStringList filterExtensions(const QString& filter);

 private:
  QString input_;
  QString output_;
  QStringList messages_;
};
