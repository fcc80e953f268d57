// The prompts of the dialog on screen: QFileDialog and QMessageBox with the
// application's name as caption. UI thread only.
#pragma once

#include "ConverterPrompts.h"

class QWidget;

class DialogPrompts : public ConverterPrompts {
 public:
  explicit DialogPrompts(QWidget* parent) : parent_(parent) {}
  QString openFileName(const QString& filter) override;
  QString saveFileName(const QString& filter, const QString& defaultSuffix) override;
  void messageBox(const QString& text) override;

 private:
  QWidget* parent_;
};
