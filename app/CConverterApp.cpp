#include "CConverterApp.h"

#include "CConverterDlg.h"

int CConverterApp::InitInstance() {
  CConverterDlg dialog;
  dialog.exec();
  return 0;
}
