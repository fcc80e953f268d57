// The prompts of the batch command: the presentation and the output file are given to
// the dialog directly (its typed setters), so nothing is asked; every message goes to
// standard error. UI thread only.
#pragma once

#include <QString>
#include <QStringList>

#include "ConverterPrompts.h"

class BatchPrompts : public ConverterPrompts {
 public:
  // Nothing is chosen: an empty result, as a cancelled choice.
  QString openFileName(const QString& filter) override;
  QString saveFileName(const QString& filter, const QString& defaultSuffix) override;
  void messageBox(const QString& text) override;

  // The messages shown so far, in order.
  const QStringList& messages() const { return messages_; }

 private:
  QStringList messages_;
};
