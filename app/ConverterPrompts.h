// What the main dialog asks of the person in front of it: the open and save
// file choices and the message boxes. The dialog on screen shows real file
// dialogs and boxes; the batch command answers from its arguments and writes
// the messages to standard error, so both run the same conversion code.
#pragma once

#include <QString>

class ConverterPrompts {
 public:
  virtual ~ConverterPrompts() = default;
  // UI thread. Each filter entry is in Qt's form "text (*.ext)", entries
  // separated by ";;". An empty result means the choice was cancelled.
  virtual QString openFileName(const QString& filter) = 0;
  virtual QString saveFileName(const QString& filter, const QString& defaultSuffix) = 0;
  // UI thread. A message with an OK button; returns once it was acknowledged.
  virtual void messageBox(const QString& text) = 0;
};
