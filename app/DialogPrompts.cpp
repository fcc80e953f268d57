#include "DialogPrompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

QString DialogPrompts::openFileName(const QString& filter) {
  QFileDialog dialog(parent_, QString(), QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString DialogPrompts::saveFileName(const QString& filter, const QString& defaultSuffix) {
  QFileDialog dialog(parent_, QString(), QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultSuffix);  // asks before overwriting, as Qt does by default
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void DialogPrompts::messageBox(const QString& text) {
  QMessageBox::information(parent_, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}
