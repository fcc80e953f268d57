// The application object: runs the main dialog and ends with it. UI thread only.
#pragma once

#include <QString>

class CConverterApp {
 public:
  // Shows the main dialog modally, with `openPath` chosen when it is given (`kavreto FILE`);
  // returns once it is closed. The QApplication must exist.
  int InitInstance(const QString& openPath = QString());
};
