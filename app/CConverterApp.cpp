#include "CConverterApp.h"

#include "CConverterDlg.h"

int CConverterApp::InitInstance(const QString& openPath) {
  CConverterDlg dialog;
  if (!openPath.isEmpty()) dialog.openPresentation(openPath);
  dialog.exec();
  return 0;
}
